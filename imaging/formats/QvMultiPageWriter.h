// Writes a sequence of pages into one file: the first page with SaveToStream, every further page
// with AppendToStream, so the file holds them in order (a class that holds one image refuses a
// second page with its own message). The target is never left half written:
//
// - pcAtEnd (saving a document, converting): the pages go into a temporary file beside the
//   target, which replaces the target in one step at Commit. A failure, a writer destroyed
//   without Commit, or a Commit with no page leaves the target as it was.
// - pcEachPage (scanning, where pages arrive one by one and each must be kept once stored): the
//   first page goes into a temporary file that then replaces the target at once; every further
//   page is appended to the target, so the file is complete after each page. With no page stored
//   the target stays as it was.
//
// In both the temporary file is made when the writer is made, so a folder that cannot be written
// fails before any page is prepared, and it is removed on every way out (model/QvSafeFile.h).
// After a failed page the writer takes no further page: the temporary file is gone at once, and
// in pcEachPage the target keeps the pages stored before.
//
// Use:
//   TMultiPageWriter file(name);
//   file.OnBeforePage = [](TDibGraphic& page, int number) { /* e.g. the TIFF compression */ };
//   for (...) file.AddPageCopy(frame);  // or AddPage(pageOfTheTargetsClass)
//   file.Commit();
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "model/QvDiGrph.h"
#include "model/QvSafeFile.h"
#include "model/QvStream.h"

namespace quorvane {

// When the pages reach the target (see above).
enum class TPageCommit : uint8_t { pcAtEnd, pcEachPage };

class TMultiPageWriter {
 public:
  // Makes the temporary file beside Target; raises EFCreateError naming Target when it cannot.
  explicit TMultiPageWriter(const std::string& target, TPageCommit commit = TPageCommit::pcAtEnd);
  // Without Commit (pcAtEnd) nothing replaces the target; the temporary file is removed.
  ~TMultiPageWriter();
  TMultiPageWriter(const TMultiPageWriter&) = delete;
  TMultiPageWriter& operator=(const TMultiPageWriter&) = delete;

  // Called just before a page is written with the image that is written and its number (from 1),
  // for the settings of its class (the TIFF compression). What it raises fails the page.
  std::function<void(TDibGraphic& page, int number)> OnBeforePage;

  // Writes Page as the next page, as it is, by its own class: callers give instances of the
  // target's class (CreateGraphicForFile of the target).
  void AddPage(TDibGraphic& page);
  // Writes a copy of Page made in the class registered for the target's extension (Assign: the
  // pixels, not the settings of Page's class; and Page's metadata, so every page keeps its own),
  // which OnBeforePage then sees; Page is not changed. An extension nobody registered raises the registry's message.
  void AddPageCopy(const TDibGraphic& page);

  // pcAtEnd: replaces the target with the pages written. With Overwrite false an existing target
  // is kept and the result is false; with no page written nothing is written and the result is
  // false. The temporary file is gone afterwards in every case. pcEachPage: the pages are stored
  // already; the result says whether any was. No page can be added afterwards.
  bool Commit(bool overwrite = true);

  // The target as given.
  const std::string& Target() const { return FTarget; }
  int PageCount() const { return FPageCount; }

 private:
  void Write(TDibGraphic& page);
  [[noreturn]] void RaiseClosed() const;

  std::string FTarget;
  TPageCommit FCommit;
  std::unique_ptr<TSafeFile> FFile;        // the temporary file, until it replaced the target
  std::unique_ptr<TFileStream> FAppended;  // pcEachPage: the target, once the first page is in it
  std::unique_ptr<TDibGraphic> FCopy;      // AddPageCopy's instance of the target's class
  int FPageCount = 0;
  bool FClosed = false;  // committed, or a page failed
};

}  // namespace quorvane

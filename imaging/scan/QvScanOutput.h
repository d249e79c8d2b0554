// The file a multi-page scan writes. Nothing replaces the target until a page is stored: the
// first page is written into a temporary file beside the target, which then replaces it; every
// further page is appended to the target, so the file is complete after each page. When no page
// is stored the temporary file is removed and an existing target stays as it was.
#pragma once

#include <memory>
#include <string>

#include "model/QvDiGrph.h"
#include "model/QvSafeFile.h"
#include "model/QvStream.h"

namespace quorvane {

class TScanOutputFile {
 public:
  // Makes the temporary file now, so a folder that cannot be written fails before any page is
  // scanned (EFCreateError naming the target).
  explicit TScanOutputFile(const std::string& target);
  ~TScanOutputFile();
  TScanOutputFile(const TScanOutputFile&) = delete;
  TScanOutputFile& operator=(const TScanOutputFile&) = delete;

  // Stores Image as the next page: SaveToStream for the first, AppendToStream afterwards.
  void StorePage(TDibGraphic& image);
  int PagesStored() const { return FPagesStored; }
  // The target's name as given.
  const std::string& FileName() const { return FFileName; }

 private:
  std::string FFileName;
  std::unique_ptr<TSafeFile> FFirstPage;  // until the first page replaced the target
  std::unique_ptr<TFileStream> FStream;   // the target, from then on
  int FPagesStored = 0;
};

}  // namespace quorvane

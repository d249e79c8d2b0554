#include "formats/QvMultiPageWriter.h"

#include <unistd.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "model/QvDiGrphRegistry.h"
#include "model/QvExcept.h"

namespace quorvane {

namespace {

// The target while a page is appended to it: keeps the original bytes of every part of the old
// file that the format overwrites (a page table, the link to the next directory), so that a
// failed append can be undone and the pages stored before stay readable.
class TAppendJournal : public TStream {
 public:
  explicit TAppendJournal(TStream& target) : FTarget(target), FOldSize(target.Size()) {}

  size_t Read(void* buffer, size_t count) override { return FTarget.Read(buffer, count); }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override { return FTarget.Seek(offset, origin); }
  int64_t Size() override { return FTarget.Size(); }
  size_t Write(const void* buffer, size_t count) override {
    const int64_t at = FTarget.Position();
    if (at >= 0 && at < FOldSize && count > 0) Keep(at, std::min(static_cast<int64_t>(count), FOldSize - at));
    return FTarget.Write(buffer, count);
  }

  // Puts the old bytes back (the earliest copy of a place last, so the original wins) and cuts
  // what was added. Best effort: it runs while another failure is on its way out.
  void Undo(const std::string& fileName) noexcept {
    for (auto kept = FKept.rbegin(); kept != FKept.rend(); ++kept) {
      if (FTarget.Seek(kept->first, TSeekOrigin::soBeginning) == kept->first)
        FTarget.Write(kept->second.data(), kept->second.size());
    }
    if (::truncate(fileName.c_str(), FOldSize) != 0) {
      // Nothing more can be done; the stored pages are in place, only a tail is left over.
    }
  }

 private:
  void Keep(int64_t at, int64_t count) {
    std::vector<uint8_t> bytes(static_cast<size_t>(count));
    FTarget.ReadBuffer(bytes.data(), bytes.size());
    FTarget.Seek(at, TSeekOrigin::soBeginning);
    FKept.emplace_back(at, std::move(bytes));
  }

  TStream& FTarget;
  int64_t FOldSize;
  std::vector<std::pair<int64_t, std::vector<uint8_t>>> FKept;
};

}  // namespace

TMultiPageWriter::TMultiPageWriter(const std::string& target, TPageCommit commit)
    : FTarget(target), FCommit(commit), FFile(std::make_unique<TSafeFile>(target)) {}

TMultiPageWriter::~TMultiPageWriter() = default;

void TMultiPageWriter::AddPage(TDibGraphic& page) {
  if (FClosed) RaiseClosed();
  try {
    Write(page);
  } catch (...) {
    // A page written in part spoils the stream: nothing more goes into it, and the temporary
    // file goes at once.
    FClosed = true;
    FFile.reset();
    FAppended.reset();
    throw;
  }
}

void TMultiPageWriter::AddPageCopy(const TDibGraphic& page) {
  if (FClosed) RaiseClosed();
  if (!FCopy) FCopy = CreateGraphicForFile(FTarget);
  FCopy->Assign(&page);
  FCopy->Metadata() = page.Metadata();
  AddPage(*FCopy);
}

void TMultiPageWriter::Write(TDibGraphic& page) {
  const int number = FPageCount + 1;
  if (OnBeforePage) OnBeforePage(page, number);
  // Appending reads the pages written so far (the TIFF directory chain, the DCX page table).
  if (FPageCount > 0 && !FAppended) {
    FFile->Stream().Seek(0, TSeekOrigin::soBeginning);
    page.AppendToStream(FFile->Stream());
    FPageCount = number;
    return;
  }
  if (FPageCount > 0) {
    FAppended->Seek(0, TSeekOrigin::soBeginning);
    TAppendJournal journal(*FAppended);
    try {
      page.AppendToStream(journal);
    } catch (...) {
      journal.Undo(FAppended->FileName());
      throw;
    }
    FPageCount = number;
    return;
  }
  page.SaveToStream(FFile->Stream());
  if (FCommit == TPageCommit::pcAtEnd) {
    FPageCount = number;
    return;
  }
  const std::string written = FFile->Target();
  FFile->Commit();
  FFile.reset();
  FPageCount = number;
  FAppended = std::make_unique<TFileStream>(written, TFileMode::fmOpenReadWrite);
}

bool TMultiPageWriter::Commit(bool overwrite) {
  if (FClosed) RaiseClosed();
  FClosed = true;
  const std::unique_ptr<TSafeFile> file = std::move(FFile);
  FAppended.reset();
  if (FCommit == TPageCommit::pcEachPage) return FPageCount > 0;
  // Without a page there is nothing to write: the temporary file goes with File.
  return FPageCount > 0 && file->Commit(overwrite);
}

void TMultiPageWriter::RaiseClosed() const {
  throw EQuorvaneError(FormatMessage("No further page can be written to \"%s\"", FTarget.c_str()));
}

}  // namespace quorvane

#include "scan/QvScanOutput.h"

namespace quorvane {

TScanOutputFile::TScanOutputFile(const std::string& target)
    : FFileName(target), FFirstPage(std::make_unique<TSafeFile>(target)) {}

TScanOutputFile::~TScanOutputFile() = default;

void TScanOutputFile::StorePage(TDibGraphic& image) {
  if (FFirstPage) {
    image.SaveToStream(FFirstPage->Stream());
    const std::string written = FFirstPage->Target();
    FFirstPage->Commit();
    FFirstPage.reset();
    FStream = std::make_unique<TFileStream>(written, TFileMode::fmOpenReadWrite);
  } else {
    FStream->Seek(0, TSeekOrigin::soBeginning);
    image.AppendToStream(*FStream);
  }
  ++FPagesStored;
}

}  // namespace quorvane

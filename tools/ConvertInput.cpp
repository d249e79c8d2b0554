#include "ConvertInput.h"

#include "ConvertFile.h"
#include "model/QvDiGrphRegistry.h"
#include "model/QvMappedStream.h"
#include "model/QvPlatform.h"

namespace brindlex {
using namespace quorvane;

TInputPages::TInputPages(const std::string& file) : FStream(OpenFileForReading(file)), FClass(FindGraphicClass(file)) {
  if (FClass != nullptr) {
    FClassName = FClass->ClassName;
    FCount = FClass->Create()->GetImageCount(*FStream);
    return;
  }
  FPicture = LoadPlatformPicture(*FStream, file, true);
  FClassName = FPicture->ClassName();
  FCount = FPicture->FrameCount() > 0 ? FPicture->FrameCount() : 1;
}

TInputPages::~TInputPages() = default;

void TInputPages::LoadInto(TDibGraphic& image, int page) { LoadPageInto(*FStream, image, page); }

std::unique_ptr<TDibGraphic> TInputPages::Load(int page) {
  if (FClass != nullptr) return LoadPage(*FStream, *FClass, page);
  // The picture's pixels move into the page, so that a large picture never exists twice.
  TDibGraphic& source = FPicture->FrameCount() > 0 ? FPicture->GetFrame(page) : *FPicture;
  auto image = std::make_unique<TDibGraphic>();
  image->TakeImage(source);
  return image;
}

}  // namespace brindlex

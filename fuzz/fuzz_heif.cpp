// HEIF reader (HEIC and AVIF through libheif): any input either gives a picture within the limits
// or is refused with an exception; the size checks made before decoding must hold libheif and
// its decoders to the limits (the fuzzer's memory limit catches any allocation beyond them).
#include <memory>

#include "FuzzSupport.h"
#include "formats/QvHeif.h"

using namespace quorvane;

// libheif's AV1 plugin leaves dav1d's copy of the data behind when dav1d refuses it (40 bytes per
// refused file); the leak is theirs, and any of ours still shows.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdav1d.so\n"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::LimitImageSize();
  TMemoryStream stream = fuzz::InputStream(data, size);
  std::unique_ptr<TDibGraphic> image;
  try {
    image = LoadHeifImage(stream);
  } catch (const Exception&) {
    return 0;
  }
  if (image->Empty() || image->ImageFormat() != TImageFormat::TrueColor ||
      !ImageSizeAllowed(image->Width(), image->Height(), 24))
    std::abort();
  return 0;
}

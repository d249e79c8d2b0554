// Colour profiles are untrusted bytes from files: any input is either refused (by the byte checks
// or by the colour engine, with an exception) or converts pixels; it never crashes. The same
// bytes also go through the JPEG chunk reassembly, cut into chunks at a size the input chooses.
#include <algorithm>
#include <cstdlib>

#include "FuzzSupport.h"
#include "colour/QvColour.h"
#include "model/QvIccProfile.h"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::vector<uint8_t> profile(data + 1, data + size);

  const size_t chunk = size_t{data[0]} * 64 + 1;
  TIccChunkAssembler assembler;
  const size_t count = std::min<size_t>(255, (profile.size() + chunk - 1) / chunk);
  for (size_t i = 0; i < count; ++i) {
    std::vector<uint8_t> payload(kIccJpegSignature, kIccJpegSignature + 12);
    payload.push_back(static_cast<uint8_t>(i + 1));
    payload.push_back(static_cast<uint8_t>(count));
    const size_t start = i * chunk;
    payload.insert(payload.end(), profile.begin() + static_cast<ptrdiff_t>(start),
                   profile.begin() + static_cast<ptrdiff_t>(std::min(profile.size(), start + chunk)));
    assembler.Add(payload.data(), payload.size());
  }
  const std::vector<uint8_t> assembled = assembler.Assemble();
  if (!assembled.empty() && assembled.size() > profile.size()) std::abort();

  for (TImageFormat format : {TImageFormat::TrueColor, TImageFormat::Gray256, TImageFormat::Color16}) {
    TDibGraphic image;
    image.NewImage(17, 3, format, nullptr, 0, 0);
    for (int x = 0; x < 17; ++x) image.SetPixel(x, 1, static_cast<TColorValue>(x * 0x0F0F0F));
    image.SetIccProfile(profile);
    try {
      ConvertToSrgb(image);
      ConvertForDisplay(image, profile);
    } catch (const Exception&) {
    }
    if (image.Width() != 17 || image.ImageFormat() != format) std::abort();
  }
  return 0;
}

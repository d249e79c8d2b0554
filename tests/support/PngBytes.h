// Small PNG files made by libpng itself, for the readers that take PNG data (icons, seeds).
#pragma once

#include <png.h>

#include <cstdint>
#include <vector>

namespace qvtest {

// Width x Height pixels of 8-bit red, green, blue and alpha, rows from the top, as a PNG file in
// memory; no bytes when libpng refuses them.
inline std::vector<uint8_t> RgbaPng(int width, int height, const std::vector<uint8_t>& rgba) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr)) return {};
  std::vector<uint8_t> png(size);
  if (!png_image_write_to_memory(&image, png.data(), &size, 0, rgba.data(), 0, nullptr)) return {};
  png.resize(size);
  return png;
}

}  // namespace qvtest

#include "interop/InteropSupport.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "formats/QvFormats.h"
#include "model/QvDiGrphRegistry.h"
#include "model/QvStream.h"

using namespace quorvane;

namespace qvtest {

bool HaveImageMagick() { return access(kConvert, X_OK) == 0; }

bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

bool Convert(const std::string& arguments) {
  const std::string command = std::string(kConvert) + " " + arguments;
  return std::system(command.c_str()) == 0;
}

TRgbPicture TestPicture(int width, int height, uint32_t seed) {
  TRgbPicture picture{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3)};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = picture.At(x, y);
      seed = seed * 1664525u + 1013904223u;
      if ((x / 8 + y / 5) % 3 == 0) {
        // Flat blocks give long runs, including runs longer than the coders' packet limits.
        p[0] = static_cast<uint8_t>(40 * (y / 5));
        p[1] = 200;
        p[2] = static_cast<uint8_t>(255 - 30 * (x / 8));
      } else {
        p[0] = static_cast<uint8_t>(x * 255 / (width > 1 ? width - 1 : 1));
        p[1] = static_cast<uint8_t>(y * 255 / (height > 1 ? height - 1 : 1));
        p[2] = static_cast<uint8_t>(seed >> 24);
      }
    }
  }
  return picture;
}

void WritePpm(const std::string& fileName, const TRgbPicture& picture) {
  std::ofstream out(fileName, std::ios::binary);
  out << "P6\n" << picture.Width << " " << picture.Height << "\n255\n";
  out.write(reinterpret_cast<const char*>(picture.Rgb.data()), static_cast<std::streamsize>(picture.Rgb.size()));
}

TRgbPicture MagickPixels(const std::string& file, int width, int height, const std::string& extraOptions) {
  // The dump lies beside the file: without a coder prefix ("tga:") and page selector ("[2]").
  const size_t slash = file.find('/');
  const size_t colon = file.find(':');
  const size_t start = colon != std::string::npos && colon < slash ? colon + 1 : 0;
  const std::string dump = file.substr(start, file.find('[') - start) + ".magick.rgb";
  TRgbPicture picture{width, height, {}};
  if (!Convert(file + " " + extraOptions + " -depth 8 rgb:" + dump)) {
    ADD_FAILURE() << "ImageMagick could not read " << file;
    return {};
  }
  picture.Rgb = FileBytes(dump);
  if (picture.Rgb.size() != static_cast<size_t>(width) * height * 3) {
    ADD_FAILURE() << "ImageMagick's dump of " << file << " has " << picture.Rgb.size() << " bytes, expected "
                  << static_cast<size_t>(width) * height * 3;
    return {};
  }
  return picture;
}

TRgbPicture OurPixels(const TDibGraphic& image) {
  TRgbPicture picture{image.Width(), image.Height(),
                      std::vector<uint8_t>(static_cast<size_t>(image.Width()) * image.Height() * 3)};
  for (int y = 0; y < image.Height(); ++y) {
    for (int x = 0; x < image.Width(); ++x) {
      const TColorValue c = image.GetPixel(x, y);
      uint8_t* p = picture.At(x, y);
      p[0] = ColorByte2(c);
      p[1] = ColorByte1(c);
      p[2] = ColorByte0(c);
    }
  }
  return picture;
}

std::unique_ptr<TDibGraphic> ReadThroughRegistry(const std::string& fileName) {
  RegisterStandardGraphicFormats();
  std::unique_ptr<TDibGraphic> image = CreateGraphicForFile(fileName);
  image->LoadFromFile(fileName);
  return image;
}

void WriteThroughRegistry(const TDibGraphic& image, const std::string& fileName) {
  RegisterStandardGraphicFormats();
  std::unique_ptr<TDibGraphic> writer = CreateGraphicForFile(fileName);
  writer->Assign(&image);
  writer->SaveToFile(fileName);
}

namespace {

TDibPalette SpreadPalette(int count) {
  TDibPalette palette;
  palette.Count = static_cast<uint16_t>(count);
  for (int i = 0; i < count; ++i) {
    // Distinct colours over the cube; entries differ in every channel's high bits.
    palette.Entries[i] = {static_cast<uint8_t>((i * 97 + 13) & 0xFF), static_cast<uint8_t>((i * 53 + 200) & 0xFF),
                          static_cast<uint8_t>((i * 31 + 7) & 0xFF), 0};
  }
  return palette;
}

}  // namespace

std::unique_ptr<TDibGraphic> MakeImage(TImageFormat format, int width, int height, uint32_t seed) {
  const TRgbPicture picture = TestPicture(width, height, seed);
  auto image = std::make_unique<TDibGraphic>();
  const int bits = ImageFormatBits(format);
  TDibPalette palette = format == TImageFormat::Color16    ? SpreadPalette(16)
                        : format == TImageFormat::Color256 ? SpreadPalette(256)
                                                           : DefaultPalette(format);
  image->NewImage(width, height, format, format == TImageFormat::TrueColor ? nullptr : &palette, 72, 96);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint8_t* p = picture.At(x, y);
      if (format == TImageFormat::TrueColor) {
        image->SetPixel(x, y, PackColor(p[2], p[1], p[0]));
      } else {
        const int levels = 1 << bits;
        image->SetPixelIndex(x, y, (p[0] + 3 * p[1] + 7 * p[2] + x) % levels);
      }
    }
  }
  return image;
}

}  // namespace qvtest

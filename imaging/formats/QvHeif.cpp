#include "formats/QvHeif.h"

#include <dlfcn.h>
#include <libheif/heif.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cstring>
#include <memory>

#include "formats/QvHeifLayout.h"
#include "model/QvLimits.h"

namespace quorvane {

namespace {

// libheif is loaded when a HEIF picture is first asked for, not with the program: it brings four
// video codecs whose loading and set-up took a fifth of the converter's start-up, which a program
// that never meets a HEIF picture should not pay. The functions the reader calls:
#define QV_HEIF_FUNCTIONS(F)                     \
  F(heif_init)                                   \
  F(heif_have_decoder_for_format)                \
  F(heif_context_alloc)                          \
  F(heif_context_free)                           \
  F(heif_context_set_maximum_image_size_limit)   \
  F(heif_context_set_max_decoding_threads)       \
  F(heif_context_read_from_memory_without_copy)  \
  F(heif_context_get_primary_image_handle)       \
  F(heif_image_handle_get_width)                 \
  F(heif_image_handle_get_height)                \
  F(heif_image_handle_get_luma_bits_per_pixel)   \
  F(heif_image_handle_get_chroma_bits_per_pixel) \
  F(heif_image_handle_release)                   \
  F(heif_decode_image)                           \
  F(heif_image_get_width)                        \
  F(heif_image_get_height)                       \
  F(heif_image_get_bits_per_pixel_range)         \
  F(heif_image_get_plane_readonly)               \
  F(heif_image_release)

// Pointers of the functions' own types, so that every call is checked against libheif's header.
struct THeifLibrary {
#define QV_HEIF_POINTER(name) decltype(&::name) name = nullptr;
  QV_HEIF_FUNCTIONS(QV_HEIF_POINTER)
#undef QV_HEIF_POINTER
};

template <typename TFunction>
bool FindFunction(void* library, const char* name, TFunction& function) {
  function = reinterpret_cast<TFunction>(::dlsym(library, name));
  return function != nullptr;
}

std::unique_ptr<THeifLibrary> LoadLibrary() {
  void* library = ::dlopen(QV_HEIF_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return nullptr;
  auto functions = std::make_unique<THeifLibrary>();
  bool complete = true;
#define QV_HEIF_FIND(name) complete = FindFunction(library, #name, functions->name) && complete;
  QV_HEIF_FUNCTIONS(QV_HEIF_FIND)
#undef QV_HEIF_FIND
  if (!complete) {
    ::dlclose(library);
    return nullptr;
  }
  // The library and its plugins stay for the life of the process: never closed nor
  // deinitialised, so no load can race with a teardown.
  functions->heif_init(nullptr);
  return functions;
}

// libheif's functions, loaded once (the first call from any thread); null when the library is
// not installed or lacks one of them.
const THeifLibrary* HeifLibrary() {
  static const std::unique_ptr<THeifLibrary> library = LoadLibrary();
  return library.get();
}

// The functions for a reader that needs them: the error when libheif is not there.
const THeifLibrary& RequiredHeifLibrary() {
  const THeifLibrary* library = HeifLibrary();
  if (library == nullptr) throw EHeifError("HEIF pictures need libheif (" QV_HEIF_LIBRARY "), which is not installed");
  return *library;
}

struct TContextFree {
  void operator()(heif_context* context) const { HeifLibrary()->heif_context_free(context); }
};
struct THandleRelease {
  void operator()(heif_image_handle* handle) const { HeifLibrary()->heif_image_handle_release(handle); }
};
struct TImageRelease {
  void operator()(heif_image* image) const { HeifLibrary()->heif_image_release(image); }
};
using TContext = std::unique_ptr<heif_context, TContextFree>;
using THandle = std::unique_ptr<heif_image_handle, THandleRelease>;
using THeifImage = std::unique_ptr<heif_image, TImageRelease>;

void Check(const heif_error& error) {
  if (error.code == heif_error_Ok) return;
  if (error.subcode == heif_suberror_Security_limit_exceeded) throw EQuorvaneError("CreateDibSection failed");
  std::string message = error.message != nullptr && *error.message != '\0' ? error.message : "Unreadable HEIF file";
  while (!message.empty() && std::isspace(static_cast<unsigned char>(message.back()))) message.pop_back();
  throw EHeifError(message);
}

// libheif refuses any coded picture wider or higher than this, while it reads the file's boxes:
// no side may exceed the library's limits, nor make a row larger than the memory limit.
int SideLimit() {
  const TImageLimits limits = ImageLimits();
  const int64_t side = std::min({limits.MaxWidth, limits.MaxHeight, limits.MaxArea, limits.MaxMemory / 3});
  return static_cast<int>(std::clamp<int64_t>(side, 1, INT_MAX));
}

// Bytes a pixel that decoding a picture costs at its peak: the decoder's planes (three samples
// at most) and its block information (about two bytes), libheif's interleaved copy (three
// samples) and the image made from it (three bytes). Samples above 8 bits take two bytes.
int DecodingBytesPerPixel(bool deep) { return deep ? 6 + 2 + 6 + 3 : 3 + 2 + 3 + 3; }

void CheckDecodingSize(int64_t width, int64_t height, bool deep) {
  CheckImageSize(width, height, 24);
  CheckBufferSize(static_cast<uint64_t>(width) * static_cast<uint64_t>(height),
                  static_cast<uint64_t>(DecodingBytesPerPixel(deep)));
}

// Every size the file declares must fit: the one libheif announces, each item's own, each grid's
// and overlay's output and each coded stream's frame, since libheif and its decoders allocate
// for those without comparing them. Returns the largest side found, so libheif can be held to it.
int64_t CheckDeclaredSizes(const THeifLibrary& heif, const heif_image_handle* handle, const std::vector<uint8_t>& bytes,
                           size_t offset, bool deep) {
  const int64_t width = heif.heif_image_handle_get_width(handle), height = heif.heif_image_handle_get_height(handle);
  CheckDecodingSize(width, height, deep);
  const THeifLayout layout = ReadHeifLayout(bytes.data() + offset, bytes.size() - offset);
  if (layout.UnknownCodedSize) throw EHeifError("Unreadable HEIF file: a coded picture without a readable size");
  int64_t side = std::max(width, height);
  for (const THeifSize& size : layout.Sizes) {
    CheckDecodingSize(size.Width, size.Height, deep);
    side = std::max({side, size.Width, size.Height});
  }
  return side;
}

// The whole stream from its position on, without a copy when it already lies in memory.
const std::vector<uint8_t>& StreamBytes(TStream& stream, std::vector<uint8_t>& copy, size_t& offset) {
  offset = 0;
  const int64_t position = stream.Position(), size = stream.Size();
  if (position < 0 || size < position) throw EHeifError("Unreadable HEIF file");
  if (auto* memory = dynamic_cast<TMemoryStream*>(&stream)) {
    offset = static_cast<size_t>(position);
    stream.SetPosition(size);
    return memory->Data();
  }
  CheckBufferSize(static_cast<uint64_t>(size - position));
  copy.resize(static_cast<size_t>(size - position));
  stream.ReadBuffer(copy.data(), copy.size());
  return copy;
}

// Rows of 8-bit red, green, blue samples into the image's blue, green, red rows.
void StoreRows8(TDibGraphic& image, const uint8_t* plane, int stride) {
  const int width = image.Width();
  const size_t padding = static_cast<size_t>(image.BytesPerLine()) - 3 * static_cast<size_t>(width);
  for (int y = 0; y < image.Height(); ++y) {
    const uint8_t* in = plane + static_cast<size_t>(y) * static_cast<size_t>(stride);
    uint8_t* out = image.ScanLine(y);
    for (int x = 0; x < width; ++x, in += 3, out += 3) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
    }
    std::memset(out, 0, padding);
  }
}

// Rows of 16-bit little-endian samples holding Bits significant bits, scaled to 8 bits with
// rounding (1023 becomes 255, 512 becomes 128).
void StoreRowsDeep(TDibGraphic& image, const uint8_t* plane, int stride, int bits) {
  const uint32_t maximum = (1u << bits) - 1;
  std::vector<uint8_t> scale(maximum + 1);
  for (uint32_t v = 0; v <= maximum; ++v) scale[v] = static_cast<uint8_t>((v * 255 + maximum / 2) / maximum);
  const auto sample = [&](const uint8_t* p) { return scale[std::min<uint32_t>(p[0] | p[1] << 8, maximum)]; };
  const int width = image.Width();
  const size_t padding = static_cast<size_t>(image.BytesPerLine()) - 3 * static_cast<size_t>(width);
  for (int y = 0; y < image.Height(); ++y) {
    const uint8_t* in = plane + static_cast<size_t>(y) * static_cast<size_t>(stride);
    uint8_t* out = image.ScanLine(y);
    for (int x = 0; x < width; ++x, in += 6, out += 3) {
      out[0] = sample(in + 4);
      out[1] = sample(in + 2);
      out[2] = sample(in);
    }
    std::memset(out, 0, padding);
  }
}

std::string WithoutDot(const std::string& extension) {
  std::string result = extension.empty() || extension[0] != '.' ? extension : extension.substr(1);
  for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return result;
}

}  // namespace

std::vector<TPlatformPictureFormat> HeifFormats() {
  std::vector<TPlatformPictureFormat> formats;
  const THeifLibrary* heif = HeifLibrary();
  if (heif == nullptr) return formats;
  if (heif->heif_have_decoder_for_format(heif_compression_AV1) != 0) formats.push_back({"avif", "AVIF Images"});
  if (heif->heif_have_decoder_for_format(heif_compression_HEVC) != 0) {
    formats.push_back({"heic", "HEIF Images"});
    formats.push_back({"heif", "HEIF Images"});
  }
  return formats;
}

bool IsHeifExtension(const std::string& extension) {
  const std::string wanted = WithoutDot(extension);
  // Other extensions are answered without loading libheif.
  if (wanted != "avif" && wanted != "heic" && wanted != "heif") return false;
  const std::vector<TPlatformPictureFormat> formats = HeifFormats();
  return std::any_of(formats.begin(), formats.end(), [&](const auto& f) { return f.Extension == wanted; });
}

std::unique_ptr<TDibGraphic> LoadHeifImage(TStream& stream) {
  const THeifLibrary& heif = RequiredHeifLibrary();
  std::vector<uint8_t> copy;
  size_t offset = 0;
  const std::vector<uint8_t>& bytes = StreamBytes(stream, copy, offset);

  const TContext context(heif.heif_context_alloc());
  if (!context) throw EOutOfResources("Out of memory");
  heif.heif_context_set_maximum_image_size_limit(context.get(), SideLimit());
  Check(heif.heif_context_read_from_memory_without_copy(context.get(), bytes.data() + offset, bytes.size() - offset,
                                                        nullptr));
  heif_image_handle* rawHandle = nullptr;
  Check(heif.heif_context_get_primary_image_handle(context.get(), &rawHandle));
  const THandle handle(rawHandle);
  const bool deep = heif.heif_image_handle_get_luma_bits_per_pixel(handle.get()) > 8 ||
                    heif.heif_image_handle_get_chroma_bits_per_pixel(handle.get()) > 8;
  const int64_t side = CheckDeclaredSizes(heif, handle.get(), bytes, offset, deep);
  // Whatever the boxes did not show is held to the largest side they did (libheif refuses a
  // decoded side equal to its limit, while reading only a larger one); tiles are decoded one after
  // another, so no more than one tile's decoder lives beside the picture.
  heif.heif_context_set_maximum_image_size_limit(context.get(),
                                                 static_cast<int>(std::min<int64_t>(side, INT_MAX - 1) + 1));
  heif.heif_context_set_max_decoding_threads(context.get(), 0);

  // Default decoding options: rotation, mirroring and cropping are applied; the alpha channel is
  // left out by asking for red, green and blue only.
  heif_image* rawImage = nullptr;
  Check(heif.heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB,
                               deep ? heif_chroma_interleaved_RRGGBB_LE : heif_chroma_interleaved_RGB, nullptr));
  const THeifImage decoded(rawImage);
  const int width = heif.heif_image_get_width(decoded.get(), heif_channel_interleaved);
  const int height = heif.heif_image_get_height(decoded.get(), heif_channel_interleaved);
  const int bits = heif.heif_image_get_bits_per_pixel_range(decoded.get(), heif_channel_interleaved);
  int stride = 0;
  const uint8_t* plane = heif.heif_image_get_plane_readonly(decoded.get(), heif_channel_interleaved, &stride);
  const int64_t rowBytes = static_cast<int64_t>(width) * (deep ? 6 : 3);
  if (plane == nullptr || width < 1 || height < 1 || stride < rowBytes || (deep ? bits < 9 || bits > 16 : bits != 8))
    throw EHeifError("Unsupported HEIF picture layout");

  auto image = std::make_unique<TDibGraphic>();
  image->NewImageForOverwrite(width, height, TImageFormat::TrueColor, nullptr, 0, 0);
  if (deep)
    StoreRowsDeep(*image, plane, stride, bits);
  else
    StoreRows8(*image, plane, stride);
  return image;
}

}  // namespace quorvane

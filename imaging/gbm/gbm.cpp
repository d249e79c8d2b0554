// The library core: the format table, format guessing, option words, messages and dispatch.
#include "gbm/gbm.h"

#include <array>
#include <string_view>

#include "gbm/gbmcodec.h"

namespace quorvane {

namespace {

// Fixed order: it is also the order in which extensions are searched.
const std::array<const gbm_format_ops*, 3> kFormats = {&gbm_bmp_ops, &gbm_pcx_ops, &gbm_tga_ops};

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == ','; }

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameWord(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  return true;
}

// Calls Visit(word, offset) for each word of Text until it returns true; the splitting keeps its
// position in locals only, so any number of threads may split texts at once.
template <typename F>
bool ForEachWord(std::string_view text, F visit) {
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsSeparator(text[i])) ++i;
    const size_t start = i;
    while (i < text.size() && !IsSeparator(text[i])) ++i;
    if (i > start && visit(text.substr(start, i - start), start)) return true;
  }
  return false;
}

std::string_view ExtensionOf(std::string_view fn) {
  const size_t dot = fn.rfind('.');
  if (dot == std::string_view::npos) return {};
  const std::string_view ext = fn.substr(dot + 1);
  if (ext.find_first_of("/\\") != std::string_view::npos) return {};
  return ext;
}

const char* FixedMessage(GBM_ERR rc) {
  switch (rc) {
    case GBM_ERR_OK: return "ok";
    case GBM_ERR_MEM: return "out of memory";
    case GBM_ERR_NOT_SUPP: return "not supported";
    case GBM_ERR_BAD_OPTION: return "bad option(s)";
    case GBM_ERR_NOT_FOUND: return "not found";
    case GBM_ERR_BAD_MAGIC: return "bad magic number / signiture block";
    case GBM_ERR_BAD_SIZE: return "bad bitmap size";
    case GBM_ERR_READ: return "can't read file";
    case GBM_ERR_WRITE: return "can't write file";
    case GBM_ERR_BAD_ARG: return "bad argument to gbm function";
    default: return nullptr;
  }
}

}  // namespace

GBM_ERR gbm_init() { return GBM_ERR_OK; }
GBM_ERR gbm_deinit() { return GBM_ERR_OK; }

GBM_ERR gbm_query_n_filetypes(int* n_ft) {
  if (n_ft == nullptr) return GBM_ERR_BAD_ARG;
  *n_ft = static_cast<int>(kFormats.size());
  return GBM_ERR_OK;
}

GBM_ERR gbm_guess_filetype(const char* fn, int* ft) {
  if (fn == nullptr || ft == nullptr) return GBM_ERR_BAD_ARG;
  const std::string_view ext = ExtensionOf(fn);
  if (ext.empty()) return GBM_ERR_NOT_FOUND;
  for (size_t i = 0; i < kFormats.size(); ++i) {
    gbm_filetype desc{};
    kFormats[i]->describe(&desc);
    if (ForEachWord(desc.extensions, [&](std::string_view word, size_t) { return SameWord(word, ext); })) {
      *ft = static_cast<int>(i);
      return GBM_ERR_OK;
    }
  }
  return GBM_ERR_NOT_FOUND;
}

GBM_ERR gbm_query_filetype(int ft, gbm_filetype* gbmft) {
  if (gbmft == nullptr) return GBM_ERR_BAD_ARG;
  return kFormats[static_cast<size_t>(ft)]->describe(gbmft);
}

GBM_ERR gbm_read_header(const char* fn, gbm_fd fd, int ft, gbm_header* gbm, const char* opt) {
  if (fn == nullptr || gbm == nullptr || opt == nullptr) return GBM_ERR_BAD_ARG;
  return kFormats[static_cast<size_t>(ft)]->read_header(fn, fd, gbm, opt);
}

GBM_ERR gbm_read_palette(gbm_fd fd, int ft, gbm_header* gbm, gbm_rgb* gbmrgb) {
  if (gbm == nullptr || gbmrgb == nullptr) return GBM_ERR_BAD_ARG;
  return kFormats[static_cast<size_t>(ft)]->read_palette(fd, gbm, gbmrgb);
}

GBM_ERR gbm_read_data(gbm_fd fd, int ft, gbm_header* gbm, uint8_t* data) {
  if (gbm == nullptr || data == nullptr) return GBM_ERR_BAD_ARG;
  return kFormats[static_cast<size_t>(ft)]->read_data(fd, gbm, data);
}

GBM_ERR gbm_write(const char* fn, gbm_fd fd, int ft, const gbm_header* gbm, const gbm_rgb* gbmrgb, const uint8_t* data,
                  const char* opt) {
  // Header, palette and pixels are checked too: a writer dereferences all three.
  if (fn == nullptr || opt == nullptr || gbm == nullptr || gbmrgb == nullptr || data == nullptr) return GBM_ERR_BAD_ARG;
  if (gbm->w <= 0 || gbm->h <= 0) return GBM_ERR_BAD_SIZE;
  return kFormats[static_cast<size_t>(ft)]->write(fn, fd, gbm, gbmrgb, data, opt);
}

const char* gbm_err(GBM_ERR rc) {
  if (const char* fixed = FixedMessage(rc)) return fixed;
  for (const gbm_format_ops* format : kFormats)
    if (const char* text = format->message(rc)) return text;
  return "general error";
}

const char* gbm_find_word(const char* opt, const char* word) {
  if (opt == nullptr || word == nullptr) return nullptr;
  const char* found = nullptr;
  ForEachWord(opt, [&](std::string_view w, size_t offset) {
    if (!SameWord(w, word)) return false;
    found = opt + offset;
    return true;
  });
  return found;
}

}  // namespace quorvane

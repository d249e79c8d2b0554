#include "scan/ScanTestSupport.h"

#include <dlfcn.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "scan/QvScanPage.h"

namespace qvtest {

using namespace quorvane;

namespace {

// One configuration folder for the whole process: SANE's library remembers the folder it first
// read its configuration from.
std::string SandboxFolder() {
  static const qvtest::TScratchFolder folder;
  return folder / "";
}

}  // namespace

TSaneSandbox::TSaneSandbox(const std::map<std::string, std::string>& settings, const std::vector<std::string>& backends)
    : FFolder(SandboxFolder()) {
  std::ofstream dll(FFolder + "dll.conf");
  for (const std::string& backend : backends) dll << backend << '\n';
  dll.close();
  std::ofstream conf(FFolder + "test.conf");
  for (const auto& [key, value] : settings) conf << key << ' ' << value << '\n';
  conf.close();
  ::setenv("SANE_CONFIG_DIR", FFolder.c_str(), 1);
}

TSaneSandbox::~TSaneSandbox() {
  ::unsetenv("SANE_CONFIG_DIR");
  std::remove((FFolder + "dll.conf").c_str());
  std::remove((FFolder + "test.conf").c_str());
}

std::map<std::string, std::string> TestSettings(std::map<std::string, std::string> changes) {
  std::map<std::string, std::string> settings = {
      {"number_of_devices", "1"}, {"test-picture", "\"Color pattern\""}, {"br_x", "40.0"}, {"br_y", "30.0"}};
  for (auto& [key, value] : changes) settings[key] = value;
  return settings;
}

std::vector<TScannedPage> AcquirePages(TScanner& scanner) {
  std::vector<TScannedPage> pages;
  scanner.Acquire(nullptr, [&pages](TW_HANDLE page, uint16_t xDpi, uint16_t yDpi, void*) {
    TScannedPage scanned{std::make_unique<TDibGraphic>(), xDpi, yDpi};
    LoadScannedPage(*scanned.Image, page, xDpi, yDpi);
    pages.push_back(std::move(scanned));
  });
  return pages;
}

void KeepSaneLoaded() {
  void* sane = ::dlopen("libsane.so.1", RTLD_NOW | RTLD_NODELETE);
  if (sane == nullptr) return;
  // The backends lie in the folder "sane" beside the library.
  Dl_info info{};
  if (::dladdr(::dlsym(sane, "sane_init"), &info) == 0 || info.dli_fname == nullptr) return;
  const std::filesystem::path backend =
      std::filesystem::path(info.dli_fname).parent_path() / "sane" / "libsane-test.so.1";
  ::dlopen(backend.c_str(), RTLD_NOW | RTLD_NODELETE);
}

namespace {

// Command as one single-quoted shell word.
std::string SingleQuotedForShell(const std::string& command) {
  std::string quoted = "'";
  for (char c : command) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

int RunCommandOnce(const std::string& command, std::string& text) {
  FILE* pipe = ::popen(("timeout -k 5 15 sh -c " + SingleQuotedForShell(command) + " 2>&1").c_str(), "r");
  if (!pipe) return -1;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
  const int status = ::pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

// SANE's test backend reads each frame in a thread that it cancels asynchronously when the frame
// ends; now and then the cancel lands while that thread holds its malloc arena, and the thread
// then waits for itself at exit, with the program waiting to join it. Such a run is stopped after
// 15 seconds (a scan here takes well under one) and run once more, so that the backend's rare
// hang does not stall the suite.
int RunCommand(const std::string& command, std::string* output) {
  std::string text;
  int status = RunCommandOnce(command, text);
  if (status == 124 || status == 137) {
    text.clear();
    status = RunCommandOnce(command, text);
  }
  if (output) *output = text;
  return status;
}

namespace {

// Reads the next header number of a binary any-map.
int PnmNumber(std::istream& in) {
  int value = 0;
  in >> std::ws;
  while (in.peek() == '#') {
    std::string comment;
    std::getline(in, comment);
    in >> std::ws;
  }
  in >> value;
  return value;
}

}  // namespace

TReferencePicture ReferenceScan(const std::string& mode, int resolution) {
  const std::string saneMode = mode == "color" ? "Color" : "Gray";
  const std::string depth = mode == "lineart" ? "1" : "8";
  std::string pnm;
  const std::string command = "scanimage -d test:0 --format=pnm --mode " + saneMode + " --depth " + depth +
                              " --resolution " + std::to_string(resolution) + " 2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) throw std::runtime_error("scanimage does not run");
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) pnm.append(buffer, n);
  if (::pclose(pipe) != 0) throw std::runtime_error("scanimage failed");

  std::istringstream in(pnm);
  std::string magic;
  in >> magic;
  TReferencePicture picture;
  picture.Width = PnmNumber(in);
  picture.Height = PnmNumber(in);
  if (magic != "P4") PnmNumber(in);  // maximum value
  in.get();
  const size_t w = static_cast<size_t>(picture.Width);
  picture.Bgr.resize(w * 3 * static_cast<size_t>(picture.Height));
  for (int y = 0; y < picture.Height; ++y) {
    uint8_t* out = picture.Bgr.data() + static_cast<size_t>(y) * w * 3;
    std::vector<uint8_t> row(magic == "P4" ? (w + 7) / 8 : magic == "P5" ? w : 3 * w);
    in.read(reinterpret_cast<char*>(row.data()), static_cast<std::streamsize>(row.size()));
    for (size_t x = 0; x < w; ++x) {
      if (magic == "P4") {
        std::fill_n(out + 3 * x, 3, (row[x / 8] >> (7 - x % 8)) & 1 ? 0 : 255);  // 1 is black
      } else if (magic == "P5") {
        std::fill_n(out + 3 * x, 3, row[x]);
      } else {
        out[3 * x] = row[3 * x + 2], out[3 * x + 1] = row[3 * x + 1], out[3 * x + 2] = row[3 * x];
      }
    }
  }
  return picture;
}

std::vector<uint8_t> ImageBgr(const TDibGraphic& image) {
  const size_t w = static_cast<size_t>(image.Width());
  std::vector<uint8_t> bgr(w * 3 * static_cast<size_t>(image.Height()));
  const int bits = ImageFormatBits(image.ImageFormat());
  const TDibPalette& palette = image.PaletteRecord();
  for (int y = 0; y < image.Height(); ++y) {
    const uint8_t* row = image.ScanLine(y);
    uint8_t* out = bgr.data() + static_cast<size_t>(y) * w * 3;
    for (size_t x = 0; x < w; ++x) {
      if (bits == 24) {
        std::copy_n(row + 3 * x, 3, out + 3 * x);
        continue;
      }
      unsigned index = bits == 8   ? row[x]
                       : bits == 4 ? (row[x / 2] >> (x % 2 ? 0 : 4)) & 15u
                                   : (row[x / 8] >> (7 - x % 8)) & 1u;
      const auto& entry = palette.Entries[index];
      out[3 * x] = entry.Blue, out[3 * x + 1] = entry.Green, out[3 * x + 2] = entry.Red;
    }
  }
  return bgr;
}

}  // namespace qvtest

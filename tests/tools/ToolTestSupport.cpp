#include "ToolTestSupport.h"

#include <sys/wait.h>

#include <fstream>
#include <iterator>
#include <random>

#include "formats/QvFormats.h"
#include "model/QvDiGrphRegistry.h"

using namespace quorvane;

namespace qvtest {

namespace fs = std::filesystem;

namespace {

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string ReadText(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string CommandLine(const std::vector<std::string>& arguments) {
  std::string command = Quote(BRINDLEX_CONVERT);
  for (const auto& argument : arguments) {
    command += ' ';
    command += Quote(argument);
  }
  return command;
}

TRun RunShell(const std::string& command, const std::string& outFile, const std::string& errFile) {
  TRun run;
  const int status = std::system(command.c_str());
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.Out = ReadText(outFile);
  run.Err = ReadText(errFile);
  return run;
}

}  // namespace

TRun RunConvert(const std::vector<std::string>& arguments) {
  const TScratchFolder folder;
  const std::string base = folder / "run";
  return RunShell(CommandLine(arguments) + " >" + Quote(base + ".out") + " 2>" + Quote(base + ".err") + " </dev/null",
                  base + ".out", base + ".err");
}

TRun RunConvertOnTerminal(const std::vector<std::string>& arguments) {
  // script gives the program a terminal for all three streams and copies what it writes.
  const TScratchFolder folder;
  const std::string base = folder / "run";
  const std::string command = "script -qec " + Quote(CommandLine(arguments)) + " /dev/null >" + Quote(base + ".out") +
                              " 2>" + Quote(base + ".err") + " </dev/null";
  return RunShell(command, base + ".out", base + ".err");
}

std::unique_ptr<TDibGraphic> MakeImage(TImageFormat format, int width, int height, uint32_t seed) {
  auto image = std::make_unique<TDibGraphic>();
  image->NewImage(width, height, format, nullptr, 150, 75);
  std::mt19937 random(seed);
  const int entries = IsPaletteFormat(format) ? image->PaletteRecord().Count : 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      if (entries > 0) {
        // Flat runs with noise: run-length coders see both.
        const int index = (x / 5 + y / 3) % 3 == 0 ? static_cast<int>(random() % entries) : (x / 7 + y) % entries;
        image->SetPixelIndex(x, y, index);
      } else {
        image->SetPixel(x, y,
                        PackColor(static_cast<uint8_t>(x * 255 / width), static_cast<uint8_t>(y * 255 / height),
                                  static_cast<uint8_t>(random())));
      }
    }
  return image;
}

void WriteImage(const TDibGraphic& image, const std::string& file) {
  std::unique_ptr<TDibGraphic> writer = CreateGraphicForFile(file);
  writer->Assign(&image);
  writer->SaveToFile(file);
}

void WriteWholeAndCut(const TScratchFolder& dir, const TDibGraphic& image, const std::vector<std::string>& extensions) {
  for (const std::string& extension : extensions) {
    WriteImage(image, dir / ("whole." + extension));
    std::vector<uint8_t> bytes = FileBytes(dir / ("whole." + extension));
    bytes.resize(bytes.size() * 2 / 3);
    PutFileBytes(dir / ("cut." + extension), bytes);
  }
}

void WritePages(const std::vector<const TDibGraphic*>& pages, const std::string& file) {
  TFileStream stream(file, TFileMode::fmCreate);
  for (const TDibGraphic* page : pages) {
    std::unique_ptr<TDibGraphic> writer = CreateGraphicForFile(file);
    writer->Assign(page);
    writer->AppendToStream(stream);
  }
}

std::unique_ptr<TDibGraphic> ReadImage(const std::string& file, int page) {
  std::unique_ptr<TDibGraphic> image = CreateGraphicForFile(file);
  image->SetImageIndex(page);
  image->LoadFromFile(file);
  return image;
}

int PageCount(const std::string& file) {
  TFileStream stream(file, TFileMode::fmOpenRead);
  return CreateGraphicForFile(file)->GetImageCount(stream);
}

}  // namespace qvtest

// The registry is filled once for the whole test program, as the tool does at start.
namespace {
const bool kRegistered = (RegisterStandardGraphicFormats(), true);
}

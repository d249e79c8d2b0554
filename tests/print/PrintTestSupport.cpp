#include "PrintTestSupport.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QPageLayout>
#include <QPageSize>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace qvtest {

using quorvane::TImageFormat;

void SetUpPaper(QPrinter& printer, const TPaper& paper) {
  printer.setResolution(paper.Dpi);
  printer.setPageSize(
      QPageSize(QSizeF(paper.PaperWidth, paper.PaperHeight), QPageSize::Inch, QString(), QPageSize::ExactMatch));
  printer.setPageOrientation(QPageLayout::Portrait);
  printer.setPageMargins(QMarginsF(paper.MarginLeft, paper.MarginTop, paper.MarginRight, paper.MarginBottom),
                         QPageLayout::Inch);
}

void PrintIntoPdf(QPrinter& printer, const TPaper& paper, const std::string& fileName) {
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QString::fromStdString(fileName));
  SetUpPaper(printer, paper);
}

std::unique_ptr<QPrinter> PdfPrinter(const TPaper& paper, const std::string& fileName) {
  auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  PrintIntoPdf(*printer, paper, fileName);
  return printer;
}

bool FileExists(const std::string& fileName) { return std::filesystem::exists(fileName); }

namespace {

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

std::string CommandOutput(const std::string& command) {
  std::string output;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, count);
    ::pclose(pipe);
  }
  return output;
}

}  // namespace

std::string PdfInfo(const std::string& pdf, const std::string& key) {
  std::istringstream lines(CommandOutput("pdfinfo " + Quoted(pdf) + " 2>/dev/null"));
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(key + ":", 0) != 0) continue;
    const size_t value = line.find_first_not_of(' ', key.size() + 1);
    return value == std::string::npos ? std::string() : line.substr(value);
  }
  return {};
}

std::vector<TPdfImage> PdfImages(const std::string& pdf) {
  std::istringstream lines(CommandOutput("pdfimages -list " + Quoted(pdf) + " 2>/dev/null"));
  std::vector<TPdfImage> images;
  std::string line;
  std::getline(lines, line);  // column names
  std::getline(lines, line);  // rule
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string page, number, type, color, components, bits;
    TPdfImage image;
    if (fields >> page >> number >> type >> image.Width >> image.Height >> color >> components >> bits >>
        image.Encoding)
      images.push_back(image);
  }
  return images;
}

uint32_t TRaster::At(int x, int y) const {
  const size_t i = (static_cast<size_t>(y) * Width + x) * 3;
  return (uint32_t{Rgb[i]} << 16) | (uint32_t{Rgb[i + 1]} << 8) | Rgb[i + 2];
}

TRaster RenderPage(const std::string& pdf, int dpi) {
  const std::string prefix = pdf + "-page";
  const std::string command =
      "pdftoppm -singlefile -f 1 -l 1 -r " + std::to_string(dpi) + " " + Quoted(pdf) + " " + Quoted(prefix);
  TRaster raster;
  if (std::system(command.c_str()) != 0) {
    ADD_FAILURE() << "pdftoppm failed on " << pdf;
    return raster;
  }
  std::ifstream file(prefix + ".ppm", std::ios::binary);
  std::string magic;
  int maxValue = 0;
  file >> magic >> raster.Width >> raster.Height >> maxValue;
  file.get();
  if (magic != "P6" || maxValue != 255 || raster.Width <= 0 || raster.Height <= 0) {
    ADD_FAILURE() << "not an 8-bit PPM: " << prefix << ".ppm";
    return {};
  }
  raster.Rgb.resize(static_cast<size_t>(raster.Width) * raster.Height * 3);
  file.read(reinterpret_cast<char*>(raster.Rgb.data()), static_cast<std::streamsize>(raster.Rgb.size()));
  if (!file) ADD_FAILURE() << "short PPM: " << prefix << ".ppm";
  return raster;
}

TBox FindBox(const TRaster& raster, const std::function<bool(uint32_t)>& match) {
  TBox box{raster.Width, raster.Height, 0, 0};
  for (int y = 0; y < raster.Height; ++y) {
    for (int x = 0; x < raster.Width; ++x) {
      if (!match(raster.At(x, y))) continue;
      box.Left = std::min(box.Left, x);
      box.Top = std::min(box.Top, y);
      box.Right = std::max(box.Right, x + 1);
      box.Bottom = std::max(box.Bottom, y + 1);
    }
  }
  return box.Right == 0 ? TBox{} : box;
}

bool IsNear(uint32_t rgb, uint32_t wanted, int tolerance) {
  for (int shift : {0, 8, 16}) {
    if (std::abs(int((rgb >> shift) & 0xFF) - int((wanted >> shift) & 0xFF)) > tolerance) return false;
  }
  return true;
}

bool IsDark(uint32_t rgb) { return ((rgb >> 16) & 0xFF) < 100 && ((rgb >> 8) & 0xFF) < 100 && (rgb & 0xFF) < 100; }

std::unique_ptr<quorvane::TDibGraphic> SolidImage(int width, int height, TImageFormat format, uint32_t fill, int dpi) {
  auto image = std::make_unique<quorvane::TDibGraphic>();
  image->NewImage(width, height, format, nullptr, static_cast<uint16_t>(dpi), static_cast<uint16_t>(dpi));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (format == TImageFormat::TrueColor)
        image->SetPixel(x, y, fill);
      else
        image->SetPixelIndex(x, y, static_cast<int>(fill));
    }
  }
  return image;
}

}  // namespace qvtest

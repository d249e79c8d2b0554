#include "WindowTestUtil.h"

#include <stdio.h>

#include <QApplication>
#include <QDropEvent>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "model/QvDiGrphRegistry.h"
#include "model/QvStream.h"

namespace qvtest {

using quorvane::TDibGraphic;
using quorvane::TImageFormat;

std::unique_ptr<TDibGraphic> Gradient(int width, int height, TImageFormat format) {
  auto image = std::make_unique<TDibGraphic>();
  image->NewImage(width, height, TImageFormat::TrueColor, nullptr, 96, 96);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = image->ScanLine(y);
    for (int x = 0; x < width; ++x) {
      row[3 * x] = static_cast<uint8_t>(x);
      row[3 * x + 1] = static_cast<uint8_t>(y);
      row[3 * x + 2] = static_cast<uint8_t>(x + y);
    }
  }
  if (format != TImageFormat::TrueColor) {
    // The plain nearest-colour mapping of Draw gives any format without a quantizer.
    auto converted = std::make_unique<TDibGraphic>();
    converted->NewImage(width, height, format, nullptr, 96, 96);
    image->Draw(*converted, quorvane::TRect{0, 0, width, height});
    return converted;
  }
  return image;
}

bool SamePixels(const TDibGraphic& a, const TDibGraphic& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.ImageFormat() != b.ImageFormat()) return false;
  const size_t used = (static_cast<size_t>(a.Width()) * static_cast<size_t>(a.BitCount()) + 7) / 8;
  for (int y = 0; y < a.Height(); ++y)
    if (std::memcmp(a.ScanLine(y), b.ScanLine(y), used) != 0) return false;
  return true;
}

void WriteImage(const TDibGraphic& image, const std::string& fileName) {
  std::unique_ptr<TDibGraphic> file = quorvane::CreateGraphicForFile(fileName);
  file->Assign(&image);
  file->SaveToFile(fileName);
}

void WritePages(const std::vector<const TDibGraphic*>& pages, const std::string& fileName) {
  std::unique_ptr<TDibGraphic> file = quorvane::CreateGraphicForFile(fileName);
  quorvane::TMemoryStream stream;
  for (size_t i = 0; i < pages.size(); ++i) {
    file->Assign(pages[i]);
    stream.Seek(0, quorvane::TSeekOrigin::soBeginning);
    if (i == 0)
      file->SaveToStream(stream);
    else
      file->AppendToStream(stream);
  }
  qvtest::PutFileBytes(fileName, stream.Data());
}

std::unique_ptr<TDibGraphic> ReadPage(const std::string& fileName, int index) {
  std::unique_ptr<TDibGraphic> file = quorvane::CreateGraphicForFile(fileName);
  file->SetImageIndex(index);
  file->LoadFromFile(fileName);
  return file;
}

int PageCount(const std::string& fileName) {
  std::unique_ptr<TDibGraphic> file = quorvane::CreateGraphicForFile(fileName);
  quorvane::TMemoryStream stream(qvtest::FileBytes(fileName));
  return file->GetImageCount(stream);
}

void ClearSettings() {
  QSettings settings(QStringLiteral("QUELLMARK"), QStringLiteral("Brindlex"));
  settings.clear();
  settings.sync();
}

void SendDrop(brindlex::TfrmImageConverter& window, const QMimeData& data) {
  QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  static_cast<QObject&>(window).event(&event);
}

bool RunTool(const std::string& command) { return std::system(("{ " + command + "; } >/dev/null 2>&1").c_str()) == 0; }

std::string ToolOutput(const std::string& command) {
  std::string output;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    ::pclose(pipe);
  }
  return output;
}

std::vector<std::string> PageCompressions(const std::string& file) {
  std::istringstream lines(ToolOutput("tiffinfo '" + file + "' 2>/dev/null"));
  std::vector<std::string> result;
  const std::string key = "Compression Scheme: ";
  for (std::string line; std::getline(lines, line);)
    if (const size_t at = line.find(key); at != std::string::npos) result.push_back(line.substr(at + key.size()));
  return result;
}

void WindowTest::SetUp() {
  ClearSettings();
  Window = std::make_unique<brindlex::TfrmImageConverter>();
  auto dialogs = std::make_unique<TScriptedDialogs>();
  Dialogs = dialogs.get();
  Window->SetUserDialogs(std::move(dialogs));
  Window->show();
  QApplication::processEvents();
}

void WindowTest::TearDown() {
  Window.reset();
  ClearSettings();
}

void WindowTest::Trigger(const char* name) {
  QAction* action = Window->Action(QString::fromLatin1(name));
  ASSERT_NE(action, nullptr) << name;
  action->trigger();
  Window->UpdateCommands();
}

void WindowTest::Trigger(brindlex::TImageCommand command) {
  Window->ImageCommandAction(command)->trigger();
  Window->UpdateCommands();
}

void WindowTest::ShowPicture(const TDibGraphic& image) {
  Window->Document().ReplaceImage(image, false);
  Window->ImageScrollBox().Redraw(true);
  Window->UpdateCommands();
}

std::string WindowTest::OpenGradient(const std::string& name, int width, int height, TImageFormat format) {
  const std::string file = Path(name);
  WriteImage(*Gradient(width, height, format), file);
  Dialogs->OpenNames.push_back(QString::fromStdString(file));
  Trigger("acOpen");
  return file;
}

}  // namespace qvtest

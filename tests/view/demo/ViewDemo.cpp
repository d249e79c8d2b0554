// A small window holding only the image view, for looking at it and for screenshots:
//   view_demo fit|<percent> [image file] [--select] [--no-colour]
// Without a file it shows a generated chart of gradients, a grid and labels. --select shows a
// rubber band drawn with the quick-select mode as a user would; --no-colour shows the picture's
// numbers without converting them from its colour profile.
#include <QApplication>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>
#include <memory>
#include <string>

#include "formats/QvFormats.h"
#include "model/QvDiGrphRegistry.h"
#include "model/QvPlatform.h"
#include "model/QvStream.h"
#include "platform/QvDiGrphQt.h"
#include "platform/QvQtPlatform.h"
#include "view/QvImageScrollBox.h"

using namespace quorvane;

namespace {

// Gradients, a 50-pixel grid with its coordinates, and a circle: scaling faults show at once.
QImage Chart() {
  QImage chart(900, 600, QImage::Format_RGB32);
  for (int y = 0; y < chart.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(chart.scanLine(y));
    for (int x = 0; x < chart.width(); ++x) row[x] = qRgb(x * 255 / 900, y * 255 / 600, 160);
  }
  QPainter p(&chart);
  p.setPen(QPen(Qt::white, 1));
  for (int x = 0; x < 900; x += 50) p.drawLine(x, 0, x, 599);
  for (int y = 0; y < 600; y += 50) p.drawLine(0, y, 899, y);
  p.setPen(Qt::black);
  for (int y = 0; y < 600; y += 100)
    for (int x = 0; x < 900; x += 100) p.drawText(x + 4, y + 16, QString("%1,%2").arg(x).arg(y));
  p.setPen(QPen(Qt::yellow, 4));
  p.drawEllipse(QPoint(450, 300), 200, 200);
  return chart;
}

// Every image of File as frames, through its registered class or the platform's picture loader.
std::unique_ptr<TDibGraphic> LoadPicture(const std::string& file) {
  if (!FindGraphicClass(file)) {
    TFileStream stream(file, TFileMode::fmOpenRead);
    return LoadPlatformPicture(stream, file, true);
  }
  std::unique_ptr<TDibGraphic> picture = CreateGraphicForFile(file);
  picture->SetMultiImage(true);
  picture->LoadFromFile(file);
  return picture;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  InstallQtPlatform();
  RegisterStandardGraphicFormats();
  const std::string zoom = argc > 1 ? argv[1] : "fit";
  std::string file;
  bool select = false;
  bool colour = true;
  for (int i = 2; i < argc; ++i) {
    if (std::string(argv[i]) == "--select")
      select = true;
    else if (std::string(argv[i]) == "--no-colour")
      colour = false;
    else
      file = argv[i];
  }

  std::unique_ptr<TDibGraphic> picture;  // outlives the view that shows it
  QWidget window;
  window.setWindowTitle("View test");
  auto* layout = new QVBoxLayout(&window);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* view = new TImageScrollBox(&window);
  view->SetColourManaged(colour);
  layout->addWidget(view);
  window.resize(480, 360);
  window.show();
  QApplication::processEvents();

  try {
    if (file.empty()) {
      TDibGraphic image;
      LoadFromBitmapHandle(image, Chart());
      view->SetGraphic(image);
    } else {
      picture = LoadPicture(file);
      view->SetPicture(picture.get());
    }
    if (zoom == "fit")
      view->SetZoomMode(TZoomMode::zmFullPage);
    else
      view->SetZoomPercent(std::stof(zoom));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "view_demo: %s\n", error.what());
    return 1;
  }
  if (select) {
    view->SetMouseMode(TMouseMode::mmQuickSelect);
    // Press, then move with the left button, as a user draws the band.
    QTimer::singleShot(300, view, [view] {
      view->MouseHandler()->MouseDown(Qt::LeftButton, {Qt::NoModifier, Qt::LeftButton}, 60, 40);
      view->MouseHandler()->MouseMove({Qt::NoModifier, Qt::LeftButton}, 260, 190);
    });
  }
  std::printf("view_demo: zoom %.2f %%, display %d x %d\n", view->ZoomPercent(), view->DisplayWidth(),
              view->DisplayHeight());
  std::fflush(stdout);
  return app.exec();
}

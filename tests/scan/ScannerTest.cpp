// The scanner class over the project's source manager and SANE's test backend: pages in each
// mode, the feeder, cancellation, failures of the device and of the manager module.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QPushButton>
#include <filesystem>
#include <fstream>

#include "scan/QvScan.h"
#include "scan/QvScanPage.h"
#include "scan/ScanTestSupport.h"

using namespace quorvane;
using namespace qvtest;

namespace {

struct TModeCase {
  const char* Mode;
  TImageFormat Requested;
  TImageFormat Delivered;
  int Resolution;
};

// Printed as "color at 150 dpi": the test names ctest lists then do not change from run to run
// (the default print shows the bytes of the case, a pointer among them).
void PrintTo(const TModeCase& c, std::ostream* os) { *os << c.Mode << " at " << c.Resolution << " dpi"; }

class FlatbedPage : public ::testing::TestWithParam<TModeCase> {};

TEST_P(FlatbedPage, MatchesTheBackendsPatternAtTheRequestedResolution) {
  const TModeCase& c = GetParam();
  TSaneSandbox sandbox(TestSettings());
  TScanner scanner;
  scanner.ShowUI = false;
  scanner.ImageFormat = c.Requested;
  scanner.XDpi = scanner.YDpi = static_cast<uint16_t>(c.Resolution);
  const std::vector<TScannedPage> pages = AcquirePages(scanner);
  ASSERT_EQ(pages.size(), 1u);
  const TDibGraphic& image = *pages[0].Image;
  EXPECT_EQ(pages[0].XDpi, c.Resolution);
  EXPECT_EQ(pages[0].YDpi, c.Resolution);
  EXPECT_EQ(image.XDpi(), c.Resolution);
  EXPECT_EQ(image.ImageFormat(), c.Delivered);

  const TReferencePicture reference = ReferenceScan(c.Mode, c.Resolution);
  ASSERT_EQ(image.Width(), reference.Width);
  ASSERT_EQ(image.Height(), reference.Height);
  // 40 mm x 30 mm at the resolution.
  EXPECT_NEAR(image.Width(), 40.0 / 25.4 * c.Resolution, 1.0);
  EXPECT_TRUE(ImageBgr(image) == reference.Bgr) << "pixels differ from the backend's picture";
}

INSTANTIATE_TEST_SUITE_P(
    EachModeAtTwoResolutions, FlatbedPage,
    ::testing::Values(TModeCase{"lineart", TImageFormat::BlackWhite, TImageFormat::BlackWhite, 50},
                      TModeCase{"lineart", TImageFormat::BlackWhite, TImageFormat::BlackWhite, 150},
                      TModeCase{"gray", TImageFormat::Gray256, TImageFormat::Color256, 50},
                      TModeCase{"gray", TImageFormat::Gray256, TImageFormat::Color256, 150},
                      TModeCase{"color", TImageFormat::TrueColor, TImageFormat::TrueColor, 50},
                      TModeCase{"color", TImageFormat::TrueColor, TImageFormat::TrueColor, 150}),
    [](const auto& info) { return std::string(info.param.Mode) + std::to_string(info.param.Resolution); });

TEST(Scanner, FeederDeliversItsPagesUntilEmptyOrTheCountIsReached) {
  TSaneSandbox sandbox(TestSettings());
  for (const auto& [count, expected] : std::vector<std::pair<int16_t, size_t>>{{-1, 10}, {3, 3}}) {
    TScanner scanner;
    scanner.ShowUI = false;
    scanner.ImageFormat = TImageFormat::Gray256;
    scanner.XDpi = scanner.YDpi = 30;
    scanner.PageCount = count;
    scanner.Feeder = TScanner::TFeeder::Feeder;
    // The test backend's feeder holds 10 sheets.
    EXPECT_EQ(AcquirePages(scanner).size(), expected) << "page count " << count;
  }
}

TEST(Scanner, DeviceFailuresRaiseTheirConditionAndCancelEndsQuietly) {
  struct TCase {
    const char* Status;
    const char* Message;  // nullptr: Acquire returns normally
  };
  for (const TCase& c :
       {TCase{"SANE_STATUS_JAMMED", "The paper is jammed in the document feeder"},
        TCase{"SANE_STATUS_IO_ERROR", "The scanner is not ready: check that it is connected, switched on and closed"},
        TCase{"SANE_STATUS_CANCELLED", nullptr}}) {
    TSaneSandbox sandbox(TestSettings({{"read-status-code", std::string("\"") + c.Status + "\""}}));
    TScanner scanner;
    scanner.ShowUI = false;
    scanner.Feeder = TScanner::TFeeder::Feeder;
    int calls = 0;
    auto count = [&calls](TW_HANDLE, uint16_t, uint16_t, void*) { ++calls; };
    if (c.Message) {
      try {
        scanner.Acquire(nullptr, count);
        ADD_FAILURE() << c.Status << " raised nothing";
      } catch (const ETwainError& e) {
        EXPECT_EQ(e.Message(), c.Message);
      }
    } else {
      EXPECT_NO_THROW(scanner.Acquire(nullptr, count));
    }
    EXPECT_EQ(calls, 0) << c.Status;
  }
}

TEST(Scanner, TheSourceIsClosedAfterACallbackFailsAndTheNextScanWorks) {
  TSaneSandbox sandbox(TestSettings());
  TScanner scanner;
  scanner.ShowUI = false;
  scanner.XDpi = scanner.YDpi = 30;
  EXPECT_THROW(scanner.Acquire(nullptr, [](TW_HANDLE, uint16_t, uint16_t, void*) { throw EWriteError("disk full"); }),
               EWriteError);
  EXPECT_EQ(AcquirePages(scanner).size(), 1u);
}

TEST(Scanner, ListsTheSourcesAndOpensOneByName) {
  TSaneSandbox sandbox(TestSettings({{"number_of_devices", "2"}}));
  TScanner scanner;
  EXPECT_EQ(scanner.SourceNames(), (std::vector<std::string>{"test:0", "test:1"}));
  scanner.ShowUI = false;
  scanner.XDpi = scanner.YDpi = 30;
  scanner.SourceName = "test:1";
  EXPECT_EQ(AcquirePages(scanner).size(), 1u);
  scanner.SourceName = "no-such-scanner";
  try {
    AcquirePages(scanner);
    ADD_FAILURE() << "an unknown source opened";
  } catch (const ETwainError& e) {
    EXPECT_EQ(e.Message(), "Unable to open TWAIN data source");
  }
}

TEST(Scanner, OnlyOneScannerAtATime) {
  auto first = std::make_unique<TScanner>();
  try {
    TScanner second;
    ADD_FAILURE() << "a second scanner was made";
  } catch (const EScannerError& e) {
    EXPECT_EQ(e.Message(), "Only one scanner object is permitted");
  }
  first.reset();
  EXPECT_NO_THROW(TScanner());
}

// The module folder for one test; the default again afterwards.
class TModuleFolder {
 public:
  explicit TModuleFolder(const std::string& folder) { SetSourceManagerFolder(folder); }
  ~TModuleFolder() { SetSourceManagerFolder(""); }
};

TEST(Scanner, MissingOrIncompleteManagerModule) {
  qvtest::TScratchFolder folder;
  {
    TModuleFolder use(folder / "");  // ends in "/": no doubled separator
    TScanner scanner;
    EXPECT_FALSE(scanner.IsAvailable());
    try {
      scanner.Acquire(nullptr, {});
      ADD_FAILURE();
    } catch (const EScannerError& e) {
      EXPECT_EQ(e.Message(), "LoadLibrary(" + (folder / "quorvane-dsm.so") + ") failed");
    }
    EXPECT_THROW(scanner.SelectSource(), EScannerError);
  }
  // A shared library that is not a source manager.
  const std::string other = "/lib/x86_64-linux-gnu/libz.so.1";
  if (!std::filesystem::exists(other)) GTEST_SKIP() << "no stand-in library";
  std::filesystem::copy_file(other, folder / "quorvane-dsm.so");
  TModuleFolder use(folder / "");
  TScanner scanner;
  EXPECT_FALSE(scanner.IsAvailable());
  try {
    scanner.OpenSourceManager();
    ADD_FAILURE();
  } catch (const EScannerError& e) {
    EXPECT_EQ(e.Message(), "GetProcAddress failed:DSM_Entry");
  }
}

// The source's dialog: Scan, Cancel before any page, Cancel between the feeder's pages.
QPushButton* DialogButton(const char* name) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == "QvSourceDialog" && w->isVisible()) return w->findChild<QPushButton*>(name);
  return nullptr;
}

// Clicks the named button of the source's dialog once it shows, while the object lives. An
// application-wide event filter sees the dialog's show event; the click is queued behind it, so
// it comes once the dialog is up.
class TClickWhenShown : public QObject {
 public:
  explicit TClickWhenShown(const char* name, bool useFeeder = false) : FName(name), FUseFeeder(useFeeder) {
    QApplication::instance()->installEventFilter(this);
  }
  ~TClickWhenShown() override { QApplication::instance()->removeEventFilter(this); }

  // The dialog's title and width when the button was clicked.
  QString Title;
  int Width = 0;

 protected:
  bool eventFilter(QObject* object, QEvent* event) override {
    if (event->type() != QEvent::Show || object->objectName() != "QvSourceDialog" || FClicked) return false;
    FClicked = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
          QPushButton* button = DialogButton(FName);
          ASSERT_NE(button, nullptr);
          if (FUseFeeder) button->window()->findChild<QCheckBox*>("FeederCheck")->setChecked(true);
          Title = button->window()->windowTitle();
          Width = button->window()->width();
          button->click();
        },
        Qt::QueuedConnection);
    return false;
  }

 private:
  const char* FName;
  bool FUseFeeder;
  bool FClicked = false;
};

TEST(ScannerDialog, CancelBeforeAnyPageReturnsWithoutPages) {
  TSaneSandbox sandbox(TestSettings());
  TScanner scanner;
  TClickWhenShown cancel("CancelButton");
  EXPECT_TRUE(AcquirePages(scanner).empty());
  EXPECT_EQ(DialogButton("CancelButton"), nullptr) << "the dialog stays after the source is disabled";
  // Wide enough for the device's whole name in a bold title with the title bar's buttons.
  ASSERT_FALSE(cancel.Title.isEmpty());
  QFont bold = QApplication::font();
  bold.setBold(true);
  EXPECT_GE(cancel.Width, QFontMetrics(bold).horizontalAdvance(cancel.Title) + 100) << cancel.Title.toStdString();
}

TEST(ScannerDialog, ScanButtonUsesTheDialogsSettingsAndCancelStopsBetweenPages) {
  TSaneSandbox sandbox(TestSettings());
  TScanner scanner;
  scanner.ImageFormat = TImageFormat::TrueColor;
  scanner.XDpi = scanner.YDpi = 40;
  const TClickWhenShown scan("ScanButton", true);
  std::vector<int> widths;
  scanner.Acquire(nullptr, [&widths](TW_HANDLE page, uint16_t, uint16_t, void*) {
    TDibGraphic image;
    LoadScannedPage(image, page, 40, 40);
    widths.push_back(image.Width());
    if (widths.size() == 2) DialogButton("CancelButton")->click();
  });
  // Two of the feeder's ten pages, in the colour and resolution the dialog started with.
  EXPECT_EQ(widths, (std::vector<int>{62, 62}));
}

}  // namespace

// Browsing the folder of the opened file: the order of the names, the steps and their keys, files
// that do not open, unsaved changes, a folder that changes, the pictures read ahead, and the
// reading path run on several threads at once beside the window's.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QStatusBar>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "TFolderBrowser.h"
#include "TPreloader.h"
#include "WindowTestUtil.h"
#include "model/QvDiGrphRegistry.h"
#include "model/QvLimits.h"

namespace qvtest {
namespace {

using brindlex::TFileStep;
using brindlex::TPreloader;
using quorvane::TDibGraphic;
using quorvane::TImageFormat;

int Sign(int value) { return (value > 0) - (value < 0); }

TEST(NaturalOrder, ComparesAsAFileManagerSorts) {
  const struct {
    const char* A;
    const char* B;
    int Expected;
  } cases[] = {
      {"img2.jpg", "img10.jpg", -1},  // digits by value
      {"img10.jpg", "img9.jpg", 1},
      {"IMG2.jpg", "img10.jpg", -1},  // case does not split the order
      {"Beach.png", "apple.png", 1},
      {"a.png", "A.png", 1},         // equal but for case: still distinct, upper first
      {"img02.png", "img2.png", 1},  // equal values: the longer run of zeros after
      {"img007.png", "img7.png", 1},
      {"img0.png", "img00.png", -1},
      {"x99999999999999999999.png", "x100000000000000000000.png", -1},  // beyond 64 bits
      {"img.png", "img1.png", -1},                                      // a prefix first
      {"img1.png", "img1a.png", -1},
      {"2024-01-02", "2024-1-10", -1},
      {"same.tga", "same.tga", 0},
      {"", "a", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.A) + " vs " + c.B);
    EXPECT_EQ(Sign(brindlex::NaturalCompare(QString::fromUtf8(c.A), QString::fromUtf8(c.B))), c.Expected);
    EXPECT_EQ(Sign(brindlex::NaturalCompare(QString::fromUtf8(c.B), QString::fromUtf8(c.A))), -c.Expected);
  }
  QStringList names = {"img10.png", "IMG1.png", "img2.png", "img1b.png", "Img3.PNG", "a100", "a20"};
  std::sort(names.begin(), names.end(), brindlex::NaturalLess);
  EXPECT_EQ(names, QStringList({"a20", "a100", "IMG1.png", "img1b.png", "img2.png", "Img3.PNG", "img10.png"}));
}

// Runs the event loop until Done holds or two seconds have passed.
template <typename F>
bool RunEventsUntil(F done) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < 2000) QApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

class BrowseTest : public WindowTest {
 protected:
  // Writes a small picture of a distinct width under Name (its format from the extension; one
  // that the registry does not know is written by Qt, for the platform's picture loader).
  std::string Picture(const std::string& name, int width) {
    if (quorvane::FindGraphicClass(name)) {
      WriteImage(*Gradient(width, 7), Path(name));
    } else {
      QImage picture(width, 7, QImage::Format_RGB32);
      picture.fill(Qt::darkCyan);
      EXPECT_TRUE(picture.save(QString::fromStdString(Path(name))));
    }
    return Path(name);
  }
  void Open(const std::string& file) {
    Dialogs->OpenNames.push_back(QString::fromStdString(file));
    Trigger("acOpen");
    ASSERT_EQ(Window->CurrentFileName().toStdString(), file);
  }
  std::string Shown() const { return std::filesystem::path(Window->CurrentFileName().toStdString()).filename(); }
  QString Position() const { return Window->lblFilePosition->text(); }
  QString Status() const { return Window->statusBar()->currentMessage(); }
};

TEST_F(BrowseTest, StepsThroughTheFolderInNaturalOrder) {
  // Every format the program opens takes part, in natural order; what it does not open does not.
  Picture("img10.tif", 10);
  Picture("IMG2.png", 2);
  Picture("img1.tga", 1);
  Picture("img3.pcx", 3);
  Picture("img11.bmp", 11);  // read by the picture loader
  qvtest::PutFileBytes(Path("notes.txt"), {'h', 'i'});
  qvtest::PutFileBytes(Path("img4"), {'h', 'i'});
  qvtest::PutFileBytes(Path("img5.pdf"), {'%', 'P', 'D', 'F'});  // a format only written
  Open(Path("img3.pcx"));
  EXPECT_EQ(Position(), "3 of 5");

  const struct {
    const char* Action;
    const char* Expected;
    int Width;
    const char* Position;
  } steps[] = {
      {"acNextFile", "img10.tif", 10, "4 of 5"},     {"acNextFile", "img11.bmp", 11, "5 of 5"},
      {"acFirstFile", "img1.tga", 1, "1 of 5"},      {"acNextFile", "IMG2.png", 2, "2 of 5"},
      {"acPreviousFile", "img1.tga", 1, "1 of 5"},   {"acLastFile", "img11.bmp", 11, "5 of 5"},
      {"acPreviousFile", "img10.tif", 10, "4 of 5"},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.Action);
    Trigger(s.Action);
    EXPECT_EQ(Shown(), s.Expected);
    EXPECT_EQ(Position(), s.Position);
    EXPECT_EQ(Image().Width(), s.Width);
    EXPECT_EQ(Window->ImageScrollBox().Graphic().Width(), s.Width);
    EXPECT_EQ(Window->windowTitle(), "Brindlex Imaging Tool - " + Window->CurrentFileName());
    EXPECT_FALSE(Window->Modified());
    EXPECT_TRUE(Status().isEmpty()) << Status().toStdString();
  }

  // At the ends a step stays and says why.
  Trigger("acLastFile");
  Trigger("acNextFile");
  EXPECT_EQ(Shown(), "img11.bmp");
  EXPECT_EQ(Status(), "This is the last picture in the folder.");
  Trigger("acFirstFile");
  Trigger("acPreviousFile");
  EXPECT_EQ(Shown(), "img1.tga");
  EXPECT_EQ(Status(), "This is the first picture in the folder.");
  EXPECT_TRUE(Dialogs->Errors.empty());
  EXPECT_TRUE(Dialogs->Messages.empty());
}

TEST_F(BrowseTest, KeysOfTheStepsAreTheirOwn) {
  const struct {
    const char* Action;
    QList<QKeySequence> Keys;
  } table[] = {
      {"acNextFile", {QKeySequence(Qt::Key_Right), QKeySequence(Qt::Key_Space)}},
      {"acPreviousFile", {QKeySequence(Qt::Key_Left), QKeySequence(Qt::Key_Backspace)}},
      {"acFirstFile", {QKeySequence(Qt::Key_Home)}},
      {"acLastFile", {QKeySequence(Qt::Key_End)}},
      {"acNextPage", {QKeySequence(Qt::Key_PageDown)}},
      {"acPreviousPage", {QKeySequence(Qt::Key_PageUp)}},
  };
  std::vector<QKeySequence> all;
  for (const auto& row : table) {
    EXPECT_EQ(Window->Action(QString::fromLatin1(row.Action))->shortcuts(), row.Keys) << row.Action;
    for (const QKeySequence& key : row.Keys) all.push_back(key);
  }
  // No other action takes any of them.
  for (QAction* action : Window->findChildren<QAction*>()) {
    bool listed = false;
    for (const auto& row : table) listed = listed || action->objectName() == QLatin1String(row.Action);
    if (listed) continue;
    for (const QKeySequence& key : action->shortcuts())
      EXPECT_EQ(std::count(all.begin(), all.end(), key), 0) << action->objectName().toStdString();
  }
  // Without a file there is no folder to step through.
  EXPECT_FALSE(Enabled("acNextFile"));
  EXPECT_EQ(Position(), "");
}

TEST_F(BrowseTest, AFileThatDoesNotOpenIsReportedAndSteppedOver) {
  Picture("a.tga", 5);
  qvtest::PutFileBytes(Path("b.png"), {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g'});
  qvtest::PutFileBytes(Path("c.tif"), {'I', 'I', 42, 0, 0xFF, 0xFF, 0xFF, 0x7F});
  Picture("d.tga", 8);
  Open(Path("a.tga"));
  Window->Preloader().WaitIdle();  // b.png failed ahead of the step
  Trigger("acNextFile");
  EXPECT_EQ(Shown(), "d.tga");
  EXPECT_EQ(Position(), "4 of 4");
  EXPECT_TRUE(Status().contains("Skipped b.png: ")) << Status().toStdString();
  EXPECT_TRUE(Status().contains("Skipped c.tif: ")) << Status().toStdString();
  EXPECT_TRUE(Dialogs->Errors.empty());
  // Backwards the same, read while waiting this time.
  Trigger("acPreviousFile");
  EXPECT_EQ(Shown(), "a.tga");
  EXPECT_TRUE(Status().contains("Skipped c.tif: "));
  // Nothing before that opens: the step goes on past every failure and stops at the end.
  Trigger("acPreviousFile");
  EXPECT_EQ(Shown(), "a.tga");
  EXPECT_EQ(Status(), "This is the first picture in the folder.");
  std::filesystem::remove(Path("d.tga"));  // gone before the folder is listed again
  Trigger("acNextFile");
  EXPECT_EQ(Shown(), "a.tga");
  EXPECT_EQ(Image().Width(), 5);
  EXPECT_TRUE(Status().contains("Skipped d.tga: ")) << Status().toStdString();
  EXPECT_TRUE(Status().endsWith("This is the last picture in the folder.")) << Status().toStdString();
  EXPECT_TRUE(Dialogs->Errors.empty());
  // Opening another file ends the report.
  Open(Path("a.tga"));
  EXPECT_EQ(Status(), "");
}

TEST_F(BrowseTest, UnsavedChangesAreAskedAboutFirst) {
  Picture("a.tga", 5);
  Picture("b.tga", 6);
  Open(Path("a.tga"));
  Trigger(brindlex::TImageCommand::Negative);
  ASSERT_TRUE(Window->Modified());

  Dialogs->Answers.push_back(brindlex::TAnswer::Cancel);
  Trigger("acNextFile");
  EXPECT_EQ(Dialogs->Questions.size(), 1u);
  EXPECT_EQ(Shown(), "a.tga");
  EXPECT_TRUE(Window->Modified());

  Dialogs->Answers.push_back(brindlex::TAnswer::Yes);
  Trigger("acNextFile");
  EXPECT_EQ(Shown(), "b.tga");
  EXPECT_FALSE(Window->Modified());
  EXPECT_FALSE(SamePixels(*ReadPage(Path("a.tga"), 1), *Gradient(5, 7)));  // saved with its change

  Trigger(brindlex::TImageCommand::Negative);
  Dialogs->Answers.push_back(brindlex::TAnswer::No);
  Trigger("acPreviousFile");
  EXPECT_EQ(Shown(), "a.tga");
  EXPECT_TRUE(SamePixels(*ReadPage(Path("b.tga"), 1), *Gradient(6, 7)));  // left as it was
  EXPECT_EQ(Dialogs->Questions.size(), 3u);
  EXPECT_TRUE(Dialogs->Answers.empty());
}

TEST_F(BrowseTest, FilesAddedOrRemovedAreNoticed) {
  Picture("b.tga", 2);
  Picture("d.tga", 4);
  Open(Path("b.tga"));
  EXPECT_EQ(Position(), "1 of 2");
  Picture("a.tga", 1);
  Picture("c.tga", 3);
  EXPECT_TRUE(RunEventsUntil([&] { return Position() == "2 of 4"; })) << Position().toStdString();
  Trigger("acNextFile");
  EXPECT_EQ(Shown(), "c.tga");

  // The file shown removed: the steps go on from its place.
  std::filesystem::remove(Path("c.tga"));
  EXPECT_TRUE(RunEventsUntil([&] { return Position() == "- of 3"; })) << Position().toStdString();
  Trigger("acPreviousFile");
  EXPECT_EQ(Shown(), "b.tga");
  EXPECT_EQ(Position(), "2 of 3");
}

TEST_F(BrowseTest, NeighboursAreReadAheadAndAChangedFileIsReadAgain) {
  Picture("a.tga", 1);
  Picture("b.tga", 2);
  Picture("c.tga", 3);
  Open(Path("b.tga"));
  Window->Preloader().WaitIdle();
  EXPECT_EQ(Window->Preloader().Held(), 2u);  // a and c
  const int reads = Window->Preloader().ReadCount();
  Trigger("acNextFile");
  EXPECT_EQ(Image().Width(), 3);
  Window->Preloader().WaitIdle();
  EXPECT_EQ(Window->Preloader().ReadCount(), reads + 1);  // only b again, behind the step
  EXPECT_EQ(Window->Preloader().Held(), 1u);              // nothing after c

  // b changes after it was read ahead: the step shows the file as it is now.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  WriteImage(*Gradient(9, 7), Path("b.tga"));
  Trigger("acPreviousFile");
  EXPECT_EQ(Image().Width(), 9);
}

// The preloader alone, with a reader that counts what it reads.
TEST(Preloader, KeepsOnlyWhatIsWantedAndHandsItOver) {
  qvtest::TScratchFolder folder;
  for (const char* name : {"a", "b", "c", "bad"}) qvtest::PutFileBytes(folder / name, {1});
  std::atomic<int> reads{0};
  TPreloader preloader([&](const std::string& file) {
    ++reads;
    if (file.ends_with("bad")) throw std::runtime_error("unreadable");
    auto image = std::make_unique<TDibGraphic>();
    image->NewImage(static_cast<int>(file.size()), 1, TImageFormat::TrueColor, nullptr, 0, 0);
    return image;
  });
  preloader.SetWanted({folder / "a", folder / "b", folder / "bad"});
  preloader.WaitIdle();
  EXPECT_EQ(reads, 3);
  EXPECT_EQ(preloader.Held(), 3u);

  // What is no longer wanted goes; what still is stays without being read again.
  preloader.SetWanted({folder / "b", folder / "c"});
  preloader.WaitIdle();
  EXPECT_EQ(reads, 4);
  EXPECT_EQ(preloader.Held(), 2u);
  EXPECT_FALSE(preloader.Take(folder / "a"));

  std::optional<TPreloader::TResult> b = preloader.Take(folder / "b");
  ASSERT_TRUE(b && b->Image);
  EXPECT_EQ(preloader.Held(), 1u);
  EXPECT_FALSE(preloader.Take(folder / "b"));  // handed over once

  preloader.SetWanted({folder / "bad"});
  preloader.WaitIdle();
  std::optional<TPreloader::TResult> bad = preloader.Take(folder / "bad");
  ASSERT_TRUE(bad);
  EXPECT_FALSE(bad->Image);
  EXPECT_TRUE(bad->Error);

  // A file gone since it was read counts as not read.
  preloader.SetWanted({folder / "c"});
  preloader.WaitIdle();
  std::filesystem::remove(folder / "c");
  EXPECT_FALSE(preloader.Take(folder / "c"));
}

// The whole reading path (registry, limits, every reader and the platform's picture loader) on
// several threads at once while the window's thread reads the registry and the limits and runs
// its event loop: every thread gets the pixels a lone read gets. For the sanitizer builds.
TEST_F(WindowTest, PicturesReadOnSeveralThreadsAtOnce) {
  const std::vector<std::string> names = {"p.tif", "p.png", "p.jpg", "p.pcx", "p.tga", "p.dcx", "p.bmp", "p.ppm"};
  std::vector<std::unique_ptr<TDibGraphic>> expected;
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string file = Path(names[i]);
    if (!quorvane::FindGraphicClass(names[i])) {
      QImage picture(40 + static_cast<int>(i), 30, QImage::Format_RGB32);
      picture.fill(QColor(10 * static_cast<int>(i), 90, 200));
      ASSERT_TRUE(picture.save(QString::fromStdString(file)));
    } else {
      WriteImage(*Gradient(40 + static_cast<int>(i), 30, i % 2 ? TImageFormat::Color256 : TImageFormat::TrueColor),
                 file);
    }
    expected.push_back(brindlex::TImageDocument::ReadImageFile(file, 0));
  }
  qvtest::PutFileBytes(Path("broken.png"), {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0});

  std::atomic<bool> stop{false};
  std::atomic<int> failures{0}, rounds{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t)
    readers.emplace_back([&, t] {
      for (size_t i = static_cast<size_t>(t); !stop; i = (i + 1) % (names.size() + 1)) {
        try {
          if (i == names.size()) {
            brindlex::TImageDocument::ReadImageFile(Path("broken.png"), 0);
            ++failures;  // must not open
          } else if (!SamePixels(*brindlex::TImageDocument::ReadImageFile(Path(names[i]), 0), *expected[i])) {
            ++failures;
          }
        } catch (...) {
          if (i != names.size()) ++failures;
        }
        ++rounds;
      }
    });
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
  const quorvane::TImageLimits limits = quorvane::ImageLimits();
  while (std::chrono::steady_clock::now() < end) {
    quorvane::SetImageLimits(limits);
    EXPECT_NE(quorvane::FindGraphicClass("x.tif"), nullptr);
    EXPECT_FALSE(quorvane::GraphicFilter(true).empty());
    QApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  stop = true;
  for (std::thread& reader : readers) reader.join();
  EXPECT_EQ(failures, 0);
  EXPECT_GT(rounds, 3 * static_cast<int>(names.size()));
}

}  // namespace
}  // namespace qvtest

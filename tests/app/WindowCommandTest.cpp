// The window's own commands: open, save, convert, clipboard, undo, pages, zoom box, enabling
// rules, the unsaved-changes question and the error box.
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QSpinBox>
#include <QUrl>

#include "TBrindlexApplication.h"
#include "TCommandLine.h"
#include "TZoomBox.h"
#include "WindowTestUtil.h"
#include "formats/QvTifGr.h"
#include "model/QvDiGrphRegistry.h"

namespace qvtest {
namespace {

using brindlex::TImageCommand;
using quorvane::TImageFormat;

const char* const kImageActions[] = {"acSave", "acConvertTo", "acCopy", "acPrint"};

TEST_F(WindowTest, StartsEmptyWithImageCommandsDisabled) {
  EXPECT_EQ(Window->windowTitle(), "Brindlex Imaging Tool");
  EXPECT_EQ(Window->size(), QSize(724, 447));
  EXPECT_FALSE(Window->isMaximized());
  for (const char* name : kImageActions) EXPECT_FALSE(Enabled(name)) << name;
  EXPECT_FALSE(Enabled("acUndo"));
  EXPECT_FALSE(Window->ImageCommandAction(TImageCommand::Negative)->isEnabled());
  EXPECT_TRUE(Enabled("acOpen"));
  EXPECT_TRUE(Enabled("acExit"));
  EXPECT_TRUE(Enabled("acPrintSetup"));
  EXPECT_TRUE(Enabled("acScan"));
  EXPECT_TRUE(Enabled("acSelectScanner"));

  QApplication::clipboard()->clear();
  Window->UpdateCommands();
  EXPECT_FALSE(Enabled("acPaste"));
  QApplication::clipboard()->setImage(QImage(4, 4, QImage::Format_RGB32));
  Window->UpdateCommands();
  EXPECT_TRUE(Enabled("acPaste"));
}

TEST_F(WindowTest, ActionsCarryTheirCaptionsHintsAndShortcuts) {
  struct TRow {
    const char *Name, *Caption, *Hint, *Shortcut;
  };
  const TRow rows[] = {{"acOpen", "&Open...", "Open", "Ctrl+O"},
                       {"acSave", "&Save", "Save", "Ctrl+S"},
                       {"acConvertTo", "&Convert To...", "Convert To", ""},
                       {"acPrint", "&Print", "Print", "Ctrl+P"},
                       {"acExit", "E&xit", "Exit", "Alt+X"},
                       {"acUndo", "&Undo", "Undo", "Ctrl+Z"},
                       {"acCopy", "&Copy", "Copy", "Ctrl+C"},
                       {"acPaste", "&Paste as New Image", "Paste as New Image", "Ctrl+V"},
                       {"acPreviousPage", "Pre&vious Page", "Previous Page", "PgUp"},
                       {"acNextPage", "Ne&xt Page", "Next Page", "PgDown"}};
  for (const TRow& r : rows) {
    QAction* a = Window->Action(r.Name);
    ASSERT_NE(a, nullptr) << r.Name;
    EXPECT_EQ(a->text(), r.Caption);
    EXPECT_EQ(a->toolTip(), r.Hint);
    EXPECT_EQ(a->shortcut().toString(), r.Shortcut);
  }
  EXPECT_TRUE(Window->Action("acDrag")->isChecked());
  EXPECT_FALSE(Window->Action("acSelect")->isChecked());
}

TEST_F(WindowTest, OpenShowsTheFileAndEnablesTheCommands) {
  const std::string file = OpenGradient("picture.tga", 64, 48);
  EXPECT_EQ(Window->windowTitle(), "Brindlex Imaging Tool - " + QString::fromStdString(file));
  EXPECT_EQ(Window->CurrentFileName(), QString::fromStdString(file));
  EXPECT_FALSE(Window->Modified());
  EXPECT_EQ(Window->lblX->text(), " 64");
  EXPECT_EQ(Window->lblY->text(), "48    ");
  EXPECT_EQ(Window->Directory(), QFileInfo(QString::fromStdString(file)).absolutePath());
  for (const char* name : kImageActions) EXPECT_TRUE(Enabled(name)) << name;
  EXPECT_TRUE(Window->ImageCommandAction(TImageCommand::Negative)->isEnabled());
  EXPECT_TRUE(Window->lblPage->text().isEmpty());
}

// A failed Open changes nothing: the picture, its caption and its undo image stay.
TEST_F(WindowTest, FailedOpenReportsAndKeepsPictureCaptionAndUndo) {
  const std::string good = OpenGradient("good.tga", 20, 10);
  Trigger(TImageCommand::Negative);
  const auto negated = std::make_unique<quorvane::TDibGraphic>();
  negated->Assign(&Image());
  qvtest::PutFileBytes(Path("bad.pcx"), {1, 2, 3});
  Dialogs->Answers.push_back(brindlex::TAnswer::No);
  Dialogs->OpenNames.push_back(QString::fromStdString(Path("bad.pcx")));
  Trigger("acOpen");
  ASSERT_EQ(Dialogs->Errors.size(), 1u);
  EXPECT_FALSE(Dialogs->Errors[0].isEmpty());
  EXPECT_TRUE(SamePixels(Image(), *negated));
  // "[*]": the caption marks the unsaved changes.
  EXPECT_EQ(Window->windowTitle(), "Brindlex Imaging Tool - " + QString::fromStdString(good) + "[*]");
  EXPECT_EQ(Window->CurrentFileName(), QString::fromStdString(good));
  EXPECT_TRUE(Window->Modified());
  // The window is still usable, and Undo still belongs to the picture shown.
  Trigger("acUndo");
  EXPECT_TRUE(SamePixels(Image(), *Gradient(20, 10)));
}

TEST_F(WindowTest, SaveWritesTheChangedImageToItsFile) {
  const std::string file = OpenGradient("picture.tga", 30, 20);
  Trigger(TImageCommand::FlipVertical);
  Trigger("acSave");
  EXPECT_FALSE(Window->Modified());
  EXPECT_TRUE(SamePixels(*ReadPage(file, 1), Image()));
  EXPECT_FALSE(SamePixels(*ReadPage(file, 1), *Gradient(30, 20)));
}

TEST_F(WindowTest, ConvertToAppendsPcxAndAsksBeforeOverwriting) {
  OpenGradient("picture.tga", 30, 20);
  Dialogs->SaveNames.push_back(QString::fromStdString(Path("scan")));
  Trigger("acConvertTo");
  const QString pcx = QString::fromStdString(Path("scan.pcx"));
  ASSERT_TRUE(QFile::exists(pcx));
  EXPECT_EQ(Window->CurrentFileName(), pcx);
  EXPECT_EQ(Window->windowTitle(), "Brindlex Imaging Tool - " + pcx);
  EXPECT_TRUE(Dialogs->Questions.empty());

  // No keeps the file; Yes replaces it.
  Trigger(TImageCommand::Negative);
  const auto before = qvtest::FileBytes(pcx.toStdString());
  Dialogs->SaveNames.push_back(pcx);
  Dialogs->Answers.push_back(brindlex::TAnswer::No);
  Trigger("acConvertTo");
  ASSERT_EQ(Dialogs->Questions.size(), 1u);
  EXPECT_EQ(Dialogs->Questions[0], "File " + pcx + " exists.\r Overwrite ?");
  EXPECT_EQ(qvtest::FileBytes(pcx.toStdString()), before);
  Dialogs->SaveNames.push_back(pcx);
  Dialogs->Answers.push_back(brindlex::TAnswer::Yes);
  Trigger("acConvertTo");
  EXPECT_NE(qvtest::FileBytes(pcx.toStdString()), before);
  EXPECT_TRUE(Window->Modified());  // Convert To leaves the flag as it was
}

TEST_F(WindowTest, ConvertToAnUnknownFormatTouchesNothing) {
  OpenGradient("picture.tga", 30, 20);
  qvtest::PutFileBytes(Path("keep.xyz"), {7, 7, 7});
  Dialogs->SaveNames.push_back(QString::fromStdString(Path("keep.xyz")));
  Dialogs->Answers.push_back(brindlex::TAnswer::Yes);
  Trigger("acConvertTo");
  ASSERT_EQ(Dialogs->Errors.size(), 1u);
  EXPECT_EQ(Dialogs->Errors[0], "Graphic files of .xyz format are not supported or not registered");
  EXPECT_EQ(qvtest::FileBytes(Path("keep.xyz")), (std::vector<uint8_t>{7, 7, 7}));
  EXPECT_EQ(Window->CurrentFileName(), QString::fromStdString(Path("picture.tga")));
}

TEST_F(WindowTest, CopyAndPasteAsNewImage) {
  OpenGradient("picture.tga", 30, 20);
  Trigger("acCopy");
  Trigger(TImageCommand::Rotate90);
  Dialogs->Answers.push_back(brindlex::TAnswer::No);  // unsaved rotation: go on without saving
  Trigger("acPaste");
  EXPECT_EQ(Dialogs->Questions.back(), "Image is not saved. Save it?");
  EXPECT_TRUE(SamePixels(Image(), *Gradient(30, 20)));
  EXPECT_TRUE(Window->Modified());
  EXPECT_TRUE(Window->CurrentFileName().isEmpty());
  EXPECT_EQ(Window->UndoGraphic().Width(), 20);  // the rotated image

  // Cancel in the question leaves image, undo image and clipboard alone.
  Dialogs->Answers.push_back(brindlex::TAnswer::Cancel);
  Trigger("acPaste");
  EXPECT_EQ(Window->UndoGraphic().Width(), 20);
  EXPECT_TRUE(Dialogs->Errors.empty());
}

TEST_F(WindowTest, UndoHasOneLevel) {
  OpenGradient("picture.tga", 30, 20);
  Trigger(TImageCommand::Rotate90);
  Trigger(TImageCommand::Negative);
  Trigger("acUndo");
  EXPECT_EQ(Image().Width(), 20);  // back to the rotated image only
  Trigger("acUndo");
  EXPECT_EQ(Image().Width(), 20);
}

TEST_F(WindowTest, SaveOfAnImageWithoutNameRunsConvertTo) {
  OpenGradient("picture.tga", 30, 20);
  Trigger("acCopy");
  Trigger("acPaste");
  Dialogs->SaveNames.push_back(QString::fromStdString(Path("pasted.tga")));
  Trigger("acSave");
  EXPECT_EQ(Window->CurrentFileName(), QString::fromStdString(Path("pasted.tga")));
  EXPECT_TRUE(SamePixels(*ReadPage(Path("pasted.tga"), 1), Image()));
}

TEST_F(WindowTest, ClosingAsksAboutUnsavedChanges) {
  OpenGradient("picture.tga", 30, 20);
  Trigger(TImageCommand::Negative);
  Dialogs->Answers.push_back(brindlex::TAnswer::Cancel);
  EXPECT_FALSE(Window->close());
  EXPECT_TRUE(Window->isVisible());
  Dialogs->Answers.push_back(brindlex::TAnswer::Yes);
  EXPECT_TRUE(Window->close());
  EXPECT_FALSE(Window->Modified());
  EXPECT_TRUE(SamePixels(*ReadPage(Path("picture.tga"), 1), Image()));
}

TEST_F(WindowTest, ZoomBoxRules) {
  OpenGradient("picture.tga", 30, 20);
  struct TRow {
    const char* Typed;
    int Shown;
    float Zoom;
  };
  for (const TRow& r :
       {TRow{"5000", 1000, 1000.0f}, TRow{"250", 250, 250.0f}, TRow{"5", -1, 5.0f}, TRow{"abc", -1, 10.0f}}) {
    auto* box = static_cast<brindlex::TZoomBox*>(Window->seZoom);
    box->Editor()->setText(r.Typed);
    if (r.Shown > 0) {
      EXPECT_EQ(box->value(), r.Shown) << r.Typed;
    }
    EXPECT_FLOAT_EQ(Window->ImageScrollBox().ZoomPercent(), r.Zoom) << r.Typed;
    EXPECT_EQ(Window->ImageScrollBox().ZoomMode(), quorvane::TZoomMode::zmPercent);
  }
  // A computed zoom is shown as it is (to a tenth) without leaving the fit mode.
  Trigger("acFullPage");
  EXPECT_EQ(Window->ImageScrollBox().ZoomMode(), quorvane::TZoomMode::zmFullPage);
  EXPECT_NEAR(Window->seZoom->value(), Window->ImageScrollBox().ZoomPercent(), 0.05);
}

TEST_F(WindowTest, PagesStepAndAreAllSavedOverTheirFile) {
  const auto p1 = Gradient(30, 20, TImageFormat::Color256);
  const auto p2 = Gradient(24, 16, TImageFormat::Color256);
  const auto p3 = Gradient(12, 10, TImageFormat::Color256);
  const std::string file = Path("pages.dcx");
  WritePages({p1.get(), p2.get(), p3.get()}, file);
  Dialogs->OpenNames.push_back(QString::fromStdString(file));
  Trigger("acOpen");
  EXPECT_EQ(Window->lblPage->text(), "Page 1 of 3");
  EXPECT_FALSE(Enabled("acPreviousPage"));
  EXPECT_TRUE(Enabled("acNextPage"));

  Trigger("acNextPage");
  EXPECT_EQ(Window->lblPage->text(), "Page 2 of 3");
  EXPECT_TRUE(SamePixels(Image(), *p2));
  Trigger(TImageCommand::Negative);
  const auto edited = std::make_unique<quorvane::TDibGraphic>();
  edited->Assign(&Image());
  Trigger("acNextPage");
  Trigger("acPreviousPage");
  EXPECT_TRUE(SamePixels(Image(), *edited));  // stepping keeps the edit

  Trigger("acSave");
  ASSERT_TRUE(Dialogs->Errors.empty()) << Dialogs->Errors[0].toStdString();
  ASSERT_EQ(PageCount(file), 3);
  EXPECT_TRUE(SamePixels(*ReadPage(file, 1), *p1));
  EXPECT_TRUE(SamePixels(*ReadPage(file, 2), *edited));
  EXPECT_TRUE(SamePixels(*ReadPage(file, 3), *p3));
}

TEST_F(WindowTest, StartArgumentOpensAfterTheQuestion) {
  OpenGradient("picture.tga", 30, 20);
  Trigger(TImageCommand::Negative);
  WriteImage(*Gradient(8, 8), Path("other.tga"));
  Dialogs->Answers.push_back(brindlex::TAnswer::Cancel);
  brindlex::RunCommand([&] { Window->OpenFile(QString::fromStdString(Path("other.tga"))); });
  EXPECT_EQ(Image().Width(), 30);
  Dialogs->Answers.push_back(brindlex::TAnswer::No);
  brindlex::RunCommand([&] { Window->OpenFile(QString::fromStdString(Path("other.tga"))); });
  EXPECT_EQ(Image().Width(), 8);
  EXPECT_FALSE(Window->Modified());
}

TEST(CommandLineTest, ParsesFileHelpVersionAndMistakes) {
  using brindlex::TCommandLine;
  struct TRow {
    QStringList Arguments;
    TCommandLine::TAction Action;
    QString FileName;
  };
  const TRow rows[] = {{{}, TCommandLine::TAction::Run, ""},
                       {{"a.tif"}, TCommandLine::TAction::Run, "a.tif"},
                       {{"--", "-odd.tif"}, TCommandLine::TAction::Run, "-odd.tif"},
                       {{"a.tif", "--help"}, TCommandLine::TAction::Help, ""},
                       {{"--version"}, TCommandLine::TAction::Version, ""},
                       {{"--bogus"}, TCommandLine::TAction::Error, ""},
                       {{"a.tif", "b.tif"}, TCommandLine::TAction::Error, ""}};
  for (const TRow& r : rows) {
    const TCommandLine line = brindlex::ParseCommandLine(r.Arguments);
    EXPECT_EQ(line.Action, r.Action) << r.Arguments.join(' ').toStdString();
    if (r.Action == TCommandLine::TAction::Run) {
      EXPECT_EQ(line.FileName, r.FileName);
    } else {
      EXPECT_FALSE(line.Message.isEmpty());
    }
  }
}

TEST_F(WindowTest, TiffIsSavedWithTheCompressionOfItsFormat) {
  struct TRow {
    TImageFormat Format;
    quorvane::TTiffCompression Compression;
  };
  for (const TRow& r : {TRow{TImageFormat::BlackWhite, quorvane::TTiffCompression::tcGroup4},
                        TRow{TImageFormat::TrueColor, quorvane::TTiffCompression::tcJpeg},
                        TRow{TImageFormat::Color256, quorvane::TTiffCompression::tcPackbits}}) {
    OpenGradient("start.pcx", 16, 8, r.Format);
    const std::string file = Path("out" + std::to_string(static_cast<int>(r.Format)) + ".tif");
    Dialogs->SaveNames.push_back(QString::fromStdString(file));
    Trigger("acConvertTo");
    ASSERT_TRUE(Dialogs->Errors.empty()) << Dialogs->Errors[0].toStdString();
    auto saved = ReadPage(file, 1);
    auto* tiff = dynamic_cast<quorvane::TTiffGraphic*>(saved.get());
    ASSERT_NE(tiff, nullptr);
    EXPECT_EQ(tiff->Compression(), r.Compression) << static_cast<int>(r.Format);
  }
}

}  // namespace
}  // namespace qvtest

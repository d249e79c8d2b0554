// The window's viewing commands: zoom keys and the zoom box, full screen and the bars, recent
// files, the caption's mark, the file dialogs' types, dialog widths and animated pictures.
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QSettings>
#include <QStatusBar>
#include <QToolBar>
#include <cmath>
#include <map>

#include "TCropForm.h"
#include "TFormatConversionForm.h"
#include "TPropertiesForm.h"
#include "TRecentFiles.h"
#include "TResizeForm.h"
#include "WindowTestUtil.h"

namespace qvtest {
namespace {

using quorvane::TZoomMode;

// The zoom box must show the view's zoom as the user reads it: whole numbers plain, others with
// one decimal.
QString ShownZoom(float zoom) {
  const double tenths = std::round(zoom * 10.0) / 10.0;
  return tenths == std::round(tenths) ? QString::number(static_cast<long long>(tenths))
                                      : QString::number(tenths, 'f', 1);
}

QList<QToolBar*> Bars(brindlex::TfrmImageConverter& w) {
  return {w.tbImageMenu, w.tbImageFile, w.tbImageEdit, w.tbImageLocation};
}

TEST_F(WindowTest, ViewKeysAreBoundAndQuitHasCtrlQ) {
  const struct {
    const char* Action;
    std::vector<const char*> Keys;
  } rows[] = {
      {"acZoomIn", {"+", "=", "Ctrl++", "Ctrl+="}},
      {"acZoomOut", {"-", "Ctrl+-"}},
      {"acFullPage", {"0", "Ctrl+0"}},
      {"acActualSize", {"1", "Ctrl+1"}},
      {"acFullScreen", {"F11"}},
      {"acLeaveFullScreen", {"Esc"}},
      {"acShowBars", {"Ctrl+M"}},
      {"acExit", {"Alt+X", "Ctrl+Q"}},
  };
  for (const auto& r : rows) {
    QAction* action = Window->Action(r.Action);
    ASSERT_NE(action, nullptr) << r.Action;
    QStringList want;
    for (const char* key : r.Keys) want << key;
    QStringList got;
    for (const QKeySequence& key : action->shortcuts()) got << key.toString();
    EXPECT_EQ(got, want) << r.Action;
  }
  // None of them takes the keys of stepping through a folder's files: only the steps do.
  const QStringList steps{"acNextFile", "acPreviousFile", "acFirstFile", "acLastFile"};
  for (const char* key : {"Left", "Right", "Space", "Backspace", "Home", "End"})
    for (QAction* action : Window->actions())
      if (!steps.contains(action->objectName())) {
        EXPECT_FALSE(action->shortcuts().contains(QKeySequence(QString::fromLatin1(key))))
            << action->objectName().toStdString() << " takes " << key;
      }
}

TEST_F(WindowTest, ZoomKeysStepAndTheBoxShowsTheRealZoom) {
  OpenGradient("wide.tga", 700, 40);
  auto& view = Window->ImageScrollBox();
  // The keys reach the view, not the zoom box, which would take them as typed text.
  EXPECT_EQ(Window->focusWidget(), &view);
  const struct {
    const char* Action;
    TZoomMode Mode;
    float Zoom;  // 0: the fit's own
  } steps[] = {
      {"acZoomIn", TZoomMode::zmPercent, 125},  {"acZoomIn", TZoomMode::zmPercent, 150},
      {"acZoomOut", TZoomMode::zmPercent, 125}, {"acZoomOut", TZoomMode::zmPercent, 100},
      {"acZoomOut", TZoomMode::zmPercent, 75},  {"acFullPage", TZoomMode::zmFullPage, 0},
      {"acZoomIn", TZoomMode::zmPercent, 0},    {"acActualSize", TZoomMode::zmOriginalSize, 100},
  };
  float previous = 0;
  for (const auto& s : steps) {
    SCOPED_TRACE(s.Action);
    Trigger(s.Action);
    EXPECT_EQ(view.ZoomMode(), s.Mode);
    if (s.Zoom > 0) {
      EXPECT_FLOAT_EQ(view.ZoomPercent(), s.Zoom);
    } else if (s.Mode == TZoomMode::zmPercent) {
      EXPECT_GT(view.ZoomPercent(), previous);
    }
    EXPECT_EQ(Window->seZoom->text(), ShownZoom(view.ZoomPercent()));
    previous = view.ZoomPercent();
  }
}

TEST_F(WindowTest, AFittedPhotoBelowTenPercentShowsItsZoom) {
  OpenGradient("panorama.tga", 8000, 30);
  Trigger("acFullPage");
  const float zoom = Window->ImageScrollBox().ZoomPercent();
  ASSERT_LT(zoom, 10.0f);
  EXPECT_EQ(Window->seZoom->text(), ShownZoom(zoom));
  EXPECT_NEAR(Window->seZoom->value(), zoom, 0.05);
  EXPECT_EQ(Window->ImageScrollBox().ZoomMode(), TZoomMode::zmFullPage);  // showing it kept the fit
  // A step in goes to the next step of the ladder, not from a rounded 10.
  Trigger("acZoomIn");
  EXPECT_FLOAT_EQ(Window->ImageScrollBox().ZoomPercent(), 10.0f);
  // A small picture fitted beyond the 1000 % that typing stops at shows its zoom too.
  OpenGradient("icon.tga", 4, 3);
  Trigger("acFullPage");
  ASSERT_GT(Window->ImageScrollBox().ZoomPercent(), 1000.0f);
  EXPECT_EQ(Window->seZoom->text(), ShownZoom(Window->ImageScrollBox().ZoomPercent()));
}

TEST_F(WindowTest, FullScreenHidesTheBarsAndEscBringsBackWhatWasShown) {
  Window->tbImageEdit->hide();
  Trigger("acFullScreen");
  EXPECT_TRUE(Window->windowState() & Qt::WindowFullScreen);
  EXPECT_TRUE(Window->FullScreen());
  for (QToolBar* bar : Bars(*Window)) EXPECT_FALSE(bar->isVisible()) << bar->objectName().toStdString();
  EXPECT_FALSE(Window->statusBar()->isVisible());
  EXPECT_TRUE(Enabled("acLeaveFullScreen"));
  Trigger("acLeaveFullScreen");
  EXPECT_FALSE(Window->windowState() & Qt::WindowFullScreen);
  EXPECT_FALSE(Enabled("acLeaveFullScreen"));  // Esc is free again
  for (QToolBar* bar : Bars(*Window))
    EXPECT_EQ(bar->isVisible(), bar != Window->tbImageEdit) << bar->objectName().toStdString();
  EXPECT_TRUE(Window->statusBar()->isVisible());
}

TEST_F(WindowTest, OneKeyBringsBackEveryHiddenBarAndTheStateIsSaved) {
  for (QToolBar* bar : Bars(*Window)) bar->hide();
  Window.reset();
  {
    brindlex::TfrmImageConverter window;
    window.show();
    for (QToolBar* bar : Bars(window)) EXPECT_FALSE(bar->isVisible()) << bar->objectName().toStdString();
    window.Action("acShowBars")->trigger();
    for (QToolBar* bar : Bars(window)) EXPECT_TRUE(bar->isVisible()) << bar->objectName().toStdString();
  }
  // Closing in full screen keeps the bars as they are outside it.
  {
    brindlex::TfrmImageConverter window;
    window.show();
    window.Action("acFullScreen")->trigger();
  }
  QSettings s(QStringLiteral("QUELLMARK"), QStringLiteral("Brindlex"));
  for (const char* bar : {"tbImageMenu", "tbImageFile", "tbImageEdit", "tbImageLocation"})
    EXPECT_EQ(s.value(QStringLiteral("ImageTool/%1/Visible").arg(bar)).toInt(), 1) << bar;
}

TEST(RecentFilesTest, KeepsTheLastEightNewestFirstOnce) {
  const struct {
    const char* Name;
    std::vector<const char*> Added;
    std::vector<const char*> Want;
  } rows[] = {
      {"newest first", {"/a", "/b", "/c"}, {"/c", "/b", "/a"}},
      {"again moves up", {"/a", "/b", "/a"}, {"/a", "/b"}},
      {"same file spelled twice", {"/d/a", "/d/./a"}, {"/d/a"}},
      {"eight kept",
       {"/1", "/2", "/3", "/4", "/5", "/6", "/7", "/8", "/9"},
       {"/9", "/8", "/7", "/6", "/5", "/4", "/3", "/2"}},
      {"empty ignored", {"/a", ""}, {"/a"}},
  };
  for (const auto& r : rows) {
    brindlex::TRecentFiles list;
    for (const char* name : r.Added) list.Add(name);
    QStringList want;
    for (const char* name : r.Want) want << name;
    EXPECT_EQ(list.Files(), want) << r.Name;
  }
  brindlex::TRecentFiles list;
  for (const char* name : {"/gone", "/kept", "/also-gone"}) list.Add(name);
  EXPECT_TRUE(list.Prune([](const QString& name) { return name == "/kept"; }));
  EXPECT_EQ(list.Files(), QStringList{"/kept"});
  EXPECT_FALSE(list.Prune([](const QString&) { return true; }));
}

TEST_F(WindowTest, OpenRecentListsOpenedAndSavedFilesAndForgetsGoneOnes) {
  // The list holds absolute, clean paths.
  const auto clean = [](const std::string& name) { return QFileInfo(QString::fromStdString(name)).absoluteFilePath(); };
  const QString first = clean(OpenGradient("first.tga", 8, 8));
  const QString second = clean(OpenGradient("second.tga", 8, 8));
  const QString third = clean(Path("third.pcx"));
  Dialogs->SaveNames.push_back(third);
  Trigger("acConvertTo");
  const auto entries = [this] {
    QStringList names;
    emit Window->RecentMenu()->aboutToShow();
    for (QAction* a : Window->RecentMenu()->actions()) names << a->data().toString();
    return names.join('|').toStdString();
  };
  const auto joined = [](const QStringList& names) { return names.join('|').toStdString(); };
  EXPECT_EQ(entries(), joined({third, second, first}));
  EXPECT_EQ(Window->RecentMenu()->actions().first()->text(), "&1 third.pcx");

  ASSERT_TRUE(QFile::remove(second));
  EXPECT_EQ(entries(), joined({third, first}));
  // The next start reads the list back.
  Window.reset();
  brindlex::TfrmImageConverter next;
  EXPECT_EQ(joined(next.RecentFiles().Files()), joined({third, first}));
  // Choosing an entry opens it and moves it up.
  next.SetUserDialogs(std::make_unique<TScriptedDialogs>());
  next.RecentMenu()->actions().last()->trigger();
  EXPECT_EQ(next.CurrentFileName(), first);
  EXPECT_EQ(joined(next.RecentFiles().Files()), joined({first, third}));
}

TEST_F(WindowTest, CaptionMarksUnsavedChanges) {
  const std::string file = OpenGradient("picture.tga", 20, 10);
  const QString caption = "Brindlex Imaging Tool - " + QString::fromStdString(file);
  EXPECT_EQ(Window->windowTitle(), caption);
  EXPECT_FALSE(Window->isWindowModified());
  Trigger(brindlex::TImageCommand::Negative);
  EXPECT_EQ(Window->windowTitle(), caption + "[*]");
  EXPECT_TRUE(Window->isWindowModified());
  Trigger("acSave");
  EXPECT_EQ(Window->windowTitle(), caption);
  EXPECT_FALSE(Window->isWindowModified());
}

TEST_F(WindowTest, FileDialogsStartOnAllFormats) {
  OpenGradient("picture.tga", 20, 10);
  EXPECT_TRUE(Dialogs->LastOpenRequest.SelectedFilter.startsWith("All ("))
      << Dialogs->LastOpenRequest.SelectedFilter.toStdString();
  EXPECT_TRUE(Dialogs->LastOpenRequest.Filter.contains(Dialogs->LastOpenRequest.SelectedFilter));
  EXPECT_TRUE(Dialogs->LastOpenRequest.SelectedFilter.contains("*.tif"));
  Dialogs->SaveNames.push_back(QString::fromStdString(Path("scan")));
  Trigger("acConvertTo");
  EXPECT_TRUE(Dialogs->LastSaveRequest.SelectedFilter.startsWith("All ("));
  // Under "All" a name without an extension still becomes a PCX file.
  EXPECT_EQ(Window->CurrentFileName(), QString::fromStdString(Path("scan.pcx")));
}

TEST(FileDialogTypes, ATypedNameGetsTheExtensionOfTheChosenType) {
  const struct {
    const char *Name, *Filter, *Want;
  } rows[] = {
      {"/d/photo", "PNG image (*.png)", "/d/photo.png"},
      {"/d/photo", "Portable Network Graphics (*.png) (*.png)", "/d/photo.png"},
      {"/d/photo.tif", "PNG image (*.png)", "/d/photo.tif"},  // an extension typed wins
      {"/d/photo", "All (*.tif;*.png) (*.tif *.png)", "/d/photo"},
      {"/d/photo", "Any File (*.*) (*.*)", "/d/photo"},
      {"/d/photo", "Odd (*.p?g)", "/d/photo"},
      {"/d/photo", "No pattern", "/d/photo"},
      {"/d.v2/photo", "Targa (*.tga)", "/d.v2/photo.tga"},  // a dot in the folder is no extension
      {"", "PNG image (*.png)", ""},
  };
  for (const auto& r : rows)
    EXPECT_EQ(brindlex::NameWithFilterSuffix(r.Name, r.Filter), r.Want) << r.Name << " | " << r.Filter;
}

TEST(ParameterDialogs, AreWideEnoughForTheirTitles) {
  brindlex::TCropForm crop;
  brindlex::TResizeForm resize;
  brindlex::TFormatConversionForm format;
  for (QDialog* dialog : std::initializer_list<QDialog*>{&crop, &resize, &format}) {
    QFont bold = dialog->font();
    bold.setBold(true);
    const int title = QFontMetrics(bold).horizontalAdvance(dialog->windowTitle());
    EXPECT_GE(dialog->sizeHint().width(), title + brindlex::kTitleAllowance) << dialog->windowTitle().toStdString();
  }
}

TEST_F(WindowTest, PropertiesShowThePictureAndItsFile) {
  const auto page = Gradient(12, 10, quorvane::TImageFormat::Color256);
  WritePages({page.get(), page.get(), page.get()}, Path("three.dcx"));
  WriteImage(*Gradient(30, 20), Path("picture.tga"));
  const struct {
    const char* File;  // empty: a pasted picture
    std::map<QString, QString> Want;
  } rows[] = {
      {"picture.tga",
       {{"Size", "30 x 20 pixels"},
        {"Pixel format", "True color (24 bits per pixel)"},
        {"Pages", "1"},
        {"Name", "picture.tga"},
        {"Format", "Truevision Targa"}}},
      {"three.dcx",
       {{"Size", "12 x 10 pixels"}, {"Pixel format", "256 color (8 bits per pixel)"}, {"Pages", "3 (page 1 shown)"}}},
      {"", {{"Size", "30 x 20 pixels"}, {"Name", ""}}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.File);
    if (*r.File) {
      Dialogs->OpenNames.push_back(QString::fromStdString(Path(r.File)));
      Trigger("acOpen");
    } else {
      ShowPicture(*Gradient(30, 20));
    }
    std::map<QString, QString> shown;
    Dialogs->Forms.push_back([&shown, &r](QDialog& dialog) {
      const auto& form = dynamic_cast<brindlex::TPropertiesForm&>(dialog);
      for (const auto& [name, value] : r.Want)
        for (const char* section : {"Image", "File"})
          if (shown[name].isEmpty()) shown[name] = form.Value(QString::fromUtf8(section), name);
      shown["Size on disk"] = form.Value(QStringLiteral("File"), QStringLiteral("Size on disk"));
      return true;
    });
    Trigger("acProperties");
    for (const auto& [name, value] : r.Want)
      EXPECT_EQ(shown[name].toStdString(), value.toStdString()) << name.toStdString();
    if (*r.File) {
      const qint64 bytes = QFileInfo(QString::fromStdString(Path(r.File))).size();
      EXPECT_TRUE(shown["Size on disk"].contains(QLocale().toString(bytes) + " bytes"))
          << shown["Size on disk"].toStdString();
    }
  }
}

TEST_F(WindowTest, AnimationsPauseResumeAndStep) {
  if (!RunTool("command -v convert")) GTEST_SKIP() << "ImageMagick is needed";
  const std::string file = Path("moving.gif");
  ASSERT_TRUE(RunTool("convert -delay 10 -size 16x12 xc:red xc:lime xc:blue -loop 0 '" + file + "'"));
  Dialogs->OpenNames.push_back(QString::fromStdString(file));
  Trigger("acOpen");
  ASSERT_TRUE(Dialogs->Errors.empty()) << Dialogs->Errors[0].toStdString();
  auto& view = Window->ImageScrollBox();
  ASSERT_EQ(view.FrameCount(), 3);
  EXPECT_TRUE(Enabled("acPlay"));
  EXPECT_TRUE(view.Animate());  // an animation plays once opened
  const struct {
    const char* Action;
    bool Animating;
  } steps[] = {{"acPlay", false}, {"acPlay", true}, {"acNextFrame", false}, {"acNextFrame", false}, {"acPlay", true}};
  for (const auto& s : steps) {
    const int before = view.CurrentFrame();
    Trigger(s.Action);
    EXPECT_EQ(view.Animate(), s.Animating) << s.Action;
    EXPECT_EQ(Window->Action("acPlay")->isChecked(), s.Animating);
    if (std::string_view(s.Action) == "acNextFrame") {
      EXPECT_EQ(view.CurrentFrame(), before % 3 + 1);
    }
  }
  // An image command works on the frame shown: the animation stops there.
  ASSERT_TRUE(view.Animate());
  Trigger(brindlex::TImageCommand::Negative);
  EXPECT_FALSE(view.Animate());
  // The pages of a file of several pages do not play by themselves; a still picture has nothing to play.
  Dialogs->Answers.push_back(brindlex::TAnswer::No);
  const auto page = Gradient(8, 8, quorvane::TImageFormat::Color256);
  WritePages({page.get(), page.get()}, Path("pages.dcx"));
  Dialogs->OpenNames.push_back(QString::fromStdString(Path("pages.dcx")));
  Trigger("acOpen");
  ASSERT_EQ(view.FrameCount(), 2);
  EXPECT_FALSE(view.Animate());
  OpenGradient("still.tga", 8, 8);
  EXPECT_FALSE(Enabled("acPlay"));
  EXPECT_FALSE(Enabled("acNextFrame"));
}

}  // namespace
}  // namespace qvtest

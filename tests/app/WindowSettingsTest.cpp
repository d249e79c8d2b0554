// Settings under QSettings("QUELLMARK", "Brindlex"): written when the window goes, read when the
// next one starts.
#include <QSettings>
#include <QToolBar>

#include "WindowTestUtil.h"

namespace qvtest {
namespace {

QSettings Store() { return QSettings(QStringLiteral("QUELLMARK"), QStringLiteral("Brindlex")); }

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { ClearSettings(); }
  void TearDown() override { ClearSettings(); }
};

TEST_F(SettingsTest, WrittenAtTheEndAndReadAtTheNextStart) {
  {
    brindlex::TfrmImageConverter window;
    window.show();
    window.setGeometry(40, 50, 640, 400);
    window.addToolBar(Qt::LeftToolBarArea, window.tbImageEdit);
    window.tbImageFile->hide();
  }
  {
    QSettings s = Store();
    EXPECT_EQ(s.value("ImageTool/Width").toInt(), 640);
    EXPECT_EQ(s.value("ImageTool/Height").toInt(), 400);
    EXPECT_EQ(s.value("ImageTool/Left").toInt(), 40);
    EXPECT_EQ(s.value("ImageTool/Top").toInt(), 50);
    EXPECT_EQ(s.value("ImageTool/WindowState").toInt(), 0);
    EXPECT_TRUE(s.contains("ImageTool/Directory"));
    for (const char* bar : {"tbImageMenu", "tbImageFile", "tbImageEdit", "tbImageLocation"}) {
      s.beginGroup(QString("ImageTool/") + bar);
      for (const char* value :
           {"Rev", "Visible", "DockedTo", "LastDock", "DockRow", "DockPos", "FloatLeft", "FloatTop"})
        EXPECT_TRUE(s.contains(value)) << bar << "/" << value;
      EXPECT_EQ(s.value("Rev").toInt(), 2000);
      s.endGroup();
    }
    EXPECT_EQ(s.value("ImageTool/tbImageEdit/DockedTo").toString(), "dkImageLeft");
    EXPECT_EQ(s.value("ImageTool/tbImageFile/Visible").toInt(), 0);
    EXPECT_EQ(s.value("ImageTool/tbImageMenu/DockedTo").toString(), "TBDock1");
    s.setValue("ImageTool/Directory", "/tmp");
  }
  brindlex::TfrmImageConverter again;
  again.show();
  EXPECT_EQ(again.size(), QSize(640, 400));
  EXPECT_EQ(again.toolBarArea(again.tbImageEdit), Qt::LeftToolBarArea);
  EXPECT_FALSE(again.tbImageFile->isVisibleTo(&again));
  EXPECT_EQ(again.Directory(), "/tmp");
}

TEST_F(SettingsTest, KeyWithoutWindowStateMaximises) {
  Store().setValue("ImageTool/Directory", "/tmp");
  brindlex::TfrmImageConverter window;
  EXPECT_TRUE(window.windowState() & Qt::WindowMaximized);
}

TEST_F(SettingsTest, StoredStateIsApplied) {
  {
    QSettings s = Store();
    s.setValue("ImageTool/WindowState", 2);
    for (const char* v : {"Top", "Left", "Width", "Height"}) s.setValue(QString("ImageTool/") + v, 300);
  }
  brindlex::TfrmImageConverter window;
  EXPECT_TRUE(window.windowState() & Qt::WindowMaximized);
}

TEST_F(SettingsTest, FirstRunKeepsTheInitialSize) {
  brindlex::TfrmImageConverter window;
  EXPECT_EQ(window.size(), QSize(724, 447));
  EXPECT_FALSE(window.windowState() & Qt::WindowMaximized);
}

}  // namespace
}  // namespace qvtest

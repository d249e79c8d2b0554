// The printing tests run inside a QApplication (the offscreen platform unless another is chosen)
// with the Qt platform installed, as the window program runs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include "platform/QvQtPlatform.h"

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Qt's file dialog keeps its state in the user's settings; a folder of this process's own keeps
  // test programs running at the same time from waiting on each other's settings lock.
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  QApplication app(argc, argv);
  quorvane::InstallQtPlatform();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

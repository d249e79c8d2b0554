// The scanning tests run inside a QApplication on the offscreen platform, as the window program
// runs, so the source's own dialogs can be shown and driven.
#include <gtest/gtest.h>

#include <QApplication>

#include "platform/QvQtPlatform.h"

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  quorvane::InstallQtPlatform();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

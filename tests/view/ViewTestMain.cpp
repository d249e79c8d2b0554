// The view tests run inside a QApplication (the offscreen platform unless another is chosen)
// with the Qt platform and the library's formats installed, as the window program runs.
#include <gtest/gtest.h>

#include <QApplication>

#include "formats/QvFormats.h"
#include "platform/QvQtPlatform.h"

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  quorvane::InstallQtPlatform();
  quorvane::RegisterStandardGraphicFormats();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

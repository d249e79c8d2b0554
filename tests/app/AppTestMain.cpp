// The window tests run inside the program's own application object on the offscreen platform,
// with a private settings folder so that no user's settings are read or changed, and with SANE
// kept loaded for the scanning tests.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

#include "TBrindlexApplication.h"
#include "formats/QvFormats.h"
#include "platform/QvQtPlatform.h"
#include "scan/ScanTestSupport.h"

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  std::string config = ::testing::TempDir() + "/brindlex-settings-XXXXXX";
  if (::mkdtemp(config.data()) == nullptr) return 1;
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config));
  brindlex::TBrindlexApplication app(argc, argv);
  quorvane::RegisterStandardGraphicFormats();
  brindlex::InstallErrorRoute(quorvane::InstallQtPlatform());
  qvtest::KeepSaneLoaded();
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  QDir(QString::fromStdString(config)).removeRecursively();
  return result;
}

// The scanning tests run inside a QApplication on the offscreen platform, as the window program
// runs, so the source's own dialogs can be shown and driven.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <string>

#include "platform/QvQtPlatform.h"

namespace {

// SANE leaks in sane_init and in the reader threads its backends cancel, from libraries that are
// unloaded again before the leak check, so their reports cannot be suppressed by name. Under the
// address sanitizer these tests (and the programs they start) run again without the leak check;
// every other check stays on.
void RunWithoutLeakCheck([[maybe_unused]] char** argv) {
#if defined(__SANITIZE_ADDRESS__)
  const char* current = std::getenv("ASAN_OPTIONS");
  std::string options = current ? current : "";
  if (options.find("detect_leaks=0") != std::string::npos) return;
  options += options.empty() ? "detect_leaks=0" : ":detect_leaks=0";
  ::setenv("ASAN_OPTIONS", options.c_str(), 1);
  ::execv("/proc/self/exe", argv);
#endif
}

}  // namespace

int main(int argc, char** argv) {
  RunWithoutLeakCheck(argv);
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  quorvane::InstallQtPlatform();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

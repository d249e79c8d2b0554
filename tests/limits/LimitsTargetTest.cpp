// The resource-limit targets, measured on the real program: no file under 4 KB in the regression
// folder makes brindlex-convert's resident memory exceed the memory limit plus 100 MB with the
// default limits, nor 150 MB or one second of processor time with --limit-area 16. Each run is
// printed (file, limits, exit status, wall and processor time, peak resident memory).
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "model/QvLimits.h"

namespace fs = std::filesystem;

namespace {

constexpr int64_t kMiB = int64_t{1} << 20;
constexpr uintmax_t kSmallFile = 4096;

struct TMeasure {
  int Status = -1;
  double WallSeconds = 0;
  double CpuSeconds = 0;  // user + system
  int64_t PeakBytes = 0;  // largest resident set
};

// Runs the program with Arguments, its output thrown away, and measures it through wait4.
TMeasure Measure(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  std::string program = BRINDLEX_CONVERT;
  argv.push_back(program.data());
  std::vector<std::string> copies = arguments;
  for (std::string& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::fflush(stdout);  // the child must not write out this process's buffered lines again
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child == 0) {
    std::freopen("/dev/null", "w", stdout);
    std::freopen("/dev/null", "w", stderr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  TMeasure m;
  int status = 0;
  rusage usage{};
  if (child < 0 || ::wait4(child, &status, 0, &usage) != child) return m;
  m.WallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  m.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  m.CpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  m.PeakBytes = static_cast<int64_t>(usage.ru_maxrss) * 1024;
  return m;
}

std::vector<fs::path> SmallRegressionFiles() {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(fs::path(BRINDLEX_SOURCE_DIR) / "tests/data/regression"))
    if (entry.is_regular_file() && entry.file_size() < kSmallFile) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

struct TBudget {
  const char* Name;
  std::vector<std::string> LimitOptions;
  int64_t MaxPeakBytes;
  double MaxCpuSeconds;  // 0: not bounded
};

// Both ways the program reads a file: describing every page, and converting the first page into
// another format (so the image changes class on the way).
void CheckEveryFile(const TBudget& budget) {
  const fs::path out = fs::temp_directory_path() / ("qv-limits-" + std::to_string(::getpid()) + ".tga");
  std::printf("| file | limits | run | exit | wall s | cpu s | peak MB |\n|---|---|---|---|---|---|---|\n");
  for (const fs::path& file : SmallRegressionFiles()) {
    const std::vector<std::vector<std::string>> runs{{"--info", file.string()},
                                                     {file.string(), "-o", out.string(), "--overwrite", "-q"}};
    for (const auto& run : runs) {
      std::vector<std::string> arguments = run;
      arguments.insert(arguments.end(), budget.LimitOptions.begin(), budget.LimitOptions.end());
      const TMeasure m = Measure(arguments);
      const char* kind = run[0] == "--info" ? "info" : "convert";
      std::printf("| %s | %s | %s | %d | %.2f | %.2f | %.1f |\n", file.filename().c_str(), budget.Name, kind, m.Status,
                  m.WallSeconds, m.CpuSeconds, static_cast<double>(m.PeakBytes) / 1e6);
      SCOPED_TRACE(file.filename().string() + " " + kind);
      EXPECT_TRUE(m.Status == 0 || m.Status == 1) << "ends normally, exit " << m.Status;
      EXPECT_LE(m.PeakBytes, budget.MaxPeakBytes);
      if (budget.MaxCpuSeconds > 0) EXPECT_LE(m.CpuSeconds, budget.MaxCpuSeconds);
    }
  }
  std::error_code error;
  fs::remove(out, error);
}

class LimitsTarget : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef QV_SANITIZED
    GTEST_SKIP() << "sanitizers change memory use; the targets hold for the plain build";
#endif
    // The targets are about the built-in defaults, whatever the caller's environment says.
    ::unsetenv("QUORVANE_LIMIT_AREA");
    ::unsetenv("QUORVANE_LIMIT_MEMORY");
  }
};

TEST_F(LimitsTarget, DefaultLimitsKeepMemoryWithinTheLimitPlus100MB) {
  const int64_t memoryLimit = quorvane::LimitsFromEnvironment().MaxMemory;
  CheckEveryFile({"default", {}, memoryLimit + 100 * 1000 * 1000, 0});
}

TEST_F(LimitsTarget, AreaLimit16KeepsEveryFileUnder150MBAndOneSecond) {
  CheckEveryFile({"--limit-area 16", {"--limit-area", "16"}, 150 * 1000 * 1000, 1.0});
}

}  // namespace

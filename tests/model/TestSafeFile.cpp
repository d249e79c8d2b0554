// Safe saving: a failed save keeps the old file, nothing temporary stays behind on any way out,
// permissions and links survive a replacement, and devices are written in place.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <stdexcept>

#include "model/QvDiGrph.h"
#include "model/QvExcept.h"
#include "model/QvSafeFile.h"
#include "support/ErrorMessage.h"
#include "support/ScratchFolder.h"

using namespace quorvane;
using namespace qvtest;

namespace {

const std::vector<uint8_t> kOld = {'o', 'l', 'd'};
const std::vector<uint8_t> kNew = {'n', 'e', 'w', '!'};

// An image class whose writer puts a few bytes into the stream and then, if asked, fails.
class TFailingGraphic : public TDibGraphic {
 public:
  explicit TFailingGraphic(bool fail) : FFail(fail) {}
  void SaveToStream(TStream& stream) override {
    stream.WriteBuffer(kNew.data(), kNew.size());
    if (FFail) throw EQuorvaneError("refused halfway");
  }

 private:
  bool FFail;
};

mode_t ModeOf(const std::string& file) {
  struct stat info {};
  ::lstat(file.c_str(), &info);
  return info.st_mode;
}

using qvtest::MessageOf;

TEST(SafeFile, SaveToFileReplacesOnlyAfterACompleteWrite) {
  struct TCase {
    const char* Name;
    bool Existing;
    bool Fail;
    std::vector<uint8_t> Expected;  // empty: no file at all
  };
  const TCase cases[] = {
      {"new file written", false, false, kNew},
      {"existing file replaced", true, false, kNew},
      {"failed save keeps the old file", true, true, kOld},
      {"failed save creates nothing", false, true, {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TScratchFolder dir;
    const std::string target = dir / "picture.img";
    if (c.Existing) PutFileBytes(target, kOld);
    TFailingGraphic image(c.Fail);
    EXPECT_EQ(MessageOf([&] { image.SaveToFile(target); }), c.Fail ? "refused halfway" : "");
    if (c.Expected.empty()) {
      EXPECT_TRUE(dir.List().empty());
    } else {
      EXPECT_EQ(FileBytes(target), c.Expected);
      EXPECT_EQ(dir.List(), std::vector<std::string>{"picture.img"});
    }
  }
}

TEST(SafeFile, PermissionBitsOfTheReplacedFileOrTheUmask) {
  struct TCase {
    mode_t Existing;  // 0: no file yet
    mode_t Umask;
    mode_t Expected;
  };
  const TCase cases[] = {{0640, 022, 0640}, {0755, 077, 0755}, {0, 022, 0644}, {0, 027, 0640}, {0, 0, 0666}};
  for (const TCase& c : cases) {
    TScratchFolder dir;
    const std::string target = dir / "f";
    if (c.Existing != 0) {
      PutFileBytes(target, kOld);
      ::chmod(target.c_str(), c.Existing);
    }
    const mode_t saved = ::umask(c.Umask);
    TFailingGraphic(false).SaveToFile(target);
    ::umask(saved);
    EXPECT_EQ(ModeOf(target) & 07777, c.Expected) << std::oct << c.Existing << " " << c.Umask;
  }
}

TEST(SafeFile, ThroughASymbolicLinkTheLinkedFileIsReplaced) {
  struct TCase {
    const char* Name;
    const char* Link;  // the link's text, relative to the link's folder or absolute
    bool TargetExists;
  };
  const TCase cases[] = {
      {"relative link", "../real/file", true},
      {"absolute link", "", true},
      {"link to a file not made yet", "../real/file", false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TScratchFolder dir;
    std::filesystem::create_directories(dir / "real");
    std::filesystem::create_directories(dir / "links");
    const std::string real = dir / "real/file";
    const std::string link = dir / "links/link";
    if (c.TargetExists) PutFileBytes(real, kOld);
    std::filesystem::create_symlink(*c.Link != 0 ? std::string(c.Link) : real, link);
    TFailingGraphic(false).SaveToFile(link);
    EXPECT_TRUE(S_ISLNK(ModeOf(link)));
    EXPECT_EQ(FileBytes(real), kNew);
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"links", "real"}));
    EXPECT_EQ(std::filesystem::directory_iterator(dir / "real")->path().filename(), "file");
  }
}

TEST(SafeFile, DevicesAreWrittenInPlace) {
  TSafeFile file("/dev/null");
  EXPECT_EQ(file.TemporaryName(), "");
  file.Stream().WriteBuffer(kNew.data(), kNew.size());
  EXPECT_TRUE(file.Commit());
  EXPECT_TRUE(S_ISCHR(ModeOf("/dev/null")));
}

TEST(SafeFile, RefusalsAndFailedRenamesLeaveNoTemporaryFile) {
  TScratchFolder dir;
  const std::string target = dir / "f";
  PutFileBytes(target, kOld);
  {
    // Without overwriting, an existing file is kept.
    TSafeFile file(target);
    file.Stream().WriteBuffer(kNew.data(), kNew.size());
    EXPECT_FALSE(file.Commit(false));
  }
  EXPECT_EQ(FileBytes(target), kOld);
  EXPECT_EQ(dir.List(), std::vector<std::string>{"f"});

  // The target became a folder with something in it while the file was written: the rename
  // fails, says so, and the temporary file goes.
  const std::string other = dir / "g";
  std::string message;
  {
    TSafeFile file(other);
    std::filesystem::create_directories(other + "/inside");
    message = MessageOf([&] { file.Commit(); });
  }
  EXPECT_EQ(message, "Cannot replace file \"" + other + "\". " + std::strerror(EISDIR));
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"f", "g"}));

  EXPECT_EQ(MessageOf([&] { TSafeFile file(dir / "g"); }),
            "Cannot create file \"" + other + "\". " + std::strerror(EISDIR));
  EXPECT_EQ(MessageOf([&] { TSafeFile file(dir / "missing/f"); }),
            "Cannot create file \"" + dir / "missing/f" + "\". " + std::strerror(ENOENT));
}

TEST(SafeFile, InterruptedSavesLeaveNoTemporaryFile) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    TScratchFolder dir;
    const std::string target = dir / "f";
    PutFileBytes(target, kOld);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      struct sigaction standard {};
      standard.sa_handler = SIG_DFL;
      ::sigaction(signal, &standard, nullptr);
      InstallTemporaryFileCleanup();
      TSafeFile file(target);
      file.Stream().WriteBuffer(kNew.data(), kNew.size());
      ::raise(signal);
      ::_exit(0);  // not reached: the signal ends the program
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal;
    EXPECT_EQ(dir.List(), std::vector<std::string>{"f"}) << signal;
    EXPECT_EQ(FileBytes(target), kOld);
  }
}

}  // namespace

#include "ConvertOutput.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "model/QvExcept.h"

namespace brindlex {
using namespace quorvane;

const char* const kOutputExistsMessage = "File exists (use --overwrite to replace it)";

namespace {

mode_t FileCreationMode = 0644;

std::string ErrorText(int error) { return std::strerror(error); }

// ".NAME.XXXXXX" in the target's folder: same file system, so the final rename is atomic.
std::string TemporaryPattern(const std::string& target) {
  const std::filesystem::path path(target);
  const std::filesystem::path folder = path.parent_path();
  std::string name(1, '.');
  name += path.filename().string();
  name += ".XXXXXX";
  return (folder.empty() ? std::filesystem::path(name) : folder / name).string();
}

// The mode of the file being replaced, or the mode new files get.
mode_t TargetMode(const std::string& target) {
  struct stat info {};
  if (::stat(target.c_str(), &info) == 0 && S_ISREG(info.st_mode)) return info.st_mode & 07777;
  return FileCreationMode;
}

// Renames without replacing: the kernel refuses when Target exists. Where the file system has no
// such rename, a hard link (which never replaces) plus removal of the old name does the same.
int RenameNoReplace(const char* from, const char* to) {
  if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  if (::link(from, to) != 0) return -1;
  ::unlink(from);
  return 0;
}

}  // namespace

void CaptureFileCreationMode() {
  const mode_t mask = ::umask(022);
  ::umask(mask);
  FileCreationMode = 0666 & ~mask;
}

TOutputFile::TOutputFile(const std::string& target) : FTarget(target) {
  // A device or pipe cannot be replaced by renaming (that would put a file in its place): it is
  // written directly.
  struct stat info {};
  if (::stat(target.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) {
    FStream = std::make_unique<TBufferedStream>(target, TFileMode::fmCreate);
    FDirect = true;
    return;
  }
  std::string pattern = TemporaryPattern(target);
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int handle = ::mkostemp(name.data(), O_CLOEXEC);
  if (handle < 0)
    throw EFCreateError(FormatMessage("Cannot create file \"%s\". %s", target.c_str(), ErrorText(errno).c_str()));
  FTemporary = name.data();
  ::fchmod(handle, TargetMode(target));
  ::close(handle);
  try {
    FStream = std::make_unique<TBufferedStream>(FTemporary, TFileMode::fmOpenReadWrite);
  } catch (...) {
    ::unlink(FTemporary.c_str());
    throw;
  }
}

TOutputFile::~TOutputFile() {
  FStream.reset();
  if (!FCommitted && !FDirect) ::unlink(FTemporary.c_str());
}

void TOutputFile::Commit(bool overwrite) {
  FStream->Flush();
  FStream.reset();
  if (FDirect) {
    FCommitted = true;
    return;
  }
  const int result =
      overwrite ? ::rename(FTemporary.c_str(), FTarget.c_str()) : RenameNoReplace(FTemporary.c_str(), FTarget.c_str());
  if (result != 0) {
    if (errno == EEXIST) throw EFCreateError(kOutputExistsMessage);
    throw EFCreateError(FormatMessage("Cannot create file \"%s\". %s", FTarget.c_str(), ErrorText(errno).c_str()));
  }
  FCommitted = true;
}

}  // namespace brindlex

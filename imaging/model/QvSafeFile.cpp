#include "model/QvSafeFile.h"

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include "model/QvExcept.h"

namespace quorvane {

namespace {

// ---- registry of temporary files, readable from a signal handler ----

// Names live in the registry itself, so the handler never follows a pointer into memory that a
// finishing save may free at the same moment. As many slots as the converter runs jobs; a name
// page becomes resident only once a save uses it.
constexpr int kSlotCount = 256;
constexpr size_t kNameCapacity = 4096;
enum TSlotState : int { ssFree, ssFilling, ssActive, ssRemoving };

std::atomic<int> gSlotStates[kSlotCount];
char gSlotNames[kSlotCount][kNameCapacity];
static_assert(std::atomic<int>::is_always_lock_free);

// The slot that now holds Name, or -1 when every slot is taken (the file is then removed on every
// way out except an interruption).
int RegisterTemporary(const std::string& name) {
  if (name.size() >= kNameCapacity) return -1;
  for (int i = 0; i < kSlotCount; ++i) {
    int expected = ssFree;
    if (!gSlotStates[i].compare_exchange_strong(expected, ssFilling)) continue;
    std::memcpy(gSlotNames[i], name.c_str(), name.size() + 1);
    gSlotStates[i].store(ssActive, std::memory_order_release);
    return i;
  }
  return -1;
}

void UnregisterTemporary(int slot) {
  if (slot >= 0) gSlotStates[slot].store(ssFree, std::memory_order_release);
}

extern "C" void RemoveTemporariesAndReraise(int signal) {
  const int savedErrno = errno;
  RemovePendingTemporaryFiles();
  struct sigaction standard {};
  standard.sa_handler = SIG_DFL;
  sigemptyset(&standard.sa_mask);
  sigaction(signal, &standard, nullptr);
  // Still blocked inside the handler: delivered, with the default action, once it returns.
  raise(signal);
  errno = savedErrno;
}

// ---- paths ----

std::string Reason(int error) { return std::strerror(error); }

[[noreturn]] void CannotCreate(const std::string& target, int error) {
  throw EFCreateError(FormatMessage("Cannot create file \"%s\". %s", target.c_str(), Reason(error).c_str()));
}

// Target with every symbolic link followed (relative links from the folder of the link). A link
// whose target does not exist yet leads to that name, which the save then creates.
std::string FollowLinks(const std::string& target) {
  namespace fs = std::filesystem;
  fs::path current(target);
  for (int hop = 0; hop < 40; ++hop) {
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(current, error))) return current.string();
    const fs::path link = fs::read_symlink(current, error);
    if (error) return current.string();
    current = link.is_absolute() ? link : current.parent_path() / link;
  }
  CannotCreate(target, ELOOP);
}

// "FOLDER/.NAME.XXXXXX": the same file system as the target, so the final rename is atomic.
std::string NewTemporaryName(const std::string& target) {
  static std::atomic<uint64_t> counter{std::random_device{}()};
  uint64_t x = counter.fetch_add(0x9E3779B97F4A7C15ull) ^ static_cast<uint64_t>(::getpid());
  x = (x ^ (x >> 31)) * 0xBF58476D1CE4E5B9ull;
  x ^= x >> 29;
  static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::string suffix(6, '0');
  for (char& c : suffix) {
    c = kLetters[x % 62];
    x /= 62;
  }
  const std::filesystem::path path(target);
  // Keep the name within the file system's 255 bytes.
  const std::string base = path.filename().string().substr(0, 200);
  const std::string name = "." + base + "." + suffix;
  return path.has_parent_path() ? (path.parent_path() / name).string() : name;
}

// Renames without replacing: the kernel refuses when To exists. Where the file system has no such
// rename, a hard link (which never replaces) plus removal of the old name does the same.
int RenameNoReplace(const char* from, const char* to) {
  if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  if (::link(from, to) != 0) return -1;
  ::unlink(from);
  return 0;
}

}  // namespace

TSafeFile::TSafeFile(const std::string& target) : FTarget(FollowLinks(target)) {
  struct stat info {};
  const bool exists = ::stat(FTarget.c_str(), &info) == 0;
  if (exists && S_ISDIR(info.st_mode)) CannotCreate(FTarget, EISDIR);
  if (exists && !S_ISREG(info.st_mode)) {
    // A device or pipe cannot be replaced by renaming (that would put a file in its place).
    FStream = std::make_unique<TBufferedStream>(FTarget, TFileMode::fmCreate);
    return;
  }
  int handle = -1;
  for (int attempt = 0; attempt < 100 && handle < 0; ++attempt) {
    FTemporary = NewTemporaryName(FTarget);
    // Mode 0666: the kernel takes the umask off, as for any new file.
    handle = ::open(FTemporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (handle < 0 && errno != EEXIST) break;
  }
  if (handle < 0) {
    const int error = errno;
    FTemporary.clear();
    CannotCreate(FTarget, error);
  }
  FSlot = RegisterTemporary(std::filesystem::absolute(FTemporary).string());
  if (exists) {
    // Best effort: only the owner or a privileged user may hand a file to someone else.
    if ((info.st_uid != ::geteuid() || info.st_gid != ::getegid()) && ::fchown(handle, info.st_uid, info.st_gid) != 0) {
      // The new file keeps the saving user as its owner.
    }
    ::fchmod(handle, info.st_mode & 07777);
  }
  try {
    FStream = std::make_unique<TBufferedStream>(handle, FTemporary);
  } catch (...) {
    ::close(handle);
    ::unlink(FTemporary.c_str());
    UnregisterTemporary(FSlot);
    throw;
  }
}

TSafeFile::~TSafeFile() {
  FStream.reset();
  if (!FFinished && !FTemporary.empty()) ::unlink(FTemporary.c_str());
  UnregisterTemporary(FSlot);
}

bool TSafeFile::Commit(bool overwrite) {
  FStream->Flush();
  FStream.reset();
  if (FTemporary.empty()) {
    FFinished = true;
    return true;
  }
  const char* from = FTemporary.c_str();
  const char* to = FTarget.c_str();
  if ((overwrite ? ::rename(from, to) : RenameNoReplace(from, to)) == 0) {
    FFinished = true;
    return true;
  }
  const int error = errno;
  ::unlink(from);
  FFinished = true;
  if (!overwrite && error == EEXIST) return false;
  throw EFCreateError(FormatMessage("Cannot replace file \"%s\". %s", to, Reason(error).c_str()));
}

void InstallTemporaryFileCleanup() {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) != 0) continue;
    // Ignored signals stay ignored (nohup), and handlers a program set stay its own.
    if ((current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL) continue;
    struct sigaction cleanup {};
    cleanup.sa_handler = RemoveTemporariesAndReraise;
    sigemptyset(&cleanup.sa_mask);
    sigaction(signal, &cleanup, nullptr);
  }
}

void RemovePendingTemporaryFiles() noexcept {
  for (int i = 0; i < kSlotCount; ++i) {
    int expected = ssActive;
    if (gSlotStates[i].compare_exchange_strong(expected, ssRemoving, std::memory_order_acquire))
      ::unlink(gSlotNames[i]);
  }
}

}  // namespace quorvane

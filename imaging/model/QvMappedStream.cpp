#include "model/QvMappedStream.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csetjmp>
#include <csignal>
#include <cstring>
#include <limits>
#include <mutex>

#include "model/QvBufferedStream.h"
#include "model/QvExcept.h"

namespace quorvane {

namespace {

// Where a fault inside a guarded copy on this thread jumps to.
thread_local sigjmp_buf* tCopyFault = nullptr;
struct sigaction gPreviousBusAction {};

void OnBusError(int signal, siginfo_t* info, void* context) {
  if (sigjmp_buf* target = tCopyFault) {
    tCopyFault = nullptr;
    siglongjmp(*target, 1);
  }
  // Not a guarded copy: the handler that was there before, or the default action, which the
  // fault, raised again when this returns, then meets.
  const struct sigaction& previous = gPreviousBusAction;
  if ((previous.sa_flags & SA_SIGINFO) != 0 && previous.sa_sigaction != nullptr) {
    previous.sa_sigaction(signal, info, context);
  } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
    previous.sa_handler(signal);
  } else {
    std::signal(SIGBUS, SIG_DFL);
  }
}

void InstallBusErrorGuard() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    // SA_NODEFER: the jump out of the handler leaves the signal mask as it was.
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, &gPreviousBusAction);
  });
}

// Copies N bytes from the mapping; false when its pages were cut away under the copy.
bool GuardedCopy(void* to, const uint8_t* from, size_t n) {
  sigjmp_buf target;
  if (sigsetjmp(target, 0) != 0) return false;
  tCopyFault = &target;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  std::memcpy(to, from, n);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  tCopyFault = nullptr;
  return true;
}

[[noreturn]] void RaiseOpenError(const std::string& fileName, int error) {
  throw EFOpenError(FormatMessage("Cannot open file \"%s\". %s", fileName.c_str(), std::strerror(error)));
}

}  // namespace

TMappedFileStream::TMappedFileStream(const uint8_t* memory, size_t size, std::string fileName)
    : FMemory(memory), FSize(size), FFileName(std::move(fileName)) {}

std::unique_ptr<TMappedFileStream> TMappedFileStream::TryMap(int handle, const std::string& fileName) {
  struct stat info {};
  if (::fstat(handle, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0 ||
      static_cast<uint64_t>(info.st_size) > std::numeric_limits<size_t>::max())
    return nullptr;
  const auto size = static_cast<size_t>(info.st_size);
  // A file of ordinary size is read whole by the conversions that map it: its pages are mapped
  // in one go instead of one fault at a time. Larger files keep the lazy mapping, so that asking
  // a huge file for its header reads no more than that.
  constexpr size_t kPopulateLimit = size_t{256} << 20;
  const int flags = MAP_PRIVATE | (size <= kPopulateLimit ? MAP_POPULATE : 0);
  void* memory = ::mmap(nullptr, size, PROT_READ, flags, handle, 0);
  if (memory == MAP_FAILED) return nullptr;
  // Codecs read mostly from the front to the back: the system may read ahead.
  ::madvise(memory, size, MADV_SEQUENTIAL);
  InstallBusErrorGuard();
  return std::unique_ptr<TMappedFileStream>(new TMappedFileStream(static_cast<const uint8_t*>(memory), size, fileName));
}

TMappedFileStream::~TMappedFileStream() { ::munmap(const_cast<uint8_t*>(FMemory), FSize); }

size_t TMappedFileStream::Read(void* buffer, size_t count) {
  if (FFailed || count == 0 || FPosition >= FSize) return 0;
  const size_t n = std::min(count, FSize - FPosition);
  if (!GuardedCopy(buffer, FMemory + FPosition, n)) {
    FFailed = true;
    return 0;
  }
  FPosition += n;
  return n;
}

size_t TMappedFileStream::Write(const void*, size_t) { return 0; }

int64_t TMappedFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = 0;
  if (origin == TSeekOrigin::soCurrent) base = static_cast<int64_t>(FPosition);
  if (origin == TSeekOrigin::soEnd) base = static_cast<int64_t>(FSize);
  if (offset < 0 ? base < -offset : offset > std::numeric_limits<int64_t>::max() - base) return -1;
  FPosition = static_cast<size_t>(base + offset);
  return base + offset;
}

std::unique_ptr<TStream> OpenFileForReading(const std::string& fileName) {
  const int handle = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (handle < 0) RaiseOpenError(fileName, errno);
  std::unique_ptr<TMappedFileStream> mapped = TMappedFileStream::TryMap(handle, fileName);
  if (!mapped) return std::make_unique<TBufferedStream>(handle, fileName);
  ::close(handle);
  return mapped;
}

}  // namespace quorvane

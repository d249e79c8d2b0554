#include "model/QvThreads.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <thread>

#ifdef _OPENMP
#include <omp.h>
#endif

namespace quorvane {

namespace {

// More threads than this are never started, whatever is asked.
constexpr int kMostThreads = 1024;

std::atomic<int> gChosenCount{0};
std::atomic<size_t> gMinimumWork{64 * 1024};

int DefaultThreadCount() {
  const int processors = ProcessorCount();
  const char* cap = std::getenv("QUORVANE_THREADS");
  if (cap == nullptr || *cap == '\0') return processors;
  return std::min(processors, ThreadCountFromText(cap).value_or(1));
}

}  // namespace

int ProcessorCount() {
#ifdef _OPENMP
  // The processors of the process's affinity mask, not every processor of the machine.
  const int count = omp_get_num_procs();
#else
  const int count = static_cast<int>(std::thread::hardware_concurrency());
#endif
  return std::clamp(count, 1, kMostThreads);
}

std::optional<int> ThreadCountFromText(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 1) return std::nullopt;
  return std::min(value, kMostThreads);
}

int ThreadCount() {
  const int chosen = gChosenCount.load(std::memory_order_relaxed);
  if (chosen > 0) return chosen;
  static const int defaultCount = DefaultThreadCount();
  return defaultCount;
}

void SetThreadCount(int count) { gChosenCount.store(std::clamp(count, 0, kMostThreads), std::memory_order_relaxed); }

size_t MinimumParallelWork() { return gMinimumWork.load(std::memory_order_relaxed); }

void SetMinimumParallelWork(size_t bytes) { gMinimumWork.store(bytes, std::memory_order_relaxed); }

int BandThreads(int64_t count, size_t rowWork) {
  if (count < 2) return 1;
  const int threads = static_cast<int>(std::min<int64_t>(ThreadCount(), count));
  if (threads < 2) return 1;
  const size_t minimum = MinimumParallelWork();
  // Count * RowWork < Minimum, without overflowing.
  if (rowWork == 0 || static_cast<uint64_t>(count) < (minimum + rowWork - 1) / rowWork) return 1;
  return threads;
}

void RunRowBands(int count, int threads, const TRowBandBody& body, const TRowsDone& done, int grain) {
  if (count <= 0) return;
  threads = std::clamp(threads, 1, count);
  grain = std::max(grain, 1);
  // Several bands per thread, so that a thread slowed down by others on the machine holds up the
  // end by one band at most; progress comes as each band of the calling thread ends.
  constexpr int kBandsPerThread = 8;
  const int perBand = std::max(grain, (count + threads * kBandsPerThread - 1) / (threads * kBandsPerThread));
  const int bands = (count + perBand - 1) / perBand;
  auto bandRows = [&](int band, int& first, int& last) {
    first = band * perBand;
    last = std::min(count, first + perBand);
  };

  auto serially = [&] {
    for (int band = 0; band < bands; ++band) {
      int first, last;
      bandRows(band, first, last);
      body(first, last, 0);
      if (done) done(last);
    }
  };
#ifdef _OPENMP
  if (threads == 1 || bands == 1) {
    serially();
    return;
  }
  std::atomic<int> finished{0};
  std::atomic<bool> stopped{false};
  std::exception_ptr failure;
  std::mutex failureLock;
  auto fail = [&] {
    const std::lock_guard<std::mutex> lock(failureLock);
    if (!failure) failure = std::current_exception();
    stopped.store(true, std::memory_order_relaxed);
  };
  // The thread that enters the region is thread 0 of its team: it alone calls Done.
#pragma omp parallel num_threads(threads)
  {
    const int slot = omp_get_thread_num();
#pragma omp for schedule(dynamic, 1) nowait
    for (int band = 0; band < bands; ++band) {
      if (stopped.load(std::memory_order_relaxed)) continue;
      try {
        int first, last;
        bandRows(band, first, last);
        body(first, last, slot);
        const int rows = finished.fetch_add(last - first, std::memory_order_acq_rel) + (last - first);
        if (slot == 0 && done) done(rows);
      } catch (...) {
        fail();
      }
    }
  }
  if (failure) std::rethrow_exception(failure);
  if (done) done(count);
#else
  serially();
#endif
}

}  // namespace quorvane

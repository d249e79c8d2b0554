#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>
#include <vector>

#include "model/QvThreads.h"

using namespace quorvane;

namespace {

TEST(Threads, CountsFromText) {
  struct TCase {
    const char* Text;
    std::optional<int> Count;
  } cases[] = {{"1", 1},
               {"4", 4},
               {"64", 64},
               {"0", std::nullopt},
               {"-2", std::nullopt},
               {"two", std::nullopt},
               {"3x", std::nullopt},
               {"", std::nullopt},
               {"99999", 1024}};
  for (const TCase& c : cases) EXPECT_EQ(ThreadCountFromText(c.Text), c.Count) << '"' << c.Text << '"';
}

// The suites may run with QUORVANE_THREADS set: the default is the processors capped by it.
TEST(Threads, TheEnvironmentCapsTheDefaultAndSetThreadCountReplacesIt) {
  const char* cap = std::getenv("QUORVANE_THREADS");
  const int expected = cap == nullptr || *cap == '\0'
                           ? ProcessorCount()
                           : std::min(ProcessorCount(), ThreadCountFromText(cap).value_or(1));
  EXPECT_EQ(ThreadCount(), expected);
  SetThreadCount(5);
  EXPECT_EQ(ThreadCount(), 5);
  SetThreadCount(0);
  EXPECT_EQ(ThreadCount(), expected);
}

TEST(Threads, SmallWorkStaysOnOneThread) {
  SetThreadCount(4);
  const size_t minimum = MinimumParallelWork();
  EXPECT_EQ(BandThreads(1000, minimum / 1000 / 2), 1) << "below the minimum work";
  EXPECT_EQ(BandThreads(1000, minimum), 4);
  EXPECT_EQ(BandThreads(3, minimum), 3) << "no more threads than rows";
  EXPECT_EQ(BandThreads(1, minimum), 1);
  SetThreadCount(0);
}

// Every row exactly once, each band on one slot, Done growing and called on the calling thread.
TEST(Threads, BandsCoverEveryRowOnceAndReportOnTheCallingThread) {
  for (int threads : {1, 2, 3, 8})
    for (int count : {1, 2, 7, 100, 1001})
      for (int grain : {1, 5}) {
        SCOPED_TRACE(std::to_string(threads) + " threads, " + std::to_string(count) + " rows, grain " +
                     std::to_string(grain));
        std::vector<std::atomic<int>> seen(static_cast<size_t>(count));
        std::atomic<bool> badSlot{false}, shortBand{false};
        std::vector<int> done;
        bool elsewhere = false;
        const std::thread::id caller = std::this_thread::get_id();
        RunRowBands(
            count, threads,
            [&](int first, int last, int slot) {
              if (slot < 0 || slot >= threads) badSlot = true;
              if (last - first < grain && last != count) shortBand = true;
              for (int y = first; y < last; ++y) ++seen[static_cast<size_t>(y)];
            },
            [&](int rows) {
              elsewhere = elsewhere || std::this_thread::get_id() != caller;
              done.push_back(rows);
            },
            grain);
        for (int y = 0; y < count; ++y) ASSERT_EQ(seen[static_cast<size_t>(y)], 1) << "row " << y;
        EXPECT_FALSE(badSlot);
        EXPECT_FALSE(shortBand);
        EXPECT_FALSE(elsewhere);
        ASSERT_FALSE(done.empty());
        EXPECT_EQ(done.back(), count);
        for (size_t i = 1; i < done.size(); ++i) EXPECT_GE(done[i], done[i - 1]);
      }
}

TEST(Threads, TheFirstFailureReachesTheCallerAndStopsTheRest) {
  for (int threads : {1, 3}) {
    // 24 bands of 10 rows on 3 threads (8 on 1); the first fails, the others take a while.
    std::atomic<int> started{0};
    EXPECT_THROW(RunRowBands(
                     240, threads,
                     [&](int first, int, int) {
                       ++started;
                       if (first == 0) throw std::runtime_error("band 0");
                       std::this_thread::sleep_for(std::chrono::milliseconds(2));
                     },
                     {}, 10),
                 std::runtime_error);
    EXPECT_LT(started.load(), threads == 1 ? 2 : 12) << threads << " threads: the bands after the failure are skipped";
    EXPECT_THROW(RunRowBands(
                     100, threads, [](int, int, int) {}, [](int) { throw std::logic_error("done"); }),
                 std::logic_error);
  }
}

}  // namespace

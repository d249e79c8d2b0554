// Threads of the library's row-parallel work: how many there are, decided in one place, and the
// one routine that runs rows in bands on them.
//
// The count in force is the number of processors the process may run on, capped at start-up by
// the environment variable QUORVANE_THREADS (a whole number of at least 1; text that is not one
// caps at 1, as it was meant to restrict). SetThreadCount replaces that count for the whole
// process (brindlex-convert --threads); SetThreadCount(0) returns to it.
//
// RunRowBands runs Body over rows [0, Count) in bands of neighbouring rows on up to Threads
// threads. Work that is parallel this way must make every row's result independent of the others,
// so that a result never depends on how many threads ran or on which thread ran which band.
// Done(rows) is called on the calling thread only, with a growing count of finished rows and at
// last with Count: transforms turn it into their progress reports. The first exception thrown by
// Body or Done stops the bands not yet started and is rethrown on the calling thread once every
// thread has stopped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace quorvane {

// The thread count in force (at least 1).
int ThreadCount();
// Replaces the count for the whole process; 0 returns to the processors capped by QUORVANE_THREADS.
void SetThreadCount(int count);
// Processors this process may run on.
int ProcessorCount();
// The count a QUORVANE_THREADS value names; nothing for text that is not a whole number >= 1.
std::optional<int> ThreadCountFromText(std::string_view text);

// The least work, in bytes touched, that is shared between threads (default 64 KiB): below it the
// thread start costs more than it saves. Tests set 0 to split images of any size.
size_t MinimumParallelWork();
void SetMinimumParallelWork(size_t bytes);

// Threads RunRowBands will use for Count rows of RowWork bytes each: at most ThreadCount() and
// Count, 1 when the work is below MinimumParallelWork(). Per-thread scratch is sized by it.
int BandThreads(int64_t count, size_t rowWork);

// Body(First, Last, Slot) works on rows [First, Last); Slot (0 .. Threads-1) tells which thread
// runs it, so that each thread can keep scratch of its own. Bands hold at least Grain rows (but
// the last). Done may be empty.
using TRowBandBody = std::function<void(int first, int last, int slot)>;
using TRowsDone = std::function<void(int rows)>;
void RunRowBands(int count, int threads, const TRowBandBody& body, const TRowsDone& done = {}, int grain = 1);

}  // namespace quorvane

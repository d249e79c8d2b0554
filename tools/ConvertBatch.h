// The batch runner: plans the output of every input, converts the files on N worker threads,
// reports every failure with its file, and counts them. Each file is converted by one thread from
// start to end, so results do not depend on the number of threads.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ConvertFile.h"
#include "ConvertOptions.h"
#include "ConvertProgress.h"

namespace brindlex {
using namespace quorvane;

// A planned job, or the reason it cannot run.
struct TPlannedJob {
  TConvertJob Job;
  std::string Refusal;  // not empty: the job fails with this message, naming its output
};

// -o: the one output; -d: DIR/NAME.EXT with the input's name and -f's (or the input's) extension.
// A second input that would write the output of an earlier one is refused.
std::vector<TPlannedJob> PlanJobs(const TConvertOptions& options);

// Runs Work(index, slot) for index 0..Count-1 on up to Threads threads; Slot (0..Threads-1)
// identifies the thread. Work must not throw.
void RunParallel(int count, int threads, const std::function<void(int index, int slot)>& work);

// Converts every input; returns the number of failed files.
int RunBatch(const TConvertOptions& options, TConvertProgress& progress);

// "brindlex-convert: FILE: MESSAGE", the form of every failure report; a failure on an output
// names its input too: "brindlex-convert: INPUT -> OUTPUT: MESSAGE".
std::string FailureLine(const TConvertFailure& failure, const std::string& input = "");
// "brindlex-convert: FILE: MESSAGE", for what --verbose reports about a conversion.
std::string NoteLine(const TConvertFailure& note);

// "brindlex-convert: warning: FILE: MESSAGE", for a reader's warning about an input.
std::string WarningLine(const TConvertFailure& warning);

}  // namespace brindlex

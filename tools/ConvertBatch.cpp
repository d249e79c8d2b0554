#include "ConvertBatch.h"

#include <atomic>
#include <filesystem>
#include <map>
#include <thread>

#include "model/QvPlatform.h"

namespace brindlex {
using namespace quorvane;

namespace {

std::string OutputFor(const std::string& input, const TConvertOptions& options) {
  if (!options.Output.empty()) return options.Output;
  const std::filesystem::path path(input);
  const std::string extension =
      options.OutputExtension.empty() ? path.extension().string() : "." + options.OutputExtension;
  return (std::filesystem::path(options.OutputDirectory) / (path.stem().string() + extension)).string();
}

// The same file, however it is written.
std::string Identity(const std::string& file) {
  std::error_code error;
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(file, error);
  return error ? std::filesystem::path(file).lexically_normal().string() : canonical.string();
}

}  // namespace

std::vector<TPlannedJob> PlanJobs(const TConvertOptions& options) {
  std::vector<TPlannedJob> jobs;
  std::map<std::string, std::string> firstInputOf;
  if (!options.Output.empty() && options.AllPages && options.Inputs.size() > 1) {
    // Every page of every input into the one output.
    TConvertJob job{options.Inputs.front(), options.Output, {}};
    job.MoreInputs.assign(options.Inputs.begin() + 1, options.Inputs.end());
    return {{job, ""}};
  }
  for (const auto& input : options.Inputs) {
    TPlannedJob planned{{input, OutputFor(input, options)}, ""};
    const auto [it, inserted] = firstInputOf.emplace(Identity(planned.Job.Output), input);
    if (!inserted) planned.Refusal = "Also the output of " + it->second + "; not written twice";
    jobs.push_back(std::move(planned));
  }
  return jobs;
}

void RunParallel(int count, int threads, const std::function<void(int index, int slot)>& work) {
  std::atomic<int> next{0};
  auto worker = [&](int slot) {
    for (int index = next++; index < count; index = next++) work(index, slot);
  };
  const int extra = std::max(0, std::min(threads, count) - 1);
  std::vector<std::jthread> pool;
  pool.reserve(static_cast<size_t>(extra));
  for (int slot = 1; slot <= extra; ++slot) pool.emplace_back(worker, slot);
  worker(0);
}

int RunBatch(const TConvertOptions& options, TConvertProgress& progress) {
  const std::vector<TPlannedJob> jobs = PlanJobs(options);
  if (!options.OutputDirectory.empty()) {
    std::error_code error;
    std::filesystem::create_directories(options.OutputDirectory, error);
  }
  // The platform's picture loader sets itself up on first use (Qt loads its image plugins then,
  // as objects of the thread that asks). That happens here on the main thread, not on a worker
  // that ends before the program does: Qt frees such objects again at exit, which corrupted the
  // heap of batches that read a picture through the loader on a second thread.
  if (options.Jobs > 1 && jobs.size() > 1) PictureLoader().Formats();
  std::atomic<int> failures{0};
  RunParallel(static_cast<int>(jobs.size()), options.Jobs, [&](int index, int slot) {
    const TPlannedJob& planned = jobs[static_cast<size_t>(index)];
    progress.FileStarted(slot, planned.Job.Input);
    std::vector<TConvertFailure> failed;
    if (!planned.Refusal.empty())
      failed.push_back({planned.Job.Output, planned.Refusal});
    else
      failed = ConvertFile(
          planned.Job, options, [&](double fraction) { progress.FileProgress(slot, fraction); },
          [&](const TConvertFailure& warning) { progress.Message(WarningLine(warning)); },
          [&](const TConvertFailure& note) {
            if (options.Verbose) progress.Message(NoteLine(note));
          });
    for (const auto& failure : failed) progress.Message(FailureLine(failure, planned.Job.Input));
    if (!failed.empty()) ++failures;
    progress.FileFinished(slot);
  });
  return failures.load();
}

std::string WarningLine(const TConvertFailure& warning) {
  return "brindlex-convert: warning: " + warning.File + ": " + warning.Message;
}

std::string NoteLine(const TConvertFailure& note) { return "brindlex-convert: " + note.File + ": " + note.Message; }

std::string FailureLine(const TConvertFailure& failure, const std::string& input) {
  const std::string file = input.empty() || input == failure.File ? failure.File : input + " -> " + failure.File;
  return "brindlex-convert: " + file + ": " + failure.Message;
}

}  // namespace brindlex

// Reads the pictures beside the one shown ahead of time, on a worker thread of its own, so that a
// step to one of them only hands the picture over.
//
// The window names the files worth having (SetWanted: the neighbours of the file shown) and takes
// a picture when it steps to it (Take); both run on the window's thread, which is where a picture
// changes hands. The worker reads one file at a time through the reader it was given (the
// document's reading path, which is safe beside the window's thread). What it holds is bounded:
// a result for a file no longer wanted is dropped as soon as it is known, so the pictures held
// are never more than the files wanted. A file whose size or modification time changed since its
// read began counts as not read. The worker starts with the first wish and ends with the object,
// after the read in progress.
//
// No Qt: the reading path is the core's, and the object can be tested beside it.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "model/QvDiGrph.h"

namespace brindlex {

class TPreloader {
 public:
  // Reads a whole file into a new image (every page as a frame) or raises what fails.
  using TReader = std::function<std::unique_ptr<quorvane::TDibGraphic>(const std::string& fileName)>;
  // A picture read, or the failure raised reading it.
  struct TResult {
    std::unique_ptr<quorvane::TDibGraphic> Image;
    std::exception_ptr Error;
  };

  explicit TPreloader(TReader reader);
  ~TPreloader();
  TPreloader(const TPreloader&) = delete;
  TPreloader& operator=(const TPreloader&) = delete;

  // The files to have ready, the most likely first: results for other files are dropped, files
  // neither read nor being read are queued in this order, files no longer wanted leave the queue.
  void SetWanted(const std::vector<std::string>& files);
  // The result for FileName, which leaves the preloader. When the worker is reading that file
  // now, waits for it. Nothing when it has not been read (a waiting request for it is dropped:
  // the caller reads it itself) or when the file changed since.
  std::optional<TResult> Take(const std::string& fileName);

  // Results held now (pictures and failures).
  size_t Held() const;
  // Files read by the worker so far, and whether it has nothing left to do.
  int ReadCount() const;
  bool Idle() const;
  // Waits until the worker has nothing left to do (tests and the benchmark).
  void WaitIdle();

 private:
  // What identifies the state of a file on disk: a different stamp means the file changed.
  struct TStamp {
    bool Valid = false;
    uint64_t Device = 0, Inode = 0;
    int64_t Size = 0, Seconds = 0, Nanoseconds = 0;
    bool operator==(const TStamp&) const = default;
  };
  struct TEntry {
    TStamp Stamp;
    TResult Result;
  };
  static TStamp StampOf(const std::string& fileName);
  bool Wanted(const std::string& fileName) const;
  void Work();

  TReader FReader;
  mutable std::mutex FLock;
  std::condition_variable FChanged;
  std::vector<std::string> FWanted;
  std::deque<std::string> FQueue;
  std::map<std::string, TEntry> FDone;
  std::string FReading;  // the file the worker reads now; empty when it waits
  std::string FClaimed;  // the file Take waits for
  int FReadCount = 0;
  bool FStop = false;
  std::thread FWorker;
};

}  // namespace brindlex

#include "TPreloader.h"

#include <sys/stat.h>

#include <algorithm>
#include <utility>

namespace brindlex {

TPreloader::TPreloader(TReader reader) : FReader(std::move(reader)) {}

TPreloader::~TPreloader() {
  {
    const std::lock_guard<std::mutex> lock(FLock);
    FStop = true;
    FQueue.clear();
  }
  FChanged.notify_all();
  if (FWorker.joinable()) FWorker.join();
}

TPreloader::TStamp TPreloader::StampOf(const std::string& fileName) {
  struct stat info {};
  if (::stat(fileName.c_str(), &info) != 0) return {};
  return {true,
          static_cast<uint64_t>(info.st_dev),
          static_cast<uint64_t>(info.st_ino),
          static_cast<int64_t>(info.st_size),
          static_cast<int64_t>(info.st_mtim.tv_sec),
          static_cast<int64_t>(info.st_mtim.tv_nsec)};
}

bool TPreloader::Wanted(const std::string& fileName) const {
  return fileName == FClaimed || std::find(FWanted.begin(), FWanted.end(), fileName) != FWanted.end();
}

void TPreloader::SetWanted(const std::vector<std::string>& files) {
  // Pictures dropped here are freed after the lock is released.
  std::vector<TEntry> dropped;
  {
    const std::lock_guard<std::mutex> lock(FLock);
    FWanted = files;
    for (auto it = FDone.begin(); it != FDone.end();) {
      if (Wanted(it->first)) {
        ++it;
      } else {
        dropped.push_back(std::move(it->second));
        it = FDone.erase(it);
      }
    }
    FQueue.clear();
    for (const std::string& file : files)
      if (!file.empty() && file != FReading && FDone.count(file) == 0 &&
          std::find(FQueue.begin(), FQueue.end(), file) == FQueue.end())
        FQueue.push_back(file);
    if (!FQueue.empty() && !FWorker.joinable()) FWorker = std::thread([this] { Work(); });
  }
  FChanged.notify_all();
}

std::optional<TPreloader::TResult> TPreloader::Take(const std::string& fileName) {
  TEntry entry;
  {
    std::unique_lock<std::mutex> lock(FLock);
    FQueue.erase(std::remove(FQueue.begin(), FQueue.end(), fileName), FQueue.end());
    if (FReading == fileName) {
      FClaimed = fileName;
      FChanged.wait(lock, [&] { return FReading != fileName; });
      FClaimed.clear();
    }
    const auto it = FDone.find(fileName);
    if (it == FDone.end()) return std::nullopt;
    entry = std::move(it->second);
    FDone.erase(it);
  }
  if (!entry.Stamp.Valid || !(entry.Stamp == StampOf(fileName))) return std::nullopt;
  return std::move(entry.Result);
}

size_t TPreloader::Held() const {
  const std::lock_guard<std::mutex> lock(FLock);
  return FDone.size();
}

int TPreloader::ReadCount() const {
  const std::lock_guard<std::mutex> lock(FLock);
  return FReadCount;
}

bool TPreloader::Idle() const {
  const std::lock_guard<std::mutex> lock(FLock);
  return FQueue.empty() && FReading.empty();
}

void TPreloader::WaitIdle() {
  std::unique_lock<std::mutex> lock(FLock);
  FChanged.wait(lock, [&] { return FQueue.empty() && FReading.empty(); });
}

void TPreloader::Work() {
  std::unique_lock<std::mutex> lock(FLock);
  for (;;) {
    FChanged.wait(lock, [&] { return FStop || !FQueue.empty(); });
    if (FStop) return;
    const std::string fileName = std::move(FQueue.front());
    FQueue.pop_front();
    FReading = fileName;
    lock.unlock();

    // The stamp comes first: a file that changes while it is read no longer matches it.
    TEntry entry;
    entry.Stamp = StampOf(fileName);
    try {
      entry.Result.Image = FReader(fileName);
    } catch (...) {
      entry.Result.Error = std::current_exception();
    }

    lock.lock();
    FReading.clear();
    ++FReadCount;
    if (Wanted(fileName)) {
      try {
        FDone[fileName] = std::move(entry);
      } catch (...) {
        // No room to keep it: the step reads the file itself.
      }
    } else {
      // Stale: freed outside the lock, so the window's thread never waits for it.
      lock.unlock();
      entry = {};
      lock.lock();
    }
    FChanged.notify_all();
  }
}

}  // namespace brindlex

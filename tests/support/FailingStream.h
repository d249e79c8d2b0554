// A memory stream that stands for a medium going away: once Budget bytes have moved, a read
// raises EReadError and a write EWriteError, with the texts below, and so does every transfer
// after it. Tests check that the stream's own error reaches the caller unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "model/QvExcept.h"
#include "model/QvStream.h"

namespace qvtest {

inline constexpr const char* kReadGone = "disk gone while reading";
inline constexpr const char* kWriteGone = "disk gone while writing";

class TFailingStream : public quorvane::TMemoryStream {
 public:
  explicit TFailingStream(std::vector<uint8_t> data = {}, size_t budget = 0)
      : quorvane::TMemoryStream(std::move(data)), Budget(budget) {}
  size_t Budget;

  size_t Read(void* buffer, size_t count) override {
    if (!Spend(count)) throw quorvane::EReadError(kReadGone);
    return TMemoryStream::Read(buffer, count);
  }
  size_t Write(const void* buffer, size_t count) override {
    if (!Spend(count)) throw quorvane::EWriteError(kWriteGone);
    return TMemoryStream::Write(buffer, count);
  }

 private:
  bool Spend(size_t count) {
    if (Failed || count > Budget) return !(Failed = true);
    Budget -= count;
    return true;
  }
  bool Failed = false;
};

}  // namespace qvtest

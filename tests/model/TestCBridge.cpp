#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "model/QvCBridge.h"
#include "model/QvExcept.h"
#include "model/QvStream.h"
#include "support/FailingStream.h"

using namespace quorvane;
using namespace qvtest;

namespace {

// A C-style library: it copies blocks through a callback and stops at the first negative result.
using TBlockCallback = long (*)(void* handle, char* block, long size);
extern "C" int CopyBlocks(TBlockCallback callback, void* handle, int blocks) {
  char block[16];
  for (int i = 0; i < blocks; ++i)
    if (callback(handle, block, sizeof block) < 0) return -1;
  return 0;
}

struct TClient {
  TStream* Stream;
  TCallbackGuard Guard;
  bool Writing;
};

long BlockCallback(void* handle, char* block, long size) {
  auto* client = static_cast<TClient*>(handle);
  return client->Guard.Run(-1L, [&] {
    return static_cast<long>(client->Writing ? client->Stream->Write(block, size) : client->Stream->Read(block, size));
  });
}

// A library that reports a fatal error by jumping to the caller's pad, as libpng and libjpeg do.
struct TJumpingLibrary {
  TLandingPad* Pad;
  char Message[64];
  int Calls = 0;
};
extern "C" void LibraryStep(TJumpingLibrary* lib, int failAt) {
  if (++lib->Calls == failAt) {
    std::strcpy(lib->Message, "Corrupt data");
    lib->Pad->Jump();
  }
}

// The pattern a codec follows: pad armed in the calling frame, C calls only inside, throw after.
int RunSteps(int steps, int failAt) {
  TLandingPad pad;
  TJumpingLibrary lib{&pad, {}, 0};
  const bool finished = RunWithLandingPad(pad, [&] {
    for (int i = 0; i < steps; ++i) LibraryStep(&lib, failAt);
  });
  if (!finished) throw EQuorvaneError(lib.Message);
  return lib.Calls;
}

}  // namespace

TEST(CBridge, StreamFailureInsideCallbackSurfacesAfterTheLibraryReturns) {
  for (bool writing : {false, true}) {
    SCOPED_TRACE(writing ? "write" : "read");
    TFailingStream stream(std::vector<uint8_t>(1024, 0x5A), 40);  // two blocks of 16 pass, the third fails mid-way
    TClient client{&stream, {}, writing};
    EXPECT_EQ(CopyBlocks(BlockCallback, &client, 8), -1);
    ASSERT_TRUE(client.Guard.Failed());
    try {
      client.Guard.Rethrow();
      FAIL() << "no exception";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), writing ? kWriteGone : kReadGone);
    }
    EXPECT_FALSE(client.Guard.Failed());
    EXPECT_NO_THROW(client.Guard.Rethrow());
  }
}

TEST(CBridge, GuardKeepsTheFirstFailure) {
  TCallbackGuard guard;
  EXPECT_EQ(guard.Run(-1, []() -> int { throw EReadError("first"); }), -1);
  EXPECT_EQ(guard.Run(-1, []() -> int { throw EWriteError("second"); }), -1);
  EXPECT_EQ(guard.Run(-1, [] { return 7; }), 7);
  EXPECT_THROW(guard.Rethrow(), EReadError);
}

TEST(CBridge, LandingPadTurnsAJumpIntoAnException) {
  EXPECT_EQ(RunSteps(5, 0), 5);
  try {
    RunSteps(5, 3);
    FAIL() << "no exception";
  } catch (const EQuorvaneError& e) {
    EXPECT_EQ(e.Message(), "Corrupt data");
  }
  // The pad can be armed again after a jump.
  EXPECT_EQ(RunSteps(2, 0), 2);
}

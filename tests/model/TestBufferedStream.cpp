// The buffered file stream behaves exactly as an unbuffered stream under any mix of reads,
// writes and seeks, and reports a failed final write.
#include <gtest/gtest.h>

#include <random>

#include "model/QvBufferedStream.h"
#include "model/QvExcept.h"
#include "support/ScratchFolder.h"

using namespace quorvane;
using namespace qvtest;

namespace {

TEST(BufferedStream, MixedReadsWritesAndSeeksMatchAMemoryStream) {
  TScratchFolder dir;
  std::mt19937 random(5);
  for (int round = 0; round < 20; ++round) {
    const std::string file = dir / ("f" + std::to_string(round));
    TMemoryStream expected;
    {
      TBufferedStream stream(file, TFileMode::fmCreate);
      for (int step = 0; step < 200; ++step) {
        // Sizes around the buffer size exercise the direct paths too.
        const size_t size = random() % 4 == 0 ? random() % (TBufferedStream::kBufferSize * 2) : random() % 3000;
        switch (random() % 3) {
          case 0: {
            std::vector<uint8_t> data(size);
            for (auto& b : data) b = static_cast<uint8_t>(random());
            ASSERT_EQ(stream.Write(data.data(), size), expected.Write(data.data(), size));
            break;
          }
          case 1: {
            std::vector<uint8_t> a(size), b(size);
            ASSERT_EQ(stream.Read(a.data(), size), expected.Read(b.data(), size));
            ASSERT_EQ(a, b);
            break;
          }
          default: {
            const int64_t to = static_cast<int64_t>(random() % (expected.Size() + 1));
            ASSERT_EQ(stream.Seek(to, TSeekOrigin::soBeginning), expected.Seek(to, TSeekOrigin::soBeginning));
          }
        }
        ASSERT_EQ(stream.Size(), expected.Size());
        ASSERT_EQ(stream.Position(), expected.Position());
      }
      stream.Flush();
    }
    EXPECT_EQ(FileBytes(file), expected.Data());
  }
}

TEST(BufferedStream, FlushReportsAFullDevice) {
  TBufferedStream stream("/dev/full", TFileMode::fmOpenReadWrite);
  const std::vector<uint8_t> data(1000, 7);
  stream.WriteBuffer(data.data(), data.size());  // still in the buffer
  EXPECT_THROW(stream.Flush(), EWriteError);
}

}  // namespace

// The mapped file stream reads as a memory stream over the file's bytes does; files that cannot
// be mapped are read buffered; a file cut short by someone else under a read fails the read
// instead of the process.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <random>

#include "model/QvExcept.h"
#include "model/QvMappedStream.h"
#include "support/ScratchFolder.h"

using namespace quorvane;
using namespace qvtest;

namespace {

std::vector<uint8_t> RandomBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

void PutFile(const std::string& file, const std::vector<uint8_t>& bytes) { TMemoryStream(bytes).SaveToFile(file); }

TEST(MappedStream, ReadsAndSeeksMatchAMemoryStream) {
  TScratchFolder dir;
  const std::vector<uint8_t> bytes = RandomBytes(300000, 3);
  PutFile(dir / "f", bytes);
  std::unique_ptr<TStream> stream = OpenFileForReading(dir / "f");
  ASSERT_NE(dynamic_cast<TMappedFileStream*>(stream.get()), nullptr);
  TMemoryStream expected(bytes);
  EXPECT_EQ(stream->Size(), 300000);
  std::mt19937 random(7);
  for (int step = 0; step < 500; ++step) {
    if (random() % 3 == 0) {
      const auto origin = static_cast<TSeekOrigin>(random() % 3);
      const int64_t offset = static_cast<int64_t>(random() % 400000) - 200000;
      ASSERT_EQ(stream->Seek(offset, origin), expected.Seek(offset, origin)) << step;
    } else {
      const size_t size = random() % 70000;
      std::vector<uint8_t> a(size), b(size);
      ASSERT_EQ(stream->Read(a.data(), size), expected.Read(b.data(), size)) << step;
      ASSERT_EQ(a, b) << step;
    }
  }
  // Read-only, and far seeks read nothing.
  const uint8_t byte = 1;
  EXPECT_EQ(stream->Write(&byte, 1), 0u);
  EXPECT_EQ(stream->Seek(int64_t{1} << 40, TSeekOrigin::soBeginning), int64_t{1} << 40);
  uint8_t read = 0;
  EXPECT_EQ(stream->Read(&read, 1), 0u);
}

// Empty files and devices are read buffered; missing files are refused with the file stream's
// message.
TEST(MappedStream, FilesThatCannotBeMappedAreReadBuffered) {
  TScratchFolder dir;
  PutFile(dir / "empty", {});
  std::unique_ptr<TStream> empty = OpenFileForReading(dir / "empty");
  EXPECT_EQ(dynamic_cast<TMappedFileStream*>(empty.get()), nullptr);
  uint8_t byte = 1;
  EXPECT_EQ(empty->Read(&byte, 1), 0u);

  std::unique_ptr<TStream> device = OpenFileForReading("/dev/zero");
  EXPECT_EQ(dynamic_cast<TMappedFileStream*>(device.get()), nullptr);
  std::vector<uint8_t> zeros(100000, 1);
  device->ReadBuffer(zeros.data(), zeros.size());
  EXPECT_EQ(zeros, std::vector<uint8_t>(100000, 0));

  std::string message, expected;
  try {
    OpenFileForReading(dir / "missing");
  } catch (const EFOpenError& e) {
    message = e.Message();
  }
  try {
    TFileStream(dir / "missing", TFileMode::fmOpenRead);
  } catch (const EFOpenError& e) {
    expected = e.Message();
  }
  EXPECT_FALSE(message.empty());
  EXPECT_EQ(message, expected);
}

TEST(MappedStream, FileCutShortUnderAReadFailsTheReadNotTheProcess) {
  TScratchFolder dir;
  const std::vector<uint8_t> bytes = RandomBytes(1 << 20, 5);
  PutFile(dir / "f", bytes);
  std::unique_ptr<TStream> stream = OpenFileForReading(dir / "f");
  ASSERT_NE(dynamic_cast<TMappedFileStream*>(stream.get()), nullptr);
  std::vector<uint8_t> got(4096);
  ASSERT_EQ(stream->Read(got.data(), got.size()), got.size());
  // Another program truncates the file: the pages past its new end are gone.
  ASSERT_EQ(::truncate((dir / "f").c_str(), 8192), 0);
  stream->SetPosition(1 << 19);
  EXPECT_EQ(stream->Read(got.data(), got.size()), 0u);
  stream->SetPosition(0);
  EXPECT_EQ(stream->Read(got.data(), got.size()), 0u);  // nothing more is read from it
}

}  // namespace

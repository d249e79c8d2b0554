#include <gtest/gtest.h>

#include <limits>

#include "common/CommaLocale.h"
#include "model/QvExcept.h"
#include "model/QvMisc.h"
#include "model/QvPlatform.h"
#include "model/QvStream.h"

using namespace quorvane;

namespace {

TEST(Misc, Numbers) {
  EXPECT_EQ(ClampInt(5, 10, 3), 3) << "raised to Low, then lowered to High";
  EXPECT_EQ(ClampInt(-4, 0, 9), 0);
  EXPECT_EQ(CeilInt(1.2L), 2);
  EXPECT_EQ(CeilInt(-1.2L), -1);
  EXPECT_EQ(FloorInt(-1.2L), -2);
  EXPECT_EQ(FloorInt(3.0L), 3);
  EXPECT_EQ(RoundHalfEven(2.5L), 2);
  EXPECT_EQ(RoundHalfEven(3.5L), 4);
  EXPECT_EQ(RoundHalfEven(-2.5L), -2);
  EXPECT_NEAR(static_cast<double>(Power(2, 10)), 1024.0, 1e-9);
  EXPECT_NEAR(static_cast<double>(Power(128.0L / 255, 0.5L) * 255), 180.66, 0.01);
  EXPECT_EQ(Power(0, 3), 0);
  EXPECT_EQ(Power(5, 0), 1);
  EXPECT_EQ(RoundToDecimals(1.23456L, 2), 1.23L);
  EXPECT_TRUE(HasFlags(0x1F, 0x05));
  EXPECT_FALSE(HasFlags(0x1A, 0x05));
}

// Reals that no integer holds: NaN gives 0, everything beyond the range its nearest end.
TEST(Misc, RoundingOutsideTheIntegerRange) {
  constexpr long double nan = std::numeric_limits<long double>::quiet_NaN();
  constexpr long double inf = std::numeric_limits<long double>::infinity();
  constexpr int64_t max64 = std::numeric_limits<int64_t>::max(), min64 = std::numeric_limits<int64_t>::min();
  constexpr int maxInt = std::numeric_limits<int>::max(), minInt = std::numeric_limits<int>::min();
  const struct {
    long double Value;
    int64_t Rounded;
    int Ceil, Floor;
  } cases[] = {
      {nan, 0, 0, 0},
      {-nan, 0, 0, 0},
      {inf, max64, maxInt, maxInt},
      {-inf, min64, minInt, minInt},
      {1e30L, max64, maxInt, maxInt},
      {-1e30L, min64, minInt, minInt},
      {9223372036854775807.0L, max64, maxInt, maxInt},
      {9223372036854775808.0L, max64, maxInt, maxInt},  // 2^63
      {-9223372036854775808.0L, min64, minInt, minInt},
      {-9223372036854775809.0L, min64, minInt, minInt},
      {4611686018427387904.5L, 4611686018427387904, maxInt, maxInt},
      {2147483646.5L, 2147483646, maxInt, 2147483646},
      {2147483647.5L, 2147483648, maxInt, maxInt},
      {-2147483648.5L, -2147483648, minInt, minInt},
      {-2147483647.5L, -2147483648, -2147483647, minInt},
      {-0.5L, 0, 0, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<double>(c.Value));
    EXPECT_EQ(RoundHalfEven(c.Value), c.Rounded);
    EXPECT_EQ(CeilInt(c.Value), c.Ceil);
    EXPECT_EQ(FloorInt(c.Value), c.Floor);
  }
}

// Rounding through decimal text: the same in every locale, and large values keep their size.
TEST(Misc, RoundToDecimalsInEveryLocale) {
  struct TCase {
    long double Value;
    int Decimals;
    long double Expected;
  };
  const TCase cases[] = {
      {1.23456L, 2, 1.23L},  {-2.5L, 0, -2.0L},  {2.675L, 1, 2.7L},     {1e70L, 2, 1e70L},
      {-3e300L, 3, -3e300L}, {0.0001L, 3, 0.0L}, {1e4000L, 1, 1e4000L}, {5.55555L, -1, 5.55555L},
  };
  auto check = [&] {
    for (const TCase& c : cases)
      EXPECT_EQ(RoundToDecimals(c.Value, c.Decimals), c.Expected) << static_cast<double>(c.Value) << " " << c.Decimals;
  };
  check();
  qvtest::TCommaLocaleScope comma;
  ASSERT_TRUE(comma.Active()) << qvtest::kCommaLocale << " is missing: run scripts/install-deps.sh";
  check();
}

TEST(Misc, DateAndTimePatterns) {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 11;
  t.tm_mday = 9;
  t.tm_hour = 7;
  t.tm_min = 5;
  t.tm_sec = 3;
  EXPECT_EQ(FormatDateWith("yyyy:mm:dd", t), "2026:12:09");
  EXPECT_EQ(FormatTimeWith("hh:nn:ss", t), "07:05:03");
  EXPECT_EQ(FormatTimeWith("hh:mm", t), "07:05") << "mm after an hour means minutes";
}

class TCursorPlatform : public IPlatform {
 public:
  void SetBusyCursor(bool busy) override { Calls += busy ? "B" : "E"; }
  std::string Calls;
};

TEST(Misc, BusyCursorNests) {
  TCursorPlatform platform;
  SetPlatform(&platform);
  {
    TBusyCursor outer;
    BeginBusyCursor();
    EndBusyCursor();
    EXPECT_EQ(BusyCursorDepth(), 1);
  }
  EndBusyCursor();  // unbalanced: ignored
  SetPlatform(nullptr);
  EXPECT_EQ(platform.Calls, "BE");
  EXPECT_EQ(BusyCursorDepth(), 0);
}

TEST(Streams, MemoryAndWindowedStreams) {
  TMemoryStream m;
  const uint8_t data[] = {1, 2, 3, 4, 5, 6};
  m.WriteBuffer(data, sizeof data);
  EXPECT_EQ(m.Size(), 6);
  m.SetPosition(4);
  uint8_t two[2];
  m.ReadBuffer(two, 2);
  EXPECT_EQ(two[1], 6);
  EXPECT_THROW(m.ReadBuffer(two, 1), EReadError);
  EXPECT_EQ(m.Seek(-1, TSeekOrigin::soBeginning), -1);

  TSubStream window(m, 2, 3);
  EXPECT_EQ(window.Size(), 3);
  uint8_t buf[8] = {};
  EXPECT_EQ(window.Read(buf, 8), 3u);
  EXPECT_EQ(buf[0], 3);
  EXPECT_EQ(buf[2], 5);
  EXPECT_EQ(window.Read(buf, 1), 0u);

  TMemoryStream copy;
  copy.CopyFrom(m, 0);
  EXPECT_EQ(copy.Data(), m.Data());
  try {
    TFileStream missing("/nonexistent/dir/file.pcx", TFileMode::fmOpenRead);
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message().rfind("Cannot open file \"/nonexistent/dir/file.pcx\".", 0), 0u);
  }
}

}  // namespace

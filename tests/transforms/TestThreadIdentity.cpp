// Every operation gives the same bytes on one thread and on several, for every pixel format, on
// sizes whose rows do not divide evenly into bands; progress stays on the calling thread, in
// order; a failure on one thread reaches the caller.
#include <algorithm>
#include <functional>
#include <memory>
#include <thread>

#include "TransfTestSupport.h"
#include "model/QvDiGrphStretch.h"
#include "model/QvThreads.h"
#include "transforms/QvTransfCatalog.h"
#include "transforms/QvTransfFilter.h"
#include "transforms/QvTransfPoint.h"

using namespace quorvane;

namespace {

// Thread counts the results are compared at; more than the machine has is fine.
constexpr int kThreadCounts[] = {2, 5};
// Odd sizes: rows that do not divide into bands, widths that end inside bytes and kernel steps.
constexpr int kSizes[][2] = {{37, 23}, {101, 67}, {3, 41}};

// Runs with Count threads and every image split, whatever its size; restores the defaults.
class TThreadSetting {
 public:
  explicit TThreadSetting(int count) : FWork(MinimumParallelWork()) {
    SetThreadCount(count);
    SetMinimumParallelWork(0);
  }
  ~TThreadSetting() {
    SetThreadCount(0);
    SetMinimumParallelWork(FWork);
  }

 private:
  size_t FWork;
};

using TRun = std::function<void(TDibGraphic& result)>;

// The one helper: Run's result at 1 thread against its results at every other count.
::testing::AssertionResult SameAtEveryThreadCount(const TRun& run) {
  TDibGraphic single;
  {
    const TThreadSetting one(1);
    run(single);
  }
  for (int threads : kThreadCounts) {
    TDibGraphic several;
    {
      const TThreadSetting setting(threads);
      run(several);
    }
    ::testing::AssertionResult same = SameImage(several, single);
    if (!same) return same << " (" << threads << " threads)";
  }
  return ::testing::AssertionSuccess();
}

struct TOperationCase {
  std::string Name;
  const TImageOperation* Operation;
  TOperationParameters Parameters;
};

// Every operation of the table, with the parameter choices that take other paths.
std::vector<TOperationCase> OperationCases() {
  std::vector<TOperationCase> cases;
  auto add = [&](std::string name, std::string_view operation, auto set) {
    const TImageOperation& op = ImageOperation(operation);
    TOperationParameters p = DefaultParameters(op);
    set(p);
    cases.push_back({std::move(name), &op, p});
  };
  auto none = [](TOperationParameters&) {};
  for (double angle : {90.0, 180.0, 270.0, 33.0})
    add("rotate " + std::to_string(static_cast<int>(angle)), "rotate",
        [angle](TOperationParameters& p) { p.Angle = angle; });
  add("flip horizontal", "flip-h", none);
  add("flip vertical", "flip-v", none);
  add("negative", "negative", none);
  add("crop", "crop",
      [](TOperationParameters& p) { p.CropLeft = 1, p.CropTop = 2, p.CropRight = 1, p.CropBottom = 3; });
  add("sharpen", "sharpen", none);
  add("smooth", "smooth", none);
  add("brightness", "brightness", none);
  add("contrast down", "contrast", [](TOperationParameters& p) { p.RaiseContrast = false; });
  add("edge", "edge", none);
  add("emboss", "emboss", none);
  add("gamma", "gamma", [](TOperationParameters& p) { p.GammaValue = 2.2; });
  add("gray", "gray", none);
  for (TImageFormat target : kAllFormats) {
    add("convert to " + FormatLabel(target), "convert", [target](TOperationParameters& p) { p.TargetFormat = target; });
    add("quantize to " + FormatLabel(target), "convert", [target](TOperationParameters& p) {
      p.TargetFormat = target;
      p.UseQuantizer = true;
    });
  }
  for (auto size : {std::pair{13, 9}, std::pair{150, 97}})
    add("stretch to " + std::to_string(size.first), "resize",
        [size](TOperationParameters& p) { p.NewWidth = size.first, p.NewHeight = size.second; });
  for (int f = 0; f < kResizeFilterCount; ++f)
    add("resample with " + ResizeFilterName(static_cast<TResizeFilter>(f)), "resize", [f](TOperationParameters& p) {
      p.NewWidth = 29, p.NewHeight = 83;  // narrower and higher: both passes shrink or grow
      p.Interpolate = true;
      p.Filter = static_cast<TResizeFilter>(f);
    });
  add("resample to 16 colours", "resize", [](TOperationParameters& p) {
    p.NewWidth = 20, p.NewHeight = 19, p.Interpolate = true, p.ForceFormat = true;
    p.TargetFormat = TImageFormat::Color16;
  });
  return cases;
}

TEST(ThreadIdentity, TheCasesHoldEveryOperation) {
  const std::vector<TOperationCase> cases = OperationCases();
  for (const TImageOperation& operation : ImageOperations())
    EXPECT_TRUE(std::any_of(cases.begin(), cases.end(), [&](const TOperationCase& c) {
      return c.Operation == &operation;
    })) << operation.Name;
}

TEST(ThreadIdentity, EveryOperationOnEveryFormat) {
  for (const TOperationCase& c : OperationCases())
    for (TImageFormat format : kAllFormats)
      for (const auto& size : kSizes) {
        SCOPED_TRACE(c.Name + " of " + FormatLabel(format) + " " + std::to_string(size[0]) + "x" +
                     std::to_string(size[1]));
        TDibGraphic source;
        FillRandom(source, format, size[0], size[1], 7);
        EXPECT_TRUE(SameAtEveryThreadCount(
            [&](TDibGraphic& result) { CreateTransform(*c.Operation, c.Parameters)->ApplyOnDest(source, result); }));
      }
}

// The transforms that work in place or that the catalogue does not hold.
TEST(ThreadIdentity, InPlaceAndViewTransforms) {
  for (TImageFormat format : kAllFormats) {
    SCOPED_TRACE(FormatLabel(format));
    TDibGraphic source;
    FillRandom(source, format, 45, 31, 3);
    EXPECT_TRUE(SameAtEveryThreadCount([&](TDibGraphic& result) {
      result.Assign(&source);
      TNegativeTransform().Apply(result);
    }));
    EXPECT_TRUE(
        SameAtEveryThreadCount([&](TDibGraphic& result) { TAntiAliasTransform().ApplyOnDest(source, result); }));
    TResizeTransform part;
    part.NewWidth = 83, part.NewHeight = 61;
    EXPECT_TRUE(SameAtEveryThreadCount([&](TDibGraphic& result) {
      part.ApplyOnDestPart(source, result, TRect{5, 7, 70, 53});
    }));
  }
}

// The stretch into every format: shrinking (averaging, and for black and white the counting of
// set bits), enlarging, both at once, into a rectangle hanging off the destination.
TEST(ThreadIdentity, StretchIntoEveryFormat) {
  const TRect targets[] = {{0, 0, 29, 17}, {0, 0, 91, 77}, {0, 0, 23, 61}, {-7, -5, 40, 30}, {3, 2, 12, 60}};
  for (TImageFormat from : kAllFormats)
    for (TImageFormat to : kAllFormats)
      for (const TRect& target : targets)
        for (TStretchMode mode : {TStretchMode::smHalftone, TStretchMode::smColorOnColor}) {
          SCOPED_TRACE(FormatLabel(from) + " to " + FormatLabel(to) + " into " + std::to_string(target.Width()) + "x" +
                       std::to_string(target.Height()));
          TDibGraphic source;
          FillRandom(source, from, 67, 47, 11);
          EXPECT_TRUE(SameAtEveryThreadCount([&](TDibGraphic& result) {
            result.NewImage(35, 33, to, nullptr, 96, 96);
            StretchImage(source, TRect{1, 2, 66, 45}, result, target, mode);
          }));
        }
}

// Progress reports: the same sequence at every thread count, each on the calling thread, each
// percentage above the one before.
TEST(ThreadIdentity, ProgressStaysInOrderOnTheCallingThread) {
  TDibGraphic source;
  FillRandom(source, TImageFormat::TrueColor, 63, 211, 5);
  for (const TOperationCase& c : OperationCases()) {
    SCOPED_TRACE(c.Name);
    std::vector<int> single;
    for (int threads : {1, 2, 5}) {
      const TThreadSetting setting(threads);
      std::vector<int> percents;
      bool elsewhere = false;
      const std::thread::id caller = std::this_thread::get_id();
      const std::unique_ptr<TImageTransform> t = CreateTransform(*c.Operation, c.Parameters);
      t->OnProgress = [&](TImageTransform*, int percent) {
        elsewhere = elsewhere || std::this_thread::get_id() != caller;
        percents.push_back(percent);
      };
      TDibGraphic result;
      t->ApplyOnDest(source, result);
      EXPECT_FALSE(elsewhere) << threads << " threads";
      for (size_t i = 1; i < percents.size(); ++i) EXPECT_GT(percents[i], percents[i - 1]) << threads << " threads";
      ASSERT_FALSE(percents.empty());
      EXPECT_EQ(percents.back(), 100);
      if (threads == 1)
        single = percents;
      else
        EXPECT_EQ(percents, single) << threads << " threads";
    }
  }
}

// A progress handler that gives up half-way: the exception reaches the caller and the source is
// unchanged, whichever thread was working.
TEST(ThreadIdentity, AFailureInTheMiddleReachesTheCaller) {
  struct TCancelled {};
  TDibGraphic source, copy;
  FillRandom(source, TImageFormat::TrueColor, 51, 173, 9);
  copy.Assign(&source);
  const TThreadSetting setting(3);
  TBrightnessTransform t;
  t.OnProgress = [](TImageTransform*, int percent) {
    if (percent >= 50) throw TCancelled{};
  };
  TDibGraphic result;
  EXPECT_THROW(t.ApplyOnDest(source, result), TCancelled);
  EXPECT_THROW(t.Apply(source), TCancelled);
  EXPECT_TRUE(SameImage(source, copy));
}

}  // namespace

#include "TransfTestSupport.h"
#include "transforms/QvTransfFilter.h"
#include "transforms/QvTransfGeometry.h"
#include "transforms/QvTransfPoint.h"

using namespace quorvane;

using Seq = std::vector<int>;

TEST(ReportProgress, ProtocolAndEdgeCases) {
  int calls = 0;
  int last = -1;
  TTransformProgressEvent event = [&](TImageTransform*, int p) {
    ++calls;
    last = p;
  };
  EXPECT_EQ(ReportProgress(nullptr, 5, 0, 10, 255, TTransformProgressEvent{}), 0);
  EXPECT_EQ(ReportProgress(nullptr, 0, 0, 100, 255, event), 0);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(last, 0);
  EXPECT_EQ(ReportProgress(nullptr, 0, 0, 100, 0, event), 0);
  EXPECT_EQ(calls, 1) << "an unchanged percentage is not reported";
  EXPECT_EQ(ReportProgress(nullptr, 2, 0, 3, 0, event), 66) << "truncating division";
  EXPECT_EQ(ReportProgress(nullptr, 50, 0, 10, 0, event), 100) << "clamped above";
  EXPECT_EQ(ReportProgress(nullptr, -5, 0, 10, 7, event), 0) << "clamped below";
  EXPECT_EQ(ReportProgress(nullptr, 3, 3, 3, 0, event), 100) << "a zero range never divides";
  EXPECT_EQ(ReportProgress(nullptr, 2000000000, 0, 2100000000, 0, event), 95) << "no overflow of Current * 100";
}

TEST(TImageTransformBase, NotImplementedFromBothEntryPoints) {
  TImageTransform t;
  TDibGraphic a, b;
  FillRandom(a, TImageFormat::Gray256, 3, 3, 1);
  const std::string message = "Method \"ApplyOnDest\" not implemented for TImageTransform class";
  EXPECT_EQ(MessageOf([&] { t.ApplyOnDest(a, b); }), message);
  TDibGraphic copy;
  copy.Assign(&a);
  EXPECT_EQ(MessageOf([&] { t.Apply(a); }), message);
  EXPECT_TRUE(SameImage(a, copy)) << "Apply leaves the image unchanged on failure";
}

// Every transform on a 5 x 3 image: the exact sequence of reports and the final PreviousPercent.
TEST(Progress, SequencesOfASmallImage) {
  TDibGraphic rgb, pal, bw;
  FillRandom(rgb, TImageFormat::TrueColor, 5, 3, 1);
  FillRandom(pal, TImageFormat::Color256, 5, 3, 1);
  FillRandom(bw, TImageFormat::BlackWhite, 5, 3, 1);
  const Seq rows = {0, 50, 100};
  struct TCase {
    std::string Name;
    std::unique_ptr<TImageTransform> Transform;
    const TDibGraphic* Source;
    Seq Expected;
  };
  auto rotate = [](double angle) {
    auto t = std::make_unique<TRotateTransform>();
    t->Angle = angle;
    return t;
  };
  auto crop = std::make_unique<TCropTransform>();
  crop->CropTop = 1;
  std::vector<TCase> cases;
  cases.push_back({"negative rgb", std::make_unique<TNegativeTransform>(), &rgb, rows});
  cases.push_back({"negative palette", std::make_unique<TNegativeTransform>(), &pal, {0, 100}});
  cases.push_back({"negative bw", std::make_unique<TNegativeTransform>(), &bw, rows});
  cases.push_back({"brightness", std::make_unique<TBrightnessTransform>(), &pal, rows});
  cases.push_back({"contrast", std::make_unique<TContrastTransform>(), &rgb, rows});
  cases.push_back({"gamma", std::make_unique<TGammaTransform>(), &rgb, rows});
  cases.push_back({"gray", std::make_unique<TConvertToGrayTransform>(), &pal, rows});
  cases.push_back({"sharpen", std::make_unique<TSharpenTransform>(), &rgb, rows});
  cases.push_back({"anti-alias", std::make_unique<TAntiAliasTransform>(), &bw, rows});
  cases.push_back({"flip horizontal", std::make_unique<TFlipHorizontalTransform>(), &pal, rows});
  cases.push_back({"flip vertical", std::make_unique<TFlipVerticalTransform>(), &pal, {0, 25, 50, 75, 100}});
  cases.push_back({"rotate 90", rotate(90), &rgb, rows});
  cases.push_back({"rotate 180", rotate(180), &bw, rows});
  cases.push_back({"rotate 270", rotate(270), &bw, rows});
  cases.push_back({"rotate 360", rotate(360), &bw, {0, 100}});
  // 5 x 3 turned by 45 degrees is 5 x 5: rows 0..4 of 0..4.
  cases.push_back({"rotate 45", rotate(45), &pal, {0, 25, 50, 75, 100}});
  cases.push_back({"crop", std::move(crop), &rgb, {0, 100}});
  for (TCase& c : cases) {
    TProgressLog log;
    log.Hook(*c.Transform);
    TDibGraphic out;
    c.Transform->ApplyOnDest(*c.Source, out);
    EXPECT_EQ(log.Percents, c.Expected) << c.Name;
    EXPECT_EQ(c.Transform->PreviousPercent, 100) << c.Name;
    // A second application starts again from 255.
    log.Percents.clear();
    c.Transform->ApplyOnDest(*c.Source, out);
    EXPECT_EQ(log.Percents, c.Expected) << c.Name << " (again)";
  }
}

TEST(Progress, FlipVerticalReportsColumnsOfAWideImage) {
  // 250 columns over 2 rows: the column loop reports every percentage once.
  TDibGraphic img, out;
  FillRandom(img, TImageFormat::Gray16, 250, 2, 1);
  TFlipVerticalTransform t;
  TProgressLog log;
  log.Hook(t);
  t.ApplyOnDest(img, out);
  Seq all;
  for (int i = 0; i <= 100; ++i) all.push_back(i);
  EXPECT_EQ(log.Percents, all);
}

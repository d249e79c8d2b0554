// The window's saves and the colour profile: kept by the formats that hold one, converted to
// sRGB for the others; the document's own picture is never changed by a save.
#include "TImageDocument.h"
#include "WindowTestUtil.h"
#include "colour/QvColour.h"
#include "support/TestProfiles.h"
#include "transforms/QvTransfPoint.h"

namespace qvtest {
namespace {

using brindlex::TImageDocument;
using quorvane::TDibGraphic;
using quorvane::TImageFormat;

TEST(ColourSave, ProfileKeptOrColoursConvertedByFormat) {
  qvtest::TScratchFolder folder;
  const std::vector<uint8_t> wide = qvtest::WideGamutProfile();
  auto picture = Gradient(16, 8, TImageFormat::TrueColor);
  picture->SetIccProfile(wide);
  TImageDocument document;
  document.ReplaceImage(*picture, true);
  quorvane::TNegativeTransform negative;
  document.Apply(negative);
  EXPECT_EQ(document.Image().IccProfile(), wide) << "operations keep the profile";
  TDibGraphic edited, converted;
  edited.Assign(&document.Image());
  converted.Assign(&document.Image());
  ASSERT_TRUE(quorvane::ConvertToSrgb(converted));

  const struct {
    const char* Name;
    bool Kept;
  } cases[] = {
      {"saved.png", true}, {"saved.tif", true}, {"saved.jpg", true}, {"saved.pcx", false}, {"saved.tga", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    document.SaveAs(folder / c.Name);
    TImageDocument other;
    other.LoadFromFile(folder / c.Name, 1);
    EXPECT_EQ(other.Image().IccProfile(), c.Kept ? wide : std::vector<uint8_t>{});
    if (!c.Kept) {
      EXPECT_TRUE(SamePixels(other.Image(), converted));
    }
    EXPECT_TRUE(SamePixels(document.Image(), edited));
    EXPECT_EQ(document.Image().IccProfile(), wide);
  }
}

}  // namespace
}  // namespace qvtest

// Photos in the window: a photo whose EXIF or TIFF orientation says it is turned is shown, edited
// and saved upright, each page by its own orientation; File > Properties shows the camera's data.
#include <QLocale>
#include <map>

#include "TImageDocument.h"
#include "TPropertiesForm.h"
#include "WindowTestUtil.h"
#include "formats/QvOrient.h"

namespace qvtest {
namespace {

using quorvane::TDibGraphic;

bool HaveOrientPeers() { return RunTool("command -v exiftool && command -v convert && command -v tiffset"); }

// The picture of File turned by hand: read as stored, then turned by Orientation.
std::unique_ptr<TDibGraphic> TurnedByHand(const TDibGraphic& stored, uint16_t orientation) {
  auto image = std::make_unique<TDibGraphic>();
  image->Assign(&stored);
  image->Metadata().Orientation = orientation;
  quorvane::AutoOrient(*image);
  return image;
}

class PhotoOrientTest : public WindowTest {
 protected:
  void Open(const std::string& file) {
    Dialogs->OpenNames.push_back(QString::fromStdString(file));
    Trigger("acOpen");
    ASSERT_TRUE(Dialogs->Errors.empty()) << Dialogs->Errors.front().toStdString();
  }
};

TEST_F(PhotoOrientTest, APhoneJpegIsShownAndSavedUpright) {
  if (!HaveOrientPeers()) GTEST_SKIP() << "exiftool, ImageMagick and tiffset are needed";
  const auto stored = Gradient(40, 24);
  WriteImage(*stored, Path("phone.jpg"));
  const auto decoded = ReadPage(Path("phone.jpg"), 1);
  ASSERT_TRUE(
      RunTool("timeout 60 exiftool -q -overwrite_original -n -Orientation=6 -Make=Phone '-Model=Phone X' "
              "-ExposureTime=0.008 -FNumber=2.8 -FocalLength=4.3 '-DateTimeOriginal=2023:06:14 09:30:12' " +
              Path("phone.jpg")));
  Open(Path("phone.jpg"));
  EXPECT_TRUE(SamePixels(Image(), *TurnedByHand(*decoded, 6)));

  // Commands work on the picture as shown: a flip mirrors the upright picture.
  Trigger(brindlex::TImageCommand::FlipHorizontal);
  auto flipped = TurnedByHand(*decoded, 6);
  flipped->Metadata().Orientation = 2;
  quorvane::AutoOrient(*flipped);
  EXPECT_TRUE(SamePixels(Image(), *flipped));

  // Saved as shown, and with nothing that would turn it again: the photo's EXIF data is kept,
  // its orientation now 1 (top left).
  Dialogs->SaveNames.push_back(QString::fromStdString(Path("saved.png")));
  Trigger("acConvertTo");
  EXPECT_TRUE(SamePixels(*ReadPage(Path("saved.png"), 1), *flipped));
  // Only turned since opening, the photo's data is turned losslessly and keeps its EXIF block,
  // which then says upright.
  Dialogs->SaveNames.push_back(QString::fromStdString(Path("saved.jpg")));
  Trigger("acConvertTo");
  EXPECT_EQ(ToolOutput("convert " + Path("saved.jpg") + " -format '%[orientation] %wx%h' info:"), "TopLeft 24x40");
}

TEST_F(PhotoOrientTest, EachPageOfATiffByItsOwnOrientation) {
  if (!HaveOrientPeers()) GTEST_SKIP() << "exiftool, ImageMagick and tiffset are needed";
  const auto stored = Gradient(30, 20);
  WriteImage(*stored, Path("page.tif"));
  // Two pages; the first one says its stored rows are the picture's left column, bottom up.
  ASSERT_TRUE(RunTool("cd '" + Folder / "" +
                      "' && convert page.tif page.tif -compress none pages.tif && tiffset -d 0 -s 274 8 pages.tif"));
  Open(Path("pages.tif"));
  ASSERT_EQ(Window->Document().PageCount(), 2);
  EXPECT_TRUE(SamePixels(Image(), *TurnedByHand(*stored, 8)));
  Trigger("acNextPage");
  EXPECT_EQ(Window->Document().CurrentPage(), 2);
  EXPECT_TRUE(SamePixels(Image(), *stored));
  Trigger("acPreviousPage");
  EXPECT_TRUE(SamePixels(Image(), *TurnedByHand(*stored, 8)));
}

// JPEG files carry the camera's data in an APP1 block, TIFF files in an EXIF directory.
TEST_F(PhotoOrientTest, PropertiesShowTheCameraData) {
  if (!HaveOrientPeers()) GTEST_SKIP() << "exiftool, ImageMagick and tiffset are needed";
  for (const auto& [name, format] : {std::pair{"camera.jpg", "JPEG"}, std::pair{"camera.tif", "TIFF file"}}) {
    SCOPED_TRACE(name);
    WriteImage(*Gradient(40, 24), Path(name));
    ASSERT_TRUE(
        RunTool("timeout 60 exiftool -q -overwrite_original -n -Orientation=8 -Make=Phone '-Model=Phone X' "
                "-ExposureTime=0.008 -FNumber=2.8 -FocalLength=4.3 '-DateTimeOriginal=2023:06:14 09:30:12' " +
                Path(name)));
    Open(Path(name));
    std::map<std::string, QString> shown;
    Dialogs->Forms.push_back([&](QDialog& dialog) {
      auto& form = dynamic_cast<brindlex::TPropertiesForm&>(dialog);
      for (const auto& [section, label] : std::vector<std::pair<const char*, const char*>>{{"Image", "Size"},
                                                                                           {"File", "Format"},
                                                                                           {"Camera", "Make and model"},
                                                                                           {"Camera", "Date taken"},
                                                                                           {"Camera", "Exposure"},
                                                                                           {"Camera", "Aperture"},
                                                                                           {"Camera", "Focal length"}})
        shown[label] = form.Value(section, label);
      return false;
    });
    Trigger("acProperties");
    EXPECT_EQ(shown["Size"], "24 x 40 pixels") << "the picture as shown";
    EXPECT_EQ(shown["Format"], format);
    EXPECT_EQ(shown["Make and model"], "Phone X");
    EXPECT_EQ(shown["Date taken"], "2023-06-14 09:30:12");
    EXPECT_EQ(shown["Exposure"], "1/125 s");
    EXPECT_EQ(shown["Aperture"], "f/2.8");
    EXPECT_EQ(shown["Focal length"], "4.3 mm");
  }

  // A picture without EXIF data has no camera section.
  OpenGradient("plain.png", 8, 8);
  Dialogs->Forms.push_back([&](QDialog& dialog) {
    EXPECT_EQ(dynamic_cast<brindlex::TPropertiesForm&>(dialog).Value("Camera", "Make and model"), "");
    return false;
  });
  Trigger("acProperties");
}

TEST(PropertiesText, CameraValuesAsPeopleReadThem) {
  const QLocale before;
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  const struct {
    QString Shown, Expected;
  } cases[] = {
      {brindlex::ExposureText(1.0 / 125), "1/125 s"},
      {brindlex::ExposureText(2.5), "2.5 s"},
      {brindlex::ExposureText(0), ""},
      {brindlex::ApertureText(8), "f/8"},
      {brindlex::FocalLengthText(4.25), "4.3 mm"},
      {brindlex::DateTakenText("2023:06:14 09:30:12"), "2023-06-14 09:30:12"},
      {brindlex::DateTakenText("sometime"), "sometime"},
      {brindlex::CameraText({"Canon", "Canon EOS 80D"}), "Canon EOS 80D"},
      {brindlex::CameraText({"NIKON CORPORATION", "NIKON D750"}), "NIKON CORPORATION NIKON D750"},
      {brindlex::CameraText({"", "Pixel 7"}), "Pixel 7"},
      {brindlex::FileSizeText(999), "999 bytes"},
      {brindlex::FileSizeText(2512345), "2.5 MB (2,512,345 bytes)"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.Shown, c.Expected);
  QLocale::setDefault(before);
}

}  // namespace
}  // namespace qvtest

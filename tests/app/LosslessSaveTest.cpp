// Lossless JPEG saves of the window's document: a photo whose only changes are quarter turns and
// flips (its turn upright by the EXIF orientation included) is saved by turning the file's
// compressed data, checked against jpegtran's turn of the file opened; any other change, a file
// changed on disk or a size that is not a whole number of blocks gives the usual encoding.
#include <QStatusBar>
#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>

#include "TImageDocument.h"
#include "WindowTestUtil.h"
#include "support/JpegPeers.h"
#include "transforms/QvTransfGeometry.h"
#include "transforms/QvTransfPoint.h"

namespace qvtest {
namespace {

using brindlex::TImageDocument;
using quorvane::TDibGraphic;
using quorvane::TDihedral;

bool HaveLosslessPeers() { return qvtest::HaveJpegTools() && RunTool("command -v exiftool"); }

// The image commands the tests run, by short name.
std::unique_ptr<quorvane::TImageTransform> Command(const std::string& name) {
  if (name == "flip-h") return std::make_unique<quorvane::TFlipHorizontalTransform>();
  if (name == "flip-v") return std::make_unique<quorvane::TFlipVerticalTransform>();
  if (name == "negative") return std::make_unique<quorvane::TNegativeTransform>();
  auto rotation = std::make_unique<quorvane::TRotateTransform>();
  rotation->Angle = std::stod(name.substr(std::string("rotate ").size()));
  return rotation;
}

// The largest difference of a colour channel between two pictures of the same size (256: sizes
// differ). A lossy file of a smooth gradient stays within a few levels; a picture turned the
// wrong way is off by far more.
int LargestDifference(const TDibGraphic& a, const TDibGraphic& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return 256;
  int largest = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x) {
      const uint32_t p = a.GetPixel(x, y), q = b.GetPixel(x, y);
      for (int shift : {0, 8, 16})
        largest = std::max(largest, std::abs(int(p >> shift & 0xFF) - int(q >> shift & 0xFF)));
    }
  return largest;
}

std::string SavedWithout(TDihedral turn) { return std::string("Saved without re-encoding: ") + TurnText(turn); }

class LosslessSaveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveLosslessPeers()) GTEST_SKIP() << "jpegtran, djpeg and exiftool are needed";
  }
  std::string Path(const std::string& name) const { return Folder / name; }
  struct TPhoto {
    std::string Name;
    int Width, Height, Orientation;
  };
  // JPEG photos of Width x Height stored pixels whose EXIF blocks say Orientation and name an
  // artist (one run of exiftool for them all).
  void MakePhotos(const std::vector<TPhoto>& photos) {
    std::string command = "timeout 120 exiftool";
    for (const TPhoto& photo : photos) {
      WriteImage(*Gradient(photo.Width, photo.Height), Path(photo.Name));
      command +=
          " -Orientation=" + std::to_string(photo.Orientation) + " -Artist=Someone '" + Path(photo.Name) + "' -execute";
    }
    ASSERT_TRUE(RunTool(command + " -common_args -q -overwrite_original -n"));
  }
  std::string Photo(const std::string& name, int width, int height, int orientation) {
    MakePhotos({{name, width, height, orientation}});
    return Path(name);
  }
  void Run(const std::string& command) { Document.Apply(*Command(command)); }
  // Saved as Name: jpegtran's turn of Original, orientation 1 and the artist kept.
  void ExpectTurnedFile(const std::string& original, TDihedral turn, const std::string& name) {
    const std::string reference = Path(name + ".jpegtran.jpg");
    ASSERT_TRUE(qvtest::JpegtranPerfect(original, turn, reference));
    EXPECT_TRUE(qvtest::SameDecodedPixels(Path(name), reference));
    const auto tags = qvtest::ExiftoolValues(Path(name), "-Orientation -Artist");
    EXPECT_EQ(tags.count("Orientation") ? tags.at("Orientation") : "1", "1");
    EXPECT_EQ(tags.count("Artist") ? tags.at("Artist") : "", "Someone");
  }

  qvtest::TScratchFolder Folder;
  TImageDocument Document;
};

// Stored 48 x 32 (whole blocks of 16) or 37 x 21 (partial ones): every turn the photo went through,
// the upright one first, is made once on the file's data where the blocks allow it.
TEST_F(LosslessSaveTest, PhotoTurnedExactlyAsShown) {
  const struct {
    int Width, Height, Orientation;
    std::vector<std::string> Commands;
    TDihedral Turn;
    bool Lossless;
  } cases[] = {
      {48, 32, 6, {}, TDihedral::Rotate90, true},
      {48, 32, 6, {"rotate 90"}, TDihedral::Rotate180, true},
      {48, 32, 1, {"rotate 90"}, TDihedral::Rotate90, true},
      {48, 32, 3, {"rotate 90"}, TDihedral::Rotate270, true},
      {48, 32, 4, {}, TDihedral::FlipVertical, true},
      {48, 32, 5, {}, TDihedral::Transpose, true},
      {48, 32, 7, {}, TDihedral::Transverse, true},
      {48, 32, 1, {"flip-h", "rotate 270"}, TDihedral::Transpose, true},
      {48, 32, 8, {"flip-v", "rotate 180", "flip-h"}, TDihedral::Rotate270, true},
      {48, 32, 2, {"rotate -90", "flip-v"}, TDihedral::Rotate270, true},
      {48, 32, 1, {"rotate 90", "flip-v"}, TDihedral::Transverse, true},
      {48, 32, 1, {"rotate 90", "rotate 270"}, TDihedral::Identity, true},
      {37, 21, 1, {"rotate 90"}, TDihedral::Rotate90, false},
      {37, 21, 6, {}, TDihedral::Rotate90, false},
      {37, 21, 1, {"flip-h", "rotate 270"}, TDihedral::Transpose, true},
  };
  std::vector<TPhoto> photos;
  for (const auto& c : cases)
    photos.push_back({"case" + std::to_string(photos.size() + 1) + ".jpg", c.Width, c.Height, c.Orientation});
  MakePhotos(photos);
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    const std::string name = photos[i].Name;
    SCOPED_TRACE(name);
    const std::string photo = Path(name);
    Document.Open(photo);
    for (const std::string& command : c.Commands) Run(command);
    ASSERT_TRUE(Document.LosslessTurn());
    Document.SaveAs(Path(name + "-saved.jpg"));
    const auto saved = ReadPage(Path(name + "-saved.jpg"), 1);
    // The file shows what the window showed, turned neither less nor twice.
    EXPECT_LE(LargestDifference(*saved, Document.Image()), 12);
    if (c.Lossless) {
      EXPECT_EQ(Document.LastSaveNote(),
                c.Turn == TDihedral::Identity ? std::string("Saved without re-encoding") : SavedWithout(c.Turn));
      ExpectTurnedFile(photo, c.Turn, name + "-saved.jpg");
    } else {
      EXPECT_EQ(Document.LastSaveNote(),
                "Re-encoded: the picture's size is not a whole number of JPEG blocks for a lossless turn");
    }
  }
}

// Only a picture that is the file turned is saved losslessly: undo returns to such a picture,
// and what has no file (a paste) never is.
TEST_F(LosslessSaveTest, OnlyTurnsSinceOpeningCount) {
  const std::string photo = Photo("photo.jpg", 48, 32, 1);
  Document.Open(photo);
  const struct {
    const char* Step;
    std::optional<TDihedral> Turn;
  } steps[] = {
      {"open", TDihedral::Identity},
      {"rotate 90", TDihedral::Rotate90},
      {"negative", std::nullopt},
      {"undo", TDihedral::Rotate90},
      {"rotate 45", std::nullopt},
      {"undo", TDihedral::Rotate90},
      {"flip-h", TDihedral::Transpose},
      {"undo", TDihedral::Rotate90},
      {"rotate 90.004", TDihedral::Rotate180},
      {"paste", std::nullopt},
      {"undo", std::nullopt},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.Step);
    const std::string step = s.Step;
    if (step == "undo") {
      EXPECT_TRUE(Document.Undo());
    } else if (step == "paste") {
      Document.KeepUndo();
      Document.DetachFromFile(true);
    } else if (step != "open") {
      Run(step);
    }
    EXPECT_EQ(Document.LosslessTurn(), s.Turn);
  }

  // After another change the save encodes the pixels; undone, it turns the file's data.
  Document.Open(photo);
  Run("rotate 90");
  Run("negative");
  Document.SaveAs(Path("negative.jpg"));
  EXPECT_EQ(Document.LastSaveNote(), "");
  ASSERT_TRUE(Document.Undo());
  Document.SaveAs(Path("undone.jpg"));
  EXPECT_EQ(Document.LastSaveNote(), SavedWithout(TDihedral::Rotate90));
  ExpectTurnedFile(photo, TDihedral::Rotate90, "undone.jpg");
  // Other formats are written as always.
  Document.SaveAs(Path("undone.png"));
  EXPECT_EQ(Document.LastSaveNote(), "");
}

// The file saved over becomes the one later turns start from; a file changed since it was opened
// is not the picture's any more.
TEST_F(LosslessSaveTest, SavedOverAndChangedFiles) {
  const std::string photo = Photo("photo.jpg", 48, 32, 6);
  ASSERT_TRUE(RunTool("cp '" + photo + "' '" + Path("original.jpg") + "'"));
  Document.Open(photo);
  Run("rotate 180");
  Run("rotate 90");  // the undo image is the file turned 90 + 180
  Document.Save();
  EXPECT_EQ(Document.LastSaveNote(), "Saved without re-encoding");
  ExpectTurnedFile(Path("original.jpg"), TDihedral::Identity, "photo.jpg");
  EXPECT_EQ(Document.LosslessTurn(), TDihedral::Identity);
  // Back to the picture before the last turn: the saved file turned back a quarter.
  ASSERT_TRUE(Document.Undo());
  EXPECT_EQ(Document.LosslessTurn(), TDihedral::Rotate270);
  Run("rotate 270");
  Document.Save();
  EXPECT_EQ(Document.LastSaveNote(), SavedWithout(TDihedral::Rotate180));
  ExpectTurnedFile(Path("original.jpg"), TDihedral::Rotate180, "photo.jpg");

  // Changed behind the document's back (here only its time): encoded as usual.
  Run("rotate 90");
  ASSERT_TRUE(RunTool("touch -d '2001-02-03 04:05:06' '" + photo + "'"));
  Document.SaveAs(Path("changed.jpg"));
  EXPECT_EQ(Document.LastSaveNote(), "");
  EXPECT_LE(LargestDifference(*ReadPage(Path("changed.jpg"), 1), Document.Image()), 12);
}

class LosslessSaveWindowTest : public WindowTest {};

TEST_F(LosslessSaveWindowTest, StatusBarSaysHowItWasSaved) {
  if (!HaveLosslessPeers()) GTEST_SKIP() << "jpegtran, djpeg and exiftool are needed";
  WriteImage(*Gradient(48, 32), Path("photo.jpg"));
  Dialogs->OpenNames.push_back(QString::fromStdString(Path("photo.jpg")));
  Trigger("acOpen");
  Trigger(brindlex::TImageCommand::Rotate90);
  Dialogs->SaveNames.push_back(QString::fromStdString(Path("turned.jpg")));
  Trigger("acConvertTo");
  ASSERT_TRUE(Dialogs->Errors.empty()) << Dialogs->Errors.front().toStdString();
  EXPECT_EQ(Window->statusBar()->currentMessage().toStdString(), SavedWithout(TDihedral::Rotate90));
  EXPECT_TRUE(qvtest::JpegtranPerfect(Path("photo.jpg"), TDihedral::Rotate90, Path("reference.jpg")));
  EXPECT_TRUE(qvtest::SameDecodedPixels(Path("turned.jpg"), Path("reference.jpg")));
  // Saved again after a change that is not a turn: the note goes.
  Trigger(brindlex::TImageCommand::Negative);
  Trigger("acSave");
  EXPECT_EQ(Window->statusBar()->currentMessage(), "");
}

}  // namespace
}  // namespace qvtest

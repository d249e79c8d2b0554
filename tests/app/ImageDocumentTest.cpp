// The window's document without the window: loading (every page, one page, the platform's
// loader), what a failed load or save leaves, saving with the before-save event, the hand-over
// of a loaded image to a view, pages and the undo image.
#include <QImage>
#include <fstream>

#include "TImageDocument.h"
#include "WindowTestUtil.h"
#include "model/QvExcept.h"
#include "model/QvStream.h"
#include "transforms/QvTransfGeometry.h"
#include "transforms/QvTransfPoint.h"
#include "view/QvImageScrollBox.h"

namespace qvtest {
namespace {

using brindlex::TImageDocument;
using quorvane::TDibGraphic;
using quorvane::TImageFormat;

std::string FileText(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ImageDocumentTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return Folder / name; }
  // A file of Count pages of the name's format; page N is a gradient 10 N pixels wide.
  std::string WritePagesFile(const std::string& name, int count) {
    std::vector<std::unique_ptr<TDibGraphic>> pages;
    std::vector<const TDibGraphic*> pointers;
    for (int i = 1; i <= count; ++i) {
      pages.push_back(Gradient(10 * i, 8, TImageFormat::Color256));
      pointers.push_back(pages.back().get());
    }
    WritePages(pointers, Path(name));
    return Path(name);
  }

  qvtest::TScratchFolder Folder;
  TImageDocument Document;
};

TEST_F(ImageDocumentTest, ImageIndexZeroLoadsEveryPageAndAnotherIndexOnePage) {
  for (const char* name : {"frames.dcx", "frames.tif"}) {
    SCOPED_TRACE(name);
    const std::string path = WritePagesFile(name, 3);
    Document.LoadFromFile(path, 0);
    EXPECT_EQ(Document.Image().ClassName(), std::string(name).ends_with("dcx") ? "TDcxGraphic" : "TTiffGraphic");
    EXPECT_EQ(Document.PageCount(), 3);
    EXPECT_EQ(Document.CurrentPage(), 1);
    EXPECT_EQ(Document.Image().Width(), 10);
    Document.LoadFromFile(path, 2);
    EXPECT_EQ(Document.PageCount(), 0);
    EXPECT_EQ(Document.Image().Width(), 20);
    // Loading alone does not make the file the document's.
    EXPECT_TRUE(Document.FileName().empty());
  }
}

TEST_F(ImageDocumentTest, OpenMakesTheFileTheDocumentsWithNothingToUndo) {
  const std::string path = WritePagesFile("pages.tif", 3);
  Document.Open(Path("pages.tif"));
  quorvane::TNegativeTransform negative;
  Document.Apply(negative);
  ASSERT_TRUE(Document.Modified());
  ASSERT_FALSE(Document.UndoGraphic().Empty());
  Document.Open(path);
  EXPECT_EQ(Document.FileName(), path);
  EXPECT_FALSE(Document.Modified());
  EXPECT_TRUE(Document.UndoGraphic().Empty());
  EXPECT_TRUE(Document.HasPages());
  EXPECT_EQ(Document.PageCount(), 3);
}

// Whoever shows the image gets the new one before the old one is freed; a failed load hands over
// nothing and changes nothing.
TEST_F(ImageDocumentTest, ALoadHandsTheNewImageToTheViewAndAFailedOneChangesNothing) {
  quorvane::TImageScrollBox view;
  view.resize(100, 100);
  view.show();
  view.SetPicture(&Document.Image());
  std::vector<const TDibGraphic*> handed;
  Document.OnImageReplaced = [&](TDibGraphic& image) {
    handed.push_back(&image);
    view.SetPicture(&image);
  };
  const std::string good = Path("good.tga");
  WriteImage(*Gradient(30, 20), good);
  Document.Open(good);
  ASSERT_EQ(handed, std::vector<const TDibGraphic*>{&Document.Image()});
  EXPECT_EQ(&view.Graphic(), &Document.Image());
  EXPECT_EQ(view.DisplayWidth(), 30);
  quorvane::TNegativeTransform negative;
  Document.Apply(negative);

  const TDibGraphic* before = &Document.Image();
  std::ofstream(Path("bad.pcx")) << "not a pcx file at all";
  for (const std::string& name : {Path("bad.pcx"), Path("none.xyz"), Path("missing.dcx")}) {
    SCOPED_TRACE(name);
    EXPECT_THROW(Document.Open(name), quorvane::Exception);
    EXPECT_EQ(&Document.Image(), before);
    EXPECT_EQ(Document.FileName(), good);
    EXPECT_TRUE(Document.Modified());
    EXPECT_FALSE(Document.UndoGraphic().Empty());
  }
  EXPECT_EQ(handed.size(), 1u);
  EXPECT_EQ(view.DisplayWidth(), 30);
  view.SetPicture(nullptr);
}

TEST_F(ImageDocumentTest, UnknownExtensionsGoToThePlatformLoader) {
  QImage picture(12, 7, QImage::Format_RGB32);
  picture.fill(qRgb(10, 200, 30));
  ASSERT_TRUE(picture.save(QString::fromStdString(Path("p.bmp")), "BMP"));
  Document.Open(Path("p.bmp"));
  EXPECT_EQ(Document.Image().ClassName(), "TDibGraphic");
  EXPECT_EQ(Document.Image().Width(), 12);
  EXPECT_EQ(Document.Image().GetPixel(3, 3), 0x0AC81Eu);
}

TEST_F(ImageDocumentTest, RefusedSaveLeavesTheFileAlone) {
  const struct {
    const char* Name;
    TImageFormat Format;
    const char* Message;  // empty: any message of the codec
  } cases[] = {
      {"old.bmp", TImageFormat::TrueColor, "Graphic files of .bmp format are not supported or not registered"},
      {"old.tga", TImageFormat::BlackWhite, ""},  // Targa has no black-and-white images
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Document.ReplaceImage(*Gradient(10, 10, c.Format), false);
    const std::string target = Path(c.Name);
    std::ofstream(target) << "keep me";
    try {
      Document.SaveAs(target);
      ADD_FAILURE() << "saved";
    } catch (const quorvane::Exception& e) {
      if (*c.Message) {
        EXPECT_EQ(e.Message(), c.Message);
      }
    }
    EXPECT_EQ(FileText(target), "keep me");
    EXPECT_EQ(Document.FileName(), "");
  }
}

TEST_F(ImageDocumentTest, SaveSeesBeforeSaveAndReadsBack) {
  const auto image = Gradient(13, 9, TImageFormat::Color256);
  Document.ReplaceImage(*image, true);
  std::string seenClass;
  Document.OnBeforeSave = [&](TDibGraphic& target) {
    seenClass = target.ClassName();
    EXPECT_EQ(target.Width(), 13);
  };
  const std::string target = Path("saved.pcx");
  Document.SaveAs(target);
  EXPECT_EQ(seenClass, "TPcxGraphic");
  EXPECT_EQ(Document.FileName(), target);
  EXPECT_TRUE(Document.Modified());  // Convert To leaves the flag
  Document.Save();
  EXPECT_FALSE(Document.Modified());

  TImageDocument other;
  other.LoadFromFile(target, 1);
  EXPECT_EQ(other.Image().ClassName(), "TPcxGraphic");
  EXPECT_TRUE(SamePixels(other.Image(), *image));

  quorvane::TMemoryStream stream;
  Document.SaveToStream(stream, "tga");
  EXPECT_EQ(seenClass, "TTgaGraphic");
  EXPECT_GT(stream.Size(), 13 * 9);
}

TEST_F(ImageDocumentTest, PagesStepKeepingEditsAndRefuseWhatIsNoPage) {
  Document.ReplaceImage(*Gradient(5, 5), false);
  EXPECT_FALSE(Document.ShowPage(1)) << "no pages";
  Document.Open(WritePagesFile("pages.dcx", 3));
  for (const int page : {0, 1, 4}) EXPECT_FALSE(Document.ShowPage(page)) << page;
  ASSERT_TRUE(Document.ShowPage(2));
  quorvane::TNegativeTransform negative;
  Document.Apply(negative);
  const auto edited = std::make_unique<TDibGraphic>();
  edited->Assign(&Document.Image());
  ASSERT_TRUE(Document.ShowPage(3));
  EXPECT_TRUE(Document.UndoGraphic().Empty()) << "the undo image belonged to page 2";
  EXPECT_FALSE(Document.Undo());
  ASSERT_TRUE(Document.ShowPage(2));
  EXPECT_TRUE(SamePixels(Document.Image(), *edited));
}

// A command that fails leaves the undo image holding the image from before it, and the document
// unmodified; Undo puts it back once.
TEST_F(ImageDocumentTest, AFailedCommandKeepsTheImageForUndo) {
  const auto original = Gradient(20, 10);
  Document.ReplaceImage(*original, false);
  quorvane::TCropTransform crop;
  crop.CropLeft = 30;
  EXPECT_THROW(Document.Apply(crop), quorvane::EQuorvaneError);
  EXPECT_FALSE(Document.Modified());
  EXPECT_TRUE(SamePixels(Document.UndoGraphic(), *original));
  EXPECT_TRUE(Document.Undo());
  EXPECT_TRUE(SamePixels(Document.Image(), *original));
  EXPECT_TRUE(Document.UndoGraphic().Empty());
  EXPECT_FALSE(Document.Undo());
}

}  // namespace
}  // namespace qvtest

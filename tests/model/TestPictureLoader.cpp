// The picture loader seam: the default refuses, the filter lists an installed loader's formats
// first, and streams that did not come from the named file reach the loader through a temporary
// file that is gone afterwards on every path.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "model/QvDiGrph.h"
#include "model/QvDiGrphRegistry.h"
#include "model/QvExcept.h"
#include "model/QvPlatform.h"
#include "support/ScratchFolder.h"

using namespace quorvane;

namespace {

// Records what it was asked to read; fails when told to.
class TRecordingLoader : public IPictureLoader {
 public:
  std::vector<TPlatformPictureFormat> Formats() const override { return {{"bmp", "Bitmaps"}, {"ico", "Icons"}}; }
  std::unique_ptr<TDibGraphic> LoadFromFile(const std::string& fileName, bool allImages) override {
    FileName = fileName;
    AllImages = allImages;
    std::ifstream in(fileName, std::ios::binary);
    Content.assign(std::istreambuf_iterator<char>(in), {});
    if (Fail) throw EInvalidGraphic("unreadable");
    auto image = std::make_unique<TDibGraphic>();
    image->NewImage(2, 2, TImageFormat::TrueColor, nullptr, 0, 0);
    return image;
  }
  std::string FileName, Content;
  bool AllImages = false;
  bool Fail = false;
};

struct TInstalled {
  explicit TInstalled(IPictureLoader& loader) { SetPictureLoader(&loader); }
  ~TInstalled() { SetPictureLoader(nullptr); }
};

TEST(PictureLoader, DefaultRefusesWithTheRegistryMessage) {
  TMemoryStream stream(std::vector<uint8_t>{1, 2, 3});
  try {
    LoadPlatformPicture(stream, "missing-folder/picture.bmp", false);
    FAIL() << "no exception";
  } catch (const EQuorvaneError& e) {
    EXPECT_EQ(e.Message(), "Graphic files of .bmp format are not supported or not registered");
  }
}

TEST(PictureLoader, StreamsGoThroughATemporaryFileThatIsRemoved) {
  for (const bool fail : {false, true}) {
    SCOPED_TRACE(fail ? "failing load" : "load");
    TRecordingLoader loader;
    loader.Fail = fail;
    TInstalled installed(loader);
    TMemoryStream stream(std::vector<uint8_t>{'a', 'b', 'c', 'd'});
    stream.SetPosition(1);
    // A name with folders that do not exist: only its extension may reach the temporary name.
    const auto load = [&]() { return LoadPlatformPicture(stream, "no/such/folder/photo.gif", true); };
    if (fail)
      EXPECT_THROW(load(), EInvalidGraphic);
    else
      EXPECT_FALSE(load()->Empty());
    const std::filesystem::path used(loader.FileName);
    EXPECT_EQ(used.parent_path(), std::filesystem::temp_directory_path());
    EXPECT_EQ(used.filename().string().substr(0, 2), "Qv");
    EXPECT_EQ(used.extension(), ".gif");
    EXPECT_EQ(loader.Content, "bcd");
    EXPECT_TRUE(loader.AllImages);
    EXPECT_FALSE(std::filesystem::exists(used));
  }
}

TEST(PictureLoader, AnExistingFileIsReadDirectly) {
  TRecordingLoader loader;
  TInstalled installed(loader);
  const qvtest::TScratchFolder folder;
  const std::string name = folder / "direct.bmp";
  std::ofstream(name) << "xyz";
  TMemoryStream unrelated(std::vector<uint8_t>{9});
  LoadPlatformPicture(unrelated, name, false);
  EXPECT_EQ(loader.FileName, name);
  EXPECT_EQ(loader.Content, "xyz");
}

TEST(PictureLoader, OpenFilterListsTheLoaderFormatsAfterTheLibrarys) {
  TRecordingLoader loader;
  TInstalled installed(loader);
  UnregisterGraphicFormats();
  RegisterGraphicFormat("PCX", "ZSoft PC Paintbrush", TDibGraphic::StaticClass());
  EXPECT_EQ(GraphicFilter(true),
            "All (*.pcx;*.ico;*.bmp)|*.pcx;*.ico;*.bmp|ZSoft PC Paintbrush (*.pcx)|*.pcx|Icons (*.ico)|*.ico|"
            "Bitmaps (*.bmp)|*.bmp");
  EXPECT_EQ(GraphicFilter(false), "ZSoft PC Paintbrush (*.pcx)|*.pcx");
  UnregisterGraphicFormats();
}

}  // namespace

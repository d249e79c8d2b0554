#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "model/QvDiGrphRegistry.h"
#include "model/QvExcept.h"
#include "support/ScratchFolder.h"

using namespace quorvane;

namespace {

class TFakeTiff : public TDibGraphic {
 public:
  QV_GRAPHIC_CLASS(TFakeTiff)
};
QV_DEFINE_GRAPHIC_CLASS(TFakeTiff)

class TFakePcx : public TDibGraphic {
 public:
  QV_GRAPHIC_CLASS(TFakePcx)
};
QV_DEFINE_GRAPHIC_CLASS(TFakePcx)

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UnregisterGraphicFormats();
    RegisterGraphicFormat("tif", "TIFF file", TFakeTiff::StaticClass());
    RegisterGraphicFormat("TIFF", "TIFF file", TFakeTiff::StaticClass());
    RegisterGraphicFormat("PCX", "ZSoft PC Paintbrush", TFakePcx::StaticClass());
    RegisterGraphicFormat("TIF", "Duplicate", TFakePcx::StaticClass());
  }
  void TearDown() override { UnregisterGraphicFormats(); }
};

TEST_F(RegistryTest, FindsClassesByExtensionWithoutRegardToCase) {
  EXPECT_EQ(GraphicFormatList().front().Extension, "TIF");
  for (const char* name : {"C:\\a\\b.tif", "/home/x/b.TIFF", "B.TIFF", ".tif", "tif", "dir.x/pic.Tif"})
    EXPECT_EQ(FindGraphicClass(name), &TFakeTiff::StaticClass()) << name;
  for (const char* name : {"b.bmp", "b", "", "dir.tif/b", "a.tif.", "tif.x"})
    EXPECT_EQ(FindGraphicClass(name), nullptr) << name;
  EXPECT_EQ(FindGraphicClass("x.pcx"), &TFakePcx::StaticClass());
}

TEST_F(RegistryTest, CreateGraphicForFileNamesTheExtension) {
  auto image = CreateGraphicForFile("scan.PCX");
  EXPECT_EQ(image->ClassName(), "TFakePcx");
  EXPECT_TRUE(image->Empty());
  try {
    CreateGraphicForFile("picture.bmp");
    FAIL();
  } catch (const EQuorvaneError& e) {
    EXPECT_EQ(e.Message(), "Graphic files of .bmp format are not supported or not registered");
  }
  try {
    CreateGraphicForFile("noext");
    FAIL();
  } catch (const EQuorvaneError& e) {
    EXPECT_EQ(e.Message(), "Graphic files of  format are not supported or not registered");
  }
}

TEST_F(RegistryTest, FiltersListLastRegistrationFirstAndSort) {
  EXPECT_EQ(GraphicFilter(false),
            "All (*.tif;*.pcx;*.tiff;*.tif)|*.tif;*.pcx;*.tiff;*.tif|Duplicate (*.tif)|*.tif|"
            "ZSoft PC Paintbrush (*.pcx)|*.pcx|TIFF file (*.tiff)|*.tiff|TIFF file (*.tif)|*.tif");
  EXPECT_EQ(SortGraphicFilter("All (*.b;*.a)|*.b;*.a|Bee (*.b)|*.b|Ant (*.a)|*.a"),
            "Ant (*.a)|*.a|Bee (*.b)|*.b|All (*.b;*.a)|*.b;*.a|Any File (*.*)|*.*");
  EXPECT_EQ(SortGraphicFilter("All (*.b;*.a)|*.b;*.a|bee (*.b)|*.b|Ant (*.a)"),
            "Ant (*.a)|bee (*.b)|*.b|All (*.b;*.a)|*.b;*.a|Any File (*.*)|*.*");
}

TEST(TempFiles, TrailingSeparatorAndFirstFreeName) {
  EXPECT_EQ(AddTrailingBackslash(""), "/");
  EXPECT_EQ(AddTrailingBackslash("/tmp"), "/tmp/");
  EXPECT_EQ(AddTrailingBackslash("/tmp/"), "/tmp/");
  EXPECT_EQ(AddTrailingBackslash("C:\\TEMP\\"), "C:\\TEMP\\");
  EXPECT_EQ(AddTrailingBackslash("C:"), "C:");

  const qvtest::TScratchFolder folder;
  const std::filesystem::path dir = folder.Path();
  const char* saved = std::getenv("TMPDIR");
  const std::string savedValue = saved ? saved : "";
  setenv("TMPDIR", dir.c_str(), 1);
  std::ofstream(dir / "Qv0.x") << "taken";
  EXPECT_EQ(CreateTempFile("Qv", "x"), (dir / "Qv1.x").string());
  EXPECT_EQ(CreateTempFile("Qv", ".y"), (dir / "Qv0.y").string());
  EXPECT_EQ(CreateTempFile("Qv", ""), (dir / "Qv0").string());
  if (saved)
    setenv("TMPDIR", savedValue.c_str(), 1);
  else
    unsetenv("TMPDIR");
}

}  // namespace

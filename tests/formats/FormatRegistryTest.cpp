// Registration of the formats and dispatch by file extension.
#include <gtest/gtest.h>

#include "FormatTestUtil.h"
#include "formats/QvDcxGr.h"
#include "formats/QvFormats.h"
#include "formats/QvJpgGr.h"
#include "formats/QvPcxGr.h"
#include "formats/QvPngGr.h"
#include "formats/QvTgaGr.h"
#include "formats/QvTifGr.h"
#include "model/QvDiGrphRegistry.h"

using namespace quorvane;

using namespace qvtest;

TEST(FormatRegistry, ExtensionsInOrderWithDescriptions) {
  RegisterStandardGraphicFormats();
  std::vector<std::pair<std::string, std::string>> ours;
  for (const TGraphicFormatEntry& e : GraphicFormatList())
    if (e.GraphicClass == &TPcxGraphic::StaticClass() || e.GraphicClass == &TDcxGraphic::StaticClass() ||
        e.GraphicClass == &TTgaGraphic::StaticClass() || e.GraphicClass == &TTiffGraphic::StaticClass() ||
        e.GraphicClass == &TJpegGraphic::StaticClass() || e.GraphicClass == &TPngGraphic::StaticClass())
      ours.emplace_back(e.Extension, e.Description);
  const std::vector<std::pair<std::string, std::string>> expected = {{"TIF", "TIFF file"},
                                                                     {"TIFF", "TIFF file"},
                                                                     {"PCX", "ZSoft PC Paintbrush"},
                                                                     {"PCC", "ZSoft PC Paintbrush"},
                                                                     {"DCX", "DCX file"},
                                                                     {"TGA", "Truevision Targa"},
                                                                     {"VST", "Truevision Vista"},
                                                                     {"AFI", "Truevision Targa"},
                                                                     {"JPG", "JPEG"},
                                                                     {"JPEG", "JPEG"},
                                                                     {"PNG", "Portable Network Graphic"}};
  EXPECT_EQ(ours, expected);
  EXPECT_EQ(FindGraphicClass("x.bmp"), nullptr);
}

TEST(FormatRegistry, EveryExtensionWritesAndReadsThroughItsClass) {
  RegisterStandardGraphicFormats();
  const std::pair<const char*, const char*> cases[] = {
      {"pcx", "TPcxGraphic"},  {"PCC", "TPcxGraphic"},   {"dcx", "TDcxGraphic"},
      {"tga", "TTgaGraphic"},  {"Vst", "TTgaGraphic"},   {"afi", "TTgaGraphic"},
      {"tif", "TTiffGraphic"}, {"TIFF", "TTiffGraphic"}, {"png", "TPngGraphic"}};
  for (const auto& [ext, className] : cases) {
    const TScratchFolder folder;
    const std::string path = folder / (std::string("case.") + ext);
    std::unique_ptr<TDibGraphic> image = CreateGraphicForFile(path);
    ASSERT_EQ(image->ClassName(), className) << ext;
    MakeImage(*image, TImageFormat::Color256, 6, 5, 9);
    image->SetXDpi(200);
    image->SaveToFile(path);
    std::unique_ptr<TDibGraphic> back = CreateGraphicForFile(path);
    back->LoadFromFile(path);
    EXPECT_TRUE(SameIndices(*image, *back)) << ext;
    if (std::string(className) != "TTgaGraphic") {
      EXPECT_EQ(back->XDpi(), 200) << ext;
    }
  }
}

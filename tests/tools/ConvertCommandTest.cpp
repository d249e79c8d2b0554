// brindlex-convert as a command: usage errors and exit statuses, batches with failures, output
// files that are never replaced by accident nor half written, pages, parallel jobs, information.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "ConvertOptions.h"
#include "ToolTestSupport.h"
#include "model/QvDiGrphRegistry.h"
#include "model/QvExcept.h"
#include "transforms/QvTransfGeometry.h"

using namespace quorvane;
using namespace brindlex;

using namespace qvtest;

namespace {

const std::string kUsageHint = "Try 'brindlex-convert --help' for more information.\n";

// The message the library gives when it reads File.
std::string LibraryReadMessage(const std::string& file) {
  try {
    ReadImage(file);
  } catch (const Exception& e) {
    return e.Message();
  }
  return "";
}

TEST(ConvertUsage, MistakesExitWithStatus2AndTouchNothing) {
  TScratchFolder dir;
  WriteImage(*MakeImage(TImageFormat::TrueColor, 8, 8, 1), dir / "a.tga");
  WriteImage(*MakeImage(TImageFormat::TrueColor, 8, 8, 2), dir / "b.tga");
  const std::vector<std::vector<std::string>> mistakes{
      {},
      {dir / "a.tga"},
      {dir / "a.tga", "-o"},
      {dir / "a.tga", "-o", dir / "x.pcx", "--bogus"},
      {dir / "a.tga", dir / "b.tga", "-o", dir / "x.pcx"},
      {dir / "a.tga", "-o", dir / "x.pcx", "-d", dir / "out"},
      {dir / "a.tga", "-o", dir / "x.pcx", "-f", "pcx"},
      {dir / "a.tga", "-o", dir / "x.pcx", "--rotate", "ninety"},
      {dir / "a.tga", "-o", dir / "x.pcx", "--crop", "1,2,3"},
      {dir / "a.tga", "-o", dir / "x.pcx", "--crop", "-1,0,0,0"},
      {dir / "a.tga", "-o", dir / "x.pcx", "--resize", "-5x10"},
      {dir / "a.tga", "-o", dir / "x.pcx", "--resize", "5x0"},
      {dir / "a.tga", "-o", dir / "x.pcx", "--limit-area", "0"},
      {dir / "a.tga", "-o", dir / "x.pcx", "--limit-memory", "1.5"},
      {dir / "a.tga", "-o", dir / "x.pcx", "--resize", "20"},
      {dir / "a.tga", "-o", dir / "x.pcx", "--contrast", "sideways"},
      {dir / "a.tga", "-o", dir / "x.pcx", "--convert", "cmyk"},
      {dir / "a.tga", "-o", dir / "x.pcx", "--filter", "box", "--resize", "4x4"},
      {dir / "a.tga", "-o", dir / "x.pcx", "--filter", "bell"},
      {dir / "a.tga", "-o", dir / "x.pcx", "--dither"},
      {dir / "a.tga", "-o", dir / "x.pcx", "--page", "0"},
      {dir / "a.tga", "-o", dir / "x.pcx", "--page", "2", "--all-pages"},
      {dir / "a.tga", "-o", dir / "x.pcx", "-j", "0"},
      {dir / "a.tga", "-o", dir / "x.pcx", "--threads", "0"},
      {dir / "a.tga", "-o", dir / "x.pcx", "--threads", "257"},
      {dir / "a.tga", "-o", dir / "x.pcx", "--negative=yes"},
      {dir / "a.tga", "-o", dir / "x.jpg", "--quality", "0"},
      {dir / "a.tga", "-o", dir / "x.jpg", "--quality", "101"},
      {dir / "a.tga", "-o", dir / "x.png", "--png-level", "max"},
      {"--info", dir / "a.tga", "-o", dir / "x.pcx"},
      {"--info"},
  };
  for (const auto& arguments : mistakes) {
    const TRun run = RunConvert(arguments);
    std::string line;
    for (const auto& a : arguments) line += a + " ";
    EXPECT_EQ(run.Status, 2) << line;
    EXPECT_TRUE(run.Err.starts_with("brindlex-convert: ")) << line << run.Err;
    EXPECT_TRUE(run.Err.ends_with(kUsageHint)) << line << run.Err;
    EXPECT_EQ(run.Out, "") << line;
  }
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"a.tga", "b.tga"}));
}

TEST(ConvertUsage, NumbersSayWhatIsWrongWithThem) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
      {{"--resize", "99999999999x1"}, "option --resize: '99999999999' is out of range"},
      {{"--rotate", "1e400"}, "option --rotate: '1e400' is out of range"},
      {{"--crop", "0,99999999999,0,0"}, "option --crop: '99999999999' is out of range"},
      {{"--resize", "12x1O"}, "option --resize: '1O' is not a whole number"},
      {{"--gamma", "inf"}, "option --gamma: 'inf' is not a number"},
      {{"--crop", "0,-1,0,0"}, "option --crop: '-1': a margin must be at least 0"},
      {{"--resize", "-5x10"}, "option --resize: '-5': the width must be at least 1"},
  };
  for (const auto& [options, message] : cases) {
    std::vector<std::string> arguments{"in.pcx", "-o", "out.pcx"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    const TRun run = RunConvert(arguments);
    EXPECT_EQ(run.Status, 2);
    EXPECT_EQ(run.Err, "brindlex-convert: " + message + "\n" + kUsageHint);
  }
}

TEST(ConvertUsage, HelpAndManPageDescribeEveryOption) {
  const TRun run = RunConvert({"--help"});
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Out, ConvertUsageText());
  std::ifstream page(std::string(BRINDLEX_SOURCE_DIR) + "/tools/brindlex-convert.1");
  const std::string man{std::istreambuf_iterator<char>(page), std::istreambuf_iterator<char>()};
  for (const char* option : {"-o",
                             "-d",
                             "-f",
                             "--overwrite",
                             "--page",
                             "--all-pages",
                             "--rotate",
                             "--flip-h",
                             "--flip-v",
                             "--negative",
                             "--crop",
                             "--sharpen",
                             "--smooth",
                             "--brightness",
                             "--contrast",
                             "--edge",
                             "--emboss",
                             "--gamma",
                             "--gray",
                             "--convert",
                             "--quantize",
                             "--dither",
                             "--resize",
                             "--filter",
                             "--info",
                             "--formats",
                             "-j",
                             "--threads",
                             "--quiet",
                             "--strict",
                             "--verbose",
                             "--limit-area",
                             "--limit-memory",
                             "--quality",
                             "--progressive",
                             "--optimize",
                             "--png-level",
                             "--no-interlace",
                             "--compression",
                             "--keep-profile",
                             "--to-srgb",
                             "--strip"}) {
    EXPECT_NE(run.Out.find(option), std::string::npos) << option;
    std::string escaped;
    for (char c : std::string(option)) escaped += c == '-' ? "\\-" : std::string(1, c);
    EXPECT_NE(man.find(escaped), std::string::npos) << option;
  }
}

// The operation options come from the library's operation table: each row is an option of its
// name with a line in the help, and its arguments written as the table describes them (here its
// defaults) read back as those values.
TEST(ConvertUsage, EveryOperationOfTheTableIsAnOption) {
  const std::string usage = ConvertUsageText();
  for (const TImageOperation& operation : ImageOperations()) {
    const std::string option = "--" + std::string(operation.Name);
    SCOPED_TRACE(option);
    EXPECT_NE(usage.find("\n      " + option + " "), std::string::npos) << "a line of the help";
    std::string value;
    for (const TOperationParameter& parameter : operation.Parameters) {
      if (!parameter.Argument) continue;
      if (!value.empty()) value += operation.Separator;
      if (parameter.Kind != TParameterKind::pkChoice) {
        value += std::to_string(static_cast<long long>(parameter.Default));
        continue;
      }
      for (const TParameterChoice& choice : parameter.Choices)
        if (choice.Value == parameter.Default) value += choice.Name;
    }
    std::vector<std::string> arguments{"in.pcx", "-o", "out.pcx", option};
    if (!value.empty()) arguments.push_back(value);
    const TConvertOptions parsed = ParseConvertOptions(arguments);
    ASSERT_EQ(parsed.Operations.size(), 1u);
    EXPECT_EQ(parsed.Operations[0].Operation, &operation);
    for (const TOperationParameter& parameter : operation.Parameters)
      EXPECT_EQ(parameter.Get(parsed.Operations[0].Parameters), parameter.Default) << parameter.Name;
  }
}

TEST(ConvertInformation, FormatsListsEveryRegisteredExtensionSorted) {
  const TRun run = RunConvert({"--formats"});
  ASSERT_EQ(run.Status, 0);
  for (const auto& entry : GraphicFormatList()) {
    std::string mask = "(*.";
    for (char c : entry.Extension) mask += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const bool readable = entry.GraphicClass->Create()->Capabilities().Readable;
    EXPECT_NE(run.Out.find(entry.Description + " " + mask + ")" + (readable ? "" : ", write only") + "\n"),
              std::string::npos)
        << entry.Extension;
  }
  EXPECT_NE(run.Out.find("Portable Document Format (*.pdf), write only\n"), std::string::npos);
  EXPECT_NE(run.Out.find("DCX file (*.dcx)\n"), std::string::npos);
  EXPECT_LT(run.Out.find("DCX file"), run.Out.find("ZSoft PC Paintbrush"));
  EXPECT_TRUE(run.Out.find("\nAll (") != std::string::npos);
}

TEST(ConvertInformation, InfoDescribesEveryPage) {
  TScratchFolder dir;
  auto bw = MakeImage(TImageFormat::BlackWhite, 30, 20, 1);
  auto gray = MakeImage(TImageFormat::Gray16, 12, 34, 2);
  auto color = MakeImage(TImageFormat::TrueColor, 5, 6, 3);
  WritePages({bw.get(), gray.get(), color.get()}, dir / "doc.dcx");
  WriteImage(*color, dir / "one.tga");

  TRun run = RunConvert({"--info", dir / "doc.dcx", dir / "one.tga"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out, dir / "doc.dcx" + ": TDcxGraphic, 3 pages\n" +
                         "  page 1: 30 x 20, Black and white, 150 x 75 dpi\n" + "  page 2: 12 x 34, " +
                         ImageFormatName(ReadImage(dir / "doc.dcx", 2)->ImageFormat()) + ", 150 x 75 dpi\n" +
                         "  page 3: 5 x 6, True color, 150 x 75 dpi\n" + dir / "one.tga" + ": TTgaGraphic, 1 page\n" +
                         "  page 1: 5 x 6, True color, 96 x 96 dpi\n");

  run = RunConvert({"--info", "--page", "3", dir / "doc.dcx"});
  EXPECT_EQ(run.Out, dir / "doc.dcx" + ": TDcxGraphic, 3 pages\n  page 3: 5 x 6, True color, 150 x 75 dpi\n");

  run = RunConvert({"--info", dir / "missing.tga", dir / "one.tga", "--page", "2"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("brindlex-convert: " + dir / "missing.tga" + ": Cannot open file"), std::string::npos);
  EXPECT_NE(run.Err.find(dir / "one.tga" + ": Page 2 does not exist (the file has 1)"), std::string::npos);
}

TEST(ConvertBatch, FailingFileInTheMiddleIsReportedAndTheOthersGoOn) {
  TScratchFolder dir;
  WriteImage(*MakeImage(TImageFormat::TrueColor, 16, 9, 1), dir / "a.tga");
  PutFileBytes(dir / "b.pcx", std::vector<uint8_t>(40, 0x55));
  WriteImage(*MakeImage(TImageFormat::Color256, 16, 9, 3), dir / "c.pcx");
  PutFileBytes(dir / "d.xyz", FileBytes(dir / "a.tga"));

  for (const char* jobs : {"1", "2"}) {
    SCOPED_TRACE(jobs);
    const std::filesystem::path out = dir / (std::string("out") + jobs);
    const TRun run = RunConvert({dir / "a.tga", dir / "b.pcx", dir / "d.xyz", dir / "c.pcx", "-d", out.string(), "-f",
                                 "tga", "-j", jobs, "--negative"});
    EXPECT_EQ(run.Status, 1) << run.Err;
    EXPECT_NE(run.Err.find("brindlex-convert: " + dir / "b.pcx" + ": " + LibraryReadMessage(dir / "b.pcx") + "\n"),
              std::string::npos)
        << run.Err;
    EXPECT_NE(run.Err.find("brindlex-convert: " + dir / "d.xyz" +
                           ": Graphic files of .xyz format are not supported or not registered\n"),
              std::string::npos)
        << run.Err;
    EXPECT_EQ(dir.List(out.filename().string()), (std::vector<std::string>{"a.tga", "c.tga"}));
  }
  // An output extension nobody writes fails every file with the registry's message.
  const TRun run = RunConvert({dir / "a.tga", "-o", dir / "a.xyz"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Err, "brindlex-convert: " + dir / "a.tga" + " -> " + dir / "a.xyz" +
                         ": Graphic files of .xyz format are not supported or not registered\n");
}

TEST(ConvertBatch, TwoInputsWithTheSameOutputNameWriteItOnce) {
  TScratchFolder dir;
  WriteImage(*MakeImage(TImageFormat::TrueColor, 6, 6, 1), dir / "a.tga");
  WriteImage(*MakeImage(TImageFormat::TrueColor, 6, 6, 2), dir / "a.pcx");
  const TRun run = RunConvert({dir / "a.tga", dir / "a.pcx", "-d", dir / "out", "-f", "pcx", "-j", "2"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find(dir / "a.pcx -> " + dir / "out/a.pcx: Also the output of " + dir / "a.tga"), std::string::npos)
      << run.Err;
  EXPECT_TRUE(SamePicture(*ReadImage(dir / "out/a.pcx"), *ReadImage(dir / "a.tga")));
}

TEST(ConvertOutput, ExistingFileIsNotReplacedWithoutOverwrite) {
  TScratchFolder dir;
  WriteImage(*MakeImage(TImageFormat::TrueColor, 6, 6, 1), dir / "a.tga");
  PutFileBytes(dir / "a.pcx", {1, 2, 3});
  TRun run = RunConvert({dir / "a.tga", "-o", dir / "a.pcx"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Err,
            "brindlex-convert: " + dir / "a.tga -> " + dir / "a.pcx: File exists (use --overwrite to replace it)\n");
  EXPECT_EQ(FileBytes(dir / "a.pcx"), (std::vector<uint8_t>{1, 2, 3}));

  ::chmod((dir / "a.pcx").c_str(), 0640);
  run = RunConvert({dir / "a.tga", "-o", dir / "a.pcx", "--overwrite"});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_TRUE(SamePicture(*ReadImage(dir / "a.pcx"), *ReadImage(dir / "a.tga")));
  struct stat info {};
  ::stat((dir / "a.pcx").c_str(), &info);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"a.pcx", "a.tga"}));
}

TEST(ConvertOutput, FailedWriteLeavesTheOldFileIntactAndNoTemporaryFile) {
  TScratchFolder dir;
  WriteImage(*MakeImage(TImageFormat::TrueColor, 6, 6, 1), dir / "a.tga");
  const std::vector<uint8_t> old = FileBytes(dir / "a.tga");
  WriteImage(*MakeImage(TImageFormat::BlackWhite, 6, 6, 2), dir / "bw.pcx");
  // Targa refuses black-and-white images while writing (with --strict, nothing is promoted).
  const TRun run = RunConvert({dir / "bw.pcx", "-o", dir / "a.tga", "--overwrite", "--strict"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Err, "brindlex-convert: " + dir / "bw.pcx -> " +
                         dir / "a.tga: TARGA image must be true color or 8 bit with palette\n");
  EXPECT_EQ(FileBytes(dir / "a.tga"), old);
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"a.tga", "bw.pcx"}));
}

TEST(ConvertOutput, InputCanBeReplacedByItsOwnResult) {
  TScratchFolder dir;
  WriteImage(*MakeImage(TImageFormat::TrueColor, 7, 5, 1), dir / "a.tga");
  ASSERT_EQ(RunConvert({dir / "a.tga", "--rotate", "90", "-d", dir.Path(), "--overwrite"}).Status, 0);
  EXPECT_EQ(ReadImage(dir / "a.tga")->Width(), 5);
}

TEST(ConvertPages, PageOptionReadsThatPage) {
  TScratchFolder dir;
  auto p1 = MakeImage(TImageFormat::BlackWhite, 20, 10, 1);
  auto p2 = MakeImage(TImageFormat::Color256, 11, 13, 2);
  auto p3 = MakeImage(TImageFormat::TrueColor, 9, 8, 3);
  WritePages({p1.get(), p2.get(), p3.get()}, dir / "doc.dcx");

  ASSERT_EQ(RunConvert({dir / "doc.dcx", "--page", "2", "-o", dir / "p2.pcx"}).Status, 0);
  EXPECT_TRUE(SamePicture(*ReadImage(dir / "p2.pcx"), *p2));
  ASSERT_EQ(RunConvert({dir / "doc.dcx", "-o", dir / "p1.pcx"}).Status, 0);
  EXPECT_TRUE(SamePicture(*ReadImage(dir / "p1.pcx"), *p1));

  const TRun run = RunConvert({dir / "doc.dcx", "--page", "4", "-o", dir / "p4.pcx"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Err, "brindlex-convert: " + dir / "doc.dcx: Page 4 does not exist (the file has 3)\n");
}

TEST(ConvertPages, AllPagesGoIntoMultiPageOutputOrNumberedFiles) {
  TScratchFolder dir;
  auto p1 = MakeImage(TImageFormat::BlackWhite, 20, 10, 1);
  auto p2 = MakeImage(TImageFormat::Color256, 11, 13, 2);
  auto p3 = MakeImage(TImageFormat::TrueColor, 9, 8, 3);
  WritePages({p1.get(), p2.get(), p3.get()}, dir / "doc.dcx");

  TRun run = RunConvert({dir / "doc.dcx", "--all-pages", "--flip-v", "-o", dir / "flipped.dcx"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  ASSERT_EQ(PageCount(dir / "flipped.dcx"), 3);
  int page = 1;
  for (const auto* original : {p1.get(), p2.get(), p3.get()}) {
    TDibGraphic expected;
    TFlipVerticalTransform().ApplyOnDest(*original, expected);
    EXPECT_TRUE(SamePicture(*ReadImage(dir / "flipped.dcx", page++), expected));
  }

  run = RunConvert({dir / "doc.dcx", "--all-pages", "-o", dir / "page.pcx"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"doc.dcx", "flipped.dcx", "page-1.pcx", "page-2.pcx", "page-3.pcx"}));
  EXPECT_TRUE(SamePicture(*ReadImage(dir / "page-2.pcx"), *p2));
  EXPECT_TRUE(SamePicture(*ReadImage(dir / "page-3.pcx"), *p3));

  // Single pages gather into a multi-page file too; a page format cannot take fails per page.
  WriteImage(*p3, dir / "one.tga");
  ASSERT_EQ(RunConvert({dir / "one.tga", "--all-pages", "-o", dir / "one.dcx"}).Status, 0);
  EXPECT_EQ(PageCount(dir / "one.dcx"), 1);
  run = RunConvert({dir / "doc.dcx", "--all-pages", "-d", dir / "tga", "-f", "tga", "--strict"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("tga/doc-1.tga: TARGA image must be true color or 8 bit with palette"), std::string::npos);
  EXPECT_EQ(dir.List("tga"), (std::vector<std::string>{"doc-2.tga", "doc-3.tga"}));
}

std::string Regression(const std::string& name) {
  return std::string(BRINDLEX_SOURCE_DIR) + "/tests/data/regression/" + name;
}

TEST(ConvertPages, FilesWithoutPagesFailAndWriteNothing) {
  TScratchFolder dir;
  const std::string empty = Regression("dcx-empty-page-table.dcx");
  const std::string noPages = "brindlex-convert: " + empty + ": Page 1 does not exist (the file has 0)\n";
  const std::vector<uint8_t> old = {1, 2, 3};
  PutFileBytes(dir / "out.dcx", old);
  const std::vector<std::vector<std::string>> commands{
      {empty, "--all-pages", "--overwrite", "-o", dir / "out.dcx"},
      {empty, "--overwrite", "-o", dir / "out.dcx"},
      {empty, "--all-pages", "-o", dir / "page.pcx"},
      {"--info", empty},
  };
  for (const auto& command : commands) {
    const TRun run = RunConvert(command);
    EXPECT_EQ(run.Status, 1) << command[1];
    EXPECT_EQ(run.Err, noPages) << command[1];
    EXPECT_EQ(FileBytes(dir / "out.dcx"), old);
    EXPECT_EQ(dir.List(), std::vector<std::string>{"out.dcx"});
  }
}

TEST(ConvertPages, PageTableBeyondTheFormatFailsOnce) {
  TScratchFolder dir;
  const std::string file = Regression("dcx-page-table-past-1024-entries.dcx");
  for (const std::vector<std::string>& command :
       std::vector<std::vector<std::string>>{{file, "--all-pages", "-o", dir / "page.pcx"}, {"--info", file}}) {
    const TRun run = RunConvert(command);
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Err, "brindlex-convert: " + file + ": The DCX file header is not valid\n");
    EXPECT_TRUE(dir.List().empty());
  }
}

TEST(ConvertWarnings, FilesCutShortConvertWithAWarningOrFailWithStrict) {
  const std::string cut = Regression("pcx-pixel-data-cut-short.pcx");
  const std::string sentence =
      "The PCX pixel data ends early: the file is cut short and the missing pixels are filled in.";
  struct TCase {
    std::vector<std::string> Options;
    int Status;
    std::string Err;
    bool Written;
  };
  const TCase cases[] = {
      {{}, 0, "brindlex-convert: warning: " + cut + ": " + sentence + "\n", true},
      {{"--strict"}, 1, "brindlex-convert: " + cut + ": " + sentence + "\n", false},
  };
  for (const TCase& c : cases) {
    TScratchFolder dir;
    std::vector<std::string> arguments{cut, "-o", dir / "out.pcx"};
    arguments.insert(arguments.end(), c.Options.begin(), c.Options.end());
    const TRun run = RunConvert(arguments);
    EXPECT_EQ(run.Status, c.Status);
    EXPECT_EQ(run.Err, c.Err);
    EXPECT_EQ(dir.List().size(), c.Written ? 1u : 0u);
    if (c.Written) {
      EXPECT_TRUE(SamePicture(*ReadImage(dir / "out.pcx"), *ReadImage(cut)));
    }

    arguments = {"--info", cut};
    arguments.insert(arguments.end(), c.Options.begin(), c.Options.end());
    const TRun info = RunConvert(arguments);
    EXPECT_EQ(info.Status, c.Status);
    EXPECT_EQ(info.Err, c.Err);
    EXPECT_EQ(info.Out.empty(), !c.Written);
  }

  // A page of a multi-page file is named.
  TScratchFolder dir;
  const std::vector<uint8_t> pcx = FileBytes(cut);
  std::vector<uint8_t> dcx;
  for (const uint32_t entry : {987654321u, 16u, static_cast<uint32_t>(16 + pcx.size()), 0u})
    for (int i = 0; i < 4; ++i) dcx.push_back(static_cast<uint8_t>(entry >> (8 * i)));
  for (int page = 0; page < 2; ++page) dcx.insert(dcx.end(), pcx.begin(), pcx.end());
  PutFileBytes(dir / "two.dcx", dcx);
  const TRun run = RunConvert({dir / "two.dcx", "--all-pages", "-o", dir / "out.dcx"});
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Err, "brindlex-convert: warning: " + dir / "two.dcx: page 1: " + sentence + "\n" +
                         "brindlex-convert: warning: " + dir / "two.dcx: page 2: " + sentence + "\n");
  EXPECT_EQ(PageCount(dir / "out.dcx"), 2);
}

TEST(ConvertLimits, OptionsSetTheLibraryLimits) {
  TScratchFolder dir;
  WriteImage(*MakeImage(TImageFormat::TrueColor, 4, 4, 1), dir / "small.pcx");
  const std::string refusal = "brindlex-convert: " + dir / "small.pcx: CreateDibSection failed\n";
  // 2000 x 2000 true colour needs 12 MB of pixels and 4 megapixels.
  for (const auto& limit : std::vector<std::vector<std::string>>{{"--limit-memory", "8"}, {"--limit-area", "3"}}) {
    std::vector<std::string> arguments{dir / "small.pcx", "--resize", "2000x2000", "-o", dir / "big.pcx"};
    arguments.insert(arguments.end(), limit.begin(), limit.end());
    const TRun run = RunConvert(arguments);
    EXPECT_EQ(run.Status, 1) << limit[0];
    EXPECT_EQ(run.Err, refusal) << limit[0];
  }
  EXPECT_EQ(
      RunConvert({dir / "small.pcx", "--resize", "2000x2000", "-o", dir / "big.pcx", "--limit-memory", "13"}).Status,
      0);
}

// A page that cannot be read is named, in conversions and in --info; the other pages go on.
TEST(ConvertPages, FailedPageIsNamed) {
  TScratchFolder dir;
  WriteImage(*MakeImage(TImageFormat::Gray256, 6, 4, 1), dir / "one.pcx");
  const std::vector<uint8_t> pcx = FileBytes(dir / "one.pcx");
  std::vector<uint8_t> dcx;
  for (const uint32_t entry : {987654321u, 16u, static_cast<uint32_t>(16 + pcx.size()), 0u})
    for (int i = 0; i < 4; ++i) dcx.push_back(static_cast<uint8_t>(entry >> (8 * i)));
  dcx.insert(dcx.end(), pcx.begin(), pcx.end());
  dcx.insert(dcx.end(), 128, 0);  // page 2: not a PCX header
  PutFileBytes(dir / "two.dcx", dcx);

  TRun run = RunConvert({dir / "two.dcx", "--all-pages", "-o", dir / "page.pcx"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_TRUE(run.Err.starts_with("brindlex-convert: " + dir / "two.dcx: page 2: ")) << run.Err;
  EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1);
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"one.pcx", "page-1.pcx", "two.dcx"}));

  run = RunConvert({"--info", dir / "two.dcx"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_TRUE(run.Err.starts_with("brindlex-convert: " + dir / "two.dcx: page 2: ")) << run.Err;
}

TEST(ConvertJobs, ParallelJobsGiveTheSameBytes) {
  TScratchFolder dir;
  std::vector<std::string> inputs;
  for (int i = 0; i < 6; ++i) {
    const std::string name = dir / ("in" + std::to_string(i) + (i % 3 ? ".tga" : ".pcx"));
    WriteImage(*MakeImage(i % 3 ? TImageFormat::TrueColor : TImageFormat::Color16, 60 + i, 40, i), name);
    inputs.push_back(name);
  }
  auto run = [&](const char* jobs) {
    std::vector<std::string> arguments = inputs;
    for (const char* a : {"--smooth", "--rotate", "30", "--resize", "50x31", "--filter", "mitchell", "--convert",
                          "color256", "--quantize", "--dither", "-f", "pcx", "-j"})
      arguments.push_back(a);
    arguments.push_back(jobs);
    arguments.push_back("-d");
    arguments.push_back(dir / jobs);
    return RunConvert(arguments);
  };
  ASSERT_EQ(run("1").Status, 0);
  ASSERT_EQ(run("2").Status, 0);
  ASSERT_EQ(run("4").Status, 0);
  const std::vector<std::string> names = dir.List("1");
  ASSERT_EQ(names.size(), 6u);
  for (const auto& name : names) {
    EXPECT_EQ(FileBytes(dir / ("1/" + name)), FileBytes(dir / ("2/" + name))) << name;
    EXPECT_EQ(FileBytes(dir / ("1/" + name)), FileBytes(dir / ("4/" + name))) << name;
  }
}

// Files times threads stays within the processors unless --threads asks for more.
TEST(ConvertJobs, ThreadsPerFileShareTheProcessors) {
  struct TCase {
    std::vector<std::string> Arguments;
    int Default, Processors, Expected;
  } cases[] = {
      {{"a.tga", "-o", "b.tga"}, 8, 8, 8},
      {{"a.tga", "-o", "b.tga"}, 3, 8, 3},  // QUORVANE_THREADS=3
      {{"a.tga", "b.tga", "c.tga", "-d", "out", "-j", "2"}, 8, 8, 4},
      {{"a.tga", "b.tga", "c.tga", "-d", "out", "-j", "3"}, 8, 8, 2},
      {{"a.tga", "b.tga", "-d", "out", "-j", "16"}, 8, 8, 4},  // two files run at once
      {{"a.tga", "b.tga", "c.tga", "-d", "out", "-j", "3"}, 2, 2, 1},
      {{"a.tga", "b.tga", "--all-pages", "-o", "book.tif", "-j", "2"}, 2, 2, 2},  // one output: one file
      {{"a.tga", "b.tga", "-d", "out", "-j", "2", "--threads", "3"}, 2, 2, 3},
      {{"a.tga", "-o", "b.tga", "--threads=16"}, 2, 2, 16},
  };
  for (const TCase& c : cases) {
    std::string line;
    for (const auto& a : c.Arguments) line += a + " ";
    EXPECT_EQ(ThreadsPerFile(ParseConvertOptions(c.Arguments), c.Default, c.Processors), c.Expected) << line;
  }
}

TEST(ConvertJobs, ThreadsGiveTheSameBytes) {
  TScratchFolder dir;
  WriteImage(*MakeImage(TImageFormat::TrueColor, 301, 207, 3), dir / "in.tga");
  auto run = [&](const char* threads) {
    return RunConvert({dir / "in.tga", "--sharpen", "--brightness", "3", "--rotate", "33", "--resize", "150x111",
                       "--filter", "triangle", "--convert", "gray16", "--threads", threads, "-o",
                       dir / (std::string("out") + threads + ".pcx")});
  };
  ASSERT_EQ(run("1").Status, 0);
  ASSERT_EQ(run("3").Status, 0);
  EXPECT_EQ(FileBytes(dir / "out1.pcx"), FileBytes(dir / "out3.pcx"));
}

TEST(ConvertProgress, BarOnATerminalOnlyAndNotWithQuiet) {
  TScratchFolder dir;
  WriteImage(*MakeImage(TImageFormat::TrueColor, 300, 200, 1), dir / "a.tga");
  TRun run = RunConvertOnTerminal({dir / "a.tga", "--sharpen", "-o", dir / "b.tga"});
  ASSERT_EQ(run.Status, 0);
  EXPECT_NE(run.Out.find("1/1 files"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("100%"), std::string::npos) << run.Out;

  run = RunConvertOnTerminal({dir / "a.tga", "--sharpen", "-o", dir / "c.tga", "--quiet"});
  ASSERT_EQ(run.Status, 0);
  EXPECT_EQ(run.Out, "");
  // Not a terminal: nothing on standard error either.
  run = RunConvert({dir / "a.tga", "--sharpen", "-o", dir / "d.tga"});
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Err, "");
}

}  // namespace

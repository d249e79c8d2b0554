// The README's commands for spreading a batch over machines, run here as written: GNU parallel
// (on this machine instead of over ssh) and the SLURM array task's script (with the variables
// SLURM would set). Every good file is converted, and the exit statuses and messages say which
// group, and which file in it, failed.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "ToolTestSupport.h"

using namespace qvtest;

namespace {

std::string ReadText(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The README's code block that starts with Start, without the fence.
std::string ReadmeBlock(const std::string& start) {
  const std::string readme = ReadText(std::string(BRINDLEX_SOURCE_DIR) + "/README.md");
  const size_t from = readme.find(start);
  if (from == std::string::npos) return "";
  return readme.substr(from, readme.find("```", from) - from);
}

// Runs Script with bash in Folder, with the built program first on the path as brindlex-convert.
int RunScript(const TScratchFolder& dir, const std::string& script, const std::string& environment = "") {
  if (std::filesystem::create_directories(dir / "bin"))
    std::filesystem::create_symlink(BRINDLEX_CONVERT, dir / "bin/brindlex-convert");
  std::ofstream(dir / "script.sh") << script;
  const std::string command = "cd '" + dir.Path() + "' && PATH='" + (dir / "bin") + "':\"$PATH\" " + environment +
                              " bash script.sh </dev/null >/dev/null 2>'" + (dir / "script.err") + "'";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace

TEST(ConvertSpread, GnuParallelCommandOfTheReadme) {
  if (std::system("command -v parallel >/dev/null 2>&1") != 0) GTEST_SKIP() << "GNU parallel is not installed";
  std::string command = ReadmeBlock("ls \"$PWD\"/photos/*.tif | parallel");
  const std::string hosts = "-S 4/node1,4/node2";
  ASSERT_NE(command.find(hosts), std::string::npos) << command;
  // This machine instead of the two hosts (":" is the local one), two files per process.
  command.replace(command.find(hosts), hosts.size(), "-S 2/:");
  command.replace(command.find("-n 50"), 5, "-n 2");

  TScratchFolder dir;
  std::filesystem::create_directories(dir / "photos");
  for (int i = 1; i <= 5; ++i)
    WriteImage(*MakeImage(TImageFormat::TrueColor, 20, 10, i), dir / ("photos/p" + std::to_string(i) + ".tif"));
  PutFileBytes(dir / "photos/p4.tif", {'I', 'I', 42, 0, 1, 2});  // a broken file in the second group
  const int status = RunScript(dir, command);
  EXPECT_EQ(status, 1);  // one group failed

  // The job log: one exit status per process, 1 for the group of p3 and p4.
  std::vector<std::string> log = Lines(ReadText(dir / "batch.log"));
  ASSERT_EQ(log.size(), 4u) << ReadText(dir / "batch.log");
  int failedGroups = 0;
  for (size_t i = 1; i < log.size(); ++i) {
    std::istringstream fields(log[i]);
    std::string field;
    std::vector<std::string> columns;
    while (std::getline(fields, field, '\t')) columns.push_back(field);
    ASSERT_GE(columns.size(), 9u);
    const bool hasBroken = columns[8].find("p4.tif") != std::string::npos;
    EXPECT_EQ(columns[6], hasBroken ? "1" : "0") << log[i];
    failedGroups += hasBroken;
  }
  EXPECT_EQ(failedGroups, 1);
  // One line names the broken file; every other file was converted.
  const std::vector<std::string> failed = Lines(ReadText(dir / "failed.txt"));
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_TRUE(failed[0].starts_with("brindlex-convert: " + dir / "photos/p4.tif: ")) << failed[0];
  EXPECT_EQ(dir.List("small"), (std::vector<std::string>{"p1.png", "p2.png", "p3.png", "p5.png"}));
}

TEST(ConvertSpread, SlurmArrayTaskOfTheReadme) {
  const std::string script = ReadmeBlock("#!/bin/bash\n#SBATCH --array");
  ASSERT_NE(script.find("SLURM_ARRAY_TASK_ID"), std::string::npos) << script;
  TScratchFolder dir;
  std::ofstream list(dir / "list.txt");
  for (int i = 1; i <= 120; ++i) {
    const std::string name = "in " + std::to_string(i) + ".pcx";  // names with blanks
    WriteImage(*MakeImage(TImageFormat::Color256, 6, 4, i), dir / name);
    list << name << "\n";
  }
  list.close();
  PutFileBytes(dir / "in 107.pcx", {10, 9, 9});  // not a PCX file: task 2 fails
  EXPECT_EQ(RunScript(dir, script, "SLURM_ARRAY_TASK_ID=1 SLURM_CPUS_PER_TASK=2"), 0);
  EXPECT_EQ(dir.List("small").size(), 50u);  // lines 51 to 100
  EXPECT_EQ(RunScript(dir, script, "SLURM_ARRAY_TASK_ID=2 SLURM_CPUS_PER_TASK=2"), 1);
  EXPECT_EQ(dir.List("small").size(), 69u);  // and 101 to 120 but the broken one
  const std::vector<std::string> failed = Lines(ReadText(dir / "script.err"));
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_TRUE(failed[0].starts_with("brindlex-convert: in 107.pcx: ")) << failed[0];
}

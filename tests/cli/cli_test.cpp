// kvcvrt-cli's wiring: its options reach the core's requests, the core's answers
// reach the user as output, messages and exit statuses. The core's own rules
// are the core tests' business.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "cli/cli_support.h"
#include "zuduradu/core/format/period_data_file.h"
#include "zuduradu/core/model/model_paths.h"
#include "zuduradu/core/run/conversion.h"
#include "zuduradu/core/run/data_file_info.h"
#include "zuduradu/core/storage/file_system.h"

namespace {

using kvtest::Convert;
using kvtest::Quote;
using kvtest::ReadAll;
using kvtest::RunCli;
using kvtest::WriteAll;

// A name derived from the model's path: lower-cased where file names ignore case.
std::string NameFromModel(const std::filesystem::path& p) {
  std::string text = kv::PathText(p);
  if (kv::NativePathCase() == kv::PathCase::Fold) {
    for (char& c : text) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return text;
}

// `convert` hands its arguments to the core's run: the file it writes is the one
// the core writes for the same request, run after run, and it says what was stored.
TEST(CliConvert, WritesWhatTheCoreWrites) {
  const struct {
    std::vector<kvtest::Set> sets;
    std::string options;
    int type;
    bool create;
    std::string said;
  } steps[] = {
      {{{1, 2, 1}, {5, 1, 7}}, "--type 3", 3, false, "2 data sets stored, 0 skipped"},
      {{{3, 1, 20}, {4, 3, 0}}, "-t top", 3, false, "1 data set stored, 1 skipped"},
      {{{3, 1, 20}}, "--type .top --create", 3, true, "1 data set stored, 0 skipped"},
      {{{5, 1, 1}}, "--type rch", 23, false, "1 data set stored, 0 skipped"},
  };
  kvtest::ScratchDir dir;
  for (const auto& step : steps) {
    const auto out = dir / (step.type == 23 ? "a.rch" : "a.top");
    const auto r = Convert(dir, step.sets, "--grid 3,2,2 " + step.options + " --output " + Quote(out));
    ASSERT_EQ(r.status, 0) << r.err;
    const auto core = dir / ("core." + out.extension().string());
    kv::RunConversion({dir / "in.dat", core, step.type, {3, 2, 2}, step.create});
    EXPECT_TRUE(kvtest::SameBytes(ReadAll(out), ReadAll(core))) << step.options;
    EXPECT_EQ(r.out, step.said + " (layer above NZ): " + kv::PathText(out) + "\n");
    EXPECT_EQ(r.err, "");  // no progress bar when standard error is not a terminal
  }
}

// A run the core refuses is status 1, a usage error status 2; either way the
// message goes to standard error and the file stays as it was.
TEST(Cli, RefusedRunsAndUsageErrorsLeaveTheFileUnchanged) {
  kvtest::ScratchDir dir;
  const std::string data = Quote(dir / "a.top");
  const std::string out = " --output " + data;
  ASSERT_EQ(Convert(dir, {{1, 1, 1}, {5, 2, 7}}, "--grid 3,2,2 --type 3" + out).status, 0);
  const std::string before = ReadAll(dir / "a.top");
  WriteAll(dir / "old.kv5", "[VERSION]\nNUMBER=3999\n[DIMENSION]\nNX=3\nNY=2\nNZ=2\n");
  WriteAll(dir / "in.dat", kvtest::InputText({{1001, 1, 1}}, 6));
  const std::string in = "convert --input " + Quote(dir / "in.dat");
  const std::vector<std::tuple<std::string, int, std::string>> cases = {  // arguments, status, words
      {in + " --grid 3,2,2 --type 3" + out, 1, "period 1001 is outside 1..1000"},
      {in + " --model " + Quote(dir / "old.kv5") + " --type 3" + out, 1, "older than 4000"},
      {"", 2, "A subcommand is required"},
      {in + " --grid 3,2,2" + out, 2, "--type is required"},
      {in + " --grid 3,2,2 --type 35" + out, 2, "--type: \"35\" is neither a type code"},
      {in + " --grid 3,2 --type 3" + out, 2, "--grid: \"3,2\" is not three whole numbers"},
      {in + " --grid 3,2,2 --type 3 --threads 0" + out, 2, "--threads"},
      {in + " --model " + Quote(dir / "old.kv5") + " --grid 3,2,2 --type 3" + out, 2, "--model excludes --grid"},
      {in + " --grid 3,2,2 --type 3", 2, "--grid needs --output"},
      {"export " + data + " --grid 3,2,2 --type 3 --periods 5-3 --output " + Quote(dir / "x.txt"), 2, "runs backwards"},
      {"info " + data + " --grid 3,2,2", 2, "--type is needed with --model or --grid"},
      {"info " + data + " --type 3", 2, "--type needs --model or --grid"},
  };
  for (const auto& [args, status, words] : cases) {
    const auto r = RunCli(dir, args);
    EXPECT_EQ(r.status, status) << args;
    EXPECT_EQ(r.out, "") << args;
    EXPECT_NE(r.err.find(words), std::string::npos) << args << "\n" << r.err;
    EXPECT_TRUE(kvtest::SameBytes(ReadAll(dir / "a.top"), before)) << args;
  }
  EXPECT_TRUE(kvtest::LeftBeside(dir / "a.top").empty());
  EXPECT_FALSE(std::filesystem::exists(dir / "x.txt"));
}

// A folder, a model and an input named outside ASCII: the arguments reach the core
// intact, the files are found and written, and the message names them in UTF-8.
TEST(CliConvert, NamesOutsideAscii) {
  kvtest::ScratchDir dir;
  const std::filesystem::path folder = dir.path() / kv::PathFromUtf8("B\u00f6den \u00dc");
  std::filesystem::create_directory(folder);
  const std::filesystem::path model = folder / kv::PathFromUtf8("B\u00f6den.kv5");
  const std::filesystem::path input = folder / kv::PathFromUtf8("Eingabe \u00e4.dat");
  WriteAll(model, "[DIMENSION]\nNX=2\nNY=1\nNZ=1\n");
  WriteAll(input, "1\n1 1\n1.5 2\n");
  const auto r = RunCli(dir, "convert --input " + Quote(input) + " --model " + Quote(model) + " --type 3");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::filesystem::path output = folder / kv::PathFromUtf8("B\u00f6den.top");
  EXPECT_EQ(r.out, "1 data set stored, 0 skipped (layer above NZ): " + NameFromModel(output) + "\n");
  EXPECT_EQ(kvtest::FloatAt(ReadAll(output), 4000), 1.5f);
}

// What the run reports beside its result goes to standard error, and the run still succeeds.
TEST(Cli, WarningsGoToStandardError) {
  kvtest::ScratchDir dir;
  WriteAll(dir / "in.dat", "1\n1 1 1 2 3 4 5 6\n7\n");
  const auto r = RunCli(dir, "convert -i " + Quote(dir / "in.dat") + " -g 3,2,2 -t 3 -o " + Quote(dir / "a.top"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "1 data set stored, 0 skipped (layer above NZ): " + (dir / "a.top").string() + "\n");
  const auto core = kv::RunConversion({dir / "in.dat", dir / "core.top", 3, {3, 2, 2}, false});
  ASSERT_EQ(core.warnings.size(), 1u);
  EXPECT_EQ(r.err, "warning: " + core.warnings[0] + "\n");
}

// `help COMMAND` prints what `COMMAND --help` prints.
TEST(Cli, HelpVersionAndTypes) {
  kvtest::ScratchDir dir;
  const auto help = RunCli(dir, "help convert");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: kvcvrt-cli convert"), std::string::npos) << help.out;
  EXPECT_EQ(help.out.find("--threads"), std::string::npos) << "a measurement option, not for users";
  for (const auto& [command, option] : {std::pair{"help", "--help"}, {"help convert", "convert --help"}, {"help info", "info -h"}}) {
    EXPECT_EQ(RunCli(dir, command).out, RunCli(dir, option).out) << command;
  }
  for (const char* version : {"--version", "-V"}) EXPECT_EQ(RunCli(dir, version).out, "kvcvrt-cli " KVCVRT_VERSION "\n");
  const auto r = RunCli(dir, "types");
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 32);  // a heading and 31 rows
  EXPECT_NE(r.out.find(" 14  (RCH) Recharge Rate "), std::string::npos);
  EXPECT_NE(r.out.find("  23  .rch       yes\n 15  (RCH)"), std::string::npos) << r.out;
}

// --model gives the grid and the output name. `info` prints the core's description of
// the file, against the grid of --model or --grid when one is given; --check makes a problem status 1.
TEST(CliInfo, PrintsTheCoresDescription) {
  kvtest::ScratchDir dir;
  const std::string model = " --model " + Quote(dir / "m.kv5");
  WriteAll(dir / "m.kv5", "[VERSION]\nNUMBER=4000\n[DIMENSION]\nNX=3\nNY=2\nNZ=2\n");
  const auto r = Convert(dir, {{1, 1, 1}}, model + " --type 4");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1 data set stored, 0 skipped (layer above NZ): " + NameFromModel(dir / "m.bot") + "\n");
  WriteAll(dir / "short.top", std::string(100, '\0'));
  const std::optional<kv::FileGeometry> none, right = kv::FileGeometry{{3, 2, 2}, 4}, wrong = kv::FileGeometry{{3, 2, 1}, 4};
  const std::vector<std::tuple<std::string, std::string, std::optional<kv::FileGeometry>, int>> cases = {
      {"m.bot", "", none, 0},
      {"m.bot", model + " --type bot --check", right, 0},
      {"m.bot", " --grid 3,2,1 --type 4", wrong, 0},
      {"m.bot", " --grid 3,2,1 --type 4 --check", wrong, 1},
      {"short.top", " --check", none, 1},
  };
  for (const auto& [file, options, geometry, status] : cases) {
    const auto info = RunCli(dir, "info " + Quote(dir / file) + options);
    EXPECT_EQ(info.status, status) << file << options << "\n" << info.err;
    std::string expected;
    for (const std::string& line : kv::RenderDataFileInfo(kv::DescribeDataFile(dir / file, geometry))) expected += line + "\n";
    EXPECT_EQ(info.out, expected) << file << options;
  }
}

// A refused export prints nothing, to a file or to standard output.
TEST(CliExport, RefusedExportWritesNothing) {
  kvtest::ScratchDir dir;
  std::vector<float> layer(6, 1.0f);
  layer[2] = std::numeric_limits<float>::infinity();
  kv::WriteLayer(dir / "a.top", {3, 2, 2}, 4, 3, 2, layer);
  for (const std::string& output : {" --output " + Quote(dir / "out.dat"), std::string()}) {
    const auto r = RunCli(dir, "export " + Quote(dir / "a.top") + " --grid 3,2,2 --type 3" + output);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("holds inf"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "out.dat"));
  }
}

}  // namespace

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "cli/cli_support.h"
#include "zuduradu/core/conversion.h"
#include "zuduradu/core/period_data_file.h"

namespace {

using kvtest::BlockOf;
using kvtest::FloatAt;
using kvtest::Quote;
using kvtest::ReadAll;
using kvtest::ReferenceOf;
using kvtest::RunCli;
using kvtest::Seq;
using kvtest::Set;
using kvtest::WriteAll;

const std::string kModel = "[VERSION]\nNUMBER=4000\n[DIMENSION]\nNX=3\nNY=2\nNZ=2\n";

// The worked examples of the period data file, run through `convert` step by step.
TEST(CliConvert, WorkedExamplesGiveTheDocumentedBytes) {
  struct Step {
    std::vector<Set> sets;
    std::string options;  // --type and --create
    std::size_t length;
    std::vector<std::pair<int, int>> blocks;  // period, block entry
    std::vector<int> references;              // of periods 1..5; periods 6..1000 follow period 5
    std::vector<std::pair<std::size_t, float>> values;
  };
  struct Case {
    const char* name;
    std::vector<Step> steps;
  };
  const std::vector<Case> cases = {
      {"NX 3, NY 2, NZ 2, type 3: period 1 layer 2 and period 5 layer 1, then period 3 layer 1",
       {{{{1, 2, Seq(1, 6)}, {5, 1, Seq(7, 6)}},
         "--type 3",
         4072,
         {{1, 1}, {5, 2}, {3, 0}},
         {1, 1, 1, 1, 5},
         {{4000, 0}, {4020, 0}, {4024, 1}, {4044, 6}, {4048, 7}, {4068, 12}}},
        {{{3, 1, Seq(20, 6)}},
         "--type top",
         4120,
         {{1, 1}, {5, 2}, {3, 3}},
         {1, 1, 3, 3, 5},
         {{4072, 0}, {4092, 0}, {4096, 20}, {4116, 25}, {4048, 7}}}}},
      {"single-layer type 23: period 5 gets block 2 at 4024",
       {{{{5, 1, Seq(1, 6)}}, "--type .rch", 4048, {{1, 1}, {5, 2}}, {1, 1, 1, 1, 5}, {{4000, 0}, {4024, 1}}}}},
      {"the same period and layer twice: the later values stay, no block is added",
       {{{{2, 1, Seq(1, 6)}, {2, 1, Seq(100, 6)}},
         "--type 3",
         4072,
         {{2, 2}, {3, 0}},
         {1, 2, 2, 2, 2},
         {{4048, 100}}}}},
      {"--create deletes the existing data first",
       {{{{1, 2, Seq(1, 6)}, {5, 1, Seq(7, 6)}}, "--type 3", 4072, {{5, 2}}, {1, 1, 1, 1, 5}, {}},
        {{{3, 1, Seq(20, 6)}},
         "--type 3 --create",
         4072,
         {{1, 1}, {3, 2}, {5, 0}},
         {1, 1, 3, 3, 3},
         {{4024, 0}, {4048, 20}}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    kvtest::ScratchDir dir;
    const auto out = dir / "a.top";
    for (const Step& step : c.steps) {
      WriteAll(dir / "in.dat", kvtest::InputText(step.sets));
      const auto r = RunCli(dir, "convert --input " + Quote(dir / "in.dat") + " --grid 3,2,2 " + step.options +
                                     " --output " + Quote(out));
      ASSERT_EQ(r.status, 0) << r.err;
      const std::string stored = step.sets.size() == 1 ? "1 data set" : std::to_string(step.sets.size()) + " data sets";
      EXPECT_EQ(r.out, stored + " stored, 0 skipped (layer above NZ): " + out.string() + "\n");
      EXPECT_EQ(r.err, "");  // no progress bar when standard error is not a terminal
      const std::string b = ReadAll(out);
      ASSERT_EQ(b.size(), step.length);
      for (auto [period, block] : step.blocks) EXPECT_EQ(BlockOf(b, period), block) << "period " << period;
      for (int p = 1; p <= 1000; ++p) {
        const int expected = step.references[static_cast<std::size_t>(std::min(p, 5) - 1)];
        ASSERT_EQ(ReferenceOf(b, p), expected) << "period " << p;
      }
      for (auto [offset, value] : step.values) EXPECT_EQ(FloatAt(b, offset), value) << "at " << offset;
    }
  }
}

TEST(CliConvert, ModelGivesTheGridAndTheOutputName) {
  kvtest::ScratchDir dir;
  WriteAll(dir / "m.kv5", kModel);
  WriteAll(dir / "in.dat", kvtest::InputText({{1, 1, Seq(1, 6)}, {4, 3, Seq(0, 6)}}));
  const auto r =
      RunCli(dir, "convert --input " + Quote(dir / "in.dat") + " --model " + Quote(dir / "m.kv5") + " --type 4");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1 data set stored, 1 skipped (layer above NZ): " + (dir / "m.bot").string() + "\n");
  EXPECT_EQ(ReadAll(dir / "m.bot").size(), 4048u);

  const auto info = RunCli(dir, "info " + Quote(dir / "m.bot") + " --model " + Quote(dir / "m.kv5") + " --type bot");
  EXPECT_EQ(info.status, 0) << info.err;
  EXPECT_NE(info.out.find("Length expected: 4048 bytes (the header and 1 block)"), std::string::npos) << info.out;
}

// A refused run says why on standard error and leaves the output file as it was.
TEST(CliConvert, RefusedRunsLeaveTheFileUnchanged) {
  struct Case {
    const char* name;
    std::string input;  // empty: no input file at all
    std::string options;
    std::string words;
  };
  const std::vector<Case> cases = {
      {"period outside 1..1000", kvtest::InputText({{2, 1, Seq(1, 6)}, {1001, 1, Seq(1, 6)}}), "", "outside 1..1000"},
      {"period outside 1..1000, --create", kvtest::InputText({{1001, 1, Seq(1, 6)}}), "--create", "outside 1..1000"},
      {"input ends early", "2\n3 1\n1 2 3 4 5 6\n", "", "Data set 2"},
      {"missing input", "", "", "Could not find the input file "},
      {"model too old", kvtest::InputText({{2, 1, Seq(1, 6)}}), "--model OLD", "older than 4000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    kvtest::ScratchDir dir;
    const auto out = dir / "a.top";
    WriteAll(dir / "first.dat", kvtest::InputText({{1, 1, Seq(1, 6)}, {5, 2, Seq(7, 6)}}));
    ASSERT_EQ(
        RunCli(dir, "convert --input " + Quote(dir / "first.dat") + " --grid 3,2,2 --type 3 --output " + Quote(out))
            .status,
        0);
    const std::string before = ReadAll(out);
    if (!c.input.empty()) WriteAll(dir / "in.dat", c.input);
    WriteAll(dir / "old.kv5", "[VERSION]\nNUMBER=3999\n[DIMENSION]\nNX=3\nNY=2\nNZ=2\n");
    std::string options = c.options;
    options = options == "--model OLD" ? "--model " + Quote(dir / "old.kv5") : options + " --grid 3,2,2";
    const auto r =
        RunCli(dir, "convert --input " + Quote(dir / "in.dat") + " " + options + " --type 3 --output " + Quote(out));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(c.words), std::string::npos) << r.err;
    EXPECT_EQ(ReadAll(out), before);
    EXPECT_FALSE(std::filesystem::exists(kv::PartialPath(out)));
  }
}

TEST(Cli, UsageErrorsExitWithStatus2AndWriteNothing) {
  kvtest::ScratchDir dir;
  WriteAll(dir / "in.dat", kvtest::InputText({{1, 1, Seq(1, 6)}}));
  WriteAll(dir / "m.kv5", kModel);
  ASSERT_EQ(RunCli(dir, "convert --input " + Quote(dir / "in.dat") + " --grid 3,2,2 --type 3 --output " +
                            Quote(dir / "data.top"))
                .status,
            0);
  const std::string in = "--input " + Quote(dir / "in.dat");
  const std::string data = Quote(dir / "data.top");
  const std::string out = " --output " + Quote(dir / "out.top");
  const std::vector<std::string> cases = {
      "",
      "frobnicate",
      "convert --grid 3,2,2 --type 3" + out,
      "convert " + in + " --grid 3,2,2" + out,
      "convert " + in + " --grid 3,2,2 --type 35" + out,
      "convert " + in + " --grid 3,2,2 --type 2001" + out,
      "convert " + in + " --grid 3,2,2 --type -3" + out,
      "convert " + in + " --grid 3,2,2 --type xyz" + out,
      "convert " + in + " --grid 3,2 --type 3" + out,
      "convert " + in + " --grid 3,2,2,2 --type 3" + out,
      "convert " + in + " --grid 0,2,2 --type 3" + out,
      "convert " + in + " --grid 3,2,40000 --type 3" + out,
      "convert " + in + " --grid 3,2,2 --type 3",
      "convert " + in + " --type 3" + out,
      "convert " + in + " --model " + Quote(dir / "m.kv5") + " --grid 3,2,2 --type 3" + out,
      "convert " + in + " --grid 3,2,2 --type 3 --bogus" + out,
      "export " + data + " --grid 3,2,2 --type 3 --periods 0" + out,
      "export " + data + " --grid 3,2,2 --type 3 --periods 1001" + out,
      "export " + data + " --grid 3,2,2 --type 3 --periods 5-3" + out,
      "export " + data + " --grid 3,2,2 --type 3 --periods 1,,2" + out,
      "export " + data + " --grid 3,2,2 --type 3 --periods x" + out,
      "export --grid 3,2,2 --type 3" + out,
      "export " + data + " --grid 3,2,2" + out,
      "export " + data + " --type 3" + out,
      "info " + data + " --grid 3,2,2",
      "info " + data + " --type 3",
      "types extra",
  };
  for (const std::string& args : cases) {
    const auto r = RunCli(dir, args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_EQ(r.out, "") << args;
    EXPECT_NE(r.err, "") << args;
    EXPECT_FALSE(std::filesystem::exists(dir / "out.top")) << args;
  }
}

TEST(Cli, HelpAndVersion) {
  kvtest::ScratchDir dir;
  for (const std::string& command : std::vector<std::string>{"", "convert", "export", "info", "types"}) {
    const auto r = RunCli(dir, command + " --help");
    EXPECT_EQ(r.status, 0) << command;
    const std::string usage = "Usage: kvcvrt-cli" + (command.empty() ? "" : " " + command);
    EXPECT_NE(r.out.find(usage), std::string::npos) << r.out;
  }
  const auto r = RunCli(dir, "--version");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "kvcvrt-cli " KVCVRT_VERSION "\n");
}

TEST(Cli, TypesListsTheTypeList) {
  kvtest::ScratchDir dir;
  const auto r = RunCli(dir, "types");
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 32);  // a heading and 31 rows
  EXPECT_NE(r.out.find(" 14  (RCH) Recharge Rate "), std::string::npos);
  EXPECT_NE(r.out.find("  23  .rch       yes\n 15  (RCH)"), std::string::npos) << r.out;
}

TEST(CliInfo, DescribesTheHeaderAndWhatIsInconsistent) {
  kvtest::ScratchDir dir;
  WriteAll(dir / "in.dat", kvtest::InputText({{1, 2, Seq(1, 6)}, {5, 1, Seq(7, 6)}}));
  ASSERT_EQ(RunCli(dir, "convert --input " + Quote(dir / "in.dat") + " --grid 3,2,2 --type 3 --output " +
                            Quote(dir / "a.top"))
                .status,
            0);
  // The same header with period 5's block cut off and periods 1-4 naming period 3.
  std::string damaged = ReadAll(dir / "a.top").substr(0, 4048);
  for (int p = 1; p <= 4; ++p) damaged[static_cast<std::size_t>(2 * (p - 1))] = 3;
  WriteAll(dir / "damaged.top", damaged);
  WriteAll(dir / "short.top", std::string(100, '\0'));

  struct Case {
    std::string args;
    int status;
    std::vector<std::string> lines;
  };
  const std::string grid = " --grid 3,2,2 --type 3";
  const std::vector<Case> cases = {
      {Quote(dir / "a.top"),
       0,
       {"References: periods 1-4 use period 1; periods 5-1000 use period 5", "Grid: not given"}},
      {Quote(dir / "a.top") + grid + " --check", 0, {"Length expected: 4096 bytes", "No inconsistencies found."}},
      {Quote(dir / "damaged.top") + grid, 0, {"Inconsistencies: 2", "periods 1-4 use period 3, which has no block."}},
      {Quote(dir / "damaged.top") + grid + " --check", 1, {"Block 2 of period 5 begins at byte 4048"}},
      {Quote(dir / "short.top") + " --check",
       1,
       {"100 bytes long, shorter than the 4000-byte header of a period data file."}},
      {Quote(dir / "none.top"), 1, {}},
  };
  for (const Case& c : cases) {
    const auto r = RunCli(dir, "info " + c.args);
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
    for (const std::string& line : c.lines) EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
  }
}

TEST(CliExport, RefusesValuesTheTextCannotHoldAndWritesNothing) {
  kvtest::ScratchDir dir;
  std::vector<float> layer = Seq(1, 6);
  layer[2] = std::numeric_limits<float>::infinity();
  kv::WriteLayer(dir / "a.top", {3, 2, 2}, 4, 3, 2, layer);
  for (const std::string& output : {" --output " + Quote(dir / "out.dat"), std::string()}) {
    const auto r = RunCli(dir, "export " + Quote(dir / "a.top") + " --grid 3,2,2 --type 3" + output);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("layer 2 of block 2 (period 4), row 1, column 3 holds inf"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "out.dat"));
  }
}

}  // namespace

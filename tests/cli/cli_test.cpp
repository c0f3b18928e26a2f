// kvcvrt-cli's wiring: its options reach the core's requests, the core's answers
// reach the user as output, messages and exit statuses; and the conventions
// scripts rely on: "-" for the standard streams, short options, --quiet, the
// shell completion. The core's own rules are the core tests' business.
#include <algorithm>
#include <gtest/gtest.h>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "cli/cli_support.h"
#include "zuduradu/core/ascii.h"
#include "zuduradu/core/format/data_file_info.h"
#include "zuduradu/core/format/period_data_file.h"
#include "zuduradu/core/model/model_paths.h"
#include "zuduradu/core/run/conversion.h"
#include "zuduradu/core/storage/file_system.h"

namespace {

using kvtest::Convert;
using kvtest::Quote;
using kvtest::ReadAll;
using kvtest::RunCli;
using kvtest::WriteAll;

// A name derived from the model's path: lower-cased where file names ignore case.
std::string NameFromModel(const std::filesystem::path& p) {
  return kv::NativePathCase() == kv::PathCase::Fold ? kv::AsciiLowered(kv::PathText(p)) : kv::PathText(p);
}

// `convert` hands its arguments to the core's run: the file it writes is the one
// the core writes for the same request, run after run, and it says what was stored.
TEST(CliConvert, WritesWhatTheCoreWrites) {
  // sets, options, type code, whether a new file, what it says
  const std::vector<std::tuple<std::vector<kvtest::Set>, std::string, int, bool, std::string>> steps = {
      {{{1, 2, 1}, {5, 1, 7}}, "--type 3", 3, false, "2 data sets stored, 0 skipped"},
      {{{3, 1, 20}, {4, 3, 0}}, "-t top", 3, false, "1 data set stored, 1 skipped"},
      {{{3, 1, 20}}, "--type .top --create", 3, true, "1 data set stored, 0 skipped"},
      {{{5, 1, 1}}, "--type rch", 23, false, "1 data set stored, 0 skipped"},
  };
  kvtest::ScratchDir dir;
  for (const auto& [sets, options, type, create, said] : steps) {
    const auto out = dir / (type == 23 ? "a.rch" : "a.top");
    const auto r = Convert(dir, sets, "--grid 3,2,2 " + options + " --output " + Quote(out));
    ASSERT_EQ(r.status, 0) << r.err;
    const auto core = dir / ("core." + out.extension().string());
    kv::RunConversion({{{dir / "in.dat"}}, core, type, {3, 2, 2}, create});
    EXPECT_TRUE(kvtest::SameBytes(ReadAll(out), ReadAll(core))) << options;
    EXPECT_EQ(r.out, said + " (layer above NZ): " + kv::PathText(out) + "\n");
    // No progress bar when standard error is not a terminal; the skipped set is named.
    EXPECT_EQ(r.err, said.find("1 skipped") == std::string::npos ? "" : "warning: " + kv::PathText(dir / "in.dat") +
                         ": 1 data set was skipped, as its layer is above NZ = 2; it is data set 2 (layer 3, line 4)\n");
  }
}

// A run the core refuses is status 1, a usage error status 2; either way the
// message goes to standard error, saying for a slip of the keyboard what was
// meant, nothing is written and the file stays as it was. Text from standard
// input is named so.
TEST(Cli, RefusedRunsAndUsageErrorsLeaveTheFileUnchanged) {
  kvtest::ScratchDir dir;
  const std::string data = Quote(dir / "a.top");
  const std::string out = " --output " + data;
  ASSERT_EQ(Convert(dir, {{1, 1, 1}, {5, 2, 7}}, "--grid 3,2,2 --type 3" + out).status, 0);
  const std::string before = ReadAll(dir / "a.top");
  WriteAll(dir / "old.kv5", "[VERSION]\nNUMBER=3999\n[DIMENSION]\nNX=3\nNY=2\nNZ=2\n");
  WriteAll(dir / "in.dat", kvtest::InputText({{1001, 1, 1}}, 6));
  WriteAll(dir / "stdin.dat", "1\n1 1\n1 2 x\n");
  WriteAll(dir / "g.asc", "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n1 2 3\n4 5 6\n");
  std::vector<float> layer(6, 1.0f);
  layer[2] = std::numeric_limits<float>::infinity();
  kv::WriteLayer(dir / "inf.top", {3, 2, 2}, 4, 3, 2, layer);
  const std::string inf = "export " + Quote(dir / "inf.top") + " --grid 3,2,2 --type 3";
  const std::string in = "convert --input " + Quote(dir / "in.dat");
  const std::vector<std::tuple<std::string, int, std::string>> cases = {  // arguments, status, words
      {"convert -i - -g 3,2,2 -t 3" + out, 1, "line 3, column 5 of standard input: \"x\" is not a number"},
      {inf + " --output " + Quote(dir / "x.txt"), 1, "holds inf"},
      {inf, 1, "holds inf"},  // nothing on standard output either
      {"", 2, "A subcommand is required"},
      {in + " --grid 3,2,2" + out, 2, "--type is required"},
      {in + " --grid 3,2,2 --type 0 -o " + Quote(dir / "a."), 2, "Select the type of the input data (--type)"},
      {in + " --grid 3,2,2 --type 35" + out, 2, "--type: \"35\" is neither a type code"},
      {in + " --grid 3,2 --type 3" + out, 2, "--grid: \"3,2\" is not three whole numbers"},
      {in + " --grid 3,2,2 --type 3 --threads 0" + out, 2, "--threads"},
      {in + " --model " + Quote(dir / "old.kv5") + " --grid 3,2,2 --type 3" + out, 2, "--model excludes --grid"},
      {in + " --grid 3,2,2 --type 3", 2, "--grid needs --output"},
      {"export " + data + " --grid 3,2,2 --type 3 --periods 5-3 --output " + Quote(dir / "x.txt"), 2, "runs backwards"},
      {"info " + data + " --grid 3,2,2", 2, "--type is needed with --model or --grid"},
      {"info " + data + " --type 3", 2, "--type needs --model or --grid"},
      {"convert --inptu in.dat -g 3,2,2 -t 3", 2, "unknown option --inptu; did you mean --input?"},
      {"convert -input in.dat -g 3,2,2 -t 3 --creat", 2, "unknown option --creat; did you mean --create?"},
      {"export " + data + " -g 3,2,2 -t 3 --perods=1", 2, "unknown option --perods; did you mean --periods?"},
      {"convert --frobnicate", 2, "unknown option --frobnicate"},
      {"convrt", 2, "unknown command convrt; did you mean convert?"},
      {"help exprot", 2, "unknown command exprot; did you mean export?"},
      {"convert -i in.dat -g 3,2,2 -t 3 -o -", 2, "--output cannot be - (standard output): a period data file is "
                                                 "written in place with seeks, which a pipe cannot do."},
      {"export - -g 3,2,2 -t 3", 2, "DATAFILE cannot be - (standard input): a period data file is read in place"},
      {"info -", 2, "DATAFILE cannot be - (standard input)"},
      {"convert -i " + Quote(dir / "g.asc") + " -g 3,2,2 -t 3 --layer 1" + out, 1, "without a period of its own"},
      {"convert -i " + Quote(dir / "g.asc") + " -g 3,2,2 -t 3 --period 1 --layer 1 --band 0" + out, 2, "--band"},
      {"export " + data + " -g 3,2,2 -t 3 --layer 1", 2, "are for a raster export"},
      {"export " + data + " -g 3,2,2 -t 3 -o " + Quote(dir / "x.asc") + " --origin 1", 2, "--origin: \"1\" is not"},
  };
  for (const auto& [args, status, words] : cases) {
    const auto r = RunCli(dir, args, dir / "stdin.dat");
    EXPECT_EQ(r.status, status) << args;
    EXPECT_EQ(r.out, "") << args;
    EXPECT_NE(r.err.find(words), std::string::npos) << args << "\n" << r.err;
    EXPECT_TRUE(kvtest::SameBytes(ReadAll(dir / "a.top"), before)) << args;
  }
  EXPECT_TRUE(kvtest::LeftBeside(dir / "a.top").empty());
  EXPECT_FALSE(std::filesystem::exists(dir / "x.txt"));
}

// A raster goes in at its period and layer, the filled cells counted; layers go
// out as rasters, the placement left to its defaults said in a warning.
TEST(CliRaster, ConvertsAGridAndExportsLayersAsGrids) {
  kvtest::ScratchDir dir;
  WriteAll(dir / "g.asc", "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -1\n1 -1 3\n4 5 -1\n");
  const std::string data = Quote(dir / "a.top");
  const auto in = RunCli(dir, "convert -i " + Quote(dir / "g.asc") + " -g 3,2,2 -t 3 --period 2 --layer 2 --nodata-fill 0 -o " + data);
  EXPECT_EQ(in.out, "1 data set stored, 0 skipped (layer above NZ), 2 no-data cells filled: " + kv::PathText(dir / "a.top") + "\n");
  const auto out = RunCli(dir, "export " + data + " -g 3,2,2 -t 3 --periods 2 --layer 2 --cell-size 5 -o " + Quote(dir / "p{period}.asc"));
  EXPECT_EQ(out.status, 0) << out.err;
  EXPECT_EQ(out.err, "warning: the raster is placed with its lower left corner at 0,0 (give --origin X,Y and --cell-size D "
                     "to place it where the model lies)\n");
  EXPECT_EQ(ReadAll(dir / "p2.asc"), "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 5\n1 0 3\n4 5 0\n");
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
  EXPECT_NE(r.out.find(" 14  (RCH) Recharge Rate "), std::string::npos);
  EXPECT_NE(r.out.find("  23  .rch       yes\n 15  (RCH)"), std::string::npos) << r.out;
}

// --model gives the grid and the output name; named outside ASCII, the files
// are found and written and the message names them in UTF-8. `info` prints the
// core's description of the file, against the grid of --model or --grid when
// one is given; --check makes a problem status 1.
TEST(CliInfo, ModelNamesOutsideAsciiAndTheCoresDescription) {
  kvtest::ScratchDir dir;
  const std::filesystem::path folder = dir.path() / kv::PathFromUtf8("B\u00f6den \u00dc");
  std::filesystem::create_directory(folder);
  const auto input = folder / kv::PathFromUtf8("Eingabe \u00e4.dat"), bot = folder / kv::PathFromUtf8("B\u00f6den.bot");
  const std::string model = " --model " + Quote(folder / kv::PathFromUtf8("B\u00f6den.kv5"));
  WriteAll(folder / kv::PathFromUtf8("B\u00f6den.kv5"), "[VERSION]\nNUMBER=4000\n[DIMENSION]\nNX=3\nNY=2\nNZ=2\n");
  WriteAll(input, kvtest::InputText({{1, 1, 1}}, 6));
  const auto r = RunCli(dir, "convert --input " + Quote(input) + model + " --type 4");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1 data set stored, 0 skipped (layer above NZ): " + NameFromModel(bot) + "\n");
  WriteAll(dir / "short.top", std::string(100, '\0'));
  const std::optional<kv::FileGeometry> none, right = kv::FileGeometry{{3, 2, 2}, 4}, wrong = kv::FileGeometry{{3, 2, 1}, 4};
  const std::vector<std::tuple<std::filesystem::path, std::string, std::optional<kv::FileGeometry>, int>> cases = {
      {bot, "", none, 0},
      {bot, model + " --type bot --check", right, 0},
      {bot, " --grid 3,2,1 --type 4", wrong, 0},
      {bot, " --grid 3,2,1 --type 4 --check", wrong, 1},
      {dir / "short.top", " --check", none, 1},
  };
  for (const auto& [file, options, geometry, status] : cases) {
    const auto info = RunCli(dir, "info " + Quote(file) + options);
    EXPECT_EQ(info.status, status) << options << "\n" << info.err;
    std::string expected;
    for (const std::string& line : kv::RenderDataFileInfo(kv::DescribeDataFile(file, geometry))) expected += line + "\n";
    EXPECT_EQ(info.out, expected) << options;
  }
}

// show, stats and diff wired in: the exit status of diff, which a calibration
// loop acts on, and the usage errors of the three commands.
TEST(ViewCli, DiffSaysByItsStatusWhetherTwoFilesAgreeAndRefusesAWrongCommandLine) {
  const kvtest::ScratchDir dir;
  const std::string grid = " -g 3,2,1 -t top ";
  ASSERT_EQ(Convert(dir, {{1, 1, 1}, {2, 1, 1}}, grid + "-c -o " + Quote(dir / "a.top")).status, 0);
  ASSERT_EQ(Convert(dir, {{1, 1, 1.25f}, {2, 1, 1}}, grid + "-c -o " + Quote(dir / "b.top")).status, 0);
  const std::string files = Quote(dir / "a.top") + " " + Quote(dir / "b.top");
  const std::vector<std::tuple<std::string, int, std::string>> cases = {  // arguments, status, what it says
      {"diff " + Quote(dir / "a.top") + " " + Quote(dir / "a.top") + grid, 0, "agree within 0 in 2 layers"},
      {"diff " + files + grid, 1, "differs\nThe other layer agrees within 0 (--all lists every layer)\n"},
      {"diff " + files + grid + "--all", 1, "  equal\n" + (dir / "a.top").string() + " and " + (dir / "b.top").string() +
                                              " differ: 1 of 2 layers beyond the tolerance 0, 0 in one file only\n"},
      {"diff " + files + grid + "--tolerance 0.25 --csv", 0, "1,1,0.25,1,1,0.2,1,1,within\n"},
      {"diff " + files + grid + "--tolerance 0.2 -q", 1, ""},  // says nothing (checked below)
      {"diff " + files + grid + "--tolerance -1", 2, "--tolerance"},
      {"diff " + Quote(dir / "a.top") + grid, 2, "SECOND"},
      {"diff " + Quote(dir / "a.top") + " " + Quote(dir / "none.top") + grid, 1, "none.top"},
      {"stats " + Quote(dir / "a.top") + " -g 3,2,1 --csv", 2, "--type is needed"},
      {"show " + Quote(dir / "a.top") + grid + "-o " + Quote(dir / "a.png"), 2, "--period or --periods is needed"},
      {"show " + Quote(dir / "a.top") + grid + "--period 1 --range=3,1 -o a.png", 2, "LO below HI"},
      {"show " + Quote(dir / "a.top") + grid + "--minus " + Quote(dir / "b.top") + " --periods all -o " + Quote(dir / "d{period}.png"),
       0, "d1.png: 3 x 2 cells, largest difference -0.25 at row 1, column 1; colours from -0.25 to 0.25\n"},
      {"show -i " + Quote(dir / "in.dat") + " -g 3,2,1 --set 3 -o " + Quote(dir / "a.png"), 1, "no data set 3"},
  };
  for (const auto& [args, status, said] : cases) {
    const kvtest::Outcome o = RunCli(dir, args);
    EXPECT_EQ(o.status, status) << args << "\n" << o.err;
    EXPECT_NE((o.out + o.err).find(said), std::string::npos) << args << "\n" << o.out << o.err;
    EXPECT_TRUE(!said.empty() || (o.out + o.err).empty()) << args;
  }
}

// The same data through files and long options, and through the standard
// streams and short options, gives the same bytes and the same text; --quiet
// drops the result line and nothing else.
TEST(CliConventions, StandardStreamsShortOptionsAndQuietMatchFilesAndLongOptions) {
  kvtest::ScratchDir dir;
  const std::string top = " --grid 3,2,2 --type 3 ";
  ASSERT_EQ(Convert(dir, {{1, 2, 1}, {5, 1, 7}, {3, 4, 0}}, top + "--create --output " + Quote(dir / "file.top")).status, 0);
  ASSERT_EQ(RunCli(dir, "export " + Quote(dir / "file.top") + top + "--output " + Quote(dir / "back.dat")).status, 0);
  const std::vector<std::tuple<std::string, std::string, std::string, bool>> cases = {  // arguments, output, same as, says
      {"convert -i - -g 3,2,2 -t top -c -o ", "stdin.top", "file.top", true},
      {"export " + Quote(dir / "stdin.top") + " -g 3,2,2 -t 3 -o ", "-", "back.dat", false},
      {"convert -q -i - -g 3,2,2 -t 3 -o ", "q.top", "file.top", false},
      {"export --quiet " + Quote(dir / "file.top") + " -g 3,2,2 -t 3 -o ", "q.dat", "back.dat", false},
  };
  for (const auto& [args, output, same, says] : cases) {
    const auto r = RunCli(dir, args + (output == "-" ? "-" : Quote(dir / output)), dir / "in.dat");
    ASSERT_EQ(r.status, 0) << args << "\n" << r.err;
    EXPECT_EQ(r.err, args.starts_with("convert") ? "warning: standard input: 1 data set was skipped, as its layer is "
                                                   "above NZ = 2; it is data set 3 (layer 4, line 6)\n" : "") << args;
    if (output == "-") {
      EXPECT_EQ(r.out, ReadAll(dir / same));
      continue;
    }
    EXPECT_TRUE(kvtest::SameBytes(ReadAll(dir / output), ReadAll(dir / same))) << args;
    EXPECT_EQ(r.out, says ? "2 data sets stored, 1 skipped (layer above NZ): " + (dir / output).string() + "\n" : "");
  }
}

#ifndef _WIN32
// A full disk behind standard output fails the run, whatever printed to it.
TEST(CliConventions, AFullStandardOutputIsStatusOne) {
  kvtest::ScratchDir dir;
  kv::WriteLayer(dir / "a.top", {3, 2, 2}, 1, 3, 1, std::vector<float>(6, 1.0f));
  for (const std::string& args :
       {std::string("types"), std::string("--help"), "export " + Quote(dir / "a.top") + " -g 3,2,2 -t 3"}) {
    const auto r = RunCli(dir, args, {}, "/dev/full");
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_NE(r.err.find("write"), std::string::npos) << args << "\n" << r.err;
  }
}
#endif

// The shell completion lists each command's options by hand: every option the
// command's help shows must be there, and no other.
TEST(CliConventions, CompletionOffersEveryOptionOfEachCommand) {
#ifdef _WIN32
  GTEST_SKIP() << "the bash completion is installed with the Linux programs only";
#endif
  kvtest::ScratchDir dir;
  const std::string script = ReadAll(KVCVRT_COMPLETION);
  for (const std::string command : {"convert", "export", "info", "types", "show", "stats", "diff"}) {
    const std::string key = "    " + command + ") options=\"";
    const std::size_t at = script.find(key);
    ASSERT_NE(at, std::string::npos) << command;
    const std::string listed = " " + script.substr(at + key.size(), script.find('"', at + key.size()) - at - key.size()) + " ";
    const std::string help = RunCli(dir, "help " + command).out;
    std::size_t offered = 0;
    for (std::size_t i = help.find("\n  -"); i != std::string::npos; i = help.find("\n  -", i + 1)) {
      std::string names = help.substr(i + 3, help.find_first_of(" \n", i + 3) - i - 3);  // "-i,--input"
      std::replace(names.begin(), names.end(), ',', ' ');
      std::istringstream words(names);
      for (std::string name; words >> name; ++offered) {
        EXPECT_NE(listed.find(" " + name + " "), std::string::npos) << command << " " << name;
      }
    }
    EXPECT_EQ(static_cast<std::size_t>(std::count(listed.begin(), listed.end(), ' ')) - 1, offered) << command << listed;
  }
}

}  // namespace

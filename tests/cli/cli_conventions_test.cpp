// The command-line conventions scripts rely on: "-" for standard input and
// output, short options, --quiet, suggestions for mistyped words,
// and the exit status when standard output cannot be written.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "cli/cli_support.h"
#include "zuduradu/core/format/period_data_file.h"

namespace {

using kvtest::Quote;
using kvtest::ReadAll;
using kvtest::RunCli;

// The same data through files and long options, and through the standard
// streams and short options, gives the same bytes and the same text.
TEST(CliConventions, StandardStreamsAndShortOptionsMatchFilesAndLongOptions) {
  kvtest::ScratchDir dir;
  kvtest::WriteAll(dir / "in.dat", kvtest::InputText({{1, 2, 1}, {5, 1, 7}, {3, 4, 0}}, 6));
  const auto byFile = RunCli(dir, "convert --input " + Quote(dir / "in.dat") +
                                      " --grid 3,2,2 --type 3 --create --output " + Quote(dir / "file.top"));
  ASSERT_EQ(byFile.status, 0) << byFile.err;
  const auto byStdin =
      RunCli(dir, "convert -i - -g 3,2,2 -t top -c -o " + Quote(dir / "stdin.top"), dir / "in.dat");
  ASSERT_EQ(byStdin.status, 0) << byStdin.err;
  EXPECT_EQ(byStdin.out, "2 data sets stored, 1 skipped (layer above NZ): " + (dir / "stdin.top").string() + "\n");
  EXPECT_TRUE(kvtest::SameBytes(ReadAll(dir / "stdin.top"), ReadAll(dir / "file.top")));

  const auto toFile = RunCli(dir, "export " + Quote(dir / "file.top") + " --grid 3,2,2 --type 3 --output " +
                                      Quote(dir / "back.dat"));
  ASSERT_EQ(toFile.status, 0) << toFile.err;
  const auto toStdout = RunCli(dir, "export " + Quote(dir / "stdin.top") + " -g 3,2,2 -t 3 -o -");
  ASSERT_EQ(toStdout.status, 0) << toStdout.err;
  EXPECT_EQ(toStdout.out, ReadAll(dir / "back.dat"));

  // --quiet drops the result line and nothing else.
  const std::vector<std::string> quiet = {
      "convert -q -i - -g 3,2,2 -t 3 -o " + Quote(dir / "q.top"),
      "export --quiet " + Quote(dir / "file.top") + " -g 3,2,2 -t 3 -o " + Quote(dir / "q.dat"),
  };
  for (const std::string& args : quiet) {
    const auto r = RunCli(dir, args, dir / "in.dat");
    EXPECT_EQ(r.status, 0) << args << "\n" << r.err;
    EXPECT_EQ(r.out + r.err, "") << args;
  }
  EXPECT_TRUE(kvtest::SameBytes(ReadAll(dir / "q.top"), ReadAll(dir / "file.top")));
  EXPECT_EQ(ReadAll(dir / "q.dat"), ReadAll(dir / "back.dat"));
}

// Text from standard input is named so in messages, with the place of the fault.
TEST(CliConventions, AFaultInStandardInputIsPlacedThere) {
  kvtest::ScratchDir dir;
  kvtest::WriteAll(dir / "in.dat", "1\n1 1\n1 2 x\n");
  const auto r = RunCli(dir, "convert -i - -g 3,2,2 -t 3 -o " + Quote(dir / "a.top"), dir / "in.dat");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("line 3, column 5 of standard input: \"x\" is not a number"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "a.top"));
}

// Usage errors (status 2) say what was wrong and, for a slip of the keyboard, what was meant.
TEST(CliConventions, UsageErrorsNameTheWordAndTheNearestValidOne) {
  kvtest::ScratchDir dir;
  const std::string data = Quote(dir / "a.top");
  const std::vector<std::pair<std::string, std::string>> cases = {  // arguments, first line of standard error
      {"convert --inptu in.dat -g 3,2,2 -t 3", "unknown option --inptu; did you mean --input?"},
      {"convert -input in.dat -g 3,2,2 -t 3 --creat", "unknown option --creat; did you mean --create?"},
      {"export " + data + " -g 3,2,2 -t 3 --perods=1", "unknown option --perods; did you mean --periods?"},
      {"convert --frobnicate", "unknown option --frobnicate"},
      {"convrt", "unknown command convrt; did you mean convert?"},
      {"help exprot", "unknown command exprot; did you mean export?"},
      {"convert -i in.dat -g 3,2,2 -t 3 -o -", "--output cannot be - (standard output): a period data file is "
                                               "written in place with seeks, which a pipe cannot do."},
      {"export - -g 3,2,2 -t 3", "DATAFILE cannot be - (standard input): a period data file is read in place"},
      {"info -", "DATAFILE cannot be - (standard input)"},
  };
  for (const auto& [args, line] : cases) {
    const auto r = RunCli(dir, args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_EQ(r.out, "") << args;
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')).substr(0, line.size()), line) << args;
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

// The command-line conventions scripts rely on: "-" for standard input and
// output, short options, --quiet, the shell completion, and the exit status
// when standard output cannot be written.
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
// streams and short options, gives the same bytes and the same text; --quiet
// drops the result line and nothing else.
TEST(CliConventions, StandardStreamsShortOptionsAndQuietMatchFilesAndLongOptions) {
  kvtest::ScratchDir dir;
  const std::string top = " --grid 3,2,2 --type 3 ";
  ASSERT_EQ(kvtest::Convert(dir, {{1, 2, 1}, {5, 1, 7}, {3, 4, 0}}, top + "--create --output " + Quote(dir / "file.top")).status, 0);
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
    EXPECT_EQ(r.err, "") << args;
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

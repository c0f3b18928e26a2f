// show, stats and diff wired into kvcvrt-cli: the exit status of diff, which a
// calibration loop acts on, and the usage errors of the three commands.
#include <gtest/gtest.h>

#include "cli/cli_support.h"

namespace {

using kvtest::Quote;
using kvtest::RunCli;

TEST(ViewCli, DiffSaysByItsStatusWhetherTwoFilesAgreeAndRefusesAWrongCommandLine) {
  const kvtest::ScratchDir dir;
  const std::string grid = " -g 3,2,1 -t top ";
  ASSERT_EQ(kvtest::Convert(dir, {{1, 1, 1}}, grid + "-c -o " + Quote(dir / "a.top")).status, 0);
  ASSERT_EQ(kvtest::Convert(dir, {{1, 1, 1.25f}}, grid + "-c -o " + Quote(dir / "b.top")).status, 0);
  const std::string files = Quote(dir / "a.top") + " " + Quote(dir / "b.top");
  struct Case {
    std::string args;
    int status;
    std::string said;
  };
  const std::vector<Case> cases = {
      {"diff " + Quote(dir / "a.top") + " " + Quote(dir / "a.top") + grid, 0, "agree within 0 in 1 layer"},
      {"diff " + files + grid, 1, "differ: 1 of 1 layers beyond the tolerance 0"},
      {"diff " + files + grid + "--tolerance 0.25 --csv", 0, "1,1,0.25,1,1,0.2,1,1,within\n"},
      {"diff " + files + grid + "--tolerance 0.2 -q", 1, ""},  // says nothing (checked below)
      {"diff " + files + grid + "--tolerance -1", 2, "--tolerance"},
      {"diff " + Quote(dir / "a.top") + grid, 2, "SECOND"},
      {"diff " + files + " -g 3,2,1", 2, "--type"},
      {"diff " + Quote(dir / "a.top") + " " + Quote(dir / "none.top") + grid, 1, "none.top"},
      {"stats " + Quote(dir / "a.top") + " -g 3,2,1 --csv", 2, "--type is needed"},
      {"show " + Quote(dir / "a.top") + grid + "-o " + Quote(dir / "a.png"), 2, "--period is needed"},
      {"show " + Quote(dir / "a.top") + grid + "--period 1 -o " + Quote(dir / "a.top"), 1, "would overwrite"},
      {"show -i " + Quote(dir / "in.dat") + " -g 3,2,1 --set 2 -o " + Quote(dir / "a.png"), 1, "no data set 2"},
      {"stats " + Quote(dir / "a.top") + grid + "--csv", 0, "period,layer,min,max,mean,std,zeros,nodata\n1,1,1,6,3.5,"},
  };
  for (const Case& c : cases) {
    const kvtest::Outcome o = RunCli(dir, c.args);
    EXPECT_EQ(o.status, c.status) << c.args << "\n" << o.err;
    EXPECT_NE((o.out + o.err).find(c.said), std::string::npos) << c.args << "\n" << o.out << o.err;
    EXPECT_TRUE(!c.said.empty() || (o.out + o.err).empty()) << c.args;
  }
}

}  // namespace

#include "zuduradu/core/data_file_info.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

const kv::GridSize kGrid{3, 2, 2};  // a layer is 24 bytes, a block of type 3 is 48
const kv::FileGeometry kTop{kGrid, 3};

// The header of the worked example after its first run: period 1 in block 1,
// period 5 in block 2, references 1-4 to 1 and 5-1000 to 5.
kv::PeriodHeader WorkedExample() {
  kv::PeriodHeader h;
  h.blocks[0] = 1;
  h.blocks[4] = 2;
  for (int p = 1; p <= 1000; ++p)
    h.references[static_cast<std::size_t>(p - 1)] = static_cast<std::int16_t>(p < 5 ? 1 : 5);
  return h;
}

bool Mentions(const std::vector<std::string>& lines, const std::string& words) {
  return std::ranges::any_of(lines, [&](const std::string& l) { return l.find(words) != std::string::npos; });
}

TEST(ReferenceRuns, DescribesTheTableRunByRun) {
  kv::PeriodHeader h = WorkedExample();
  EXPECT_EQ(kv::DescribeReferenceRuns(kv::ReferenceRuns(h.references)),
            "periods 1-4 use period 1; periods 5-1000 use period 5");
  h.references[2] = 3;
  EXPECT_EQ(kv::DescribeReferenceRuns(kv::ReferenceRuns(h.references)),
            "periods 1-2 use period 1; period 3 uses period 3; period 4 uses period 1; periods 5-1000 use period 5");
}

TEST(DescribeHeader, TellsWhatDoesNotFitTogether) {
  struct Case {
    const char* name;
    std::function<void(kv::PeriodHeader&)> change;
    std::int64_t length;
    std::string problem;  // empty: none expected
  };
  const std::vector<Case> cases = {
      {"consistent, ending inside its last block", [](kv::PeriodHeader&) {}, 4072, ""},
      {"consistent, whole", [](kv::PeriodHeader&) {}, 4096, ""},
      {"block past the end", [](kv::PeriodHeader&) {}, 4048, "Block 2 of period 5 begins at byte 4048"},
      {"reference to a period without a block",
       [](kv::PeriodHeader& h) { std::ranges::fill(h.references, std::int16_t{3}); }, 4096,
       "periods 1-1000 use period 3, which has no block"},
      {"reference outside the table", [](kv::PeriodHeader& h) { h.references[1] = 1001; }, 4096,
       "period 2 uses period 1001, outside 1..1000"},
      {"one block for two periods", [](kv::PeriodHeader& h) { h.blocks[6] = 2; }, 4096,
       "Periods 5 and 7 both have block 2"},
      {"negative block number", [](kv::PeriodHeader& h) { h.blocks[6] = -4; }, 4096,
       "Period 7 has the block number -4, below 1"},
      {"length not a whole number of layers", [](kv::PeriodHeader&) {}, 4074, "ends 2 bytes into a layer"},
      {"longer than the blocks need", [](kv::PeriodHeader&) {}, 4144, "48 bytes longer than its blocks need"},
      {"shorter than the header", [](kv::PeriodHeader&) {}, 1999, "1999 bytes long, shorter than the 4000-byte header"},
  };
  for (const Case& c : cases) {
    kv::PeriodHeader h = WorkedExample();
    c.change(h);
    const kv::DataFileInfo info = kv::DescribeHeader(h, c.length, kTop);
    if (c.problem.empty()) {
      EXPECT_TRUE(info.problems.empty()) << c.name << ": " << info.problems.front();
    } else {
      EXPECT_TRUE(Mentions(info.problems, c.problem)) << c.name;
    }
  }
}

TEST(RenderDataFileInfo, SaysItInWords) {
  kv::DataFileInfo info = kv::DescribeHeader(WorkedExample(), 4072, kTop);
  info.file = "a.top";
  const std::vector<std::string> expected = {
      "File: a.top",
      "Length: 4072 bytes",
      "Periods with data of their own: 2",
      "  period 1: block 1",
      "  period 5: block 2",
      "References: periods 1-4 use period 1; periods 5-1000 use period 5",
      "Grid: 3 x 2 x 2 (columns x rows x layers), type 3 (.top): 2 layers per block, 48 bytes per block",
      "Length expected: 4096 bytes (the header and 2 blocks)",
      "The file ends inside block 2, after its layer 1 of 2; the layers after it were never written.",
      "No inconsistencies found.",
  };
  EXPECT_EQ(kv::RenderDataFileInfo(info), expected);
}

}  // namespace

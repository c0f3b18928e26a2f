#include "zuduradu/core/format/data_file_info.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "test_support.h"
#include "zuduradu/core/format/export_plan.h"

namespace {

const kv::FileGeometry kTop{{3, 2, 2}, 3};  // a layer is 24 bytes, a block of type 3 is 48

// After a first run: period 1 in block 1, period 5 in block 2, references 1-4 to 1 and 5-1000 to 5.
kv::PeriodHeader TwoPeriodHeader() {
  kv::PeriodHeader h;
  h.blocks[0] = 1;
  h.blocks[4] = 2;
  for (std::size_t i = 0; i < 1000; ++i) h.references[i] = i < 4 ? 1 : 5;
  return h;
}

TEST(ReferenceRuns, SumsUpPeriodsOfTheirOwnAndThoseThatNameAnother) {
  kv::PeriodHeader h = TwoPeriodHeader();
  h.references[2] = 3;
  EXPECT_EQ(kv::DescribeReferenceRuns(kv::ReferenceRuns(h.references)),
            "period 1: its own block; 2: period 1's; 3: its own block; 4: period 1's; 5: its own block; 6-1000: period 5's");
  for (std::size_t i = 0; i < 1000; ++i) h.references[i] = static_cast<std::int16_t>(std::min<std::size_t>(i + 1, 14));
  EXPECT_EQ(kv::DescribeReferenceRuns(kv::ReferenceRuns(h.references)), "periods 1-14: their own blocks; 15-1000: period 14's");
}

TEST(DescribeHeader, TellsWhatDoesNotFitTogether) {
  using H = kv::PeriodHeader;
  const struct {
    std::function<void(H&)> change;
    std::int64_t length;
    std::string problem;  // empty: none expected
    std::string note;     // empty: none expected
    kv::FileGeometry geometry = kTop;
  } cases[] = {
      {[](H&) {}, 4072, "", "The file ends inside block 2 (period 5), after its layer 1 of 2; the layers after it were never written"},
      {[](H&) {}, 4096, "", ""},
      {[](H&) {}, 4048, "Block 2 of period 5 begins at byte 4048", ""},
      {[](H& h) { std::ranges::fill(h.references, std::int16_t{3}); }, 4096,
       "periods 1-1000 use period 3, which has no block", ""},
      {[](H& h) { h.references[1] = 1001; }, 4096, "period 2 uses period 1001, outside 1..1000", ""},
      {[](H& h) { h.blocks[6] = 2; }, 4096, "Periods 5 and 7 both have block 2", ""},
      {[](H& h) { h.blocks[6] = -4; }, 4096, "Period 7 has the block number -4, below 1", ""},
      {[](H&) {}, 4074, "ends 2 bytes into a layer", ""},
      {[](H&) {}, 4144, "48 bytes longer than its blocks need", ""},
      {[](H&) {}, 1999, "1999 bytes long, shorter than the 4000-byte header", ""},
      {[](H& h) { h.blocks = {}; }, 4000, "use period 1, which has no block", ""},  // a header and no blocks
      // One cell a layer, 32767 layers a block: the last layer of block 16384 is the last the file can address.
      {[](H& h) { h.blocks[4] = 16384; }, 4000 + 16384LL * 32767 * 4, "", "", {{1, 1, 32767}, 3}},
      {[](H& h) { h.blocks[4] = 16385; }, 4000 + 16384LL * 32767 * 4, "Block 16385 of period 5 lies past byte 2,147,483,646",
       "", {{1, 1, 32767}, 3}},
  };
  for (const auto& c : cases) {
    H h = TwoPeriodHeader();
    c.change(h);
    const kv::DataFileInfo info = kv::DescribeHeader(h, c.length, c.geometry);
    const bool found = std::ranges::any_of(info.problems, [&](const std::string& p) { return p.find(c.problem) != p.npos; });
    EXPECT_TRUE(c.problem.empty() ? info.problems.empty() : found) << c.length << ": " << ::testing::PrintToString(info.problems);
    EXPECT_EQ(info.notes, c.note.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.note}) << c.length;
  }
}

// Period 5's block begins where the file ends: it is named as having no layers, and only it.
TEST(PlanExport, APeriodWhoseBlockBeginsAtTheEndHasNoLayers) {
  const kv::ExportPlan plan = kv::PlanExport(TwoPeriodHeader(), 4048, kTop.grid, 3, {}, "a.top");
  EXPECT_EQ(std::pair(plan.layers.size(), plan.periodsWithoutLayers), std::pair(std::size_t{2}, std::vector<int>{5}));
}

// A file read from disk is described by its header once it holds the whole of it, and only then.
TEST(DescribeDataFile, ReadsTheHeaderOnlyWhenTheFileHoldsItWhole) {
  kvtest::ScratchDir dir;
  std::array<unsigned char, kv::kHeaderBytes> header{};
  kv::EncodeHeader(TwoPeriodHeader(), header);
  for (const auto& [length, own] : {std::pair{3999, 0u}, {4000, 2u}, {4024, 2u}}) {
    std::string bytes(header.begin(), header.end());
    bytes.resize(static_cast<std::size_t>(length));
    kvtest::WriteAll(dir / "a.top", bytes);
    EXPECT_EQ(kv::DescribeDataFile(dir / "a.top", kTop).own.size(), own) << length;
  }
}

TEST(RenderDataFileInfo, SaysItInWords) {
  kv::DataFileInfo info = kv::DescribeHeader(TwoPeriodHeader(), 4072, kTop);
  info.file = "a.top";
  const std::vector<std::string> expected = {
      "File: a.top", "Length: 4072 bytes", "Periods with data of their own: 2",
      "  period 1: block 1", "  period 5: block 2",
      "References: period 1: its own block; 2-4: period 1's; 5: its own block; 6-1000: period 5's",
      "Grid: 3 x 2 x 2 (columns x rows x layers), type 3 (.top): 2 layers per block, 48 bytes per block",
      "Length expected: 4096 bytes (the header and 2 blocks)",
      "The file ends inside block 2 (period 5), after its layer 1 of 2; the layers after it were never written.",
      "Consistent, but incomplete: a run that writes those layers completes it.",
  };
  EXPECT_EQ(kv::RenderDataFileInfo(info), expected);
  // Only a misfit of the grid or type refuses conversions; a reference problem alone does not.
  info.problems = {"period 2 refers to period 3"};
  for (const bool misfit : {false, true}) {
    info.misfits.assign(misfit ? 1 : 0, kv::Misfit{.kind = kv::Misfit::Kind::TooLong, .bytes = 4});
    const std::string last = kv::RenderDataFileInfo(info).back();
    EXPECT_EQ(last.starts_with("Converting into this file or reading it with this grid and type is refused"), misfit) << last;
  }
}

}  // namespace

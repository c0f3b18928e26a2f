#include "zuduradu/core/run/data_file_export.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "test_support.h"
#include "zuduradu/core/error.h"
#include "zuduradu/core/format/data_file_reader.h"
#include "zuduradu/core/format/period_data_file.h"
#include "zuduradu/core/run/conversion.h"

namespace {

using namespace kvtest;

const kv::GridSize kGrid{3, 2, 2};  // a layer is 24 bytes, a block of type 3 is 48

TEST(ParsePeriodList, ReadsPeriodsAndRangesAndRefusesTheRest) {
  const std::vector<std::pair<std::string, std::vector<int>>> good = {
      {"1", {1}}, {"1,5,10-12", {1, 5, 10, 11, 12}}, {" 7 , 2 - 3 ", {2, 3, 7}},
      {"5,5,4-5", {4, 5}}, {"1000", {1000}}, {"9-9", {9}}};
  for (const auto& [text, periods] : good) EXPECT_EQ(kv::ParsePeriodList(text), periods) << text;
  EXPECT_EQ(kv::ParsePeriodList("1-1000").size(), 1000u);
  const std::vector<std::pair<std::string, std::string>> bad = {
      {"", "empty"}, {"  ", "empty"}, {"0", "outside 1..1000"}, {"1001", "outside"}, {"99999999999", "outside"},
      {"1,,2", "empty entry"}, {"1,", "empty entry"}, {"a", "not a period"}, {"1.5", "not a period"},
      {"-5", "not a period"}, {"1-", "not a period"}, {"1-2-3", "not a period"}, {"5-3", "runs backwards"}};
  for (const auto& [text, words] : bad) EXPECT_KV_ERROR(kv::ParsePeriodList(text), BadRequest, words) << text;
  EXPECT_KV_ERROR(kv::ParseNumberList("2-4", 3, "layer"), BadRequest, "Layer 4 in the layer list is outside 1..3");
}

TEST(ExportMatrixText, WritesEveryLayerOfTheFileAsInputText) {
  kvtest::ScratchDir dir;
  WriteAll(dir / "in.dat", "2\n1 2\n1 2 3\n4 5 6\n5 1\n0.1 -0 1e-45\n3.4028235e38 -2.5 7\n");
  kv::RunConversion({{{dir / "in.dat"}}, dir / "a.top", 3, kGrid, true});
  std::ostringstream text;
  EXPECT_EQ(kv::ExportMatrixText({dir / "a.top", kGrid, 3, {}, {}}, text).layers.size(), 3u);
  EXPECT_EQ(text.str(), "3\n1 1\n0 0 0\n0 0 0\n1 2\n1 2 3\n4 5 6\n5 1\n0.1 -0 1e-45\n3.4028235e+38 -2.5 7\n");
}

// A value the text cannot express, and more data sets than one input file can
// announce, are refused before anything is written.
TEST(ExportMatrixText, RefusesWhatOneInputTextCannotHold) {
  kvtest::ScratchDir dir;
  std::vector<float> layer(6, 1.0f);
  layer[2] = std::numeric_limits<float>::infinity();
  kv::WriteLayer(dir / "a.top", kGrid, 4, 3, 2, layer);
  std::ostringstream text;
  EXPECT_KV_ERROR(kv::ExportMatrixText({dir / "a.top", kGrid, 3, {}, {}}, text), BadOutput,
                  "a.top: layer 2 of block 2 (period 4), row 1, column 3 holds inf, which matrix input text cannot "
                  "express. Nothing was exported.");
  // 1000 periods of 33 layers make 33,000 data sets; the set count is 16-bit.
  const kv::GridSize grid{1, 1, 33};
  std::vector<std::pair<int, int>> own;
  for (int p = 1; p <= 1000; ++p) own.emplace_back(p, p);
  std::array<unsigned char, kv::kHeaderBytes> header{};
  kv::EncodeHeader(HeaderWith(own), header);
  WriteAll(dir / "b.top", std::string(header.begin(), header.end()) + std::string(1000 * 33 * 4, '\0'));
  EXPECT_KV_ERROR(kv::ExportMatrixText({dir / "b.top", grid, 3, {}, {}}, text), BadRequest, "33000 data sets");
  EXPECT_EQ(text.str(), "");
  EXPECT_EQ(kv::ExportMatrixText({dir / "b.top", grid, 3, kv::ParsePeriodList("1-900"), {}}, text).layers.size(), 29700u);
}

// Export, then convert into a new file: the same bytes for a whole file, and
// the same values in force for a list of periods, with or without data of their own.
TEST(ExportMatrixText, ConvertedBackGivesTheSameFile) {
  int endingInsideABlock = 0;
  for (unsigned seed = 1; seed <= 12; ++seed) {
    std::mt19937 rng(seed);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto randomFloat = [&] {  // every finite float is fair game: subnormals, signed zeros, the largest values
      for (float v = NAN;; v = std::bit_cast<float>(static_cast<std::uint32_t>(rng()))) if (std::isfinite(v)) return v;
    };
    kvtest::ScratchDir dir;
    // The last file is large enough to be formatted in several batches, each on several threads.
    const kv::GridSize g = seed < 12 ? kv::GridSize{pick(1, 6), pick(1, 5), pick(1, 4)} : kv::GridSize{pick(500, 700), pick(150, 250), 2};
    const int type = std::vector<int>{3, 23, 0, 11}[static_cast<std::size_t>(pick(0, 3))];
    const int layers = kv::LayersPerBlock(type, g.nz);
    std::vector<int> pool;
    for (int k = 0; k < 6; ++k) pool.push_back(pick(1, 1000));
    for (int s = pick(3, 12); s > 0; --s) {
      std::vector<float> values(static_cast<std::size_t>(g.nx * g.ny));
      for (float& v : values) v = randomFloat();
      const int layer = pick(1, layers);
      kv::WriteLayer(dir / "a.dat", g, pool[static_cast<std::size_t>(pick(0, 5))], type, layer, values);
    }
    kv::WritePeriodReferences(dir / "a.dat", kv::LoadPeriodTables(dir / "a.dat"));
    const std::string original = kvtest::ReadAll(dir / "a.dat");
    if ((original.size() - 4000) % static_cast<std::size_t>(layers * g.nx * g.ny * 4) != 0) ++endingInsideABlock;
    const std::vector<int> some = {pool[0], pool[3], pick(1, 1000), 1};
    for (const bool whole : {true, false}) {
      kv::ExportMatrixTextToFile({dir / "a.dat", g, type, whole ? std::vector<int>{} : some, {}}, dir / "a.txt");
      kv::RunConversion({{{dir / "a.txt"}}, dir / "b.dat", type, g, true});
      const std::string copy = kvtest::ReadAll(dir / "b.dat");
      EXPECT_TRUE(whole ? kvtest::SameBytes(copy, original) : ::testing::AssertionSuccess()) << "seed " << seed;
      for (int p : whole ? std::vector<int>{} : some) {
        // The copy may hold more layers of a block (read as zeros) than the original did.
        const auto want = kv::ReadPeriodValues(dir / "a.dat", g, type, p, 0), got = kv::ReadPeriodValues(dir / "b.dat", g, type, p, 0);
        ASSERT_GE(got.layersPresent, want.layersPresent) << "seed " << seed << ", period " << p;
        const auto bytes = static_cast<std::size_t>(want.layersPresent * g.nx * g.ny) * 4;  // bit for bit, -0 and all
        EXPECT_EQ(std::memcmp(got.values.data(), want.values.data(), bytes), 0) << "seed " << seed << ", period " << p;
      }
    }
  }
  EXPECT_GT(endingInsideABlock, 0);
}

}  // namespace

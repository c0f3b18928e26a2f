#include "zuduradu/core/format/period_data_file.h"

#include <array>
#include <gtest/gtest.h>
#include <tuple>
#include <vector>

#include "test_support.h"
#include "zuduradu/core/error.h"

namespace {

using namespace kvtest;

const kv::GridSize kGrid{3, 2, 2};  // a layer is 24 bytes, a block of type 3 is 48

std::vector<float> Layer(float first) { return kvtest::Values({0, 0, first}, 6); }

void Rebuild(const std::filesystem::path& p) { kv::WritePeriodReferences(p, kv::LoadPeriodTables(p)); }

// A new file's one block holds one layer for a single-layer type, NZ = 2 for the rest: 4024 or 4048 bytes.
TEST(IsSingleLayerType, DecidesTheBlockSize) {
  kvtest::ScratchDir dir;
  const std::vector<std::pair<int, std::size_t>> cases = {
      {0, 4048},  {16, 4048}, {17, 4024}, {20, 4024}, {21, 4048}, {22, 4048}, {23, 4024}, {24, 4024},
      {25, 4048}, {45, 4048}, {46, 4024}, {47, 4048}, {48, 4024}, {49, 4048}, {84, 4048}, {85, 4024},
      {89, 4024}, {90, 4048}, {230, 4048}, {231, 4024}, {290, 4024}, {291, 4048}, {2000, 4048}};
  for (const auto& [code, length] : cases) {
    ASSERT_TRUE(kv::CreateDataFile(kGrid, dir / std::to_string(code), 0.0f, code));
    EXPECT_EQ(ReadAll(dir / std::to_string(code)).size(), length) << code;
  }
}

// Two runs on a 3 x 2 x 2 grid of type 3, byte for byte: a new file, a new block that
// leaves the file ending inside it, the rebuild, and a later block past that end.
TEST(PeriodDataFile, TwoRunsByteForByte) {
  kvtest::ScratchDir dir;
  const auto path = dir / "a.top";

  // Period 1 layer 2: the file is created with a zero block, the layer goes to 4024.
  kv::WriteLayer(path, kGrid, 1, 3, 2, Layer(1));
  std::string b = ReadAll(path);
  ASSERT_EQ(b.size(), 4048u);
  for (int p = 1; p <= 1000; ++p)
    ASSERT_EQ(std::tuple(ReferenceOf(b, p), BlockOf(b, p)), std::tuple(1, int{p == 1})) << p;
  for (std::size_t i = 0; i < 6; ++i)
    EXPECT_EQ(std::pair(FloatAt(b, 4000 + 4 * i), FloatAt(b, 4024 + 4 * i)), std::pair(0.0f, 1.0f + float(i))) << i;

  // Period 5 layer 1: block 2 at 4048; the file ends inside block 2.
  kv::WriteLayer(path, kGrid, 5, 3, 1, Layer(10));
  b = ReadAll(path);
  ASSERT_EQ(b.size(), 4072u);
  EXPECT_EQ(std::tuple(ReferenceOf(b, 5), BlockOf(b, 5), b.substr(2008, 2)), std::tuple(5, 2, std::string("\2\0", 2)));
  EXPECT_EQ(FloatAt(b, 4048), 10.0f);
  kv::WriteLayer(path, kGrid, 5, 3, 1, Layer(11));  // a layer written again stays in its block
  const std::string again = ReadAll(path);
  EXPECT_EQ(again.substr(0, 4048) + std::to_string(again.size()), b.substr(0, 4048) + "4072");
  EXPECT_EQ(FloatAt(again, 4048), 11.0f);

  // Classification and rebuild.
  const kv::PeriodTable classified = kv::LoadPeriodTables(path);
  for (int p = 1; p <= 1000; ++p)
    EXPECT_EQ(classified[static_cast<std::size_t>(p - 1)], (p == 1 || p == 5) ? kv::kOwnData : kv::kNoBlock);
  kv::WritePeriodReferences(path, classified);
  b = ReadAll(path);
  for (int p = 1; p <= 1000; ++p) ASSERT_EQ(ReferenceOf(b, p), p < 5 ? 1 : 5) << p;

  // A second run: period 3 layer 1 gets block 3 at 4096; 4072..4095 read as zeros.
  kv::WriteLayer(path, kGrid, 3, 3, 1, Layer(20));
  Rebuild(path);
  b = ReadAll(path);
  ASSERT_EQ(b.size(), 4120u);
  EXPECT_EQ(std::tuple(BlockOf(b, 3), FloatAt(b, 4096), b.substr(4072, 24)),
            std::tuple(3, 20.0f, std::string(24, '\0')));
  for (const auto& [p, reference] : {std::pair{1, 1}, {2, 1}, {3, 3}, {4, 3}, {5, 5}, {6, 5}, {1000, 5}})
    EXPECT_EQ(ReferenceOf(b, p), reference) << p;
}

// A new file holds one block of the fill value, of one layer for a single-layer
// type; an existing file is left alone.
TEST(PeriodDataFile, CreateDataFile) {
  kvtest::ScratchDir dir;
  ASSERT_TRUE(kv::CreateDataFile(kGrid, dir / "f.top", 2.5f, 3));
  const std::string b = ReadAll(dir / "f.top");
  ASSERT_EQ(b.size(), 4048u);
  for (std::size_t o = 4000; o < 4048; o += 4) EXPECT_EQ(FloatAt(b, o), 2.5f);
  ASSERT_TRUE(kv::CreateDataFile(kGrid, dir / "a.rch", 0.0f, 23));  // 4024 bytes: see IsSingleLayerType
  kv::WriteLayer(dir / "a.rch", kGrid, 5, 23, 1, Layer(7));
  EXPECT_EQ(FloatAt(ReadAll(dir / "a.rch"), 4024), 7.0f);  // block 2 of a one-layer type
  kvtest::WriteAll(dir / "x.top", "keep me");
  EXPECT_FALSE(kv::CreateDataFile(kGrid, dir / "x.top", 1.0f, 3));
  EXPECT_EQ(ReadAll(dir / "x.top"), "keep me");
}

TEST(PeriodDataFile, BorrowingPeriodReusesItsBlockWhenWrittenAgain) {
  kvtest::ScratchDir dir;
  const auto path = dir / "b.top";
  kv::WriteLayer(path, kGrid, 2, 3, 1, Layer(1));  // period 2 gets block 2
  Rebuild(path);
  // Make period 2 name period 1 while keeping its block: it is then classified as borrowing.
  kv::BinaryFile(path, kv::BinaryFile::Mode::Update).WriteAt(2, std::array<unsigned char, 2>{1, 0});
  EXPECT_EQ(kv::LoadPeriodTables(path)[1], kv::kBorrowedData);
  Rebuild(path);
  std::string b = ReadAll(path);
  EXPECT_EQ(std::tuple(ReferenceOf(b, 2), BlockOf(b, 2)), std::tuple(1, 2));
  kv::WriteLayer(path, kGrid, 2, 3, 2, Layer(9));
  b = ReadAll(path);
  EXPECT_EQ(std::tuple(ReferenceOf(b, 2), BlockOf(b, 2), FloatAt(b, 4048 + 24)), std::tuple(2, 2, 9.0f));
}

TEST(PeriodTables, NextBlockNumber) {
  struct Case { std::vector<std::pair<int, std::int16_t>> entries; std::optional<std::int16_t> next; };
  const std::vector<Case> cases = {
      {{}, 1}, {{{1, 1}, {2, 7}, {3, 3}}, 8}, {{{500, 32766}}, 32767},
      {{{1, -4}, {9, -32768}}, 1},       // negative entries never count
      {{{1, 2}, {2, 40}}, 41},           // gaps are never filled
      {{{500, 32767}}, std::nullopt},    // no room past 32767
  };
  for (const Case& c : cases) {
    kv::PeriodTable t{};
    for (auto [p, b] : c.entries) t[static_cast<std::size_t>(p - 1)] = b;
    EXPECT_EQ(kv::NextBlockNumber(t), c.next);
  }
}

TEST(PeriodTables, RebuildReferences) {
  struct Case { std::vector<int> own; std::vector<std::pair<int, int>> expect; };  // period, reference
  const std::vector<Case> cases = {
      {{1}, {{1, 1}, {2, 1}, {1000, 1}}}, {{4}, {{1, 1}, {3, 1}, {4, 4}, {1000, 4}}}, {{1, 5}, {{4, 1}, {5, 5}, {999, 5}}},
      {{}, {{1, 1}, {1000, 1}}}, {{1000}, {{999, 1}, {1000, 1000}}},
  };
  for (const Case& c : cases) {
    kv::PeriodTable classified{};
    for (int p : c.own) classified[static_cast<std::size_t>(p - 1)] = kv::kOwnData;
    const kv::PeriodTable refs = kv::RebuildReferences(classified);
    for (auto [p, r] : c.expect) EXPECT_EQ(refs[static_cast<std::size_t>(p - 1)], r) << p;
  }
}

// The last period counts like any other; a block entry of 0 is no block, never one past the end.
TEST(PeriodTables, ThePeriodsAtTheEndsOfTheTables) {
  kv::PeriodHeader h = kvtest::HeaderWith({{1000, 3}});
  h.blocks[998] = 2;  // period 999 has block 2 but names period 1
  const kv::PeriodTable c = kv::ClassifyPeriods(h);
  EXPECT_EQ(std::tuple(c[0], c[998], c[999]), std::tuple(kv::kNoBlock, kv::kBorrowedData, kv::kOwnData));
  EXPECT_EQ(kv::FirstUnaddressableBlock({1000, 1000, 1}, 1, h), std::nullopt);
  h.blocks[999] = 538;  // past the last offset: found although it is the last period
  EXPECT_EQ(kv::FirstUnaddressableBlock({1000, 1000, 1}, 1, h), 1000);
}

TEST(PeriodTables, LayerOffsetLimits) {
  struct Case { kv::GridSize grid; int layers, block, layer; std::optional<std::int64_t> offset; };
  const std::vector<Case> cases = {
      {{3, 2, 2}, 2, 1, 2, 4024}, {{3, 2, 2}, 2, 2, 1, 4048}, {{3, 2, 2}, 2, 3, 1, 4096},
      {{1000, 1000, 1}, 1, 537, 1, 4000 + 4LL * 536 * 1000000},   // last block that fits
      {{1000, 1000, 1}, 1, 538, 1, std::nullopt},                 // past 2,147,483,646
      {{1, 1, 32767}, 32767, 16385, 15384, 2147483644},             // the last offset the file can address
      {{1, 1, 32767}, 32767, 16385, 15385, std::nullopt},
      {{32767, 32767, 2}, 2, 1, 2, std::nullopt},                  // the byte count overflows 32 bits
      {{32767, 32767, 3}, 3, 1, 1, std::nullopt},                  // NX * NY * L overflows 32 bits
      {{3, 2, 2}, 2, -1, 1, std::nullopt},                         // a negative block number
  };
  for (const Case& c : cases) EXPECT_EQ(kv::LayerOffset(c.grid, c.layers, c.block, c.layer), c.offset) << c.block;
  // The largest grid sizes and type code are usable.
  for (const kv::GridSize g : {kv::GridSize{32767, 1, 1}, {1, 32767, 1}, {1, 1, 32767}}) EXPECT_NO_THROW(kv::CheckGrid(g, 2000));
}

}  // namespace

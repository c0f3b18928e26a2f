#include "zuduradu/core/format/data_file_reader.h"

#include <cmath>
#include <gtest/gtest.h>
#include <tuple>
#include <vector>

#include "test_support.h"
#include "zuduradu/core/format/period_data_file.h"

namespace {

const kv::GridSize kGrid{3, 2, 2};  // a layer is 24 bytes, a block of type 3 is 48

using kvtest::HeaderWith;

TEST(PlanExport, RefusesPeriodsWithoutValuesAndDamagedFiles) {
  kv::PeriodHeader noBlock = HeaderWith({{1, 1}});
  noBlock.references[6] = 3;  // period 7 names period 3, which has no block
  kv::PeriodHeader outside = HeaderWith({{1, 1}});
  outside.references[1] = 0;
  const struct { const char* name; kv::PeriodHeader header; std::int64_t length; kv::GridSize grid;
                 std::vector<int> periods; std::string words; } cases[] = {
      {"reference to a period without a block", noBlock, 4048, kGrid, {7}, "which has no block"},
      {"reference outside 1..1000", outside, 4048, kGrid, {2}, "refers to period 0"},
      {"file ends inside a layer", HeaderWith({{1, 1}}), 4030, kGrid, {}, "inside layer 2 of block 1"},
      {"block beyond what the file can address", HeaderWith({{1, 32000}}), 5000, {1000, 1000, 1}, {},
       "outside the range the file can address"},
  };
  for (const auto& c : cases)
    EXPECT_KV_ERROR(kv::PlanExport(c.header, c.length, c.grid, 3, c.periods, "a.top"), BadOutput, c.words) << c.name;
}

// Layers are read in file order; periods that take the same block keep their own
// order; the last period counts like any other, as a period and as a reference.
TEST(PlanExport, ReadsBlocksInFileOrderAndSharedBlocksInPeriodOrder) {
  kv::PeriodHeader h = HeaderWith({{1, 2}, {4, 1}, {1000, 3}});  // 2 and 3 take block 2, 5 block 1
  h.references[998] = 1000;                                       // period 999 takes period 1000's block
  const struct { std::vector<int> periods; std::string order; } cases[] = {
      {{1, 2, 3, 4, 5}, "4:1:1 4:1:2 5:1:1 5:1:2 1:2:1 1:2:2 2:2:1 2:2:2 3:2:1 3:2:2 "},
      {{}, "4:1:1 4:1:2 1:2:1 1:2:2 1000:3:1 1000:3:2 "},
      {{1000, 999}, "1000:3:1 1000:3:2 999:3:1 999:3:2 "},
  };
  for (const auto& c : cases) {
    std::string order;
    for (const kv::ExportedLayer& l : kv::PlanExport(h, 4144, kGrid, 3, c.periods, "a.top").layers)
      order += std::to_string(l.period) + ":" + std::to_string(l.block) + ":" + std::to_string(l.layer) + " ";
    EXPECT_EQ(order, c.order);
  }
  EXPECT_KV_ERROR(kv::PlanExport(h, 4144, kGrid, 3, std::vector<int>{1001}, "a.top"), BadRequest, "outside 1..1000");
}

// Every period with data of its own, in period order with its layers in order,
// straight into the memory given; a layer the file never got is NaN.
TEST(ReadFileValues, PlacesEveryLayerOfEveryPeriodInOrder) {
  kvtest::ScratchDir dir;
  for (const auto& [period, layer, value] : {std::tuple{3, 2, 32.0f}, {3, 1, 31.0f}, {5, 1, 51.0f}})
    kv::WriteLayer(dir / "a.top", kGrid, period, 3, layer, std::vector<float>(6, value));
  std::vector<float> store;
  const kv::FileValues v = kv::ReadFileValues(dir / "a.top", kGrid, 3, [&](const kv::FileValues& f) {
    return std::span(store = std::vector<float>(f.periods.size() * static_cast<std::size_t>(f.layers) * 6, -1.0f));
  });
  EXPECT_EQ(std::tuple(v.periods, v.layers), std::tuple(std::vector<int>{1, 3, 5}, 2));
  std::string layers;  // each layer's first and last value
  for (std::size_t at = 0; at < store.size(); at += 6) layers += std::to_string(store[at]) + "/" + std::to_string(store[at + 5]) + " ";
  EXPECT_EQ(layers, "0.000000/0.000000 0.000000/0.000000 31.000000/31.000000 32.000000/32.000000 51.000000/51.000000 nan/nan ");
}

// A period's values come from the block its reference names; layers past the end are NaN.
TEST(ReadPeriodValues, TakesTheBlockTheReferenceNames) {
  kvtest::ScratchDir dir;
  kv::WriteLayer(dir / "a.top", kGrid, 1, 3, 1, std::vector<float>(6, 1.0f));
  kv::WriteLayer(dir / "a.top", kGrid, 5, 3, 1, std::vector<float>(6, 5.0f));  // the file ends inside block 2
  kv::WritePeriodReferences(dir / "a.top", kv::LoadPeriodTables(dir / "a.top"));
  const kv::PeriodValues v = kv::ReadPeriodValues(dir / "a.top", kGrid, 3, 5, 0);
  EXPECT_EQ(std::tuple(v.source, v.block, v.layers, v.layersPresent), std::tuple(5, 2, 2, 1));
  EXPECT_EQ(v.values[5], 5.0f);
  EXPECT_TRUE(std::isnan(v.values[6]));
  EXPECT_KV_ERROR(kv::ReadPeriodValues(dir / "a.top", kGrid, 3, 7, 2), BadOutput,
                  "a.top: layer 2 of block 2 (period 5) lies past the end of the file");
  for (const auto& [period, layer, words] : {std::tuple{0, 1, "Period 0 is outside 1..1000"},
                                             {1001, 1, "Period 1001 is outside 1..1000"},
                                             {1, -1, "Layer -1 is outside 1..2"}, {1, 3, "Layer 3 is outside 1..2"}}) {
    // Refused before the file is looked for.
    EXPECT_KV_ERROR(kv::ReadPeriodValues(dir / "missing.top", kGrid, 3, period, layer), BadRequest, words);
  }
  EXPECT_EQ(kv::ReadPeriodValues(dir / "a.top", kGrid, 3, 1000, 1).source, 5);  // the last period, by reference
}

}  // namespace

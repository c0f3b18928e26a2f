#include "zuduradu/core/view/stored_layers.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "test_support.h"
#include "zuduradu/core/error.h"
#include "zuduradu/core/format/data_file_reader.h"
#include "zuduradu/core/format/period_data_file.h"

namespace {

const kv::GridSize kGrid{3, 2, 2};
constexpr int kType = 3;  // two layers to a block on this grid

std::vector<float> Layer(float first) { return kvtest::Values({0, 0, first}, 6); }

void Write(const std::filesystem::path& file, const std::vector<std::tuple<int, int, float>>& layers) {
  for (const auto& [period, layer, first] : layers) kv::WriteLayer(file, kGrid, period, kType, layer, Layer(first));
}

TEST(DataFileStats, DescribesEveryStoredLayerOfThePeriodsWithDataOfTheirOwn) {
  const kvtest::ScratchDir dir;
  Write(dir / "a.top", {{3, 2, 10}, {3, 1, 0}, {1, 1, 1}});  // period 1's layer 2 stays as the file was made
  const kv::StatsReport report = kv::DataFileStats({dir / "a.top", kGrid, kType, {}}, 0.0f);
  std::vector<std::string> seen;  // period, layer, min, max, no-data cells
  for (const kv::LayerStatsRow& r : report.rows)
    seen.push_back(std::to_string(r.period) + " " + std::to_string(r.layer) + " " + std::to_string(r.stats.min) + " " +
                   std::to_string(r.stats.max) + " " + std::to_string(r.stats.nodata));
  EXPECT_EQ(seen, (std::vector<std::string>{"1 1 1.000000 6.000000 0", "1 2 nan nan 6", "3 1 1.000000 5.000000 1",
                                            "3 2 10.000000 15.000000 0"}));
}

TEST(DiffDataFiles, ComparesLayerByLayerAndNamesWhatOnlyOneFileHolds) {
  const kvtest::ScratchDir dir;
  Write(dir / "a.top", {{1, 1, 1}, {1, 2, 7}, {2, 1, 0}});
  Write(dir / "b.top", {{1, 1, 1}, {1, 2, 7}, {4, 1, 0}});
  std::vector<float> changed = Layer(7);
  changed[4] += 0.5f;  // row 2, column 2
  kv::WriteLayer(dir / "b.top", kGrid, 1, kType, 2, changed);

  using P = kv::LayerComparison::Presence;
  // Within the tolerance layer by layer, but periods only one file holds keep the files apart.
  const kv::DiffReport d = kv::DiffDataFiles({dir / "a.top", kGrid, kType, {}}, dir / "b.top", 0.5);
  EXPECT_FALSE(d.within);
  ASSERT_EQ(d.layers.size(), 4u);  // each file ends after layer 1 of its last block
  const std::vector<std::tuple<int, int, P>> keys = {{1, 1, P::Both}, {1, 2, P::Both}, {2, 1, P::OnlyFirst}, {4, 1, P::OnlySecond}};
  for (std::size_t i = 0; i < keys.size(); ++i)
    EXPECT_EQ(std::tuple(d.layers[i].period, d.layers[i].layer, d.layers[i].presence), keys[i]) << i;
  EXPECT_EQ(std::tuple(d.layers[0].within, d.layers[1].within, d.layers[2].within, d.layers[3].within),
            std::tuple(true, true, false, false));
  EXPECT_EQ(d.layers[1].difference.maxAbs, 0.5);
  EXPECT_EQ(std::pair(d.layers[1].difference.absRow, d.layers[1].difference.absColumn), std::pair(2, 2));
  // Only the values differ: the tolerance decides.
  std::filesystem::copy_file(dir / "a.top", dir / "c.top");
  kv::WriteLayer(dir / "c.top", kGrid, 1, kType, 2, changed);
  for (const auto& [tolerance, within] : {std::pair{0.0, false}, {0.49, false}, {0.5, true}})
    EXPECT_EQ(kv::DiffDataFiles({dir / "a.top", kGrid, kType, {}}, dir / "c.top", tolerance).within, within) << tolerance;
  EXPECT_TRUE(kv::DiffDataFiles({dir / "a.top", kGrid, kType, {}}, dir / "a.top", 0).within);
}

// A damaged block number in the period table: stats and diff refuse the file as reading a period does.
TEST(DataFileStats, ADamagedPeriodTableIsRefusedAsEveryReaderRefusesIt) {
  const kvtest::ScratchDir dir;
  for (const std::int16_t block : {std::int16_t{-7}, std::int16_t{999}, std::int16_t{3}}) {
    Write(dir / "a.top", {{1, 1, 1}, {2, 1, 2}});
    std::string bytes = kvtest::ReadAll(dir / "a.top");
    bytes[2000] = static_cast<char>(block & 0xFF), bytes[2001] = static_cast<char>(block >> 8);  // period 1's block
    kvtest::WriteAll(dir / "a.top", bytes);
    const kv::StoredFile file{dir / "a.top", kGrid, kType, {}};
    EXPECT_THROW(kv::ReadPeriodValues(file.dataFile, kGrid, kType, 1), kv::Error) << block;
    EXPECT_THROW(kv::DataFileStats(file), kv::Error) << block;
    EXPECT_THROW(kv::DiffDataFiles(file, dir / "a.top", 0), kv::Error) << block;
    std::filesystem::remove(dir / "a.top");
  }
}

TEST(MatrixText, StatsOfEverySetAndOneSetReadWithoutReadingFurther) {
  // The text after set 2 is broken: reading set 2 never gets there.
  const std::string text = "3\n1 1\n1 2 3 4 5 6\n2 3\n6*7\n4 1\nx y z\n";
  kv::MemorySource forSet(text);
  const kv::MatrixSet set = kv::ReadMatrixSet(forSet, "in.dat", kGrid, 2);
  EXPECT_EQ(std::tuple(set.setCount, set.period, set.layer), std::tuple(3, 2, 3));
  EXPECT_EQ(set.values, std::vector<float>(6, 7.0f));

  kv::MemorySource beyond(text);
  EXPECT_THROW(kv::ReadMatrixSet(beyond, "in.dat", kGrid, 4), kv::Error);

  kv::MemorySource good("2\n1 1\n1 2 3 4 5 6\n2 3\n6*7\n");
  const kv::StatsReport report = kv::MatrixTextStats(good, "in.dat", kGrid);
  ASSERT_EQ(report.rows.size(), 2u);
  EXPECT_EQ(std::tuple(report.rows[1].set, report.rows[1].period, report.rows[1].layer), std::tuple(2, 2, 3));
  EXPECT_EQ(report.rows[0].stats.mean, 3.5);
  kv::MemorySource broken(text);
  try {
    kv::MatrixTextStats(broken, "in.dat", kGrid), ADD_FAILURE() << "no error";
  } catch (const kv::Error& e) {
    EXPECT_EQ(std::tuple(e.place().line, e.place().set), std::tuple(7, 3)) << e.what();  // the place, not only its words
  }
}

}  // namespace

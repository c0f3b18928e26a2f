#include "zuduradu/core/view/layer_numbers.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <optional>
#include <random>
#include <tuple>
#include <vector>

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

TEST(StatsOf, MatchesNumbersWorkedOutByHand) {
  struct Case { const char* what; std::vector<float> values; std::optional<float> nodata; float min, max; double mean, std;
                std::int64_t zeros, nodataCells; };
  const std::vector<Case> cases = {
      {"1..6", {1, 2, 3, 4, 5, 6}, {}, 1, 6, 3.5, std::sqrt(35.0 / 12), 0, 0},
      {"nodata left out", {-999, 2, 4, -999}, -999.0f, 2, 4, 3, 1, 0, 2},
      {"zeros counted, not nodata", {0, 0, 3, -999}, -999.0f, 0, 3, 1, std::sqrt(2.0), 2, 1},
      {"one value", {7}, {}, 7, 7, 7, 0, 0, 0},
      // Far from zero with a small spread: the variance keeps its digits.
      {"large offset", {1000.5f, 1000.25f, 1000.75f, 1000.5f}, {}, 1000.25f, 1000.75f, 1000.5, std::sqrt(0.03125), 0, 0},
  };
  for (const Case& c : cases) {
    const kv::LayerStats s = kv::StatsOf(c.values, c.nodata);
    EXPECT_EQ(std::tuple(s.min, s.max, s.zeros, s.nodata, s.cells),
              std::tuple(c.min, c.max, c.zeros, c.nodataCells, static_cast<std::int64_t>(c.values.size()))) << c.what;
    EXPECT_NEAR(s.mean, c.mean, 1e-12) << c.what;
    EXPECT_NEAR(s.std, c.std, 1e-9) << c.what;
  }
}

TEST(StatsOf, GivesNaNWhenNoCellIsDataOrANaNIsAmongThem) {
  const std::vector<std::pair<std::vector<float>, std::optional<float>>> cases = {
      {{-1, -1}, -1.0f}, {{1, kNaN, 3}, {}}, {{}, {}}};
  for (const auto& [values, nodata] : cases) {
    const kv::LayerStats s = kv::StatsOf(values, nodata);
    EXPECT_TRUE(std::isnan(s.min) && std::isnan(s.max) && std::isnan(s.mean) && std::isnan(s.std));
  }
  EXPECT_EQ(kv::StatsOf(std::vector<float>{kNaN, 2}, kNaN).nodata, 1);  // a NaN no-data value matches NaN cells
}

// Random layers read in stretches of any length give the numbers of the whole;
// the whole is checked against numbers worked out by hand above.
TEST(StatsOf, StretchesGiveTheNumbersOfTheWhole) {
  std::mt19937 random(21);
  for (int round = 0; round < 20; ++round) {
    std::uniform_real_distribution<float> value(-50.0f + static_cast<float>(round) * 100, 50.0f + static_cast<float>(round) * 100);
    std::vector<float> values(1 + random() % 3000);
    for (float& v : values) v = random() % 7 == 0 ? -999.0f : random() % 11 == 0 ? 0.0f : value(random);
    kv::StatsSum parts(-999.0f);
    for (std::size_t at = 0; at < values.size(); at += 17) {
      parts.Add(std::span<const float>(values).subspan(at, std::min<std::size_t>(17, values.size() - at)));
    }
    const kv::LayerStats whole = kv::StatsOf(values, -999.0f), s = parts.Result();
    EXPECT_EQ(std::tuple(s.min, s.max, s.zeros, s.nodata, s.cells),
              std::tuple(whole.min, whole.max, whole.zeros, whole.nodata, whole.cells));
    EXPECT_NEAR(s.mean, whole.mean, 1e-9 * std::fabs(whole.mean) + 1e-9);
    EXPECT_NEAR(s.std, whole.std, 1e-7 * (whole.std + 1));
  }
}

TEST(DifferenceOf, FindsTheLargestDifferencesAndWhereTheyAre) {
  struct Case { const char* what; std::vector<float> a, b; double maxAbs; int absRow, absColumn; double maxRel;
                int relRow, relColumn; };
  // Three columns to a row.
  const std::vector<Case> cases = {
      {"same", {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}, 0, 0, 0, 0, 0, 0},
      {"abs and rel apart", {1, 2, 3, 100, 5, 6}, {1, 2.5f, 3, 101, 5, 6}, 1, 2, 1, 0.2, 1, 2},
      {"first of equal maxima", {0, 1, 0, 0, 1, 0}, {0, 2, 0, 0, 2, 0}, 1, 1, 2, 0.5, 1, 2},
      {"zero against zero, sign", {0, -0.0f, 4}, {0, 0, -4}, 8, 1, 3, 2, 1, 3},
      {"NaN against NaN is the same", {kNaN, 1, 1}, {kNaN, 1, 1}, 0, 0, 0, 0, 0, 0},
      {"NaN against a number", {1, kNaN, 1}, {1, 1, 1}, kInf, 1, 2, kInf, 1, 2},
      {"infinity against a number", {1, 1, kInf}, {1, 1, 1}, kInf, 1, 3, kInf, 1, 3},
  };
  for (const Case& c : cases) {
    const kv::LayerDifference d = kv::DifferenceOf(c.a, c.b, 3);
    EXPECT_DOUBLE_EQ(d.maxAbs, c.maxAbs) << c.what;
    EXPECT_EQ(std::pair(d.absRow, d.absColumn), std::pair(c.absRow, c.absColumn)) << c.what;
    EXPECT_DOUBLE_EQ(d.maxRel, c.maxRel) << c.what;
    EXPECT_EQ(std::pair(d.relRow, d.relColumn), std::pair(c.relRow, c.relColumn)) << c.what;
  }
}

TEST(DifferenceOf, StretchesGiveTheDifferencesOfTheWhole) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> value(-10, 10);
  for (int round = 0; round < 20; ++round) {
    const int nx = 1 + static_cast<int>(random() % 40);
    std::vector<float> a(static_cast<std::size_t>(nx) * (1 + random() % 40)), b;
    for (float& v : a) v = value(random);
    b = a;
    for (int k = 0; k < round; ++k) b[random() % b.size()] += value(random);
    kv::LayerDifference d;
    for (std::size_t at = 0; at < a.size(); at += 13) {
      const std::size_t n = std::min<std::size_t>(13, a.size() - at);
      kv::AddDifference(d, std::span<const float>(a).subspan(at, n), std::span<const float>(b).subspan(at, n), nx,
                        static_cast<std::int64_t>(at));
    }
    const kv::LayerDifference whole = kv::DifferenceOf(a, b, nx);
    EXPECT_EQ(std::tuple(d.maxAbs, d.absRow, d.absColumn, d.maxRel, d.relRow, d.relColumn),
              std::tuple(whole.maxAbs, whole.absRow, whole.absColumn, whole.maxRel, whole.relRow, whole.relColumn));
  }
}

}  // namespace

#include "zuduradu/core/view/layer_numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <vector>

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

TEST(StatsOf, MatchesNumbersWorkedOutByHand) {
  struct Case {
    const char* what;
    std::vector<float> values;
    std::optional<float> nodata;
    float min, max;
    double mean, std;
    std::int64_t zeros, nodataCells;
  };
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
    EXPECT_EQ(s.min, c.min) << c.what;
    EXPECT_EQ(s.max, c.max) << c.what;
    EXPECT_NEAR(s.mean, c.mean, 1e-12) << c.what;
    EXPECT_NEAR(s.std, c.std, 1e-9) << c.what;
    EXPECT_EQ(s.zeros, c.zeros) << c.what;
    EXPECT_EQ(s.nodata, c.nodataCells) << c.what;
    EXPECT_EQ(s.cells, static_cast<std::int64_t>(c.values.size())) << c.what;
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

TEST(StatsOf, AgreesWithAPlainTwoPassLoopOnRandomLayers) {
  std::mt19937 random(21);
  for (int round = 0; round < 20; ++round) {
    std::uniform_real_distribution<float> value(-50.0f + static_cast<float>(round) * 100, 50.0f + static_cast<float>(round) * 100);
    std::vector<float> values(1 + random() % 3000);
    for (float& v : values) v = random() % 7 == 0 ? -999.0f : random() % 11 == 0 ? 0.0f : value(random);
    // Stretches of any length give the same numbers as the whole.
    kv::StatsSum parts(-999.0f);
    for (std::size_t at = 0; at < values.size(); at += 17) {
      parts.Add(std::span<const float>(values).subspan(at, std::min<std::size_t>(17, values.size() - at)));
    }
    double sum = 0, squares = 0, n = 0, lo = 1e30, hi = -1e30;
    std::int64_t zeros = 0, nodata = 0;
    for (float v : values) {
      if (v == -999.0f) {
        ++nodata;
        continue;
      }
      sum += v, ++n, zeros += v == 0, lo = std::min<double>(lo, v), hi = std::max<double>(hi, v);
    }
    for (float v : values) squares += v == -999.0f ? 0 : (v - sum / n) * (v - sum / n);
    for (const kv::LayerStats& s : {kv::StatsOf(values, -999.0f), parts.Result()}) {
      EXPECT_EQ(s.min, lo);
      EXPECT_EQ(s.max, hi);
      EXPECT_NEAR(s.mean, sum / n, 1e-9 * std::fabs(sum / n) + 1e-9);
      EXPECT_NEAR(s.std, std::sqrt(squares / n), 1e-7 * (std::sqrt(squares / n) + 1));
      EXPECT_EQ(s.zeros, zeros);
      EXPECT_EQ(s.nodata, nodata);
    }
  }
}

TEST(DifferenceOf, FindsTheLargestDifferencesAndWhereTheyAre) {
  struct Case {
    const char* what;
    std::vector<float> a, b;
    double maxAbs;
    int absRow, absColumn;
    double maxRel;
    int relRow, relColumn;
  };
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

TEST(DifferenceOf, AgreesWithAPlainLoopOnRandomLayersReadInStretches) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> value(-10, 10);
  for (int round = 0; round < 20; ++round) {
    const int nx = 1 + static_cast<int>(random() % 40);
    const int ny = 1 + static_cast<int>(random() % 40);
    std::vector<float> a(static_cast<std::size_t>(nx * ny)), b;
    for (float& v : a) v = value(random);
    b = a;
    for (int k = 0; k < round; ++k) b[random() % b.size()] += value(random);
    double maxAbs = 0, maxRel = 0;
    int absAt = -1, relAt = -1;
    for (std::size_t i = 0; i < a.size(); ++i) {
      const double d = std::fabs(double{a[i]} - double{b[i]});
      const double r = d == 0 ? 0 : d / std::max(std::fabs(double{a[i]}), std::fabs(double{b[i]}));
      if (d > maxAbs) maxAbs = d, absAt = static_cast<int>(i);
      if (r > maxRel) maxRel = r, relAt = static_cast<int>(i);
    }
    kv::LayerDifference d;
    for (std::size_t at = 0; at < a.size(); at += 13) {
      const std::size_t n = std::min<std::size_t>(13, a.size() - at);
      kv::AddDifference(d, std::span<const float>(a).subspan(at, n), std::span<const float>(b).subspan(at, n), nx,
                        static_cast<std::int64_t>(at));
    }
    EXPECT_EQ(d.maxAbs, maxAbs);
    EXPECT_EQ(d.maxRel, maxRel);
    EXPECT_EQ(d.absRow, absAt < 0 ? 0 : absAt / nx + 1);
    EXPECT_EQ(d.absColumn, absAt < 0 ? 0 : absAt % nx + 1);
    EXPECT_EQ(d.relRow, relAt < 0 ? 0 : relAt / nx + 1);
    EXPECT_EQ(d.relColumn, relAt < 0 ? 0 : relAt % nx + 1);
  }
}

}  // namespace

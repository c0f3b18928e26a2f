#include "zuduradu/core/view/layer_numbers.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kv {

void StatsSum::Add(std::span<const float> values) {
  partial_.cells += static_cast<std::int64_t>(values.size());
  for (const float v : values) {
    if (nodata_ && (v == *nodata_ || (std::isnan(v) && std::isnan(*nodata_)))) {
      ++partial_.nodata;
      continue;
    }
    // Sums of the differences from the first data value: the variance then
    // loses no digits when the values sit far from zero (heads of 1000 m that
    // differ by centimetres).
    if (n_ == 0) shift_ = v;
    ++n_;
    if (std::isnan(v)) {
      anyNaN_ = true;
      continue;
    }
    partial_.zeros += v == 0.0f;
    if (n_ == 1 || v < lo_) lo_ = v;
    if (n_ == 1 || v > hi_) hi_ = v;
    const double d = static_cast<double>(v) - shift_;
    sum_ += d;
    squares_ += d * d;
  }
}

LayerStats StatsSum::Result() const {
  LayerStats s = partial_;
  if (n_ == 0 || anyNaN_) {
    // A NaN among the data makes every number NaN, as it does in numpy: a
    // summary that quietly left it out would hide it.
    s.min = s.max = std::numeric_limits<float>::quiet_NaN();
    s.mean = s.std = std::numeric_limits<double>::quiet_NaN();
    return s;
  }
  const double mean = sum_ / static_cast<double>(n_);
  s.min = lo_;
  s.max = hi_;
  s.mean = shift_ + mean;
  s.std = std::sqrt(std::max(0.0, squares_ / static_cast<double>(n_) - mean * mean));
  return s;
}

LayerStats StatsOf(std::span<const float> values, std::optional<float> nodata) {
  StatsSum sum(nodata);
  sum.Add(values);
  return sum.Result();
}

void AddDifference(LayerDifference& into, std::span<const float> a, std::span<const float> b, int nx,
                   std::int64_t firstCell) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const float x = a[i];
    const float y = b[i];
    if (x == y) continue;
    double abs = 0;
    double rel = 0;
    if (std::isnan(x) || std::isnan(y)) {
      if (std::isnan(x) && std::isnan(y)) continue;
      abs = rel = std::numeric_limits<double>::infinity();
    } else {
      abs = std::fabs(static_cast<double>(x) - static_cast<double>(y));
      rel = std::isinf(abs) ? abs : abs / std::max(std::fabs(static_cast<double>(x)), std::fabs(static_cast<double>(y)));
    }
    const std::int64_t cell = firstCell + static_cast<std::int64_t>(i);
    const int row = static_cast<int>(cell / nx) + 1;
    const int column = static_cast<int>(cell % nx) + 1;
    if (abs > into.maxAbs) {
      into.maxAbs = abs;
      into.absRow = row;
      into.absColumn = column;
    }
    if (rel > into.maxRel) {
      into.maxRel = rel;
      into.relRow = row;
      into.relColumn = column;
    }
  }
}

LayerDifference DifferenceOf(std::span<const float> a, std::span<const float> b, int nx) {
  LayerDifference d;
  AddDifference(d, a, b, nx, 0);
  return d;
}

}  // namespace kv

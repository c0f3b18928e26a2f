#include "zuduradu/core/view/ticks.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <limits>

namespace kv {

ValueTicks ChooseValueTicks(double lo, double hi) {
  // Rounder steps first; among steps of one rank, the count nearest six.
  constexpr std::array<std::array<double, 5>, 2> kSteps = {{{1, 2, 2.5, 5, 10}, {1.5, 3, 4, 6, 8}}};
  const double span = hi - lo;
  ValueTicks best;
  int bestScore = std::numeric_limits<int>::max();
  if (!(span > 0) || !std::isfinite(span)) return {1, {lo}};
  const double power = std::floor(std::log10(span));
  for (int rank = 0; rank < 2; ++rank) {
    for (double exponent = power - 2; exponent <= power; ++exponent) {
      for (const double m : kSteps[static_cast<std::size_t>(rank)]) {
        const double step = m * std::pow(10.0, exponent);
        const double first = std::ceil(lo / step - 1e-9);
        const double last = std::floor(hi / step + 1e-9);
        const int count = static_cast<int>(last - first) + 1;
        const int score = (count >= 5 && count <= 7 ? 0 : 100 + std::abs(count - 6) * 10) + rank * 50 +
                          std::abs(count - 6);
        if (score >= bestScore) continue;
        bestScore = score;
        best.step = step;
        best.values.clear();
        for (double k = first; k <= last; ++k) best.values.push_back(k * step);
      }
    }
  }
  return best;
}

std::string TickText(double value, double step) {
  if (std::abs(value) < step * 1e-6) value = 0;  // no "-0.0" from rounding
  char buffer[48];
  const double size = std::max(std::abs(value), step);
  if (size >= 1e7 || step < 1e-5) {
    // Digits enough to tell neighbouring ticks apart.
    const int digits = std::max(1, static_cast<int>(std::ceil(std::log10(size / step) - 1e-9)) + 1);
    std::snprintf(buffer, sizeof buffer, "%.*g", std::min(digits, 15), value);
    return buffer;
  }
  // The decimals of the step itself: 2.5 needs one more than 2.
  int decimals = 0;
  while (decimals < 6 && std::abs(step * std::pow(10.0, decimals) - std::round(step * std::pow(10.0, decimals))) >
                             1e-6 * step * std::pow(10.0, decimals)) {
    ++decimals;
  }
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  return buffer;
}

std::vector<int> ChooseCellTicks(int count, double cellPixels, double labelPixels) {
  std::vector<int> ticks;
  if (count < 1) return ticks;
  int step = 1;
  for (int decade = 1; step * cellPixels < labelPixels && step < count;) {
    if (step == decade) {
      step = 2 * decade;
    } else if (step == 2 * decade) {
      step = 5 * decade;
    } else {
      step = decade *= 10;
    }
  }
  // Small steps count on from 1 (1, 3, 5); larger ones label their multiples
  // (1, 10, 20), leaving out one that would crowd the label of row or column 1.
  const int start = step <= 2 ? 1 + step : step;
  ticks.push_back(1);
  for (int n = start; n <= count; n += step) {
    if ((n - ticks.back()) * cellPixels >= labelPixels) ticks.push_back(n);
  }
  return ticks;
}

}  // namespace kv

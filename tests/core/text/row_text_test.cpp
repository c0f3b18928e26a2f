#include "zuduradu/core/text/row_text.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using Limits = std::numeric_limits<float>;

// A row as text was written before: each value's std::to_chars text, joined by spaces.
std::string JoinedRow(const float* values, std::size_t n) {
  std::string line;
  for (std::size_t i = 0; i < n; ++i) {
    std::array<char, 64> text{};
    if (i > 0) line += ' ';
    line.append(text.data(), std::to_chars(text.data(), text.data() + text.size(), values[i]).ptr);
  }
  return line + '\n';
}

TEST(WriteRowText, WritesWhatEachValueAloneWouldBe) {
  std::mt19937 random(31);
  const std::vector<std::pair<std::string, std::uint32_t>> samples = {
      {"any finite bit pattern", 0xFFFFFFFF}, {"subnormals", 0x807FFFFF}, {"around one", 0xBF9FFFFF}};
  for (const auto& [what, mask] : samples) {
    std::vector<float> values = {0.0f, -0.0f, Limits::max(), Limits::lowest(), Limits::min(), -Limits::min(),
                                 Limits::denorm_min(), -Limits::denorm_min(), std::nextafter(Limits::min(), 0.0f),
                                 0.1f, 1.0f / 3.0f, 16777217.0f, 1e10f};
    while (values.size() < 300000) {
      const float v = std::bit_cast<float>(static_cast<std::uint32_t>(random()) & mask);
      if (std::isfinite(v)) values.push_back(v);
    }
    for (const std::size_t width : {std::size_t{1}, std::size_t{7}, std::size_t{1000}}) {
      std::vector<char> buffer(kv::RowTextRoom(width));
      for (std::size_t at = 0; at + width <= values.size(); at += width) {
        char* end = kv::WriteRowText(buffer.data(), {values.data() + at, width});
        ASSERT_EQ(std::string(buffer.data(), end), JoinedRow(values.data() + at, width)) << what << ", width " << width;
      }
    }
  }
}

}  // namespace

#include "zuduradu/core/view/heat_map.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <tuple>
#include <vector>

#include "test_support.h"

#define STBI_ONLY_PNG
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

namespace {

// The PNG decoded again: its size and pixels.
kv::Raster Decoded(const std::vector<unsigned char>& png) {
  int w = 0, h = 0, channels = 0;
  std::unique_ptr<unsigned char, void (*)(void*)> pixels(
      stbi_load_from_memory(png.data(), static_cast<int>(png.size()), &w, &h, &channels, 3), stbi_image_free);
  kv::Raster r;
  if (!pixels) return r;
  r.width = w;
  r.height = h;
  r.rgb.assign(pixels.get(), pixels.get() + 3 * w * h);
  return r;
}

TEST(HeatMap, BlocksPerCellScaledUpForSmallGridsAndBoundedForLargeOnes) {
  struct Case {
    int nx, ny, mapWidth, mapHeight;
  };
  for (const Case c : {Case{4, 2, 4 * kv::kMaxCellPixels, 2 * kv::kMaxCellPixels}, Case{100, 50, 800, 400},
                       Case{1000, 500, 800, 400}, Case{3, 2000, 1, 800}}) {
    const std::vector<float> values(static_cast<std::size_t>(c.nx) * static_cast<std::size_t>(c.ny), 1.0f);
    const kv::Raster r = kv::DrawHeatMap(values, c.nx, c.ny, {}, "t");
    EXPECT_EQ(std::pair(r.mapWidth, r.mapHeight), std::pair(c.mapWidth, c.mapHeight)) << c.nx << "x" << c.ny;
    EXPECT_LE(r.mapLeft + r.mapWidth, r.width);
    EXPECT_LE(r.mapTop + r.mapHeight, r.height);
  }
}

TEST(HeatMap, TwoValuesFillTheirHalvesWithTheEndsOfTheColourMapAndNoDataIsGrey) {
  // Four columns, two rows: columns 1-2 hold 1, columns 3-4 hold 5; one cell of
  // row 2 is no data and one NaN (row 1 is the top of the picture).
  std::vector<float> values = {1, 1, 5, 5, 1, -9, 5, std::numeric_limits<float>::quiet_NaN()};
  const kv::Raster drawn = kv::DrawHeatMap(values, 4, 2, -9.0f, "two values");
  const kv::Raster r = Decoded(kv::EncodePng(drawn));
  ASSERT_EQ(std::pair(r.width, r.height), std::pair(drawn.width, drawn.height));
  EXPECT_EQ(r.rgb, drawn.rgb);
  const int block = drawn.mapWidth / 4;
  for (int y = 0; y < drawn.mapHeight; ++y) {
    for (int x = 0; x < drawn.mapWidth; ++x) {
      const int column = x / block, row = y / block;
      const kv::Rgb expected = row == 1 && column >= 1 && column != 2 ? kv::kNoDataGrey : kv::Viridis(column < 2 ? 0 : 255);
      ASSERT_EQ(r.At(drawn.mapLeft + x, drawn.mapTop + y), expected) << x << "," << y;
    }
  }
  // The colour bar runs from the maximum's colour at the top to the minimum's at the bottom.
  const int barX = drawn.mapLeft + drawn.mapWidth + 20;
  EXPECT_EQ(r.At(barX, drawn.mapTop), kv::Viridis(255));
  EXPECT_EQ(r.At(barX, drawn.mapTop + std::max(drawn.mapHeight, 100) - 1), kv::Viridis(0));
}

TEST(HeatMap, WritesThePngToAFileButNotOverAFolder) {
  const kvtest::ScratchDir dir;
  const kv::Raster r = kv::DrawHeatMap(std::vector<float>(6, 2.0f), 3, 2, {}, "size");
  kv::WritePng(r, dir / "a.png");
  const std::string bytes = kvtest::ReadAll(dir / "a.png");
  const kv::Raster back = Decoded(std::vector<unsigned char>(bytes.begin(), bytes.end()));
  EXPECT_EQ(std::tuple(back.width, back.height, back.rgb), std::tuple(r.width, r.height, r.rgb));
  EXPECT_THROW(kv::WritePng(r, dir.path()), std::exception);
}

}  // namespace

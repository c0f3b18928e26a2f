// A layer of values as a picture: one block of pixels per cell, row 1 at the
// top as the layer is stored, the viridis colour map from the smallest to the
// largest data value, no-data cells grey, a colour bar with the minimum and
// maximum beside it (and a grey key below it when a cell is grey) and a title
// line above.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kv {

using Rgb = std::array<std::uint8_t, 3>;

// 8-bit RGB, rows from the top.
struct Raster {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
  // Where the cells are drawn.
  int mapLeft = 0;
  int mapTop = 0;
  int mapWidth = 0;
  int mapHeight = 0;

  Rgb At(int x, int y) const {
    const std::size_t i = 3 * (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x));
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
  }
};

// The longer side of the cells' area for a grid that is larger than it; a
// smaller grid gets blocks of up to kMaxCellPixels square per cell.
inline constexpr int kMaxMapPixels = 800;
inline constexpr int kMaxCellPixels = 48;

// Cells equal to the no-data value, and NaN and infinite cells, are drawn in this grey.
inline constexpr Rgb kNoDataGrey = {160, 160, 160};

// Entry 0 is the colour of the minimum, 255 of the maximum.
Rgb Viridis(int index);

// values: nx * ny cells, row 1 first.
Raster DrawHeatMap(std::span<const float> values, int nx, int ny, std::optional<float> nodata,
                   const std::string& title);

// The raster as a PNG file's bytes.
std::vector<unsigned char> EncodePng(const Raster& raster);

// Writes the PNG through a temporary file that replaces `path` only when it is
// complete and on the disk. Throws kv::Error.
void WritePng(const Raster& raster, const std::filesystem::path& path);

}  // namespace kv

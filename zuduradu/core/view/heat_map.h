// A layer of values as a picture for a report: one block of pixels per cell,
// row 1 at the top as the layer is stored, row and column numbers along the
// edges, a colour bar with round values beside it, a grey key for no-data
// cells below it and a title of two lines above.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "zuduradu/core/view/palette.h"

namespace kv {

// The values the colour scale runs over: lo takes the low end's colour, hi the
// high end's; values beyond them take the end colours.
struct ValueRange {
  double lo = 0;
  double hi = 0;
  friend bool operator==(const ValueRange&, const ValueRange&) = default;
};

struct HeatMapStyle {
  std::optional<float> nodata;
  // Nothing: the range ScaleRange gives for the data of this one picture.
  std::optional<ValueRange> range;
  // Diverging: zero is the neutral middle colour, and a value and its
  // negative are equally strong colours whatever the range.
  Palette palette = Palette::Sequential;
};

struct PictureTitle {
  std::string heading;  // what the values are: the type's name
  std::string detail;   // where they come from: file, period, layer
};

// Text set on the picture, and the box it covers.
struct PlacedLabel {
  std::string text;
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

// 8-bit RGB, rows from the top.
struct Raster {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
  // Where the cells are drawn, and the grid.
  int mapLeft = 0;
  int mapTop = 0;
  int mapWidth = 0;
  int mapHeight = 0;
  int nx = 0;
  int ny = 0;
  // The colour bar: the range's high end at its top row, its low end at its bottom row.
  int barLeft = 0;
  int barTop = 0;
  int barWidth = 0;
  int barHeight = 0;
  ValueRange range;
  std::vector<PlacedLabel> labels;

  Rgb At(int x, int y) const {
    const std::size_t i = 3 * (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x));
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
  }
  // The cell drawn at pixel (x, y), 1-based; nothing outside the cells.
  struct Cell {
    int row = 0;
    int column = 0;
  };
  std::optional<Cell> CellAt(int x, int y) const;
};

// The longer side of the cells' area for a grid that is larger than it; a
// smaller grid gets blocks of up to kMaxCellPixels square per cell.
inline constexpr int kMaxMapPixels = 800;
inline constexpr int kMaxCellPixels = 48;

// Cells equal to the no-data value, and NaN and infinite cells, are drawn in this grey.
inline constexpr Rgb kNoDataGrey = {160, 160, 160};

// True for the cells a picture draws grey and leaves out of its range.
bool IsNoDataCell(float value, std::optional<float> nodata);

// The smallest and largest data value; nothing when no cell holds data.
std::optional<ValueRange> DataRange(std::span<const float> values, std::optional<float> nodata);

// The range a picture draws with when it is given none: the data's own for a
// sequential palette, symmetric around zero for a diverging one. A single
// value gets room around it, no data at all 0 to 1 (-1 to 1 for diverging).
ValueRange ScaleRange(std::optional<ValueRange> data, Palette palette);

// values: nx * ny cells, row 1 first. Needs the pictures' font (throws kv::Error without it).
Raster DrawHeatMap(std::span<const float> values, int nx, int ny, const HeatMapStyle& style, const PictureTitle& title);

// The raster as a PNG file's bytes.
std::vector<unsigned char> EncodePng(const Raster& raster);

// Saves the PNG as every output is saved (storage/save_target.h): through a
// file that replaces `path` only when complete and on the disk, or into a FIFO
// or device. Throws kv::Error.
void WritePng(const Raster& raster, const std::filesystem::path& path);

}  // namespace kv

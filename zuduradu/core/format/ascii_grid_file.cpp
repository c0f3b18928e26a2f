#include <charconv>
#include <string>
#include <vector>

#include "zuduradu/core/format/raster_files.h"
#include "zuduradu/core/text/number_text.h"
#include "zuduradu/core/text/row_text.h"

namespace kv {

namespace {

// Coordinates as GIS tools write them: without an exponent, in the fewest digits that read back the same.
std::string Shortest(double value) {
  char text[400];
  return std::string(text, std::to_chars(text, text + sizeof text, value, std::chars_format::fixed).ptr);
}

}  // namespace

void WriteAsciiGrid(std::ostream& out, const GridSize& grid, std::span<const float> values, const RasterPlace& place,
                    std::optional<float> noData) {
  std::string header = "ncols " + std::to_string(grid.nx) + "\nnrows " + std::to_string(grid.ny) + "\nxllcorner " +
                       Shortest(place.x) + "\nyllcorner " + Shortest(place.y) + '\n';
  header += place.dx == place.dy ? "cellsize " + Shortest(place.dx) + '\n'
                                 : "dx " + Shortest(place.dx) + "\ndy " + Shortest(place.dy) + '\n';
  if (noData) header += "NODATA_value " + ShortestText(*noData) + '\n';
  out.write(header.data(), static_cast<std::streamsize>(header.size()));
  const auto nx = static_cast<std::size_t>(grid.nx);
  std::vector<char> row(RowTextRoom(nx));
  for (std::size_t at = 0; at + nx <= values.size(); at += nx) {
    const char* end = WriteRowText(row.data(), values.subspan(at, nx));
    out.write(row.data(), end - row.data());
  }
}

}  // namespace kv

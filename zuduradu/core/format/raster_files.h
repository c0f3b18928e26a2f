// One layer written as a raster file a GIS reads: an ESRI ASCII grid (text,
// every value in the shortest text that reads back to the same float, as the
// matrix text export writes it) or a float32 GeoTIFF through GDAL. Both place
// the raster by its lower left corner and cell size; the first row is the
// northern one.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>

#include "zuduradu/core/grid.h"

namespace kv {

struct RasterPlace {
  double x = 0;  // the lower left corner
  double y = 0;
  double dx = 1;
  double dy = 1;
};

// The ESRI ASCII grid of a layer of `grid` (NX x NY values, finite), with
// NODATA_value when `noData` is given.
void WriteAsciiGrid(std::ostream& out, const GridSize& grid, std::span<const float> values, const RasterPlace& place,
                    std::optional<float> noData);

// The bytes of a one-band float32 GeoTIFF of the layer; only where the build
// has GDAL (KV_HAVE_GDAL). Throws kv::Error (Io) with GDAL's reason.
std::string GeoTiffBytes(const GridSize& grid, std::span<const float> values, const RasterPlace& place,
                         std::optional<float> noData);

}  // namespace kv

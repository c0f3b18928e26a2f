// Opens a run's input as the stream of data sets its kind gives: matrix text
// (the default), an ESRI ASCII grid, or a raster GDAL reads. The kind is told
// by the file's extension (.asc; .tif, .tiff), else by its first bytes (an ESRI
// ASCII grid header, a TIFF's signature); standard input is matrix text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>

#include "zuduradu/core/error.h"
#include "zuduradu/core/grid.h"
#include "zuduradu/core/input/input_source.h"
#include "zuduradu/core/input/set_stream.h"

namespace kv {

enum class InputKind { MatrixText, AsciiGrid, GdalRaster };

// The kind of the input; reads the first bytes of a regular file without a
// known extension (a pipe, read only once, is matrix text).
InputKind KindOf(const InputSource& source);

// Whether this build reads and writes rasters through GDAL (GeoTIFF and others).
bool HaveGdal();

// The refusal of a raster that needs GDAL in a build without it, read
// (`writing` false) or written: it says so, and that ESRI ASCII grids work.
Error WithoutGdal(const std::filesystem::path& raster, bool writing);

// An open input: its stream of sets and its length in bytes (0: not known).
class InputSets {
 public:
  virtual ~InputSets() = default;
  virtual SetStream& sets() = 0;
  virtual std::uint64_t length() const = 0;
};

// Opens the input against the grid (a raster must have its size). threads and
// chunkBytes are the matrix reader's (0: its defaults). Throws kv::Error: a
// raster without period or layer, a period, layer or fill given for matrix
// text (BadRequest), what the kind's reader refuses, and WithoutGdal.
std::unique_ptr<InputSets> OpenSets(const InputSource& source, const GridSize& grid, int threads = 0,
                                    std::size_t chunkBytes = 0);

}  // namespace kv

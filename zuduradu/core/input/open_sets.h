// Every input of a run is opened here, by its kind, as a stream of data sets:
// the one place that decides how an InputSource is read. Matrix text (the
// default) brings its own periods and layers; an ESRI ASCII grid and a raster
// GDAL reads are one data set each, at the period and layer the caller gives.
// The kind is told by the file's extension (.asc; .tif, .tiff), else by its
// first bytes (an ESRI ASCII grid header, a TIFF's signature).
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

// An input opened for reading: its sets, and what they are read from.
class OpenedInput {
 public:
  virtual ~OpenedInput() = default;
  virtual SetStream& sets() = 0;
  // The input's length in bytes; 0 when it is not known (standard input).
  virtual std::uint64_t length() const = 0;
};

struct ReadOptions {
  int threads = 0;             // threads that parse; 0: one for an input of one chunk, else one per core
  std::size_t chunkBytes = 0;  // bytes the reader takes at a time; 0: its default
  GridSize grid{};             // the model's grid, which a raster must match
};

enum class InputKind { MatrixText, AsciiGrid, GdalRaster };

// The kind of the input; reads the first bytes of a regular file without a
// known extension (a pipe, read only once, is matrix text).
InputKind KindOf(const InputSource& input);

// Whether this build reads and writes rasters through GDAL (GeoTIFF and others).
bool HaveGdal();

// The refusal of a raster that needs GDAL in a build without it, read
// (`writing` false) or written: it says so, and that ESRI ASCII grids work.
Error WithoutGdal(const std::filesystem::path& raster, bool writing);

// Refuses (kv::Error naming the file) a period, layer, band or no-data fill
// that the kind of `input` does not take, a raster without its period and
// layer, and a raster that needs GDAL where the build has none (WithoutGdal);
// a run asks this of every input before it reads the first.
void CheckInputOptions(const InputSource& input);

// Opens `input` by its kind. Throws kv::Error naming the file when it cannot be
// read, or when it is given a period, layer, band or no-data fill that its kind
// does not take.
std::unique_ptr<OpenedInput> OpenSets(const InputSource& input, const ReadOptions& options);

}  // namespace kv

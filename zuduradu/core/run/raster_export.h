// Export of layers of a period data file as rasters for a GIS: one file per
// layer, an ESRI ASCII grid (.asc) or, where the build has GDAL, a GeoTIFF
// (.tif, .tiff). Converting such a file back into a new data file stores the
// same bytes. Each file is saved as every output is (save_target.h).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zuduradu/core/format/raster_files.h"
#include "zuduradu/core/run/data_file_export.h"

namespace kv {

struct RasterExportRequest {
  ExportRequest data;        // the data file, grid, type and periods, as for a text export
  std::optional<int> layer;  // none: every layer of each period's block
  // The raster's name; "{period}" and "{layer}" in it become each raster's
  // numbers, and must be there when more than one period or layer is written.
  std::string output;
  RasterPlace place;
  std::optional<float> noData;  // written as NODATA_value
};

struct ExportedRaster {
  int period = 0;
  int layer = 0;
  std::filesystem::path file;
};

struct RasterExport {
  std::vector<ExportedRaster> rasters;
  std::vector<int> periodsWithoutLayers;  // as ExportPlan says
  bool rolledBack = false;
};

// The name of one raster: `pattern` with {period} and {layer} replaced.
std::string RasterName(std::string_view pattern, int period, int layer);

// Whether a name asks for a raster export: it ends in .asc, .tif or .tiff (any case).
bool IsRasterName(std::string_view output);

// Every layer is read and checked before the first file is written. Throws
// kv::Error: BadRequest for a name without the placeholders it needs, a layer
// no chosen period has, a GeoTIFF without GDAL (WithoutGdal), an .asc of a
// value that is not finite; what the data file reader and save target refuse.
RasterExport ExportRasters(const RasterExportRequest& request);

}  // namespace kv

#include <atomic>
#include <cpl_error.h>
#include <cpl_vsi.h>
#include <gdal.h>
#include <string>

#include "zuduradu/core/error.h"
#include "zuduradu/core/format/raster_files.h"
#include "zuduradu/core/input/gdal_api.h"
#include "zuduradu/core/input/gdal_session.h"

namespace kv {

std::string GeoTiffBytes(const GridSize& grid, std::span<const float> values, const RasterPlace& place,
                         std::optional<float> noData) {
  const GdalSession session;
  static std::atomic<int> made{0};
  // Made in GDAL's memory, so that the file goes out through the caller's save target.
  const std::string name = "/vsimem/kvcvrt-" + std::to_string(made++) + ".tif";
  auto fail = [&](const char* what) {
    Gdal().VSIUnlink(name.c_str());
    return Error(ErrorKind::Io, std::string("GDAL could not ") + what + " the GeoTIFF: " + session.Reason());
  };
  GDALDriverH driver = Gdal().GDALGetDriverByName("GTiff");
  GDALDatasetH data =
      driver ? Gdal().GDALCreate(driver, name.c_str(), grid.nx, grid.ny, 1, GDT_Float32, nullptr) : nullptr;
  if (!data) throw fail("make");
  double transform[6] = {place.x, place.dx, 0, place.y + grid.ny * place.dy, 0, -place.dy};
  GDALRasterBandH band = Gdal().GDALGetRasterBand(data, 1);
  const bool written = Gdal().GDALSetGeoTransform(data, transform) == CE_None &&
                       (!noData || Gdal().GDALSetRasterNoDataValue(band, *noData) == CE_None) &&
                       Gdal().GDALRasterIO(band, GF_Write, 0, 0, grid.nx, grid.ny, const_cast<float*>(values.data()),
                                           grid.nx, grid.ny, GDT_Float32, 0, 0) == CE_None;
  Gdal().GDALClose(data);
  if (!written || Gdal().CPLGetLastErrorType() >= CE_Failure) throw fail("write");
  vsi_l_offset length = 0;
  GByte* bytes = Gdal().VSIGetMemFileBuffer(name.c_str(), &length, TRUE);
  if (!bytes) throw fail("keep");
  std::string out(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
  Gdal().VSIFree(bytes);
  return out;
}

}  // namespace kv

#include "zuduradu/core/input/gdal_raster.h"

#include <cpl_error.h>
#include <gdal.h>
#include <string>

#include "zuduradu/core/error.h"
#include "zuduradu/core/input/gdal_api.h"
#include "zuduradu/core/input/gdal_session.h"
#include "zuduradu/core/message_text.h"

namespace kv {

struct GdalRasterSets::Dataset {
  GDALDatasetH handle = nullptr;
  GDALRasterBandH band = nullptr;
  std::filesystem::path path;
  int bandNumber = 1;
  ~Dataset() {
    if (handle) Gdal().GDALClose(handle);
  }
};

GdalRasterSets::GdalRasterSets(const InputSource& source, const GridSize& grid)
    : OneSetRaster(source), data_(std::make_unique<Dataset>()) {
  const GdalSession session;
  data_->path = source.path;
  data_->bandNumber = source.band;
  data_->handle =
      Gdal().GDALOpenEx(PathText(source.path).c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
  if (!data_->handle) {
    throw Error(ErrorKind::BadInput, PathText(source.path) + ": GDAL cannot read it as a raster: " + session.Reason(),
                ErrorPlace{source.path, 0, 0, 0, {}});
  }
  const int bands = Gdal().GDALGetRasterCount(data_->handle);
  if (source.band < 1 || source.band > bands) {
    throw Error(ErrorKind::BadInput,
                PathText(source.path) + ": band " + std::to_string(source.band) +
                    " was asked for, but the raster has " + Counted(bands, "band", "bands"),
                ErrorPlace{source.path, 0, 0, 0, {}});
  }
  data_->band = Gdal().GDALGetRasterBand(data_->handle, source.band);
  const int columns = Gdal().GDALGetRasterXSize(data_->handle);
  const int rows = Gdal().GDALGetRasterYSize(data_->handle);
  if (columns != grid.nx || rows != grid.ny) {
    throw Error(ErrorKind::BadInput,
                PathText(source.path) + ": the raster has " + std::to_string(columns) + " columns and " +
                    std::to_string(rows) + " rows, but the model's grid has NX " + std::to_string(grid.nx) +
                    " and NY " + std::to_string(grid.ny) + ": a raster is stored only on a grid of its own size",
                ErrorPlace{source.path, 0, 0, 0, {}});
  }
  int has = 0;
  const double noData = Gdal().GDALGetRasterNoDataValue(data_->band, &has);
  if (has) SetNoData(static_cast<float>(noData));
}

GdalRasterSets::~GdalRasterSets() = default;

void GdalRasterSets::ReadValues(std::span<float> values, int) {
  const GdalSession session;
  const int columns = Gdal().GDALGetRasterXSize(data_->handle);
  const int rows = Gdal().GDALGetRasterYSize(data_->handle);
  if (Gdal().GDALRasterIO(data_->band, GF_Read, 0, 0, columns, rows, values.data(), columns, rows, GDT_Float32, 0, 0) !=
      CE_None) {
    throw Error(ErrorKind::Io,
                PathText(data_->path) + ": GDAL could not read band " + std::to_string(data_->bandNumber) + ": " +
                    session.Reason(),
                ErrorPlace{data_->path, 0, 0, 0, {}});
  }
  read_ += values.size_bytes();
  Fill(values);
}

}  // namespace kv

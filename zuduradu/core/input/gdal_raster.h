// A raster that GDAL reads (a GeoTIFF and the other formats of its drivers)
// as one data set: band N (from 1) read as float32, so that a float32
// raster's bits are stored unchanged. Compiled only where the build has GDAL
// (KV_HAVE_GDAL).
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "zuduradu/core/grid.h"
#include "zuduradu/core/input/one_set_raster.h"

namespace kv {

class GdalRasterSets final : public OneSetRaster {
 public:
  // Opens the raster and its band; refuses (BadInput) a raster GDAL cannot
  // read, a band it has not and a size other than the grid's NX and NY.
  GdalRasterSets(const InputSource& source, const GridSize& grid);
  ~GdalRasterSets() override;

  void ReadValues(std::span<float> values, int set) override;
  void SkipValues(std::int64_t, int) override {}
  LeftOverFields CountLeftOverFields() override { return {}; }
  FieldLocation lastField() const override { return {}; }
  std::uint64_t bytesRead() const override { return read_; }

 private:
  struct Dataset;
  std::unique_ptr<Dataset> data_;
  std::uint64_t read_ = 0;
};

}  // namespace kv

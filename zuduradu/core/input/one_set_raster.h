// What every raster input shares: a raster is one data set without headers of
// its own, so the set count is 1 and its period and layer are the caller's.
// Cells that hold the raster's no-data number keep it, or take the caller's
// fill value, counted.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "zuduradu/core/input/input_source.h"
#include "zuduradu/core/input/set_stream.h"

namespace kv {

class OneSetRaster : public SetStream {
 public:
  std::int16_t ReadInteger(std::string_view field, int set) override;
  std::int64_t filledCells() const override { return filled_; }
  // Throws BadRequest naming the raster when its period or layer is missing
  // or beyond a 16-bit number.
  static void CheckPlace(const InputSource& source);

 protected:
  // `source` gives the period, layer and fill; throws BadRequest naming
  // `name` when the period or layer is missing or beyond a 16-bit number.
  explicit OneSetRaster(const InputSource& source);

  // The raster's no-data number, when it has one (NaN stands for every NaN).
  void SetNoData(std::optional<float> noData) { noData_ = noData; }
  // Replaces the no-data cells of `values` by the fill value, when one is given.
  void Fill(std::span<float> values);

 private:
  std::int16_t period_;
  std::int16_t layer_;
  std::optional<float> fill_;
  std::optional<float> noData_;
  std::int64_t filled_ = 0;
};

}  // namespace kv

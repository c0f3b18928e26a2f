#include "zuduradu/core/input/one_set_raster.h"

#include <string>

#include "zuduradu/core/error.h"
#include "zuduradu/core/grid.h"
#include "zuduradu/core/message_text.h"

namespace kv {

namespace {

std::int16_t Placement(const InputSource& source, const std::optional<int>& value, const char* what) {
  if (!value) {
    throw Error(ErrorKind::BadRequest,
                "The raster " + PathText(source.path) + " is one data set without a " + what +
                    " of its own: give the " + what + " it is stored as");
  }
  if (*value < 1 || *value > kInt16Max) {
    throw Error(ErrorKind::BadRequest, std::string("The ") + what + " " + std::to_string(*value) + " of the raster " +
                                           PathText(source.path) + " is not a whole number 1.." +
                                           std::to_string(kInt16Max));
  }
  return static_cast<std::int16_t>(*value);
}

}  // namespace

void OneSetRaster::CheckPlace(const InputSource& source) {
  Placement(source, source.period, "period");
  Placement(source, source.layer, "layer");
}

OneSetRaster::OneSetRaster(const InputSource& source)
    : period_(Placement(source, source.period, "period")),
      layer_(Placement(source, source.layer, "layer")),
      fill_(source.nodataFill) {}

std::int16_t OneSetRaster::ReadInteger(std::string_view field, int set) {
  if (set == 0) return 1;
  return field == "period" ? period_ : layer_;
}

void OneSetRaster::Fill(std::span<float> values) {
  if (!fill_ || !noData_) return;
  const float noData = *noData_;
  const bool nan = std::isnan(noData);
  for (float& v : values) {
    if (nan ? std::isnan(v) : v == noData) {
      v = *fill_;
      ++filled_;
    }
  }
}

}  // namespace kv

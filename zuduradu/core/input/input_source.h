// One input of a conversion run as the caller names it: a file (or standard
// input) and, for an input that holds a single grid without its own set
// headers (a raster), where that grid goes. A matrix text file brings its own
// periods and layers and leaves period and layer empty.
#pragma once

#include <filesystem>
#include <optional>

namespace kv {

struct InputSource {
  std::filesystem::path path;  // the file; with fromStdin, only the name messages give the input
  bool fromStdin = false;
  std::optional<int> period{};    // a raster's stress period
  std::optional<int> layer{};     // a raster's layer
  int band = 1;                   // a raster's band, counted from 1
  std::optional<float> nodataFill{};  // stored in a raster's no-data cells instead of its own no-data number
};

}  // namespace kv

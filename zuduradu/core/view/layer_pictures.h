// Pictures of stored layers as kvcvrt-cli show and kvcvrt.show draw them: one
// PNG per period and layer asked for, all on one colour range, optionally of
// the difference to a second file; and the picture of one data set of matrix
// input text. The titles are shared with the window's preview, so that the
// picture it saves is the one show writes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "zuduradu/core/text/byte_source.h"
#include "zuduradu/core/view/heat_map.h"
#include "zuduradu/core/view/layer_numbers.h"
#include "zuduradu/core/view/stored_layers.h"

namespace kv {

struct StoredPictures {
  StoredFile file;
  // Drawn instead: the file's values minus this file's (the same grid and
  // type), on the diverging palette.
  std::optional<std::filesystem::path> minus;
  std::string periods = "all";  // a list such as "1,5-8", or "all": every period with data of its own
  std::string layers = "all";   // a list, or "all": every layer a block holds
  std::optional<ValueRange> range;  // else the one range that holds every picture's data
  std::optional<float> nodata;
  // The PNG's name as UTF-8; "{period}" and "{layer}" in it stand for each
  // picture's period and layer, and are needed when several are drawn.
  std::string output;
  // Files the pictures never replace besides the data files (the model).
  std::vector<std::filesystem::path> sources;
};

struct DrawnPicture {
  std::filesystem::path output;
  int period = 0;  // with a matrix text: the period its data set names
  int source = 0;  // the period whose block holds the values
  int layer = 0;
  int set = 0;     // with a matrix text: the data set
  LayerStats stats;          // of the values drawn
  ValueRange range;          // of the colour scale
  std::int64_t below = 0;    // data cells below and above the range, drawn in the end colours
  std::int64_t above = 0;
  // With minus: the difference largest in size, and its cell (0 when every cell is no data).
  double largest = 0;
  int largestRow = 0;
  int largestColumn = 0;
};

struct PicturesResult {
  std::vector<DrawnPicture> pictures;  // by period, then layer, all with one range
  std::vector<std::string> notes;  // layers left out because the file ends before them
  bool rolledBack = false;         // an interrupted run on a file was rolled back first
};

// Draws and writes every picture; a refused request writes none. Throws kv::Error.
PicturesResult DrawStoredPictures(const StoredPictures& request);

// The picture of data set `set` of matrix input text read against `grid`,
// written to `output`. typeCode, when known, names what the values are.
DrawnPicture DrawTextSetPicture(ByteSource& text, const std::filesystem::path& name, const GridSize& grid, int set,
                                std::optional<int> typeCode, const HeatMapStyle& style,
                                const std::filesystem::path& output);

// Refuses (BadRequest) an output that is one of the files a picture is made from.
void RefuseOverwritingSource(const std::filesystem::path& output, const std::vector<std::filesystem::path>& sources);

// The titles of the pictures.
PictureTitle StoredTitle(const std::filesystem::path& file, int typeCode, int period, int source, int layer,
                         const std::optional<std::filesystem::path>& minus = std::nullopt);
PictureTitle TextSetTitle(const std::filesystem::path& name, std::optional<int> typeCode, int set, int setCount,
                          int period, int layer);

}  // namespace kv

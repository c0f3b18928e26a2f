#include "zuduradu/core/view/layer_pictures.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "zuduradu/core/error.h"
#include "zuduradu/core/format/catalogue.h"
#include "zuduradu/core/format/data_file_reader.h"
#include "zuduradu/core/format/period_data_file.h"
#include "zuduradu/core/message_text.h"
#include "zuduradu/core/storage/file_system.h"
#include "zuduradu/core/storage/save_target.h"
#include "zuduradu/core/text/number_list.h"
#include "zuduradu/core/text/number_text.h"

namespace kv {
namespace fs = std::filesystem;

namespace {

std::string FileName(const fs::path& path) { return PathText(path.filename()); }

// What a type's values are: its text in the type list.
std::string TypeText(int typeCode) {
  for (const TypeRow& row : TypeList()) {
    if (row.code == typeCode && typeCode != 0) return std::string(row.text);
  }
  const std::string_view extension = ExtensionFor(typeCode);
  return "Type " + std::to_string(typeCode) + (extension.empty() ? "" : " (" + std::string(extension) + ")");
}

// The periods with data of their own, read under the shared lock.
std::vector<int> OwnPeriods(const StoredFile& stored, bool& rolledBack) {
  DataFileReader file(stored.dataFile, stored.lockWait);
  rolledBack = rolledBack || file.rolledBack();
  const PeriodTable classified = ClassifyPeriods(file.ReadHeader());
  std::vector<int> periods;
  for (int p = 1; p <= kPeriodCount; ++p) {
    if (classified[static_cast<std::size_t>(p - 1)] == kOwnData) periods.push_back(p);
  }
  return periods;
}

std::string Replaced(std::string text, const std::string& key, int value) {
  for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at)) {
    text.replace(at, key.size(), std::to_string(value));
  }
  return text;
}

// The cells drawn for a difference: no data where either side has none.
void Subtract(std::vector<float>& values, std::span<const float> other, std::optional<float> nodata) {
  for (std::size_t i = 0; i < values.size(); ++i) {
    values[i] = IsNoDataCell(values[i], nodata) || IsNoDataCell(other[i], nodata)
                    ? std::numeric_limits<float>::quiet_NaN()
                    : values[i] - other[i];
  }
}

// The numbers of a picture drawn with `range`.
void Describe(DrawnPicture& picture, std::span<const float> values, int nx, std::optional<float> nodata,
              const ValueRange& range, bool difference) {
  picture.stats = StatsOf(values, nodata);
  picture.range = range;
  for (std::size_t i = 0; i < values.size(); ++i) {
    const float v = values[i];
    if (IsNoDataCell(v, nodata)) continue;
    picture.below += v < range.lo;
    picture.above += v > range.hi;
    if (difference && (picture.largestRow == 0 || std::abs(v) > std::abs(picture.largest))) {
      picture.largest = v;
      picture.largestRow = static_cast<int>(i / static_cast<std::size_t>(nx)) + 1;
      picture.largestColumn = static_cast<int>(i % static_cast<std::size_t>(nx)) + 1;
    }
  }
}

}  // namespace

void RefuseOverwritingSource(const fs::path& output, const std::vector<fs::path>& sources) {
  const SaveTarget target(output, SaveTarget::Kind::InOrder);
  for (const fs::path& source : sources) {
    if (target.IsFile(source)) {
      throw Error(ErrorKind::BadRequest,
                  "The picture would overwrite " + PathText(source) + ", which it is made from; give another output name",
                  {}, "Nothing was written.");
    }
  }
}

PictureTitle StoredTitle(const fs::path& file, int typeCode, int period, int source, int layer,
                         const std::optional<fs::path>& minus) {
  PictureTitle title;
  title.heading = TypeText(typeCode) + (minus ? ": difference" : "");
  title.detail = FileName(file) + (minus ? " minus " + FileName(*minus) : "") + ", period " + std::to_string(period) +
                 (source != period ? " (values of period " + std::to_string(source) + ")" : "") + ", layer " +
                 std::to_string(layer);
  return title;
}

PictureTitle TextSetTitle(const fs::path& name, std::optional<int> typeCode, int set, int setCount, int period,
                          int layer) {
  return {typeCode ? TypeText(*typeCode) : "Matrix input text",
          FileName(name) + ", data set " + std::to_string(set) + " of " + std::to_string(setCount) + ": period " +
              std::to_string(period) + ", layer " + std::to_string(layer)};
}

PicturesResult DrawStoredPictures(const StoredPictures& request) {
  const StoredFile& stored = request.file;
  CheckGrid(stored.grid, stored.typeCode);
  const int perBlock = LayersPerBlock(stored.typeCode, stored.grid.nz);
  PicturesResult result;
  const std::vector<int> periods =
      request.periods == "all" ? OwnPeriods(stored, result.rolledBack) : ParsePeriodList(request.periods);
  const bool allLayers = request.layers == "all";
  std::vector<int> layers;
  if (allLayers) {
    for (int l = 1; l <= perBlock; ++l) layers.push_back(l);
  } else {
    layers = ParseNumberList(request.layers, perBlock, "layer");
  }
  if (periods.empty()) throw Error(ErrorKind::BadRequest, PathText(stored.dataFile) + " has no period with data of its own");
  const auto needs = [&](const char* key, std::size_t count, const char* what) {
    if (count > 1 && request.output.find(key) == std::string::npos) {
      throw Error(ErrorKind::BadRequest, std::string("Several ") + what + " are drawn, so the output name needs " + key +
                                             " in it: " + QuoteField(request.output));
    }
  };
  needs("{period}", periods.size(), "periods");
  needs("{layer}", layers.size(), "layers");
  std::vector<fs::path> sources = request.sources;
  sources.push_back(stored.dataFile);
  if (request.minus) sources.push_back(*request.minus);

  // Every layer asked for, period by period, as the values drawn.
  const std::size_t cells = static_cast<std::size_t>(CellsPerLayer(stored.grid));
  const auto eachLayer = [&](auto&& take) {
    for (const int period : periods) {
      PeriodValues read = ReadPeriodValues(stored.dataFile, stored.grid, stored.typeCode, period, 0, stored.lockWait);
      result.rolledBack = result.rolledBack || read.rolledBack;
      std::optional<PeriodValues> other;
      if (request.minus) {
        other = ReadPeriodValues(*request.minus, stored.grid, stored.typeCode, period, 0, stored.lockWait);
        result.rolledBack = result.rolledBack || other->rolledBack;
      }
      std::vector<float> values(cells);
      for (const int layer : layers) {
        const bool missing = layer > read.layersPresent || (other && layer > other->layersPresent);
        if (missing && allLayers) continue;
        if (missing) {
          const bool first = layer > read.layersPresent;
          throw Error(ErrorKind::BadOutput, PathText(first ? stored.dataFile : *request.minus) + ": layer " +
                                                std::to_string(layer) + " of period " + std::to_string(period) +
                                                " lies past the end of the file; it was never written",
                      {}, "No picture was written.");
        }
        const auto at = read.values.begin() + static_cast<std::ptrdiff_t>(cells) * (layer - 1);
        std::copy(at, at + static_cast<std::ptrdiff_t>(cells), values.begin());
        if (other) Subtract(values, std::span(other->values).subspan(cells * static_cast<std::size_t>(layer - 1), cells), request.nodata);
        take(period, read.source, layer, std::span<const float>(values));
      }
    }
  };

  // One range for every picture: the one asked for, else the one that holds all their data.
  const Palette palette = request.minus ? Palette::Diverging : Palette::Sequential;
  std::optional<ValueRange> data;
  std::vector<DrawnPicture> planned;
  eachLayer([&](int period, int source, int layer, std::span<const float> values) {
    DrawnPicture picture;
    picture.period = period;
    picture.source = source;
    picture.layer = layer;
    picture.output = PathFromUtf8(Replaced(Replaced(request.output, "{period}", period), "{layer}", layer));
    RefuseOverwritingSource(picture.output, sources);
    planned.push_back(picture);
    if (request.range) return;
    if (const auto own = DataRange(values, request.nodata)) {
      data = data ? ValueRange{std::min(data->lo, own->lo), std::max(data->hi, own->hi)} : *own;
    }
  });
  for (const int period : periods) {
    for (const int layer : layers) {
      const auto skipped = std::none_of(planned.begin(), planned.end(),
                                        [&](const DrawnPicture& p) { return p.period == period && p.layer == layer; });
      if (skipped) {
        result.notes.push_back("Period " + std::to_string(period) + ", layer " + std::to_string(layer) +
                               ": the file ends before this layer, which was never written; no picture of it");
      }
    }
  }
  if (planned.empty()) throw Error(ErrorKind::BadOutput, "No layer asked for is stored in " + PathText(stored.dataFile));
  const ValueRange range = request.range ? *request.range : ScaleRange(data, palette);
  const HeatMapStyle style{request.nodata, range, palette};
  std::size_t next = 0;
  eachLayer([&](int period, int source, int layer, std::span<const float> values) {
    DrawnPicture& picture = planned[next++];
    picture.source = source;
    Describe(picture, values, stored.grid.nx, request.nodata, range, request.minus.has_value());
    const PictureTitle title = StoredTitle(stored.dataFile, stored.typeCode, period, source, layer, request.minus);
    WritePng(DrawHeatMap(values, stored.grid.nx, stored.grid.ny, style, title), picture.output);
  });
  result.pictures = std::move(planned);
  return result;
}

DrawnPicture DrawTextSetPicture(ByteSource& text, const fs::path& name, const GridSize& grid, int set,
                                std::optional<int> typeCode, const HeatMapStyle& style, const fs::path& output) {
  const MatrixSet read = ReadMatrixSet(text, name, grid, set);
  DrawnPicture picture;
  picture.output = output;
  picture.period = read.period;
  picture.source = read.period;
  picture.layer = read.layer;
  picture.set = read.set;
  const Raster raster = DrawHeatMap(read.values, grid.nx, grid.ny, style,
                                    TextSetTitle(name, typeCode, read.set, read.setCount, read.period, read.layer));
  Describe(picture, read.values, grid.nx, style.nodata, raster.range, false);
  WritePng(raster, output);
  return picture;
}

}  // namespace kv

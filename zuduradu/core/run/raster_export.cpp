#include "zuduradu/core/run/raster_export.h"

#include <cmath>
#include <set>
#include <span>

#include "zuduradu/core/ascii.h"
#include "zuduradu/core/error.h"
#include "zuduradu/core/format/data_file_reader.h"
#include "zuduradu/core/input/open_sets.h"
#include "zuduradu/core/message_text.h"
#include "zuduradu/core/storage/file_system.h"
#include "zuduradu/core/storage/save_target.h"
#include "zuduradu/core/text/number_text.h"

namespace kv {

namespace {

bool EndsWith(std::string_view name, std::string_view extension) {
  return name.size() >= extension.size() &&
         EqualsIgnoringAsciiCase(name.substr(name.size() - extension.size()), extension);
}

bool IsAsciiGridName(std::string_view name) { return EndsWith(name, ".asc"); }

std::string Replaced(std::string text, std::string_view key, int value) {
  for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at)) {
    const std::string number = std::to_string(value);
    text.replace(at, key.size(), number);
    at += number.size();
  }
  return text;
}

// The layers asked for, refused when a name would serve more than one of them.
std::vector<ExportedLayer> ChosenLayers(const RasterExportRequest& request, const ExportPlan& plan) {
  std::vector<ExportedLayer> chosen;
  std::set<int> periods;
  std::set<int> layers;
  for (const ExportedLayer& l : plan.layers) {
    if (request.layer && l.layer != *request.layer) continue;
    chosen.push_back(l);
    periods.insert(l.period);
    layers.insert(l.layer);
  }
  if (chosen.empty()) {
    throw Error(ErrorKind::BadRequest, request.layer ? "No chosen period of " + PathText(request.data.dataFile) +
                                                           " has a layer " + std::to_string(*request.layer)
                                                     : "There is no layer to export in " + PathText(request.data.dataFile));
  }
  auto need = [&](bool several, std::string_view key, const char* what) {
    if (several && request.output.find(key) == std::string::npos) {
      throw Error(ErrorKind::BadRequest, "The export writes one raster per layer, of more than one " + std::string(what) +
                                             ": put " + std::string(key) + " into the output's name " +
                                             QuoteField(request.output) + " to give each its own file");
    }
  };
  need(periods.size() > 1, "{period}", "period");
  need(layers.size() > 1, "{layer}", "layer");
  return chosen;
}

void CheckFinite(const ExportedLayer& layer, const GridSize& grid, std::span<const float> values,
                 const std::filesystem::path& dataFile) {
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (std::isfinite(values[i])) continue;
    const auto nx = static_cast<std::size_t>(grid.nx);
    throw Error(ErrorKind::BadOutput,
                PathText(dataFile) + ": layer " + std::to_string(layer.layer) + " of period " +
                    std::to_string(layer.period) + ", row " + std::to_string(i / nx + 1) + ", column " +
                    std::to_string(i % nx + 1) + " holds " + ShortestText(values[i]) +
                    ", which an ESRI ASCII grid cannot express; a GeoTIFF (.tif) can",
                {}, "Nothing was exported.");
  }
}

void WriteRaster(const RasterExportRequest& request, const std::filesystem::path& file, std::span<const float> values) {
  SaveTarget target(file, SaveTarget::Kind::InOrder);
  if (target.IsFile(request.data.dataFile)) {
    throw Error(ErrorKind::BadRequest, "The export would overwrite the period data file it reads, " + PathText(file),
                {}, target.NotChangedNote());
  }
  target.RefuseOwnFile(request.data.model, "model file");
  target.CheckKind();
  try {
    std::ostream& out = target.Begin(request.data.readerWait);
    if (IsAsciiGridName(request.output)) {
      WriteAsciiGrid(out, request.data.grid, values, request.place, request.noData);
    } else {
#ifdef KV_HAVE_GDAL
      const std::string bytes = GeoTiffBytes(request.data.grid, values, request.place, request.noData);
      out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
#endif
    }
    target.Finish();
  } catch (const Error& e) {
    throw e.WithIntact(target.IntactNote("the raster", "the raster"));
  }
}

}  // namespace

std::string RasterName(std::string_view pattern, int period, int layer) {
  return Replaced(Replaced(std::string(pattern), "{period}", period), "{layer}", layer);
}

bool IsRasterName(std::string_view output) {
  return IsAsciiGridName(output) || EndsWith(output, ".tif") || EndsWith(output, ".tiff");
}

RasterExport ExportRasters(const RasterExportRequest& request) {
  if (!IsAsciiGridName(request.output) && !HaveGdal()) throw WithoutGdal(PathFromUtf8(request.output), true);
  DataFileReader file(request.data.dataFile, request.data.lockWait);
  const ExportPlan plan = file.Plan(request.data.grid, request.data.typeCode, request.data.periods, MisfitRule::Refuse);
  const std::vector<ExportedLayer> layers = ChosenLayers(request, plan);
  std::vector<float> values(static_cast<std::size_t>(CellsPerLayer(request.data.grid)));
  if (IsAsciiGridName(request.output)) {
    for (const ExportedLayer& l : layers) {
      file.ReadFloatsAt(l.offset, values);
      CheckFinite(l, request.data.grid, values, request.data.dataFile);
    }
  }
  RasterExport result{{}, plan.periodsWithoutLayers, plan.rolledBack};
  for (const ExportedLayer& l : layers) {
    file.ReadFloatsAt(l.offset, values);
    const std::filesystem::path name = PathFromUtf8(RasterName(request.output, l.period, l.layer));
    WriteRaster(request, name, values);
    result.rasters.push_back({l.period, l.layer, name});
  }
  return result;
}

}  // namespace kv

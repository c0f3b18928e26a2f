// stats(), diff() and show(): the module's calls that look at data.
#include <filesystem>
#include <optional>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>
#include <string>
#include <utility>
#include <vector>

#include "zuduradu/core/error.h"
#include "zuduradu/core/format/data_file_info.h"
#include "zuduradu/core/format/data_file_reader.h"
#include "zuduradu/core/storage/file_system.h"
#include "zuduradu/core/text/byte_source.h"
#include "zuduradu/core/view/layer_pictures.h"
#include "zuduradu/core/view/stored_layers.h"
#include "zuduradu/python/module_support.h"
#include "zuduradu/python/run_progress.h"

namespace fs = std::filesystem;

namespace kvpy {

namespace {

// periods= and layers= of show(): a number, numbers, or a list as text ("1,5-8", "all").
std::string ListText(const py::object& list, const char* name) {
  const std::string shape = std::string(name) + " must be a whole number, a sequence of them, or text such as '1,5-8' or 'all'";
  if (py::isinstance<py::str>(list)) return list.cast<std::string>();
  auto whole = [&](const py::handle& item) {
    if (py::isinstance<py::bool_>(item) || !py::hasattr(item, "__index__")) throw py::type_error(shape);
    return std::to_string(item.cast<long long>());
  };
  if (py::hasattr(list, "__index__")) return whole(list);
  if (!py::isinstance<py::iterable>(list)) throw py::type_error(shape);
  std::string text;
  for (const py::handle item : list) text += (text.empty() ? "" : ",") + whole(item);
  if (text.empty()) throw py::value_error(std::string(name) + " is empty");
  return text;
}

}  // namespace

// stats() and diff(): the numbers kvcvrt-cli stats and diff print, unrounded.
py::list Stats(const py::object& path, const py::object& input, const py::object& grid, const py::object& model,
               const py::object& type, const py::object& nodata) {
  if (path.is_none() == input.is_none()) throw py::value_error("give a period data file or input=TEXT_FILE, not both");
  const kv::ResolvedGrid resolved = kv::ResolveGrid(Choice(grid, model), kWords);
  const std::optional<float> noData = nodata.is_none() ? std::nullopt : std::optional(nodata.cast<float>());
  Progress progress{py::none()};
  kv::StatsReport report;
  if (!path.is_none()) {
    const kv::StoredFile file{ToPath(path), resolved.grid, TypeCode(type), progress.Wait()};
    report = WithoutGil(progress, [&] { return kv::DataFileStats(file, noData); });
  } else {
    const fs::path text = ToPath(input);
    report = WithoutGil(progress, [&] {
      if (const std::string problem = kv::InputProblem(text, true); !problem.empty()) {
        throw kv::Error(kv::ErrorKind::InputMissing, problem);
      }
      kv::FileSource source(text);
      return kv::MatrixTextStats(source, text, resolved.grid, noData);
    });
  }
  py::list rows;
  for (const kv::LayerStatsRow& r : report.rows) {
    const kv::LayerStats& s = r.stats;
    py::dict row(py::arg("period") = r.period, py::arg("layer") = r.layer, py::arg("min") = s.min,
                 py::arg("max") = s.max, py::arg("mean") = s.mean, py::arg("std") = s.std, py::arg("zeros") = s.zeros,
                 py::arg("nodata") = s.nodata);
    if (r.set > 0) row["set"] = r.set;
    rows.append(row);
  }
  return rows;
}

py::dict Diff(const py::object& first, const py::object& second, const py::object& grid, const py::object& model,
              const py::object& type, double tolerance) {
  if (!(tolerance >= 0)) throw py::value_error("tolerance must be 0 or more");
  const kv::ResolvedGrid resolved = kv::ResolveGrid(Choice(grid, model), kWords);
  Progress progress{py::none()};
  const kv::StoredFile file{ToPath(first), resolved.grid, TypeCode(type), progress.Wait()};
  const fs::path other = ToPath(second);
  const kv::DiffReport report = WithoutGil(progress, [&] { return kv::DiffDataFiles(file, other, tolerance); });
  using Presence = kv::LayerComparison::Presence;
  py::list layers;
  for (const kv::LayerComparison& c : report.layers) {
    const kv::LayerDifference& d = c.difference;
    const char* status = c.presence == Presence::OnlyFirst    ? "only_first"
                         : c.presence == Presence::OnlySecond ? "only_second"
                         : d.maxAbs == 0                      ? "equal"
                         : c.within                           ? "within"
                                                              : "differs";
    py::dict row(py::arg("period") = c.period, py::arg("layer") = c.layer, py::arg("status") = status);
    if (c.presence == Presence::Both) {
      row["max_abs"] = d.maxAbs;
      row["abs_row"] = d.absRow;
      row["abs_column"] = d.absColumn;
      row["max_rel"] = d.maxRel;
      row["rel_row"] = d.relRow;
      row["rel_column"] = d.relColumn;
    }
    layers.append(row);
  }
  return py::dict(py::arg("within") = report.within, py::arg("layers") = layers);
}

py::list Show(const py::object& path, const py::object& output, const py::object& input, const py::object& grid,
              const py::object& model, const py::object& type, const py::object& periods, const py::object& layers,
              int set, const py::object& minus, const py::object& range, const py::object& nodata) {
  if (path.is_none() == input.is_none()) throw py::value_error("give a period data file or input=TEXT_FILE, not both");
  const kv::ResolvedGrid resolved = kv::ResolveGrid(Choice(grid, model), kWords);
  std::optional<kv::ValueRange> scale;
  if (!range.is_none()) {
    const auto ends = range.cast<std::pair<double, double>>();
    if (!(ends.first < ends.second)) throw py::value_error("range must be (LO, HI) with LO below HI");
    scale = kv::ValueRange{ends.first, ends.second};
  }
  const std::optional<float> noData = nodata.is_none() ? std::nullopt : std::optional(nodata.cast<float>());
  std::vector<fs::path> sources;
  sources.push_back(resolved.model);
  const std::string out = kv::PathText(ToPath(output));
  Progress progress{py::none()};
  std::vector<kv::DrawnPicture> drawn;
  if (!path.is_none()) {
    if (periods.is_none()) throw py::value_error("give periods: a period, a sequence of them, or 'all'");
    RequireFile(ToPath(path));
    kv::StoredPictures request{{ToPath(path), resolved.grid, TypeCode(type), progress.Wait()},
                               minus.is_none() ? std::nullopt : std::optional(ToPath(minus)),
                               ListText(periods, "periods"),
                               ListText(layers, "layers"),
                               scale,
                               noData,
                               out,
                               sources};
    drawn = WithoutGil(progress, [&] { return kv::DrawStoredPictures(request); }).pictures;
  } else {
    if (!minus.is_none() || !periods.is_none()) throw py::value_error("minus and periods go with a period data file");
    const fs::path text = ToPath(input);
    const std::optional<int> typeCode = type.is_none() ? std::nullopt : std::optional(TypeCode(type));
    sources.push_back(text);
    drawn.push_back(WithoutGil(progress, [&] {
      if (const std::string problem = kv::InputProblem(text, true); !problem.empty()) {
        throw kv::Error(kv::ErrorKind::InputMissing, problem);
      }
      kv::RefuseOverwritingSource(kv::PathFromUtf8(out), sources);
      kv::FileSource source(text);
      return kv::DrawTextSetPicture(source, text, resolved.grid, set, typeCode, {noData, scale, kv::Palette::Sequential},
                                    kv::PathFromUtf8(out));
    }));
  }
  py::list pictures;
  for (const kv::DrawnPicture& p : drawn) {
    py::dict d(py::arg("output") = kv::PathText(p.output), py::arg("period") = p.period, py::arg("layer") = p.layer,
               py::arg("range") = py::make_tuple(p.range.lo, p.range.hi), py::arg("below") = p.below,
               py::arg("above") = p.above);
    if (p.set > 0) d["set"] = p.set;
    if (p.source != p.period) d["source"] = p.source;
    if (!minus.is_none()) {
      d["largest_difference"] = p.largest;
      d["row"] = p.largestRow;
      d["column"] = p.largestColumn;
    }
    pictures.append(d);
  }
  return pictures;
}

}  // namespace kvpy

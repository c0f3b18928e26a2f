// The kvcvrt Python module: the converter's core for numpy arrays. Every run
// is the core's guarded run (lock, checks, journal, sync); this file only
// turns Python values into the core's requests and the core's answers and
// errors back into Python values and exceptions.
#include <chrono>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "zuduradu/core/error.h"
#include "zuduradu/core/format/catalogue.h"
#include "zuduradu/core/format/data_file_info.h"
#include "zuduradu/core/format/data_file_reader.h"
#include "zuduradu/core/format/period_tables.h"
#include "zuduradu/core/input/manifest.h"
#include "zuduradu/core/model/model_file.h"
#include "zuduradu/core/model/model_paths.h"
#include "zuduradu/core/model/settings.h"
#include "zuduradu/core/run/conversion.h"
#include "zuduradu/core/run/data_file_export.h"
#include "zuduradu/core/run/request.h"
#include "zuduradu/core/storage/file_system.h"
#include "zuduradu/core/storage/save_target.h"
#include "zuduradu/core/text/byte_source.h"
#include "zuduradu/core/text/number_text.h"
#include "zuduradu/core/view/layer_pictures.h"
#include "zuduradu/core/view/stored_layers.h"
#include "zuduradu/python/held_sets.h"
#include "zuduradu/python/module_support.h"
#include "zuduradu/python/numpy_values.h"
#include "zuduradu/python/run_progress.h"

namespace py = pybind11;
namespace fs = std::filesystem;

namespace kvpy {

namespace {

// kvcvrt.Error, and kvcvrt.FileNotFoundError (a kvcvrt.Error that is also the
// built-in FileNotFoundError), made once at import and kept for the life of the process.
PyObject* g_errorType = nullptr;
PyObject* g_missingType = nullptr;

std::string KindName(kv::ErrorKind kind) {
  switch (kind) {
    case kv::ErrorKind::BadRequest:
      return "bad_request";
    case kv::ErrorKind::InputMissing:
      return "input_missing";
    case kv::ErrorKind::BadInput:
      return "bad_input";
    case kv::ErrorKind::Unstorable:
      return "unstorable";
    case kv::ErrorKind::BadOutput:
      return "bad_output";
    case kv::ErrorKind::Io:
      return "io";
    case kv::ErrorKind::Busy:
      return "busy";
    case kv::ErrorKind::Cancelled:
      return "cancelled";
  }
  return "unknown";
}

// Sets kvcvrt.Error with the parts of the core's error as attributes; a part
// the error does not have is None.
void SetError(const kv::Error& e) {
  const kv::ErrorPlace& place = e.place();
  auto orNone = [](auto value) { return value ? py::cast(value) : py::none(); };
  PyObject* type = e.kind() == kv::ErrorKind::InputMissing ? g_missingType : g_errorType;
  py::object error = py::reinterpret_borrow<py::object>(type)(e.what());
  error.attr("kind") = KindName(e.kind());
  error.attr("problem") = e.problem();
  error.attr("file") = place.file.empty() ? py::none() : py::cast(kv::PathText(place.file));
  error.attr("line") = orNone(place.line);
  error.attr("column") = orNone(place.column);
  error.attr("set") = orNone(place.set);
  error.attr("field") = place.field.empty() ? py::none() : py::cast(place.field);
  error.attr("intact") = e.intact().empty() ? py::none() : py::cast(e.intact());
  PyErr_SetObject(type, error.ptr());
}

[[noreturn]] void Refuse(kv::ErrorKind kind, const std::string& what, const fs::path& file = {}) {
  throw kv::Error(kind, what, kv::ErrorPlace{file, 0, 0, 0, {}});
}

}  // namespace

// A type given as a code or as an extension ("top", ".top", or the code as
// text), as the command line takes it.
int TypeCode(const py::object& type) {
  if (py::isinstance<py::bool_>(type) || !(py::isinstance<py::str>(type) || py::hasattr(type, "__index__"))) {
    throw py::type_error("type must be a type code (int) or an extension (str)");
  }
  if (py::isinstance<py::str>(type)) return kv::TypeCodeFromText(type.cast<std::string>(), kWords);
  const auto code = PyNumber_AsSsize_t(type.ptr(), nullptr);
  if (code == -1 && PyErr_Occurred()) throw py::error_already_set();
  if (kv::IsTypeCode(code)) return static_cast<int>(code);
  throw py::value_error(std::to_string(code) + kv::NotATypeCode(kWords));
}

// grid=(NX, NY, NZ) and model=FILE as the core's choice of grid.
kv::GridChoice Choice(const py::object& grid, const py::object& model) {
  if (!grid.is_none() && !model.is_none()) throw py::value_error("give model or grid, not both");
  kv::GridChoice choice;
  if (!model.is_none()) choice.model = py::str(py::module_::import("os").attr("fspath")(model)).cast<std::string>();
  if (grid.is_none()) return choice;
  const std::string shape = "grid must be three whole numbers 1.." + std::to_string(kv::kInt16Max) +
                            " (columns, rows, layers), such as (120, 80, 3)";
  if (py::isinstance<py::str>(grid) || !py::isinstance<py::sequence>(grid)) throw py::type_error(shape);
  const auto items = grid.cast<py::sequence>();
  if (items.size() != 3) throw py::value_error(shape);
  int values[3] = {0, 0, 0};
  for (std::size_t k = 0; k < 3; ++k) {
    const py::object item = items[k];
    if (py::isinstance<py::bool_>(item) || !py::hasattr(item, "__index__")) throw py::type_error(shape);
    const auto v = PyNumber_AsSsize_t(item.ptr(), nullptr);
    if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
    if (v < 1 || v > kv::kInt16Max) throw py::value_error(shape);
    values[k] = static_cast<int>(v);
  }
  choice.grid = kv::GridSize{values[0], values[1], values[2]};
  return choice;
}

// Warnings of calls that return no dict go to Python's warnings.
void Warn(const std::vector<std::string>& warnings) {
  for (const std::string& w : warnings) {
    if (PyErr_WarnEx(PyExc_UserWarning, w.c_str(), 1) != 0) throw py::error_already_set();
  }
}

// A period data file that is not there: FileNotFoundError, before any lock.
void RequireFile(const fs::path& file) {
  std::error_code ec;
  if (!fs::exists(file, ec)) Refuse(kv::ErrorKind::InputMissing, kv::PathText(file) + ": the file does not exist", file);
}

fs::path ToPath(const py::object& path) { return path.cast<fs::path>(); }

namespace {

// The grid and output of a run: the output named, or with a model the model's
// name with the type's extension.
struct RunTarget {
  kv::ResolvedGrid resolved;
  fs::path output;
};

RunTarget Target(const py::object& output, const py::object& grid, const py::object& model, int typeCode, bool strict) {
  const kv::GridChoice choice = Choice(grid, model);
  const std::optional<std::string> named =
      output.is_none() ? std::nullopt : std::optional(kv::PathText(ToPath(output)));
  if (!choice.given() || (choice.grid && !named)) {
    kv::ResolveGrid(choice, kWords);
    kv::OutputFor(named, choice, {}, typeCode, kWords);
  }
  RunTarget t{kv::ResolveGrid(choice, kWords, strict), {}};
  t.output = output.is_none() ? kv::PathFromUtf8(kv::OutputFor(named, choice, t.resolved, typeCode, kWords))
                              : ToPath(output);
  if (std::string name = kv::OutputNameWarning(typeCode, kv::PathText(t.output), strict); !name.empty()) {
    t.resolved.warnings.push_back(std::move(name));
  }
  if (const std::string folder = kv::OutputFolderProblem(t.output); !folder.empty()) {
    Refuse(kv::ErrorKind::BadRequest, folder, t.output);
  }
  return t;
}

py::dict WithWarnings(py::dict result, const std::vector<std::string>& warnings) {
  py::list all(result["warnings"]);
  for (std::size_t i = 0; i < warnings.size(); ++i) all.insert(i, warnings[i]);
  result["warnings"] = all;
  return result;
}

// A raster's period, layer and fill, each None or a number.
template <typename T>
std::optional<T> Optional(const py::object& value) {
  return value.is_none() ? std::nullopt : std::optional<T>(value.cast<T>());
}

// The inputs of a convert call: a path or a list of paths, then the manifest's.
std::vector<kv::InputSource> Inputs(const py::object& input, const py::object& manifest) {
  std::vector<kv::InputSource> inputs;
  if (!input.is_none()) {
    const bool many = !py::isinstance<py::str>(input) && !py::isinstance<py::bytes>(input) &&
                      !py::hasattr(input, "__fspath__") && py::isinstance<py::iterable>(input);
    if (many) {
      for (const py::handle item : input) inputs.push_back({ToPath(py::reinterpret_borrow<py::object>(item))});
    } else {
      inputs.push_back({ToPath(input)});
    }
  }
  if (!manifest.is_none()) {
    const std::vector<kv::InputSource> listed = kv::ReadManifest(ToPath(manifest));
    inputs.insert(inputs.end(), listed.begin(), listed.end());
  }
  if (inputs.empty()) throw py::value_error("convert needs input (a file or a list of files) or manifest");
  for (const kv::InputSource& in : inputs) {
    if (const std::string problem = kv::InputProblem(in.path, true); !problem.empty()) {
      Refuse(kv::ErrorKind::InputMissing, problem, in.path);
    }
  }
  return inputs;
}

py::dict Convert(const py::object& input, const py::object& output, const py::object& grid, const py::object& model,
                 const py::object& type, bool create, bool strict, const py::object& manifest,
                 const py::object& period, const py::object& layer, int band, const py::object& nodataFill,
                 const py::object& progressCallback) {
  const int typeCode = TypeCode(type);
  const RunTarget target = Target(output, grid, model, typeCode, strict);
  std::vector<kv::InputSource> inputs = Inputs(input, manifest);
  // A raster's place, band and fill go with the inputs named by input= (the manifest names its own).
  const std::size_t named = inputs.size() - (manifest.is_none() ? 0 : Inputs(py::none(), manifest).size());
  for (std::size_t i = 0; i < named; ++i) {
    inputs[i].period = Optional<int>(period);
    inputs[i].layer = Optional<int>(layer);
    inputs[i].band = band;
    inputs[i].nodataFill = Optional<float>(nodataFill);
  }
  const fs::path& out = target.output;
  kv::ConversionRequest request =
      kv::ConversionRequestFor(out, target.resolved.grid, target.resolved.model, typeCode, create, strict);
  request.inputs = std::move(inputs);
  Progress progress(progressCallback);
  const auto callback = progress.Callback();
  return WithWarnings(ResultDict(WithoutGil(progress, [&] { return kv::RunConversion(request, callback); }, &out), out),
                      target.resolved.warnings);
}

py::dict Write(const py::object& output, const py::object& sets, const py::object& grid, const py::object& model,
               const py::object& type, bool create, bool strict, const py::object& fill,
               const py::object& progressCallback) {
  const int typeCode = TypeCode(type);
  const RunTarget target = Target(output, grid, model, typeCode, strict);
  kv::CheckGrid(target.resolved.grid, typeCode);
  py::list keep;
  HeldSets stream(TakeSets(sets, target.resolved.grid, typeCode, fill, keep));
  const kv::ConversionRequest request = kv::ConversionRequestFor(target.output, target.resolved.grid,
                                                                target.resolved.model, typeCode, create, strict);
  Progress progress(progressCallback);
  const auto callback = progress.Callback();
  const fs::path& out = target.output;
  return WithWarnings(ResultDict(WithoutGil(progress, [&] { return kv::RunConversionFrom(request, stream, callback); }, &out), out),
                      target.resolved.warnings);
}

// The values of one period, or with no period those of every period that has
// data of its own, as (periods, array of (periods, layers, NY, NX)).
py::object Read(const py::object& path, const py::object& grid, const py::object& model, const py::object& type,
                const py::object& periodObject, const py::object& layerObject) {
  const int typeCode = TypeCode(type);
  const kv::GridChoice choice = Choice(grid, model);
  const kv::ResolvedGrid resolved = kv::ResolveGrid(choice, kWords);
  Warn(resolved.warnings);
  const kv::GridSize& g = resolved.grid;
  const fs::path file = ToPath(path);
  Progress progress{py::none()};
  if (periodObject.is_none()) {
    if (!layerObject.is_none()) throw py::value_error("layer needs period");
    RequireFile(file);
    // The layers are read straight into the array numpy makes for them.
    std::optional<py::array_t<float>> array;
    const kv::FileValues all = WithoutGil(progress, [&] {
      return kv::ReadFileValues(file, g, typeCode, [&](const kv::FileValues& found) {
        const py::gil_scoped_acquire held;
        array.emplace(std::vector<py::ssize_t>{static_cast<py::ssize_t>(found.periods.size()), found.layers, g.ny, g.nx});
        return std::span<float>(array->mutable_data(), static_cast<std::size_t>(array->size()));
      }, progress.Wait());
    });
    return py::make_tuple(py::cast(all.periods), std::move(*array));
  }
  const std::int64_t period = WholeNumber(periodObject, "period");
  const std::int64_t layer = layerObject.is_none() ? 0 : WholeNumber(layerObject, "layer");
  if (period < 1 || period > kv::kPeriodCount) {
    throw py::value_error("period " + std::to_string(period) + " is outside 1.." + std::to_string(kv::kPeriodCount));
  }
  const int perBlock = kv::LayersPerBlock(typeCode, g.nz);
  if (!layerObject.is_none() && (layer < 1 || layer > perBlock)) {
    throw py::value_error("layer " + std::to_string(layer) + " is outside 1.." + std::to_string(perBlock) +
                          ", the layers a block of type " + std::to_string(typeCode) + " holds");
  }
  RequireFile(file);
  auto values = std::make_unique<kv::PeriodValues>(WithoutGil(progress, [&] {
    return kv::ReadPeriodValues(file, g, typeCode, static_cast<int>(period), static_cast<int>(layer), progress.Wait());
  }));
  const std::vector<py::ssize_t> shape = layer == 0 ? std::vector<py::ssize_t>{values->layers, g.ny, g.nx}
                                                    : std::vector<py::ssize_t>{g.ny, g.nx};
  float* data = values->values.data();
  // The array owns the values it shows: no copy.
  py::capsule owner(values.release(), [](void* p) { delete static_cast<kv::PeriodValues*>(p); });
  return py::array_t<float>(shape, data, owner);
}

py::dict Info(const py::object& path, const py::object& grid, const py::object& model, const py::object& type) {
  const std::optional<int> typeCode = type.is_none() ? std::nullopt : std::optional(TypeCode(type));
  std::vector<std::string> warnings;
  const std::optional<kv::FileGeometry> geometry = kv::InfoGeometry(Choice(grid, model), typeCode, kWords, false, &warnings);
  Warn(warnings);
  const fs::path file = ToPath(path);
  RequireFile(file);
  Progress progress{py::none()};
  const kv::DataFileInfo info = WithoutGil(progress, [&] { return kv::DescribeDataFile(file, geometry, progress.Wait()); });
  auto blocks = [](const std::vector<kv::PeriodBlock>& list) {
    py::list out;
    for (const kv::PeriodBlock& b : list) out.append(py::dict(py::arg("period") = b.period, py::arg("block") = b.block, py::arg("uses") = b.uses));
    return out;
  };
  py::list references;
  for (const kv::ReferenceRun& run : info.references) references.append(py::make_tuple(run.first, run.last, run.source));
  py::dict d;
  d["file"] = kv::PathText(info.file);
  d["length"] = info.length;
  d["full_header"] = info.fullHeader;
  d["own"] = blocks(info.own);
  d["borrowing"] = blocks(info.borrowing);
  d["references"] = references;
  if (info.geometry) {
    const kv::GridSize& g = info.geometry->grid;
    d["grid"] = py::make_tuple(g.nx, g.ny, g.nz);
    d["type"] = info.geometry->typeCode;
    d["layers_per_block"] = info.layersPerBlock;
    d["block_bytes"] = info.blockBytes;
    d["expected_blocks"] = info.expectedBlocks;
    d["expected_length"] = info.expectedLength;
  }
  d["notes"] = info.notes;
  d["problems"] = info.problems;
  d["rolled_back"] = info.rolledBack;
  d["text"] = kv::RenderDataFileInfo(info);
  return d;
}

py::list Types() {
  py::list out;
  const auto rows = kv::TypeList();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const kv::TypeRow& row = rows[i];
    out.append(py::dict(py::arg("row") = i, py::arg("text") = std::string(row.text), py::arg("code") = row.code,
                        py::arg("extension") = std::string(kv::ExtensionFor(row.code)),
                        py::arg("one_layer_per_block") = kv::IsSingleLayerType(row.code)));
  }
  return out;
}

}  // namespace

}  // namespace kvpy

PYBIND11_MODULE(kvcvrt, m) {
  using namespace kvpy;
  m.doc() =
      "Period data files from numpy arrays and back, with the guarantees of the converter: the output's lock, "
      "every check before the first byte changes, a journal for appends, synced replacement. A refused run leaves "
      "the file as it was and raises kvcvrt.Error.";
  m.attr("__version__") = KVCVRT_VERSION;

  g_errorType = PyErr_NewExceptionWithDoc(
      "kvcvrt.Error",
      "A run or file the converter refused. Attributes: kind, problem, file, line, column, set, field and intact "
      "(what was left as it was); a part that does not apply is None.",
      PyExc_Exception, nullptr);
  if (!g_errorType) throw py::error_already_set();
  m.attr("Error") = py::reinterpret_borrow<py::object>(g_errorType);
  const py::tuple missingBases = py::make_tuple(py::reinterpret_borrow<py::object>(g_errorType),
                                                py::reinterpret_borrow<py::object>(PyExc_FileNotFoundError));
  g_missingType = PyErr_NewExceptionWithDoc("kvcvrt.FileNotFoundError",
                                            "A file the call names does not exist: both a kvcvrt.Error and the "
                                            "built-in FileNotFoundError.",
                                            missingBases.ptr(), nullptr);
  if (!g_missingType) throw py::error_already_set();
  m.attr("FileNotFoundError") = py::reinterpret_borrow<py::object>(g_missingType);
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const kv::RequestError& e) {
      PyErr_SetString(PyExc_ValueError, e.problem().c_str());
    } catch (const kv::Error& e) {
      SetError(e);
    }
  });

  m.def("convert", &Convert, py::arg("input") = py::none(), py::arg("output") = py::none(), py::kw_only(),
        py::arg("grid") = py::none(), py::arg("model") = py::none(), py::arg("type"), py::arg("create") = false,
        py::arg("strict") = false, py::arg("manifest") = py::none(), py::arg("period") = py::none(),
        py::arg("layer") = py::none(), py::arg("band") = 1, py::arg("nodata_fill") = py::none(),
        py::arg("progress") = py::none(),
        "Converts a matrix input text file, or a list of them, into a period data file, as kvcvrt-cli convert does; "
        "manifest=FILE.csv adds the files it lists (header file,period,layer). Many inputs make one run with the "
        "bytes of converting them one after the other: all are checked first, and a refused one changes nothing. "
        "A raster (an ESRI ASCII grid .asc, or a GeoTIFF where GDAL is built in) is one data set at period= and "
        "layer=, from its band= (1); its no-data cells keep its no-data number, or take nodata_fill=VALUE. "
        "With a model and no "
        "output, the output is the model's name with the type's extension. Returns a dict: stored, skipped, rebuilt, "
        "filled (the no-data cells filled), warnings, output. strict=True refuses, writing nothing, what would be a warning or a skipped set. "
        "progress(report) is called after every data set and while waiting for another run; returning False cancels "
        "a run that is still checking. A Ctrl-C or callback error that comes once the run writes is raised after the "
        "run completed, with its result as the exception's attribute result.");
  m.def("write", &Write, py::arg("output"), py::arg("sets"), py::kw_only(), py::arg("grid") = py::none(),
        py::arg("model") = py::none(), py::arg("type"), py::arg("create") = false, py::arg("strict") = false,
        py::arg("fill") = py::none(), py::arg("progress") = py::none(),
        "Stores data sets given as (period, layer, array) with arrays of shape (NY, NX), or as (period, array) with "
        "an array of shape (layers, NY, NX) for every layer of the period's block, or as (periods, array) with an array "
        "of shape (periods, layers, NY, NX) as read gives it without a period, of float or integer values, "
        "rounded to float32 as the text reader rounds; NaN and infinities are refused. Masked cells are refused "
        "unless fill=VALUE says what to store there. The same run, checks and bytes as converting the same values "
        "from text. Returns what convert returns.");
  m.def("read", &Read, py::arg("path"), py::kw_only(), py::arg("grid") = py::none(), py::arg("model") = py::none(),
        py::arg("type"), py::arg("period") = py::none(), py::arg("layer") = py::none(),
        "The values in force for a period as a float32 array (layers, NY, NX), the layers of its block (NZ, or 1 for "
        "a single-layer type), or one layer (NY, NX). Without a period: (periods, values), the numbers of the "
        "periods with data of their own and their values as (periods, layers, NY, NX). Layers past the end of the "
        "file were never written: NaN. A file made for another grid or type is refused.");
  m.def("info", &Info, py::arg("path"), py::kw_only(), py::arg("grid") = py::none(), py::arg("model") = py::none(),
        py::arg("type") = py::none(),
        "The header of a period data file as kvcvrt-cli info describes it, as a dict; 'text' holds the lines it prints.");
  m.def("stats", &Stats, py::arg("path") = py::none(), py::kw_only(), py::arg("input") = py::none(),
        py::arg("grid") = py::none(), py::arg("model") = py::none(), py::arg("type") = py::none(),
        py::arg("nodata") = py::none(),
        "The numbers kvcvrt-cli stats prints, as a list of dicts (period, layer, min, max, mean, std, zeros, nodata): "
        "for every stored layer of the periods with data of their own, or with input=TEXT_FILE for every data set of "
        "matrix input text (each also with its 'set').");
  m.def("diff", &Diff, py::arg("first"), py::arg("second"), py::kw_only(), py::arg("grid") = py::none(),
        py::arg("model") = py::none(), py::arg("type"), py::arg("tolerance") = 0.0,
        "Compares two period data files layer by layer, as kvcvrt-cli diff does. Returns a dict: within (True when "
        "every layer is in both files and within the tolerance) and layers, a list of dicts with period, layer, "
        "status (equal, within, differs, only_first, only_second) and, for layers in both, max_abs, abs_row, "
        "abs_column, max_rel, rel_row, rel_column.");
  m.def("show", &Show, py::arg("path") = py::none(), py::kw_only(), py::arg("output"), py::arg("input") = py::none(),
        py::arg("grid") = py::none(), py::arg("model") = py::none(), py::arg("type") = py::none(),
        py::arg("periods") = py::none(), py::arg("layers") = 1, py::arg("set") = 1, py::arg("minus") = py::none(),
        py::arg("range") = py::none(), py::arg("nodata") = py::none(),
        "Draws PNG pictures as kvcvrt-cli show does: of a period data file, one per period of periods (a number, a "
        "sequence, text such as '1,5-8', or 'all') and layer of layers (the same; default 1), with '{period}' and "
        "'{layer}' in output standing for each, all on one colour range (LO, HI) unless range= gives it; with "
        "minus=OTHER the difference to that file, blue below zero and red above; or with input=TEXT_FILE data set "
        "`set` of matrix input text. Returns a list of dicts: output, period, layer, range, below and above (the "
        "cells drawn in the end colours), and with minus largest_difference at row, column.");
  m.def("types", &Types,
        "The type list as kvcvrt-cli types shows it: row, text, code, extension and whether a block holds one layer.");
}

// The kvcvrt Python module: the converter's core for numpy arrays. Every run
// is the core's guarded run (lock, checks, journal, sync); this file only
// turns Python values into the core's requests and the core's answers and
// errors back into Python values and exceptions.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <chrono>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "zuduradu/core/format/catalogue.h"
#include "zuduradu/core/run/conversion.h"
#include "zuduradu/core/run/data_file_export.h"
#include "zuduradu/core/run/data_file_info.h"
#include "zuduradu/core/error.h"
#include "zuduradu/core/storage/file_system.h"
#include "zuduradu/core/model/model_file.h"
#include "zuduradu/core/model/model_paths.h"
#include "zuduradu/core/text/number_text.h"
#include "zuduradu/core/format/period_tables.h"
#include "zuduradu/core/model/settings.h"
#include "zuduradu/python/held_sets.h"
#include "zuduradu/python/numpy_values.h"

namespace py = pybind11;
namespace fs = std::filesystem;

namespace kvpy {

namespace {

// kvcvrt.Error, made once at import and kept for the life of the process.
PyObject* g_errorType = nullptr;

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
  py::object error = py::reinterpret_borrow<py::object>(g_errorType)(e.what());
  error.attr("kind") = KindName(e.kind());
  error.attr("problem") = e.problem();
  error.attr("file") = place.file.empty() ? py::none() : py::cast(kv::PathText(place.file));
  error.attr("line") = orNone(place.line);
  error.attr("column") = orNone(place.column);
  error.attr("set") = orNone(place.set);
  error.attr("field") = place.field.empty() ? py::none() : py::cast(place.field);
  error.attr("intact") = e.intact().empty() ? py::none() : py::cast(e.intact());
  PyErr_SetObject(g_errorType, error.ptr());
}

[[noreturn]] void Refuse(kv::ErrorKind kind, const std::string& what, const fs::path& file = {}) {
  throw kv::Error(kind, what, kv::ErrorPlace{file, 0, 0, 0, {}});
}

// A type given as a code or as an extension ("top", ".top", or the code as
// text), as the command line takes it.
int TypeCode(const py::object& type) {
  const std::string forms =
      " is neither a type code 0.." + std::to_string(kv::kMaxTypeCode) +
      " that has an extension nor an extension of the type list such as 'top' or '.top' (kvcvrt.types() lists them)";
  if (py::isinstance<py::bool_>(type)) throw py::type_error("type must be a type code (int) or an extension (str)");
  if (py::isinstance<py::int_>(type) || py::hasattr(type, "__index__")) {
    if (py::isinstance<py::str>(type)) throw py::type_error("type must be a type code (int) or an extension (str)");
    const auto code = PyNumber_AsSsize_t(type.ptr(), nullptr);
    if (code == -1 && PyErr_Occurred()) throw py::error_already_set();
    if (code >= 0 && code <= kv::kMaxTypeCode && !kv::ExtensionFor(static_cast<int>(code)).empty()) {
      return static_cast<int>(code);
    }
    throw py::value_error(std::to_string(code) + forms);
  }
  if (!py::isinstance<py::str>(type)) throw py::type_error("type must be a type code (int) or an extension (str)");
  std::string text = type.cast<std::string>();
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.erase(0, 1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
  if (!text.empty() && text.size() <= 4 && text.find_first_not_of("0123456789") == std::string::npos) {
    const int code = std::stoi(text);
    if (!kv::ExtensionFor(code).empty()) return code;
  } else if (const auto code = kv::TypeCodeForExtension(text)) {
    return *code;
  }
  throw py::value_error(kv::QuoteField(text) + forms);
}

struct Resolved {
  kv::GridSize grid;
  kv::Settings settings;  // the model as the window would hold it, when one was given
};

bool GridGiven(const py::object& grid, const py::object& model) { return !grid.is_none() || !model.is_none(); }

// The grid from grid=(NX, NY, NZ) or from a model file that the window's open
// dialog would accept; exactly one of them.
Resolved ResolveGrid(const py::object& grid, const py::object& model) {
  if (!GridGiven(grid, model)) {
    throw py::value_error("Please select a KV Model: give model=FILE or grid=(NX, NY, NZ)");
  }
  if (!grid.is_none() && !model.is_none()) throw py::value_error("give model or grid, not both");
  Resolved r;
  if (!model.is_none()) {
    const std::string path = py::str(py::module_::import("os").attr("fspath")(model)).cast<std::string>();
    kv::TakeModelFromDialog(r.settings, path);
    if (!r.settings.model.accepted()) Refuse(kv::ErrorKind::BadRequest, kv::ModelRefusal(r.settings), kv::PathFromUtf8(path));
    r.grid = r.settings.Grid();
    return r;
  }
  const std::string shape = "grid must be three whole numbers 1..32767 (columns, rows, layers), such as (120, 80, 3)";
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
  r.grid = {values[0], values[1], values[2]};
  return r;
}

fs::path ToPath(const py::object& path) { return path.cast<fs::path>(); }

const char* PhaseName(kv::RunPhase phase) {
  switch (phase) {
    case kv::RunPhase::Waiting:
      return "waiting";
    case kv::RunPhase::Checking:
      return "checking";
    case kv::RunPhase::Writing:
      return "writing";
  }
  return "";
}

// The run's progress callback. The run works without the GIL; each report takes
// it, looks for Ctrl-C (a pending signal handler that raises cancels the run
// while it still may be cancelled) and calls the user's callback, whose False
// cancels as well. The first Python exception is kept to be raised after the run.
class Progress {
 public:
  explicit Progress(py::object callback) : callback_(std::move(callback)) {}

  kv::ProgressCallback Callback() {
    return [this](const kv::ConversionProgress& p) { return Report(p); };
  }

  // For commands that only read: looks for Ctrl-C while they wait for a run
  // that holds the file.
  kv::LockWait Wait() {
    return {std::chrono::minutes(5), [this] {
              py::gil_scoped_acquire gil;
              return CheckSignals();
            }};
  }

  // Raises the kept exception, if any.
  void RaiseKept() {
    if (kept_) {
      std::unique_ptr<py::error_already_set> kept = std::move(kept_);
      kept->restore();
      throw py::error_already_set();
    }
  }

 private:
  // With the GIL held: false, keeping the exception, when a signal handler raised.
  bool CheckSignals() {
    if (kept_) return false;
    if (PyErr_CheckSignals() != 0) {
      kept_ = std::make_unique<py::error_already_set>();
      return false;
    }
    return true;
  }

  bool Report(const kv::ConversionProgress& p) {
    py::gil_scoped_acquire gil;
    if (!CheckSignals()) return false;
    if (callback_.is_none()) return true;
    try {
      py::dict report;
      report["phase"] = PhaseName(p.phase);
      report["sets_done"] = p.setsDone;
      report["sets_total"] = p.setsTotal;
      report["bytes_read"] = p.bytesRead;
      report["input_bytes"] = p.inputBytes;
      report["output"] = p.output;
      const py::object answer = callback_(report);
      return !(py::isinstance<py::bool_>(answer) && !answer.cast<bool>());
    } catch (py::error_already_set& e) {
      kept_ = std::make_unique<py::error_already_set>(std::move(e));
      return false;
    }
  }

  py::object callback_;
  std::unique_ptr<py::error_already_set> kept_;
};

py::dict ResultDict(const kv::ConversionResult& result, const fs::path& output) {
  py::dict d;
  d["stored"] = result.stored;
  d["skipped"] = result.skipped;
  d["rebuilt"] = result.rebuilt;
  d["warnings"] = result.warnings;
  d["output"] = kv::PathText(output);
  return d;
}

// Runs a command of the core without the GIL; one cancelled for a Python
// exception (Ctrl-C, an error in the callback) raises that exception instead.
template <typename Run>
auto WithoutGil(Progress& progress, Run&& run) {
  std::optional<decltype(run())> result;
  try {
    py::gil_scoped_release released;
    result = run();
  } catch (const kv::Error& e) {
    if (e.kind() == kv::ErrorKind::Cancelled) progress.RaiseKept();
    throw;
  }
  progress.RaiseKept();
  return std::move(*result);
}

kv::ConversionRequest Request(const fs::path& output, const Resolved& resolved, int typeCode, bool create) {
  kv::ConversionRequest request;
  request.output = output;
  request.typeCode = typeCode;
  request.grid = resolved.grid;
  request.createNew = create;
  return request;
}

// The output named, or with a model the model's name with the type's extension.
fs::path OutputPath(const py::object& output, const py::object& grid, const Resolved& resolved, int typeCode) {
  if (!output.is_none()) return ToPath(output);
  if (!grid.is_none()) throw py::value_error("grid needs output: without a model there is no name to give the output file");
  if (const auto name = kv::OutputNameForType(resolved.settings, typeCode)) return kv::PathFromUtf8(*name);
  throw py::value_error("Please specify the name of the output data file: the model path " + resolved.settings.ModelPath +
                        " has no \".\" before which to put the type's extension");
}

py::dict Convert(const py::object& input, const py::object& output, const py::object& grid, const py::object& model,
                 const py::object& type, bool create, const py::object& progressCallback) {
  const int typeCode = TypeCode(type);
  const Resolved resolved = ResolveGrid(grid, model);
  const fs::path out = OutputPath(output, grid, resolved, typeCode);
  kv::ConversionRequest request = Request(out, resolved, typeCode, create);
  request.input = ToPath(input);
  if (const std::string problem = kv::InputProblem(request.input, true); !problem.empty()) {
    Refuse(kv::ErrorKind::InputMissing, problem, request.input);
  }
  Progress progress(progressCallback);
  const auto callback = progress.Callback();
  return ResultDict(WithoutGil(progress, [&] { return kv::RunConversion(request, callback); }), out);
}

// Checks every (period, layer, array) before the run: the shape of each item,
// whole numbers, a 2-D array of NY x NX float or integer values. Keeps the
// arrays alive in `keep` and describes them for the run.
std::vector<HeldSet> TakeSets(const py::object& sets, const kv::GridSize& grid, py::list& keep) {
  const py::module_ numpy = py::module_::import("numpy");
  const py::list items = py::list(sets);  // any iterable, taken once
  std::vector<HeldSet> held;
  held.reserve(items.size());
  const std::string needed = "(" + std::to_string(grid.ny) + ", " + std::to_string(grid.nx) + ")";
  for (std::size_t i = 0; i < items.size(); ++i) {
    const std::string name = "data set " + std::to_string(i + 1);
    const py::object item = items[i];
    if (py::isinstance<py::str>(item) || !py::isinstance<py::sequence>(item) || py::len(item) != 3) {
      throw py::type_error(name + " must be a (period, layer, array) tuple");
    }
    const auto parts = item.cast<py::sequence>();
    HeldSet set;
    set.period = WholeNumber(parts[0], name + ": the period");
    set.layer = WholeNumber(parts[1], name + ": the layer");
    py::array array = numpy.attr("asarray")(parts[2]);
    const auto kind = KindOf(array.dtype());
    if (!kind) {
      throw py::type_error(name + ": an array of " + py::str(array.dtype()).cast<std::string>() +
                           " cannot be stored; give float or integer values");
    }
    if (array.ndim() != 2 || array.shape(0) != grid.ny || array.shape(1) != grid.nx) {
      throw py::value_error(name + ": the array has shape " + py::str(py::tuple(array.attr("shape"))).cast<std::string>() +
                            " where the grid needs (NY, NX) = " + needed);
    }
    if (!array.dtype().attr("isnative").cast<bool>()) {
      array = array.attr("astype")(array.dtype().attr("newbyteorder")("="));
    }
    set.values = {array.data(), *kind, grid.ny, grid.nx, array.strides(0), array.strides(1)};
    keep.append(array);
    held.push_back(set);
  }
  return held;
}

py::dict Write(const py::object& output, const py::object& sets, const py::object& grid, const py::object& model,
               const py::object& type, bool create, const py::object& progressCallback) {
  const int typeCode = TypeCode(type);
  const Resolved resolved = ResolveGrid(grid, model);
  const fs::path out = OutputPath(output, grid, resolved, typeCode);
  kv::CheckGrid(resolved.grid, typeCode);
  py::list keep;
  HeldSets stream(TakeSets(sets, resolved.grid, keep));
  const kv::ConversionRequest request = Request(out, resolved, typeCode, create);
  Progress progress(progressCallback);
  const auto callback = progress.Callback();
  return ResultDict(WithoutGil(progress, [&] { return kv::RunConversionFrom(request, stream, callback); }), out);
}

py::array_t<float> Read(const py::object& path, const py::object& grid, const py::object& model, const py::object& type,
                        const py::object& periodObject, const py::object& layerObject) {
  const int typeCode = TypeCode(type);
  const Resolved resolved = ResolveGrid(grid, model);
  const fs::path file = ToPath(path);
  const std::int64_t period = WholeNumber(periodObject, "period");
  const std::int64_t layer = layerObject.is_none() ? 0 : WholeNumber(layerObject, "layer");
  if (period < 1 || period > kv::kPeriodCount) throw py::value_error("period " + std::to_string(period) + " is outside 1.." + std::to_string(kv::kPeriodCount));
  const int perBlock = kv::LayersPerBlock(typeCode, resolved.grid.nz);
  if (!layerObject.is_none() && (layer < 1 || layer > perBlock)) {
    throw py::value_error("layer " + std::to_string(layer) + " is outside 1.." + std::to_string(perBlock) +
                          ", the layers a block of type " + std::to_string(typeCode) + " holds");
  }
  Progress progress{py::none()};
  auto values = std::make_unique<kv::PeriodValues>(WithoutGil(progress, [&] {
    return kv::ReadPeriodValues(file, resolved.grid, typeCode, static_cast<int>(period), static_cast<int>(layer),
                                progress.Wait());
  }));
  const std::vector<py::ssize_t> shape =
      layer == 0 ? std::vector<py::ssize_t>{values->layers, resolved.grid.ny, resolved.grid.nx}
                 : std::vector<py::ssize_t>{resolved.grid.ny, resolved.grid.nx};
  float* data = values->values.data();
  // The array owns the values it shows: no copy.
  py::capsule owner(values.release(), [](void* p) { delete static_cast<kv::PeriodValues*>(p); });
  return py::array_t<float>(shape, data, owner);
}

py::dict Info(const py::object& path, const py::object& grid, const py::object& model, const py::object& type) {
  const bool gridGiven = GridGiven(grid, model);
  if (gridGiven && type.is_none()) {
    throw py::value_error("type is needed with model or grid: the type decides how many layers a block holds");
  }
  if (!gridGiven && !type.is_none()) throw py::value_error("type needs model or grid");
  std::optional<kv::FileGeometry> geometry;
  if (gridGiven) {
    const int typeCode = TypeCode(type);
    geometry = kv::FileGeometry{ResolveGrid(grid, model).grid, typeCode};
  }
  const fs::path file = ToPath(path);
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
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const kv::Error& e) {
      SetError(e);
    }
  });

  m.def("convert", &Convert, py::arg("input"), py::arg("output") = py::none(), py::kw_only(), py::arg("grid") = py::none(),
        py::arg("model") = py::none(), py::arg("type"), py::arg("create") = false, py::arg("progress") = py::none(),
        "Converts a matrix input text file into a period data file, as kvcvrt-cli convert does. With a model and no "
        "output, the output is the model's name with the type's extension. Returns a dict: stored, skipped, rebuilt, "
        "warnings, output. progress(report) is called after every data set and while waiting for another run; "
        "returning False cancels a run that is still checking.");
  m.def("write", &Write, py::arg("output"), py::arg("sets"), py::kw_only(), py::arg("grid") = py::none(),
        py::arg("model") = py::none(), py::arg("type"), py::arg("create") = false, py::arg("progress") = py::none(),
        "Stores data sets given as (period, layer, array) with arrays of shape (NY, NX) of float or integer values, "
        "rounded to float32 as the text reader rounds; NaN and infinities are refused. The same run, checks and bytes "
        "as converting the same values from text. Returns what convert returns.");
  m.def("read", &Read, py::arg("path"), py::kw_only(), py::arg("grid") = py::none(), py::arg("model") = py::none(),
        py::arg("type"), py::arg("period"), py::arg("layer") = py::none(),
        "The values in force for a period as a float32 array (layers, NY, NX), the layers of its block (NZ, or 1 for "
        "a single-layer type), or one layer (NY, NX). Layers past the end of the file were never written: NaN.");
  m.def("info", &Info, py::arg("path"), py::kw_only(), py::arg("grid") = py::none(), py::arg("model") = py::none(),
        py::arg("type") = py::none(),
        "The header of a period data file as kvcvrt-cli info describes it, as a dict; 'text' holds the lines it prints.");
  m.def("types", &Types,
        "The type list as kvcvrt-cli types shows it: row, text, code, extension and whether a block holds one layer.");
}

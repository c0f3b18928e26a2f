#include "zuduradu/python/numpy_values.h"

#include <limits>
#include <string>

#include "zuduradu/core/format/period_tables.h"

namespace kvpy {

// The element type of a numpy dtype this module reads, or nothing.
std::optional<ValueKind> KindOf(const py::dtype& dtype) {
  const char kind = dtype.kind();
  const auto size = dtype.itemsize();
  if (kind == 'f') {
    if (size == 2) return ValueKind::Float16;
    if (size == 4) return ValueKind::Float32;
    if (size == 8) return ValueKind::Float64;
    if (dtype.is(py::dtype::of<long double>())) return ValueKind::LongDouble;
    return std::nullopt;
  }
  if (kind == 'i' || kind == 'u') {
    const bool s = kind == 'i';
    switch (size) {
      case 1:
        return s ? ValueKind::Int8 : ValueKind::UInt8;
      case 2:
        return s ? ValueKind::Int16 : ValueKind::UInt16;
      case 4:
        return s ? ValueKind::Int32 : ValueKind::UInt32;
      case 8:
        return s ? ValueKind::Int64 : ValueKind::UInt64;
      default:
        return std::nullopt;
    }
  }
  return std::nullopt;
}

std::int64_t WholeNumber(const py::handle& value, const std::string& what) {
  if (py::isinstance<py::bool_>(value) || !py::hasattr(value, "__index__")) {
    throw py::type_error(what + " must be a whole number, not " +
                         py::str(py::type::of(value).attr("__name__")).cast<std::string>());
  }
  const py::int_ number = py::reinterpret_steal<py::int_>(PyNumber_Index(value.ptr()));
  if (!number) throw py::error_already_set();
  long long v = PyLong_AsLongLong(number.ptr());
  if (v == -1 && PyErr_Occurred()) {
    // Far outside any period or layer: the run refuses it by its value.
    PyErr_Clear();
    const bool positive = PyObject_RichCompareBool(number.ptr(), py::int_(0).ptr(), Py_GT) == 1;
    v = positive ? std::numeric_limits<long long>::max() : std::numeric_limits<long long>::min();
  }
  return static_cast<std::int64_t>(v);
}

namespace {

// A masked array's hidden values are not data: refused, naming the first
// masked cell, unless the call gives the value to put there.
py::object Unmasked(const py::object& value, const py::object& fill, const std::string& name) {
  const py::module_ ma = py::module_::import("numpy.ma");
  if (!ma.attr("isMaskedArray")(value).cast<bool>()) return value;
  if (!fill.is_none()) return value.attr("filled")(fill);
  const py::object mask = ma.attr("getmaskarray")(value);
  if (!mask.attr("any")().cast<bool>()) return value.attr("data");
  const py::object first = py::module_::import("numpy").attr("argwhere")(mask)[py::int_(0)];
  std::string index;
  for (const py::handle i : first) index += (index.empty() ? "" : ", ") + py::str(i).cast<std::string>();
  const std::size_t dims = py::len(first);
  throw py::value_error(name + ": the masked array has " + py::str(mask.attr("sum")()).cast<std::string>() +
                        " masked cells, the first at index (" + index + ") (" +
                        (dims == 3 ? "layer, row, column" : "row, column") +
                        ", from 0); their hidden values would be stored. Give fill=VALUE to store that value in "
                        "masked cells, or fill the array first");
}

// Checks one layer: a 2-D array of NY x NX float or integer values. Keeps the
// array alive in `keep` and describes it for the run.
HeldSet TakeLayer(std::int64_t period, std::int64_t layer, py::array array, const kv::GridSize& grid, py::list& keep,
                  const std::string& name) {
  const auto kind = KindOf(array.dtype());
  if (!kind) {
    throw py::type_error(name + ": an array of " + py::str(array.dtype()).cast<std::string>() +
                         " cannot be stored; give float or integer values");
  }
  if (array.ndim() != 2 || array.shape(0) != grid.ny || array.shape(1) != grid.nx) {
    throw py::value_error(name + ": the array has shape " + py::str(py::tuple(array.attr("shape"))).cast<std::string>() +
                          " where the grid needs (NY, NX) = (" + std::to_string(grid.ny) + ", " +
                          std::to_string(grid.nx) + ")");
  }
  if (!array.dtype().attr("isnative").cast<bool>()) array = array.attr("astype")(array.dtype().attr("newbyteorder")("="));
  keep.append(array);
  return HeldSet{period, layer, {array.data(), *kind, grid.ny, grid.nx, array.strides(0), array.strides(1)}};
}

}  // namespace

namespace {

// (periods, array) with an array of shape (periods, layers, NY, NX), as read
// gives every period: each period's layers in turn.
void TakePeriods(const py::sequence& periods, const py::object& values, const kv::GridSize& grid, int perBlock,
                 py::list& keep, const std::string& name, std::vector<HeldSet>& held) {
  const py::array whole = py::module_::import("numpy").attr("asarray")(values);
  if (whole.ndim() != 4 || whole.shape(0) != static_cast<py::ssize_t>(py::len(periods)) || whole.shape(1) != perBlock) {
    throw py::value_error(name + ": the array has shape " + py::str(py::tuple(whole.attr("shape"))).cast<std::string>() +
                          " where " + std::to_string(py::len(periods)) + " periods need (periods, layers, NY, NX) = (" +
                          std::to_string(py::len(periods)) + ", " + std::to_string(perBlock) + ", " +
                          std::to_string(grid.ny) + ", " + std::to_string(grid.nx) + ")");
  }
  for (std::size_t p = 0; p < py::len(periods); ++p) {
    const std::string at = name + ", period " + std::to_string(p + 1) + " of the list";
    const std::int64_t period = WholeNumber(periods[p], at);
    for (int layer = 1; layer <= perBlock; ++layer) {
      held.push_back(TakeLayer(period, layer, whole[py::make_tuple(p, layer - 1)], grid, keep,
                               at + ", layer " + std::to_string(layer)));
    }
  }
}

}  // namespace

// Checks every item before the run: (period, layer, array) with an (NY, NX)
// array, or (period, array) with a (layers, NY, NX) array for every layer of
// the period's block.
std::vector<HeldSet> TakeSets(const py::object& sets, const kv::GridSize& grid, int typeCode, const py::object& fill,
                              py::list& keep) {
  const py::module_ numpy = py::module_::import("numpy");
  const py::list items = py::list(sets);  // any iterable, taken once
  const int perBlock = kv::LayersPerBlock(typeCode, grid.nz);
  std::vector<HeldSet> held;
  held.reserve(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    const std::string name = "data set " + std::to_string(i + 1);
    const py::object item = items[i];
    const bool sequence = !py::isinstance<py::str>(item) && py::isinstance<py::sequence>(item);
    const std::size_t size = sequence ? py::len(item) : 0;
    if (size != 2 && size != 3) {
      throw py::type_error(name + " must be a (period, layer, array) tuple, (period, array) with every layer, or "
                                   "(periods, array) with every layer of each period");
    }
    const auto parts = item.cast<py::sequence>();
    const py::object first = parts[0];
    if (size == 2 && !py::isinstance<py::str>(first) && py::isinstance<py::sequence>(first)) {
      TakePeriods(first.cast<py::sequence>(), Unmasked(numpy.attr("asanyarray")(parts[1]), fill, name), grid, perBlock,
                  keep, name, held);
      continue;
    }
    const std::int64_t period = WholeNumber(first, name + ": the period");
    const py::object values = Unmasked(numpy.attr("asanyarray")(parts[size - 1]), fill, name);
    if (size == 3) {
      held.push_back(TakeLayer(period, WholeNumber(parts[1], name + ": the layer"), numpy.attr("asarray")(values),
                               grid, keep, name));
      continue;
    }
    const py::array whole = numpy.attr("asarray")(values);
    if (whole.ndim() != 3 || whole.shape(0) != perBlock) {
      throw py::value_error(name + ": the array has shape " + py::str(py::tuple(whole.attr("shape"))).cast<std::string>() +
                            " where a whole period needs (layers, NY, NX) = (" + std::to_string(perBlock) + ", " +
                            std::to_string(grid.ny) + ", " + std::to_string(grid.nx) + ")");
    }
    for (int layer = 1; layer <= perBlock; ++layer) {
      held.push_back(TakeLayer(period, layer, whole[py::int_(layer - 1)], grid, keep,
                               name + ", layer " + std::to_string(layer)));
    }
  }
  return held;
}

}  // namespace kvpy

#include "zuduradu/python/numpy_values.h"

#include <limits>

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

}  // namespace kvpy

// Python values as the module takes them: the element type of a numpy array,
// and whole numbers given as any integer-like object.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <optional>
#include <string>

#include "zuduradu/python/held_sets.h"

namespace kvpy {

namespace py = pybind11;

// The element type of a numpy dtype this module reads, or nothing.
std::optional<ValueKind> KindOf(const py::dtype& dtype);

// A whole number (anything with __index__ but a bool), refused with a
// TypeError that names `what`; one far outside 64 bits comes back as the
// nearest 64-bit value, which the run refuses by its value.
std::int64_t WholeNumber(const py::handle& value, const std::string& what);

}  // namespace kvpy

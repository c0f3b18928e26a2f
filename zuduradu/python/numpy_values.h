// Python values as the module takes them: the element type of a numpy array,
// whole numbers given as any integer-like object, and the data sets of a write.
#pragma once

#include <cstdint>
#include <optional>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <string>
#include <vector>

#include "zuduradu/core/grid.h"
#include "zuduradu/python/held_sets.h"

namespace kvpy {

namespace py = pybind11;

// The element type of a numpy dtype this module reads, or nothing.
std::optional<ValueKind> KindOf(const py::dtype& dtype);

// A whole number (anything with __index__ but a bool), refused with a
// TypeError that names `what`; one far outside 64 bits comes back as the
// nearest 64-bit value, which the run refuses by its value.
std::int64_t WholeNumber(const py::handle& value, const std::string& what);

// Checks every item before the run: (period, layer, array) with an (NY, NX)
// array, or (period, array) with a (layers, NY, NX) array for every layer of
// the period's block; a masked array needs `fill` unless nothing is masked.
// Keeps the arrays alive in `keep` and describes them for the run.
std::vector<HeldSet> TakeSets(const py::object& sets, const kv::GridSize& grid, int typeCode, const py::object& fill,
                              py::list& keep);

}  // namespace kvpy

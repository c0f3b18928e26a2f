// What the module's files share: how arguments are named in messages and how
// Python values become the core's types, and the calls that look at data
// (stats, diff, show), which live in view_calls.cpp.
#pragma once

#include <filesystem>
#include <pybind11/pybind11.h>

#include "zuduradu/core/run/request.h"

namespace py = pybind11;

namespace kvpy {

// How the module names its arguments in the core's messages.
inline constexpr kv::RequestWords kWords{"model",      "grid",             "type",           "output",
                                  "model=FILE", "grid=(NX, NY, NZ)", "'top' or '.top'", "kvcvrt.types()"};

// A type given as a code or as an extension ("top", ".top", or the code as
// text), as the command line takes it.
int TypeCode(const py::object& type);

// grid=(NX, NY, NZ) and model=FILE as the core's choice of grid.
kv::GridChoice Choice(const py::object& grid, const py::object& model);

// A period data file that is not there: FileNotFoundError, before any lock.
void RequireFile(const std::filesystem::path& file);

std::filesystem::path ToPath(const py::object& path);

py::list Stats(const py::object& path, const py::object& input, const py::object& grid, const py::object& model,
               const py::object& type, const py::object& nodata);
py::dict Diff(const py::object& first, const py::object& second, const py::object& grid, const py::object& model,
              const py::object& type, double tolerance);
py::list Show(const py::object& path, const py::object& output, const py::object& input, const py::object& grid,
              const py::object& model, const py::object& type, const py::object& periods, const py::object& layers,
              int set, const py::object& minus, const py::object& range, const py::object& nodata);

}  // namespace kvpy

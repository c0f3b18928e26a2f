// The sentences that tell what the lines of a matrix text said about its sets.
#pragma once

#include <filesystem>
#include <string>

#include "zuduradu/core/grid.h"
#include "zuduradu/core/text/line_shape.h"

namespace kv {

// "data set 2 holds fewer values than NX x NY = ...: line 193 holds 199 values where the rows before it hold 200".
std::string ShapeBreakNote(const ShapeBreak& at, const GridSize& grid);

// The warning for sets written in regular lines of another length than the grid's rows.
std::string OtherWidthWarning(const OtherWidth& other, const GridSize& grid, const std::filesystem::path& input);

}  // namespace kv

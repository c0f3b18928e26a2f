#include "zuduradu/core/run/shape_notes.h"

#include "zuduradu/core/message_text.h"

namespace kv {

namespace {

std::string CellsText(const GridSize& grid) {
  return "NX x NY = " + std::to_string(grid.nx) + " x " + std::to_string(grid.ny) + " = " +
         std::to_string(CellsPerLayer(grid));
}

}  // namespace

std::string ShapeBreakNote(const ShapeBreak& at, const GridSize& grid) {
  return "data set " + std::to_string(at.set) + " holds " + (at.held < at.expected ? "fewer" : "more") +
         " values than " + CellsText(grid) + ": line " + std::to_string(at.line) + " holds " +
         Counted(at.held, "value", "values") + " where the " + (at.rows ? "rows " : "lines ") +
         (at.after ? "after" : "before") + " it hold " + std::to_string(at.expected);
}

std::string OtherWidthWarning(const OtherWidth& other, const GridSize& grid, const std::filesystem::path& input) {
  const int more = other.sets - 1;
  return PathText(input) + ": data set " + std::to_string(other.set) + " is written in lines of " +
         std::to_string(other.width) + " values from line " + std::to_string(other.line) + " on" +
         (more > 0 ? " (and so " + std::string(ForCount(more, "is ", "are ")) + Counted(more, "more data set", "more data sets") + ")" : "") +
         ", where the grid's rows hold NX = " + std::to_string(grid.nx) +
         ": the text may be meant for another grid, such as one with NX and NY swapped. Line ends carry no meaning, "
         "so the values fill rows of " + std::to_string(grid.nx) + " in the order they are read";
}

}  // namespace kv

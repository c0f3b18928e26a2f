// Where a conversion run takes its data sets from, in order: the set count,
// then per set its period, its layer and its values. The matrix text reader is
// one such stream; a program that hands over values it holds is another.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "zuduradu/core/text/line_shape.h"

namespace kv {

struct FieldLocation {
  std::int64_t line = 0;
  std::int64_t column = 0;
};

// Fields that follow the last data set a stream announces.
struct LeftOverFields {
  std::int64_t fields = 0;
  std::int64_t firstLine = 0;  // the line of the first of them
};

class SetStream {
 public:
  virtual ~SetStream() = default;
  // Reads a whole-number field (count, period, layer) of data set `set` (0 for the count).
  virtual std::int16_t ReadInteger(std::string_view field, int set) = 0;
  // Reads values.size() values of data set `set`.
  virtual void ReadValues(std::span<float> values, int set) = 0;
  // Reads and checks n values of data set `set` without keeping them.
  virtual void SkipValues(std::int64_t n, int set) = 0;
  // Counts what follows the last announced set.
  virtual LeftOverFields CountLeftOverFields() = 0;
  // Where the last field that was read starts (line 0 when not text).
  virtual FieldLocation lastField() const = 0;
  // How much of the input has been consumed, in bytes.
  virtual std::uint64_t bytesRead() const = 0;
  // From now on, judges how each set's `values` values are spread over lines
  // against rows of `rowLength` (text only; other streams have no lines).
  virtual void TrackLineShapes(std::int64_t /*rowLength*/, std::int64_t /*values*/) {}
  // What the lines said so far; nothing for a stream without lines.
  virtual const LineShape* lineShapes() const { return nullptr; }
  // Cells whose no-data number was replaced by the caller's fill value so far
  // (a raster's; other streams fill nothing).
  virtual std::int64_t filledCells() const { return 0; }
};

}  // namespace kv

// Data sets a program holds in memory, handed to a conversion run as its
// stream of sets: each set is a period, a layer and a two-dimensional array of
// numbers of any float or integer element type, read through its strides. The
// values become floats as the matrix text reader makes them: rounded to
// nearest, refused when not finite or beyond the float range.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "zuduradu/core/input/set_stream.h"

namespace kvpy {

enum class ValueKind { Float16, Float32, Float64, LongDouble, Int8, Int16, Int32, Int64, UInt8, UInt16, UInt32, UInt64 };

// A view of rows x columns values; strides in bytes, in native byte order.
struct HeldArray {
  const void* data = nullptr;
  ValueKind kind = ValueKind::Float32;
  std::int64_t rows = 0;
  std::int64_t columns = 0;
  std::int64_t rowStride = 0;
  std::int64_t columnStride = 0;
};

struct HeldSet {
  std::int64_t period = 0;
  std::int64_t layer = 0;
  HeldArray values;
};

// The sets in order. The arrays must stay alive and unchanged while the run
// reads them; their shapes must be NY x NX, which the caller checks first.
class HeldSets final : public kv::SetStream {
 public:
  explicit HeldSets(std::vector<HeldSet> sets);

  std::int16_t ReadInteger(std::string_view field, int set) override;
  void ReadValues(std::span<float> values, int set) override;
  void SkipValues(std::int64_t n, int set) override;
  kv::LeftOverFields CountLeftOverFields() override { return {}; }
  kv::FieldLocation lastField() const override { return {}; }
  std::uint64_t bytesRead() const override { return 0; }

 private:
  const HeldSet& Set(int set) const;
  void Convert(const HeldSet& held, std::span<float> out, int set) const;

  std::vector<HeldSet> sets_;
};

// The float a double becomes in the text reader: the value of its shortest
// decimal text rounded to nearest. Refused (false) when not finite or beyond
// the float range.
bool RoundToFloat(double value, float& out);

}  // namespace kvpy

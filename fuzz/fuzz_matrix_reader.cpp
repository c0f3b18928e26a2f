// Any bytes into the matrix reader: a result or a kv::Error, never a crash,
// a hang or a read out of bounds. The first two bytes choose the grid and the
// chunk size, so fields cut by the chunk's edge are exercised too.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "zuduradu/core/byte_source.h"
#include "zuduradu/core/error.h"
#include "zuduradu/core/matrix_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const int nx = data[0] % 7 + 1;
  const int ny = data[0] / 7 % 5 + 1;
  const std::size_t chunk = kv::MatrixReader::kMaxFieldBytes + data[1] % 64;
  kv::MemorySource source(std::string_view(reinterpret_cast<const char*>(data) + 2, size - 2));
  kv::MatrixReader reader(source, "fuzz.dat", chunk);
  std::vector<float> layer(static_cast<std::size_t>(nx * ny));
  try {
    const int count = reader.ReadInteger("set count", 0);
    for (int s = 1; s <= count; ++s) {
      reader.ReadInteger("period", s);
      const int l = reader.ReadInteger("layer", s);
      if (l % 2 == 0) {
        reader.ReadValues(layer, s);
      } else {
        reader.SkipValues(nx * ny, s);
      }
    }
  } catch (const kv::Error&) {
  }
  return 0;
}

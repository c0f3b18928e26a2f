// Any bytes into the matrix reader: a result or a kv::Error, never a crash,
// a hang or a read out of bounds. The same bytes are read on one thread and on
// two or three, and both must see the same numbers, places, bytes read and
// first error, and the same fields left after the last set. The first two
// bytes choose the grid, the thread count and the chunk size; the chunks are
// tiny, so fields cut by a chunk's edge and chunk edges inside every kind of
// separator run are exercised too.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "zuduradu/core/error.h"
#include "zuduradu/core/text/byte_source.h"
#include "zuduradu/core/text/matrix_reader.h"

namespace {

struct Outcome {
  std::vector<std::int64_t> seen;  // integers, their places, value bits, bytes read after each set
  std::string error;
  bool operator==(const Outcome&) const = default;
};

Outcome Read(std::string_view text, int nx, int ny, std::size_t chunk, int threads) {
  kv::MemorySource source(text);
  const auto reader = kv::MatrixReader::Open(source, "fuzz.dat", chunk, threads);
  std::vector<float> layer(static_cast<std::size_t>(nx * ny));
  Outcome o;
  try {
    const int count = reader->ReadInteger("set count", 0);
    for (int s = 1; s <= count; ++s) {
      o.seen.push_back(reader->ReadInteger("period", s));
      const int l = reader->ReadInteger("layer", s);
      o.seen.insert(o.seen.end(), {l, reader->lastField().line, reader->lastField().column});
      if (l % 2 == 0) {
        reader->ReadValues(layer, s);
        for (float v : layer) o.seen.push_back(std::bit_cast<std::uint32_t>(v));
      } else {
        reader->SkipValues(nx * ny, s);
      }
      o.seen.push_back(static_cast<std::int64_t>(reader->bytesRead()));
    }
    const kv::LeftOverFields left = reader->CountLeftOverFields();
    o.seen.insert(o.seen.end(), {left.fields, left.firstLine, static_cast<std::int64_t>(reader->bytesRead())});
  } catch (const kv::Error& e) {
    o.error = e.what();
  }
  return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const int nx = data[0] % 7 + 1;
  const int ny = data[0] / 7 % 5 + 1;
  const std::string_view text(reinterpret_cast<const char*>(data) + 2, size - 2);
  // The start of the text is judged on the first read, which is as long for
  // both readers with these chunk sizes.
  const Outcome one = Read(text, nx, ny, kv::MatrixReader::kMaxFieldBytes, 1);
  const Outcome many = Read(text, nx, ny, 1 + data[1] % 32, 2 + data[1] / 32 % 2);
  if (!(one == many)) std::abort();
  return 0;
}

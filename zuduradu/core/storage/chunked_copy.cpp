#include "zuduradu/core/storage/chunked_copy.h"

#include <algorithm>
#include <memory>

namespace kv {

void ReadInChunks(BinaryFile& from, std::int64_t offset, std::int64_t length,
                  const std::function<void(std::int64_t done, std::span<const unsigned char> piece)>& take) {
  if (length <= 0) return;
  const auto size = static_cast<std::size_t>(std::min<std::int64_t>(length, static_cast<std::int64_t>(kCopyChunkBytes)));
  // Left uninitialised: every byte handed on was read first.
  const auto chunk = std::make_unique_for_overwrite<unsigned char[]>(size);
  for (std::int64_t done = 0; done < length;) {
    const auto n = static_cast<std::size_t>(std::min<std::int64_t>(length - done, static_cast<std::int64_t>(size)));
    from.ReadAt(offset + done, {chunk.get(), n});
    take(done, {chunk.get(), n});
    done += static_cast<std::int64_t>(n);
  }
}

}  // namespace kv

// Bytes of a file read a piece at a time, for copies of any length that keep
// their memory to one piece.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "zuduradu/core/storage/binary_file.h"

namespace kv {

// The most bytes held at once.
inline constexpr std::size_t kCopyChunkBytes = std::size_t{1} << 20;

// Reads `length` bytes of `from` at `offset`, in order and kCopyChunkBytes at
// most at a time, and hands each piece to `take` with its distance from
// `offset`. Throws as BinaryFile::ReadAt does when the file ends first.
void ReadInChunks(BinaryFile& from, std::int64_t offset, std::int64_t length,
                  const std::function<void(std::int64_t done, std::span<const unsigned char> piece)>& take);

}  // namespace kv

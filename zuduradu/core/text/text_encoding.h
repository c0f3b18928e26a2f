// What the first bytes of a matrix input file say about its encoding. The
// reader takes plain ASCII or UTF-8 text; Windows editors often save with a
// UTF-8 byte order mark, which is skipped, or as UTF-16, which is refused with
// a message that says what the file is and how to save it readable.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string_view>

namespace kv {

// The number of bytes to skip at the start (3 after a UTF-8 byte order mark,
// else 0). Throws kv::Error (BadInput) for a UTF-16 or UTF-32 byte order mark
// and for NUL bytes in the first line, the mark of UTF-16 text without one.
// `start` is the beginning of the file, as much of it as was read.
std::size_t CheckTextStart(std::string_view start, const std::filesystem::path& name);

}  // namespace kv

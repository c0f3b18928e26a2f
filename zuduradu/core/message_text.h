// Small pieces of the texts shown to the user, written the same way by the
// core, the command line and the window.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace kv {

// The word that fits a count: `one` for 1, `many` for any other.
std::string_view ForCount(std::int64_t n, std::string_view one, std::string_view many);
// The count and that word: Counted(1, "byte", "bytes") is "1 byte", Counted(0, ...) "0 bytes".
std::string Counted(std::int64_t n, std::string_view one, std::string_view many);

// "1 data set", "0 data sets", "2 data sets".
std::string DataSetCount(std::int64_t n);

// A whole number with its thousands set apart by commas: "2,147,483,646".
std::string GroupedThousands(std::int64_t value);

// The path as UTF-8 text for messages.
std::string PathText(const std::filesystem::path& path);

}  // namespace kv

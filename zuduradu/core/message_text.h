// Small pieces of the texts shown to the user, written the same way by the
// core, the command line and the window.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace kv {

// "1 data set", "0 data sets", "2 data sets".
std::string DataSetCount(std::int64_t n);

// A whole number with its thousands set apart by commas: "2,147,483,646".
std::string GroupedThousands(std::int64_t value);

// The path as UTF-8 text for messages.
std::string PathText(const std::filesystem::path& path);

}  // namespace kv

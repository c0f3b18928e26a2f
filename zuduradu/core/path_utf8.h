// Paths as UTF-8 text, the same on every platform. On Windows a path is UTF-16
// inside, and std::filesystem::path's narrow string() goes through the ANSI code
// page, which loses or refuses every letter outside it; messages and the text
// the user sees therefore go through these two instead.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kv {

// The path named by UTF-8 text.
std::filesystem::path PathFromUtf8(std::string_view text);

// The path as UTF-8 text, with its separators as they are.
std::string PathToUtf8(const std::filesystem::path& path);

}  // namespace kv

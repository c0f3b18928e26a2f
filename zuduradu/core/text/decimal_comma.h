// Text written with decimal commas ("1,5E-04", as spreadsheets in many
// languages save it) reads as two numbers per value, since a comma separates
// fields. Seen from the start of a file, it can be named in a hint.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kv {

// The first field of text, split at blanks, tabs and semicolons, that looks
// like a number with a decimal comma ("1,5", "-2,5E-04"), when no field has a
// decimal point; empty otherwise.
std::string DecimalCommaField(std::string_view text);

// A sentence (with a leading blank) that names such a field in the first
// 64 KiB of the file and says what to do; empty when there is none.
std::string DecimalCommaHint(const std::filesystem::path& file);

}  // namespace kv

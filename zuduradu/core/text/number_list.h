// Lists of whole numbers as a user writes them on a command line: "1,5,10-20".
#pragma once

#include <string_view>
#include <vector>

namespace kv {

// The text without the blanks and tabs around it.
std::string_view TrimBlanks(std::string_view s);

// Entries separated by commas, each a number or a range first-last, all within
// 1..last; blanks around entries are allowed. Gives the numbers in ascending
// order, each once. `noun` names one of them in errors ("period", "layer").
// Throws kv::Error (BadRequest) that names the entry in fault.
std::vector<int> ParseNumberList(std::string_view text, int last, std::string_view noun);

// A list of periods 1..1000.
std::vector<int> ParsePeriodList(std::string_view text);

}  // namespace kv

#include "zuduradu/core/text/decimal_comma.h"

#include <algorithm>
#include <fstream>

namespace kv {

namespace {

bool Digits(std::string_view s) { return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos; }

// "-1,5", "1,5E-04": one comma between digits, an optional exponent after.
bool DecimalCommaNumber(std::string_view field) {
  if (!field.empty() && (field.front() == '-' || field.front() == '+')) field.remove_prefix(1);
  const std::size_t comma = field.find(',');
  if (comma == std::string_view::npos) return false;
  std::string_view fraction = field.substr(comma + 1);
  if (const std::size_t e = fraction.find_first_of("eEdD"); e != std::string_view::npos) {
    std::string_view exponent = fraction.substr(e + 1);
    if (!exponent.empty() && (exponent.front() == '-' || exponent.front() == '+')) exponent.remove_prefix(1);
    if (!Digits(exponent)) return false;
    fraction = fraction.substr(0, e);
  }
  return Digits(field.substr(0, comma)) && Digits(fraction);
}

}  // namespace

std::string DecimalCommaField(std::string_view text) {
  std::string_view first;
  bool points = false;
  int commas = 0;
  while (!text.empty()) {
    const std::size_t start = text.find_first_not_of(" \t\r\n;");
    if (start == std::string_view::npos) break;
    text.remove_prefix(start);
    const std::size_t end = std::min(text.find_first_of(" \t\r\n;"), text.size());
    const std::string_view field = text.substr(0, end);
    text.remove_prefix(end);
    points = points || field.find('.') != std::string_view::npos;
    if (DecimalCommaNumber(field)) {
      if (commas++ == 0) first = field;
    }
  }
  return commas > 0 && !points ? std::string(first) : std::string();
}

std::string DecimalCommaHint(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::string head(64 * 1024, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(in.gcount()));
  // The last field may be cut short by the 64 KiB.
  if (head.size() == 64 * 1024) head.erase(std::min(head.find_last_of(" \t\r\n;"), head.size()));
  const std::string field = DecimalCommaField(head);
  if (field.empty()) return {};
  return ". The fields look like numbers written with a decimal comma, such as \"" + field +
         "\", which reads as two numbers: save the text with a decimal point (in a spreadsheet, set the decimal "
         "separator to \".\"), or put a blank after every comma that separates fields";
}

}  // namespace kv

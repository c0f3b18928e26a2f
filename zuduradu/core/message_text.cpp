#include "zuduradu/core/message_text.h"

namespace kv {

std::string_view ForCount(std::int64_t n, std::string_view one, std::string_view many) { return n == 1 ? one : many; }

std::string Counted(std::int64_t n, std::string_view one, std::string_view many) {
  return std::to_string(n) + " " + std::string(ForCount(n, one, many));
}

std::string DataSetCount(std::int64_t n) { return Counted(n, "data set", "data sets"); }

std::string GroupedThousands(std::int64_t value) {
  const std::string digits = std::to_string(value);
  const std::size_t sign = value < 0 ? 1 : 0;
  std::string out = digits.substr(0, sign);
  for (std::size_t i = sign; i < digits.size(); ++i) {
    if (i > sign && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string PathText(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return {reinterpret_cast<const char*>(text.data()), text.size()};
}

}  // namespace kv

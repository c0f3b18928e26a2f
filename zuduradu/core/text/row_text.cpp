#include "zuduradu/core/text/row_text.h"

#include <charconv>

namespace kv {

char* WriteValueText(char* out, float value) {
  // std::to_chars without a format gives the shortest text that reads back exactly.
  return std::to_chars(out, out + kValueTextRoom, value).ptr;
}

char* WriteRowText(char* out, std::span<const float> values) {
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) *out++ = ' ';
    out = WriteValueText(out, values[i]);
  }
  *out++ = '\n';
  return out;
}

}  // namespace kv

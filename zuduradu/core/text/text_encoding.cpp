#include "zuduradu/core/text/text_encoding.h"

#include <string>

#include "zuduradu/core/error.h"
#include "zuduradu/core/storage/file_system.h"

namespace kv {

namespace {

constexpr const char* kSaveAsPlainText =
    "; kvcvrt reads plain text only: save the file as plain text (ASCII or UTF-8, for example \"Text\" or "
    "\"UTF-8\" in the editor's save dialog) and convert again";

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

}  // namespace

std::size_t CheckTextStart(std::string_view start, const std::filesystem::path& name) {
  using namespace std::string_view_literals;
  struct Mark {
    std::string_view bytes;
    const char* what;
  };
  // The UTF-32 marks first: the little-endian one begins like UTF-16's.
  static constexpr Mark kMarks[] = {
      {"\x00\x00\xFE\xFF"sv, "UTF-32 text (big-endian)"},
      {"\xFF\xFE\x00\x00"sv, "UTF-32 text (little-endian)"},
      {"\xFE\xFF"sv, "UTF-16 text (big-endian)"},
      {"\xFF\xFE"sv, "UTF-16 text (little-endian)"},
  };
  for (const Mark& mark : kMarks) {
    if (StartsWith(start, mark.bytes)) {
      throw Error(ErrorKind::BadInput,
                  PathText(name) + " is " + mark.what + ", as its first bytes (a byte order mark) say" + kSaveAsPlainText);
    }
  }
  const std::size_t skip = StartsWith(start, "\xEF\xBB\xBF"sv) ? 3 : 0;
  const std::string_view firstLine = start.substr(skip, start.find('\n', skip) - skip);
  if (firstLine.find('\0') != std::string_view::npos) {
    throw Error(ErrorKind::BadInput, PathText(name) +
                                         " holds NUL bytes between the characters of its first line, as UTF-16 or "
                                         "UTF-32 text does" +
                                         kSaveAsPlainText);
  }
  return skip;
}

}  // namespace kv

#include "zuduradu/core/input/manifest.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <optional>
#include <string>

#include "zuduradu/core/error.h"
#include "zuduradu/core/grid.h"
#include "zuduradu/core/message_text.h"
#include "zuduradu/core/storage/file_system.h"
#include "zuduradu/core/text/byte_source.h"
#include "zuduradu/core/text/number_list.h"
#include "zuduradu/core/text/number_text.h"

namespace kv {

namespace {

enum class Column { File, Period, Layer };
constexpr std::array<std::string_view, 3> kColumnNames = {"file", "period", "layer"};

struct Field {
  std::string text;
  std::int64_t column = 0;  // 1-based byte column where it starts
};

// The fields of one line, split at commas outside quotes.
std::vector<Field> SplitLine(std::string_view line, const std::filesystem::path& manifest, std::int64_t lineNumber) {
  std::vector<Field> fields(1);
  fields.back().column = 1;
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c != '"') {
        fields.back().text += c;
      } else if (i + 1 < line.size() && line[i + 1] == '"') {
        fields.back().text += '"';
        ++i;
      } else {
        quoted = false;
      }
    } else if (c == ',') {
      fields.push_back({{}, static_cast<std::int64_t>(i) + 2});
    } else if (c == '"' && TrimBlanks(fields.back().text).empty()) {
      fields.back().text.clear();
      quoted = true;
    } else {
      fields.back().text += c;
    }
  }
  if (quoted) {
    throw Error(ErrorKind::BadInput, "the quote that opens this field is never closed",
                ErrorPlace{manifest, lineNumber, fields.back().column, 0, {}});
  }
  for (Field& f : fields) f.text = std::string(TrimBlanks(f.text));
  return fields;
}

std::string Lower(std::string_view text) {
  std::string s(text);
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

// Which column each header field names.
std::vector<Column> ReadHeader(const std::vector<Field>& fields, const std::filesystem::path& manifest,
                               std::int64_t line) {
  std::vector<Column> columns;
  for (const Field& f : fields) {
    const auto named = std::find(kColumnNames.begin(), kColumnNames.end(), Lower(f.text));
    const auto column = static_cast<Column>(named - kColumnNames.begin());
    if (named == kColumnNames.end() || std::find(columns.begin(), columns.end(), column) != columns.end()) {
      throw Error(ErrorKind::BadInput,
                  QuoteField(f.text) + (named == kColumnNames.end() ? " is not a column of a manifest"
                                                                     : " is a column given twice") +
                      ": its header is file,period,layer",
                  ErrorPlace{manifest, line, f.column, 0, "header"});
    }
    columns.push_back(column);
  }
  if (std::find(columns.begin(), columns.end(), Column::File) == columns.end()) {
    throw Error(ErrorKind::BadInput, "the header has no file column: a manifest's header is file,period,layer",
                ErrorPlace{manifest, line, 1, 0, "header"});
  }
  return columns;
}

std::optional<int> WholeNumber(const Field& f, Column column, const std::filesystem::path& manifest, std::int64_t line) {
  if (f.text.empty()) return std::nullopt;
  std::int16_t value = 0;
  if (ParseInt16Field(f.text, value) != NumberStatus::Ok || value < 1) {
    throw Error(ErrorKind::BadInput, QuoteField(f.text) + " is not a whole number 1.." + std::to_string(kInt16Max),
                ErrorPlace{manifest, line, f.column, 0, std::string(kColumnNames[static_cast<std::size_t>(column)])});
  }
  return value;
}

}  // namespace

std::vector<InputSource> ParseManifest(std::string_view text, const std::filesystem::path& manifest) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  const std::filesystem::path folder = manifest.parent_path();
  std::vector<Column> columns;
  std::vector<InputSource> inputs;
  std::int64_t line = 0;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view row = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    ++line;
    if (!row.empty() && row.back() == '\r') row.remove_suffix(1);
    if (TrimBlanks(row).empty()) continue;
    const std::vector<Field> fields = SplitLine(row, manifest, line);
    if (columns.empty()) {
      columns = ReadHeader(fields, manifest, line);
      continue;
    }
    if (fields.size() > columns.size()) {
      throw Error(ErrorKind::BadInput,
                  "the line has " + std::to_string(fields.size()) + " fields, but the header names " +
                      std::to_string(columns.size()) + " columns",
                  ErrorPlace{manifest, line, fields[columns.size()].column, 0, {}});
    }
    InputSource input;
    const Field* file = nullptr;
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (columns[i] == Column::File) file = &fields[i];
      if (columns[i] == Column::Period) input.period = WholeNumber(fields[i], columns[i], manifest, line);
      if (columns[i] == Column::Layer) input.layer = WholeNumber(fields[i], columns[i], manifest, line);
    }
    if (file == nullptr || file->text.empty()) {
      throw Error(ErrorKind::BadInput, "the line names no file", ErrorPlace{manifest, line, 1, 0, "file"});
    }
    if (input.period.has_value() != input.layer.has_value()) {
      throw Error(ErrorKind::BadInput,
                  std::string(input.period ? "a period without a layer" : "a layer without a period") +
                      ": a raster's line gives both, a matrix text file's line neither",
                  ErrorPlace{manifest, line, file->column, 0, {}});
    }
    const std::filesystem::path path = PathFromUtf8(file->text);
    input.path = path.is_absolute() || folder.empty() ? path : folder / path;
    inputs.push_back(std::move(input));
  }
  if (inputs.empty()) {
    throw Error(ErrorKind::BadInput, "The manifest " + PathText(manifest) + " lists no input file" +
                                         (columns.empty() ? ", not even its header file,period,layer" : ""));
  }
  return inputs;
}

std::vector<InputSource> ReadManifest(const std::filesystem::path& manifest) {
  if (!FileExists(manifest)) throw Error(ErrorKind::InputMissing, "Could not find the manifest " + PathText(manifest));
  FileSource source(manifest);
  std::string text;
  char buffer[1 << 14];
  while (const std::size_t n = source.Read(buffer, sizeof buffer)) text.append(buffer, n);
  return ParseManifest(text, manifest);
}

}  // namespace kv

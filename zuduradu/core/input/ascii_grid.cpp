#include "zuduradu/core/input/ascii_grid.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "zuduradu/core/ascii.h"
#include "zuduradu/core/error.h"
#include "zuduradu/core/message_text.h"
#include "zuduradu/core/text/number_text.h"

namespace kv {

namespace {

enum Key { NCols, NRows, XCorner, XCentre, YCorner, YCentre, CellSize, Dx, Dy, NoData, kKeys };
constexpr std::array<std::string_view, kKeys> kKeyNames = {"ncols",    "nrows",     "xllcorner", "xllcenter", "yllcorner",
                                                           "yllcenter", "cellsize", "dx",        "dy",        "nodata_value"};
constexpr std::string_view kKeyList = "ncols, nrows, xllcorner or xllcenter, yllcorner or yllcenter, cellsize or dx "
                                      "and dy, NODATA_value";
// The header is looked for in this much of the start of the file.
constexpr std::size_t kHeaderRoom = std::size_t{64} << 10;

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }
bool Letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

std::optional<Key> KeyOf(std::string_view word) {
  for (std::size_t k = 0; k < kKeys; ++k) {
    if (EqualsIgnoringAsciiCase(word, kKeyNames[k])) return static_cast<Key>(k);
  }
  return std::nullopt;
}

struct Word {
  std::string_view text;
  std::int64_t column = 0;
};

std::vector<Word> Words(std::string_view line) {
  std::vector<Word> words;
  for (std::size_t i = 0; i < line.size();) {
    if (Blank(line[i])) {
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j < line.size() && !Blank(line[j])) ++j;
    words.push_back({line.substr(i, j - i), static_cast<std::int64_t>(i) + 1});
    i = j;
  }
  return words;
}

// One header line's key and value, with the place of the value.
struct Entry {
  std::string_view value;
  std::int64_t line = 0;
  std::int64_t column = 0;
};

class HeaderReader {
 public:
  HeaderReader(const std::filesystem::path& name, std::array<std::optional<Entry>, kKeys>& entries)
      : name_(name), entries_(entries) {}

  [[noreturn]] void Fail(std::int64_t line, std::int64_t column, const std::string& what) const {
    throw Error(ErrorKind::BadInput, what + " in the ESRI ASCII grid header", ErrorPlace{name_, line, column, 0, {}});
  }

  std::int64_t Whole(Key key) const {
    const Entry& e = *entries_[key];
    std::int64_t v = 0;
    const auto [end, ec] = std::from_chars(e.value.data(), e.value.data() + e.value.size(), v);
    if (ec != std::errc() || end != e.value.data() + e.value.size() || v < 1) {
      Fail(e.line, e.column, std::string(kKeyNames[key]) + " " + QuoteField(e.value) + " is not a whole number above 0");
    }
    return v;
  }

  double Real(Key key, bool positive) const {
    const Entry& e = *entries_[key];
    double v = 0;
    const auto [end, ec] = std::from_chars(e.value.data(), e.value.data() + e.value.size(), v);
    if (ec != std::errc() || end != e.value.data() + e.value.size() || !std::isfinite(v) || (positive && v <= 0)) {
      Fail(e.line, e.column,
           std::string(kKeyNames[key]) + " " + QuoteField(e.value) + " is not " + (positive ? "a number above 0" : "a number"));
    }
    return v;
  }

 private:
  const std::filesystem::path& name_;
  std::array<std::optional<Entry>, kKeys>& entries_;
};

}  // namespace

AsciiGridHeader ReadAsciiGridHeader(std::string_view text, const std::filesystem::path& name, bool complete) {
  std::array<std::optional<Entry>, kKeys> entries;
  HeaderReader reader(name, entries);
  std::size_t pos = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
  std::int64_t line = 1;
  for (;; ++line) {
    const std::size_t newline = text.find('\n', pos);
    if (newline == std::string_view::npos && !complete) {
      reader.Fail(line, 1, "no data row follows within the first " + std::to_string(kHeaderRoom >> 10) + " KiB");
    }
    const std::size_t lineEnd = newline == std::string_view::npos ? text.size() : newline;
    const std::vector<Word> words = Words(text.substr(pos, lineEnd - pos));
    if (!words.empty() && !Letter(words[0].text[0])) break;
    if (!words.empty()) {
      const Word& key = words[0];
      const std::int64_t column = key.column + (line == 1 ? static_cast<std::int64_t>(pos) : 0);
      const auto k = KeyOf(key.text);
      if (!k) reader.Fail(line, column, QuoteField(key.text) + " is not a key (" + std::string(kKeyList) + ")");
      if (entries[*k]) reader.Fail(line, column, QuoteField(key.text) + " is given twice");
      if (words.size() != 2) reader.Fail(line, column, QuoteField(key.text) + " needs one value after it");
      entries[*k] = Entry{words[1].text, line, words[1].column + (line == 1 ? static_cast<std::int64_t>(pos) : 0)};
    }
    if (newline == std::string_view::npos) {
      pos = text.size();
      break;
    }
    pos = newline + 1;
  }
  auto missing = [&](const std::string& what) {
    reader.Fail(line, 1, "the header gives no " + what + ", which every ESRI ASCII grid has");
  };
  auto either = [&](Key a, Key b) -> Key {
    if (entries[a] && entries[b]) {
      reader.Fail(entries[b]->line, 1, std::string(kKeyNames[a]) + " and " + std::string(kKeyNames[b]) + " are both given");
    }
    if (!entries[a] && !entries[b]) missing(std::string(kKeyNames[a]) + " or " + std::string(kKeyNames[b]));
    return entries[a] ? a : b;
  };
  for (Key k : {NCols, NRows}) {
    if (!entries[k]) missing(std::string(kKeyNames[k]));
  }
  AsciiGridHeader h;
  h.columns = reader.Whole(NCols);
  h.rows = reader.Whole(NRows);
  h.sizeLine = entries[NCols]->line;
  const Key x = either(XCorner, XCentre);
  const Key y = either(YCorner, YCentre);
  h.x = reader.Real(x, false);
  h.y = reader.Real(y, false);
  h.xCentre = x == XCentre;
  h.yCentre = y == YCentre;
  if (entries[CellSize] && (entries[Dx] || entries[Dy])) {
    reader.Fail(entries[CellSize]->line, 1, "cellsize and dx or dy are both given");
  }
  if (entries[CellSize]) {
    h.dx = h.dy = reader.Real(CellSize, true);
  } else {
    if (!entries[Dx] || !entries[Dy]) missing(entries[Dx] ? "dy" : entries[Dy] ? "dx" : "cellsize (or dx and dy)");
    h.dx = reader.Real(Dx, true);
    h.dy = reader.Real(Dy, true);
  }
  if (const auto& e = entries[NoData]) {
    const Parsed<float> v = ParseFloat(e->value);
    if (v.status != NumberStatus::Ok) {
      reader.Fail(e->line, e->column, "NODATA_value " + QuoteField(e->value) + " is not a number");
    }
    h.noData = v.value;
  }
  h.end = pos;
  return h;
}

bool LooksLikeAsciiGrid(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  const std::vector<Word> words = Words(text.substr(0, text.find('\n')));
  return !words.empty() && KeyOf(words[0].text).has_value();
}

AsciiGridSets::AsciiGridSets(const InputSource& source, const GridSize& grid, int threads)
    : OneSetRaster(source), file_(source.path) {
  if (source.band != 1) {
    throw Error(ErrorKind::BadRequest, PathText(source.path) + ": band " + std::to_string(source.band) +
                                           " was asked for, but an ESRI ASCII grid has 1 band");
  }
  std::string head(kHeaderRoom, '\0');
  std::size_t got = 0;
  while (got < head.size()) {
    const std::size_t n = file_.Read(head.data() + got, head.size() - got);
    if (n == 0) break;
    got += n;
  }
  head.resize(got);
  const AsciiGridHeader h = ReadAsciiGridHeader(head, source.path, got < kHeaderRoom);
  if (h.columns != grid.nx || h.rows != grid.ny) {
    throw Error(ErrorKind::BadInput,
                "the raster has ncols " + std::to_string(h.columns) + " and nrows " + std::to_string(h.rows) +
                    ", but the model's grid has NX " + std::to_string(grid.nx) + " and NY " + std::to_string(grid.ny) +
                    ": a raster is stored only on a grid of its own size",
                ErrorPlace{source.path, h.sizeLine, 1, 0, {}});
  }
  SetNoData(h.noData);
  // The header's bytes become blanks (line ends kept), so that the reader's
  // lines and columns are those of the file.
  for (std::size_t i = 0; i < h.end; ++i) {
    if (head[i] != '\n') head[i] = ' ';
  }
  rest_ = std::make_unique<PrefixedSource>(std::move(head), file_);
  text_ = std::make_unique<MatrixTextSets>(*rest_, source.path, threads);
}

void AsciiGridSets::ReadValues(std::span<float> values, int set) {
  sets().ReadValues(values, set);
  Fill(values);
}

}  // namespace kv

// An ESRI ASCII grid (".asc", as GIS tools export a raster) as one data set.
// Its header names the raster's size, place and no-data number, one key and
// value a line, the keys in any case and order:
//   ncols, nrows            columns and rows
//   xllcorner | xllcenter   the lower left corner, or the centre of that cell
//   yllcorner | yllcenter
//   cellsize | dx and dy    the cells' size
//   NODATA_value            optional: the number that marks cells without data
// The rows follow, the northern one first as in the matrix text, and their
// numbers are read by the matrix text's own reader: an .asc stores the bytes
// its values give as matrix text, and its errors name line and column. The
// header's lines count in those lines and columns.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "zuduradu/core/grid.h"
#include "zuduradu/core/input/matrix_text.h"
#include "zuduradu/core/input/one_set_raster.h"
#include "zuduradu/core/text/byte_source.h"

namespace kv {

struct AsciiGridHeader {
  std::int64_t columns = 0;
  std::int64_t rows = 0;
  double x = 0;  // of the lower left corner, or of that cell's centre when xCentre
  double y = 0;
  bool xCentre = false;
  bool yCentre = false;
  double dx = 0;
  double dy = 0;
  std::optional<float> noData;
  std::int64_t sizeLine = 0;  // the line of ncols, which a size refusal names
  std::size_t end = 0;        // where the first row begins
};

// Reads the header at the start of `text` (a UTF-8 byte order mark is
// skipped); it ends at the first line that does not begin with a letter.
// `complete`: text holds the whole file, or at least the whole header. Throws
// kv::Error (BadInput) naming `name`, line and column: an unknown or repeated
// key, a key without one value, a value that is no number of its kind, a
// required key missing.
AsciiGridHeader ReadAsciiGridHeader(std::string_view text, const std::filesystem::path& name, bool complete = true);

// Whether text begins as an ESRI ASCII grid header: its first word is one of the keys.
bool LooksLikeAsciiGrid(std::string_view text);

class AsciiGridSets final : public OneSetRaster {
 public:
  // Opens the file and reads its header; refuses (BadInput) a raster whose
  // ncols and nrows are not the grid's NX and NY. threads as MatrixTextSets.
  AsciiGridSets(const InputSource& source, const GridSize& grid, int threads = 0);

  void ReadValues(std::span<float> values, int set) override;
  void SkipValues(std::int64_t n, int set) override { sets().SkipValues(n, set); }
  LeftOverFields CountLeftOverFields() override { return sets().CountLeftOverFields(); }
  FieldLocation lastField() const override { return text_->sets().lastField(); }
  std::uint64_t bytesRead() const override { return text_->sets().bytesRead(); }
  void TrackLineShapes(std::int64_t rowLength, std::int64_t values) override {
    sets().TrackLineShapes(rowLength, values);
  }
  const LineShape* lineShapes() const override { return text_->sets().lineShapes(); }
  std::uint64_t length() const { return file_.length(); }

 private:
  SetStream& sets() { return text_->sets(); }

  FileSource file_;
  std::unique_ptr<PrefixedSource> rest_;
  std::unique_ptr<MatrixTextSets> text_;
};

}  // namespace kv

// The ESRI ASCII grid header as GIS tools write it, and what it refuses.
#include "zuduradu/core/input/ascii_grid.h"

#include <gtest/gtest.h>

#include "test_support.h"
#include "zuduradu/core/input/open_sets.h"
#include "zuduradu/core/run/conversion.h"

namespace {

constexpr const char* kPlace = "xllcorner 0\nyllcorner 0\ncellsize 1\n";

TEST(AsciiGridHeader, KeysInAnyCaseAndOrder) {
  struct Case { std::string text; std::int64_t columns, rows; double x, y, dx, dy; bool xCentre, yCentre;
                std::optional<float> noData; std::size_t end; };  // end: where the rows begin
  const Case cases[] = {
      {"ncols 4\nnrows 3\nxllcorner 1.5\nyllcorner -2\ncellsize 25\n1 2", 4, 3, 1.5, -2, 25, 25, false, false, {}, 55},
      {"NROWS\t3\r\nCellSize 0.5\r\nXLLCENTER 10\r\nyllCenter 20\r\nNCOLS 4\r\n1", 4, 3, 10, 20, 0.5, 0.5, true, true, {}, 60},
      {"ncols 4\nnrows 3\nxllcorner 0\nyllcenter 0\ndx 2\ndy 3\nNODATA_value -9999\n", 4, 3, 0, 0, 2, 3, false, true,
       -9999.0f, 69},
      {"\xEF\xBB\xBFncols 1\n\n nrows 2\nnodata_value 1e-3\nxllcorner 0\nyllcorner 0\ncellsize 1\n  -5", 1, 2, 0, 0, 1, 1,
       false, false, 1e-3f, 74},
  };
  for (const Case& c : cases) {
    const kv::AsciiGridHeader h = kv::ReadAsciiGridHeader(c.text, "g.asc");
    EXPECT_EQ(std::tuple(h.columns, h.rows, h.x, h.y, h.dx, h.dy, h.xCentre, h.yCentre, h.noData, h.end),
              std::tuple(c.columns, c.rows, c.x, c.y, c.dx, c.dy, c.xCentre, c.yCentre, c.noData, c.end))
        << c.text;
  }
}

TEST(AsciiGridHeader, RefusesMissingOddAndRepeatedKeys) {
  const std::string size = "ncols 4\nnrows 3\n";
  const std::pair<std::string, std::string> cases[] = {
      {"nrows 3\n" + std::string(kPlace) + "1", "Line 5, column 1 of g.asc: the header gives no ncols"},
      {size + "xllcorner 0\ncellsize 1\n1", "gives no yllcorner or yllcenter"},
      {size + "xllcorner 0\nyllcorner 0\ndx 1\n1", "gives no dy"},
      {size + kPlace + "zcellsize 3\n1", "Line 6, column 1 of g.asc: \"zcellsize\" is not a key"},
      {size + "ncols 4\n" + kPlace, "Line 3, column 1 of g.asc: \"ncols\" is given twice"},
      {size + "xllcorner 0\nxllcenter 0\nyllcorner 0\ncellsize 1\n", "xllcorner and xllcenter are both given"},
      {size + kPlace + "dx 1\n", "cellsize and dx or dy are both given"},
      {"ncols 4 5\n", "Line 1, column 1 of g.asc: \"ncols\" needs one value after it"},
      {"ncols 0\nnrows 3\n" + std::string(kPlace), "Line 1, column 7 of g.asc: ncols \"0\" is not a whole number above 0"},
      {size + "xllcorner 0\nyllcorner 0\ncellsize -1\n", "cellsize \"-1\" is not a number above 0"},
      {size + "xllcorner east\nyllcorner 0\ncellsize 1\n", "xllcorner \"east\" is not a number"},
      {size + kPlace + "NODATA_value none\n", "NODATA_value \"none\" is not a number"},
  };
  for (const auto& [text, said] : cases) EXPECT_KV_ERROR(kv::ReadAsciiGridHeader(text, "g.asc"), BadInput, said) << text;
}

// A file whose header runs on (here blank lines) is looked at in its first 64 KiB only.
TEST(AsciiGridHeader, EndsWithinTheFirst64KiB) {
  kvtest::ScratchDir dir;
  kvtest::WriteAll(dir / "g.asc", "ncols 1\nnrows 1\n" + std::string(kPlace) + std::string(70000, '\n') + "5\n");
  EXPECT_KV_ERROR(kv::RunConversion({{{dir / "g.asc", false, 1, 1}}, dir / "o.top", 3, {1, 1, 1}, false}), BadInput,
                  "no data row follows within the first 64 KiB");
}

TEST(AsciiGridHeader, TellsAGridFromMatrixText) {
  for (const auto& [start, grid] : std::vector<std::pair<std::string, bool>>{
           {"ncols 4\n", true}, {"\xEF\xBB\xBF NRows 3", true}, {"2\n1 1\n", false}, {"", false}, {"hello 4\n", false}})
    EXPECT_EQ(kv::LooksLikeAsciiGrid(start), grid) << start;
}

// The kind by the extension, else by the first bytes: a grid's header, a TIFF's signature, or matrix text.
TEST(KindOf, ByExtensionElseByTheFirstBytes) {
  using enum kv::InputKind;
  kvtest::ScratchDir dir;
  const std::pair<std::string, kv::InputKind> cases[] = {
      {std::string("II*\0", 4), GdalRaster}, {std::string("MM\0*", 4), GdalRaster}, {std::string("II+\0", 4), GdalRaster},
      {std::string("MM\0+", 4), GdalRaster}, {"II*x", MatrixText},                  {"ncols 4\n", AsciiGrid},
      {"1 1 1 5\n", MatrixText}};
  for (const auto& [start, kind] : cases) {
    kvtest::WriteAll(dir / "in.bin", start + std::string(8, '\0'));
    EXPECT_EQ(kv::KindOf({dir / "in.bin"}), kind) << start;
  }
  for (const auto& [name, kind] : {std::pair{"a.ASC", AsciiGrid}, {"a.tif", GdalRaster}, {"a.TIFF", GdalRaster}}) {
    kvtest::WriteAll(dir / name, "1 1 1 5\n");
    EXPECT_EQ(kv::KindOf({dir / name}), kind) << name;
  }
  EXPECT_EQ(kv::KindOf({dir / "a.tif", true}), MatrixText);  // standard input, whatever its name
}

}  // namespace

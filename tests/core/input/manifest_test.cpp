#include "zuduradu/core/input/manifest.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "test_support.h"
#include "zuduradu/core/error.h"

namespace {

// Each input as "path|period|layer" (empty when not given); an error as its message.
std::string Parsed(const std::string& text) {
  try {
    std::string said;
    for (const kv::InputSource& in : kv::ParseManifest(text, "/m/list.csv")) {
      said += in.path.generic_string() + "|" + (in.period ? std::to_string(*in.period) : "") + "|" +
              (in.layer ? std::to_string(*in.layer) : "") + ";";
    }
    return said;
  } catch (const kv::Error& e) {
    return e.what();
  }
}

TEST(Manifest, ListsInputsFromItsFolderAndSaysWhereItIsWrong) {
  const struct { std::string text, parsed; } cases[] = {
      {"file,period,layer\na.dat,,\ndem.asc,3,1\n/abs/b.asc,1,2\n", "/m/a.dat||;/m/dem.asc|3|1;/abs/b.asc|1|2;"},
      // Any order and case, a byte-order mark, CRLF, blank lines, quotes, missing trailing fields, blanks.
      {"\xEF\xBB\xBFLayer, FILE ,Period\r\n\r\n2,\"x,\"\"y\"\".asc\",7\r\n,a.dat\n", "/m/x,\"y\".asc|7|2;/m/a.dat||;"},
      {"file\nsub/a.dat\n", "/m/sub/a.dat||;"},
      {"period,layer\n1,1\n", "The header, line 1, column 1 of /m/list.csv: the header has no file column"},
      {"file,period,level\n", "The header, line 1, column 13 of /m/list.csv: \"level\" is not a column of a manifest: its "
                              "header is file,period,layer."},
      {"file,file\n", "\"file\" is a column given twice"},
      {"file,period,layer\na.asc,1,\n", "Line 2, column 1 of /m/list.csv: a period without a layer: a raster's line "
                                        "gives both, a matrix text file's line neither."},
      {"file,period,layer\na.asc,,1\n", "a layer without a period"},
      {"file,period,layer\na.asc,x,1\n", "The period, line 2, column 7 of /m/list.csv: \"x\" is not a whole number 1..32767."},
      {"file,period,layer\na.asc,1,0\n", "The layer, line 2, column 9 of /m/list.csv: \"0\" is not a whole number"},
      {"file,period,layer\na.asc,1,1.5\n", "\"1.5\" is not a whole number"},
      {"file,period,layer\n,1,1\n", "The file, line 2, column 1 of /m/list.csv: the line names no file."},
      {"file,period,layer\na.asc,1,1,9\n", "Line 2, column 11 of /m/list.csv: the line has 4 fields, but the header names 3"},
      {"file\n\"a.dat\n", "Line 2, column 1 of /m/list.csv: the quote that opens this field is never closed."},
      {"file,period,layer\n\n", "The manifest /m/list.csv lists no input file."},
      {"", "The manifest /m/list.csv lists no input file, not even its header file,period,layer."},
  };
  for (const auto& c : cases) {
    const std::string parsed = Parsed(c.text);
    EXPECT_NE(parsed.find(c.parsed), std::string::npos) << c.text << "\n" << parsed;
  }
}

}  // namespace

#include "zuduradu/core/model/model_file.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <limits>

#include "test_support.h"

namespace kv {
namespace {

using namespace std::string_literals;

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

// Writes the model text to m.kv5 in the folder and gives its path.
std::filesystem::path Model(const kvtest::ScratchDir& dir, const std::string& text) {
  kvtest::WriteAll(dir / "m.kv5", text);
  return dir / "m.kv5";
}

TEST(ModelFile, GridSize) {
  kvtest::ScratchDir dir;
  const std::string longLine = "NOTE=" + std::string(194, 'a') + "NX=99\n";  // "NX=99" past the parser's buffer
  const struct { std::string text; GridSizeRead expected; } cases[] = {
      {"[DIMENSION]\nNX=10\nNY=20\nNZ=3\n", GridSize{10, 20, 3}}, {"[VERSION]\nNUMBER=4000\n", GridSize{30, 30, 1}},
      {"", GridSize{30, 30, 1}}, {"[dimension]\nnx=10\nNz=2\n", GridSize{10, 30, 2}},
      {"[OTHER]\nNX=5\n[DIMENSION]\nNY=6\n", GridSize{30, 6, 1}},
      {"[DIMENSION]\nNX=+12\nNY=-5\nNZ = 7 ; layers\n", GridSize{12, -5, 7}},
      {"[DIMENSION]\nNX=+12abc\n", UnfitDimension{"NX", "+12abc", false}},
      {"[DIMENSION]\nNX=\nNY=abc\nNZ=-\n", UnfitDimension{"NY", "abc", false}},
      {"[DIMENSION]\nNX=5\nNX=6\n[X]\n[DIMENSION]\nNX=7\nNY=8\n", GridSize{5, 8, 1}},
      {"[DIMENSION]\nNX=\nNX=6\n", GridSize{30, 30, 1}}, {"[DIMENSION]\n  NX=5\n\tNY=6\n", GridSize{5, 6, 1}},
      {"\xEF\xBB\xBF[DIMENSION]\r\nNX=4\r\nNY=3\r\n", GridSize{4, 3, 1}},
      {"[DIMENSION]\n" + longLine + "NX=5\n", GridSize{5, 30, 1}},
      {"[DIMENSION]\nNX=32767\nNY=-32768\n", GridSize{32767, -32768, 1}},
      {"[DIMENSION]\nNX=32768\n", UnfitDimension{"NX", "32768"}},
      {"[DIMENSION]\nNZ=99999999999999999999999 cells\nNY=-32769\n", UnfitDimension{"NY", "-32769"}},
      {"[DIMENSION]\nNZ=99999999999999999999999 cells\n", UnfitDimension{"NZ", "99999999999999999999999 cells", false}},
      {"[DIMENSION]\nNZ=99999999999999999999999 # cells\n", UnfitDimension{"NZ", "99999999999999999999999 # cells"}},
      {"[DIMENSION]\nNY=40000 ; note\n", UnfitDimension{"NY", "40000 ; note"}},  // the value as written
      {"# head\n\n; more\n[DIMENSION]\n# NX=1\nNX=5\n", GridSize{5, 30, 1}},
      {"[DIMENSION]\nNX: 5\nNY=6\n", GridSize{30, 6, 1}},  // only "=" separates
      {"[DIMENSION]\nNX=5\0NY=9\n\v\fNY=6\n"s, GridSize{5, 6, 1}},  // a NUL ends its own line only
  };
  for (const auto& c : cases) EXPECT_EQ(ReadGridSize(Model(dir, c.text)), c.expected) << c.text;
  EXPECT_EQ(ReadGridSize(dir / "missing.kv5"), GridSizeRead(GridSize{30, 30, 1}));
}

TEST(ModelFile, Version) {
  kvtest::ScratchDir dir;
  const struct { std::string text; std::int64_t version; } cases[] = {
      {"[DIMENSION]\nNX=5\n", 4000},       {"[VERSION]\nNUMBER=3999\n", 3999},
      {"[version]\nnumber=4100\n", 4100},  {"[VERSION]\nNUMBER=abc\n", 4000},
      {"[VERSION]\nNUMBER=-1\nNUMBER=5000\n", -1},  {"[VERSION]\nNUMBER=99999999999999999999\n", kMax},
      {"[VERSION]\nNUMBER=9223372036854775806\n", kMax - 1},  // one below the limit is no overflow
      {"[VERSION]\nNUMBER=-9223372036854775806x\n", -kMax + 1},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadModelVersion(Model(dir, c.text)), c.version) << c.text;
}

}  // namespace
}  // namespace kv

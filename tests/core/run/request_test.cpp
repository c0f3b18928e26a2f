#include "zuduradu/core/run/request.h"

#include <gtest/gtest.h>

#include "test_support.h"
#include "zuduradu/core/message_text.h"

namespace {

// What `info` checks against: the grid of the model and the type, with a warning
// for each grid key the model leaves to its default, given only to who asks.
TEST(InfoGeometry, TakesTheModelsGridAndTellsItsDefaultedKeys) {
  kvtest::ScratchDir dir;
  kvtest::WriteAll(dir / "m.kv5", "[DIMENSION]\nNX=3\nNY=2\n");
  const kv::RequestWords words{"--model", "--grid", "--type", "--output", "", "", "", ""};
  const kv::GridChoice model{kv::PathText(dir / "m.kv5"), {}};
  std::vector<std::string> warnings;
  const auto geometry = kv::InfoGeometry(model, 3, words, false, &warnings);
  ASSERT_TRUE(geometry);
  EXPECT_EQ(std::tuple(geometry->grid, geometry->typeCode), std::tuple(kv::GridSize{3, 2, 1}, 3));
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("gives no NZ in [DIMENSION]; the default NZ = 1 is used"), std::string::npos) << warnings[0];
  EXPECT_EQ(kv::InfoGeometry(model, 3, words)->grid, (kv::GridSize{3, 2, 1}));  // nobody asks for the warnings
  EXPECT_EQ(kv::InfoGeometry({}, {}, words), std::nullopt);
}

// An output named with another type's extension is warned of, or refused in strict mode; its own extension is not.
TEST(OutputNameWarning, OnlyAnotherTypesExtension) {
  EXPECT_EQ(kv::OutputNameWarning(3, "a.top"), "");
  EXPECT_NE(kv::OutputNameWarning(3, "a.hea").find("the output file a.hea ends in .hea, the extension of type"), std::string::npos);
  EXPECT_KV_ERROR(kv::OutputNameWarning(3, "a.hea", true), BadRequest, "Refused in strict mode: the output file a.hea");
}

// Three whole numbers, exactly two commas; blanks around each number are allowed.
TEST(GridFromText, ThreeNumbersInTheirRange) {
  EXPECT_EQ(kv::GridFromText("120,80,3"), (kv::GridSize{120, 80, 3}));
  EXPECT_EQ(kv::GridFromText(" 1 , 32767 ,1"), (kv::GridSize{1, 32767, 1}));
  for (const char* bad : {"1,2", "1,2,3,", "1,2,3,4", "0,1,1", "1,1,32768", "1,,1", "1;2;3", ""}) {
    EXPECT_KV_ERROR(kv::GridFromText(bad), BadRequest, "is not three whole numbers 1..32767") << bad;
  }
}

}  // namespace

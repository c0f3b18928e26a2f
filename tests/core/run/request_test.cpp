#include "zuduradu/core/run/request.h"

#include <gtest/gtest.h>

#include "test_support.h"
#include "zuduradu/core/message_text.h"
#include "zuduradu/core/run/shape_notes.h"
#include "zuduradu/core/text/number_text.h"

namespace {

const kv::RequestWords kWords{"--model", "--grid", "--type", "--output", "", "", "", ""};

// What `info` checks against: the grid of the model and the type, with a warning
// for each grid key the model leaves to its default, given only to who asks.
TEST(InfoGeometry, TakesTheModelsGridAndTellsItsDefaultedKeys) {
  kvtest::ScratchDir dir;
  kvtest::WriteAll(dir / "m.kv5", "[DIMENSION]\nNX=3\nNY=2\n");
  const kv::GridChoice model{kv::PathText(dir / "m.kv5"), {}};
  std::vector<std::string> warnings;
  const auto geometry = kv::InfoGeometry(model, 3, kWords, false, &warnings);
  ASSERT_TRUE(geometry);
  EXPECT_EQ(std::tuple(geometry->grid, geometry->typeCode), std::tuple(kv::GridSize{3, 2, 1}, 3));
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("gives no NZ in [DIMENSION]; the default NZ = 1 is used"), std::string::npos) << warnings[0];
  EXPECT_EQ(kv::InfoGeometry(model, 3, kWords)->grid, (kv::GridSize{3, 2, 1}));  // no warnings asked for
  EXPECT_EQ(kv::InfoGeometry({}, {}, kWords), std::nullopt);
}

// An output named with another type's extension is warned of, or refused in strict mode; its own extension is not.
TEST(OutputNameWarning, OnlyAnotherTypesExtension) {
  EXPECT_EQ(kv::OutputNameWarning(3, "a.top"), "");
  EXPECT_NE(kv::OutputNameWarning(3, "a.hea").find("the output file a.hea ends in .hea, the extension of type"), std::string::npos);
  EXPECT_KV_ERROR(kv::OutputNameWarning(3, "a.hea", true), BadRequest, "Refused in strict mode: the output file a.hea");
}

// The output given, or the model's name with the type's extension; refused where there is no name to give.
TEST(OutputFor, GivenOrTheModelsNameWithTheTypesExtension) {
  kv::ResolvedGrid model;
  model.settings.ModelPath = "/m/site.kv5";
  const kv::GridChoice byGrid{{}, kv::GridSize{1, 1, 1}};
  EXPECT_EQ(kv::OutputFor("a.hea", byGrid, {}, 3, kWords), "a.hea");
  EXPECT_EQ(kv::OutputFor({}, {"/m/site.kv5", {}}, model, 3, kWords), "/m/site.top");
  EXPECT_KV_ERROR(kv::OutputFor("a.", byGrid, {}, 0, kWords), BadRequest,
                  "Select the type of the input data (--type): \"a.\" would be a file without a type's extension");
  EXPECT_KV_ERROR(kv::OutputFor({}, byGrid, {}, 3, kWords), BadRequest, "--grid needs --output: without a model");
  model.settings.ModelPath = "/m/site";
  EXPECT_KV_ERROR(kv::OutputFor({}, {"/m/site", {}}, model, 3, kWords), BadRequest, "has no \".\" before which");
}

// A type as a code with an extension, or as an extension of the list; anything else refused naming it.
TEST(TypeCodeFromText, CodesWithExtensionsAndExtensions) {
  const kv::RequestWords words{"", "", "", "", "", "", "top", "types"};
  for (const auto& [text, code] : {std::pair{"3", 3}, {"0", 0}, {"1200", 1200}, {"top", 3}, {".TOP", 3}})
    EXPECT_EQ(kv::TypeCodeFromText(text, words), code) << text;
  for (const char* bad : {"35", "2000", "2001", "-1", "99999", "xyz", ""})
    EXPECT_KV_ERROR(kv::TypeCodeFromText(bad, words), BadRequest,
                    kv::QuoteField(bad) + " is neither a type code 0..2000 that has an extension") << bad;
}

// A set written in lines of another width, and how many more sets after it are written so.
TEST(OtherWidthWarning, CountsTheSetsAfterTheFirst) {
  for (const auto& [sets, words] : {std::pair{1, " on, where"}, {2, " on (and so is 1 more data set), where"},
                                    {3, " on (and so are 2 more data sets), where"}}) {
    const std::string said = kv::OtherWidthWarning({2, 3, 4, sets}, {3, 4, 1}, "in.dat");
    EXPECT_TRUE(said.starts_with("in.dat: data set 2 is written in lines of 4 values from line 3" + std::string(words)))
        << said;
  }
}

// Three whole numbers, exactly two commas; blanks around each number are allowed.
TEST(GridFromText, ThreeNumbersInTheirRange) {
  EXPECT_EQ(kv::GridFromText("120,80,3"), (kv::GridSize{120, 80, 3}));
  EXPECT_EQ(kv::GridFromText(" 1 , 32767 ,1"), (kv::GridSize{1, 32767, 1}));
  for (const char* bad : {"1,2", "1,2,3,", "1,2,3,4", "0,1,1", "1,1,32768", "1,,1", "1;2;3", ""})
    EXPECT_KV_ERROR(kv::GridFromText(bad), BadRequest, "is not three whole numbers 1..32767") << bad;
}

}  // namespace

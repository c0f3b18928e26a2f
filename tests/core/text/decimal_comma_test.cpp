#include "zuduradu/core/text/decimal_comma.h"

#include <gtest/gtest.h>

#include "test_support.h"

// A field is named only where decimal commas are the likely reading of the text.
TEST(DecimalComma, FieldLooksLikeADecimalComma) {
  const struct { const char* text; const char* field; } cases[] = {
      {"1\n1\t1\n1,5E-04\t-2,5e+3\n", "1,5E-04"}, {"2;1;0,5;7\n", "0,5"}, {"1\n1 1\n1,5 2.5\n", ""},
      {"1,5E4 2\n", "1,5E4"}, {"1,2,3\n", ""}, {"1, 2\n", ""}, {"1,5D-3x\n", ""}, {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(kv::DecimalCommaField(c.text), c.field) << c.text;
}

// The hint looks at the first 64 KiB only, a field cut there not counting: a
// decimal comma found just before the end of them is named, one past them not.
TEST(DecimalComma, HintReadsTheFirst64KiB) {
  kvtest::ScratchDir dir;
  std::string filler;
  while (filler.size() < 65534) filler += "1 ";
  const struct { std::string text; bool named; } cases[] = {
      {"1,5 " + filler, true}, {filler.substr(0, 65530) + "1,5\n", true}, {filler + "1,5 2,5\n", false}};
  for (const auto& c : cases) {
    kvtest::WriteAll(dir / "in.dat", c.text);
    EXPECT_EQ(kv::DecimalCommaHint(dir / "in.dat").find("such as \"1,5\"") != std::string::npos, c.named) << c.text.size();
  }
}

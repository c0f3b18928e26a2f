#include "zuduradu/core/text/decimal_comma.h"

#include <gtest/gtest.h>

// A field is named only where decimal commas are the likely reading of the text.
TEST(DecimalComma, FieldLooksLikeADecimalComma) {
  const struct { const char* text; const char* field; } cases[] = {
      {"1\n1\t1\n1,5E-04\t-2,5e+3\n", "1,5E-04"}, {"2;1;0,5;7\n", "0,5"}, {"1\n1 1\n1,5 2.5\n", ""},
      {"1,2,3\n", ""}, {"1, 2\n", ""}, {"1,5D-3x\n", ""}, {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(kv::DecimalCommaField(c.text), c.field) << c.text;
}

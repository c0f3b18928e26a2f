#include "zuduradu/core/error.h"

#include <gtest/gtest.h>

namespace {

// An error says where (data set, field, line, column, file) before what, and what is left intact after.
TEST(RenderError, SaysWhereThenWhatThenWhatIsLeft) {
  const struct { kv::ErrorPlace place; const char* what; const char* intact; const char* text; } cases[] = {
      {{}, "Bad", "", "Bad."},
      {{"in.dat", 3, 5, 2, "period"}, "Bad.", "Nothing changed.", "Data set 2, period, line 3, column 5 of in.dat: Bad. Nothing changed."},
      {{"m.kv5", 0, 0, 0, "model"}, "Bad", "", "The model in m.kv5: Bad."},
      {{"m.kv5", 0, 0, 0, ""}, "Bad", "", "Bad."},
      {{"", 4, 0, 0, ""}, "Bad", "", "Line 4: Bad."},
  };
  for (const auto& c : cases) EXPECT_EQ(kv::RenderError(c.what, c.place, c.intact), c.text);
}

}  // namespace

#include "zuduradu/core/format/catalogue.h"

#include <gtest/gtest.h>


namespace kv {
namespace {

TEST(Catalogue, ExtensionsOfNamedAndNumberedCodes) {
  const struct { int code; std::string_view ext; } cases[] = {
      {0, ".tmp"},   {1, ".x"},     {3, ".top"},   {103, ".toz"}, {25, ".seg"},  {125, ".s1z"}, {83, "._83"},
      {199, ".tmp"}, {200, ".{t}"}, {43, ".tw"},   {153, ".m11"}, {63, ".63"},   {69, ".69"},   {163, ".163"},
      {169, ".169"}, {201, ".201"}, {700, ".700"}, {1200, ".1200"}, {-1, ""},    {2001, ""},
      {35, ""},      {98, ""},      {102, ""},     {198, ""},     {1201, ""},    {2000, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ExtensionFor(c.code), c.ext) << "code " << c.code;
}

// Every code with an extension has a well-formed one: named codes, the numbered
// runs 63..69, 163..169 and 201..1200; the rest of 0..2000 has none.
TEST(Catalogue, ExtensionsAreWellFormed) {
  int filled = 0;
  for (int code = 0; code <= kMaxTypeCode; ++code) {
    const std::string_view ext = ExtensionFor(code);
    if (ext.empty()) continue;
    ++filled;
    EXPECT_TRUE(ext.size() >= 2 && ext.size() <= 5 && ext[0] == '.') << ext;
    EXPECT_EQ(ext.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_{}", 1), ext.npos) << ext;
  }
  EXPECT_EQ(filled, 124 + 14 + 1000);
}

TEST(Catalogue, TypeList) {
  const int codes[] = {0, 3, 4, 5, 6, 10, 8, 9, 60, 51, 61, 7, 62, 6, 23, 24,
                       12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 76, 77, 78, 11};
  const auto list = TypeList();
  ASSERT_EQ(list.size(), std::size(codes));
  for (std::size_t i = 0; i < list.size(); ++i) {
    EXPECT_EQ(list[i].code, codes[i]) << "row " << i;
    EXPECT_FALSE(ExtensionFor(list[i].code).empty()) << "row " << i;
  }
  EXPECT_EQ(list[0].text, "- Select a type -");
  EXPECT_EQ(list[4].text, "ICBOUND array");
  EXPECT_EQ(list[13].text, "Effective porosity");
  EXPECT_EQ(list[27].text, "(CHD) Flags, indicate 'Time-varying specified head' cells");
}

TEST(Catalogue, TypeCodeForExtension) {
  const struct { std::string_view ext; std::optional<int> code; } cases[] = {
      {"top", 3}, {".TOP", 3}, {"Por", 6},  {"tmp", 0},  {"wel", 11},         {"ch3", 78},
      {"toz", std::nullopt},   {"63", std::nullopt},     {"", std::nullopt},  {".", std::nullopt},
      {"..top", std::nullopt}, {"to", std::nullopt},     {"topx", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(TypeCodeForExtension(c.ext), c.code) << c.ext;
}

// A name is another type's only by an extension of the table that is not the type's own.
TEST(Catalogue, OtherTypeOfName) {
  const struct { int code; std::string_view name; std::optional<int> other; } cases[] = {
      {8, "valley.hea", 10},          {8, "C:\\m\\VALLEY.HEA", 10}, {3, "a.toz", 103},          {3, "m/a.tmp", 0},
      {8, "VALLEY.Con", std::nullopt}, {199, "a.tmp", std::nullopt},  {8, "a.dat", std::nullopt}, {8, "a", std::nullopt},
      {8, "a.", std::nullopt},        {8, "m.hea/a", std::nullopt},   {8, "a.hea.txt", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(OtherTypeOfName(c.code, c.name), c.other) << c.name;
}

}  // namespace
}  // namespace kv

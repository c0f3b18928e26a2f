#include "zuduradu/core/format/catalogue.h"

#include <gtest/gtest.h>
#include <tuple>

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

// The list the window offers: its first row asks for a choice, every row names a type with an extension.
TEST(Catalogue, TypeList) {
  const auto list = TypeList();
  ASSERT_EQ(list.size(), 31u);
  for (const auto& row : list) EXPECT_FALSE(ExtensionFor(row.code).empty()) << row.text;
  EXPECT_EQ(std::tuple(list[0].text, list[0].code), std::tuple("- Select a type -", 0));
  EXPECT_EQ(std::tuple(list[30].code, ExtensionFor(list[30].code)), std::tuple(11, ".wel"));
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

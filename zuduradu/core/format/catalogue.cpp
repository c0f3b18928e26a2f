#include "zuduradu/core/format/catalogue.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>

#include "zuduradu/core/ascii.h"

namespace kv {

namespace {

constexpr std::string_view none{};

// Named extensions, written as the package spells them: each row gives the
// extension of code n and of code n + 100. The table is lower-cased at the end.
struct NamedPair {
  int n;
  std::string_view entry;
  std::string_view entryPlus100;
};

constexpr NamedPair kNamedExtensions[] = {
    {0, ".tmp", none},    {1, ".X", none},      {2, ".Y", none},      {3, ".TOP", ".TOZ"},
    {4, ".BOT", ".BOZ"},  {5, ".IBD", ".IBZ"},  {6, ".POR", ".POZ"},  {7, ".STO", ".STZ"},
    {8, ".CON", ".COZ"},  {9, ".LEA", ".LEZ"},  {10, ".HEA", ".HEZ"}, {11, ".WEL", ".WEZ"},
    {12, ".DRC", ".DCZ"}, {13, ".DRE", none},   {14, ".RIC", ".RCZ"}, {15, ".RIS", none},
    {16, ".RIR", none},   {17, ".EET", ".ETZ"}, {18, ".ESU", none},   {19, ".EXD", none},
    {20, ".EIE", none},   {21, ".GHC", ".GCZ"}, {22, ".GHB", none},   {23, ".RCH", ".RHZ"},
    {24, ".RCI", none},   {25, ".SEG", ".S1z"}, {26, ".SRE", none},   {27, ".SFL", none},
    {28, ".SST", none},   {29, ".STC", none},   {30, ".STT", none},   {31, ".SBO", none},
    {32, ".SWI", none},   {33, ".SSL", none},   {34, ".SRO", none},   {37, ".C37", ".Z37"},
    {40, ".TIC", ".MT0"}, {41, ".TSC", ".MT1"}, {43, ".TW", ".MT3"},  {45, ".TR", ".MT5"},
    {46, ".TE", ".MT6"},  {47, ".TG", ".MT7"},  {48, ".TRC", ".MT8"}, {49, ".TST", ".MT9"},
    {50, ".TCH", ".M10"}, {51, ".LKN", ".LKZ"}, {52, ".DWA", ".DWZ"}, {53, ".TAL", ".M11"},
    {54, ".C54", ".Z54"}, {55, ".C55", none},   {56, ".C56", ".Z56"}, {57, ".C57", ".Z57"},
    {58, ".C58", ".Z58"}, {59, ".C59", ".Z59"}, {60, ".HTC", ".HTZ"}, {61, ".SCC", ".SCZ"},
    {62, ".YLD", ".YLZ"}, {70, ".WAL", none},   {71, ".WAC", none},   {72, ".IB1", ".I1Z"},
    {73, ".IB2", none},   {74, ".IB3", none},   {75, ".IB4", none},   {76, ".CH1", ".C1Z"},
    {77, ".CH2", none},   {78, ".CH3", none},   {81, ".WBL", ".WBZ"}, {83, "._83", ".Z83"},
    {85, ".C85", ".Z85"}, {86, ".C86", none},   {87, ".C87", none},   {88, ".C88", none},
    {89, ".C89", none},   {91, ".C91", ".Z91"}, {92, ".C92", none},   {93, ".C93", none},
    {94, ".C94", none},   {95, ".C95", none},   {97, ".C97", ".Z97"}, {99, none, ".TMP"},
    {100, none, ".{T}"},
};

// Codes whose extension is "." followed by the code itself: .63, .169, .1200.
struct CodeRun {
  int first;
  int last;
};

constexpr CodeRun kNumberedRuns[] = {{63, 69}, {163, 169}, {201, 1200}};

constexpr TypeRow kTypeList[] = {
    {"- Select a type -", 0},
    {"Elevation of top of cells", 3},
    {"Elevation of bottom of cells", 4},
    {"IBOUND array", 5},
    {"ICBOUND array", 6},
    {"Starting Head", 10},
    {"Horizontal hydraulic conductivitiy", 8},
    {"Vertical hydraulic conductivitiy", 9},
    {"Transmissivity", 60},
    {"Vertical leakance", 51},
    {"Storage coefficient", 61},
    {"Specific storage coefficient", 7},
    {"Specific yield", 62},
    {"Effective porosity", 6},
    {"(RCH) Recharge Rate", 23},
    {"(RCH) Recharge layer indicator", 24},
    {"(Drain) Drain hydraulic conductance", 12},
    {"(Drain) Elevation of drain", 13},
    {"(River) River hydraulic conductance", 14},
    {"(River) River stage", 15},
    {"(River) Elevation of Riverbed", 16},
    {"(EVT) Maximum ET rate", 17},
    {"(EVT) Elevation of ET surface", 18},
    {"(EVT) Extinction depth of ET", 19},
    {"(EVT) ET layer indicator", 20},
    {"(GHB) GHB Hydraulic conductance", 21},
    {"(GHB) Head on the boundary", 22},
    {"(CHD) Flags, indicate 'Time-varying specified head' cells", 76},
    {"(CHD) Starting head (of a period) at CHD cells", 77},
    {"(CHD) Ending head (of a period) at CHD cells", 78},
    {"(WEL) Wells", 11},
};
static_assert(std::size(kTypeList) == 31);

}  // namespace

ExtensionTableData BuildExtensionTable() {
  ExtensionTableData table;
  for (const NamedPair& row : kNamedExtensions) {
    table[static_cast<std::size_t>(row.n)] = row.entry;
    table[static_cast<std::size_t>(row.n + 100)] = row.entryPlus100;
  }
  for (const CodeRun& run : kNumberedRuns) {
    for (int code = run.first; code <= run.last; ++code) {
      // Formatted into a buffer: GCC 12 warns falsely (-Wrestrict) on short string
      // concatenation at -O3.
      std::array<char, 8> text{'.'};
      const auto end = std::to_chars(text.data() + 1, text.data() + text.size(), code).ptr;
      table[static_cast<std::size_t>(code)].assign(text.data(), end);
    }
  }
  for (std::string& entry : table) std::ranges::transform(entry, entry.begin(), AsciiLower);
  return table;
}

const ExtensionTableData& ExtensionTable() {
  static const ExtensionTableData table = BuildExtensionTable();
  return table;
}

std::string_view ExtensionFor(int typeCode) {
  if (typeCode < 0 || typeCode > kMaxTypeCode) return {};
  return ExtensionTable()[static_cast<std::size_t>(typeCode)];
}

std::span<const TypeRow> TypeList() { return kTypeList; }

std::string TypeName(int typeCode) {
  std::string rows;
  for (const TypeRow& row : kTypeList) {
    if (row.code != typeCode) continue;
    rows += (rows.empty() ? "\"" : " or \"") + std::string(row.text) + "\"";
  }
  if (rows.empty()) rows = std::string(ExtensionFor(typeCode));
  return std::to_string(typeCode) + (rows.empty() ? "" : " (" + rows + ")");
}

std::optional<int> TypeCodeForExtension(std::string_view ext) {
  if (ext.starts_with('.')) ext.remove_prefix(1);
  if (ext.empty()) return std::nullopt;
  for (const TypeRow& row : kTypeList) {
    std::string_view own = ExtensionFor(row.code);
    if (own.starts_with('.')) own.remove_prefix(1);
    if (EqualsIgnoringAsciiCase(own, ext)) return row.code;
  }
  return std::nullopt;
}

std::optional<int> OtherTypeOfName(int typeCode, std::string_view fileName) {
  const std::size_t slash = fileName.find_last_of("/\\");
  if (slash != std::string_view::npos) fileName.remove_prefix(slash + 1);
  const std::size_t dot = fileName.rfind('.');
  if (dot == std::string_view::npos || dot + 1 == fileName.size()) return std::nullopt;
  const std::string_view ext = fileName.substr(dot);
  if (EqualsIgnoringAsciiCase(ext, ExtensionFor(typeCode))) return std::nullopt;
  if (const auto row = TypeCodeForExtension(ext)) return row;
  for (int code = 0; code <= kMaxTypeCode; ++code) {
    if (EqualsIgnoringAsciiCase(ext, ExtensionFor(code))) return code;
  }
  return std::nullopt;
}

}  // namespace kv

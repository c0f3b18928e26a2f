// The data-type catalogue: the file-name extension of every type code, and the
// list of data types a user can convert, each with its code.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kv {

inline constexpr int kMaxTypeCode = 2000;

// Extensions indexed by type code 0..2000: "." and one to four lower-case
// letters, digits, "_" or braces, or empty where a code has no file.
using ExtensionTableData = std::array<std::string, kMaxTypeCode + 1>;

// Builds the table from scratch; the same table on every call.
ExtensionTableData BuildExtensionTable();

// The table, built on first use and constant afterwards.
const ExtensionTableData& ExtensionTable();

// The extension of a type code ("" for a code without one, or outside 0..2000).
std::string_view ExtensionFor(int typeCode);

// One row of the type list: the text shown and the type code it stands for.
struct TypeRow {
  std::string_view text;
  int code;
};

// The 31 rows, in the order shown. Row 0 is the prompt "- Select a type -".
std::span<const TypeRow> TypeList();

// A type for messages: its code and the texts of its rows in the type list,
// such as 10 ("Starting Head"); the code and its extension for a code that no
// row shows, such as 110 (.xyz).
std::string TypeName(int typeCode);

// The code of the first row of the type list whose extension is ext, given as
// "top" or ".top" in any case; nothing when no row has it.
std::optional<int> TypeCodeForExtension(std::string_view ext);

// The type that a file name's extension belongs to, when that is not the
// extension of typeCode: the name says one type while the data is another.
// Nothing for a name that ends in no type's extension, or in its own. Rows of
// the type list come first where several codes share an extension.
std::optional<int> OtherTypeOfName(int typeCode, std::string_view fileName);

}  // namespace kv

// Taking a model and deriving the default paths from its name. Pure rules over
// the shared Settings: they answer what the window's three path boxes should
// show, and the window only shows it.
//
// "\" and "/" both end a folder (the last of either counts), with a drive's ":"
// as the fallback, so the same rules serve Windows and Linux paths. Case is
// folded only where the platform's file names ignore case; extensions are lower
// case everywhere.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zuduradu/core/model/settings.h"

namespace kv {

enum class PathCase {
  Keep,  // names keep their case (file names that tell case apart)
  Fold,  // names are lower-cased (file names that ignore case)
};

// Fold on Windows, Keep elsewhere.
PathCase NativePathCase();

// 1-based position of the last ch in text; 0 when there is none.
std::size_t LastPosition(std::string_view text, char ch);

// What the model, input and output path boxes should show; nothing for a box
// that stays as it is.
struct PathBoxes {
  std::optional<std::string> model;
  std::optional<std::string> input;
  std::optional<std::string> output;
  friend bool operator==(const PathBoxes&, const PathBoxes&) = default;
};

inline constexpr std::string_view kDialogInputName = "Input.dat";
inline constexpr std::string_view kCommandLineInputName = "input.dat";

// From the current ModelPath: always sets ModelFolder; sets InputPath (the folder
// and inputFileName) and OutputPath (ModelPath up to and including its last ".")
// only while they are empty, and then shows them.
PathBoxes DeriveModelPaths(Settings& settings, std::string_view inputFileName,
                           PathCase pathCase = NativePathCase());

// A model chosen in the open dialog (or typed into the model box): first, the
// input and output paths that are exactly what the previous model derived (its
// default input; its base name with the dot, or with a type's extension) are
// let go, so that they follow the new model, the output keeping its extension;
// paths the user chose or typed stay. Then the model becomes ModelPath (lower-cased under Fold,
// as the dialogs deliver every path), is accepted when the file exists and its
// version is at least 4000 and its grid size fits, and gives the default paths
// either way. A model that is not accepted leaves NX, NY, NZ as they were and
// records why in settings.model.
PathBoxes TakeModelFromDialog(Settings& settings, std::string_view chosenPath,
                              PathCase pathCase = NativePathCase());

// The model file a command-line argument names: the argument with its last four
// characters replaced by ".kv5", or with ".kv5" appended when it is shorter.
std::string CommandLineModelFile(std::string_view argument);

// A model named on the command line: ModelPath is the argument unchanged; the
// grid size is read from CommandLineModelFile(argument) when it exists (no
// version is asked on this road); the default paths are derived either way.
PathBoxes TakeModelFromCommandLine(Settings& settings, std::string_view argument,
                                   PathCase pathCase = NativePathCase());

// The output file of a type: ModelPath before its last "." followed by the
// type's extension. Nothing when ModelPath is blank, has no ".", or the code has
// no extension.
std::optional<std::string> OutputNameForType(const Settings& settings, int typeCode,
                                             PathCase pathCase = NativePathCase());

// Whether path lies in folder or below it, by their text: "\\" and "/" are one
// separator, "." and ".." are resolved, case counts only under Keep. A relative
// path, or an empty folder or path, is not judged and counts as inside.
bool LiesInFolder(std::string_view folder, std::string_view path, PathCase pathCase = NativePathCase());

// The command-line arguments joined with one blank between them.
std::string JoinArguments(const std::vector<std::string>& arguments);

}  // namespace kv

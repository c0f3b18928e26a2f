#include "zuduradu/core/model/model_paths.h"

#include <algorithm>
#include <variant>

#include "zuduradu/core/ascii.h"
#include "zuduradu/core/format/catalogue.h"
#include "zuduradu/core/message_text.h"
#include "zuduradu/core/model/model_file.h"
#include "zuduradu/core/storage/file_system.h"
#include "zuduradu/core/storage/os.h"

namespace kv {

namespace {

std::string InCase(std::string_view text, PathCase pathCase) {
  return pathCase == PathCase::Fold ? AsciiLowered(text) : std::string(text);
}

// Reads the grid size from modelFile into settings and says whether the model is
// accepted; a model that is not leaves the grid size as it was.
ModelStatus TakeGridSize(Settings& settings, const std::string& modelFile, bool askVersion) {
  ModelStatus status;
  status.file = modelFile;
  const std::filesystem::path file = PathFromUtf8(modelFile);
  if (!FileExists(file)) {
    status.state = ModelState::FileMissing;
    return status;
  }
  if (askVersion) {
    status.version = ReadModelVersion(file);
    if (status.version < kMinModelVersion) {
      status.state = ModelState::VersionTooOld;
      return status;
    }
  }
  const GridKeys keys = ReadGridKeys(file);
  const GridSizeRead& read = keys.size;
  if (const auto* unfit = std::get_if<UnfitDimension>(&read)) {
    status.state = unfit->number ? ModelState::DimensionOutOfRange : ModelState::DimensionNotANumber;
    status.key = unfit->key;
    status.value = unfit->value;
    return status;
  }
  const GridSize& grid = std::get<GridSize>(read);
  settings.NX = grid.nx;
  settings.NY = grid.ny;
  settings.NZ = grid.nz;
  status.state = ModelState::Accepted;
  status.defaulted = keys.defaulted;
  return status;
}

// The model's base name with its dot ("c:\\m\\a."), as its default output.
std::string BaseWithDot(std::string_view model, PathCase pathCase) {
  return InCase(model.substr(0, LastPosition(model, '.')), pathCase);
}

// Before another model is taken: a path that is exactly what the current model
// derived (its default input, its base name alone or with a type's extension)
// is emptied, so that the new model derives it again; a path the user chose or
// typed stays. Gives the extension a derived output carried, to carry it over.
std::string ReleaseDerivedPaths(Settings& settings, PathCase pathCase) {
  if (settings.ModelPath.empty()) return {};
  if (settings.InputPath == settings.ModelFolder + std::string(kDialogInputName) ||
      settings.InputPath == settings.ModelFolder + std::string(kCommandLineInputName)) {
    settings.InputPath.clear();
  }
  const std::string base = BaseWithDot(settings.ModelPath, pathCase);
  const std::string_view output = settings.OutputPath;
  if (base.empty() || !output.starts_with(base)) return {};
  const std::string extension = "." + std::string(output.substr(base.size()));
  if (output.size() != base.size() && !TypeCodeForExtension(extension)) return {};
  settings.OutputPath.clear();
  return output.size() == base.size() ? std::string() : extension;
}

// After the new model derived its paths: a derived output that carried a
// type's extension carries it on the new model's base name.
void CarryExtension(Settings& settings, PathBoxes& boxes, const std::string& extension) {
  if (extension.empty() || !boxes.output || settings.OutputPath.empty()) return;
  settings.OutputPath.pop_back();  // the dot, which the extension brings
  settings.OutputPath += extension;
  boxes.output = settings.OutputPath;
}

}  // namespace

PathCase NativePathCase() { return os::FileNamesIgnoreCase() ? PathCase::Fold : PathCase::Keep; }

std::size_t LastPosition(std::string_view text, char ch) {
  const std::size_t at = text.rfind(ch);
  return at == std::string_view::npos ? 0 : at + 1;
}

PathBoxes DeriveModelPaths(Settings& settings, std::string_view inputFileName, PathCase pathCase) {
  const std::string_view model = settings.ModelPath;
  const std::size_t separator = std::max(LastPosition(model, '\\'), LastPosition(model, '/'));
  const std::size_t drive = LastPosition(model, ':');
  const std::size_t dot = LastPosition(model, '.');

  settings.ModelFolder = InCase(model.substr(0, separator > 0 ? separator : drive), pathCase);
  PathBoxes boxes;
  if (settings.InputPath.empty()) {
    settings.InputPath = settings.ModelFolder + std::string(inputFileName);
    boxes.input = settings.InputPath;
  }
  if (settings.OutputPath.empty()) {
    settings.OutputPath = InCase(model.substr(0, dot), pathCase);
    boxes.output = settings.OutputPath;
  }
  return boxes;
}

PathBoxes TakeModelFromDialog(Settings& settings, std::string_view chosenPath, PathCase pathCase) {
  const std::string extension = ReleaseDerivedPaths(settings, pathCase);
  settings.ModelPath = InCase(chosenPath, pathCase);
  settings.model = TakeGridSize(settings, settings.ModelPath, true);
  PathBoxes boxes = DeriveModelPaths(settings, kDialogInputName, pathCase);
  CarryExtension(settings, boxes, extension);
  boxes.model = settings.ModelPath;
  return boxes;
}

std::string CommandLineModelFile(std::string_view argument) {
  const std::string_view kept = argument.size() < 4 ? argument : argument.substr(0, argument.size() - 4);
  return std::string(kept) + ".kv5";
}

PathBoxes TakeModelFromCommandLine(Settings& settings, std::string_view argument, PathCase pathCase) {
  settings.ModelPath = std::string(argument);
  settings.model = TakeGridSize(settings, CommandLineModelFile(argument), false);
  PathBoxes boxes = DeriveModelPaths(settings, kCommandLineInputName, pathCase);
  boxes.model = settings.ModelPath;
  return boxes;
}

std::optional<std::string> OutputNameForType(const Settings& settings, int typeCode, PathCase pathCase) {
  const std::string_view model = settings.ModelPath;
  if (model.find_first_not_of(" \t\r\n\v\f") == std::string_view::npos) return std::nullopt;
  const std::size_t dot = LastPosition(model, '.');
  const std::string_view extension = ExtensionFor(typeCode);
  if (dot == 0 || extension.empty()) return std::nullopt;
  return InCase(model.substr(0, dot - 1), pathCase) + std::string(extension);
}

namespace {

// The path with "/" for every separator, "." and ".." resolved; empty when it is relative.
std::string AbsoluteText(std::string_view path, PathCase pathCase) {
  std::string text = InCase(path, pathCase);
  std::replace(text.begin(), text.end(), '\\', '/');
  const bool drive = text.size() >= 3 && text[1] == ':' && text[2] == '/';
  if (!drive && (text.empty() || text.front() != '/')) return {};
  std::string normal = PathText(PathFromUtf8(text).lexically_normal());
  std::replace(normal.begin(), normal.end(), '\\', '/');
  return normal;
}

}  // namespace

bool LiesInFolder(std::string_view folder, std::string_view path, PathCase pathCase) {
  std::string inside = AbsoluteText(folder, pathCase);
  const std::string file = AbsoluteText(path, pathCase);
  if (inside.empty() || file.empty()) return true;
  if (inside.back() != '/') inside += '/';
  return file.starts_with(inside);
}

std::string JoinArguments(const std::vector<std::string>& arguments) {
  std::string joined;
  for (const std::string& argument : arguments) {
    if (&argument != &arguments.front()) joined += ' ';
    joined += argument;
  }
  return joined;
}

}  // namespace kv

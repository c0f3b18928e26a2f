// The values the window and the conversion share for the whole process: the
// three paths, the model folder, the grid size of the model and whether that
// model was accepted. Paths are UTF-8 text; an empty string means "not set".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zuduradu/core/grid.h"

namespace kv {

enum class ModelState {
  NoneChosen,           // no model has been taken yet
  Accepted,             // the grid size was read from the model
  FileMissing,          // the model file does not exist or cannot be read
  VersionTooOld,        // the model's version is below the oldest one understood
  DimensionOutOfRange,  // NX, NY or NZ does not fit -32768..32767
  DimensionNotANumber,  // NX, NY or NZ is not a whole number
};

// Whether the current model was accepted and, when not, why. A model that is not
// accepted leaves the grid size of the one before it, which a run must not use.
struct ModelStatus {
  ModelState state = ModelState::NoneChosen;
  std::string file;           // the model description file that was read
  std::int64_t version = 0;   // the version the file gives, when it was asked
  std::string key;            // DimensionOutOfRange: "NX", "NY" or "NZ"
  std::string value;          // DimensionOutOfRange: the key's value as written
  std::vector<std::string> defaulted;  // Accepted: the grid keys the file left out, at their defaults

  bool accepted() const { return state == ModelState::Accepted; }
  friend bool operator==(const ModelStatus&, const ModelStatus&) = default;
};

struct Settings {
  std::string ModelPath;     // the model as chosen or as given on the command line
  std::string ModelFolder;   // ModelPath up to and including its last folder separator
  std::string InputPath;     // the matrix input file
  std::string OutputPath;    // the period data file
  std::string HelpFilePath;  // the package's help file
  int NX = 0;
  int NY = 0;
  int NZ = 0;
  ModelStatus model;

  GridSize Grid() const { return GridSize{NX, NY, NZ}; }
};

// Empties ModelPath, InputPath and OutputPath; everything else stays.
void ResetSettings(Settings& settings);

// Empty when the current model was accepted; otherwise a warning for the user
// that names the model and says why its grid size cannot be used.
std::string ModelRefusal(const Settings& settings);

}  // namespace kv

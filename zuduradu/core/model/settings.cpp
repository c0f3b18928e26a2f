#include "zuduradu/core/model/settings.h"

#include "zuduradu/core/model/model_file.h"

namespace kv {

void ResetSettings(Settings& settings) {
  settings.ModelPath.clear();
  settings.InputPath.clear();
  settings.OutputPath.clear();
}

std::string ModelRefusal(const Settings& settings) {
  const ModelStatus& m = settings.model;
  const std::string lead = "The grid size could not be read from the model " + m.file + ": ";
  switch (m.state) {
    case ModelState::Accepted:
      return {};
    case ModelState::NoneChosen:
      return "No model has been accepted yet: open a ZENTA model first.";
    case ModelState::FileMissing:
      return lead + "the file does not exist or cannot be read.";
    case ModelState::VersionTooOld:
      return lead + "its version " + std::to_string(m.version) + " is older than " +
             std::to_string(kMinModelVersion) + ".";
    case ModelState::DimensionOutOfRange:
      return lead + "its " + m.key + " value \"" + m.value + "\" is outside " + std::to_string(kInt16Min) + ".." +
             std::to_string(kInt16Max) + ".";
    case ModelState::DimensionNotANumber:
      return lead + "[DIMENSION] " + m.key + " = \"" + m.value +
             "\" is not a whole number. Write the number of cells as digits, such as " + m.key + "=40.";
  }
  return {};
}

}  // namespace kv

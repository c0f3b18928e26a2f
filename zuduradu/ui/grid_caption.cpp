#include "zuduradu/ui/grid_caption.h"

#include <algorithm>

#include "zuduradu/core/message_text.h"
#include "zuduradu/core/model/model_file.h"

namespace kv::ui {

namespace {

// "30 rows", with "(default)" when the model left the key out.
std::string Count(const kv::ModelStatus& model, const char* key, int n, const char* one, const char* many) {
  const bool defaulted = std::find(model.defaulted.begin(), model.defaulted.end(), key) != model.defaulted.end();
  return kv::Counted(n, one, many) + (defaulted ? " (default)" : "");
}

}  // namespace

std::string GridCaption(const kv::Settings& settings) {
  const kv::ModelStatus& model = settings.model;
  const std::string refused = "Not accepted: ";
  switch (model.state) {
    case kv::ModelState::NoneChosen:
      return {};
    case kv::ModelState::Accepted:
      return "Grid: " + Count(model, "NX", settings.NX, "column", "columns") + " \u00d7 " +
             Count(model, "NY", settings.NY, "row", "rows") + " \u00d7 " +
             Count(model, "NZ", settings.NZ, "layer", "layers");
    case kv::ModelState::FileMissing:
      return refused + "file not found";
    case kv::ModelState::VersionTooOld:
      return refused + "version " + std::to_string(model.version) + " < " + std::to_string(kv::kMinModelVersion);
    case kv::ModelState::DimensionOutOfRange:
      return refused + model.key + " out of range";
    case kv::ModelState::DimensionNotANumber:
      return refused + model.key + " is not a number";
  }
  return {};
}

std::vector<std::string> GridCaptionForms(const kv::Settings& settings) {
  const std::string caption = GridCaption(settings);
  if (!settings.model.accepted()) return {caption};
  std::string numbers = std::to_string(settings.NX) + " \u00d7 " + std::to_string(settings.NY) + " \u00d7 " +
                        std::to_string(settings.NZ);
  const std::vector<std::string>& defaulted = settings.model.defaulted;
  for (std::size_t i = 0; i < defaulted.size(); ++i) {
    numbers += (i == 0 ? ", " : i + 1 == defaulted.size() ? " and " : ", ") + defaulted[i];
  }
  if (!defaulted.empty()) numbers += " by default";
  return {caption, caption.substr(6), numbers};
}

}  // namespace kv::ui

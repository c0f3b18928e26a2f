#include "zuduradu/ui/grid_caption.h"

#include "zuduradu/core/message_text.h"
#include "zuduradu/core/model/model_file.h"

namespace kv::ui {

std::string GridCaption(const kv::Settings& settings) {
  const kv::ModelStatus& model = settings.model;
  const std::string refused = "Not accepted: ";
  switch (model.state) {
    case kv::ModelState::NoneChosen:
      return {};
    case kv::ModelState::Accepted:
      return "Grid: " + kv::Counted(settings.NX, "column", "columns") + " \u00d7 " + kv::Counted(settings.NY, "row", "rows") +
             " \u00d7 " + kv::Counted(settings.NZ, "layer", "layers");
    case kv::ModelState::FileMissing:
      return refused + "file not found";
    case kv::ModelState::VersionTooOld:
      return refused + "version " + std::to_string(model.version) + " < " + std::to_string(kv::kMinModelVersion);
    case kv::ModelState::DimensionOutOfRange:
      return refused + model.key + " out of range";
  }
  return {};
}

}  // namespace kv::ui

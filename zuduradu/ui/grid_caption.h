// The line beside step 1 that tells which grid a run will use.
#pragma once

#include <string>
#include <vector>

#include "zuduradu/core/model/settings.h"

namespace kv::ui {

// "Grid: 30 columns × 30 rows × 1 layer" for an accepted model; for a model that
// was not accepted, a short line with the reason, "Not accepted: file not found"
// (kv::ModelRefusal has the whole sentence); empty before any model was taken.
std::string GridCaption(const kv::Settings& settings);

// The same line in ever shorter forms, the whole caption first, for a place too
// narrow to show it whole: without "Grid: ", then the numbers alone with the
// keys left to their defaults named after them ("30 × 30 × 1, NZ by default").
std::vector<std::string> GridCaptionForms(const kv::Settings& settings);

}  // namespace kv::ui

#include "zuduradu/ui/path_text.h"

#include "zuduradu/core/ascii.h"

namespace kv::ui {

std::string InPathCase(std::string_view path, kv::PathCase pathCase) {
  // ASCII only, exactly as the core folds the model path, so that the three
  // paths of one folder keep matching each other.
  return pathCase == kv::PathCase::Fold ? kv::AsciiLowered(path) : std::string(path);
}

}  // namespace kv::ui

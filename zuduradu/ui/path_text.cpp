#include "zuduradu/ui/path_text.h"

namespace kv::ui {

std::string InPathCase(std::string_view path, kv::PathCase pathCase) {
  std::string out(path);
  if (pathCase == kv::PathCase::Fold) {
    // ASCII only, exactly as the core folds the model path, so that the three
    // paths of one folder keep matching each other.
    for (char& c : out) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return out;
}

}  // namespace kv::ui

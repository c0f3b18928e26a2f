#include "zuduradu/ui/progress_text.h"

#include <algorithm>
#include <cstdio>

#include "zuduradu/core/message_text.h"

namespace kv::ui {

namespace {

std::string Megabytes(std::uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / (1024.0 * 1024.0));
  return text;
}

}  // namespace

std::string ProgressText(const kv::ConversionProgress& progress) {
  if (progress.phase == kv::RunPhase::Writing) return "Writing the output file...";
  if (progress.phase == kv::RunPhase::Waiting) return "Waiting for another run on " + progress.output + "...";
  return "Data set " + std::to_string(progress.setsDone) + " of " + std::to_string(progress.setsTotal) + ", " +
         Megabytes(progress.bytesRead) + " of " + Megabytes(progress.inputBytes) + " MB";
}

std::string CompletionDetail(const kv::ConversionResult& result, const std::string& output) {
  std::string text = result.stored > 0 ? kv::DataSetCount(result.stored) + " stored in " + output
                                       : "No data set was stored, so there is no file " + output;
  if (result.skipped > 0) {
    text += "; " + kv::DataSetCount(result.skipped) + " skipped because " +
            std::string(kv::ForCount(result.skipped, "its layer exceeds", "their layers exceed")) + " NZ";
  }
  if (result.filled > 0) {
    text += "; " + kv::Counted(result.filled, "no-data cell was", "no-data cells were") + " filled";
  }
  text += ".";
  for (const std::string& warning : result.warnings) text += "\n" + warning;
  return text;
}

int ProgressPerMille(const kv::ConversionProgress& progress) {
  if (progress.phase == kv::RunPhase::Writing) return 1000;
  if (progress.inputBytes == 0 || progress.phase == kv::RunPhase::Waiting) return 0;
  const std::uint64_t read = std::min(progress.bytesRead, progress.inputBytes);
  return static_cast<int>(read * 1000 / progress.inputBytes);
}

}  // namespace kv::ui

#include "zuduradu/cli/progress.h"

#include <algorithm>
#include <string>

#include "zuduradu/cli/console.h"
#include "zuduradu/core/message_text.h"

namespace kvcli {

namespace {

constexpr auto kQuiet = std::chrono::milliseconds(500);   // nothing is drawn before this
constexpr auto kRedraw = std::chrono::milliseconds(100);  // at most ten drawings a second
constexpr int kWidth = 30;                                // characters of the bar itself
constexpr std::size_t kLineWidth = 80;                    // cleared when the bar goes

}  // namespace

ProgressBar::ProgressBar(std::FILE* stream, bool enabled, std::string output)
    : stream_(stream), enabled_(enabled), start_(Clock::now()), lastDrawn_(start_), output_(std::move(output)) {}

ProgressBar::~ProgressBar() { Clear(); }

kv::ProgressCallback ProgressBar::Callback() {
  return [this](const kv::ConversionProgress& progress) {
    if (progress.phase == kv::RunPhase::Waiting) {
      SayWaiting();
    } else if (enabled_) {
      Update(progress);
    }
    return true;
  };
}

void ProgressBar::SayWaiting() {
  if (saidWaiting_) return;
  saidWaiting_ = true;
  WriteText(stream_, "Waiting for another run on " + output_ + "...\n");
  std::fflush(stream_);
}

void ProgressBar::Update(const kv::ConversionProgress& progress) {
  const Clock::time_point now = Clock::now();
  if (now - start_ < kQuiet || (drawn_ && now - lastDrawn_ < kRedraw)) return;
  lastDrawn_ = now;
  drawn_ = true;
  std::string line = "\r";
  if (progress.inputBytes > 0) {
    const double share = std::clamp(
        static_cast<double>(progress.bytesRead) / static_cast<double>(progress.inputBytes), 0.0, 1.0);
    const int filled = static_cast<int>(share * kWidth);
    line += "[" + std::string(static_cast<std::size_t>(filled), '#') +
            std::string(static_cast<std::size_t>(kWidth - filled), '.') + "] " +
            std::to_string(static_cast<int>(share * 100.0)) + "%  " + std::to_string(progress.setsDone) + " of " +
            kv::DataSetCount(progress.setsTotal);
  } else {
    // Standard input has no length to measure against: the sets read so far and
    // the bytes they took.
    line += kv::DataSetCount(progress.setsDone) + ", " + std::to_string(progress.bytesRead >> 20) + " MiB read";
  }
  if (progress.phase == kv::RunPhase::Writing) line += ", writing";
  WriteText(stream_, line);
  std::fflush(stream_);
}

void ProgressBar::Clear() {
  if (!drawn_) return;
  drawn_ = false;
  WriteText(stream_, "\r" + std::string(kLineWidth, ' ') + "\r");
  std::fflush(stream_);
}

}  // namespace kvcli

// A progress bar for the conversion run on standard error. It is drawn only
// when standard error is a terminal and the run has lasted half a second, so
// quick runs and redirected output stay clean.
#pragma once

#include <chrono>
#include <cstdio>

#include "zuduradu/core/conversion.h"

namespace kvcli {

// Whether the stream is an interactive terminal.
bool IsTerminal(std::FILE* stream);

class ProgressBar {
 public:
  using Clock = std::chrono::steady_clock;

  // Draws on stream only when enabled (normally: IsTerminal(stream)).
  ProgressBar(std::FILE* stream, bool enabled);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // A callback for kv::RunConversion; it never cancels the run.
  kv::ProgressCallback Callback();
  // Takes the bar off the line, if it was drawn.
  void Clear();

 private:
  void Update(const kv::ConversionProgress& progress);

  std::FILE* stream_;
  bool enabled_;
  Clock::time_point start_;
  Clock::time_point lastDrawn_;
  bool drawn_ = false;
};

}  // namespace kvcli

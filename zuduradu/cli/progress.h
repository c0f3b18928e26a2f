// A progress bar for the conversion run on standard error. It is drawn only
// when standard error is a terminal and the run has lasted half a second, so
// quick runs and redirected output stay clean. A wait for another run on the
// same output is always said, once, so that a script's log shows why it paused.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "zuduradu/cli/console.h"
#include "zuduradu/core/run/conversion.h"

namespace kvcli {

class ProgressBar {
 public:
  using Clock = std::chrono::steady_clock;

  // Draws on stream only when enabled (normally: IsTerminal(stream)). `output`
  // names the file in the waiting line.
  ProgressBar(std::FILE* stream, bool enabled, std::string output = {});
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // A callback for kv::RunConversion; it never cancels the run.
  kv::ProgressCallback Callback();
  // Takes the bar off the line, if it was drawn.
  void Clear();
  // Says once that the run waits for another run on its output.
  void SayWaiting();

 private:
  void Update(const kv::ConversionProgress& progress);

  std::FILE* stream_;
  bool enabled_;
  Clock::time_point start_;
  Clock::time_point lastDrawn_;
  bool drawn_ = false;
  std::string output_;
  bool saidWaiting_ = false;
};

}  // namespace kvcli

// What the window says about a conversion: while it runs, and when it is done.
#pragma once

#include <string>

#include "zuduradu/core/run/conversion.h"

namespace kv::ui {

// While checking: "Data set 3 of 10, 1.2 of 5.0 MB" (MB of 2^20 bytes, one
// decimal). While writing: "Writing the output file...". While another run
// holds the output: "Waiting for another run on <file>...".
std::string ProgressText(const kv::ConversionProgress& progress);

// The line under "Conversion is complete.": the data sets stored and where,
// those skipped because their layer exceeds NZ, then each warning of the run
// on a line of its own.
std::string CompletionDetail(const kv::ConversionResult& result, const std::string& output);

// How far the run is, 0..1000, by the bytes of input read; 1000 while writing.
int ProgressPerMille(const kv::ConversionProgress& progress);

}  // namespace kv::ui

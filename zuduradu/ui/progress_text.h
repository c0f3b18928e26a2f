// What the progress dialog says about a running conversion.
#pragma once

#include <string>

#include "zuduradu/core/conversion.h"

namespace kv::ui {

// While checking: "Data set 3 of 10, 1.2 of 5.0 MB" (MB of 2^20 bytes, one
// decimal). While writing: "Writing the output file...". While another run
// holds the output: "Waiting for another run on <file>...".
std::string ProgressText(const kv::ConversionProgress& progress);

// How far the run is, 0..1000, by the bytes of input read; 1000 while writing.
int ProgressPerMille(const kv::ConversionProgress& progress);

}  // namespace kv::ui

// show, stats and diff: the data as a picture, numbers per layer, and two files
// compared. They throw as the other commands do (commands.h).
#pragma once

#include <ostream>

#include "zuduradu/cli/view_options.h"

namespace kvcli {

int Show(const ShowOptions& options, std::ostream& out, std::ostream& err);
int Stats(const StatsOptions& options, std::ostream& out, std::ostream& err);
// 0 when every layer is in both files and within the tolerance, 1 otherwise.
int Diff(const DiffOptions& options, std::ostream& out, std::ostream& err);

}  // namespace kvcli

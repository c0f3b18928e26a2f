// The file size limit of a process (ulimit -f). By default the system ends a
// process that writes past it with SIGXFSZ, at once and without a word, in the
// middle of a write. A program that writes files calls this at its start: the
// write then fails with EFBIG, and the run reports it and leaves the file as
// it was, as after a full disk.
#pragma once

namespace kv {

void ReportFileSizeLimitAsError();

}  // namespace kv

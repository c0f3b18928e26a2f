#include "zuduradu/core/storage/file_size_limit.h"

#ifndef _WIN32
#include <csignal>
#endif

namespace kv {

void ReportFileSizeLimitAsError() {
#ifdef _WIN32
  // Windows has no such signal: a write past a limit fails as any write does.
#else
  std::signal(SIGXFSZ, SIG_IGN);
#endif
}

}  // namespace kv

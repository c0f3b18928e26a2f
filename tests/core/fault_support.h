// What the fault tests share: a fault hook that is removed again at the end of
// its scope, and (on POSIX) a child process to run a run in and kill.
#pragma once

#include <utility>

#include "zuduradu/core/binary_file.h"

#if defined(__unix__)
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace kvtest {

class FaultHookGuard {
 public:
  explicit FaultHookGuard(kv::FaultHook hook) { kv::SetFaultHookForTesting(std::move(hook)); }
  ~FaultHookGuard() { kv::SetFaultHookForTesting({}); }
  FaultHookGuard(const FaultHookGuard&) = delete;
  FaultHookGuard& operator=(const FaultHookGuard&) = delete;
};

#if defined(__unix__)
// Runs f in a child process and returns its wait status.
template <typename F>
int InChild(F&& f) {
  const pid_t pid = fork();
  if (pid == 0) {
    f();
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}
#endif

}  // namespace kvtest

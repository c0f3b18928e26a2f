// What the fault tests share: a fault hook that is removed again at the end of
// its scope, and (on POSIX) a child process to run a run in and kill.
#pragma once

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "zuduradu/core/storage/binary_file.h"

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

// Runs `run(process, round)` for `rounds` rounds in each of `processes` child
// processes at once. A round fails when it throws or answers false; every
// child must end with none failed.
template <typename Run>
void InRacingChildren(int processes, int rounds, Run&& run) {
  std::vector<pid_t> children;
  for (int i = 0; i < processes; ++i) {
    const pid_t pid = fork();
    if (pid == 0) {
      int failures = 0;
      for (int r = 0; r < rounds; ++r) {
        try {
          failures += run(i, r) ? 0 : 1;
        } catch (...) {
          ++failures;
        }
      }
      _exit(failures);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a racing process saw a run fail";
  }
}
#endif

}  // namespace kvtest

// What the fault tests share: one scene (an output and an input that changes
// it), the roads a run can take, a fault hook that is removed again at the end
// of its scope, and (on POSIX) child processes to run a run in and kill.
#pragma once

#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"
#include "zuduradu/core/run/conversion.h"
#include "zuduradu/core/storage/binary_file.h"

#if defined(__unix__)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace kvtest {

inline const kv::GridSize kSceneGrid{3, 2, 2};

// The ways a run writes: in place under a journal, into a copy of the file when
// the sets do not fit the memory budget, and into a new file.
struct Road { const char* name; bool createNew; std::size_t budget; };
inline const std::vector<Road> kRoads = {
    {"append in place", false, std::size_t{1} << 20},
    {"append past the memory budget", false, 0},
    {"create-new", true, std::size_t{1} << 20},
};

// A fresh folder with an output holding periods 1 and 2 (type 3), and an input
// that rewrites both layers of period 1 and adds periods 10 and 11.
struct Scene {
  std::filesystem::path in, out;
  std::string before;
  explicit Scene(const std::filesystem::path& folder) : in(folder / "in.dat"), out(folder / "o.top") {
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    WriteAll(in, InputText({{1, 1, 1.5f, 0}, {1, 2, 1.5f, 0}, {2, 1, 1.5f, 0}}, 6));
    kv::RunConversion({{{in}}, out, 3, kSceneGrid, false});
    WriteAll(in, InputText({{1, 1, 7.25f}, {10, 1, 7.25f}, {1, 2, 7.25f}, {11, 2, 7.25f}}, 6));
    before = ReadAll(out);
  }
  kv::ConversionRequest Request(const Road& road) const {
    return {{{in}}, out, 3, kSceneGrid, road.createNew, road.budget};
  }
};

struct FaultHookGuard {
  explicit FaultHookGuard(kv::FaultHook hook) { kv::SetFaultHookForTesting(std::move(hook)); }
  ~FaultHookGuard() { kv::SetFaultHookForTesting({}); }
  FaultHookGuard(const FaultHookGuard&) = delete;
  FaultHookGuard& operator=(const FaultHookGuard&) = delete;
};

// The message of the kv::Error f is refused with, or "" when it ran.
template <typename F>
std::string Refusal(F&& f) {
  try {
    f();
    return "";
  } catch (const kv::Error& e) {
    return e.what();
  }
}

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

// Waits for the child process `pid`: its exit code, or -1 when it did not exit.
inline int ExitCode(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs `run` in a child process killed just before the first file operation
// that `at(operation, path)` picks; returns the wait status.
template <typename At, typename Run>
int KilledAt(At&& at, Run&& run) {
  return InChild([&] {
    kv::SetFaultHookForTesting([&](kv::FileOperation op, const std::filesystem::path& p) {
      return at(op, p) ? kill(getpid(), SIGKILL) : 0;
    });
    run();
  });
}

// Runs f in a child process acting as user `uid` (65534 unless told); f's
// answer is the exit code, -1 when the child did not exit, 99 when it could not
// become that user.
template <typename F>
int AsUser(F&& f, uid_t uid = 65534) {
  const int status = InChild([&] { _exit(setresgid(uid, uid, uid) || setresuid(uid, uid, uid) ? 99 : f()); });
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
  for (const pid_t pid : children) EXPECT_EQ(ExitCode(pid), 0) << "a racing process saw a run fail";
}
#endif

}  // namespace kvtest

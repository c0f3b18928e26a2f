#include "zuduradu/core/storage/output_lock.h"

#include <string>
#include <thread>

#include "zuduradu/core/error.h"
#include "zuduradu/core/storage/file_system.h"

namespace kv {
namespace fs = std::filesystem;

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(100);

// Polls `tryLock` until it succeeds, reporting the wait and honouring the limit.
template <typename TryLock>
void WaitFor(const fs::path& target, const LockWait& wait, TryLock&& tryLock) {
  const auto deadline = std::chrono::steady_clock::now() + wait.limit;
  auto nextReport = std::chrono::steady_clock::now();
  while (!tryLock()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      const auto ms = wait.limit.count();
      throw Error(ErrorKind::Busy, "Another run is still working on " + PathText(target) + "; gave up after waiting " +
                                       (ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms"));
    }
    if (wait.waiting && now >= nextReport) {
      if (!wait.waiting()) throw Error(ErrorKind::Cancelled, "The conversion was cancelled");
      nextReport = now + kPollInterval;
    }
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kPollInterval, deadline - now));
  }
}

}  // namespace

fs::path OutputLock::LockPath(const fs::path& target) {
  fs::path p = target;
  p += ".kvcvrt-lock";
  return p;
}

OutputLock::OutputLock(const fs::path& target, LockKind kind, const LockWait& wait)
    : path_(LockPath(target)), kind_(kind) {
  const bool exclusive = kind == LockKind::Exclusive;
  for (;;) {
    os::LockFileOpen file;
    WaitFor(target, wait, [&] {
      file = os::OpenLockFile(path_);
      return !file.retry;
    });
    if (file.handle == os::kNoHandle) {
      // A reader who may not make the lock file cannot hold one: taken as granted.
      if (!exclusive && file.denied) return;
      if (file.notRegular) {
        throw Error(ErrorKind::Io, "Could not lock " + PathText(target) + ": " + PathText(path_) + " is not a regular file");
      }
      throw Error(ErrorKind::Io, "Could not lock " + PathText(target) + " through " + PathText(path_) + ": " + file.problem);
    }
    try {
      WaitFor(target, wait, [&] { return os::TryLock(file.handle, exclusive); });
    } catch (...) {
      os::CloseLock(file.handle);
      throw;
    }
    // The previous holder may have removed the name after we opened it; then
    // the lock we hold guards nothing and the name must be locked afresh.
    if (os::StillNamed(file.handle, path_)) {
      handle_ = file.handle;
      return;
    }
    os::CloseLock(file.handle);
  }
}

void OutputLock::Release() noexcept {
  if (handle_ == os::kNoHandle) return;
  os::ReleaseLockFile(handle_, path_, kind_ == LockKind::Exclusive);
  handle_ = os::kNoHandle;
}

OutputLock::~OutputLock() { Release(); }

}  // namespace kv

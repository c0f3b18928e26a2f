#include "zuduradu/core/storage/output_lock.h"

#include <optional>
#include <string>
#include <thread>

#include "zuduradu/core/error.h"
#include "zuduradu/core/storage/file_system.h"
#include "zuduradu/core/storage/side_file_name.h"

namespace kv {
namespace fs = std::filesystem;

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(100);

}  // namespace

// Polls until a try succeeds, reporting the wait. One limit holds for every
// wait of one lock, however many steps it takes.
class LockWaiter {
 public:
  LockWaiter(const fs::path& target, const LockWait& wait)
      : target_(target), wait_(wait), deadline_(std::chrono::steady_clock::now() + wait.limit) {}

  template <typename TryLock>
  void For(TryLock&& tryLock) {
    while (!tryLock()) {
      const auto now = std::chrono::steady_clock::now();
      if (now >= deadline_) {
        const auto ms = wait_.limit.count();
        throw Error(ErrorKind::Busy, "Another run is still working on " + PathText(target_) + "; gave up after waiting " +
                                         (ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms"));
      }
      if (wait_.waiting && now >= nextReport_) {
        if (!wait_.waiting()) throw Error(ErrorKind::Cancelled, "The conversion was cancelled");
        nextReport_ = now + kPollInterval;
      }
      std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kPollInterval, deadline_ - now));
    }
  }

 private:
  const fs::path& target_;
  const LockWait& wait_;
  std::chrono::steady_clock::time_point deadline_;
  std::chrono::steady_clock::time_point nextReport_ = std::chrono::steady_clock::now();
};

namespace {

// Locks `handle` and keeps it only while `stillOurs` holds afterwards: the file
// may have been replaced while we waited. Gives false when it was.
// A wait given up names who holds the lock, where the system tells.
template <typename StillOurs>
bool LockIfStillOurs(LockWaiter& waiter, os::Handle handle, bool exclusive, StillOurs&& stillOurs) {
  try {
    waiter.For([&] { return os::TryLock(handle, exclusive); });
  } catch (const Error& e) {
    const std::string holders = e.kind() == ErrorKind::Busy ? os::LockHolders(handle) : std::string();
    os::CloseLock(handle);
    if (holders.empty()) throw;
    throw Error(ErrorKind::Busy, e.problem() + "; it is held by " + holders);
  } catch (...) {
    os::CloseLock(handle);
    throw;
  }
  if (stillOurs()) return true;
  os::CloseLock(handle);
  return false;
}

}  // namespace

fs::path OutputLock::LockPath(const fs::path& target) {
  return target.parent_path() / PathFromUtf8(SideFileName(PathText(target.filename()), ".kvcvrt-lock"));
}

OutputLock::OutputLock(const fs::path& target, LockKind kind, const LockWait& wait)
    : path_(LockPath(target)), kind_(kind) {
  LockWaiter waiter(target, wait);
  LockName(target, waiter);
  try {
    LockFile(target, waiter);
  } catch (...) {
    Release();
    throw;
  }
}

void OutputLock::LockName(const fs::path& target, LockWaiter& waiter) {
  const bool exclusive = kind_ == LockKind::Exclusive;
  for (;;) {
    os::LockFileOpen file;
    waiter.For([&] {
      file = os::OpenLockFile(path_);
      return !file.retry;
    });
    if (file.handle == os::kNoHandle) {
      // A reader who may not make the lock file goes on without it; the lock
      // on the file itself still keeps writers out.
      if (!exclusive && file.denied) return;
      if (const auto owner = os::OtherUsersFile(path_)) {
        throw Error(ErrorKind::Io, "Could not lock " + PathText(target) + ": the lock file " + PathText(path_) +
                                       " belongs to " + *owner + ", and this run cannot use it (" +
                                       (file.notRegular ? std::string("it is not a regular file") : file.problem) +
                                       "). Ask " + *owner + " to remove it, or write into a folder of your own: in a "
                                       "folder everyone may write (sticky, like /tmp) only that user or the folder's "
                                       "owner may remove it");
      }
      if (file.notRegular) {
        throw Error(ErrorKind::Io, "Could not lock " + PathText(target) + ": " + PathText(path_) + " is not a regular file");
      }
      throw Error(ErrorKind::Io, "Could not lock " + PathText(target) + " through " + PathText(path_) + ": " + file.problem);
    }
    // The previous holder may have removed the name after we opened it; then
    // the lock we hold guards nothing and the name must be locked afresh.
    bool locked = false;
    try {
      locked = LockIfStillOurs(waiter, file.handle, exclusive, [&] { return os::StillNamed(file.handle, path_); });
    } catch (const Error& e) {
      const auto owner = e.kind() == ErrorKind::Busy ? os::OtherUsersFile(path_) : std::nullopt;
      if (!owner) throw;
      throw Error(ErrorKind::Busy, e.problem() + "; the lock file " + PathText(path_) + " belongs to " + *owner +
                                       ", whose run may be holding it");
    }
    if (locked) {
      handle_ = file.handle;
      return;
    }
  }
}

// The file itself is locked too, so that every name of it (a hard link, a
// path through another folder) meets the same lock. A run that replaces the
// file holds this lock on the old one until the new one is in place; a waiter
// that then finds another file at the name locks that one.
void OutputLock::LockFile(const fs::path& target, LockWaiter& waiter) {
  for (;;) {
    const os::Handle handle = os::OpenToLock(target);
    if (handle == os::kNoHandle) return;  // no file yet, or none to lock: the open that follows reports it
    const auto ours = [&] {
      const auto held = os::IdentityOfOpen(handle);
      return held && held == IdentityOf(target);
    };
    if (LockIfStillOurs(waiter, handle, kind_ == LockKind::Exclusive, ours)) {
      fileHandle_ = handle;
      return;
    }
  }
}

void OutputLock::Release() noexcept {
  if (fileHandle_ != os::kNoHandle) os::CloseLock(fileHandle_);
  fileHandle_ = os::kNoHandle;
  if (handle_ == os::kNoHandle) return;
  os::ReleaseLockFile(handle_, path_, kind_ == LockKind::Exclusive);
  handle_ = os::kNoHandle;
}

OutputLock::~OutputLock() { Release(); }

}  // namespace kv

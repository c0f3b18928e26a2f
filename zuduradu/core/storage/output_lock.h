// One run at a time per output file. A run that changes a period data file
// holds an exclusive lock on it from before it reads the old file until the new
// bytes are in place; commands that only read it hold a shared lock.
//
// Two locks make one. The name is locked through a small file beside the
// target, "<target>.kvcvrt-lock": a file that does not exist yet has nothing
// else to lock, and a run replaces the target with a new file. The file itself
// is locked as well (on POSIX), so that a hard link or another path to the same
// file meets the same lock, and a reader who may not create the lock file still
// waits for a writer. The system drops both with their holder's process, so a
// killed run leaves no stale lock. On POSIX the last exclusive holder removes
// the lock file; a waiter that finds the file it locked no longer at that name
// simply locks the new one. On Windows the lock file is deleted when the last
// handle to it closes.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>

#include "zuduradu/core/storage/os.h"

namespace kv {

enum class LockKind { Shared, Exclusive };

class LockWaiter;

struct LockWait {
  // How long to wait for another run before giving up.
  std::chrono::milliseconds limit{std::chrono::minutes(5)};
  // Called when the lock is held by another run, and again about every 100 ms
  // while waiting. Returning false gives up at once (kv::Error of kind Cancelled).
  std::function<bool()> waiting;
};

class OutputLock {
 public:
  // Takes the lock for `target` (the file itself, links already followed),
  // waiting as `wait` says. Throws kv::Error: Busy when the limit passed, Io when
  // the lock file cannot be made (a link or a folder at its name, no rights).
  // A shared lock in a folder the user may not write is taken as granted:
  // nobody who could change the file can run there either.
  OutputLock(const std::filesystem::path& target, LockKind kind, const LockWait& wait = {});
  ~OutputLock();
  OutputLock(const OutputLock&) = delete;
  OutputLock& operator=(const OutputLock&) = delete;

  // The lock file's name for a target: "<target>.kvcvrt-lock", shortened with
  // a hash where that would be too long for a folder entry.
  static std::filesystem::path LockPath(const std::filesystem::path& target);

  // The identity of the file locked under the target's name, where the
  // platform locks the file itself and one stood there.
  std::optional<FileIdentity> file() const {
    return fileHandle_ == os::kNoHandle ? std::nullopt : os::IdentityOfOpen(fileHandle_);
  }

 private:
  void LockName(const std::filesystem::path& target, LockWaiter& waiter);
  void LockFile(const std::filesystem::path& target, LockWaiter& waiter);
  void Release() noexcept;

  std::filesystem::path path_;
  LockKind kind_;
  os::Handle handle_ = os::kNoHandle;      // the lock file
  os::Handle fileHandle_ = os::kNoHandle;  // the target itself
};

}  // namespace kv

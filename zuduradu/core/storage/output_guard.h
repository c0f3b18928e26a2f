// What every command that opens a period data file does first: take the lock
// (exclusive to change the file, shared to read it), roll back a run that was
// interrupted on it, and, whenever it can have the file alone without waiting,
// remove what a killed run left beside it (temporary copies, journal drafts).
// While the guard lives, the file is whole and ours.
#pragma once

#include <filesystem>
#include <optional>

#include "zuduradu/core/storage/output_lock.h"

namespace kv {

class OutputGuard {
 public:
  // `target` is the file itself (links already followed). A reader that finds
  // a journal takes the lock exclusively to roll the file back. Throws what
  // the lock or the rollback throws (a journal not to be trusted is refused).
  OutputGuard(const std::filesystem::path& target, LockKind kind, const LockWait& wait = {});

  // True when an interrupted run was rolled back; RolledBackNote says so.
  bool rolledBack() const { return rolledBack_; }
  // The file locked (OutputLock::file): the one a run may change.
  std::optional<FileIdentity> lockedFile() const { return lock_->file(); }

 private:
  void TidyUp();

  std::filesystem::path target_;
  std::optional<OutputLock> lock_;
  bool rolledBack_ = false;
};

}  // namespace kv

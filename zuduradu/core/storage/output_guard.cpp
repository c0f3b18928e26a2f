#include "zuduradu/core/storage/output_guard.h"

#include "zuduradu/core/error.h"
#include "zuduradu/core/storage/file_system.h"
#include "zuduradu/core/storage/journal.h"
#include "zuduradu/core/storage/replacement_file.h"

namespace kv {
namespace fs = std::filesystem;

OutputGuard::OutputGuard(const fs::path& target, LockKind kind, const LockWait& wait) : target_(target) {
  if (kind == LockKind::Shared) {
    // A reader who can have the file alone at once tidies up first; one who
    // cannot (another run is at work, or the folder is not ours to write)
    // simply reads.
    try {
      lock_.emplace(target, LockKind::Exclusive, LockWait{std::chrono::milliseconds(0), {}});
    } catch (const Error&) {
    }
    if (lock_) {
      TidyUp();
      lock_.reset();
    }
  }
  lock_.emplace(target, kind, wait);
  if (kind == LockKind::Exclusive) {
    TidyUp();
  } else if (JournalPresent(target)) {
    // A run was interrupted since: the file must be rolled back before it is read.
    lock_.reset();
    lock_.emplace(target, LockKind::Exclusive, wait);
    TidyUp();
  }
}

void OutputGuard::TidyUp() {
  if (JournalPresent(target_)) rolledBack_ = RollBackInterruptedRun(target_) || rolledBack_;
  // Under the exclusive lock no other run of ours is at work on this file:
  // what such a run left behind when it was killed can go.
  RemoveLeftovers(target_, kPartialSuffix);
  RemoveLeftovers(JournalPath(target_), kJournalPartSuffix);
}

}  // namespace kv

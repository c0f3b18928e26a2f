#include "zuduradu/core/storage/output_guard.h"

#include <system_error>

#include "zuduradu/core/storage/journal.h"

namespace kv {
namespace fs = std::filesystem;

namespace {

bool JournalPresent(const fs::path& target) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(JournalPath(target), ec));
}

}  // namespace

OutputGuard::OutputGuard(const fs::path& target, LockKind kind, const LockWait& wait) {
  lock_.emplace(target, kind, wait);
  if (!JournalPresent(target)) return;
  if (kind == LockKind::Shared) {
    lock_.reset();
    lock_.emplace(target, LockKind::Exclusive, wait);
  }
  rolledBack_ = RollBackInterruptedRun(target);
}

}  // namespace kv

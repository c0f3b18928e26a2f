#include "zuduradu/core/storage/replacement_file.h"

#include <system_error>

#include "zuduradu/core/error.h"
#include "zuduradu/core/storage/chunked_copy.h"
#include "zuduradu/core/storage/file_system.h"

namespace kv {
namespace fs = std::filesystem;

ReplacementFile::ReplacementFile(fs::path target, const char* suffix, Naming naming)
    : target_(std::move(target)),
      path_(naming == Naming::UnderLock ? FreeSibling(target_, suffix) : UniqueSibling(target_, suffix)) {}

ReplacementFile::~ReplacementFile() {
  if (placed_) return;
  const bool created = file_ != nullptr;
  file_.reset();
  std::error_code ignored;
  if (created) fs::remove(path_, ignored);
}

BinaryFile& ReplacementFile::CreateEmpty(std::optional<unsigned> permissions) {
  file_ = std::make_unique<BinaryFile>(path_, BinaryFile::Mode::CreateExclusive,
                                       permissions ? permissions : PermissionsOf(target_));
  keepOwner_ = !permissions;
  return *file_;
}

BinaryFile& ReplacementFile::CopyOf(const fs::path& source) {
  BinaryFile from(source, BinaryFile::Mode::Read);
  BinaryFile& to = CreateEmpty();
  ReadInChunks(from, 0, from.Length(),
               [&to](std::int64_t at, std::span<const unsigned char> piece) { to.WriteAt(at, piece); });
  return to;
}

void ReplacementFile::PutInPlace() {
  file_->Sync();
  file_->Close();
  // Given away only now: a run killed before leaves a file of its own, which its next run removes.
  if (keepOwner_) os::KeepOwner(target_, path_);
  ReplaceFile(path_, target_);
  placed_ = true;
  file_.reset();
  SyncFolderOf(target_);
}

}  // namespace kv

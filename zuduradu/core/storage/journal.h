// The rollback journal of an append. Before the first existing byte of a
// period data file changes, the bytes that will be overwritten (the header and
// the existing layers the run rewrites) and the file's old length are saved to
// "<target>.kvcvrt-journal" and made durable. When the run ends, the journal
// is removed. A journal found at the start of any command means a run was
// interrupted: the file is rolled back to what it was before that run.
//
// The journal is written under a unique name, synced, and only then renamed to
// its final name, so a journal at that name is always complete. It records the
// file's identity and lengths and ends with a checksum; one that does not match
// its file is never applied.
//
// Layout (little-endian): "KVCVRTJ1"; device, file index, old length, longest
// length the run may reach (8 bytes each); region count (4 bytes); per region
// its offset and length (8 bytes each) and its bytes; a 64-bit FNV-1a checksum
// of everything before it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "zuduradu/core/storage/binary_file.h"

namespace kv {

// A range of an existing file that a run will overwrite: [offset, offset + length).
struct SavedRange {
  std::int64_t offset = 0;
  std::int64_t length = 0;
};

std::filesystem::path JournalPath(const std::filesystem::path& target);

// A journal is first written as "<journal><suffix><8 hex digits>".
inline constexpr const char* kJournalPartSuffix = "-new-";

// Saves the ranges of `file` (open on `target`, `oldLength` bytes long) and its
// length to the journal, durably. `newLength` is the longest the file becomes.
// Ranges may overlap and may reach past the old end; only old bytes are saved.
// Returns the journal's size in bytes.
std::int64_t WriteJournal(const std::filesystem::path& target, BinaryFile& file, std::int64_t oldLength,
                          std::int64_t newLength, std::span<const SavedRange> ranges);

// Rolls `target` back when a journal of an interrupted run lies beside it:
// restores the saved bytes and the old length, syncs, removes the journal.
// Returns true when it did. A journal that is damaged, belongs to another file
// or does not fit the file's length is left alone and refused (kv::Error of kind
// BadOutput naming it). Call only under the target's exclusive lock.
bool RollBackInterruptedRun(const std::filesystem::path& target);

// Removes the journal after a finished run, durably.
void DropJournal(const std::filesystem::path& target);

// The sentence that tells a user a file was rolled back.
std::string RolledBackNote(const std::filesystem::path& target);

}  // namespace kv

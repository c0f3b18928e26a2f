// The rollback journal of an append. Before the first existing byte of a
// period data file changes, the bytes that will be overwritten (the header and
// the existing layers the run rewrites) and the file's old length are saved to
// "<target>.kvcvrt-journal" and made durable. When the run ends, the journal
// is removed. A journal found at the start of any command means a run was
// interrupted: the file is rolled back to what it was before that run.
//
// A journal is applied only when it is provably this run's journal for this
// very file in a state that run can have left:
// - it is a regular file with one name, owned by the user who applies it, who
//   also owns the data file, and nobody else may write it (so another user who
//   may write the folder cannot plant one; root applies none but its own);
// - it names the file's identity, and the file's length lies between its old
//   length and the longest the run could make it;
// - the run's writes are cut into pieces that never cross a page (4096 bytes)
//   or the old end of the file, and are handed to the system so that an
//   interruption leaves every piece either old or new. The journal keeps
//   every old piece and a digest of every new one; each piece of the file must
//   now hold one of the two (past the old end: its new bytes, zeros or nothing).
//   A file that was replaced or copied over fails this, whatever its inode.
//
// The journal is written as a ReplacementFile (a unique name, synced, then
// renamed), so a journal at its name is always complete, and it ends with a
// checksum.
//
// Layout (little-endian): "KVCVRTJ2"; device, file index, old length, longest
// length (8 bytes each); region count (4 bytes); per region, in file order, its
// offset and length (8 bytes each), its old bytes (the part before the old
// end), and one 8-byte digest per piece of its new bytes; a 64-bit FNV-1a
// checksum of everything before it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "zuduradu/core/storage/binary_file.h"

namespace kv {

// A write a run will make in an existing file: its new bytes, given either as
// bytes or as float values stored little-endian, from `offset` on.
struct PlannedWrite {
  std::int64_t offset = 0;
  std::span<const unsigned char> bytes;
  std::span<const float> floats;

  std::int64_t length() const {
    return static_cast<std::int64_t>(bytes.empty() ? floats.size_bytes() : bytes.size());
  }
  // Copies the new bytes from offset + at on into `out`.
  void Fill(std::int64_t at, std::span<unsigned char> out) const;
};

// The journal of `target`: "<target>.kvcvrt-journal", or, for a file with
// several names, the journal another of its names in the same folder has,
// recognised by the file identity it records.
std::filesystem::path JournalPath(const std::filesystem::path& target);
// Refuses (BadOutput) a change in place of a file with names in other folders:
// a run through one of them would not find the journal.
void RefuseNamesElsewhere(const std::filesystem::path& target);
// Whether anything (a journal, or whatever else took its name) lies at the journal's name.
bool JournalPresent(const std::filesystem::path& target);

// A journal is first written as "<journal><suffix><8 hex digits>".
inline constexpr const char* kJournalPartSuffix = "-new-";

// Saves, durably, what `writes` will overwrite in `file` (open on `target`,
// `oldLength` bytes long) and digests of what they will put there. Writes may
// reach past the old end; they must not overlap. Returns the journal's size.
std::int64_t WriteJournal(const std::filesystem::path& target, BinaryFile& file, std::int64_t oldLength,
                          std::span<const PlannedWrite> writes);

// Makes the writes a journal was written for, so that an interruption leaves
// every piece whole or untouched.
void ApplyPlannedWrites(BinaryFile& file, std::span<const PlannedWrite> writes);

// Check: a journal found by a command. OwnRun: the journal this very process
// wrote a moment ago, whose writes failed half-way (a write cut short by a full
// disk may leave a piece half new); its state is not checked.
enum class JournalTrust { Check, OwnRun };

// Rolls `target` back when a journal of an interrupted run lies beside it:
// restores the saved bytes and the old length, syncs, removes the journal.
// Returns true when it did. A journal that is not to be trusted, is damaged,
// belongs to another file or state, or was written by another version is left
// alone, the file untouched, and refused (kv::Error of kind BadOutput that says
// why and what to do). Call only under the target's exclusive lock.
bool RollBackInterruptedRun(const std::filesystem::path& target, JournalTrust trust = JournalTrust::Check);

// Removes the journal after a finished run, durably.
void DropJournal(const std::filesystem::path& target);

// The sentence that tells a user a file was rolled back.
std::string RolledBackNote(const std::filesystem::path& target);

}  // namespace kv

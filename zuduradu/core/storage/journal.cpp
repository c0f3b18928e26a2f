#include "zuduradu/core/storage/journal.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <system_error>
#include <vector>

#include "zuduradu/core/error.h"
#include "zuduradu/core/grid.h"
#include "zuduradu/core/storage/chunked_copy.h"
#include "zuduradu/core/storage/file_system.h"
#include "zuduradu/core/storage/le_bytes.h"
#include "zuduradu/core/storage/replacement_file.h"
#include "zuduradu/core/storage/side_file_name.h"

namespace kv {
namespace fs = std::filesystem;

namespace {

constexpr std::array<unsigned char, 8> kMagic = {'K', 'V', 'C', 'V', 'R', 'T', 'J', '2'};
constexpr std::int64_t kFixedBytes = 8 + 4 * 8 + 4;  // magic, four numbers, region count
constexpr std::int64_t kRegionHead = 16;
constexpr std::int64_t kDigestBytes = 8;
constexpr std::int64_t kChecksumBytes = 8;
constexpr std::int64_t kPage = 4096;
constexpr std::size_t kChunk = std::size_t{1} << 20;

class Checksum {
 public:
  void Add(std::span<const unsigned char> bytes) { h_ = Fnv1a(bytes, h_); }
  std::uint64_t value() const { return h_; }

 private:
  std::uint64_t h_ = kFnv1aStart;
};

// The digest of a piece's bytes: eight bytes at a time, mixed after each.
std::uint64_t Digest(std::span<const unsigned char> bytes) {
  std::uint64_t h = kFnv1aStart ^ bytes.size();
  std::size_t i = 0;
  auto mix = [&h](std::uint64_t word) {
    h = (h ^ word) * 0x9E3779B97F4A7C15ULL;
    h ^= h >> 32;
  };
  for (; i + 8 <= bytes.size(); i += 8) mix(Get64(&bytes[i]));
  std::uint64_t tail = 0;
  for (std::size_t k = bytes.size(); k > i; --k) tail = (tail << 8) | bytes[k - 1];
  mix(tail);
  return h;
}

// Calls f(begin, end) for each piece of [offset, offset + length): pieces end
// at every page boundary and at the old end of the file.
template <typename F>
void ForEachPiece(std::int64_t offset, std::int64_t length, std::int64_t oldLength, F&& f) {
  const std::int64_t end = offset + length;
  for (std::int64_t a = offset; a < end;) {
    std::int64_t b = std::min(end, (a / kPage + 1) * kPage);
    if (a < oldLength && oldLength < b) b = oldLength;
    f(a, b);
    a = b;
  }
}

std::int64_t PieceCount(std::int64_t offset, std::int64_t length, std::int64_t oldLength) {
  if (length <= 0) return 0;
  const std::int64_t end = offset + length;
  std::int64_t n = (end - 1) / kPage - offset / kPage + 1;
  if (offset < oldLength && oldLength < end && oldLength % kPage != 0) ++n;
  return n;
}

// How many of a region's bytes lie before the old end.
std::int64_t OldPart(std::int64_t offset, std::int64_t length, std::int64_t oldLength) {
  return std::clamp<std::int64_t>(oldLength - offset, 0, length);
}

// Writes sequentially and checksums what it writes.
class JournalWriter {
 public:
  explicit JournalWriter(BinaryFile& file) : file_(file) {}
  void Write(std::span<const unsigned char> bytes) {
    sum_.Add(bytes);
    file_.WriteAt(at_, bytes);
    at_ += static_cast<std::int64_t>(bytes.size());
  }
  void Write64(std::uint64_t v) {
    unsigned char b[8];
    Put64(b, v);
    Write(b);
  }
  void Finish() {
    unsigned char b[8];
    Put64(b, sum_.value());
    file_.WriteAt(at_, b);
    at_ += 8;
  }
  std::int64_t size() const { return at_; }

 private:
  BinaryFile& file_;
  Checksum sum_;
  std::int64_t at_ = 0;
};

struct Region {
  std::int64_t offset = 0;
  std::int64_t length = 0;
  std::int64_t oldAt = 0;     // where its old bytes lie in the journal
  std::int64_t digestAt = 0;  // where its digests lie in the journal
};

struct JournalHead {
  FileIdentity identity;
  std::int64_t oldLength = 0;
  std::int64_t newLength = 0;
  std::vector<Region> regions;
};

std::string LeftAsItIs(const fs::path& target) {
  return ", so it was not applied and " + PathText(target) + " was left as it is";
}

[[noreturn]] void Refuse(const fs::path& target, const std::string& why) {
  throw Error(ErrorKind::BadOutput, "The journal " + PathText(JournalPath(target)) + " does not belong to " +
                                        PathText(target) + " (" + why + ")" + LeftAsItIs(target) +
                                        ". If no run on this file was interrupted, remove the journal");
}

// A journal is trusted only when the user applying it made it and nobody else
// can have changed it since.
void RefuseForeignJournal(const fs::path& target, const FileOwnership& journal) {
  const std::string name = PathText(JournalPath(target));
  if (journal.owner != os::CurrentUser()) {
    const std::string owner = os::UserText(journal.owner);
    throw Error(ErrorKind::BadOutput, "The journal " + name + " belongs to " + owner + ", not to you" +
                                          LeftAsItIs(target) + ". If " + owner +
                                          " was changing this file, let that user open it with kvcvrt to roll it back; "
                                          "otherwise remove the journal (where the folder does not let you, ask "
                                          "its owner to, or move the file to another name)");
  }
  if (journal.othersMayWrite || journal.names != 1) {
    throw Error(ErrorKind::BadOutput,
                "The journal " + name +
                    (journal.othersMayWrite ? " may be changed by other users (its group or everybody may write it)"
                                            : " has " + std::to_string(journal.names) + " names (hard links)") +
                    LeftAsItIs(target) + ". If no run on this file was interrupted, remove the journal");
  }
}

// ... and owns the file: a run on another user's file never journals (it
// replaces the file instead), so such a journal is no run of ours.
void RefuseForeignFile(const fs::path& target, const FileOwnership& file) {
  if (file.owner == os::CurrentUser()) return;
  throw Error(ErrorKind::BadOutput, "The journal " + PathText(JournalPath(target)) + " is yours, but " +
                                        PathText(target) + " belongs to " + os::UserText(file.owner) + LeftAsItIs(target) +
                                        ". Let the file's owner open it with kvcvrt, or remove the journal if no run "
                                        "on this file was interrupted");
}

// Reads and checks the whole journal: format, checksum, regions.
JournalHead ReadJournal(BinaryFile& journal, const fs::path& target) {
  const std::int64_t size = journal.Length();
  if (size < kFixedBytes + kChecksumBytes) Refuse(target, "it is too short to be a journal");
  std::array<unsigned char, kFixedBytes> fixed{};
  journal.ReadAt(0, fixed);
  if (!std::equal(kMagic.begin(), kMagic.end() - 1, fixed.begin())) Refuse(target, "it is not a journal of kvcvrt");
  if (fixed[7] != kMagic[7]) {
    throw Error(ErrorKind::BadOutput, "The journal " + PathText(JournalPath(target)) +
                                          " was written by another version of kvcvrt" + LeftAsItIs(target) +
                                          ". Open the file with that version to roll it back, or remove the journal "
                                          "if no run on this file was interrupted");
  }
  Checksum sum;
  sum.Add(fixed);
  JournalHead head;
  head.identity = {Get64(&fixed[8]), Get64(&fixed[16])};
  head.oldLength = static_cast<std::int64_t>(Get64(&fixed[24]));
  head.newLength = static_cast<std::int64_t>(Get64(&fixed[32]));
  const std::uint32_t count = std::uint32_t{fixed[40]} | std::uint32_t{fixed[41]} << 8 |
                              std::uint32_t{fixed[42]} << 16 | std::uint32_t{fixed[43]} << 24;
  if (head.oldLength < kHeaderBytes || head.newLength < head.oldLength) Refuse(target, "its lengths are damaged");
  const std::int64_t body = size - kChecksumBytes;
  std::int64_t at = kFixedBytes;
  std::int64_t previousEnd = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (at + kRegionHead > body) Refuse(target, "it is damaged or incomplete");
    unsigned char rh[kRegionHead];
    journal.ReadAt(at, rh);
    sum.Add(rh);
    Region r{static_cast<std::int64_t>(Get64(rh)), static_cast<std::int64_t>(Get64(rh + 8)), at + kRegionHead, 0};
    if (r.offset < previousEnd || r.length <= 0 || r.length > head.newLength - r.offset) {
      Refuse(target, "it is damaged or incomplete");
    }
    previousEnd = r.offset + r.length;
    const std::int64_t old = OldPart(r.offset, r.length, head.oldLength);
    if (old > body - r.oldAt || PieceCount(r.offset, r.length, head.oldLength) > (body - r.oldAt - old) / kDigestBytes) {
      Refuse(target, "it is damaged or incomplete");
    }
    r.digestAt = r.oldAt + old;
    const std::int64_t end = r.digestAt + PieceCount(r.offset, r.length, head.oldLength) * kDigestBytes;
    ReadInChunks(journal, r.oldAt, end - r.oldAt,
                 [&sum](std::int64_t, std::span<const unsigned char> piece) { sum.Add(piece); });
    at = end;
    head.regions.push_back(r);
  }
  if (at != body) Refuse(target, "it is damaged or incomplete");
  unsigned char stored[8];
  journal.ReadAt(at, stored);
  if (Get64(stored) != sum.value()) Refuse(target, "its checksum does not match");
  return head;
}

// Every piece of the file must hold its old bytes or its new ones.
void CheckState(BinaryFile& journal, BinaryFile& file, const JournalHead& head, std::int64_t length,
                const fs::path& target) {
  std::vector<unsigned char> now(kPage), old(kPage);
  for (const Region& r : head.regions) {
    std::int64_t digestAt = r.digestAt;
    ForEachPiece(r.offset, r.length, head.oldLength, [&](std::int64_t a, std::int64_t b) {
      const auto n = static_cast<std::size_t>(b - a);
      const auto present = static_cast<std::size_t>(std::clamp<std::int64_t>(length - a, 0, b - a));
      file.ReadAt(a, {now.data(), present});
      unsigned char digest[8];
      journal.ReadAt(digestAt, digest);
      digestAt += kDigestBytes;
      if (present == n && Digest({now.data(), n}) == Get64(digest)) return;
      bool isOld = false;
      if (a < head.oldLength) {
        journal.ReadAt(r.oldAt + (a - r.offset), {old.data(), n});
        isOld = std::equal(old.begin(), old.begin() + static_cast<std::ptrdiff_t>(n), now.begin());
      } else {
        isOld = std::all_of(now.begin(), now.begin() + static_cast<std::ptrdiff_t>(present),
                            [](unsigned char c) { return c == 0; });
      }
      if (!isOld) Refuse(target, "the file was replaced or changed since");
    });
  }
}

}  // namespace

void PlannedWrite::Fill(std::int64_t at, std::span<unsigned char> out) const {
  if (!bytes.empty()) {
    std::memcpy(out.data(), bytes.data() + at, out.size());
    return;
  }
  if constexpr (kFloatsAreLittleEndian) {
    std::memcpy(out.data(), reinterpret_cast<const unsigned char*>(floats.data()) + at, out.size());
  } else {
    for (std::size_t k = 0; k < out.size(); ++k) {
      const auto i = static_cast<std::size_t>(at) + k;
      unsigned char value[4];
      PutFloat(value, floats[i / 4]);
      out[k] = value[i % 4];
    }
  }
}

fs::path JournalPath(const fs::path& target) {
  return target.parent_path() / PathFromUtf8(SideFileName(PathText(target.filename()), ".kvcvrt-journal"));
}

bool JournalPresent(const fs::path& target) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(JournalPath(target), ec));
}

std::string RolledBackNote(const fs::path& target) {
  return "An interrupted run on " + PathText(target) + " was rolled back.";
}

std::int64_t WriteJournal(const fs::path& target, BinaryFile& file, std::int64_t oldLength,
                          std::span<const PlannedWrite> writes) {
  const std::optional<FileIdentity> identity = IdentityOf(target);
  if (!identity) throw Error(ErrorKind::Io, "Could not look at " + PathText(target) + " to journal it");
  std::vector<const PlannedWrite*> sorted;
  std::int64_t newLength = oldLength;
  for (const PlannedWrite& w : writes) {
    if (w.length() == 0) continue;
    sorted.push_back(&w);
    newLength = std::max(newLength, w.offset + w.length());
  }
  std::sort(sorted.begin(), sorted.end(), [](const PlannedWrite* a, const PlannedWrite* b) { return a->offset < b->offset; });
  for (std::size_t i = 1; i < sorted.size(); ++i) {
    if (sorted[i - 1]->offset + sorted[i - 1]->length() > sorted[i]->offset) {
      throw Error(ErrorKind::Io, "Could not journal " + PathText(target) + ": two planned writes overlap");
    }
  }
  ReplacementFile draft(JournalPath(target), kJournalPartSuffix, ReplacementFile::Naming::UnderLock);
  // Readable by whoever may read the file; written by nobody but us.
  BinaryFile& journal = draft.CreateEmpty((PermissionsOf(target).value_or(0600) & 0644) | 0600);
  JournalWriter out(journal);
  out.Write(kMagic);
  out.Write64(identity->device);
  out.Write64(identity->file);
  out.Write64(static_cast<std::uint64_t>(oldLength));
  out.Write64(static_cast<std::uint64_t>(newLength));
  const auto count = static_cast<std::uint32_t>(sorted.size());
  const unsigned char countBytes[4] = {static_cast<unsigned char>(count), static_cast<unsigned char>(count >> 8),
                                       static_cast<unsigned char>(count >> 16), static_cast<unsigned char>(count >> 24)};
  out.Write(countBytes);
  std::vector<unsigned char> chunk(kChunk);
  for (const PlannedWrite* w : sorted) {
    out.Write64(static_cast<std::uint64_t>(w->offset));
    out.Write64(static_cast<std::uint64_t>(w->length()));
    const std::int64_t old = OldPart(w->offset, w->length(), oldLength);
    ReadInChunks(file, w->offset, old, [&out](std::int64_t, std::span<const unsigned char> piece) { out.Write(piece); });
    ForEachPiece(w->offset, w->length(), oldLength, [&](std::int64_t a, std::int64_t b) {
      const std::span<unsigned char> piece(chunk.data(), static_cast<std::size_t>(b - a));
      w->Fill(a - w->offset, piece);
      out.Write64(Digest(piece));
    });
  }
  out.Finish();
  try {
    draft.PutInPlace();
  } catch (const Error&) {
    // Not a byte of the file has changed yet: a journal that may not last is not needed.
    std::error_code ignored;
    if (draft.placed()) fs::remove(JournalPath(target), ignored);
    throw;
  }
  return out.size();
}

// A write stopped by a kill or a power cut ends at a page boundary of the
// file: the kernel copies a write page by page and checks for a fatal signal
// between pages. So each planned write goes to the system in at most three
// parts, each its own write call starting at a page boundary or ending at one:
// the part before the first page boundary, the whole pages, the part after the
// last. Every piece is then whole or untouched after any interruption (a
// piece that ends at the old end of the file inside a page shares that page's
// fate with the piece after it).
void ApplyPlannedWrites(BinaryFile& file, std::span<const PlannedWrite> writes) {
  std::vector<unsigned char> page(kPage);
  for (const PlannedWrite& w : writes) {
    const std::int64_t end = w.offset + w.length();
    const std::int64_t firstBoundary = std::min(end, (w.offset + kPage - 1) / kPage * kPage);
    const std::int64_t lastBoundary = std::max(firstBoundary, end / kPage * kPage);
    using Part = std::pair<std::int64_t, std::int64_t>;
    for (const auto& [a, b] : std::array<Part, 3>{Part{w.offset, firstBoundary}, Part{firstBoundary, lastBoundary},
                                                  Part{lastBoundary, end}}) {
      if (a == b) continue;
      const unsigned char* bytes = !w.bytes.empty() ? w.bytes.data()
                                   : kFloatsAreLittleEndian ? reinterpret_cast<const unsigned char*>(w.floats.data())
                                                            : nullptr;
      if (bytes) {
        file.WriteAt(a, {bytes + (a - w.offset), static_cast<std::size_t>(b - a)});
      } else {
        for (std::int64_t p = a; p < b; p += kPage) {
          const std::span<unsigned char> part(page.data(), static_cast<std::size_t>(std::min(b, p + kPage) - p));
          w.Fill(p - w.offset, part);
          file.WriteAt(p, part);
        }
      }
      file.Flush();
    }
  }
}

bool RollBackInterruptedRun(const fs::path& target, JournalTrust trust) {
  const fs::path path = JournalPath(target);
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(path, ec);
  if (ec || !fs::exists(status)) return false;
  if (fs::is_symlink(status)) Refuse(target, "a link stands at its name");
  if (!fs::is_regular_file(status)) Refuse(target, "it is not a regular file");
  BinaryFile journal(path, BinaryFile::Mode::Read);
  RefuseForeignJournal(target, journal.Ownership());
  if (!IdentityOf(target)) Refuse(target, "the file it was written for is gone");
  BinaryFile file(target, BinaryFile::Mode::Update);
  RefuseForeignFile(target, file.Ownership());
  // Everything is checked before a byte of the file changes.
  const JournalHead head = ReadJournal(journal, target);
  if (IdentityOf(target) != head.identity) Refuse(target, "it was written for another file");
  const std::int64_t length = file.Length();
  if (length < head.oldLength || length > head.newLength) {
    Refuse(target, "the file is " + std::to_string(length) + " bytes long, where the journal expects " +
                       std::to_string(head.oldLength) + " to " + std::to_string(head.newLength));
  }
  if (trust == JournalTrust::Check) CheckState(journal, file, head, length, target);
  // The old bytes go back piece by piece, so that an interruption here too
  // leaves every piece old or new and the rollback can simply be done again.
  std::vector<unsigned char> piece(kPage);
  for (const Region& r : head.regions) {
    ForEachPiece(r.offset, OldPart(r.offset, r.length, head.oldLength), head.oldLength,
                 [&](std::int64_t a, std::int64_t b) {
                   const std::span<unsigned char> bytes(piece.data(), static_cast<std::size_t>(b - a));
                   journal.ReadAt(r.oldAt + (a - r.offset), bytes);
                   file.WriteAt(a, bytes);
                   file.Flush();
                 });
  }
  file.Truncate(head.oldLength);
  file.Sync();
  file.Close();
  journal.Close();
  DropJournal(target);
  return true;
}

void DropJournal(const fs::path& target) {
  RemoveFile(JournalPath(target));
  SyncFolderOf(target);
}

}  // namespace kv

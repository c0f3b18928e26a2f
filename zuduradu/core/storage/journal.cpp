#include "zuduradu/core/storage/journal.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <system_error>
#include <vector>

#include "zuduradu/core/error.h"
#include "zuduradu/core/storage/file_system.h"
#include "zuduradu/core/grid.h"

namespace kv {
namespace fs = std::filesystem;

namespace {

constexpr std::array<unsigned char, 8> kMagic = {'K', 'V', 'C', 'V', 'R', 'T', 'J', '1'};
constexpr std::int64_t kFixedBytes = 8 + 4 * 8 + 4;  // magic, four numbers, region count
constexpr std::int64_t kRegionHead = 16;
constexpr std::int64_t kChecksumBytes = 8;
constexpr std::size_t kChunk = std::size_t{1} << 20;

class Checksum {
 public:
  void Add(std::span<const unsigned char> bytes) {
    for (const unsigned char b : bytes) h_ = (h_ ^ b) * 0x100000001B3ULL;
  }
  std::uint64_t value() const { return h_; }

 private:
  std::uint64_t h_ = 0xCBF29CE484222325ULL;
};

void Put64(unsigned char* p, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
std::uint64_t Get64(const unsigned char* p) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
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

// The ranges within the old file, sorted and merged.
std::vector<SavedRange> OldBytes(std::span<const SavedRange> ranges, std::int64_t oldLength) {
  std::vector<SavedRange> kept;
  for (const SavedRange& r : ranges) {
    const std::int64_t end = std::min(r.offset + r.length, oldLength);
    if (r.offset < end) kept.push_back({r.offset, end - r.offset});
  }
  std::sort(kept.begin(), kept.end(), [](const SavedRange& a, const SavedRange& b) { return a.offset < b.offset; });
  std::vector<SavedRange> merged;
  for (const SavedRange& r : kept) {
    if (!merged.empty() && r.offset <= merged.back().offset + merged.back().length) {
      merged.back().length = std::max(merged.back().length, r.offset + r.length - merged.back().offset);
    } else {
      merged.push_back(r);
    }
  }
  return merged;
}

struct JournalHead {
  FileIdentity identity;
  std::int64_t oldLength = 0;
  std::int64_t newLength = 0;
  std::uint32_t regions = 0;
};

[[noreturn]] void Refuse(const fs::path& target, const std::string& why) {
  throw Error(ErrorKind::BadOutput,
              "The journal " + PathText(JournalPath(target)) + " does not belong to " + PathText(target) + " (" + why +
                  "), so it was not applied. If no run on this file was interrupted, remove the journal");
}

// Reads and checks the whole journal; `apply` is called per region with the
// region's offset and its bytes' place in the journal.
template <typename Apply>
JournalHead ReadJournal(BinaryFile& journal, const fs::path& target, Apply&& apply) {
  const std::int64_t size = journal.Length();
  if (size < kFixedBytes + kChecksumBytes) Refuse(target, "it is too short to be a journal");
  std::array<unsigned char, kFixedBytes> fixed{};
  journal.ReadAt(0, fixed);
  if (!std::equal(kMagic.begin(), kMagic.end(), fixed.begin())) Refuse(target, "it is not a journal of kvcvrt");
  Checksum sum;
  sum.Add(fixed);
  JournalHead head;
  head.identity = {Get64(&fixed[8]), Get64(&fixed[16])};
  head.oldLength = static_cast<std::int64_t>(Get64(&fixed[24]));
  head.newLength = static_cast<std::int64_t>(Get64(&fixed[32]));
  head.regions = std::uint32_t{fixed[40]} | std::uint32_t{fixed[41]} << 8 | std::uint32_t{fixed[42]} << 16 |
                 std::uint32_t{fixed[43]} << 24;
  if (head.oldLength < kHeaderBytes || head.newLength < head.oldLength) Refuse(target, "its lengths are damaged");
  std::int64_t at = kFixedBytes;
  std::vector<unsigned char> chunk(kChunk);
  for (std::uint32_t i = 0; i < head.regions; ++i) {
    if (at + kRegionHead > size - kChecksumBytes) Refuse(target, "it is damaged or incomplete");
    unsigned char rh[kRegionHead];
    journal.ReadAt(at, rh);
    sum.Add(rh);
    const auto offset = static_cast<std::int64_t>(Get64(rh));
    const auto length = static_cast<std::int64_t>(Get64(rh + 8));
    at += kRegionHead;
    if (offset < 0 || length < 0 || length > head.oldLength || offset > head.oldLength - length ||
        length > size - kChecksumBytes - at) {
      Refuse(target, "it is damaged or incomplete");
    }
    apply(offset, at, length);
    for (std::int64_t done = 0; done < length;) {
      const auto n = static_cast<std::size_t>(std::min<std::int64_t>(length - done, static_cast<std::int64_t>(kChunk)));
      journal.ReadAt(at + done, {chunk.data(), n});
      sum.Add({chunk.data(), n});
      done += static_cast<std::int64_t>(n);
    }
    at += length;
  }
  if (at + kChecksumBytes != size) Refuse(target, "it is damaged or incomplete");
  unsigned char stored[8];
  journal.ReadAt(at, stored);
  if (Get64(stored) != sum.value()) Refuse(target, "its checksum does not match");
  return head;
}

}  // namespace

fs::path JournalPath(const fs::path& target) {
  fs::path p = target;
  p += ".kvcvrt-journal";
  return p;
}

std::string RolledBackNote(const fs::path& target) {
  return "An interrupted run on " + PathText(target) + " was rolled back.";
}

std::int64_t WriteJournal(const fs::path& target, BinaryFile& file, std::int64_t oldLength, std::int64_t newLength,
                          std::span<const SavedRange> ranges) {
  const std::optional<FileIdentity> identity = IdentityOf(target);
  if (!identity) throw Error(ErrorKind::Io, "Could not look at " + PathText(target) + " to journal it");
  const std::vector<SavedRange> saved = OldBytes(ranges, oldLength);
  const fs::path partial = UniqueSibling(JournalPath(target), kJournalPartSuffix);
  struct RemoveUnlessPlaced {
    const fs::path& path;
    bool placed = false;
    ~RemoveUnlessPlaced() {
      std::error_code ignored;
      if (!placed) fs::remove(path, ignored);
    }
  } cleanup{partial};
  std::int64_t size = 0;
  {
    BinaryFile journal(partial, BinaryFile::Mode::CreateExclusive, PermissionsOf(target));
    JournalWriter out(journal);
    out.Write(kMagic);
    out.Write64(identity->device);
    out.Write64(identity->file);
    out.Write64(static_cast<std::uint64_t>(oldLength));
    out.Write64(static_cast<std::uint64_t>(newLength));
    const auto count = static_cast<std::uint32_t>(saved.size());
    const unsigned char countBytes[4] = {static_cast<unsigned char>(count), static_cast<unsigned char>(count >> 8),
                                         static_cast<unsigned char>(count >> 16), static_cast<unsigned char>(count >> 24)};
    out.Write(countBytes);
    std::vector<unsigned char> chunk(kChunk);
    for (const SavedRange& r : saved) {
      out.Write64(static_cast<std::uint64_t>(r.offset));
      out.Write64(static_cast<std::uint64_t>(r.length));
      for (std::int64_t done = 0; done < r.length;) {
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(r.length - done, static_cast<std::int64_t>(kChunk)));
        file.ReadAt(r.offset + done, {chunk.data(), n});
        out.Write({chunk.data(), n});
        done += static_cast<std::int64_t>(n);
      }
    }
    out.Finish();
    size = out.size();
    journal.Sync();
    journal.Close();
  }
  ReplaceFile(partial, JournalPath(target));
  cleanup.placed = true;
  try {
    SyncFolderOf(target);
  } catch (const Error&) {
    // Not a byte of the file has changed yet: the journal is not needed.
    std::error_code ignored;
    fs::remove(JournalPath(target), ignored);
    throw;
  }
  return size;
}

bool RollBackInterruptedRun(const fs::path& target) {
  const fs::path path = JournalPath(target);
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(path, ec);
  if (ec || !fs::exists(status)) return false;
  if (fs::is_symlink(status)) Refuse(target, "a link stands at its name");
  if (!fs::is_regular_file(status)) Refuse(target, "it is not a regular file");
  BinaryFile journal(path, BinaryFile::Mode::Read);
  // First pass: check everything before a byte of the file changes.
  const JournalHead head = ReadJournal(journal, target, [](std::int64_t, std::int64_t, std::int64_t) {});
  const std::optional<FileIdentity> identity = IdentityOf(target);
  if (!identity) Refuse(target, "the file it was written for is gone");
  if (*identity != head.identity) Refuse(target, "it was written for another file");
  BinaryFile file(target, BinaryFile::Mode::Update);
  const std::int64_t length = file.Length();
  if (length < head.oldLength || length > head.newLength) {
    Refuse(target, "the file is " + std::to_string(length) + " bytes long, where the journal expects " +
                       std::to_string(head.oldLength) + " to " + std::to_string(head.newLength));
  }
  // Second pass: put the saved bytes back.
  std::vector<unsigned char> chunk(kChunk);
  ReadJournal(journal, target, [&](std::int64_t offset, std::int64_t at, std::int64_t bytes) {
    for (std::int64_t done = 0; done < bytes;) {
      const auto n = static_cast<std::size_t>(std::min<std::int64_t>(bytes - done, static_cast<std::int64_t>(kChunk)));
      journal.ReadAt(at + done, {chunk.data(), n});
      file.WriteAt(offset + done, {chunk.data(), n});
      done += static_cast<std::int64_t>(n);
    }
  });
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

#include "zuduradu/core/storage/file_system.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <random>
#include <string_view>
#include <system_error>

#include "zuduradu/core/error.h"
#include "zuduradu/core/storage/binary_file.h"
#include "zuduradu/core/storage/os.h"
#include "zuduradu/core/storage/side_file_name.h"

namespace kv {
namespace fs = std::filesystem;

fs::path PathFromUtf8(std::string_view text) { return fs::path(std::u8string(text.begin(), text.end())); }

bool FileExists(const fs::path& path) {
  if (path.empty()) return false;
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return false;
  try {
    BinaryFile probe(path, BinaryFile::Mode::Read);
    return true;
  } catch (const Error&) {
    return false;
  }
}

namespace {

[[noreturn]] void Fail(const std::string& what, int errorNumber) {
  throw Error(ErrorKind::Io, what + ": " + SystemReason(errorNumber));
}

}  // namespace

WalkedFile::WalkedFile(const fs::path& path) {
  os::WalkedPath walk = os::WalkPath(path);
  if (walk.link.empty()) {
    path_ = std::move(walk.file);
    folder_ = walk.folder;
    return;
  }
  const fs::path folder = walk.link.has_parent_path() ? walk.link.parent_path() : fs::path(".");
  const std::string why =
      walk.stickyFolder
          ? ", and the folder " + PathText(folder) + " is one everyone may write (sticky, like /tmp), where the system "
                                                     "follows a link only for its owner or the folder's"
          : ", and leads to " + PathText(walk.file) + ", which that user may not change: a link never lends anybody "
                                                      "your access";
  throw Error(ErrorKind::BadOutput, "Did not follow the link " + PathText(walk.link) + ": it belongs to " +
                                        walk.linkOwner + why + ". Nothing was changed; remove the link or choose "
                                        "another name");
}

WalkedFile::~WalkedFile() { os::ReleaseFolder(folder_); }

fs::path FollowLinks(const fs::path& path) { return WalkedFile(path).path(); }

std::optional<unsigned> PermissionsOf(const fs::path& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (ec || !fs::exists(status)) return std::nullopt;
  return static_cast<unsigned>(status.permissions() & fs::perms::mask);
}

void ReplaceFile(const fs::path& from, const fs::path& to) {
  const std::string what = "Could not replace " + PathText(to) + " with " + PathText(from);
  if (const int fault = InjectedFault(FileOperation::Replace, to)) Fail(what, fault);
  if (const std::string reason = os::MoveOver(from, to); !reason.empty()) throw Error(ErrorKind::Io, what + ": " + reason);
}

void SyncFolderOf(const fs::path& file) {
  fs::path folder = file.parent_path();
  if (folder.empty()) folder = ".";
  if (const int fault = InjectedFault(FileOperation::Sync, folder)) Fail("Could not sync the folder " + PathText(folder), fault);
  if (const int error = os::SyncFolder(folder)) Fail("Could not sync the folder " + PathText(folder), error);
}

void RemoveFile(const fs::path& path) {
  if (const int fault = InjectedFault(FileOperation::Remove, path)) Fail("Could not delete " + PathText(path), fault);
  std::error_code ec;
  if (fs::is_directory(fs::symlink_status(path, ec))) {
    throw Error(ErrorKind::Io, "Could not delete " + PathText(path) + ": it is a folder");
  }
  if (const int error = os::RemoveName(path); error != 0 && error != ENOENT) Fail("Could not delete " + PathText(path), error);
}

fs::path UniqueSibling(const fs::path& target, const std::string& suffix) {
  static std::atomic<std::uint64_t> counter{0};
  static const std::uint64_t seed = [] {
    std::random_device device;
    return (std::uint64_t{device()} << 32) ^ device() ^
           static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  }();
  // The process id keeps a forked child from repeating its parent's names.
  std::uint64_t x = (seed ^ (os::ProcessId() << 32)) + 0x9E3779B97F4A7C15ULL * ++counter;
  x ^= x >> 31;
  x *= 0xBF58476D1CE4E5B9ULL;
  x ^= x >> 29;
  char digits[9];
  std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(x & 0xFFFFFFFFu));
  return target.parent_path() / PathFromUtf8(SideFileName(PathText(target.filename()), suffix, 8) + digits);
}

namespace {

bool IsHex8(std::string_view s) {
  if (s.size() != 8) return false;
  for (const char c : s) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

}  // namespace

fs::path LockedSibling(const fs::path& target, const std::string& suffix) {
  return target.parent_path() / PathFromUtf8(SideFileName(PathText(target.filename()), suffix, 8) + "00000000");
}

fs::path FreeSibling(const fs::path& target, const std::string& suffix) {
  const fs::path locked = LockedSibling(target, suffix);
  std::error_code ec;
  return fs::exists(fs::symlink_status(locked, ec)) ? UniqueSibling(target, suffix) : locked;
}

void RemoveLeftovers(const fs::path& target, const std::string& suffix) {
  const fs::path locked = LockedSibling(target, suffix);
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(locked, ec))) return;
  if (os::OwnedByThisUser(locked) && os::RemoveName(locked) == 0) return;
  const std::string prefix = SideFileName(PathText(target.filename()), suffix, 8);
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = PathText(it->path().filename());
    if (name.size() != prefix.size() + 8 || name.compare(0, prefix.size(), prefix) != 0) continue;
    if (!IsHex8(std::string_view(name).substr(prefix.size()))) continue;
    // Removed through the held folder, where it was judged.
    const fs::path leftover = target.parent_path() / it->path().filename();
    if (os::OwnedByThisUser(leftover)) (void)os::RemoveName(leftover);
  }
}

}  // namespace kv

#include "zuduradu/core/storage/file_system.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <random>
#include <string_view>
#include <system_error>
#include <vector>

#include "zuduradu/core/error.h"
#include "zuduradu/core/storage/binary_file.h"
#include "zuduradu/core/storage/side_file_name.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// <windows.h> makes "ReplaceFile" a macro for its ReplaceFileW; the name here is kv::ReplaceFile.
#undef ReplaceFile
#else
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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

std::optional<FileIdentity> IdentityOf(const fs::path& path) {
#ifdef _WIN32
  const HANDLE h = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool ok = GetFileInformationByHandle(h, &info) != 0;
  CloseHandle(h);
  if (!ok) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
#else
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
#endif
}

fs::path FollowLinks(const fs::path& path) {
  fs::path current = path;
  // A cycle of links ends the walk; the open that follows then reports it.
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code ec;
    if (!fs::is_symlink(current, ec)) return current;
    const fs::path target = fs::read_symlink(current, ec);
    if (ec) return current;
    current = target.is_absolute() ? target : current.parent_path() / target;
  }
  return current;
}

std::optional<unsigned> PermissionsOf(const fs::path& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (ec || !fs::exists(status)) return std::nullopt;
  return static_cast<unsigned>(status.permissions() & fs::perms::mask);
}

void ReplaceFile(const fs::path& from, const fs::path& to) {
  const std::string what = "Could not replace " + PathText(to) + " with " + PathText(from);
  if (const int fault = InjectedFault(FileOperation::Replace, to)) Fail(what, fault);
#ifdef _WIN32
  if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    throw Error(ErrorKind::Io, what + ": " + std::system_category().message(static_cast<int>(GetLastError())));
  }
#else
  if (std::rename(from.c_str(), to.c_str()) != 0) Fail(what, errno);
#endif
}

void SyncFolderOf(const fs::path& file) {
  fs::path folder = file.parent_path();
  if (folder.empty()) folder = ".";
  if (const int fault = InjectedFault(FileOperation::Sync, folder)) Fail("Could not sync the folder " + PathText(folder), fault);
#ifdef _WIN32
  // Renames are written through (MOVEFILE_WRITE_THROUGH) and a folder cannot be
  // opened for flushing there; nothing more to do.
#else
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) Fail("Could not sync the folder " + PathText(folder), errno);
  const int rc = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  // Some file systems cannot sync a folder at all; that is no failure of ours.
  if (rc != 0 && error != EINVAL && error != ENOTSUP) Fail("Could not sync the folder " + PathText(folder), error);
#endif
}

void RemoveFile(const fs::path& path) {
  if (const int fault = InjectedFault(FileOperation::Remove, path)) Fail("Could not delete " + PathText(path), fault);
  std::error_code ec;
  if (fs::is_directory(fs::symlink_status(path, ec))) {
    throw Error(ErrorKind::Io, "Could not delete " + PathText(path) + ": it is a folder");
  }
  fs::remove(path, ec);
  if (ec) Fail("Could not delete " + PathText(path), ec.value());
}

fs::path UniqueSibling(const fs::path& target, const std::string& suffix) {
  static std::atomic<std::uint64_t> counter{0};
  static const std::uint64_t seed = [] {
    std::random_device device;
    return (std::uint64_t{device()} << 32) ^ device() ^
           static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  }();
  // The process id keeps a forked child from repeating its parent's names.
#ifdef _WIN32
  const auto process = static_cast<std::uint64_t>(GetCurrentProcessId());
#else
  const auto process = static_cast<std::uint64_t>(::getpid());
#endif
  std::uint64_t x = (seed ^ (process << 32)) + 0x9E3779B97F4A7C15ULL * ++counter;
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

bool OwnedByThisUser(const fs::path& path) {
#ifdef _WIN32
  (void)path;
  return true;  // Windows keeps ownership in ACLs; the folder's own rights decide there.
#else
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
#endif
}

}  // namespace

void RemoveLeftovers(const fs::path& target, const std::string& suffix) {
  const std::string prefix = SideFileName(PathText(target.filename()), suffix, 8);
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = PathText(it->path().filename());
    if (name.size() != prefix.size() + 8 || name.compare(0, prefix.size(), prefix) != 0) continue;
    if (!IsHex8(std::string_view(name).substr(prefix.size()))) continue;
    std::error_code statusError;
    if (!it->is_regular_file(statusError) || it->is_symlink(statusError)) continue;
    if (!OwnedByThisUser(it->path())) continue;
    std::error_code ignored;
    fs::remove(it->path(), ignored);
  }
}

std::uint32_t CurrentUser() {
#ifdef _WIN32
  return 0;
#else
  return static_cast<std::uint32_t>(::geteuid());
#endif
}

std::string UserText(std::uint32_t user) {
  const std::string id = "user id " + std::to_string(user);
#ifndef _WIN32
  std::vector<char> buffer(16384);
  passwd entry {};
  passwd* found = nullptr;
  if (::getpwuid_r(static_cast<uid_t>(user), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_name && *found->pw_name) {
    return std::string(found->pw_name) + " (" + id + ")";
  }
#endif
  return id;
}

void KeepOwnerOf(const fs::path& model, const fs::path& file) {
#ifdef _WIN32
  (void)model;
  (void)file;
#else
  struct stat st {};
  if (::stat(model.c_str(), &st) != 0) return;
  // Only root may give a file away; anybody may give it a group of theirs.
  if (::lchown(file.c_str(), st.st_uid, st.st_gid) == 0) return;
  if (::lchown(file.c_str(), static_cast<uid_t>(-1), st.st_gid) != 0) return;  // the folder's group stays
#endif
}

}  // namespace kv

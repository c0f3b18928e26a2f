// The POSIX side of os.h.
#include "zuduradu/core/storage/os.h"

#include <fcntl.h>
#include <csignal>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <cstdio>
#include <vector>

#include "zuduradu/core/error.h"

namespace kv {
namespace fs = std::filesystem;

std::optional<FileIdentity> IdentityOf(const fs::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

namespace os {

std::string ErrorWords(int errorNumber) { return std::generic_category().message(errorNumber); }

void ReportFileSizeLimitAsError() { std::signal(SIGXFSZ, SIG_IGN); }

// A POSIX program always has the standard streams its parent gave it.
void UseParentConsole() {}

void MarkRunning() {}

int OpenStreamForWriting(const fs::path& path, int& error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    error = errno;
    return -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !(S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode))) {
    ::close(fd);
    error = ENODEV;
    return -1;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

std::int64_t WriteToStream(int stream, const char* data, std::size_t n) {
  return ::write(stream, data, std::min<std::size_t>(n, std::size_t{1} << 30));
}

void CloseStream(int stream) { ::close(stream); }

std::uint64_t ProcessId() { return static_cast<std::uint64_t>(::getpid()); }

fs::path ProgramFile() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : self;
}

std::uint32_t CurrentUser() { return static_cast<std::uint32_t>(::geteuid()); }

std::string UserText(std::uint32_t user) {
  const std::string id = "user id " + std::to_string(user);
  std::vector<char> buffer(16384);
  struct passwd entry {};
  struct passwd* found = nullptr;
  if (::getpwuid_r(static_cast<uid_t>(user), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_name && *found->pw_name) {
    return std::string(found->pw_name) + " (" + id + ")";
  }
  return id;
}

void KeepOwner(const fs::path& model, const fs::path& file) {
  struct stat st {};
  if (::stat(model.c_str(), &st) != 0) return;
  if (::lchown(file.c_str(), st.st_uid, st.st_gid) == 0) return;
  if (::lchown(file.c_str(), static_cast<uid_t>(-1), st.st_gid) != 0) return;  // the folder's group stays
}

int OwnershipOf(std::FILE* file, Ownership& ownership) {
  struct stat st {};
  if (::fstat(::fileno(file), &st) != 0) return errno;
  ownership = {static_cast<std::uint32_t>(st.st_uid), (st.st_mode & (S_IWGRP | S_IWOTH)) != 0,
               static_cast<std::uint64_t>(st.st_nlink)};
  return 0;
}

std::FILE* OpenFile(const fs::path& path, OpenMode mode, std::optional<unsigned> permissions, int& error) {
  int flags = O_CLOEXEC | O_NONBLOCK;
  const char* m = "r+b";
  switch (mode) {
    case OpenMode::Read: flags |= O_RDONLY; m = "rb"; break;
    case OpenMode::Update: flags |= O_RDWR; break;
    case OpenMode::CreateEmpty: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case OpenMode::CreateExclusive: flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW; break;
  }
  const int fd = ::open(path.c_str(), flags, static_cast<mode_t>(permissions.value_or(0666)));
  if (fd < 0) {
    error = errno;
    return nullptr;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    error = EINVAL;
    return nullptr;
  }
  // The creation mode passed the umask; a replacement must carry the old bits exactly.
  if (permissions && (mode == OpenMode::CreateExclusive || mode == OpenMode::CreateEmpty)) {
    (void)::fchmod(fd, static_cast<mode_t>(*permissions));
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::FILE* f = ::fdopen(fd, m);
  if (!f) {
    error = errno;
    ::close(fd);
  }
  return f;
}

std::FILE* OpenForReading(const fs::path& path) { return std::fopen(path.c_str(), "rb"); }

// POSIX streams have no text mode: the bytes already come as they are.
bool SetStdinBinary() { return true; }

int Seek(std::FILE* file, std::int64_t offset, int whence) { return fseeko(file, static_cast<off_t>(offset), whence); }

std::int64_t Tell(std::FILE* file) { return static_cast<std::int64_t>(ftello(file)); }

int SyncFile(std::FILE* file) {
  errno = 0;
  return ::fsync(::fileno(file)) == 0 ? 0 : errno;
}

void StartWriteBack(std::FILE* file, std::int64_t offset, std::int64_t length) {
#if defined(__linux__)
  if (std::fflush(file) != 0) return;  // the next flush or close reports it
  (void)::sync_file_range(::fileno(file), offset, length, SYNC_FILE_RANGE_WRITE);
#else
  (void)file;
  (void)offset;
  (void)length;
#endif
}

int Truncate(std::FILE* file, std::int64_t length) {
  errno = 0;
  return ::ftruncate(::fileno(file), static_cast<off_t>(length)) == 0 ? 0 : errno;
}

std::string MoveOver(const fs::path& from, const fs::path& to) {
  if (std::rename(from.c_str(), to.c_str()) == 0) return {};
  return SystemReason(errno);
}

int SyncFolder(const fs::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int rc = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  return rc == 0 || error == EINVAL || error == ENOTSUP ? 0 : error;
}

bool OwnedByThisUser(const fs::path& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
}

std::optional<std::string> OtherUsersFile(const fs::path& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || st.st_uid == ::geteuid()) return std::nullopt;
  return UserText(st.st_uid);
}

std::optional<std::string> ForbiddenLinkOwner(const fs::path& path) {
  struct stat link {};
  struct stat folder {};
  const fs::path parent = path.has_parent_path() ? path.parent_path() : fs::path(".");
  if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode) || ::stat(parent.c_str(), &folder) != 0) {
    return std::nullopt;
  }
  const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
  if (!shared || link.st_uid == ::geteuid() || link.st_uid == folder.st_uid) return std::nullopt;
  return UserText(link.st_uid);
}

bool FileNamesIgnoreCase() { return false; }

LockFileOpen OpenLockFile(const fs::path& path) {
  LockFileOpen result;
  // An existing file is opened without O_CREAT: in a sticky folder the system
  // may refuse O_CREAT on another user's file even where reading it is allowed.
  constexpr int kFlags = O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
  int fd = ::open(path.c_str(), kFlags);
  if (fd < 0 && errno == ENOENT) fd = ::open(path.c_str(), kFlags | O_CREAT, 0666);
  if (fd < 0) {
    const int error = errno;
    result.denied = error == EACCES || error == EROFS || error == EPERM;
    result.problem = error == ELOOP ? std::string("a link stands at that name") : SystemReason(error);
    return result;
  }
  struct stat held {};
  if (::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode)) {
    ::close(fd);
    result.notRegular = true;
    return result;
  }
  result.handle = fd;
  return result;
}

bool TryLock(Handle handle, bool exclusive) {
  return ::flock(static_cast<int>(handle), (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0;
}

bool StillNamed(Handle handle, const fs::path& path) {
  struct stat held {};
  struct stat named {};
  return ::fstat(static_cast<int>(handle), &held) == 0 && ::lstat(path.c_str(), &named) == 0 &&
         named.st_dev == held.st_dev && named.st_ino == held.st_ino;
}

Handle OpenToLock(const fs::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return kNoHandle;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return kNoHandle;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return kNoHandle;
  }
  return fd;
}

std::optional<FileIdentity> IdentityOfOpen(Handle handle) {
  struct stat st {};
  if (::fstat(static_cast<int>(handle), &st) != 0) return std::nullopt;
  return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

void CloseLock(Handle handle) { ::close(static_cast<int>(handle)); }

void ReleaseLockFile(Handle handle, const fs::path& path, bool exclusive) {
  // Remove the name only while nobody else holds or waits on the lock: an
  // exclusive lock proves that. A reader tries to upgrade without waiting.
  if (exclusive || ::flock(static_cast<int>(handle), LOCK_EX | LOCK_NB) == 0) (void)::unlink(path.c_str());
  ::close(static_cast<int>(handle));
}

}  // namespace os
}  // namespace kv

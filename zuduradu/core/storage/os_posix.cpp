// The POSIX side of os.h.
#include "zuduradu/core/storage/os.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pthread.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#if defined(__linux__)
#include <sys/vfs.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <system_error>
#include <vector>

#include "zuduradu/core/error.h"
#include "zuduradu/core/storage/os_posix_held.h"

namespace kv {
namespace fs = std::filesystem;

namespace {

using posix::Held;
using posix::HeldFolders;

// Where a name lies: its folder's handle when that folder is held, else the
// path as it is (AT_FDCWD). `held` makes the callers refuse to follow a link there.
struct At {
  int folder = AT_FDCWD;
  std::string name;
  bool held = false;
};

At Place(const fs::path& path) {
  if (path.has_filename()) {
    HeldFolders& h = Held();
    const std::lock_guard lock(h.mutex);
    if (const auto it = h.byPath.find(path.parent_path().native()); it != h.byPath.end()) {
      return {it->second.first, path.filename().native(), true};
    }
  }
  return {AT_FDCWD, path.native(), false};
}

int StatAt(const At& at, struct stat& st, bool follow) {
  return ::fstatat(at.folder, at.name.c_str(), &st, follow ? 0 : AT_SYMLINK_NOFOLLOW);
}

// A name in a held folder is not followed when it is a link by now, except to
// read it (`follow`): reading through a link lends nobody anything.
int OpenAt(const At& at, int flags, mode_t mode = 0, bool follow = false) {
  return ::openat(at.folder, at.name.c_str(), flags | (at.held && !follow ? O_NOFOLLOW : 0), mode);
}

}  // namespace

std::optional<FileIdentity> IdentityOf(const fs::path& path) {
  struct stat st {};
  if (StatAt(Place(path), st, true) != 0) return std::nullopt;
  return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

namespace os {

std::string ErrorWords(int errorNumber) { return std::generic_category().message(errorNumber); }

void ReportFileSizeLimitAsError() { std::signal(SIGXFSZ, SIG_IGN); }

// A POSIX program always has the standard streams its parent gave it.
void UseParentConsole() {}

void MarkRunning() {}

namespace {

// Whether a FIFO or device of another user (not root) lies in a folder others
// may write: there anybody could have put it to catch what is written.
bool PlantedStream(const At& at, const struct stat& st) {
  if (st.st_uid == ::geteuid() || st.st_uid == 0) return false;
  struct stat folder {};
  const int rc = at.folder == AT_FDCWD
                     ? ::stat(fs::path(at.name).has_parent_path() ? fs::path(at.name).parent_path().c_str() : ".", &folder)
                     : ::fstat(at.folder, &folder);
  return rc != 0 || (folder.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

}  // namespace

int OpenStreamForWriting(const fs::path& path, int& error) {
  const At at = Place(path);
  struct stat st {};
  // Judged before the open too: a planted FIFO without a reader is not waited for.
  if (StatAt(at, st, true) == 0 && (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)) && PlantedStream(at, st)) {
    error = EPERM;
    return -1;
  }
  const int fd = OpenAt(at, O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    error = errno;
    return -1;
  }
  if (::fstat(fd, &st) != 0 || !(S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode))) {
    ::close(fd);
    error = ENODEV;
    return -1;
  }
  if (PlantedStream(at, st)) {
    ::close(fd);
    error = EPERM;
    return -1;
  }
  return fd;  // left non-blocking: a reader that stops reading is waited for only as long as the caller says
}

std::int64_t WriteToStream(int stream, const char* data, std::size_t n, int waitMs) {
  pollfd ready{stream, POLLOUT, 0};
  const int polled = ::poll(&ready, 1, waitMs);
  if (polled <= 0) return polled;
  // A reader that left gives EPIPE here, not a SIGPIPE that would end the
  // program without a word: the signal is held back for this thread during the
  // write and, when the write raised it, taken off again.
  sigset_t pipe;
  sigset_t before;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  sigset_t pending;
  sigpending(&pending);
  const bool wasPending = sigismember(&pending, SIGPIPE) == 1;
  pthread_sigmask(SIG_BLOCK, &pipe, &before);
  const ssize_t written = ::write(stream, data, std::min<std::size_t>(n, std::size_t{1} << 30));
  const int error = errno;
  if (written < 0 && error == EPIPE && !wasPending) {
    const timespec none{0, 0};
    while (sigtimedwait(&pipe, nullptr, &none) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  errno = error == EAGAIN || error == EWOULDBLOCK ? EINTR : error;  // room went to another writer: try again
  return written;
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
  if (StatAt(Place(model), st, true) != 0) return;
  const At at = Place(file);
  if (::fchownat(at.folder, at.name.c_str(), st.st_uid, st.st_gid, AT_SYMLINK_NOFOLLOW) == 0) return;
  if (::fchownat(at.folder, at.name.c_str(), static_cast<uid_t>(-1), st.st_gid, AT_SYMLINK_NOFOLLOW) != 0) return;  // the folder's group stays
}

int OwnershipOf(std::FILE* file, Ownership& ownership) {
  struct stat st {};
  if (::fstat(::fileno(file), &st) != 0) return errno;
  ownership = {static_cast<std::uint32_t>(st.st_uid), (st.st_mode & (S_IWGRP | S_IWOTH)) != 0,
               static_cast<std::uint64_t>(st.st_nlink),
               FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)}};
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
  const int fd = OpenAt(Place(path), flags, static_cast<mode_t>(permissions.value_or(0666)), mode == OpenMode::Read);
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
  const At a = Place(from);
  const At b = Place(to);
  if (::renameat(a.folder, a.name.c_str(), b.folder, b.name.c_str()) == 0) return {};
  return SystemReason(errno);
}

int RemoveName(const fs::path& path) {
  const At at = Place(path);
  return ::unlinkat(at.folder, at.name.c_str(), 0) == 0 ? 0 : errno;
}

int SyncFolder(const fs::path& folder) {
  int fd = -1;
  {
    HeldFolders& h = Held();
    const std::lock_guard lock(h.mutex);
    if (const auto it = h.byPath.find(folder.native()); it != h.byPath.end()) {
      fd = ::openat(it->second.first, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
  }
  if (fd < 0) fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int rc = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  return rc == 0 || error == EINVAL || error == ENOTSUP ? 0 : error;
}

bool OwnedByThisUser(const fs::path& path) {
  struct stat st {};
  return StatAt(Place(path), st, false) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
}

std::optional<std::string> OtherUsersFile(const fs::path& path) {
  struct stat st {};
  if (StatAt(Place(path), st, false) != 0 || st.st_uid == ::geteuid()) return std::nullopt;
  return UserText(st.st_uid);
}

bool FileNamesIgnoreCase() { return false; }

LockFileOpen OpenLockFile(const fs::path& path) {
  LockFileOpen result;
  // An existing file is opened without O_CREAT: in a sticky folder the system
  // may refuse O_CREAT on another user's file even where reading it is allowed.
  constexpr int kFlags = O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
  const At at = Place(path);
  int fd = OpenAt(at, kFlags);
  if (fd < 0 && errno == ENOENT) fd = OpenAt(at, kFlags | O_CREAT, 0666);
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
  return ::fstat(static_cast<int>(handle), &held) == 0 && StatAt(Place(path), named, false) == 0 &&
         named.st_dev == held.st_dev && named.st_ino == held.st_ino;
}

Handle OpenToLock(const fs::path& path) {
  struct stat st {};
  const At at = Place(path);
  if (StatAt(at, st, true) != 0 || !S_ISREG(st.st_mode)) return kNoHandle;
  const int fd = OpenAt(at, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
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
  if (exclusive || ::flock(static_cast<int>(handle), LOCK_EX | LOCK_NB) == 0) (void)RemoveName(path);
  ::close(static_cast<int>(handle));
}

std::string LockHolders(Handle handle) {
  struct stat st {};
  if (::fstat(static_cast<int>(handle), &st) != 0) return {};
  char device[64];
  std::snprintf(device, sizeof device, "%02x:%02x:%llu", major(st.st_dev), minor(st.st_dev),
                static_cast<unsigned long long>(st.st_ino));
  std::ifstream locks("/proc/locks");
  std::string line;
  std::string holders;
  while (std::getline(locks, line)) {
    // "1: FLOCK  ADVISORY  WRITE 4711 08:02:1234 0 EOF"; a waiter's line has "->".
    std::istringstream fields(line);
    std::string number, kind, mode, access, pid, file;
    if (!(fields >> number >> kind >> mode >> access >> pid >> file) || number == "->" || file != device) continue;
    if (pid == std::to_string(::getpid())) continue;
    std::string command;
    std::getline(std::ifstream("/proc/" + pid + "/comm"), command);
    struct stat process {};
    const std::string who =
        ::stat(("/proc/" + pid).c_str(), &process) == 0 ? " of " + UserText(static_cast<std::uint32_t>(process.st_uid)) : "";
    const std::string text = "process " + pid + (command.empty() ? "" : " (" + command + ")") + who;
    if (holders.find(text) == std::string::npos) holders += (holders.empty() ? "" : ", ") + text;
  }
  return holders;
}

}  // namespace os
}  // namespace kv

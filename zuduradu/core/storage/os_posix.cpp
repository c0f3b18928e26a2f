// The POSIX side of os.h.
#include "zuduradu/core/storage/os.h"

#include <fcntl.h>
#include <csignal>
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
#include <ctime>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <system_error>
#include <cstdio>
#include <vector>

#include "zuduradu/core/error.h"

namespace kv {
namespace fs = std::filesystem;

namespace {

// Folders a walk holds open (os::WalkPath), by their path as the walk gave it:
// a name in one of them is reached through the handle, not by its path again.
struct HeldFolders {
  std::mutex mutex;
  std::map<std::string, std::pair<int, int>> byPath;  // path -> (descriptor, holders)
};

HeldFolders& Held() {
  static HeldFolders held;
  return held;
}

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

namespace {

#if defined(O_PATH)
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#else
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#endif

bool InGroup(uid_t user, gid_t group) {
  std::vector<char> buffer(16384);
  struct passwd entry {};
  struct passwd* found = nullptr;
  if (::getpwuid_r(user, &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return false;
  if (found->pw_gid == group) return true;
  int count = 64;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  if (::getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0) {
    groups.resize(static_cast<std::size_t>(count));
    if (::getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0) return false;
  }
  return std::find(groups.begin(), groups.begin() + count, group) != groups.begin() + count;
}

// Whether `user` may change what `st` describes themselves.
bool MayChange(uid_t user, const struct stat& st) {
  return st.st_uid == user || (st.st_mode & S_IWOTH) != 0 || ((st.st_mode & S_IWGRP) != 0 && InGroup(user, st.st_gid));
}

// Why the link `name` in `folder` is not to be followed (its owner and the
// rule), or nothing when it is.
std::optional<bool> RefusedLink(int folder, const std::string& name, const struct stat& link) {
  struct stat dir {};
  if (::fstat(folder, &dir) != 0) return true;
  const uid_t me = ::geteuid();
  if ((dir.st_mode & S_ISVTX) && (dir.st_mode & S_IWOTH) && link.st_uid != me && link.st_uid != dir.st_uid) return true;
  if (link.st_uid == me || link.st_uid == 0) return std::nullopt;
  struct stat target {};
  // A link of another user to nothing would have this user create a file where that user chose.
  if (::fstatat(folder, name.c_str(), &target, 0) != 0 || !MayChange(link.st_uid, target)) return false;
  return std::nullopt;
}

// The links of /proc (/dev/stdout leads there) name open files, pipes among
// them, that only the system itself can follow; and they are this process's own.
bool OnProc(int folder) {
#if defined(__linux__)
  struct statfs system {};
  return ::fstatfs(folder, &system) == 0 && system.f_type == 0x9fa0;  // PROC_SUPER_MAGIC
#else
  (void)folder;
  return false;
#endif
}

}  // namespace

WalkedPath WalkPath(const fs::path& path) {
  WalkedPath walk;
  std::vector<std::string> left;  // the components still to walk, the next one last
  const auto push = [&left](const fs::path& p) {
    std::vector<std::string> parts;
    for (const fs::path& c : p.relative_path()) {
      if (!c.empty()) parts.push_back(c.native());
    }
    left.insert(left.end(), parts.rbegin(), parts.rend());
  };
  fs::path at = path.is_absolute() ? fs::path("/") : fs::path();
  int fd = ::open(path.is_absolute() ? "/" : ".", kFolderFlags);
  push(path);
  // What the walk could not go through is left to the open that follows, which reports it.
  const auto rest = [&] {
    fs::path p = at;
    for (auto it = left.rbegin(); it != left.rend(); ++it) p /= *it;
    return p;
  };
  int hops = 0;
  while (fd >= 0 && !left.empty()) {
    const std::string c = left.back();
    if (c == ".") {
      left.pop_back();
      continue;
    }
    if (c == "..") {
      const int up = ::openat(fd, "..", kFolderFlags);
      if (up < 0) break;
      ::close(fd);
      fd = up;
      at = at.empty() || at.filename() == ".." ? at / ".." : at.parent_path();
      left.pop_back();
      continue;
    }
    struct stat st {};
    if (::fstatat(fd, c.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT && left.size() == 1) walk.file = at / c;  // a new file: its folder is held all the same
      break;
    }
    if (S_ISLNK(st.st_mode)) {
      if (++hops > 40 || OnProc(fd)) break;
      if (const auto sticky = RefusedLink(fd, c, st)) {
        walk.link = at / c;
        walk.linkOwner = UserText(st.st_uid);
        walk.stickyFolder = *sticky;
        walk.file = rest();
        ::close(fd);
        return walk;
      }
      std::vector<char> target(4096);
      const ssize_t n = ::readlinkat(fd, c.c_str(), target.data(), target.size());
      struct stat again {};
      if (n <= 0 || static_cast<std::size_t>(n) >= target.size() ||
          ::fstatat(fd, c.c_str(), &again, AT_SYMLINK_NOFOLLOW) != 0 || again.st_ino != st.st_ino ||
          again.st_dev != st.st_dev) {
        continue;  // swapped while it was judged: judge what stands there now (counted as a hop)
      }
      left.pop_back();
      const fs::path to(std::string(target.data(), static_cast<std::size_t>(n)));
      push(to);
      if (to.is_absolute()) {
        ::close(fd);
        fd = ::open("/", kFolderFlags);
        at = "/";
      }
      continue;
    }
    if (left.size() == 1) {
      walk.file = at / c;
      break;
    }
    if (!S_ISDIR(st.st_mode)) break;
    const int next = ::openat(fd, c.c_str(), kFolderFlags);
    if (next < 0) break;
    struct stat opened {};
    if (::fstat(next, &opened) != 0 || opened.st_ino != st.st_ino || opened.st_dev != st.st_dev) {
      ::close(next);
      if (++hops > 40) break;
      continue;  // swapped between the look and the open: look again
    }
    ::close(fd);
    fd = next;
    at /= c;
    left.pop_back();
  }
  if (walk.file.empty() || left.size() != 1) {
    walk.file = rest();
    if (fd >= 0) ::close(fd);
    return walk;
  }
  HeldFolders& h = Held();
  const std::lock_guard lock(h.mutex);
  auto [it, added] = h.byPath.try_emplace(walk.file.parent_path().native(), fd, 0);
  if (!added) ::close(fd);
  ++it->second.second;
  walk.folder = it->second.first;
  return walk;
}

void ReleaseFolder(Handle folder) {
  if (folder == kNoHandle) return;
  HeldFolders& h = Held();
  const std::lock_guard lock(h.mutex);
  for (auto it = h.byPath.begin(); it != h.byPath.end(); ++it) {
    if (it->second.first != static_cast<int>(folder)) continue;
    if (--it->second.second == 0) {
      ::close(it->second.first);
      h.byPath.erase(it);
    }
    return;
  }
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

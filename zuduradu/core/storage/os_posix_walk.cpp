// The POSIX side of os.h: walking a path one component at a time from a
// folder handle, each link judged on its own entry, and the folders it reaches
// held while the walked path is in use.
#include "zuduradu/core/storage/os.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#if defined(__linux__)
#include <sys/vfs.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include "zuduradu/core/error.h"
#include "zuduradu/core/storage/os_posix_held.h"

namespace kv {
namespace fs = std::filesystem;
namespace os {

using posix::Held;
using posix::HeldFolders;

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

}  // namespace os
}  // namespace kv

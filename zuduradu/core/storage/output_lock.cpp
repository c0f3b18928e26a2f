#include "zuduradu/core/storage/output_lock.h"

#include <cerrno>
#include <string>
#include <thread>

#include "zuduradu/core/error.h"
#include "zuduradu/core/storage/file_system.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kv {
namespace fs = std::filesystem;

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(100);

// Polls `tryLock` until it succeeds, reporting the wait and honouring the limit.
template <typename TryLock>
void WaitFor(const fs::path& target, const LockWait& wait, TryLock&& tryLock) {
  const auto deadline = std::chrono::steady_clock::now() + wait.limit;
  auto nextReport = std::chrono::steady_clock::now();
  while (!tryLock()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      const auto ms = wait.limit.count();
      throw Error(ErrorKind::Busy, "Another run is still working on " + PathText(target) + "; gave up after waiting " +
                                       (ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms"));
    }
    if (wait.waiting && now >= nextReport) {
      if (!wait.waiting()) throw Error(ErrorKind::Cancelled, "The conversion was cancelled");
      nextReport = now + kPollInterval;
    }
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kPollInterval, deadline - now));
  }
}

}  // namespace

fs::path OutputLock::LockPath(const fs::path& target) {
  fs::path p = target;
  p += ".kvcvrt-lock";
  return p;
}

#ifdef _WIN32

// Every holder opens the lock file to be deleted when the last handle to it
// closes: a waiter keeps it alive, and no lock file stays after the last run.
// While the last holder's close deletes it, opening the name is refused for a
// moment; that is waited out like a held lock.
OutputLock::OutputLock(const fs::path& target, LockKind kind, const LockWait& wait)
    : path_(LockPath(target)), kind_(kind) {
  HANDLE h = INVALID_HANDLE_VALUE;
  DWORD error = 0;
  auto open = [&] {
    h = CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    error = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    // Refused while a name that exists is being deleted: try again.
    return h != INVALID_HANDLE_VALUE ||
           !(error == ERROR_ACCESS_DENIED && GetFileAttributesW(path_.c_str()) != INVALID_FILE_ATTRIBUTES);
  };
  WaitFor(target, wait, open);
  if (h == INVALID_HANDLE_VALUE) {
    if (kind == LockKind::Shared && error == ERROR_ACCESS_DENIED) return;
    throw Error(ErrorKind::Io, "Could not lock " + PathText(target) + " through " + PathText(path_) + ": " +
                                   std::system_category().message(static_cast<int>(error)));
  }
  const DWORD attributes = GetFileAttributesW(path_.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    CloseHandle(h);
    throw Error(ErrorKind::Io, "Could not lock " + PathText(target) + " through " + PathText(path_) +
                                   ": a link stands at that name");
  }
  handle_ = h;
  const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (kind == LockKind::Exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
  try {
    WaitFor(target, wait, [&] {
      OVERLAPPED whole{};
      return LockFileEx(h, flags, 0, MAXDWORD, MAXDWORD, &whole) != 0;
    });
  } catch (...) {
    CloseHandle(h);
    handle_ = nullptr;
    throw;
  }
}

void OutputLock::Release() noexcept {
  if (!handle_) return;
  CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
}

#else

OutputLock::OutputLock(const fs::path& target, LockKind kind, const LockWait& wait)
    : path_(LockPath(target)), kind_(kind) {
  const int operation = kind == LockKind::Exclusive ? LOCK_EX : LOCK_SH;
  for (;;) {
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) {
      const int error = errno;
      if (kind == LockKind::Shared && (error == EACCES || error == EROFS || error == EPERM)) return;
      throw Error(ErrorKind::Io, "Could not lock " + PathText(target) + " through " + PathText(path_) + ": " +
                                     (error == ELOOP ? std::string("a link stands at that name") : SystemReason(error)));
    }
    struct stat held {};
    if (::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode)) {
      ::close(fd);
      throw Error(ErrorKind::Io, "Could not lock " + PathText(target) + ": " + PathText(path_) + " is not a regular file");
    }
    try {
      WaitFor(target, wait, [&] { return ::flock(fd, operation | LOCK_NB) == 0; });
    } catch (...) {
      ::close(fd);
      throw;
    }
    // The previous holder may have removed the name after we opened it; then
    // the lock we hold guards nothing and the name must be locked afresh.
    struct stat named {};
    if (::lstat(path_.c_str(), &named) == 0 && named.st_dev == held.st_dev && named.st_ino == held.st_ino) {
      fd_ = fd;
      return;
    }
    ::close(fd);
  }
}

void OutputLock::Release() noexcept {
  if (fd_ < 0) return;
  // Remove the name only while nobody else holds or waits on the lock: an
  // exclusive lock proves that. A reader tries to upgrade without waiting.
  if (kind_ == LockKind::Exclusive || ::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
    (void)::unlink(path_.c_str());
  }
  ::close(fd_);
  fd_ = -1;
}

#endif

OutputLock::~OutputLock() { Release(); }

}  // namespace kv

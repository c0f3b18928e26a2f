// The Windows side of os.h.
#include "zuduradu/core/storage/os.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <system_error>
#include <windows.h>

namespace kv {
namespace fs = std::filesystem;

std::optional<FileIdentity> IdentityOf(const fs::path& path) {
  const HANDLE h = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool ok = GetFileInformationByHandle(h, &info) != 0;
  CloseHandle(h);
  if (!ok) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

namespace os {

namespace {

// The system's message for a Windows error code, as UTF-8, without its line end and full stop.
std::string SystemMessage(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (length == 0 || text == nullptr) return "system error " + std::to_string(code);
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  std::string words(static_cast<std::size_t>(std::max(bytes, 0)), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), words.data(), bytes, nullptr, nullptr);
  LocalFree(text);
  while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == ' ' || words.back() == '.')) {
    words.pop_back();
  }
  return words;
}

}  // namespace

std::string ErrorWords(int errorNumber) {
  // The system error each C library number stands for, where there is one.
  static const struct { int number; DWORD code; } kCodes[] = {
      {ENOENT, ERROR_FILE_NOT_FOUND},   {EACCES, ERROR_ACCESS_DENIED},   {EEXIST, ERROR_FILE_EXISTS},
      {ENOSPC, ERROR_DISK_FULL},        {EMFILE, ERROR_TOO_MANY_OPEN_FILES}, {EROFS, ERROR_WRITE_PROTECT},
      {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE}, {EBUSY, ERROR_BUSY},   {EFBIG, ERROR_FILE_TOO_LARGE},
      {EIO, ERROR_IO_DEVICE},           {ENOTEMPTY, ERROR_DIR_NOT_EMPTY}, {EXDEV, ERROR_NOT_SAME_DEVICE},
  };
  for (const auto& [number, code] : kCodes) {
    if (number == errorNumber) return SystemMessage(code);
  }
  return std::generic_category().message(errorNumber);
}

// Windows has no such signal: a write past a limit fails as any write does.
void ReportFileSizeLimitAsError() {}

void MarkRunning() {
  // Kept open for the whole process; the system closes it when the process ends.
  static const HANDLE mark = CreateMutexA(nullptr, FALSE, kRunningMark);
  (void)mark;
}

void UseParentConsole() {
  const auto connected = [](DWORD which) {
    const HANDLE h = GetStdHandle(which);
    return h != nullptr && h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_UNKNOWN;
  };
  if (connected(STD_OUTPUT_HANDLE) || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
  // The C streams were set up without a console: they are opened anew on it.
  (void)std::freopen("CONOUT$", "w", stdout);
  if (!connected(STD_ERROR_HANDLE)) (void)std::freopen("CONOUT$", "w", stderr);
}

// Windows has no FIFOs that a path names; a device (NUL, CON) opens at once.
int OpenStreamForWriting(const fs::path& path, int& error) {
  int fd = -1;
  error = _wsopen_s(&fd, path.c_str(), _O_WRONLY | _O_BINARY | _O_NOINHERIT, _SH_DENYNO, _S_IWRITE);
  return error == 0 ? fd : -1;
}

// A device takes what it is given at once; there is no reader to wait for.
std::int64_t WriteToStream(int stream, const char* data, std::size_t n, int) {
  return _write(stream, data, static_cast<unsigned>(std::min<std::size_t>(n, std::size_t{1} << 30)));
}

void CloseStream(int stream) { _close(stream); }

std::uint64_t ProcessId() { return static_cast<std::uint64_t>(GetCurrentProcessId()); }

fs::path ProgramFile() {
  // A name cut short by the buffer fills it: try again with a longer one.
  for (std::size_t size = MAX_PATH; size <= 65536; size *= 2) {
    std::wstring name(size, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(size));
    if (n == 0) return {};
    if (n < size) return fs::path(name.substr(0, n));
  }
  return {};
}

std::uint32_t CurrentUser() { return 0; }

std::string UserText(std::uint32_t user) { return "user id " + std::to_string(user); }

void KeepOwner(const fs::path&, const fs::path&) {}

int OwnershipOf(std::FILE*, Ownership& ownership) {
  ownership = {};
  return 0;
}
namespace {

std::string LastErrorText() { return SystemMessage(GetLastError()); }

HANDLE AsHandle(Handle handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

std::FILE* OpenFile(const fs::path& path, OpenMode mode, std::optional<unsigned> permissions, int& error) {
  int flags = _O_BINARY | _O_NOINHERIT;
  const wchar_t* m = L"r+b";
  switch (mode) {
    case OpenMode::Read: flags |= _O_RDONLY; m = L"rb"; break;
    case OpenMode::Update: flags |= _O_RDWR; break;
    case OpenMode::CreateEmpty: flags |= _O_RDWR | _O_CREAT | _O_TRUNC; break;
    case OpenMode::CreateExclusive: flags |= _O_RDWR | _O_CREAT | _O_EXCL; break;
  }
  const bool writable = !permissions || (*permissions & 0200) != 0;
  int fd = -1;
  error = _wsopen_s(&fd, path.c_str(), flags, _SH_DENYNO, writable ? (_S_IREAD | _S_IWRITE) : _S_IREAD);
  if (error != 0) return nullptr;
  struct _stat64 st {};
  if (_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) {
    _close(fd);
    error = EINVAL;
    return nullptr;
  }
  std::FILE* f = _wfdopen(fd, m);
  if (!f) {
    error = errno;
    _close(fd);
  }
  return f;
}

std::FILE* OpenForReading(const fs::path& path) { return _wfopen(path.c_str(), L"rb"); }

// The C runtime opens standard input in text mode, which would turn CR LF into
// LF and stop at a Ctrl+Z; the reader wants the bytes as they are.
bool SetStdinBinary() { return _setmode(_fileno(stdin), _O_BINARY) != -1; }

int Seek(std::FILE* file, std::int64_t offset, int whence) { return _fseeki64(file, offset, whence); }

std::int64_t Tell(std::FILE* file) { return _ftelli64(file); }

int SyncFile(std::FILE* file) {
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  return FlushFileBuffers(handle) ? 0 : EIO;
}

void StartWriteBack(std::FILE*, std::int64_t, std::int64_t) {}

int Truncate(std::FILE* file, std::int64_t length) { return _chsize_s(_fileno(file), length); }

std::string MoveOver(const fs::path& from, const fs::path& to) {
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return {};
  return LastErrorText();
}

// Renames are written through (MOVEFILE_WRITE_THROUGH) and a folder cannot be
// opened for flushing there; nothing more to do.
int SyncFolder(const fs::path&) { return 0; }

// Windows keeps ownership in ACLs; the folder's own rights decide there.
// Windows keeps no owner in the POSIX sense: any regular file that is no link is the user's own.
bool OwnedByThisUser(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(fs::symlink_status(path, ec));
}

std::optional<std::string> OtherUsersFile(const fs::path&) { return std::nullopt; }

// Links (symbolic links and junctions, both reparse points) are followed
// link after link as the system resolves them. Windows keeps no owner in the
// POSIX sense and has no sticky folders, so no link is refused here, and no
// folder is held: names are used as they are.
WalkedPath WalkPath(const fs::path& path) {
  WalkedPath walk;
  walk.file = path;
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code ec;
    if (!fs::is_symlink(walk.file, ec)) break;
    const fs::path target = fs::read_symlink(walk.file, ec);
    if (ec) break;
    walk.file = target.is_absolute() ? target : walk.file.parent_path() / target;
  }
  return walk;
}

void ReleaseFolder(Handle) {}

int RemoveName(const fs::path& path) {
  std::error_code ec;
  fs::remove(path, ec);
  return ec ? ec.value() : 0;
}

// The system does not tell who holds a byte-range lock.
std::string LockHolders(Handle) { return {}; }

bool FileNamesIgnoreCase() { return true; }

// Every holder opens the lock file to be deleted when the last handle to it
// closes: a waiter keeps it alive, and no lock file stays after the last run.
// While the last holder's close deletes it, opening the name is refused for a
// moment; that is waited out like a held lock.
LockFileOpen OpenLockFile(const fs::path& path) {
  LockFileOpen result;
  const HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    const bool exists = GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    result.retry = error == ERROR_ACCESS_DENIED && exists;
    result.denied = error == ERROR_ACCESS_DENIED;
    result.problem = SystemMessage(error);
    return result;
  }
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    CloseHandle(h);
    result.problem = "a link stands at that name";
    return result;
  }
  result.handle = reinterpret_cast<Handle>(h);
  return result;
}

bool TryLock(Handle handle, bool exclusive) {
  const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
  OVERLAPPED whole{};
  return LockFileEx(AsHandle(handle), flags, 0, MAXDWORD, MAXDWORD, &whole) != 0;
}

// The lock file cannot be removed while it is open: its name stays its own.
bool StillNamed(Handle, const fs::path&) { return true; }

Handle OpenToLock(const fs::path&) { return kNoHandle; }

std::optional<FileIdentity> IdentityOfOpen(Handle) { return std::nullopt; }

void CloseLock(Handle handle) { CloseHandle(AsHandle(handle)); }

void ReleaseLockFile(Handle handle, const fs::path&, bool) { CloseHandle(AsHandle(handle)); }

}  // namespace os
}  // namespace kv

// The system's own file calls, behind one interface. os_posix.cpp and
// os_windows.cpp implement it side by side; the build compiles the one that
// fits the target. Nothing here throws: failures come back as the system's
// error number or its reason in words, and the callers word the message.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

namespace kv {

// What makes two paths the same file: device and inode on POSIX, volume serial
// number and file index on Windows.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t file = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// The identity of the file a path names (links followed), or nothing when it
// cannot be looked at.
std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path);

namespace os {

// An open file or folder: a descriptor on POSIX, a HANDLE on Windows.
using Handle = std::intptr_t;
inline constexpr Handle kNoHandle = -1;

// The system's own words for an error number of the C library: on Windows the
// system's message in the user's language (for the system error that number
// stands for), elsewhere the C library's. No trailing full stop.
std::string ErrorWords(int errorNumber);

enum class OpenMode {
  Read,            // existing file, read only
  Update,          // existing file, read and write
  CreateEmpty,     // new or truncated file, read and write
  CreateExclusive  // a new file that must not exist yet, not even as a link; read and write
};

// Opens a regular file for binary access without blocking on a FIFO, and
// without following a link where a new file is asked for. A created file gets
// exactly `permissions` as its mode bits. On failure gives nullptr and sets
// `error` to the error number; EINVAL means "not a regular file".
std::FILE* OpenFile(const std::filesystem::path& path, OpenMode mode, std::optional<unsigned> permissions, int& error);

// Opens a file or pipe to read it as a stream of bytes; nullptr with errno set.
std::FILE* OpenForReading(const std::filesystem::path& path);

// Makes standard input deliver its bytes unchanged; false with errno set.
bool SetStdinBinary();

// 64-bit seek and tell of a stream; the seek gives 0 or -1 with errno set.
int Seek(std::FILE* file, std::int64_t offset, int whence);
std::int64_t Tell(std::FILE* file);

// Makes what was handed to the system durable; 0 or the error number.
int SyncFile(std::FILE* file);
// Starts writing a range to the disk without waiting, where supported.
void StartWriteBack(std::FILE* file, std::int64_t offset, std::int64_t length);
// Cuts or extends the file; 0 or the error number.
int Truncate(std::FILE* file, std::int64_t length);

// Moves `from` over `to` in one step (written through on Windows). Gives an
// empty string, or the system's reason for the failure.
std::string MoveOver(const std::filesystem::path& from, const std::filesystem::path& to);
// Makes a folder's entries durable; 0 or the error number. A file system that
// cannot sync a folder at all is no failure.
int SyncFolder(const std::filesystem::path& folder);

// True when the path itself (not a link's target) is a regular file of this user.
bool OwnedByThisUser(const std::filesystem::path& path);

// The name of the user a file (the path itself, not a link's target) belongs
// to, when that is another user than this process's; nothing otherwise.
std::optional<std::string> OtherUsersFile(const std::filesystem::path& path);

// A path walked one component at a time from a folder handle, never
// following a link by its name: each link is judged on its own entry and, when
// followed, what it names is walked in its place. The rule for a link: one of
// this user or of root is followed; another user's only to a file or folder
// that user may change themselves (a link never lends anybody this user's
// access); and in a sticky folder everyone may write (like /tmp) only a link of
// this user or of the folder's owner, as the system's own rule there says.
struct WalkedPath {
  std::filesystem::path file;  // where the walk ended: every link on the way replaced by what it names
  Handle folder = kNoHandle;   // the folder `file` lies in, held open (HoldFolder); kNoHandle where none is
  // A link that was not followed; `file` is then the link itself.
  std::filesystem::path link;
  std::string linkOwner;       // its owner in words
  bool stickyFolder = false;   // refused by the sticky folder's rule, else by the owner's
};
WalkedPath WalkPath(const std::filesystem::path& path);
// Gives up a folder handle of WalkPath. Until then every call of this interface
// on a name in that folder (the walked file, its side files) goes through the
// handle, never following a link at the name, so that no folder or link
// swapped in on the way since the walk can send it elsewhere.
void ReleaseFolder(Handle folder);

// Removes the name itself (never a link's target); 0 or the error number.
int RemoveName(const std::filesystem::path& path);

// Who holds a lock on the file `handle` has open, other than this process, in
// words ("process 41 (kvcvrt-cli) of alice (user id 1001)"), where the system
// can tell; empty otherwise.
std::string LockHolders(Handle handle);

// This process's id.
std::uint64_t ProcessId();
// The file of the running program, or an empty path when the system does not say.
std::filesystem::path ProgramFile();
// The effective user of this process (0 on Windows, where access lists decide).
std::uint32_t CurrentUser();
// "name (user id N)", or "user id N" when the user has no name.
std::string UserText(std::uint32_t user);
// Gives `file` the owner and group of `model` where the system allows it: only
// root may give a file away, anybody may give it a group of theirs.
void KeepOwner(const std::filesystem::path& model, const std::filesystem::path& file);

// Who owns an open file, whether its group or everybody may write it, its
// number of names and (on POSIX) its identity; 0 or the error number.
struct Ownership {
  std::uint32_t owner = 0;
  bool othersMayWrite = false;
  std::uint64_t names = 1;
  std::optional<FileIdentity> identity;
};
int OwnershipOf(std::FILE* file, Ownership& ownership);

// Lets a write past the process's file size limit (ulimit -f) fail with EFBIG,
// as after a full disk, instead of the system ending the process at once with
// SIGXFSZ in the middle of a write. Programs that write files call it at start.
void ReportFileSizeLimitAsError();

// Connects standard output and error of a program that has no console of its
// own (a Windows window program) to the console of the program that started
// it, when there is one, so that what it prints (its help) is seen where it
// was typed. Streams that are already connected (a pipe, a file, and always on
// POSIX) are left as they are.
void UseParentConsole();

// The name by which a running kvcvrt or kvcvrt-cli makes itself known, for an
// uninstaller that must not remove a program still in use.
inline constexpr char kRunningMark[] = "kvcvrt.running";

// Marks this process as a running kvcvrt until it ends: on Windows, a named
// mutex kRunningMark that the uninstaller looks for; nothing elsewhere.
void MarkRunning();

// Opens a FIFO or character device by its name for writing, without waiting for
// a reader; -1 with `error` set when it cannot: ENXIO while a FIFO has no reader
// yet, ENODEV when what stands there (by now) is neither a FIFO nor a device,
// EPERM when it belongs to another user (not root) and lies in a folder others
// may write, where anybody could have put it to catch what is written.
int OpenStreamForWriting(const std::filesystem::path& path, int& error);
// Writes up to n bytes to a stream opened so, waiting at most `waitMs` for its
// reader to take any; the count, 0 when the reader took nothing in that time,
// or -1 with errno set (EPIPE, without a signal, when the reader left).
std::int64_t WriteToStream(int stream, const char* data, std::size_t n, int waitMs);
void CloseStream(int stream);

// True when the platform's file names ignore case.
bool FileNamesIgnoreCase();


struct LockFileOpen {
  Handle handle = kNoHandle;
  bool retry = false;       // the name is being removed just now: try again shortly
  bool denied = false;      // no right to create or open it
  bool notRegular = false;  // something other than a regular file stands at the name
  std::string problem;      // otherwise why it could not be opened
};

// Opens or creates a lock file, never through a link.
LockFileOpen OpenLockFile(const std::filesystem::path& path);
// Takes the lock on an open lock file if nobody holds it against us.
bool TryLock(Handle handle, bool exclusive);
// True while `path` still names the file `handle` has open.
bool StillNamed(Handle handle, const std::filesystem::path& path);
// Closes a lock file without any more ado (a lock taken on it goes with it).
void CloseLock(Handle handle);
// Opens an existing regular file only to lock it (reading it needs no more
// rights); kNoHandle when there is none or it cannot be opened. Always
// kNoHandle on Windows, where a lock there would stop reads and writes through
// other handles and an open handle would stop the file's replacement.
Handle OpenToLock(const std::filesystem::path& path);
// The identity of the file a handle has open.
std::optional<FileIdentity> IdentityOfOpen(Handle handle);
// Gives the lock up and closes the file; the last holder removes the name
// where the platform does not do that itself.
void ReleaseLockFile(Handle handle, const std::filesystem::path& path, bool exclusive);

}  // namespace os
}  // namespace kv

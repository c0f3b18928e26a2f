// A file opened for binary access, closed when it goes out of scope. Every
// failure becomes a kv::Error that names the path and the system's reason.
// An object keeps one file position and is not safe to use from two threads at
// once; one thread at a time may use it (a hand-over needs its own ordering).
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>

#include "zuduradu/core/storage/os.h"

namespace kv {

// Who owns a file and who else may change it, as the system keeps it.
using FileOwnership = os::Ownership;

class BinaryFile {
 public:
  // Read, Update (read and write), CreateEmpty (new or truncated) or
  // CreateExclusive (a new file that must not exist yet, not even as a link).
  using Mode = os::OpenMode;

  // Opens the file; only a regular file is taken (a folder, FIFO or device is
  // refused without blocking). `permissions` sets the mode bits of a created file.
  BinaryFile(const std::filesystem::path& path, Mode mode, std::optional<unsigned> permissions = {});
  ~BinaryFile();
  BinaryFile(const BinaryFile&) = delete;
  BinaryFile& operator=(const BinaryFile&) = delete;

  // Reads exactly out.size() bytes at offset; throws when the file ends first.
  void ReadAt(std::int64_t offset, std::span<unsigned char> out);
  void WriteAt(std::int64_t offset, std::span<const unsigned char> bytes);
  // Writes floats at offset in little-endian order.
  void WriteFloatsAt(std::int64_t offset, std::span<const float> values);
  // Reads out.size() little-endian floats at offset; throws when the file ends first.
  void ReadFloatsAt(std::int64_t offset, std::span<float> out);
  // Writes zero bytes from offset up to (not including) end.
  void WriteZeros(std::int64_t offset, std::int64_t end);
  std::int64_t Length();
  // Hands buffered writes to the system now, so that a failure shows here.
  void Flush();
  // Flushes and makes everything written so far durable on the disk.
  void Sync();
  // Asks the system to start writing a range to the disk now, without waiting,
  // so that a later Sync has little left to do. Does nothing where unsupported.
  void StartWriteBack(std::int64_t offset, std::int64_t length);
  // Cuts or extends the file to `length` bytes.
  void Truncate(std::int64_t length);
  // Flushes and closes, reporting a failure (such as a full disk) that only shows then.
  void Close();

  const std::filesystem::path& path() const { return path_; }

  // The owner and rights of the file this object has open (not of whatever
  // its name may name by now).
  FileOwnership Ownership() const;

 private:
  void SeekTo(std::int64_t offset);
  [[noreturn]] void Fail(const char* action, int errorNumber) const;

  std::filesystem::path path_;
  std::FILE* file_ = nullptr;
  std::int64_t position_ = -1;  // known position, or -1 when unknown
  bool lastWasWrite_ = false;
};

// File operations a test can make fail where the platform cannot be made to
// (a root user ignores permissions, a disk is rarely full on cue).
enum class FileOperation { Open, Create, Write, Close, Replace, Sync, Remove, Truncate };

// Called before each operation; a non-zero answer is taken as the error number
// the system reported, and the operation fails with it. Empty by default.
using FaultHook = std::function<int(FileOperation, const std::filesystem::path&)>;
void SetFaultHookForTesting(FaultHook hook);
// The error number the hook gives for an operation, or 0.
int InjectedFault(FileOperation operation, const std::filesystem::path& path);

}  // namespace kv

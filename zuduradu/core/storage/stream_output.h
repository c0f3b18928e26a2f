// An output that is not a file to replace: a FIFO or a character device (a
// terminal, /dev/null). Text goes into it in order, as any tool writes to one;
// replacing it would put a regular file where the FIFO or device was.
#pragma once

#include <filesystem>
#include <span>

#include "zuduradu/core/storage/output_lock.h"

namespace kv {

// Whether `path` (links followed) names a FIFO or a character device.
bool IsStreamOutput(const std::filesystem::path& path);

class StreamOutput {
 public:
  // Opens `path` for writing, by its name. A FIFO that no program reads yet is
  // waited for as `wait` says: `waiting` is called about every 100 ms, its false
  // gives up (kv::Error of kind Cancelled), and past the limit the wait ends
  // with Busy. Throws Io when the path cannot be opened or is not (or no longer)
  // a FIFO or character device.
  StreamOutput(const std::filesystem::path& path, const LockWait& wait);
  ~StreamOutput();
  StreamOutput(const StreamOutput&) = delete;
  StreamOutput& operator=(const StreamOutput&) = delete;

  // Writes every byte; throws Io for a reader that went away, and Busy (or
  // Cancelled) for one that takes nothing while `wait` allows.
  void Write(std::span<const char> bytes);
  // Whether any byte went out.
  bool written() const { return written_; }

 private:
  std::filesystem::path path_;
  LockWait wait_;
  int fd_ = -1;
  bool written_ = false;
};

}  // namespace kv

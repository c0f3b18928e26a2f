#include "zuduradu/core/storage/stream_output.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <string>
#include <system_error>
#include <thread>

#include "zuduradu/core/error.h"
#include "zuduradu/core/message_text.h"
#include "zuduradu/core/storage/os.h"

namespace kv {
namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(const char* action, const fs::path& path, int error) {
  throw Error(ErrorKind::Io, std::string("Could not ") + action + " " + PathText(path) + ": " + SystemReason(error));
}

constexpr auto kPollInterval = std::chrono::milliseconds(100);

std::string Limit(std::chrono::milliseconds limit) {
  const auto ms = limit.count();
  return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

// Opens without blocking: a FIFO without a reader answers ENXIO, and is tried
// again until a reader comes, the caller gives up or the limit passes.
int OpenForWriting(const fs::path& path, const LockWait& wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait.limit;
  while (true) {
    int error = 0;
    const int fd = os::OpenStreamForWriting(path, error);
    if (fd >= 0) return fd;
    if (error == ENODEV) {
      throw Error(ErrorKind::Io, "Could not open " + PathText(path) + ": it is no longer a FIFO or character device");
    }
    if (error == EINTR) continue;
    if (error == EPERM) {
      const std::string owner = os::OtherUsersFile(path).value_or("another user");
      throw Error(ErrorKind::BadRequest, "Did not write into " + PathText(path) + ": it belongs to " + owner +
                                             ", and lies in a folder others may write, where anybody could have put it "
                                             "to catch what is written. Remove it or choose another name",
                  {}, "Nothing was written to it.");
    }
    if (error != ENXIO) Fail("open", path, error);
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      throw Error(ErrorKind::Busy, "No program opened the FIFO " + PathText(path) + " for reading; gave up after waiting " +
                                       Limit(wait.limit));
    }
    if (wait.waiting && !wait.waiting()) throw Error(ErrorKind::Cancelled, "The export was cancelled");
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kPollInterval, deadline - now));
  }
}

}  // namespace

bool IsStreamOutput(const fs::path& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  return fs::is_fifo(status) || fs::is_character_file(status);
}

StreamOutput::StreamOutput(const fs::path& path, const LockWait& wait)
    : path_(path), wait_(wait), fd_(OpenForWriting(path, wait)) {}

StreamOutput::~StreamOutput() {
  if (fd_ >= 0) os::CloseStream(fd_);
}

// A reader that stops taking bytes is waited for as long as a FIFO without a
// reader is: in steps, asking `waiting` whether to go on, then given up.
void StreamOutput::Write(std::span<const char> bytes) {
  auto deadline = std::chrono::steady_clock::now() + wait_.limit;
  while (!bytes.empty()) {
    errno = 0;
    const auto now = std::chrono::steady_clock::now();
    const auto step = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::max<std::chrono::steady_clock::duration>(std::min<std::chrono::steady_clock::duration>(kPollInterval, deadline - now), {}));
    const std::int64_t n = os::WriteToStream(fd_, bytes.data(), bytes.size(), static_cast<int>(step.count()));
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) {
      if (std::chrono::steady_clock::now() >= deadline) {
        throw Error(ErrorKind::Busy, "The program reading " + PathText(path_) + " took nothing for " + Limit(wait_.limit) +
                                         "; gave up");
      }
      if (wait_.waiting && !wait_.waiting()) throw Error(ErrorKind::Cancelled, "The export was cancelled");
      continue;
    }
    if (n < 0 && errno == EPIPE) {
      throw Error(ErrorKind::Io, "The program reading " + PathText(path_) + " stopped reading before the end");
    }
    if (n < 0) Fail("write to", path_, errno);
    written_ = true;
    deadline = std::chrono::steady_clock::now() + wait_.limit;
    bytes = bytes.subspan(static_cast<std::size_t>(n));
  }
}

}  // namespace kv

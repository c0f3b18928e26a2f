#include "zuduradu/core/storage/stream_output.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <string>
#include <system_error>
#include <thread>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "zuduradu/core/error.h"
#include "zuduradu/core/message_text.h"

namespace kv {
namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(const char* action, const fs::path& path, int error) {
  throw Error(ErrorKind::Io, std::string("Could not ") + action + " " + PathText(path) + ": " + SystemReason(error));
}

#ifdef _WIN32

// Windows has no FIFOs that a path names; a device (NUL, CON) is opened at once.
int OpenForWriting(const fs::path& path, const LockWait&) {
  int fd = -1;
  const int error = _wsopen_s(&fd, path.c_str(), _O_WRONLY | _O_BINARY | _O_NOINHERIT, _SH_DENYNO, _S_IWRITE);
  if (error != 0) Fail("open", path, error);
  return fd;
}

int WriteSome(int fd, const char* data, std::size_t n) {
  return _write(fd, data, static_cast<unsigned>(std::min<std::size_t>(n, 1u << 30)));
}

void CloseDescriptor(int fd) { _close(fd); }

#else

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
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
      struct stat st {};
      if (::fstat(fd, &st) != 0 || !(S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode))) {
        ::close(fd);
        throw Error(ErrorKind::Io, "Could not open " + PathText(path) + ": it is no longer a FIFO or character device");
      }
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
      return fd;
    }
    if (errno == EINTR) continue;
    if (errno != ENXIO) Fail("open", path, errno);
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      throw Error(ErrorKind::Busy, "No program opened the FIFO " + PathText(path) + " for reading; gave up after waiting " +
                                       Limit(wait.limit));
    }
    if (wait.waiting && !wait.waiting()) throw Error(ErrorKind::Cancelled, "The export was cancelled");
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kPollInterval, deadline - now));
  }
}

int WriteSome(int fd, const char* data, std::size_t n) {
  return static_cast<int>(::write(fd, data, std::min<std::size_t>(n, 1u << 30)));
}

void CloseDescriptor(int fd) { ::close(fd); }

#endif

}  // namespace

bool IsStreamOutput(const fs::path& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  return fs::is_fifo(status) || fs::is_character_file(status);
}

StreamOutput::StreamOutput(const fs::path& path, const LockWait& wait) : path_(path), fd_(OpenForWriting(path, wait)) {}

StreamOutput::~StreamOutput() {
  if (fd_ >= 0) CloseDescriptor(fd_);
}

void StreamOutput::Write(std::span<const char> bytes) {
  while (!bytes.empty()) {
    errno = 0;
    const int n = WriteSome(fd_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail("write to", path_, n < 0 ? errno : EIO);
    written_ = true;
    bytes = bytes.subspan(static_cast<std::size_t>(n));
  }
}

}  // namespace kv

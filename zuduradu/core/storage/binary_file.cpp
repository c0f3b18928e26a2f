#include "zuduradu/core/storage/binary_file.h"

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "zuduradu/core/error.h"
#include "zuduradu/core/storage/file_system.h"
#include "zuduradu/core/storage/le_bytes.h"

namespace kv {
namespace {

// Opens without following a link where the mode asks for a new file, and
// without blocking on a FIFO; a file that is not regular is refused.
std::FILE* OpenFile(const std::filesystem::path& path, BinaryFile::Mode mode, std::optional<unsigned> permissions,
                    int& error) {
  using Mode = BinaryFile::Mode;
#ifdef _WIN32
  int flags = _O_BINARY | _O_NOINHERIT;
  const wchar_t* m = L"r+b";
  switch (mode) {
    case Mode::Read: flags |= _O_RDONLY; m = L"rb"; break;
    case Mode::Update: flags |= _O_RDWR; break;
    case Mode::CreateEmpty: flags |= _O_RDWR | _O_CREAT | _O_TRUNC; break;
    case Mode::CreateExclusive: flags |= _O_RDWR | _O_CREAT | _O_EXCL; break;
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
#else
  int flags = O_CLOEXEC | O_NONBLOCK;
  const char* m = "r+b";
  switch (mode) {
    case Mode::Read: flags |= O_RDONLY; m = "rb"; break;
    case Mode::Update: flags |= O_RDWR; break;
    case Mode::CreateEmpty: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case Mode::CreateExclusive: flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW; break;
  }
  const int fd = ::open(path.c_str(), flags, static_cast<mode_t>(permissions.value_or(0666)));
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
  if (permissions && (mode == Mode::CreateExclusive || mode == Mode::CreateEmpty)) {
    (void)::fchmod(fd, static_cast<mode_t>(*permissions));
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::FILE* f = ::fdopen(fd, m);
  if (!f) {
    error = errno;
    ::close(fd);
  }
  return f;
#endif
}

int Descriptor(std::FILE* f) {
#ifdef _WIN32
  return _fileno(f);
#else
  return ::fileno(f);
#endif
}

int Seek(std::FILE* f, std::int64_t offset, int whence) {
#ifdef _WIN32
  return _fseeki64(f, offset, whence);
#else
  return fseeko(f, static_cast<off_t>(offset), whence);
#endif
}

std::int64_t Tell(std::FILE* f) {
#ifdef _WIN32
  return _ftelli64(f);
#else
  return static_cast<std::int64_t>(ftello(f));
#endif
}

FaultHook& Hook() {
  static FaultHook hook;
  return hook;
}

}  // namespace

void SetFaultHookForTesting(FaultHook hook) { Hook() = std::move(hook); }

int InjectedFault(FileOperation operation, const std::filesystem::path& path) {
  return Hook() ? Hook()(operation, path) : 0;
}

BinaryFile::BinaryFile(const std::filesystem::path& path, Mode mode, std::optional<unsigned> permissions)
    : path_(path) {
  const bool creates = mode == Mode::CreateEmpty || mode == Mode::CreateExclusive;
  const char* action = creates ? "create" : "open";
  if (const int fault = InjectedFault(creates ? FileOperation::Create : FileOperation::Open, path)) {
    Fail(action, fault);
  }
  int error = 0;
  file_ = OpenFile(path, mode, permissions, error);
  if (!file_) {
    if (error == EINVAL) {
      throw Error(ErrorKind::Io, "Could not " + std::string(action) + " " + PathText(path) + ": it is not a regular file");
    }
    Fail(action, error);
  }
  position_ = 0;
}

BinaryFile::~BinaryFile() {
  if (file_) std::fclose(file_);
}

void BinaryFile::Fail(const char* action, int errorNumber) const {
  throw Error(ErrorKind::Io, std::string("Could not ") + action + " " + PathText(path_) + ": " + SystemReason(errorNumber));
}

void BinaryFile::SeekTo(std::int64_t offset) {
  if (position_ == offset) return;
  errno = 0;
  if (Seek(file_, offset, SEEK_SET) != 0) Fail("seek in", errno);
  position_ = offset;
}

void BinaryFile::ReadAt(std::int64_t offset, std::span<unsigned char> out) {
  // Switching from writing to reading needs a seek in between.
  if (lastWasWrite_) position_ = -1;
  SeekTo(offset);
  lastWasWrite_ = false;
  errno = 0;
  const std::size_t n = std::fread(out.data(), 1, out.size(), file_);
  if (n < out.size() && std::ferror(file_)) Fail("read", errno);
  position_ = n == out.size() ? offset + static_cast<std::int64_t>(n) : -1;
  if (n != out.size()) {
    throw Error(ErrorKind::Io, "Could not read " + PathText(path_) + ": the file ends at byte " +
                                   std::to_string(Length()) + ", before byte " +
                                   std::to_string(offset + static_cast<std::int64_t>(out.size())));
  }
}

void BinaryFile::WriteAt(std::int64_t offset, std::span<const unsigned char> bytes) {
  if (!lastWasWrite_) position_ = -1;
  SeekTo(offset);
  lastWasWrite_ = true;
  if (const int fault = InjectedFault(FileOperation::Write, path_)) {
    position_ = -1;
    Fail("write", fault);
  }
  errno = 0;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
    position_ = -1;
    Fail("write", errno);
  }
  position_ = offset + static_cast<std::int64_t>(bytes.size());
}

void BinaryFile::WriteFloatsAt(std::int64_t offset, std::span<const float> values) {
  if constexpr (kFloatsAreLittleEndian) {
    WriteAt(offset, {reinterpret_cast<const unsigned char*>(values.data()), values.size_bytes()});
  } else {
    constexpr std::size_t kBatch = 16384;
    std::vector<unsigned char> buffer(4 * std::min(kBatch, values.size()));
    for (std::size_t i = 0; i < values.size(); i += kBatch) {
      const std::size_t n = std::min(kBatch, values.size() - i);
      for (std::size_t k = 0; k < n; ++k) PutFloat(&buffer[4 * k], values[i + k]);
      WriteAt(offset + static_cast<std::int64_t>(4 * i), {buffer.data(), 4 * n});
    }
  }
}

void BinaryFile::WriteZeros(std::int64_t offset, std::int64_t end) {
  static const std::vector<unsigned char> zeros(1 << 20, 0);
  while (offset < end) {
    const auto n = static_cast<std::size_t>(std::min<std::int64_t>(end - offset, static_cast<std::int64_t>(zeros.size())));
    WriteAt(offset, {zeros.data(), n});
    offset += static_cast<std::int64_t>(n);
  }
}

std::int64_t BinaryFile::Length() {
  errno = 0;
  if (Seek(file_, 0, SEEK_END) != 0) Fail("seek in", errno);
  const std::int64_t length = Tell(file_);
  if (length < 0) Fail("measure", errno);
  position_ = length;
  lastWasWrite_ = false;
  return length;
}

void BinaryFile::Flush() {
  if (const int fault = InjectedFault(FileOperation::Write, path_)) Fail("write", fault);
  errno = 0;
  if (std::fflush(file_) != 0) Fail("write", errno);
}

void BinaryFile::Sync() {
  Flush();
  if (const int fault = InjectedFault(FileOperation::Sync, path_)) Fail("sync", fault);
#ifdef _WIN32
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(Descriptor(file_)));
  if (!FlushFileBuffers(handle)) Fail("sync", EIO);
#else
  errno = 0;
  if (::fsync(Descriptor(file_)) != 0) Fail("sync", errno);
#endif
}

void BinaryFile::StartWriteBack(std::int64_t offset, std::int64_t length) {
#if defined(__linux__)
  if (std::fflush(file_) != 0) return;  // the next Flush or Close reports it
  (void)::sync_file_range(Descriptor(file_), offset, length, SYNC_FILE_RANGE_WRITE);
#else
  (void)offset;
  (void)length;
#endif
}

void BinaryFile::Truncate(std::int64_t length) {
  Flush();
  if (const int fault = InjectedFault(FileOperation::Truncate, path_)) Fail("resize", fault);
#ifdef _WIN32
  const int rc = _chsize_s(Descriptor(file_), length);
  if (rc != 0) Fail("resize", rc);
#else
  errno = 0;
  if (::ftruncate(Descriptor(file_), static_cast<off_t>(length)) != 0) Fail("resize", errno);
#endif
  position_ = -1;
}

FileOwnership BinaryFile::Ownership() const {
#ifdef _WIN32
  return {};
#else
  struct stat st {};
  if (::fstat(Descriptor(file_), &st) != 0) Fail("look at", errno);
  return {static_cast<std::uint32_t>(st.st_uid), (st.st_mode & (S_IWGRP | S_IWOTH)) != 0,
          static_cast<std::uint64_t>(st.st_nlink)};
#endif
}

void BinaryFile::Close() {
  if (!file_) return;
  std::FILE* f = file_;
  file_ = nullptr;
  errno = 0;
  const bool flushed = std::fflush(f) == 0;
  const int flushError = errno;
  const bool closed = std::fclose(f) == 0;
  if (const int fault = InjectedFault(FileOperation::Close, path_)) Fail("write", fault);
  if (!flushed) Fail("write", flushError);
  if (!closed) Fail("close", errno);
}

}  // namespace kv

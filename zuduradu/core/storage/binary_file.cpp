#include "zuduradu/core/storage/binary_file.h"

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "zuduradu/core/error.h"
#include "zuduradu/core/message_text.h"
#include "zuduradu/core/storage/le_bytes.h"

namespace kv {
namespace {

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
  file_ = os::OpenFile(path, mode, permissions, error);
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
  if (os::Seek(file_, offset, SEEK_SET) != 0) Fail("seek in", errno);
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

void BinaryFile::ReadFloatsAt(std::int64_t offset, std::span<float> out) {
  if constexpr (kFloatsAreLittleEndian) {
    ReadAt(offset, {reinterpret_cast<unsigned char*>(out.data()), out.size_bytes()});
  } else {
    constexpr std::size_t kBatch = 16384;
    std::vector<unsigned char> buffer(4 * std::min(kBatch, out.size()));
    for (std::size_t i = 0; i < out.size(); i += kBatch) {
      const std::size_t n = std::min(kBatch, out.size() - i);
      ReadAt(offset + static_cast<std::int64_t>(4 * i), {buffer.data(), 4 * n});
      for (std::size_t k = 0; k < n; ++k) out[i + k] = GetFloat(&buffer[4 * k]);
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
  if (os::Seek(file_, 0, SEEK_END) != 0) Fail("seek in", errno);
  const std::int64_t length = os::Tell(file_);
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
  if (const int error = os::SyncFile(file_)) Fail("sync", error);
}

void BinaryFile::StartWriteBack(std::int64_t offset, std::int64_t length) {
  os::StartWriteBack(file_, offset, length);
}

void BinaryFile::Truncate(std::int64_t length) {
  Flush();
  if (const int fault = InjectedFault(FileOperation::Truncate, path_)) Fail("resize", fault);
  if (const int error = os::Truncate(file_, length)) Fail("resize", error);
  position_ = -1;
}

FileOwnership BinaryFile::Ownership() const {
  FileOwnership o;
  if (const int error = os::OwnershipOf(file_, o)) Fail("look at", error);
  return o;
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

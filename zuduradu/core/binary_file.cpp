#include "zuduradu/core/binary_file.h"

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "zuduradu/core/error.h"
#include "zuduradu/core/le_bytes.h"
#include "zuduradu/core/path_utf8.h"

namespace kv {
namespace {

std::FILE* OpenFile(const std::filesystem::path& path, BinaryFile::Mode mode) {
#ifdef _WIN32
  const wchar_t* m = mode == BinaryFile::Mode::Read ? L"rb" : mode == BinaryFile::Mode::Update ? L"r+b" : L"w+b";
  return _wfopen(path.c_str(), m);
#else
  const char* m = mode == BinaryFile::Mode::Read ? "rb" : mode == BinaryFile::Mode::Update ? "r+b" : "w+b";
  return std::fopen(path.c_str(), m);
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

BinaryFile::BinaryFile(const std::filesystem::path& path, Mode mode) : path_(path) {
  const char* action = mode == Mode::CreateEmpty ? "create" : "open";
  if (const int fault = InjectedFault(mode == Mode::CreateEmpty ? FileOperation::Create : FileOperation::Open, path)) {
    Fail(action, fault);
  }
  errno = 0;
  file_ = OpenFile(path, mode);
  if (!file_) Fail(action, errno);
  position_ = 0;
}

BinaryFile::~BinaryFile() {
  if (file_) std::fclose(file_);
}

void BinaryFile::Fail(const char* action, int errorNumber) const {
  throw Error(ErrorKind::Io, std::string("Could not ") + action + " " + PathToUtf8(path_) + ": " + SystemReason(errorNumber));
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
    throw Error(ErrorKind::Io, "Could not read " + PathToUtf8(path_) + ": the file ends at byte " +
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

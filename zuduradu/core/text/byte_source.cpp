#include "zuduradu/core/text/byte_source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "zuduradu/core/error.h"
#include "zuduradu/core/storage/file_system.h"
#include "zuduradu/core/storage/os.h"

namespace kv {

FileSource::FileSource(const std::filesystem::path& path) : path_(path) {
  std::error_code ec;
  // A pipe streams like a file; a folder or a device is no input.
  const auto status = std::filesystem::status(path, ec);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
      !std::filesystem::is_fifo(status)) {
    throw Error(ErrorKind::BadInput, "The input file " + PathText(path) + " is not a regular file");
  }
  errno = 0;
  file_ = os::OpenForReading(path);
  if (!file_) {
    throw Error(ErrorKind::InputMissing, "Could not find the input file " + PathText(path) + ": " + SystemReason(errno));
  }
  const auto size = std::filesystem::file_size(path, ec);
  length_ = ec ? 0 : static_cast<std::uint64_t>(size);
}

FileSource::~FileSource() {
  if (file_) std::fclose(file_);
}

std::size_t FileSource::Read(char* dst, std::size_t n) {
  errno = 0;
  const std::size_t got = std::fread(dst, 1, n, file_);
  if (got < n && std::ferror(file_)) {
    throw Error(ErrorKind::Io, "Could not read the input file " + PathText(path_) + ": " + SystemReason(errno));
  }
  return got;
}

StdinSource::StdinSource() {
  if (!os::SetStdinBinary()) {
    throw Error(ErrorKind::InputMissing, "Could not read standard input in binary mode: " + SystemReason(errno));
  }
}

std::size_t StdinSource::Read(char* dst, std::size_t n) {
  errno = 0;
  const std::size_t got = std::fread(dst, 1, n, stdin);
  if (got < n && std::ferror(stdin)) {
    throw Error(ErrorKind::Io, "Could not read standard input: " + SystemReason(errno));
  }
  return got;
}

std::size_t PrefixedSource::Read(char* dst, std::size_t n) {
  if (taken_ == prefix_.size()) return rest_.Read(dst, n);
  const std::size_t got = std::min(n, prefix_.size() - taken_);
  std::memcpy(dst, prefix_.data() + taken_, got);
  taken_ += got;
  return got;
}

std::size_t MemorySource::Read(char* dst, std::size_t n) {
  const std::size_t got = std::min(n, bytes_.size());
  std::memcpy(dst, bytes_.data(), got);
  bytes_.remove_prefix(got);
  return got;
}

}  // namespace kv

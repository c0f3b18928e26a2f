// Where the matrix reader's bytes come from: a file read in chunks, standard
// input, or memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>

namespace kv {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Copies up to n bytes into dst; 0 means the end. Throws kv::Error on a read failure.
  virtual std::size_t Read(char* dst, std::size_t n) = 0;
};

class FileSource final : public ByteSource {
 public:
  explicit FileSource(const std::filesystem::path& path);
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;
  std::size_t Read(char* dst, std::size_t n) override;
  // The file's length when it was opened.
  std::uint64_t length() const { return length_; }

 private:
  std::filesystem::path path_;
  std::FILE* file_ = nullptr;
  std::uint64_t length_ = 0;
};

// Standard input in binary mode, read as the bytes come; its length is not known.
class StdinSource final : public ByteSource {
 public:
  StdinSource();
  std::size_t Read(char* dst, std::size_t n) override;
};

// Bytes held in memory first, then the rest of another source: what a reader
// that looked at the start of a file hands on to the next one.
class PrefixedSource final : public ByteSource {
 public:
  PrefixedSource(std::string prefix, ByteSource& rest) : prefix_(std::move(prefix)), rest_(rest) {}
  std::size_t Read(char* dst, std::size_t n) override;

 private:
  std::string prefix_;
  std::size_t taken_ = 0;
  ByteSource& rest_;
};

class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  std::size_t Read(char* dst, std::size_t n) override;

 private:
  std::string_view bytes_;
};

}  // namespace kv

// A new version of a file, written under a unique temporary name beside it and
// moved over it only when complete and durable. The temporary file is created
// exclusively (never through a link, never taking over an existing name) with
// the permission bits, and as far as the system lets us the owner and group, of
// the file it replaces. Unless it was put in place, it is removed when the
// object goes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "zuduradu/core/storage/binary_file.h"

namespace kv {

// The ending of temporary names: "<target>.kvcvrt-partial-" and 8 hex digits.
inline constexpr const char* kPartialSuffix = ".kvcvrt-partial-";

class ReplacementFile {
 public:
  // How the temporary name is chosen: Unique, different every time; UnderLock,
  // the same every time when it is free, for a caller that holds the target's
  // exclusive lock (what a killed run left is then found by its name).
  enum class Naming { Unique, UnderLock };

  // `target` is the file to replace (links already followed); it need not exist.
  // The temporary name is "<target><suffix><8 hex digits>".
  explicit ReplacementFile(std::filesystem::path target, const char* suffix = kPartialSuffix,
                           Naming naming = Naming::Unique);
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  // Starts empty: like the target, or, given `permissions`, a file of ours with those bits.
  BinaryFile& CreateEmpty(std::optional<unsigned> permissions = {});
  // Starts as a byte-for-byte copy of `source`.
  BinaryFile& CopyOf(const std::filesystem::path& source);
  BinaryFile& file() { return *file_; }
  const std::filesystem::path& path() const { return path_; }

  // Syncs and closes the file, moves it over the target and syncs the folder.
  void PutInPlace();
  // Whether the file was moved over the target (a later sync may still have failed).
  bool placed() const { return placed_; }

 private:
  std::filesystem::path target_;
  std::filesystem::path path_;
  std::unique_ptr<BinaryFile> file_;
  bool placed_ = false;
  bool keepOwner_ = false;
};

}  // namespace kv

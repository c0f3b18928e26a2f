// Small helpers shared by the tests: a scratch folder per test, whole-file reads
// and writes, the matrix input text, EXPECT_KV_ERROR and readers of the period
// data file's bytes.
#pragma once

#include <charconv>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

#include "zuduradu/core/error.h"
#include "zuduradu/core/format/period_tables.h"
#include "zuduradu/core/storage/le_bytes.h"
#include "zuduradu/core/storage/os.h"

namespace kvtest {

// A fresh folder for one test, removed afterwards.
class ScratchDir {
 public:
  ScratchDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "_" + info->name() : "scratch";
    for (char& c : name) if (c == '/' || c == '\\') c = '_';
    // The process id keeps two runs of the same test (two test trees, a
    // mutation run beside a build) out of each other's folders.
    path_ = std::filesystem::temp_directory_path() / ("kvcvrt_test_" + name + "_" + std::to_string(kv::os::ProcessId()));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~ScratchDir() { std::error_code ec; std::filesystem::remove_all(path_, ec); }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline std::string ReadAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteAll(const std::filesystem::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

// Compares two byte strings without printing them whole: says where they part.
inline ::testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  std::size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  return ::testing::AssertionFailure() << "the bytes differ from offset " << at << " (lengths " << actual.size()
                                       << " and " << expected.size() << ")";
}

// A data set of the matrix input text: values first, first + step, ...
struct Set { int period, layer; float first; float step = 1; };

inline std::vector<float> Values(const Set& s, int cells) {
  std::vector<float> v(static_cast<std::size_t>(cells));
  for (std::size_t k = 0; k < v.size(); ++k) v[k] = s.first + s.step * static_cast<float>(k);
  return v;
}

// Matrix input text: the count, then per set its period, layer and `cells` values,
// each in the shortest text that reads back as the same float.
inline std::string InputText(const std::vector<Set>& sets, int cells) {
  std::string t = std::to_string(sets.size()) + "\n";
  for (const Set& s : sets) {
    t += std::to_string(s.period) + " " + std::to_string(s.layer) + "\n";
    for (const float v : Values(s, cells)) {
      char text[32];
      t.append(text, std::to_chars(text, text + sizeof text, v).ptr) += ' ';
    }
    t += "\n";
  }
  return t;
}

// Passes when `f` throws a kv::Error of `kind` whose message holds `text`.
template <typename F>
::testing::AssertionResult ThrowsKvError(F&& f, kv::ErrorKind kind, const std::string& text) {
  try {
    f();
  } catch (const kv::Error& e) {
    const std::string what = e.what();
    if (e.kind() != kind) {
      return ::testing::AssertionFailure() << "error kind " << static_cast<int>(e.kind()) << ", not "
                                           << static_cast<int>(kind) << ": " << what;
    }
    if (what.find(text) == std::string::npos) return ::testing::AssertionFailure() << "\"" << text << "\" not in: " << what;
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "no kv::Error";
}

// A header with periods `own` in the blocks given, references rebuilt as a conversion leaves them.
inline kv::PeriodHeader HeaderWith(const std::vector<std::pair<int, int>>& own) {
  kv::PeriodHeader h;
  for (auto [period, block] : own) {
    h.blocks[static_cast<std::size_t>(period - 1)] = static_cast<std::int16_t>(block);
    h.references[static_cast<std::size_t>(period - 1)] = static_cast<std::int16_t>(period);
  }
  h.references = kv::RebuildReferences(kv::ClassifyPeriods(h));
  return h;
}

inline float FloatAt(const std::string& bytes, std::size_t offset) {
  return kv::GetFloat(reinterpret_cast<const unsigned char*>(bytes.data()) + offset);
}

inline std::int16_t ReferenceOf(const std::string& bytes, int period) {
  return kv::GetInt16(reinterpret_cast<const unsigned char*>(bytes.data()) + 2 * (period - 1));
}
inline std::int16_t BlockOf(const std::string& bytes, int period) {
  return kv::GetInt16(reinterpret_cast<const unsigned char*>(bytes.data()) + 2000 + 2 * (period - 1));
}

// The names of our own side files (temporary, journal, lock) left beside `file`;
// empty when a run cleaned up after itself.
inline std::vector<std::string> LeftBeside(const std::filesystem::path& file) {
  std::vector<std::string> left;
  const std::string prefix = file.filename().string() + ".kvcvrt-";
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(file.parent_path(), ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) == 0) left.push_back(name);
  }
  return left;
}

}  // namespace kvtest

// EXPECT_KV_ERROR(statement, BadInput, "words"): the statement throws a kv::Error of
// that kind whose message holds the words.
#define EXPECT_KV_ERROR(statement, kind, text) \
  EXPECT_TRUE(::kvtest::ThrowsKvError([&] { statement; }, ::kv::ErrorKind::kind, text))

#include "zuduradu/core/storage/file_system.h"

#include <gtest/gtest.h>

#include "core/fault_support.h"
#include "zuduradu/core/format/data_file_info.h"
#include "zuduradu/core/run/conversion.h"
#include "zuduradu/core/storage/binary_file.h"
#include "zuduradu/core/storage/journal.h"

namespace {
namespace fs = std::filesystem;

TEST(FileExists, OnlyReadableFiles) {
  kvtest::ScratchDir dir;
  kvtest::WriteAll(dir / "f", "x");
  EXPECT_EQ(std::tuple(kv::FileExists(""), kv::FileExists(dir / "missing"), kv::FileExists(dir.path()),
                       kv::FileExists(dir / "f")), std::tuple(false, false, false, true));  // a folder is not a file
}

// A file open for update is cut to the length asked for; one open to read cannot be, and says so.
TEST(BinaryFile, ResizesOnlyAFileOpenForWriting) {
  kvtest::ScratchDir dir;
  kvtest::WriteAll(dir / "f", "abcdef");
  kv::BinaryFile(dir / "f", kv::BinaryFile::Mode::Update).Truncate(2);
  EXPECT_EQ(kvtest::ReadAll(dir / "f"), "ab");
  EXPECT_KV_ERROR(kv::BinaryFile(dir / "f", kv::BinaryFile::Mode::Read).Truncate(0), Io, "resize");
}

#if defined(__unix__)
}  // namespace
#include <sys/stat.h>
namespace {

// A lock or journal name taken by a folder or a FIFO (links: see SafeWrites): runs are
// refused in words that say what stands there, readers too where the journal is taken,
// and nothing changes. With nothing at the journal's name there is nothing to roll back.
TEST(SideFiles, WhatIsNoRegularFileAtTheirNamesIsRefused) {
  const struct { const char* side; const char* kind; const char* words; } cases[] = {
      {".kvcvrt-lock", "folder", "o.top.kvcvrt-lock is not a regular file"},
      {".kvcvrt-lock", "fifo", "o.top.kvcvrt-lock is not a regular file"},
      {".kvcvrt-journal", "folder", "(it is not a regular file)"},
      {".kvcvrt-journal", "fifo", "(it is not a regular file)"},
      {".kvcvrt-journal", "none", ""},
  };
  for (const auto& c : cases) {
    kvtest::ScratchDir dir;
    const std::string side = c.side, kind = c.kind;
    const fs::path in = dir / "in.dat", out = dir / "o.top", taken = dir / ("o.top" + side);
    kvtest::WriteAll(in, "1 1 1 1 2 3 4 5 6");
    kv::RunConversion({{{in}}, out, 3, {3, 2, 1}, false});
    const std::string before = kvtest::ReadAll(out);
    if (kind == "folder") fs::create_directory(taken);
    ASSERT_TRUE(kind != "fifo" || mkfifo(taken.c_str(), 0600) == 0);
    // The words of the case when a refusal says them, "" when nothing was refused, else what was said.
    const auto saying = [&](auto&& f) {
      const std::string said = kvtest::Refusal(f);
      return said.empty() || said.find(c.words) == std::string::npos ? said : std::string(c.words);
    };
    EXPECT_EQ(saying([&] { kv::RunConversion({{{in}}, out, 3, {3, 2, 1}, false}); }), c.words) << side << kind;
    if (side == ".kvcvrt-journal") {
      EXPECT_EQ(saying([&] { kv::DescribeDataFile(out, {}); }), c.words) << kind;
      EXPECT_EQ(saying([&] { EXPECT_FALSE(kv::RollBackInterruptedRun(out)); }), c.words) << kind;
    }
    if (kind == "none") continue;
    EXPECT_EQ(kvtest::ReadAll(out) + std::to_string(fs::exists(fs::symlink_status(taken))), before + "1") << side;
  }
}

// While a walked file lives, names in its folder are reached through the folder the walk held, not
// found again: a folder put in its place meanwhile gets nothing. A walk that ends short holds nothing.
TEST(WalkedFile, HoldsTheFolderItReached) {
  kvtest::ScratchDir dir;
  fs::create_directory(dir / "a");
  int error = 0;
  {
    const kv::WalkedFile walked(dir / "a" / "f");
    fs::rename(dir / "a", dir / "b");
    fs::create_directory(dir / "a");
    std::fclose(kv::os::OpenFile(walked.path(), kv::os::OpenMode::CreateEmpty, {}, error));
  }
  EXPECT_EQ(std::pair(fs::exists(dir / "b" / "f"), fs::exists(dir / "a" / "f")), std::pair(true, false));
  // A link put at the walked name after the walk is not written through, not even the user's own.
  kvtest::WriteAll(dir / "victim", "v");
  {
    const kv::WalkedFile walked(dir / "a" / "g");
    fs::create_symlink(dir / "victim", dir / "a" / "g");
    EXPECT_EQ(kv::os::OpenFile(walked.path(), kv::os::OpenMode::CreateEmpty, {}, error), nullptr);
  }
  EXPECT_EQ(kvtest::ReadAll(dir / "victim"), "v");
  EXPECT_EQ(kv::os::WalkPath(dir / "missing" / "f").folder, kv::os::kNoHandle);
  // A name the system refuses to look at (too long) is handed on as it is, for the open to report.
  const fs::path tooLong = dir / (std::string(300, 'a') + ".top");
  EXPECT_EQ(kv::WalkedFile(tooLong).path(), tooLong);
}
#endif

}  // namespace

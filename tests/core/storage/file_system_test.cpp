#include "zuduradu/core/storage/file_system.h"

#include <gtest/gtest.h>

#include "core/fault_support.h"
#include "zuduradu/core/format/data_file_info.h"
#include "zuduradu/core/run/conversion.h"
#include "zuduradu/core/storage/journal.h"

namespace {
namespace fs = std::filesystem;

TEST(FileExists, OnlyReadableFiles) {
  kvtest::ScratchDir dir;
  kvtest::WriteAll(dir / "f", "x");
  EXPECT_FALSE(kv::FileExists(""));
  EXPECT_FALSE(kv::FileExists(dir / "missing"));
  EXPECT_FALSE(kv::FileExists(dir.path()));  // a folder is not a file
  EXPECT_TRUE(kv::FileExists(dir / "f"));
}

#if defined(__unix__)
}  // namespace
#include <sys/stat.h>
namespace {

// A lock or journal name taken by a folder, a FIFO or a link: runs and readers are refused, nothing changes.
TEST(SideFiles, WhatIsNoRegularFileAtTheirNamesIsRefused) {
  for (const std::string side : {".kvcvrt-lock", ".kvcvrt-journal"}) {
    for (const std::string kind : {"folder", "fifo", "link"}) {
      kvtest::ScratchDir dir;
      const fs::path in = dir / "in.dat", out = dir / "o.top", taken = dir / ("o.top" + side);
      kvtest::WriteAll(in, "1 1 1 1 2 3 4 5 6");
      kv::RunConversion({{{in}}, out, 3, {3, 2, 1}, false});
      const std::string before = kvtest::ReadAll(out);
      if (kind == "link") fs::create_symlink(in, taken);
      ASSERT_TRUE(kind == "folder" ? fs::create_directory(taken) : kind != "fifo" || mkfifo(taken.c_str(), 0600) == 0);
      EXPECT_NE(kvtest::Refusal([&] { kv::RunConversion({{{in}}, out, 3, {3, 2, 1}, false}); }), "") << side << kind;
      EXPECT_NE(side == ".kvcvrt-lock" || !kvtest::Refusal([&] { kv::DescribeDataFile(out, {}); }).empty(), false);
      EXPECT_EQ(kvtest::ReadAll(out) + std::to_string(fs::exists(fs::symlink_status(taken))), before + "1") << side;
    }
  }
}
#endif

}  // namespace

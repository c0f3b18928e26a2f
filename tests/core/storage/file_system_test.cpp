#include "zuduradu/core/storage/file_system.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

TEST(FileExists, OnlyReadableFiles) {
  kvtest::ScratchDir dir;
  kvtest::WriteAll(dir / "f", "x");
  EXPECT_FALSE(kv::FileExists(""));
  EXPECT_FALSE(kv::FileExists(dir / "missing"));
  EXPECT_FALSE(kv::FileExists(dir.path()));  // a folder is not a file
  EXPECT_TRUE(kv::FileExists(dir / "f"));
}

}  // namespace

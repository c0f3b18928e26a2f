// Other users and other names of the same file: a second user (a child process
// that drops to uid 65534) plants links and lock files in a sticky folder or
// reads without the right to write the folder; two names reach one file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <thread>

#include "core/fault_support.h"
#include "test_support.h"
#include "zuduradu/core/error.h"
#include "zuduradu/core/run/conversion.h"
#include "zuduradu/core/run/data_file_export.h"
#include "zuduradu/core/storage/output_lock.h"

#if defined(__unix__)
namespace {

namespace fs = std::filesystem;
using kvtest::ReadAll;
using kvtest::WriteAll;
const kv::GridSize kGrid{3, 2, 1};
constexpr uid_t kOther = 65534;

// Runs f as the other user in a child; true when it succeeded.
template <typename F>
bool AsOtherUser(F&& f) {
  const int status = kvtest::InChild([&] {
    if (setresgid(kOther, kOther, kOther) != 0 || setresuid(kOther, kOther, kOther) != 0 || !f()) _exit(1);
  });
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

kv::ConversionRequest Convert(const fs::path& dir, const fs::path& out, int period, bool createNew) {
  const fs::path in = dir / ("in" + std::to_string(period) + ".dat");
  WriteAll(in, "1 " + std::to_string(period) + " 1 6*" + std::to_string(period) + "\n");
  return {in, out, 3, kGrid, createNew};
}

struct SharedFolder {
  kvtest::ScratchDir root;
  fs::path shared = root / "shared";
  SharedFolder() {
    fs::create_directory(shared);
    chmod(shared.c_str(), 01777);
  }
};

TEST(SharedFolder, AnotherUsersLinkIsNotFollowed) {
  for (const bool others : {true, false}) {
    SharedFolder f;
    const fs::path victim = f.root / "thesis";
    WriteAll(victim, "precious");
    const auto plant = [&] { return symlink(victim.c_str(), (f.shared / "o.top").c_str()) == 0; };
    ASSERT_TRUE(others ? AsOtherUser(plant) : plant());
    try {
      kv::RunConversion(Convert(f.root.path(), f.shared / "o.top", 1, true));
      EXPECT_FALSE(others) << "wrote through another user's link";
      EXPECT_TRUE(fs::is_symlink(f.shared / "o.top")) << "her own link stays";
      EXPECT_NE(ReadAll(victim), "precious");
    } catch (const kv::Error& e) {
      EXPECT_TRUE(others) << e.what();
      EXPECT_NE(std::string(e.what()).find("belongs to nobody (uid 65534)"), std::string::npos) << e.what();
      EXPECT_EQ(ReadAll(victim), "precious");
    }
  }
  // Export's output goes the same way.
  SharedFolder f;
  WriteAll(f.root / "thesis", "precious");
  kv::RunConversion(Convert(f.root.path(), f.root / "d.top", 1, true));
  ASSERT_TRUE(AsOtherUser([&] { return symlink((f.root / "thesis").c_str(), (f.shared / "t.dat").c_str()) == 0; }));
  EXPECT_THROW(kv::ExportMatrixTextToFile({f.root / "d.top", kGrid, 3, {}, {}}, f.shared / "t.dat"), kv::Error);
  EXPECT_EQ(ReadAll(f.root / "thesis"), "precious");
}

TEST(SharedFolder, AnotherUsersLockFileIsNamed) {
  for (const bool fifo : {true, false}) {
    SharedFolder f;
    const fs::path lock = f.shared / "o.top.kvcvrt-lock";
    ASSERT_TRUE(AsOtherUser([&] { return fifo ? mkfifo(lock.c_str(), 0600) == 0 : mkdir(lock.c_str(), 0700) == 0; }));
    try {
      kv::RunConversion(Convert(f.root.path(), f.shared / "o.top", 1, true));
      ADD_FAILURE() << "ran without its lock";
    } catch (const kv::Error& e) {
      EXPECT_NE(std::string(e.what()).find("belongs to nobody (uid 65534), and this run cannot use it (it is not a "
                                           "regular file). Ask nobody (uid 65534) to remove it"),
                std::string::npos)
          << e.what();
    }
  }
}

TEST(SharedFolder, ALongNameGetsALockName) {
  kvtest::ScratchDir dir;
  const kv::OutputLock lock(dir / std::string(250, 'x'), kv::LockKind::Exclusive);
  EXPECT_LE(kv::OutputLock::LockPath(dir / std::string(250, 'x')).filename().string().size(), 255u);
}

// A run held in its checking phase for a moment while another starts.
kv::ProgressCallback HoldFirstReport(std::atomic<bool>& held) {
  return [&held](const kv::ConversionProgress& p) {
    if (p.phase == kv::RunPhase::Checking && !held) {
      held = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(600));
    }
    return true;
  };
}

TEST(SharedFolder, AppendsThroughHardLinksBothLand) {
  kvtest::ScratchDir dir;
  kv::RunConversion(Convert(dir.path(), dir / "a.top", 1, true));
  fs::create_hard_link(dir / "a.top", dir / "b.top");
  std::atomic<bool> held = false;
  std::thread first([&] { kv::RunConversion(Convert(dir.path(), dir / "a.top", 2, false), HoldFirstReport(held)); });
  while (!held) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  kv::RunConversion(Convert(dir.path(), dir / "b.top", 3, false));
  first.join();
  const std::string bytes = ReadAll(dir / "a.top");
  for (const int period : {1, 2, 3}) EXPECT_GT(kvtest::BlockOf(bytes, period), 0) << "period " << period;
}

TEST(SharedFolder, AReaderWhoMayNotWriteTheFolderStillWaits) {
  kvtest::ScratchDir dir;
  const fs::path data = dir / "d.top";
  kv::RunConversion(Convert(dir.path(), data, 1, true));
  std::ostringstream before;
  kv::ExportMatrixText({data, kGrid, 3, {}, {}}, before);
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t reader = fork();
  if (reader == 0) {
    // A long read: the reader pauses once the data file is open under its lock.
    kvtest::FaultHookGuard slow([&](kv::FileOperation op, const fs::path& p) {
      if (op == kv::FileOperation::Open && p == data && write(ready[1], "x", 1) == 1) sleep(1);
      return 0;
    });
    if (setresuid(kOther, kOther, kOther) != 0) _exit(2);
    std::ostringstream text;
    kv::ExportMatrixText({data, kGrid, 3, {}, {}}, text);
    _exit(text.str() == before.str() ? 0 : 1);
  }
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  kv::ConversionRequest append = Convert(dir.path(), data, 1, false);
  append.lockWait = std::chrono::milliseconds(200);
  try {
    kv::RunConversion(append);
    ADD_FAILURE() << "wrote under a reader";
  } catch (const kv::Error& e) {
    EXPECT_EQ(e.kind(), kv::ErrorKind::Busy) << e.what();
  }
  int status = 0;
  waitpid(reader, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the reader saw another file";
}

}  // namespace
#endif

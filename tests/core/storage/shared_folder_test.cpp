// Other users and other names of the same file: a second user (a child process
// that drops to uid 65534) plants links and lock files in a sticky folder or
// reads without the right to write the folder; two names reach one file.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <sstream>
#include <thread>

#include "core/fault_support.h"
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
using kvtest::Refusal;

kv::ConversionRequest Convert(const fs::path& dir, const fs::path& out, int period, bool createNew) {
  const fs::path in = dir / ("in" + std::to_string(period) + ".dat");
  WriteAll(in, "1 " + std::to_string(period) + " 1 6*" + std::to_string(period) + "\n");
  return {{{in}}, out, 3, kGrid, createNew};
}

struct SharedFolder {
  kvtest::ScratchDir root;
  fs::path shared = root / "shared";
  fs::path victim = root / "thesis";
  SharedFolder() {
    fs::create_directory(shared);
    chmod(shared.c_str(), 01777);
    WriteAll(victim, "precious");
  }
  bool Plant(const fs::path& link) const { return symlink(victim.c_str(), link.c_str()) == 0; }
};

TEST(SharedFolder, OnlyHerOwnLinkIsFollowed) {
  for (const bool others : {true, false}) {
    SharedFolder f;
    ASSERT_TRUE(others ? kvtest::AsUser([&] { return !f.Plant(f.shared / "o.top"); }) == 0 : f.Plant(f.shared / "o.top"));
    const std::string refusal = Refusal([&] { kv::RunConversion(Convert(f.root.path(), f.shared / "o.top", 1, true)); });
    EXPECT_EQ(refusal.find("Did not follow the link " + (f.shared / "o.top").string() + ": it belongs to nobody (user id "
                           "65534), and the folder " + f.shared.string() + " is one everyone may write"),
              others ? 0 : std::string::npos) << refusal;
    EXPECT_EQ(ReadAll(f.victim) == "precious", others);
    EXPECT_TRUE(fs::is_symlink(f.shared / "o.top"));
  }
  SharedFolder f;  // export's output
  kv::RunConversion(Convert(f.root.path(), f.root / "d.top", 1, true));
  ASSERT_EQ(kvtest::AsUser([&] { return !f.Plant(f.shared / "t.dat"); }), 0);
  EXPECT_NE(Refusal([&] { kv::ExportMatrixTextToFile({f.root / "d.top", kGrid, 3, {}, {}}, f.shared / "t.dat"); }), "");
  EXPECT_EQ(ReadAll(f.victim), "precious");
}

TEST(SharedFolder, AnotherUsersLockFileIsNamed) {
  for (const bool fifo : {true, false}) {
    SharedFolder f;
    const fs::path lock = f.shared / "o.top.kvcvrt-lock";
    ASSERT_EQ(kvtest::AsUser([&] { return fifo ? mkfifo(lock.c_str(), 0600) : mkdir(lock.c_str(), 0700); }), 0);
    const std::string refusal = Refusal([&] { kv::RunConversion(Convert(f.root.path(), f.shared / "o.top", 1, true)); });
    EXPECT_NE(refusal.find("belongs to nobody (user id 65534), and this run cannot use it (it is not a regular file). Ask "
                           "nobody (user id 65534) to remove it"),
              std::string::npos) << refusal;
  }
  kvtest::ScratchDir dir;  // a name too long for "<name>.kvcvrt-lock"
  EXPECT_NO_THROW(kv::OutputLock(dir / std::string(250, 'x'), kv::LockKind::Exclusive));
}

TEST(SharedFolder, AppendsThroughHardLinksBothLand) {
  kvtest::ScratchDir dir;
  kv::RunConversion(Convert(dir.path(), dir / "a.top", 1, true));
  fs::create_hard_link(dir / "a.top", dir / "b.top");
  std::atomic<bool> held = false;
  // The first run holds still in its checking phase while the second starts.
  std::thread first([&] {
    kv::RunConversion(Convert(dir.path(), dir / "a.top", 2, false), [&](const kv::ConversionProgress&) {
      if (!held.exchange(true)) std::this_thread::sleep_for(std::chrono::milliseconds(600));
      return true;
    });
  });
  while (!held) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  kv::RunConversion(Convert(dir.path(), dir / "b.top", 3, false));
  first.join();
  for (const int period : {1, 2, 3}) EXPECT_GT(kvtest::BlockOf(ReadAll(dir / "a.top"), period), 0) << period;
}

TEST(SharedFolder, AReaderWhoMayNotWriteTheFolderStillWaits) {
  kvtest::ScratchDir dir;
  const fs::path data = dir / "d.top";
  kv::RunConversion(Convert(dir.path(), data, 1, true));
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t reader = fork();
  if (reader == 0) {
    // A long read: the reader pauses once the data file is open under its lock.
    kvtest::FaultHookGuard slow([&](kv::FileOperation op, const fs::path& p) {
      if (op == kv::FileOperation::Open && p == data && write(ready[1], "x", 1) == 1) sleep(2);
      return 0;
    });
    std::ostringstream text;
    _exit(setresuid(65534, 65534, 65534) != 0 || !Refusal([&] { kv::ExportMatrixText({data, kGrid, 3, {}, {}}, text); }).empty());
  }
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  kv::ConversionRequest append = Convert(dir.path(), data, 2, false);
  append.lockWait = std::chrono::milliseconds(200);
  EXPECT_EQ(Refusal([&] { kv::RunConversion(append); }).find("Another run is still working on"), 0u);
  int status = 0;
  waitpid(reader, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
#endif

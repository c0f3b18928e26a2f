// Other users and other names of the same file: a second user (a child process
// that drops to uid 65534) plants links and lock files in a sticky folder or
// reads without the right to write the folder; two names reach one file.
#include <gtest/gtest.h>
#if defined(__unix__)
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
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
using namespace kvtest;
const kv::GridSize kGrid{3, 2, 1};

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
  fs::create_symlink("d.top", f.root / "d.link");  // read through a link of hers beside the output
  EXPECT_EQ(Refusal([&] { kv::ExportMatrixTextToFile({f.root / "d.link", kGrid, 3, {}, {}}, f.root / "t.txt"); }), "");
}

// One rule for every folder and every step of a path: nobody's link is
// followed only to what nobody may change; a sticky folder adds the system's rule.
TEST(SharedFolder, AnotherUsersLinkLendsNoAccess) {
  // Folder mode, link, its target, output, the shared target's mode and group (65534: nobody's own), followed.
  for (const auto& [mode, link, to, output, fileMode, group, followed] :
       {std::tuple{02777, "site.top", "thesis", "site.top", 0666, 0, false},  // a group folder, the output a link
        {02777, "dirlink", "private", "dirlink/thesis", 0666, 0, false},      // a link in the middle
        {01777, "dirlink", "private", "dirlink/thesis", 0666, 0, false},
        {02777, "current.top", "shared/thesis", "current.top", 0666, 0, true},  // to what its owner may change
        {02777, "current.top", "shared/thesis", "current.top", 0660, 65534, true},
        {02777, "current.top", "shared/thesis", "current.top", 0660, 0, false}}) {
    SharedFolder f;
    chmod(f.shared.c_str(), static_cast<mode_t>(mode));
    fs::create_directory(f.root / "private");
    for (const fs::path& other : {f.root / "private" / "thesis", f.shared / "thesis"}) WriteAll(other, "precious");
    ASSERT_EQ(chmod((f.shared / "thesis").c_str(), static_cast<mode_t>(fileMode)) +
                  chown((f.shared / "thesis").c_str(), 0, static_cast<gid_t>(group)), 0);
    const fs::path target = std::string(to) == "private" ? f.root / "private" / "thesis" : f.root / to;
    ASSERT_EQ(kvtest::AsUser([&] { return symlink((f.root / to).c_str(), (f.shared / link).c_str()); }), 0);
    const std::string refusal = Refusal([&] { kv::RunConversion(Convert(f.root.path(), f.shared / output, 1, true)); });
    EXPECT_EQ(refusal.find("Did not follow the link " + (f.shared / link).string() + ": it belongs to nobody"),
              followed ? std::string::npos : 0u) << refusal;
    EXPECT_EQ(ReadAll(target) == "precious", !followed) << output << std::oct << fileMode;
    EXPECT_TRUE(fs::is_symlink(f.shared / link));
  }
}

// Her link swapped in and out at the output while runs append there: no run writes through it.
TEST(SharedFolder, ALinkSwappedInDuringRunsIsNeverWrittenThrough) {
  SharedFolder f;
  kv::RunConversion(Convert(f.root.path(), f.victim, 1, true));
  const std::string before = ReadAll(f.victim);
  const fs::path out = f.shared / "x.top";
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  const pid_t swapper = fork();
  if (swapper == 0) {
    if (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0) _exit(99);
    while (std::chrono::steady_clock::now() < end) (void)!symlink(f.victim.c_str(), out.c_str()), unlink(out.c_str());
    _exit(0);
  }
  int runs = 0;
  for (; std::chrono::steady_clock::now() < end; ++runs) {
    Refusal([&] { kv::RunConversion(Convert(f.root.path(), out, 2 + runs % 5, false)); });
    if (fs::is_regular_file(fs::symlink_status(out))) fs::remove(out);
  }
  EXPECT_EQ(kvtest::ExitCode(swapper), 0);
  EXPECT_TRUE(kvtest::SameBytes(ReadAll(f.victim), before)) << runs << " runs";
}

// Her FIFO at the output, or her link to it in a group folder, gets nothing: nobody reads what is not theirs.
TEST(SharedFolder, AnotherUsersFifoIsNotWrittenInto) {
  for (const auto& [mode, name] : {std::pair{01777, "p.fifo"}, {02777, "link.txt"}}) {
    SharedFolder f;
    chmod(f.shared.c_str(), static_cast<mode_t>(mode));
    kv::RunConversion(Convert(f.root.path(), f.root / "d.top", 1, true));
    ASSERT_EQ(kvtest::AsUser([&] {
      return mkfifo((f.shared / "p.fifo").c_str(), 0666) || (fs::path(name) != "p.fifo" &&
                                                             symlink("p.fifo", (f.shared / name).c_str()));
    }), 0);
    const std::string refusal =
        Refusal([&] { kv::ExportMatrixTextToFile({f.root / "d.top", kGrid, 3, {}, {}}, f.shared / name); });
    EXPECT_NE(refusal.find("Did not write into " + (f.shared / "p.fifo").string() + ": it belongs to nobody"),
              std::string::npos) << refusal;
  }
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

// A file moved over the output between its lock and its opening is not appended to.
TEST(SharedFolder, AFileSwappedInAfterTheLockIsNotAppendedTo) {
  kvtest::ScratchDir dir;
  kv::RunConversion(Convert(dir.path(), dir / "o.top", 1, true));
  kv::RunConversion(Convert(dir.path(), dir / "other.top", 2, true));
  const std::string other = ReadAll(dir / "other.top");
  bool swapped = false;
  kvtest::FaultHookGuard swap([&](kv::FileOperation op, const fs::path& p) {
    if (op == kv::FileOperation::Open && p == dir / "o.top" && !swapped) swapped = true, fs::rename(dir / "other.top", p);
    return 0;
  });
  EXPECT_EQ(Refusal([&] { kv::RunConversion(Convert(dir.path(), dir / "o.top", 3, false)); })
                .find("Another file took the place of " + (dir / "o.top").string()), 0u);
  EXPECT_EQ(ReadAll(dir / "o.top"), other);
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
  EXPECT_EQ(kvtest::ExitCode(reader), 0);
}

}  // namespace
#endif

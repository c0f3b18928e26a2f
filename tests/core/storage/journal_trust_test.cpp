// Journals that must never be applied (planted by another user, left by a run
// on a file replaced since, written by another version), what a killed run
// leaves beside a file, and side-file names of long file names.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/fault_support.h"
#include "test_support.h"
#include "zuduradu/core/error.h"
#include "zuduradu/core/format/period_data_file.h"
#include "zuduradu/core/run/conversion.h"
#include "zuduradu/core/run/data_file_info.h"
#include "zuduradu/core/storage/journal.h"
#include "zuduradu/core/storage/output_lock.h"
#include "zuduradu/core/storage/side_file_name.h"

#if defined(__unix__)
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
namespace fs = std::filesystem;
using kvtest::ReadAll;
using kvtest::WriteAll;
const kv::GridSize kGrid{3, 2, 2};
const std::string kSeed = "2 1 1 6*1.5 2 1 6*2.5", kAppend = "2 1 1 6*9 3 1 6*8";

// Runs f in a child process acting as user `uid`; f's answer is the exit code.
template <typename F>
int AsUser(uid_t uid, F&& f) {
  const int status = kvtest::InChild([&] { _exit(setresgid(uid, uid, uid) || setresuid(uid, uid, uid) ? 99 : f()); });
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// 0 when `run` is refused with a message that contains `text`.
template <typename Run>
int Refused(Run&& run, const std::string& text) {
  try {
    run();
    return 1;
  } catch (const kv::Error& e) {
    return std::string(e.what()).find(text) == std::string::npos ? (ADD_FAILURE() << e.what(), 2) : 0;
  }
}

TEST(JournalTrust, AnotherUsersJournalIsNeverApplied) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as two users";
  char name[] = "/tmp/kvcvrt_sticky_XXXXXX";
  const fs::path dir = mkdtemp(name);
  ASSERT_EQ(chmod(dir.c_str(), 01777), 0);  // a scratch folder, like /tmp
  const fs::path f = dir / "f.top", in = dir / "in.dat", evil = dir / "evil";
  for (const uid_t victim : {uid_t{0}, uid_t{65533}}) {
    for (const bool truncate : {false, true}) {
      fs::remove_all(dir / "f.top.kvcvrt-journal");
      fs::remove(f);
      ASSERT_EQ(AsUser(victim, [&] { return WriteAll(in, kSeed), kv::RunConversion({in, f, 3, kGrid, false}), 0; }), 0);
      const std::string before = ReadAll(f);
      // The forger gives the file's present bytes as the "new" ones: only the owner check is left to stop it.
      ASSERT_EQ(AsUser(65534, [&] {
        WriteAll(evil, std::string(before.size(), 'X'));
        kv::BinaryFile source(truncate ? f : evil, kv::BinaryFile::Mode::Read);
        const auto* bytes = reinterpret_cast<const unsigned char*>(before.data());
        const kv::PlannedWrite write{4000, {bytes + 4000, before.size() - 4000}, {}};
        return kv::WriteJournal(f, source, truncate ? 4000 : static_cast<std::int64_t>(before.size()), {&write, 1}) > 0 ? 0 : 1;
      }), 0);
      EXPECT_EQ(AsUser(victim, [&] {
        const std::string why = "belongs to nobody (user id 65534), not to you";
        return Refused([&] { kv::DescribeDataFile(f, {}); }, why) +
               Refused([&] { kv::RunConversion({in, f, 3, kGrid, false}); }, "was left as it is");
      }), 0) << "victim " << victim << ", truncate " << truncate;
      EXPECT_TRUE(kvtest::SameBytes(ReadAll(f), before)) << "victim " << victim << ", truncate " << truncate;
    }
  }
  fs::remove_all(dir);
}

TEST(JournalTrust, AStaleJournalMeetsAnotherFile) {
  kvtest::ScratchDir dir;
  const fs::path f = dir / "f.top", other = dir / "other.top", in = dir / "in.dat";
  WriteAll(in, "2 1 1 6*4 2 1 6*5");
  kv::RunConversion({in, other, 3, kGrid, false});
  struct Case {
    const char* name;
    void (*after)(const fs::path& f, const fs::path& other);
    const char* why;
  };
  const std::vector<Case> cases = {
      {"cp other f", [](const fs::path& t, const fs::path& o) { WriteAll(t, ReadAll(o)); }, "replaced or changed since"},
      {"rm f; cp other f", [](const fs::path& t, const fs::path& o) { fs::remove(t), WriteAll(t, ReadAll(o)); }, "does not belong"},
      {"older version", [](const fs::path& t, const fs::path&) {
         std::string j = ReadAll(kv::JournalPath(t));
         WriteAll(kv::JournalPath(t), j.replace(7, 1, "1"));
       }, "written by another version of kvcvrt"},
  };
  for (const Case& c : cases) {
    fs::remove(f), fs::remove(kv::JournalPath(f));
    WriteAll(in, kSeed);
    kv::RunConversion({in, f, 3, kGrid, false});
    WriteAll(in, kAppend);
    kvtest::InChild([&] {  // killed before its first byte into the file
      kv::SetFaultHookForTesting([&](kv::FileOperation op, const fs::path& p) {
        return op == kv::FileOperation::Write && p == f ? kill(getpid(), SIGKILL) : 0;
      });
      kv::RunConversion({in, f, 3, kGrid, false});
    });
    ASSERT_TRUE(fs::exists(kv::JournalPath(f))) << c.name;
    c.after(f, other);
    const std::string now = ReadAll(f);
    EXPECT_EQ(Refused([&] { kv::DescribeDataFile(f, {}); }, c.why), 0) << c.name;
    EXPECT_TRUE(kvtest::SameBytes(ReadAll(f), now)) << c.name;
  }
}

TEST(JournalTrust, LeftoversGoWhenNoRunCanUseThem) {
  kvtest::ScratchDir dir;
  const fs::path f = dir / "f.top";
  WriteAll(dir / "in.dat", kSeed);
  kv::RunConversion({dir / "in.dat", f, 3, kGrid, false});
  for (const char* ours : {".kvcvrt-partial-0123abcd", ".kvcvrt-journal-new-0badcafe"}) WriteAll(f.string() + ours, "x");
  WriteAll(f.string() + ".kvcvrt-partial-0123abc", "not quite the name");
  fs::create_symlink(f, f.string() + ".kvcvrt-partial-89abcdef");
  std::vector<std::string> kept = {"f.top.kvcvrt-partial-0123abc", "f.top.kvcvrt-partial-89abcdef"};
  if (geteuid() == 0) {
    WriteAll(f.string() + ".kvcvrt-partial-fedcba98", "another user's");
    ASSERT_EQ(chown((f.string() + ".kvcvrt-partial-fedcba98").c_str(), 65534, 65534), 0);
    kept.push_back("f.top.kvcvrt-partial-fedcba98");
  }
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t reader = fork();
  if (reader == 0) {
    const kv::OutputLock lock(f, kv::LockKind::Shared);
    (void)!write(ready[1], "x", 1);
    pause();
  }
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  kv::DescribeDataFile(f, {});  // beside another reader: nothing is removed
  EXPECT_EQ(kvtest::LeftBeside(f).size(), kept.size() + 3);
  kill(reader, SIGKILL);
  waitpid(reader, nullptr, 0);
  kv::DescribeDataFile(f, {});
  std::vector<std::string> left = kvtest::LeftBeside(f);
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, kept);
}

TEST(SideFileNames, LongNamesGetJournalsThatFit) {
  kvtest::ScratchDir dir;
  std::string wide;
  while (wide.size() < 250) wide += "\xc3\xa9";  // é: two bytes each
  for (const std::string& name : {std::string(250, 'a'), std::string(249, 'a') + "b", wide}) {
    const std::string journal = kv::SideFileName(name, ".kvcvrt-journal");
    EXPECT_LE(journal.size(), 255u);
    EXPECT_EQ(journal.substr(0, 200), name.substr(0, 200));
    // A real file of that name journals, is written and rolls back.
    const fs::path f = dir / name;
    ASSERT_TRUE(kv::CreateDataFile(kGrid, f, 1.5f, 3));
    const std::string before = ReadAll(f);
    const std::vector<float> values(6, 9.0f);
    const kv::PlannedWrite write{4000, {}, values};
    kv::BinaryFile file(f, kv::BinaryFile::Mode::Update);
    kv::WriteJournal(f, file, file.Length(), {&write, 1});
    kv::ApplyPlannedWrites(file, {&write, 1});
    file.Close();
    EXPECT_TRUE(kv::RollBackInterruptedRun(f));
    EXPECT_EQ(ReadAll(f), before);
  }
  EXPECT_NE(kv::SideFileName(std::string(250, 'a'), "-x"), kv::SideFileName(std::string(249, 'a') + "b", "-x"));
  EXPECT_EQ(kv::SideFileName("f.top", ".kvcvrt-journal"), "f.top.kvcvrt-journal");
}

}  // namespace
#endif

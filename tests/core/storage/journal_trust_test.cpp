// Journals that must never be applied (planted by another user, left by a run
// on a file replaced since, written by another version), what a killed run
// leaves beside a file, and side-file names of long file names.
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <vector>

#include "core/fault_support.h"
#include "zuduradu/core/error.h"
#include "zuduradu/core/format/data_file_info.h"
#include "zuduradu/core/format/period_data_file.h"
#include "zuduradu/core/run/conversion.h"
#include "zuduradu/core/run/data_file_export.h"
#include "zuduradu/core/storage/journal.h"
#include "zuduradu/core/storage/le_bytes.h"
#include "zuduradu/core/storage/output_lock.h"
#include "zuduradu/core/storage/side_file_name.h"
#include "zuduradu/core/message_text.h"
#include "zuduradu/core/view/layer_pictures.h"
#include "zuduradu/core/view/stored_layers.h"

#if defined(__unix__)
#include <sys/stat.h>

namespace {
namespace fs = std::filesystem;
using namespace kvtest;
const kv::GridSize kGrid{3, 2, 2};
const std::string kSeed = "2 1 1 6*1.5 2 1 6*2.5", kAppend = "2 1 1 6*9 3 1 6*8";
const std::vector<float> kNines(6, 9.0f);
const kv::PlannedWrite kNinesInBlock1{4000, {}, kNines};  // a layer of nines over block 1's first layer

void Convert(const fs::path& in, const fs::path& out, const std::string& text) {
  WriteAll(in, text);
  kv::RunConversion({{{in}}, out, 3, kGrid, false});
}

// Whether `run` is refused with a message that holds `text`.
bool Refused(const std::function<void()>& run, const std::string& text) {
  return kvtest::Refusal(run).find(text) != std::string::npos;
}

TEST(JournalTrust, AnotherUsersJournalIsNeverApplied) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as two users";
  char name[] = "/tmp/kvcvrt_sticky_XXXXXX";
  const fs::path dir = mkdtemp(name), f = dir / "f.top", in = dir / "in.dat";
  ASSERT_EQ(chmod(dir.c_str(), 01777), 0);  // a scratch folder, like /tmp
  for (const uid_t victim : {0u, 65533u}) {
    for (const bool truncate : {false, true}) {
      fs::remove(kv::JournalPath(f)), fs::remove(f), fs::remove(in);
      ASSERT_EQ(kvtest::AsUser([&] { return Convert(in, f, kSeed), 0; }, victim), 0);
      const std::string before = ReadAll(f);
      // The forger offers the file's present bytes as the "new" ones: only the owner check stands in the way.
      ASSERT_EQ(kvtest::AsUser([&] {
        WriteAll(dir / "evil", std::string(before.size(), 'X'));
        kv::BinaryFile source(truncate ? f : dir / "evil", kv::BinaryFile::Mode::Read);
        const auto* bytes = reinterpret_cast<const unsigned char*>(before.data()) + 4000;
        const kv::PlannedWrite w{4000, {bytes, before.size() - 4000}, {}};
        return kv::WriteJournal(f, source, truncate ? 4000 : source.Length(), {&w, 1}) > 0 ? 0 : 1;
      }), 0);
      EXPECT_EQ(kvtest::AsUser([&] {
        return Refused([&] { kv::DescribeDataFile(f, {}); }, "belongs to nobody (user id 65534), not to you") &&
               Refused([&] { Convert(in, f, kAppend); }, "was left as it is") ? 0 : 1;
      }, victim), 0) << "victim " << victim << ", truncate " << truncate;
      EXPECT_TRUE(kvtest::SameBytes(ReadAll(f), before)) << "victim " << victim << ", truncate " << truncate;
    }
  }
  fs::remove_all(dir);
}

TEST(JournalTrust, AStaleJournalMeetsAnotherFile) {
  kvtest::ScratchDir dir;
  const fs::path f = dir / "f.top", other = dir / "other.top", in = dir / "in.dat";
  Convert(in, other, "2 1 1 6*4 2 1 6*5");
  const std::vector<std::pair<std::function<void()>, const char*>> cases = {
      {[&] { WriteAll(f, ReadAll(other)); }, "replaced or changed since"},               // cp other f
      {[&] { fs::remove(f), WriteAll(f, ReadAll(other)); }, "does not belong to"},  // rm f; cp other f
      {[&] { WriteAll(kv::JournalPath(f), ReadAll(kv::JournalPath(f)).replace(7, 1, "1")); }, "another version"},
  };
  for (const auto& [after, why] : cases) {
    fs::remove(f), fs::remove(kv::JournalPath(f));
    Convert(in, f, kSeed);
    // An append killed before its first byte into the file.
    kvtest::KilledAt([&](kv::FileOperation op, const fs::path& p) { return op == kv::FileOperation::Write && p == f; },
                     [&] { Convert(in, f, kAppend); });
    after();
    const std::string now = ReadAll(f);
    EXPECT_TRUE(Refused([&] { kv::DescribeDataFile(f, {}); }, why)) << why;
    EXPECT_TRUE(kvtest::SameBytes(ReadAll(f), now)) << why;
  }
}

// A run through one name of a file, killed with the file torn, is found
// through its other name: rolled back before a read, before an append and
// before a diff of both names (which never waits for its own lock), and never
// undone after a run that completed. A name in another folder is refused.
TEST(JournalTrust, AnyNameOfAFileFindsItsJournal) {
  kvtest::ScratchDir dir;
  const fs::path a = dir / "a.top", b = dir / "b.top", in = dir / "in.dat", clean = dir / "clean.top";
  Convert(in, clean, kSeed);
  const std::string seeded = ReadAll(clean);
  Convert(in, clean, kAppend);
  const kv::StoredFile named{b, kGrid, 3, {std::chrono::milliseconds(300), {}}};
  // Each reader says it rolled the file back first.
  const std::vector<std::tuple<const char*, std::function<bool()>, std::string>> next = {
      {"read", [&] { return kv::DescribeDataFile(b, {}).rolledBack; }, seeded},
      {"diff", [&] { const kv::DiffReport d = kv::DiffDataFiles(named, a, 0); return d.within && d.rolledBackFirst; }, seeded},
      {"pictures",
       [&] { return kv::DrawStoredPictures({named, {}, "all", "all", {}, {}, kv::PathText(dir / "p{period}-{layer}.png"), {}}).rolledBack; },
       seeded},
      {"append", [&] { return Convert(in, b, kAppend), true; }, ReadAll(clean)},
  };
  for (const auto& [what, run, after] : next) {
    fs::remove(a), fs::remove(b);
    Convert(in, a, kSeed);
    fs::create_hard_link(a, b);
    int writes = 0;
    kvtest::KilledAt([&](kv::FileOperation op, const fs::path& p) { return op == kv::FileOperation::Write && p == a && ++writes == 2; },
                     [&] { Convert(in, a, kAppend); });
    ASSERT_TRUE(fs::exists(dir / "a.top.kvcvrt-journal")) << what;
    bool said = false;
    EXPECT_EQ(kvtest::Refusal([&] { said = run(); }), "") << what;
    EXPECT_TRUE(said) << what;
    EXPECT_FALSE(fs::exists(dir / "a.top.kvcvrt-journal")) << what;
    kv::DescribeDataFile(a, {});
    EXPECT_TRUE(kvtest::SameBytes(ReadAll(a), after)) << what;
  }
  fs::create_directory(dir / "elsewhere");
  fs::create_hard_link(a, dir / "elsewhere" / "c.top");
  EXPECT_TRUE(Refused([&] { Convert(in, a, kAppend); }, "1 of them in other folders"));
  EXPECT_TRUE(kvtest::SameBytes(ReadAll(a), ReadAll(clean)));
  // Files beside it that record its identity but are no journal of this version, or of no file's name, are not taken.
  const kv::FileIdentity id = *kv::IdentityOf(a);
  std::string identity(16, '\0');
  kv::Put64(reinterpret_cast<unsigned char*>(identity.data()), id.device);
  kv::Put64(reinterpret_cast<unsigned char*>(identity.data()) + 8, id.file);
  WriteAll(dir / "a.top.kvcvrt-journal", "KVCVRTJ1" + identity + std::string(64, 'x'));
  WriteAll(dir / ".kvcvrt-journal", "KVCVRTJ2" + identity + std::string(64, 'x'));
  EXPECT_EQ(kv::JournalPath(b), dir / "b.top.kvcvrt-journal");
}

TEST(JournalTrust, AnotherUsersFileIsAppendedThroughACopy) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to give a file away";
  kvtest::ScratchDir dir;
  const fs::path f = dir / "f.top";
  Convert(dir / "in.dat", f, kSeed);
  ASSERT_EQ(chown(f.c_str(), 65533, 65533), 0);
  const std::string before = ReadAll(f);
  // Root's run killed at its first data write: a journal of root's would lock the owner out.
  kvtest::KilledAt([&](kv::FileOperation op, const fs::path& p) {
    return op == kv::FileOperation::Write && p.string().find("journal") == std::string::npos;
  }, [&] { Convert(dir / "in.dat", f, kAppend); });
  EXPECT_EQ(kvtest::AsUser([&] { return kvtest::Refusal([&] { kv::DescribeDataFile(f, {}); }).empty() ? 0 : 1; }, 65533), 0);
  EXPECT_EQ(ReadAll(f), before);
  Convert(dir / "in.dat", f, kAppend);
  struct stat st {};
  EXPECT_TRUE(stat(f.c_str(), &st) == 0 && st.st_uid == 65533u);
}

// Runs take the same side names while they hold the lock, so what a killed one left is found by its name; only
// where something else holds that name (and runs took unique ones) is the folder searched.
TEST(JournalTrust, LeftoversGoWhenNoRunCanUseThem) {
  for (const bool lockedNameTaken : {false, true}) {
    kvtest::ScratchDir dir;
    const fs::path f = dir / "f.top";
    const std::string p = f.string();
    Convert(dir / "in.dat", f, kSeed);
    std::vector<std::string> kept = {"f.top.kvcvrt-partial-0123abc"};
    WriteAll(p + ".kvcvrt-partial-0123abc", "not quite the name");
    for (const char* ours : {".kvcvrt-partial-00000000", ".kvcvrt-journal-new-00000000"}) WriteAll(p + ours, "ours");
    WriteAll(p + ".kvcvrt-partial-0123abcd", "ours, by a run that found the name taken");
    if (lockedNameTaken) {
      fs::remove(p + ".kvcvrt-partial-00000000");
      fs::create_symlink(f, p + ".kvcvrt-partial-00000000");
      kept.push_back("f.top.kvcvrt-partial-00000000");
      WriteAll(p + ".kvcvrt-partial-fedcba98", "another user's");
      if (chown((p + ".kvcvrt-partial-fedcba98").c_str(), 65534, 65534) == 0) kept.push_back("f.top.kvcvrt-partial-fedcba98");
    } else {
      kept.push_back("f.top.kvcvrt-partial-0123abcd");
    }
    {
      const kv::OutputLock reader(f, kv::LockKind::Shared);  // another reader: no time to tidy up
      kv::DescribeDataFile(f, {});
      EXPECT_EQ(kvtest::LeftBeside(f).size(), kept.size() + 3);  // besides, two of ours and the lock file
    }
    kv::DescribeDataFile(f, {});
    std::vector<std::string> left = kvtest::LeftBeside(f);
    std::ranges::sort(left), std::ranges::sort(kept);
    EXPECT_EQ(left, kept) << lockedNameTaken;
  }
}

TEST(JournalTrust, AKilledExportsCopyGoesWithTheNextExport) {
  kvtest::ScratchDir dir;
  const fs::path f = dir / "f.top", out = dir / "out.txt";
  Convert(dir / "in.dat", f, kSeed);
  kvtest::KilledAt([&](kv::FileOperation op, const fs::path& p) {
    return op == kv::FileOperation::Write && p.filename().string().starts_with("out.txt.kvcvrt-partial-");
  }, [&] { kv::ExportMatrixTextToFile({f, kGrid, 3, {}, {}}, out); });
  EXPECT_EQ(std::ranges::count_if(kvtest::LeftBeside(out), [](const std::string& n) { return n.find("partial") != n.npos; }), 1);
  kv::ExportMatrixTextToFile({f, kGrid, 3, {}, {}}, out);
  EXPECT_TRUE(kvtest::LeftBeside(out).empty());
}

TEST(SideFileNames, LongNamesGetJournalsThatFit) {
  kvtest::ScratchDir dir;
  std::string wide;
  while (wide.size() < 250) wide += "\xc3\xa9";  // é, two bytes each
  EXPECT_EQ(kv::SideFileName(wide, ".kvcvrt-journal").size(), 254u);  // not cut inside a character
  EXPECT_NE(kv::SideFileName(std::string(250, 'a'), "-x"), kv::SideFileName(std::string(249, 'a') + "b", "-x"));
  // A file of such a name journals, is written, and rolls back.
  const fs::path f = dir / wide;
  ASSERT_TRUE(kv::CreateDataFile(kGrid, f, 1.5f, 3));
  const std::string before = ReadAll(f);
  kv::BinaryFile file(f, kv::BinaryFile::Mode::Update);
  kv::WriteJournal(f, file, file.Length(), {&kNinesInBlock1, 1});
  kv::ApplyPlannedWrites(file, {&kNinesInBlock1, 1});
  file.Close();
  EXPECT_TRUE(kv::RollBackInterruptedRun(f));
  EXPECT_EQ(ReadAll(f), before);
}

// A journal holds the file's old bytes: it may be read by whoever may read the file, written by its owner only.
TEST(JournalTrust, AJournalIsReadableAsItsFileIs) {
  kvtest::ScratchDir dir;
  const fs::path f = dir / "f.top";
  ASSERT_TRUE(kv::CreateDataFile(kGrid, f, 1.5f, 3));
  const mode_t mask = umask(077);  // the journal's bits are its file's, whatever the umask
  for (const auto& [mode, journal] : {std::pair{0644, 0644}, {0640, 0640}, {0604, 0604}, {0666, 0644}, {0400, 0600}}) {
    fs::permissions(f, static_cast<fs::perms>(mode));
    kv::BinaryFile file(f, kv::BinaryFile::Mode::Read);
    kv::WriteJournal(f, file, file.Length(), {&kNinesInBlock1, 1});
    EXPECT_EQ(static_cast<int>(fs::status(kv::JournalPath(f)).permissions()), journal) << std::oct << mode;
    fs::remove(kv::JournalPath(f));
  }
  umask(mask);
}

}  // namespace
#endif

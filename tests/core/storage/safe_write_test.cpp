// The write path under an ordinary day's faults: any file operation failing, kills after any operation
// or at random, racing runs, planted links, journals not ours, the input changing under the run.
// Afterwards the file is always the old one or the complete new one.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "core/fault_support.h"
#include "zuduradu/core/format/data_file_info.h"
#include "zuduradu/core/format/data_file_reader.h"
#include "zuduradu/core/run/data_file_export.h"
#include "zuduradu/core/storage/journal.h"
#include "zuduradu/core/storage/os.h"
#include "zuduradu/core/storage/output_lock.h"

#if defined(__unix__)
#include <sys/resource.h>
#endif

namespace {

namespace fs = std::filesystem;
using namespace kvtest;

// Each file operation of a run in turn fails (full disk, failing device, refused permission) and, on
// POSIX, the process is killed just before it. A failed run names the reason and says the file is as it
// was or names the journal that puts it back; the next command finds the old file or the new one and
// nothing beside it, and the run done again completes.
TEST(SafeWrites, EveryFileOperationFailingOrKilled) {
  ScratchDir root;
  for (const Road& road : kRoads) {
    Scene model(root / "model");  // an undisturbed run counts its file operations
    int total = 0, seen = 0;
    {
      FaultHookGuard count([&](kv::FileOperation, const fs::path&) { return ++total, 0; });
      kv::RunConversion(model.Request(road));
    }
    const std::string after = ReadAll(model.out);
    ASSERT_GT(total, 5) << road.name;
    for (int n = 1; n <= total; ++n) {
      const int error = n % 3 == 0 ? ENOSPC : n % 3 == 1 ? EIO : EACCES;
      Scene scene(root / "run");
      seen = 0;
      const std::string what = [&] {
        FaultHookGuard fail([&](kv::FileOperation, const fs::path&) { return ++seen == n ? error : 0; });
        return Refusal([&] { kv::RunConversion(scene.Request(road)); });
      }();
      std::string trace = std::string(road.name) + ", operation " + std::to_string(n) + " fails: " + what;
      kv::DescribeDataFile(scene.out, {});
      std::string now = ReadAll(scene.out);
      EXPECT_TRUE(now == scene.before || now == after) << trace;
      if (now == scene.before) {
        EXPECT_NE(what.find(kv::SystemReason(error)), std::string::npos) << trace;
        const std::string journal = "journal " + kv::JournalPath(scene.out).string();
        EXPECT_TRUE(what.ends_with(" was not changed.") || what.ends_with(journal + " restores it at the next run.") ||
                    what.ends_with(journal + " could not be removed: the next command that opens the file rolls it "
                                             "back to the data it held before this run. Remove the journal to keep the new data."))
            << trace;
      }
      EXPECT_EQ(LeftBeside(scene.out), std::vector<std::string>{}) << trace;
#if defined(__unix__)
      Scene killed(root / "run");
      seen = 0;
      const int status = KilledAt([&](kv::FileOperation, const fs::path&) { return ++seen == n; },
                                  [&] { kv::RunConversion(killed.Request(road)); });
      trace = std::string(road.name) + ", killed before operation " + std::to_string(n);
      ASSERT_TRUE(WIFSIGNALED(status)) << trace;
      kv::DescribeDataFile(killed.out, {});
      now = ReadAll(killed.out);
      EXPECT_TRUE(now == killed.before || now == after) << trace << ": " << SameBytes(now, killed.before);
      kv::RunConversion(killed.Request(road));
      EXPECT_TRUE(SameBytes(ReadAll(killed.out), after)) << trace;
      EXPECT_EQ(LeftBeside(killed.out), std::vector<std::string>{}) << trace;
#endif
    }
  }
}

TEST(SafeWrites, BackgroundWriteFailure) {
  // Layers this large are written on a second thread; its failure must still stop the run.
  ScratchDir dir;
  WriteAll(dir / "in.dat", "3 1 1 90000*1 2 1 90000*2 3 1 90000*3");
  WriteAll(dir / "o.top", "old bytes");
  int writes = 0;
  FaultHookGuard guard([&](kv::FileOperation op, const fs::path&) {
    return op == kv::FileOperation::Write && ++writes == 3 ? ENOSPC : 0;
  });
  EXPECT_KV_ERROR(kv::RunConversion({{{dir / "in.dat"}}, dir / "o.top", 3, {300, 300, 1}, true}), Io,
                  kv::os::ErrorWords(ENOSPC));
  EXPECT_EQ(ReadAll(dir / "o.top"), "old bytes");
  EXPECT_TRUE(LeftBeside(dir / "o.top").empty());
}

TEST(SafeWrites, InputShrinkingOrVanishingDuringTheRun) {
  ScratchDir root;
#if defined(__unix__)
  {  // The open input stays readable after its name is removed: the run completes.
    Scene scene(root / "s");
    auto removeInput = [&](const kv::ConversionProgress& p) { return p.setsDone != 1 || fs::remove(scene.in); };
    EXPECT_EQ(kv::RunConversion(scene.Request(kRoads[0]), removeInput).stored, 4);
  }
#endif
  for (const bool createNew : {false, true}) {
    Scene scene(root / "s");
    // Large enough that the reader cannot have it all in the chunks it reads ahead.
    WriteAll(scene.in, "5" + ReadAll(scene.in).substr(1) + std::string(3 << 20, ' ') + " 7 1 6*1");
    kv::ConversionRequest req = scene.Request(kRoads[createNew ? 2 : 0]);
    req.threads = createNew ? 1 : 2;
    req.readChunkBytes = createNew ? 0 : 64 << 10;
    const auto shrink = [&](const auto& p) { return p.setsDone != 1 || (fs::resize_file(scene.in, 2 << 20), true); };
    EXPECT_KV_ERROR(kv::RunConversion(req, shrink), BadInput, "the file ends before the period of data set 5");
    EXPECT_TRUE(SameBytes(ReadAll(scene.out), scene.before));
  }
}

TEST(SafeWrites, ASecondRunWaitsForTheFirst) {
  ScratchDir root;
  Scene scene(root / "s");
#if defined(__unix__)
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t holder = fork();
  if (holder == 0) {
    const kv::OutputLock lock(scene.out, kv::LockKind::Exclusive);
    (void)!write(ready[1], "x", 1);
    pause();
    _exit(0);
  }
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
#else
  // Without fork the holder is a lock of this process on a handle of its own,
  // which keeps the run's own lock out just the same.
  std::optional<kv::OutputLock> holder(std::in_place, scene.out, kv::LockKind::Exclusive);
#endif
  int waits = 0;
  auto counting = [&](const kv::ConversionProgress& p) { return p.phase != kv::RunPhase::Waiting || ++waits > 0; };
  kv::ConversionRequest r = scene.Request(kRoads[0]);
  r.lockWait = std::chrono::milliseconds(300);
#if defined(__linux__)
  const std::string holderNamed = "; it is held by process " + std::to_string(holder) + " (";
#else
  const std::string holderNamed = ". The output file " + scene.out.string() + " was not changed.";
#endif
  EXPECT_KV_ERROR(kv::RunConversion(r, counting), Busy,
                  "Another run is still working on " + scene.out.string() + "; gave up after waiting 300 ms" + holderNamed);
  EXPECT_GT(waits, 0);
  // Cancelling while waiting costs nothing.
  EXPECT_KV_ERROR(kv::RunConversion(r, [](const kv::ConversionProgress& p) { return p.phase != kv::RunPhase::Waiting; }),
                  Cancelled, "");
#if defined(__unix__)
  // The lock dies with its process.
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
#else
  holder.reset();
#endif
  r.lockWait = std::chrono::seconds(5);
  EXPECT_EQ(kv::RunConversion(r).stored, 4);
  EXPECT_EQ(LeftBeside(scene.out), std::vector<std::string>{});
}

TEST(SafeWrites, DurableBeforeItIsDone) {
  // The order of the operations that make a result survive a power cut.
  ScratchDir root;
  for (const Road& road : kRoads) {
    Scene scene(root / "s");
    std::vector<std::string> ops;
    {
      FaultHookGuard record([&](kv::FileOperation op, const fs::path& p) {
        const std::string name = p.filename().string(), what = fs::is_directory(p) ? "folder"
            : name.find("journal") != name.npos ? "journal" : name.find("partial") != name.npos ? "partial" : "output";
        const char* names[] = {"open", "create", "write", "close", "replace", "sync", "remove", "truncate"};
        if (op != kv::FileOperation::Open) ops.push_back(names[static_cast<int>(op)] + (" " + what));
        return 0;
      });
      kv::RunConversion(scene.Request(road));
    }
    auto first = [&](const std::string& op) { return std::ranges::find(ops, op) - ops.begin(); };
    auto last = [&](const std::string& op) { return ops.rend() - std::find(ops.rbegin(), ops.rend(), op) - 1; };
    // Each chain of positions must rise strictly.
    const std::vector<std::vector<std::ptrdiff_t>> chains = road.createNew || road.budget == 0
        ? std::vector<std::vector<std::ptrdiff_t>>{{last("sync partial"), first("replace output"), last("sync folder")}}
        : std::vector<std::vector<std::ptrdiff_t>>{
              {last("sync journal"), first("replace journal"), first("sync folder"), first("write output")},
              {last("write output"), last("sync output"), first("remove journal"), std::ssize(ops) - 1}};
    ASSERT_EQ(ops.back(), "sync folder") << road.name;
    for (const auto& at : chains) {
      EXPECT_TRUE(std::ranges::adjacent_find(at, std::greater_equal<>()) == at.end()) << road.name << ": " << ::testing::PrintToString(at);
    }
  }
}

TEST(Journal, OnlyTheFilesOwnJournalIsApplied) {
  ScratchDir root;
  // A real journal, for the scene's output, as a killed append leaves it.
  auto journalOf = [&](const Scene& s) {
    kv::BinaryFile file(s.out, kv::BinaryFile::Mode::Read);
    const std::vector<unsigned char> bytes(4024, 7);
    const std::vector<kv::PlannedWrite> writes = {{0, {bytes.data(), 4000}, {}}, {4000, {bytes.data() + 4000, 24}, {}}};
    kv::WriteJournal(s.out, file, file.Length(), writes);
    return ReadAll(kv::JournalPath(s.out));
  };
  const struct { std::string (*damage)(std::string journal); const char* reason; } cases[] = {
      {[](std::string) { return std::string(100, 'x'); }, "it is not a journal of kvcvrt"},
      {[](std::string j) { return j.substr(0, j.size() - 5); }, "damaged or incomplete"},
      {[](std::string j) { return j.replace(60, 1, "!"); }, "its checksum does not match"},
      {[](std::string) { return std::string(); }, "too short"},
  };
  for (const auto& c : cases) {
    Scene scene(root / "s");
    WriteAll(kv::JournalPath(scene.out), c.damage(journalOf(scene)));
    EXPECT_KV_ERROR(kv::RunConversion(scene.Request(kRoads[0])), BadOutput,
                    "The journal " + kv::JournalPath(scene.out).string() + " does not belong to");
    EXPECT_KV_ERROR(kv::DescribeDataFile(scene.out, {}), BadOutput, c.reason);
    EXPECT_TRUE(SameBytes(ReadAll(scene.out), scene.before)) << c.reason;
    EXPECT_TRUE(fs::exists(kv::JournalPath(scene.out))) << c.reason;
  }
  // Another file's journal, and one that does not fit the file's length.
  Scene a(root / "a"), b(root / "b");
  WriteAll(kv::JournalPath(b.out), journalOf(a));
  fs::remove(kv::JournalPath(a.out));
  EXPECT_KV_ERROR(kv::DescribeDataFile(b.out, {}), BadOutput, "it was written for another file");
  EXPECT_TRUE(SameBytes(ReadAll(b.out), b.before));
  journalOf(a);
  WriteAll(a.out, a.before + std::string(100, '\0'));
  EXPECT_KV_ERROR(kv::DescribeDataFile(a.out, {}), BadOutput, "where the journal expects");
}

// A write over 4000..9000 of a 5000-byte file is cut at the page ends 4096 and 8192 and at the old end
// 5000: a file whose every piece is old, new (past the old end: or zeros) rolls back; one with a piece
// half new is refused and left as it is. The file's bytes from 4000 on: new bytes, then old, then zeros.
TEST(Journal, PiecesAroundAnUnalignedOldEnd) {
  ScratchDir dir;
  const fs::path f = dir / "f";
  const std::vector<unsigned char> fresh(5000, 'n');
  for (const auto& [n, o, z, whole] : std::vector<std::tuple<int, int, int, bool>>{
           {0, 1000, 0, true}, {96, 904, 0, true}, {1000, 0, 0, true}, {4192, 0, 0, true}, {1000, 0, 3192, true},
           {5000, 0, 0, true}, {95, 905, 0, false}, {97, 903, 0, false}, {999, 1, 0, false}, {1001, 0, 0, false},
           {4191, 0, 0, false}}) {
    const std::string old(5000, 'o'), now = old.substr(0, 4000) + std::string(n, 'n') + std::string(o, 'o') + std::string(z, '\0');
    WriteAll(f, old);
    kv::BinaryFile file(f, kv::BinaryFile::Mode::Read);
    const kv::PlannedWrite write{4000, fresh, {}};
    kv::WriteJournal(f, file, 5000, {&write, 1});
    WriteAll(f, now);
    const std::string what = Refusal([&] { kv::RollBackInterruptedRun(f); });
    EXPECT_EQ(ReadAll(f) + std::to_string(what.empty()), (whole ? old : now) + std::to_string(whole)) << n << what;
    fs::remove(kv::JournalPath(f));
  }
}

// Writes that end and begin at an old end inside a page: whichever of their pieces
// landed, the rollback puts back the old bytes and cuts off the new ones.
TEST(Journal, WritesMeetingAtAnUnalignedOldEndRollBack) {
  ScratchDir dir;
  const fs::path f = dir / "f";
  const std::string old(5000, 'o');
  const std::vector<unsigned char> fresh(4000, 'n');
  const kv::PlannedWrite writes[] = {{4500, {fresh.begin(), fresh.begin() + 500}, {}}, {5000, fresh, {}}};
  for (const std::string& now : {old, old.substr(0, 4500) + std::string(500, 'n'), old + std::string(3192, 'n'),
                                 old.substr(0, 4500) + std::string(4500, 'n')}) {
    WriteAll(f, old);
    kv::BinaryFile file(f, kv::BinaryFile::Mode::Read);
    kv::WriteJournal(f, file, 5000, writes);
    WriteAll(f, now);
    const std::string what = Refusal([&] { kv::RollBackInterruptedRun(f); });
    EXPECT_EQ(ReadAll(f) + what, old) << now.size();
  }
}

// Child processes, kill signals, links and FIFOs are POSIX only.
#if defined(__unix__)

// The rollback of a killed run fails too: nothing of the new run is stored, and the journal is said to stay.
TEST(SafeWrites, AFailedRollbackLeavesTheJournalAndSaysSo) {
  ScratchDir root;
  Scene scene(root / "run");
  int writes = 0;
  KilledAt([&](kv::FileOperation op, const fs::path& p) { return op == kv::FileOperation::Write && p == scene.out && ++writes == 2; },
           [&] { kv::RunConversion(scene.Request(kRoads[0])); });
  ASSERT_TRUE(fs::exists(kv::JournalPath(scene.out)));
  const std::string what = [&] {
    FaultHookGuard fail([&](kv::FileOperation op, const fs::path& p) { return op == kv::FileOperation::Write && p == scene.out ? EIO : 0; });
    return Refusal([&] { kv::RunConversion(scene.Request(kRoads[0])); });
  }();
  EXPECT_TRUE(what.ends_with("No data of this run was stored; the journal " + kv::JournalPath(scene.out).string() +
                             " is still beside the file.")) << what;
  // A disk that keeps failing: the run's own rollback fails as well, and the journal puts the file back later.
  Scene again(root / "again");
  const std::string said = [&] {
    FaultHookGuard fail([&](kv::FileOperation op, const fs::path& p) { return op == kv::FileOperation::Write && p == again.out ? EIO : 0; });
    return Refusal([&] { kv::RunConversion(again.Request(kRoads[0])); });
  }();
  EXPECT_TRUE(said.ends_with("the journal " + kv::JournalPath(again.out).string() + " restores it at the next run.")) << said;
  kv::DescribeDataFile(again.out, {});
  EXPECT_TRUE(SameBytes(ReadAll(again.out), again.before));
}

TEST(SafeWrites, FileSizeLimitReached) {
  ScratchDir root;
  for (const bool createNew : {false, true}) {
    Scene scene(root / "s");
    const auto limit = static_cast<rlim_t>(scene.before.size() + 30);  // too small for the new blocks
    const int status = InChild([&] {
      signal(SIGXFSZ, SIG_IGN);
      const rlimit rl{limit, limit};
      setrlimit(RLIMIT_FSIZE, &rl);
      _exit(Refusal([&] { kv::RunConversion(scene.Request(kRoads[createNew ? 2 : 0])); }).find("File too large") == std::string::npos ? 4 : 0);
    });
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "createNew " << createNew;
    EXPECT_TRUE(SameBytes(ReadAll(scene.out), scene.before)) << "createNew " << createNew;
    EXPECT_TRUE(LeftBeside(scene.out).empty());
  }
}

TEST(SafeWrites, KilledAtRandomMoments) {
  ScratchDir root;
  const kv::GridSize big{300, 200, 2};
  std::mt19937 random(20261207);
  std::vector<Set> sets;
  for (int s = 0; s < 12; ++s) sets.push_back({s % 3 == 0 ? 1 : 20 + s, 1 + s % 2, static_cast<float>(s), 0.25f});
  const fs::path input = root / "in.dat", out = root / "o.top";
  WriteAll(input, InputText(sets, big.nx * big.ny));
  WriteAll(root / "seed.dat", "2 1 1 60000*3.5 1 2 60000*4.5");
  for (const bool createNew : {false, true}) {
    kv::RunConversion({{{root / "seed.dat"}}, out, 3, big, true});
    const std::string before = ReadAll(out);
    kv::RunConversion({{{input}}, out, 3, big, createNew});
    const std::string after = ReadAll(out);
    for (int attempt = 0; attempt < 12; ++attempt) {
      WriteAll(out, before);
      const pid_t pid = fork();
      if (pid == 0) {
        kv::RunConversion({{{input}}, out, 3, big, createNew});
        _exit(0);
      }
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 150000));
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
      kv::DescribeDataFile(out, {});
      const std::string now = ReadAll(out);
      EXPECT_TRUE(now == before || now == after) << "createNew " << createNew << ", attempt " << attempt;
    }
  }
}

TEST(SafeWrites, RacingAppendsAllLand) {
  ScratchDir dir;
  const fs::path out = dir / "o.top";
  WriteAll(dir / "seed.dat", InputText({{1, 1, 1}}, 6));
  kv::RunConversion({{{dir / "seed.dat"}}, out, 3, kSceneGrid, false});
  constexpr int kProcesses = 4, kRuns = 6;
  // Each run adds a period of its own and rewrites period 1 with its own value.
  InRacingChildren(kProcesses, kRuns, [&](int i, int r) {
    const fs::path in = dir / ("in" + std::to_string(i) + "_" + std::to_string(r) + ".dat");
    const float value = static_cast<float>(100 * i + r);
    WriteAll(in, InputText({{1, 2, value, 0}, {10 + i * kRuns + r, 1, value, 0}}, 6));
    kv::RunConversion({{{in}}, out, 3, kSceneGrid, false});
    return true;
  });
  for (int k = 0; k < kProcesses * kRuns; ++k) {
    const kv::PeriodValues own = kv::ReadPeriodValues(out, kSceneGrid, 3, 10 + k, 1);
    EXPECT_EQ(own.source, 10 + k);
    EXPECT_EQ(own.values, std::vector<float>(6, static_cast<float>(100 * (k / kRuns) + k % kRuns))) << k;
  }
  // Period 1's rewritten layer comes whole from one run.
  const std::vector<float> first = kv::ReadPeriodValues(out, kSceneGrid, 3, 1, 2).values;
  EXPECT_EQ(first, std::vector<float>(6, first.at(0)));
  EXPECT_EQ(LeftBeside(out), std::vector<std::string>{});
}

TEST(SafeWrites, RacingCreateNewRunsNeverMix) {
  ScratchDir dir;
  const fs::path out = dir / "o.top";
  constexpr int kProcesses = 4, kRuns = 5;
  std::vector<std::string> results;  // what each input alone makes
  for (int i = 0; i < kProcesses; ++i) {
    const auto value = static_cast<float>(10 + i);
    WriteAll(dir / ("in" + std::to_string(i) + ".dat"),
             InputText({{1, 1, value, 0}, {2 + i, 2, value, 0}, {30 + i, 1, value, 0}}, 6));
    kv::RunConversion({{{dir / ("in" + std::to_string(i) + ".dat")}}, dir / "alone.top", 3, kSceneGrid, true});
    results.push_back(ReadAll(dir / "alone.top"));
  }
  InRacingChildren(kProcesses, kRuns, [&](int i, int) {
    kv::RunConversion({{{dir / ("in" + std::to_string(i) + ".dat")}}, out, 3, kSceneGrid, true});
    // Right after a successful run the file may already be another run's, but always a whole one.
    return std::ranges::find(results, ReadAll(out)) != results.end();
  });
  EXPECT_NE(std::ranges::find(results, ReadAll(out)), results.end());
  EXPECT_EQ(LeftBeside(out), std::vector<std::string>{});
}

// A lock is taken and given back in a process without standard input (its file
// may be descriptor 0); another user who cannot create the lock file in the
// folder is refused a run, while a reader goes on without the lock.
TEST(SafeWrites, LocksInOtherProcesses) {
  ScratchDir root;
  Scene scene(root / "s");
  const auto noLockFile = [&] { return fs::exists(fs::symlink_status(scene.out.string() + ".kvcvrt-lock")) ? 6 : 0; };
  EXPECT_EQ(InChild([&] {
              close(0);
              { const kv::OutputLock lock(scene.out, kv::LockKind::Exclusive); }
              _exit(noLockFile());
            }), 0);
  if (getuid() != 0) return;  // only root can become another user
  EXPECT_EQ(AsUser([&] {
              if (Refusal([&] { kv::OutputLock(scene.out, kv::LockKind::Exclusive); }).empty()) return 4;
              const kv::OutputLock shared(scene.out, kv::LockKind::Shared);
              return noLockFile();
            }), 0);
}

TEST(SafeWrites, PlantedLinksAreNeverFollowed) {
  // road null: export to text, whose temporary file is made the same way; plantAt: a fixed name
  // beside the output, or "" to plant at the moment of creation.
  const struct { const Road* road; const char* plantAt; kv::ErrorKind kind; const char* message; } cases[] = {
      {&kRoads[0], ".kvcvrt-lock", kv::ErrorKind::Io, "a link stands at that name"},
      {&kRoads[0], ".kvcvrt-journal", kv::ErrorKind::BadOutput, "a link stands at its name"},
      {&kRoads[2], "", kv::ErrorKind::Io, "File exists"},
      {&kRoads[1], "", kv::ErrorKind::Io, "File exists"},
      {nullptr, "", kv::ErrorKind::Io, "File exists"},
  };
  ScratchDir root;
  const fs::path victim = root / "victim";
  for (const auto& c : cases) {
    Scene scene(root / "s");
    WriteAll(victim, "precious");
    if (*c.plantAt) fs::create_symlink(victim, fs::path(scene.out.string() + c.plantAt));
    FaultHookGuard plant([&](kv::FileOperation op, const fs::path& p) {
      if (!*c.plantAt && op == kv::FileOperation::Create && !fs::exists(fs::symlink_status(p)))
        fs::create_symlink(victim, p);
      return 0;
    });
    const std::string trace = c.road ? c.road->name : "export";
    EXPECT_TRUE(ThrowsKvError([&] {
      if (c.road) kv::RunConversion(scene.Request(*c.road));
      else kv::ExportMatrixTextToFile({scene.out, kSceneGrid, 3, {}, {}}, root / "text.dat");
    }, c.kind, c.message)) << trace;
    EXPECT_EQ(ReadAll(victim), "precious") << trace;
    EXPECT_TRUE(SameBytes(ReadAll(scene.out), scene.before)) << trace;
    EXPECT_FALSE(fs::exists(root / "text.dat")) << trace;
  }
}

TEST(SafeWrites, ReplacingKeepsTheFilesIdentity) {
  ScratchDir root;
  Scene scene(root / "s");
  const fs::path link = root / "link.top";
  fs::create_symlink(scene.out, link);
  fs::permissions(scene.out, fs::perms{0664});  // bits the usual umask would take away
  for (const bool createNew : {true, false}) {
    kv::RunConversion({{{scene.in}}, link, 3, kSceneGrid, createNew});
    EXPECT_EQ(std::tuple(fs::is_symlink(link), ReadAll(scene.out) != scene.before, fs::status(scene.out).permissions(),
                         LeftBeside(scene.out)),
              std::tuple(true, true, fs::perms{0664}, std::vector<std::string>{})) << "createNew " << createNew;
  }
}

#endif

}  // namespace

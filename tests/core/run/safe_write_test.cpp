// The write path under the faults of an ordinary day: a process killed after
// any file operation or at a random moment, runs racing on one output, links
// planted where the run's files go, journals that are not ours. Afterwards the
// file is always the old one or the complete new one.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/fault_support.h"
#include "test_support.h"
#include "zuduradu/core/storage/binary_file.h"
#include "zuduradu/core/run/conversion.h"
#include "zuduradu/core/run/data_file_export.h"
#include "zuduradu/core/run/data_file_info.h"
#include "zuduradu/core/error.h"
#include "zuduradu/core/storage/journal.h"
#include "zuduradu/core/storage/output_lock.h"

#if defined(__unix__)
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using kvtest::FaultHookGuard;
#if defined(__unix__)
using kvtest::InChild;
#endif

namespace fs = std::filesystem;
using kvtest::ReadAll;
using kvtest::WriteAll;

const kv::GridSize kGrid{3, 2, 2};

// "count, then per set: period layer and six values", every value `value`.
std::string Sets(const std::vector<std::pair<int, int>>& periodLayers, double value) {
  std::string t = std::to_string(periodLayers.size());
  for (const auto& [period, layer] : periodLayers) {
    t += " " + std::to_string(period) + " " + std::to_string(layer) + " 6*" + std::to_string(value);
  }
  return t + "\n";
}

// An output holding periods 1 and 2, and an input that rewrites both layers of
// period 1 and adds periods 10 and 11.
struct Scene {
  fs::path dir, in, out;
  std::string before;
  explicit Scene(const fs::path& folder) : dir(folder), in(folder / "in.dat"), out(folder / "o.top") {
    fs::remove_all(dir);
    fs::create_directories(dir);
    WriteAll(in, Sets({{1, 1}, {1, 2}, {2, 1}}, 1.5));
    kv::RunConversion({in, out, 3, kGrid, false});
    WriteAll(in, Sets({{1, 1}, {10, 1}, {1, 2}, {11, 2}}, 7.25));
    before = ReadAll(out);
  }
};

kv::ConversionRequest Request(const Scene& s, bool createNew, std::size_t budget) {
  kv::ConversionRequest r{s.in, s.out, 3, kGrid, createNew};
  r.memoryBudgetBytes = budget;
  return r;
}

struct Road {
  const char* name;
  bool createNew;
  std::size_t budget;  // 0: the append continues in a copy of the file
};
const std::vector<Road> kRoads = {
    {"append in place", false, std::size_t{1} << 20},
    {"append past the memory budget", false, 0},
    {"create-new", true, std::size_t{1} << 20},
};

// Child processes and kill signals are POSIX only.
#if defined(__unix__)

TEST(SafeWrites, KilledBeforeAnyFileOperation) {
  kvtest::ScratchDir root;
  for (const Road& road : kRoads) {
    // The operations of an undisturbed run, and the file it makes.
    Scene model(root / "model");
    int total = 0;
    {
      FaultHookGuard count([&](kv::FileOperation, const fs::path&) { return ++total, 0; });
      kv::RunConversion(Request(model, road.createNew, road.budget));
    }
    const std::string after = ReadAll(model.out);
    ASSERT_GT(total, 5) << road.name;
    for (int n = 1; n <= total; ++n) {
      Scene scene(root / "run");
      const int status = InChild([&] {
        int seen = 0;
        kv::SetFaultHookForTesting([&](kv::FileOperation, const fs::path&) {
          if (++seen == n) kill(getpid(), SIGKILL);
          return 0;
        });
        kv::RunConversion(Request(scene, road.createNew, road.budget));
      });
      ASSERT_TRUE(WIFSIGNALED(status)) << road.name << ", operation " << n;
      // The next command to open the file puts it right.
      kv::DescribeDataFile(scene.out, {});
      const std::string now = ReadAll(scene.out);
      EXPECT_TRUE(now == scene.before || now == after) << road.name << ", killed before operation " << n << " of "
                                                      << total << ": " << kvtest::SameBytes(now, scene.before);
      // And the run done again completes and leaves nothing beside the file.
      kv::RunConversion(Request(scene, road.createNew, road.budget));
      EXPECT_TRUE(kvtest::SameBytes(ReadAll(scene.out), after)) << road.name << ", operation " << n;
      EXPECT_EQ(kvtest::LeftBeside(scene.out), std::vector<std::string>{}) << road.name << ", operation " << n;
    }
  }
}

TEST(SafeWrites, KilledAtRandomMoments) {
  kvtest::ScratchDir root;
  const kv::GridSize big{300, 200, 2};
  std::mt19937 random(20261207);
  std::string text = "12";
  for (int s = 0; s < 12; ++s) {
    text += "\n" + std::to_string(s % 3 == 0 ? 1 : 20 + s) + " " + std::to_string(1 + s % 2) + "\n";
    for (int v = 0; v < big.nx * big.ny; ++v) text += std::to_string(random() % 100000) + ".25 ";
  }
  const fs::path input = root / "in.dat";
  WriteAll(input, text);
  WriteAll(root / "seed.dat", "2 1 1 60000*3.5 1 2 60000*4.5");
  for (const bool createNew : {false, true}) {
    const fs::path model = root / "model.top";
    kv::RunConversion({root / "seed.dat", model, 3, big, false});
    const std::string before = ReadAll(model);
    kv::RunConversion({input, model, 3, big, createNew});
    const std::string after = ReadAll(model);
    for (int attempt = 0; attempt < 12; ++attempt) {
      const fs::path out = root / "o.top";
      WriteAll(out, before);
      const pid_t pid = fork();
      if (pid == 0) {
        try {
          kv::RunConversion({input, out, 3, big, createNew});
        } catch (...) {
          _exit(2);
        }
        _exit(0);
      }
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 150000));
      kill(pid, SIGKILL);
      int status = 0;
      waitpid(pid, &status, 0);
      kv::DescribeDataFile(out, {});
      const std::string now = ReadAll(out);
      EXPECT_TRUE(now == before || now == after) << "createNew " << createNew << ", attempt " << attempt;
    }
  }
}

// Values of one layer of a period as the file holds them, through its block table.
std::vector<float> LayerOf(const std::string& bytes, int period, int layer) {
  const int block = kvtest::BlockOf(bytes, period);
  std::vector<float> values;
  if (block <= 0) return values;
  const std::size_t at = 4000 + static_cast<std::size_t>(((block - 1) * 2 + (layer - 1)) * 6 * 4);
  for (std::size_t k = 0; k < 6 && at + 4 * k + 4 <= bytes.size(); ++k) values.push_back(kvtest::FloatAt(bytes, at + 4 * k));
  return values;
}

TEST(SafeWrites, RacingAppendsAllLand) {
  kvtest::ScratchDir dir;
  const fs::path out = dir / "o.top";
  WriteAll(dir / "seed.dat", Sets({{1, 1}}, 1));
  kv::RunConversion({dir / "seed.dat", out, 3, kGrid, false});
  constexpr int kProcesses = 4, kRuns = 6;
  // Each run adds a period of its own and rewrites period 1 with its own value.
  kvtest::InRacingChildren(kProcesses, kRuns, [&](int i, int r) {
    const fs::path in = dir / ("in" + std::to_string(i) + "_" + std::to_string(r) + ".dat");
    WriteAll(in, Sets({{1, 2}, {10 + i * kRuns + r, 1}}, 100 * i + r));
    kv::RunConversion({in, out, 3, kGrid, false});
    return true;
  });
  const std::string bytes = ReadAll(out);
  for (int i = 0; i < kProcesses; ++i) {
    for (int r = 0; r < kRuns; ++r) {
      const int period = 10 + i * kRuns + r;
      EXPECT_EQ(LayerOf(bytes, period, 1), std::vector<float>(6, static_cast<float>(100 * i + r))) << "period " << period;
    }
  }
  // Period 1's rewritten layer comes whole from one run.
  const std::vector<float> first = LayerOf(bytes, 1, 2);
  ASSERT_EQ(first.size(), 6u);
  EXPECT_EQ(first, std::vector<float>(6, first[0]));
  EXPECT_EQ(kvtest::LeftBeside(out), std::vector<std::string>{});
}

TEST(SafeWrites, RacingCreateNewRunsNeverMix) {
  kvtest::ScratchDir dir;
  const fs::path out = dir / "o.top";
  constexpr int kProcesses = 4, kRuns = 5;
  std::vector<std::string> results;  // what each input alone makes
  for (int i = 0; i < kProcesses; ++i) {
    WriteAll(dir / ("in" + std::to_string(i) + ".dat"), Sets({{1, 1}, {2 + i, 2}, {30 + i, 1}}, 10 + i));
    kv::RunConversion({dir / ("in" + std::to_string(i) + ".dat"), dir / "alone.top", 3, kGrid, true});
    results.push_back(ReadAll(dir / "alone.top"));
  }
  kvtest::InRacingChildren(kProcesses, kRuns, [&](int i, int) {
    kv::RunConversion({dir / ("in" + std::to_string(i) + ".dat"), out, 3, kGrid, true});
    // Right after a successful run the file may already be another run's, but always a whole one.
    return std::find(results.begin(), results.end(), ReadAll(out)) != results.end();
  });
  EXPECT_NE(std::find(results.begin(), results.end(), ReadAll(out)), results.end());
  EXPECT_EQ(kvtest::LeftBeside(out), std::vector<std::string>{});
}

#endif

TEST(SafeWrites, ASecondRunWaitsForTheFirst) {
  kvtest::ScratchDir root;
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
  kv::ConversionRequest r{scene.in, scene.out, 3, kGrid, false};
  r.lockWait = std::chrono::milliseconds(300);
  try {
    kv::RunConversion(r, counting);
    ADD_FAILURE() << "ran beside another run";
  } catch (const kv::Error& e) {
    EXPECT_EQ(e.kind(), kv::ErrorKind::Busy);
    EXPECT_EQ(std::string(e.what()), "Another run is still working on " + scene.out.string() +
                                         "; gave up after waiting 300 ms. The output file " + scene.out.string() +
                                         " was not changed.");
  }
  EXPECT_GT(waits, 0);
  // Cancelling while waiting costs nothing.
  try {
    kv::RunConversion(r, [](const kv::ConversionProgress& p) { return p.phase != kv::RunPhase::Waiting; });
    ADD_FAILURE() << "not cancelled";
  } catch (const kv::Error& e) {
    EXPECT_EQ(e.kind(), kv::ErrorKind::Cancelled);
  }
#if defined(__unix__)
  // The lock dies with its process.
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
#else
  holder.reset();
#endif
  r.lockWait = std::chrono::seconds(5);
  EXPECT_EQ(kv::RunConversion(r).stored, 4);
  EXPECT_EQ(kvtest::LeftBeside(scene.out), std::vector<std::string>{});
}

#if defined(__unix__)

TEST(SafeWrites, PlantedLinksAreNeverFollowed) {
  struct Case {
    const char* name;
    bool createNew;
    const char* plantAt;  // a fixed name beside the output, or "" to plant at the moment of creation
    kv::FileOperation when = kv::FileOperation::Create;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"lock file", false, ".kvcvrt-lock", {}, "a link stands at that name"},
      {"journal", false, ".kvcvrt-journal", {}, "a link stands at its name"},
      {"temporary file, create-new", true, "", kv::FileOperation::Create, "File exists"},
      {"temporary file, past the budget", false, "", kv::FileOperation::Create, "File exists"},
  };
  kvtest::ScratchDir root;
  for (const Case& c : cases) {
    Scene scene(root / "s");
    const fs::path victim = root / "victim";
    WriteAll(victim, "precious");
    if (*c.plantAt) fs::create_symlink(victim, fs::path(scene.out.string() + c.plantAt));
    FaultHookGuard plant([&](kv::FileOperation op, const fs::path& p) {
      if (!*c.plantAt && op == c.when && !fs::exists(fs::symlink_status(p))) fs::create_symlink(victim, p);
      return 0;
    });
    kv::ConversionRequest r = Request(scene, c.createNew, c.createNew ? std::size_t{1} << 20 : 0);
    try {
      kv::RunConversion(r);
      ADD_FAILURE() << c.name << ": not refused";
    } catch (const kv::Error& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.name << ": " << e.what();
    }
    EXPECT_EQ(ReadAll(victim), "precious") << c.name;
    EXPECT_TRUE(kvtest::SameBytes(ReadAll(scene.out), scene.before)) << c.name;
  }
  // Export's temporary file is made the same way.
  Scene scene(root / "s");
  WriteAll(root / "victim", "precious");
  FaultHookGuard plant([&](kv::FileOperation op, const fs::path& p) {
    if (op == kv::FileOperation::Create) fs::create_symlink(root / "victim", p);
    return 0;
  });
  EXPECT_THROW(kv::ExportMatrixTextToFile({scene.out, kGrid, 3, {}, {}}, root / "text.dat"), kv::Error);
  EXPECT_EQ(ReadAll(root / "victim"), "precious");
  EXPECT_FALSE(fs::exists(root / "text.dat"));
}

TEST(SafeWrites, ReplacingKeepsTheFilesIdentity) {
  kvtest::ScratchDir root;
  Scene scene(root / "s");
  const fs::path link = root / "link.top";
  fs::create_symlink(scene.out, link);
  ASSERT_EQ(chmod(scene.out.c_str(), 0640), 0);
  for (const bool createNew : {true, false}) {
    kv::RunConversion({scene.in, link, 3, kGrid, createNew});
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_NE(ReadAll(scene.out), scene.before);
    struct stat st {};
    ASSERT_EQ(stat(scene.out.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u) << "createNew " << createNew;
    EXPECT_EQ(kvtest::LeftBeside(scene.out), std::vector<std::string>{});
  }
}

#endif

TEST(SafeWrites, DurableBeforeItIsDone) {
  // The order of the operations that make a result survive a power cut.
  kvtest::ScratchDir root;
  for (const Road& road : kRoads) {
    Scene scene(root / "s");
    std::vector<std::string> ops;
    {
      FaultHookGuard record([&](kv::FileOperation op, const fs::path& p) {
        static const char* names[] = {"open", "create", "write", "close", "replace", "sync", "remove", "truncate"};
        const std::string name = p.filename().string();
        const char* what = fs::is_directory(p)                                 ? "folder"
                           : name.find("journal") != std::string::npos         ? "journal"
                           : name.find("partial") != std::string::npos         ? "partial"
                                                                               : "output";
        if (op != kv::FileOperation::Open) ops.push_back(std::string(names[static_cast<int>(op)]) + " " + what);
        return 0;
      });
      kv::RunConversion(Request(scene, road.createNew, road.budget));
    }
    auto first = [&](const std::string& op) { return std::find(ops.begin(), ops.end(), op) - ops.begin(); };
    auto last = [&](const std::string& op) { return ops.rend() - std::find(ops.rbegin(), ops.rend(), op) - 1; };
    const auto end = static_cast<std::ptrdiff_t>(ops.size());
    ASSERT_EQ(ops.back(), "sync folder") << road.name;
    if (road.createNew || road.budget == 0) {
      EXPECT_LT(last("sync partial"), first("replace output")) << road.name;
      EXPECT_LT(first("replace output"), last("sync folder")) << road.name;
    } else {
      EXPECT_LT(last("sync journal"), first("replace journal"));
      EXPECT_LT(first("replace journal"), first("sync folder"));
      EXPECT_LT(first("sync folder"), first("write output"));
      EXPECT_LT(last("write output"), last("sync output"));
      EXPECT_LT(last("sync output"), first("remove journal"));
      EXPECT_LT(first("remove journal"), end - 1);
    }
  }
}

TEST(Journal, OnlyTheFilesOwnJournalIsApplied) {
  kvtest::ScratchDir root;
  // A real journal, for o.top, as a killed append leaves it.
  auto journalOf = [&](const Scene& s) {
    kv::BinaryFile file(s.out, kv::BinaryFile::Mode::Read);
    const std::vector<unsigned char> bytes(4024, 7);
    const std::vector<kv::PlannedWrite> writes = {{0, {bytes.data(), 4000}, {}}, {4000, {bytes.data() + 4000, 24}, {}}};
    kv::WriteJournal(s.out, file, file.Length(), writes);
    return ReadAll(kv::JournalPath(s.out));
  };
  struct Case {
    const char* name;
    std::string (*damage)(std::string journal);
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"not a journal", [](std::string) { return std::string(100, 'x'); }, "it is not a journal of kvcvrt"},
      {"cut short", [](std::string j) { return j.substr(0, j.size() - 5); }, "damaged or incomplete"},
      {"a byte changed", [](std::string j) { return j.replace(60, 1, "!"); }, "its checksum does not match"},
      {"empty", [](std::string) { return std::string(); }, "too short"},
  };
  for (const Case& c : cases) {
    Scene scene(root / "s");
    WriteAll(kv::JournalPath(scene.out), c.damage(journalOf(scene)));
    try {
      kv::RunConversion({scene.in, scene.out, 3, kGrid, false});
      ADD_FAILURE() << c.name;
    } catch (const kv::Error& e) {
      const std::string what = e.what();
      EXPECT_NE(what.find("The journal " + kv::JournalPath(scene.out).string() + " does not belong to"), std::string::npos);
      EXPECT_NE(what.find(c.reason), std::string::npos) << c.name << ": " << what;
    }
    EXPECT_TRUE(kvtest::SameBytes(ReadAll(scene.out), scene.before)) << c.name;
    EXPECT_TRUE(fs::exists(kv::JournalPath(scene.out))) << c.name;
  }
  // Another file's journal, and one that does not fit the file's length.
  Scene a(root / "a"), b(root / "b");
  WriteAll(kv::JournalPath(b.out), journalOf(a));
  fs::remove(kv::JournalPath(a.out));
  try {
    kv::DescribeDataFile(b.out, {});
    ADD_FAILURE();
  } catch (const kv::Error& e) {
    EXPECT_NE(std::string(e.what()).find("it was written for another file"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(kvtest::SameBytes(ReadAll(b.out), b.before));
  journalOf(a);
  WriteAll(a.out, a.before + std::string(100, '\0'));
  try {
    kv::DescribeDataFile(a.out, {});
    ADD_FAILURE();
  } catch (const kv::Error& e) {
    EXPECT_NE(std::string(e.what()).find("where the journal expects"), std::string::npos) << e.what();
  }
}

}  // namespace

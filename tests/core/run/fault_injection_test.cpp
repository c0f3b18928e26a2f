// Faults in the middle of a run: the system refusing to create, write, close or
// replace a file; the file size limit reached; the input shrinking; the process
// killed. In each, no byte of the old output may be lost.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "core/fault_support.h"
#include "test_support.h"
#include "zuduradu/core/storage/binary_file.h"
#include "zuduradu/core/run/conversion.h"
#include "zuduradu/core/error.h"
#include "zuduradu/core/format/period_data_file.h"

#if defined(__unix__)
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using kvtest::FaultHookGuard;
#if defined(__unix__)
using kvtest::InChild;
#endif

using kvtest::ReadAll;
using kvtest::WriteAll;

const kv::GridSize kGrid{3, 2, 2};

std::string Input(int sets, int firstPeriod) {
  std::string t = std::to_string(sets);
  for (int s = 0; s < sets; ++s) t += " " + std::to_string(firstPeriod + s) + " 1 1 2 3 4 5 6";
  return t;
}

// A folder with an existing output (periods 1 and 2) and an input of new periods.
struct Scene {
  kvtest::ScratchDir dir;
  std::filesystem::path in = dir / "in.dat";
  std::filesystem::path out = dir / "o.top";
  std::string before;
  Scene() {
    WriteAll(in, Input(2, 1));
    kv::RunConversion({in, out, 3, kGrid, false});
    WriteAll(in, Input(3, 10));
    before = ReadAll(out);
  }
};


// Which of the run's files an injected fault hits.
enum class Hit { Output, Partial, Journal, Folder };

Hit Kind(const std::filesystem::path& p) {
  if (std::filesystem::is_directory(p)) return Hit::Folder;
  const std::string name = p.filename().string();
  if (name.find(".kvcvrt-partial-") != std::string::npos) return Hit::Partial;
  if (name.find(".kvcvrt-journal") != std::string::npos) return Hit::Journal;
  return Hit::Output;
}

TEST(FaultInjection, SystemRefusalsLoseNothing) {
  struct Case {
    const char* name;
    kv::FileOperation operation;
    Hit hit;
    int nth;  // fail the n-th such operation (1 = the first)
    bool createNew;
    int error;
    std::string message;  // expected in the error's text
  };
  using Op = kv::FileOperation;
  const std::vector<Case> cases = {
      {"folder not writable", Op::Create, Hit::Partial, 1, true, EACCES, "Could not create"},
      {"disk full in a new file", Op::Write, Hit::Partial, 2, true, ENOSPC, "No space left on device"},
      {"disk full at close", Op::Close, Hit::Partial, 1, true, ENOSPC, "Could not write"},
      {"sync of a new file fails", Op::Sync, Hit::Partial, 1, true, EIO, "Could not sync"},
      {"replace refused", Op::Replace, Hit::Output, 1, true, EACCES, "Could not replace"},
      {"output locked", Op::Open, Hit::Output, 1, false, EACCES, "Could not open"},
      {"output not writable, create-new", Op::Open, Hit::Output, 1, true, EACCES, "Could not open"},
      {"journal cannot be created", Op::Create, Hit::Journal, 1, false, EACCES, "Could not create"},
      {"disk full in the journal", Op::Write, Hit::Journal, 2, false, ENOSPC, "No space left on device"},
      {"sync of the journal fails", Op::Sync, Hit::Journal, 1, false, EIO, "Could not sync"},
      {"journal not durable", Op::Sync, Hit::Folder, 1, false, EIO, "Could not sync the folder"},
      {"disk full writing in place", Op::Write, Hit::Output, 1, false, ENOSPC, "No space left on device"},
      {"disk full on the last layer", Op::Write, Hit::Output, 3, false, ENOSPC, "No space left on device"},
      {"sync in place fails", Op::Sync, Hit::Output, 1, false, EIO, "Could not sync"},
  };
  for (const Case& c : cases) {
    Scene scene;
    int seen = 0;
    FaultHookGuard guard([&](kv::FileOperation op, const std::filesystem::path& p) {
      if (op != c.operation || Kind(p) != c.hit) return 0;
      return ++seen == c.nth ? c.error : 0;
    });
    try {
      kv::RunConversion({scene.in, scene.out, 3, kGrid, c.createNew});
      ADD_FAILURE() << c.name << ": no error";
    } catch (const kv::Error& e) {
      const std::string what = e.what();
      EXPECT_NE(what.find(c.message), std::string::npos) << c.name << ": " << what;
      const std::string note = "was not changed.";
      EXPECT_EQ(what.substr(what.size() - note.size()), note) << c.name << ": " << what;
    }
    EXPECT_TRUE(kvtest::SameBytes(ReadAll(scene.out), scene.before)) << c.name;
    EXPECT_EQ(kvtest::LeftBeside(scene.out), std::vector<std::string>{}) << c.name;
  }
}

TEST(FaultInjection, BackgroundWriteFailure) {
  // Layers this large are written on a second thread; its failure must still stop the run.
  kvtest::ScratchDir dir;
  const kv::GridSize big{300, 300, 1};
  std::string text = "3";
  for (int s = 1; s <= 3; ++s) text += " " + std::to_string(s) + " 1 90000*" + std::to_string(s);
  WriteAll(dir / "in.dat", text);
  WriteAll(dir / "o.top", "old bytes");
  int writes = 0;
  FaultHookGuard guard([&](kv::FileOperation op, const std::filesystem::path&) {
    return op == kv::FileOperation::Write && ++writes == 3 ? ENOSPC : 0;
  });
  EXPECT_THROW(kv::RunConversion({dir / "in.dat", dir / "o.top", 3, big, true}), kv::Error);
  EXPECT_EQ(ReadAll(dir / "o.top"), "old bytes");
  EXPECT_TRUE(kvtest::LeftBeside(dir / "o.top").empty());
}

TEST(FaultInjection, InputShrinkingDuringTheRun) {
  for (const bool createNew : {false, true}) {
    Scene scene;
    // Large enough that the reader cannot have it all in the chunks it reads ahead.
    WriteAll(scene.in, Input(3, 10) + std::string(3 << 20, ' ') + " 7 1 1 2 3 4 5 6");
    std::string text = ReadAll(scene.in);
    text.replace(0, 1, "4");
    WriteAll(scene.in, text);
    kv::ConversionRequest req{scene.in, scene.out, 3, kGrid, createNew};
    req.threads = createNew ? 1 : 2;
    req.readChunkBytes = createNew ? 0 : 64 << 10;
    try {
      kv::RunConversion(req, [&](const kv::ConversionProgress& p) {
        if (p.setsDone == 1) std::filesystem::resize_file(scene.in, 2 << 20);
        return true;
      });
      ADD_FAILURE() << "no error";
    } catch (const kv::Error& e) {
      EXPECT_NE(std::string(e.what()).find("the file ends before the period of data set 4"), std::string::npos)
          << e.what();
    }
    EXPECT_TRUE(kvtest::SameBytes(ReadAll(scene.out), scene.before));
  }
}

#if defined(__unix__)

TEST(FaultInjection, InputVanishingDuringTheRun) {
  // The open input stays readable after its name is removed: the run completes.
  Scene scene;
  const auto r = kv::RunConversion({scene.in, scene.out, 3, kGrid, false}, [&](const kv::ConversionProgress& p) {
    if (p.setsDone == 1) std::filesystem::remove(scene.in);
    return true;
  });
  EXPECT_EQ(r.stored, 3);
  EXPECT_FALSE(std::filesystem::exists(scene.in));
}


TEST(FaultInjection, FileSizeLimitReached) {
  for (const bool createNew : {false, true}) {
    Scene scene;
    const auto limit = static_cast<rlim_t>(scene.before.size() + 30);  // too small for the new blocks
    const int status = InChild([&] {
      signal(SIGXFSZ, SIG_IGN);
      rlimit rl{limit, limit};
      setrlimit(RLIMIT_FSIZE, &rl);
      try {
        kv::RunConversion({scene.in, scene.out, 3, kGrid, createNew});
        _exit(3);
      } catch (const kv::Error& e) {
        _exit(std::string(e.what()).find("File too large") != std::string::npos ? 0 : 4);
      }
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "createNew " << createNew;
    EXPECT_TRUE(kvtest::SameBytes(ReadAll(scene.out), scene.before)) << "createNew " << createNew;
    EXPECT_TRUE(kvtest::LeftBeside(scene.out).empty());
  }
}

#endif

}  // namespace

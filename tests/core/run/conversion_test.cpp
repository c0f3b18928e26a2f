#include "zuduradu/core/run/conversion.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"
#include "zuduradu/core/error.h"
#include "zuduradu/core/text/number_text.h"
#include "zuduradu/core/storage/file_system.h"
#include "zuduradu/core/format/period_data_file.h"

#if defined(__unix__)
#include <sys/stat.h>
#endif

namespace {

using kvtest::ReadAll;
using kvtest::WriteAll;

struct Set {
  int period, layer;
  float first;  // values first, first+1, ...
};

std::string InputText(const std::vector<Set>& sets, const kv::GridSize& g) {
  std::string t = std::to_string(sets.size()) + "\n";
  for (const Set& s : sets) {
    t += std::to_string(s.period) + " " + std::to_string(s.layer) + "\n";
    for (int j = 0; j < g.ny; ++j) {
      for (int i = 0; i < g.nx; ++i) t += kv::ShortestText(s.first + static_cast<float>(j * g.nx + i)) + " ";
      t += "\n";
    }
  }
  return t;
}

// The run as the file's own operations would do it, one layer at a time.
void StepByStep(const std::vector<Set>& sets, const kv::GridSize& g, int type, const std::filesystem::path& out,
                bool createNew) {
  if (createNew) std::filesystem::remove(out);
  for (const Set& s : sets) {
    if (s.layer > g.nz) continue;
    std::vector<float> v(static_cast<std::size_t>(g.nx * g.ny));
    for (std::size_t k = 0; k < v.size(); ++k) v[k] = s.first + static_cast<float>(k);
    kv::WriteLayer(out, g, s.period, type, s.layer, v);
  }
  if (kv::FileExists(out)) kv::WritePeriodReferences(out, kv::LoadPeriodTables(out));
}

// The reader on one thread, and on several with chunks so small that their
// edges fall everywhere.
struct ReaderSetup {
  int threads;
  std::size_t chunk;
};
const std::vector<ReaderSetup> kSetups = {{1, 0}, {2, 3}, {3, 11}};

kv::ConversionRequest Request(const std::filesystem::path& in, const std::filesystem::path& out, int type,
                              kv::GridSize g, bool createNew, ReaderSetup setup) {
  kv::ConversionRequest req{in, out, type, g, createNew};
  req.threads = setup.threads;
  req.readChunkBytes = setup.chunk;
  return req;
}

// Every run below must give the same bytes as storing the sets one by one.
TEST(Conversion, SameBytesAsStoringLayerByLayer) {
  const kv::GridSize g{3, 2, 2};
  struct Case {
    const char* name;
    int type;
    std::vector<Set> earlier;  // a previous run on the same file, or none
    std::vector<Set> sets;
    bool createNew;
  };
  const std::vector<Case> cases = {
      {"two runs, the second past the end of the first", 3, {{1, 2, 1}, {5, 1, 7}}, {{3, 1, 20}}, false},
      {"same layer twice keeps the later", 3, {}, {{2, 1, 1}, {2, 1, 100}}, false},
      {"layer above NZ is skipped", 3, {}, {{1, 3, 1}, {4, 2, 9}}, false},
      {"single-layer type", 23, {{1, 1, 3}}, {{5, 1, 1}, {2, 1, 2}}, false},
      {"periods out of order", 3, {{9, 1, 0}}, {{7, 2, 1}, {3, 1, 2}, {9, 2, 3}, {1, 1, 4}}, false},
      {"create new replaces", 3, {{9, 1, 0}, {10, 2, 1}}, {{4, 2, 5}}, true},
      {"zero sets rebuilds an existing file", 3, {{2, 1, 1}}, {}, false},
      {"type code 0", 0, {}, {{1, 1, 1}, {1000, 2, 2}}, false},
  };
  for (const ReaderSetup& setup : kSetups) {
    for (const Case& c : cases) {
      kvtest::ScratchDir dir;
      const auto viaRun = dir / "run.top";
      const auto viaSteps = dir / "steps.top";
      if (!c.earlier.empty()) {
        StepByStep(c.earlier, g, c.type, viaRun, false);
        StepByStep(c.earlier, g, c.type, viaSteps, false);
      }
      WriteAll(dir / "in.dat", InputText(c.sets, g));
      kv::RunConversion(Request(dir / "in.dat", viaRun, c.type, g, c.createNew, setup));
      StepByStep(c.sets, g, c.type, viaSteps, c.createNew);
      EXPECT_TRUE(kvtest::SameBytes(ReadAll(viaRun), ReadAll(viaSteps))) << c.name << ", threads " << setup.threads;
    }
  }
}

TEST(Conversion, RandomRunsMatchAtAnyMemoryBudget) {
  std::mt19937 rng(12345);
  const kv::GridSize g{4, 3, 3};
  for (int round = 0; round < 30; ++round) {
    kvtest::ScratchDir dir;
    std::vector<Set> earlier, sets;
    for (int k = 0; k < 5; ++k) earlier.push_back({static_cast<int>(rng() % 20) + 1, static_cast<int>(rng() % 3) + 1, 1});
    for (int k = 0; k < 12; ++k) {
      sets.push_back({static_cast<int>(rng() % 20) + 1, static_cast<int>(rng() % 4) + 1, static_cast<float>(k) * 10});
    }
    const bool createNew = round % 3 == 0;
    const std::size_t budget = round % 2 == 0 ? 64 : std::size_t{1} << 20;  // tiny budgets take the copy road
    StepByStep(earlier, g, 3, dir / "run.top", false);
    StepByStep(earlier, g, 3, dir / "steps.top", false);
    WriteAll(dir / "in.dat", InputText(sets, g));
    kv::ConversionRequest req = Request(dir / "in.dat", dir / "run.top", 3, g, createNew, kSetups[round % kSetups.size()]);
    req.memoryBudgetBytes = budget;
    kv::RunConversion(req);
    StepByStep(sets, g, 3, dir / "steps.top", createNew);
    ASSERT_TRUE(kvtest::SameBytes(ReadAll(dir / "run.top"), ReadAll(dir / "steps.top"))) << "round " << round;
  }
}

TEST(Conversion, StoringNothing) {
  struct Case {
    const char* name;
    bool existing, createNew;
    bool existsAfter, rebuilt;
  };
  const std::vector<Case> cases = {
      {"no file, append: nothing is created", false, false, false, false},
      {"no file, create new: nothing is created", false, true, false, false},
      {"a file, append: it is rebuilt", true, false, true, true},
      {"a file, create new: it is deleted", true, true, false, false},
  };
  for (const std::string input : {"0", "-3 junk that is never read", "2 1 9 1 2 3 4 5 6 1 3 6*1"}) {
    for (const Case& c : cases) {
      kvtest::ScratchDir dir;
      const auto out = dir / "o.top";
      if (c.existing) StepByStep({{1, 1, 1}, {4, 1, 2}}, {3, 2, 2}, 3, out, false);
      WriteAll(dir / "in.dat", input);
      const kv::ConversionResult r = kv::RunConversion({dir / "in.dat", out, 3, {3, 2, 2}, c.createNew});
      EXPECT_EQ(r.stored, 0) << c.name;
      EXPECT_EQ(r.rebuilt, c.rebuilt) << c.name;
      EXPECT_EQ(std::filesystem::exists(out), c.existsAfter) << c.name;
    }
  }
}

TEST(Conversion, SkippedSetsAreCounted) {
  kvtest::ScratchDir dir;
  WriteAll(dir / "in.dat", InputText({{1, 3, 1}, {2, 2, 1}, {3, 7, 1}, {4, 1, 1}}, {3, 2, 2}));
  const auto r = kv::RunConversion({dir / "in.dat", dir / "o.top", 3, {3, 2, 2}, false});
  EXPECT_EQ(r, (kv::ConversionResult{2, 2, true, {}}));
}

struct Refusal {
  const char* name;
  std::string input;
  kv::GridSize grid;
  int type;
  std::string message;  // the start of the message
};

// Every refused run leaves the output as it was: an existing file byte for byte,
// a missing one still missing; with create-new the old file is not deleted.
TEST(Conversion, RefusedRunsChangeNothing) {
  const kv::GridSize g{3, 2, 2};
  const std::string six = " 1 2 3 4 5 6";
  const std::vector<Refusal> cases = {
      {"not a number", "2 1 1" + six + " 2 1 1 2 x 4 5 6", g, 3,
       "Data set 2, value, line 1, column 27 of IN: \"x\" is not a number."},
      {"ends early", "3 1 1" + six + " 2 1 1 2", g, 3, "Data set 2, value, line 1, column 26 of IN: the file ends"},
      {"period 0", "2 1 1" + six + " 0 1" + six, g, 3,
       "Data set 2, period, line 1, column 19 of IN: period 0 is outside 1..1000."},
      {"period 1001", "1 1001 1" + six, g, 3, "Data set 1, period, line 1, column 3 of IN: period 1001 is outside 1..1000."},
      {"layer 0", "1 1 0" + six, g, 3, "Data set 1, layer, line 1, column 5 of IN: layer 0 is below 1."},
      {"layer 2 of a one-layer type", "1 1 2" + six, g, 23,
       "Data set 1, layer, line 1, column 5 of IN: layer 2 cannot be stored: this data type has one layer per period."},
      {"layer 0 of a one-layer type", "1 1 0" + six, g, 23, "Data set 1, layer, line 1, column 5 of IN: layer 0 is below 1."},
      {"grid below 1", "1 1 1" + six, {0, 2, 2}, 3, "The grid size 0 x 2 x 2 (columns x rows x layers) is not usable"},
      {"grid too large", "0", {32767, 32767, 3}, 3, "The grid size 32767 x 32767 x 3 is too large"},
      {"count with a fraction", "1.0 1 1" + six, g, 3, "The set count, line 1, column 1 of IN: \"1.0\" is not a whole number."},
      {"a set longer than the grid", "2 1 1 1.5 2.5 3.5 4.5 5.5 6.5 7.5 2 1" + six, g, 3,
       "Data set 2, period, line 1, column 31 of IN: \"7.5\" is not a whole number; data set 1 may hold more values "
       "than NX x NY = 3 x 2 = 6, and the grid size may not match the file."},
      {"a byte beyond ASCII", "1 1 1 1 2 \xC3\xA9 4 5 6", g, 3,
       "Data set 1, value, line 1, column 11 of IN: \"\\xC3\\xA9\" is not a number."},
      {"columns after a byte order mark", "\xEF\xBB\xBF" "1 1 1 x 2 3 4 5 6", g, 3,
       "Data set 1, value, line 1, column 7 of IN: \"x\" is not a number."},
      {"UTF-16 text", std::string("\xFF\xFE" "1\0 \0", 6), g, 3, "IN is UTF-16 text (little-endian), as its first bytes"},
      {"UTF-32 text", std::string("\0\0\xFE\xFF\0\0\0" "1", 8), g, 3, "IN is UTF-32 text (big-endian)"},
      {"UTF-16 text without a mark", std::string("1\0 \0" "1\0", 6), g, 3, "IN holds NUL bytes between the characters"},
  };
  for (const bool createNew : {false, true}) {
    for (const bool existing : {false, true}) {
      for (const Refusal& c : cases) {
        for (const ReaderSetup& setup : kSetups) {
          kvtest::ScratchDir dir;
          const auto in = dir / "in.dat";
          const auto out = dir / "o.top";
          WriteAll(in, c.input);
          std::string before;
          if (existing) {
            StepByStep({{1, 1, 5}, {3, 1, 9}}, g, c.type, out, false);
            before = ReadAll(out);
          }
          std::string expected = c.message;
          if (const auto at = expected.find("IN"); at != std::string::npos) expected.replace(at, 2, kv::PathText(in));
          try {
            kv::RunConversion(Request(in, out, c.type, c.grid, createNew, setup));
            ADD_FAILURE() << c.name << ": no error";
          } catch (const kv::Error& e) {
            const std::string what = e.what();
            EXPECT_EQ(what.substr(0, expected.size()), expected) << c.name;
            const std::string intact = existing ? "The output file " + kv::PathText(out) + " was not changed."
                                                : "No output file was created.";
            EXPECT_EQ(what.substr(what.size() - intact.size()), intact) << c.name << ": " << what;
          }
          EXPECT_EQ(std::filesystem::exists(out), existing) << c.name;
          if (existing) {
            EXPECT_TRUE(kvtest::SameBytes(ReadAll(out), before)) << c.name;
          }
          EXPECT_TRUE(kvtest::LeftBeside(out).empty()) << c.name;
        }
      }
    }
  }
}

TEST(Conversion, RefusesABlockPastTheLargestOffset) {
  // Period 1 holds block 537 of a 1000 x 1000 grid, the last block whose offset fits;
  // a new period would need block 538.
  kvtest::ScratchDir dir;
  std::string header(4000, '\0');
  header[0] = 1;
  header[2000] = static_cast<char>(537 & 0xFF);
  header[2001] = static_cast<char>(537 >> 8);
  WriteAll(dir / "o.top", header);
  const std::uintmax_t length = 4000 + std::uintmax_t{537} * 4000000;  // sparse: the file ends with block 537
  std::filesystem::resize_file(dir / "o.top", length);
  WriteAll(dir / "in.dat", "2 1 1 1000000*1\n2 1 1000000*2");
  try {
    kv::RunConversion({dir / "in.dat", dir / "o.top", 3, {1000, 1000, 1}, false});
    FAIL();
  } catch (const kv::Error& e) {
    EXPECT_EQ(std::string(e.what()), "Data set 2, layer, line 2, column 3 of " + kv::PathText(dir / "in.dat") +
                                         ": layer 1 of period 2 would begin past byte 2,147,483,646, the largest offset "
                                         "the file can address. The output file " +
                                         kv::PathText(dir / "o.top") + " was not changed.");
  }
  EXPECT_EQ(std::filesystem::file_size(dir / "o.top"), length);
  std::ifstream in(dir / "o.top", std::ios::binary);
  std::string start(4000, '\0');
  in.read(start.data(), 4000);
  EXPECT_EQ(start, header);
}

TEST(Conversion, RefusedOutputFiles) {
  const kv::GridSize g{3, 2, 2};
  auto blockEntry = [](std::int16_t b) {
    std::string h(4000, '\0');
    h[2000] = static_cast<char>(b & 0xFF);
    h[2001] = static_cast<char>((b >> 8) & 0xFF);
    return h;
  };
  struct Case {
    const char* name;
    std::string content;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"shorter than the header", std::string(3999, '\1'), "is 3999 bytes long, shorter than the 4000-byte header"},
      {"empty file", "", "is 0 bytes long"},
      {"negative block number", blockEntry(-3), "the block number -3 of period 1 puts its data outside"},
      // A 4 x 2 x 2 file, one block: 16 bytes into a layer of this grid.
      {"made for another grid", blockEntry(1) + std::string(64, '\0'),
       "o.top does not fit the grid 3 x 2 x 2 and type 3 (\"Elevation of top of cells\"): it is 4064 bytes long, where its 1 block needs 4048 bytes at "
       "most, and the file ends 16 bytes into a layer of 3 x 2 values: its length does not fit this grid. Choose the "
       "model the file was made for, or create a new file."},
      {"two periods in one block", blockEntry(1).replace(2002, 2, "\1\0", 2) + std::string(48, '\0'),
       "and periods 1 and 2 both have block 1"},
  };
  for (const Case& c : cases) {
    kvtest::ScratchDir dir;
    WriteAll(dir / "in.dat", "1 1 1 1 2 3 4 5 6");
    WriteAll(dir / "o.top", c.content);
    try {
      kv::RunConversion({dir / "in.dat", dir / "o.top", 3, g, false});
      ADD_FAILURE() << c.name;
    } catch (const kv::Error& e) {
      EXPECT_EQ(e.kind(), kv::ErrorKind::BadOutput) << c.name;
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
    EXPECT_TRUE(kvtest::SameBytes(ReadAll(dir / "o.top"), c.content)) << c.name;
  }
  // Not files to write: a folder or a pipe in the output's place, and the input itself, by any name.
  kvtest::ScratchDir dir;
  WriteAll(dir / "in.dat", "1 1 1 1 2 3 4 5 6");
  std::filesystem::create_directory(dir / "o.top");
#if defined(__unix__)  // no symbolic links or FIFOs to make on Windows
  std::filesystem::create_symlink(dir / "in.dat", dir / "link.dat");
#endif
  const struct {
    std::filesystem::path output;
    std::string message;
  } others[] = {
      {dir / "o.top", "is a folder, not a file"},
      {dir / "in.dat", "is the input file " + (dir / "in.dat").string() + " itself"},
      {dir / "." / "in.dat", "is the input file"},
#if defined(__unix__)
      {dir / "link.dat", "is the input file " + (dir / "in.dat").string() + " itself"},
      {dir / "fifo", "is not a regular file"},
#endif
  };
#if defined(__unix__)
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
#endif
  for (const auto& other : others) {
    for (const bool createNew : {false, true}) {
      try {
        kv::RunConversion({dir / "in.dat", other.output, 3, g, createNew});
        ADD_FAILURE() << other.output;
      } catch (const kv::Error& e) {
        EXPECT_NE(std::string(e.what()).find(other.message), std::string::npos) << e.what();
      }
    }
  }
  EXPECT_TRUE(std::filesystem::is_directory(dir / "o.top"));
  EXPECT_EQ(ReadAll(dir / "in.dat"), "1 1 1 1 2 3 4 5 6");
}

TEST(Conversion, InputsThatAreNoFiles) {
  kvtest::ScratchDir dir;
  std::filesystem::create_directory(dir / "folder");
  EXPECT_EQ(kv::InputProblem(dir / "none.dat", true), "Could not find the input file " + (dir / "none.dat").string());
  try {
    kv::RunConversion({dir / "none.dat", dir / "o.top", 3, {3, 2, 2}, true});
    ADD_FAILURE();
  } catch (const kv::Error& e) {
    EXPECT_EQ(e.kind(), kv::ErrorKind::InputMissing);
  }
  EXPECT_EQ(kv::InputProblem(dir / "folder", true), "The input file " + (dir / "folder").string() + " is not a regular file");
#if defined(__unix__)
  // A pipe streams: the command line may take one, the window does not.
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  EXPECT_EQ(kv::InputProblem(dir / "fifo", true), "");
  EXPECT_EQ(kv::InputProblem(dir / "fifo", false), "The input file " + (dir / "fifo").string() + " is not a regular file");
#endif
}

// What is not read is told, not hidden: fields after the last announced set.
TEST(Conversion, LeftOverFieldsAreReported) {
  const kv::GridSize g{3, 2, 2};
  struct Case {
    const char* name;
    std::string input;
    std::vector<std::string> warnings;
  };
  const std::string tail = " the file announces, from line ";
  const std::string advice = " not read. If this is data, check the set count, the grid size (6 values a set) and "
                             "that decimals are written with a point";
  const std::vector<Case> cases = {
      {"nothing left", "1 1 1 1 2 3 4 5 6\n \n", {}},
      {"a count too small", "1 1 1 1 2 3 4 5 6\n2 1\n1 2 3 4 5 6\n",
       {"IN: 8 fields follow the last of the 1 data set" + tail + "2 on; they were" + advice}},
      {"decimal commas", "1\n1 1\n1,5 2,5 3,5\n4,5 5,5 6,5\n",
       {"IN: 6 fields follow the last of the 1 data set" + tail + "4 on; they were" + advice}},
      {"one stray field", "0 7", {"IN: 1 field follows the last of the 0 data sets" + tail + "1 on; it was" + advice}},
      {"words that are no numbers", "1 1 1 1 2 3 4 5 6 abc,,x\n" + std::string(300, 'z') + " 7",
       {"IN: 4 fields follow the last of the 1 data set" + tail + "1 on; they were" + advice}},
  };
  for (const ReaderSetup& setup : kSetups) {
    for (const Case& c : cases) {
      kvtest::ScratchDir dir;
      WriteAll(dir / "in.dat", c.input);
      std::vector<std::string> expected = c.warnings;
      for (std::string& w : expected) w.replace(0, 2, (dir / "in.dat").string());
      EXPECT_EQ(kv::RunConversion(Request(dir / "in.dat", dir / "o.top", 3, g, false, setup)).warnings, expected)
          << c.name << ", threads " << setup.threads;
    }
  }
}

TEST(Conversion, CancelWhileCheckingChangesNothing) {
  for (const bool createNew : {false, true}) {
    kvtest::ScratchDir dir;
    const kv::GridSize g{3, 2, 2};
    StepByStep({{1, 1, 5}}, g, 3, dir / "o.top", false);
    const std::string before = ReadAll(dir / "o.top");
    WriteAll(dir / "in.dat", InputText({{2, 1, 1}, {3, 1, 1}, {4, 1, 1}}, g));
    int calls = 0;
    try {
      kv::RunConversion({dir / "in.dat", dir / "o.top", 3, g, createNew}, [&](const kv::ConversionProgress& p) {
        EXPECT_EQ(p.setsTotal, 3);
        return ++calls < 2;
      });
      FAIL();
    } catch (const kv::Error& e) {
      EXPECT_EQ(e.kind(), kv::ErrorKind::Cancelled);
    }
    EXPECT_TRUE(kvtest::SameBytes(ReadAll(dir / "o.top"), before));
    EXPECT_TRUE(kvtest::LeftBeside(dir / "o.top").empty());
  }
}

TEST(Conversion, ProgressReachesTheEndAlikeOnEveryThreadCount) {
  const kv::GridSize g{3, 2, 2};
  const std::string text = InputText({{2, 1, 1}, {3, 1, 1}, {4, 2, 1}}, g) + "\n\n";
  std::vector<std::uint64_t> firstSteps;
  for (const ReaderSetup& setup : kSetups) {
    kvtest::ScratchDir dir;
    WriteAll(dir / "in.dat", text);
    kv::ConversionProgress last;
    std::vector<std::uint64_t> steps;
    kv::RunConversion(Request(dir / "in.dat", dir / "o.top", 3, g, false, setup), [&](const kv::ConversionProgress& p) {
      last = p;
      steps.push_back(p.bytesRead);
      return true;
    });
    EXPECT_EQ(last.setsDone, 3);
    EXPECT_EQ(last.inputBytes, text.size());
    EXPECT_EQ(last.bytesRead, text.find_last_not_of(" \n") + 1);  // up to the last value
    if (firstSteps.empty()) firstSteps = steps;
    EXPECT_EQ(steps, firstSteps) << "threads " << setup.threads;
  }
}

}  // namespace

namespace {

// Layers large enough to be written on the second thread give the same bytes.
TEST(Conversion, LargeLayersWrittenInTheBackground) {
  kvtest::ScratchDir dir;
  const kv::GridSize g{300, 300, 2};  // 360 KB a layer
  std::vector<Set> sets;
  for (int k = 0; k < 6; ++k) sets.push_back({k % 3 + 1, k % 2 + 1, static_cast<float>(k)});
  WriteAll(dir / "in.dat", InputText(sets, g));
  StepByStep(sets, g, 3, dir / "steps.top", true);
  for (const int threads : {1, 2}) {
    kv::RunConversion(Request(dir / "in.dat", dir / "run.top", 3, g, true, {threads, 0}));
    EXPECT_TRUE(kvtest::SameBytes(ReadAll(dir / "run.top"), ReadAll(dir / "steps.top"))) << "threads " << threads;
  }
}

}  // namespace

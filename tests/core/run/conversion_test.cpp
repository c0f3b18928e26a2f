#include "zuduradu/core/run/conversion.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "test_support.h"
#include "zuduradu/core/error.h"
#include "zuduradu/core/format/period_data_file.h"
#include "zuduradu/core/storage/file_system.h"

#if defined(__unix__)
#include <sys/stat.h>
#endif

namespace {

using namespace kvtest;

// The run as the file's own operations would do it, one set at a time.
void SetBySet(const std::vector<Set>& sets, const kv::GridSize& g, int type, const std::filesystem::path& out,
              bool createNew) {
  if (createNew) std::filesystem::remove(out);
  for (const Set& s : sets)
    if (s.layer <= g.nz) kv::WriteLayer(out, g, s.period, type, s.layer, Values(s, g.nx * g.ny));
  if (kv::FileExists(out)) kv::WritePeriodReferences(out, kv::LoadPeriodTables(out));
}

// The reader on one thread, and on several with chunks so small that their
// edges fall everywhere: {threads, bytes read at a time}.
using ReaderSetup = std::pair<int, std::size_t>;
const std::vector<ReaderSetup> kSetups = {{1, 0}, {2, 3}, {3, 11}};
kv::ConversionRequest On(kv::ConversionRequest req, ReaderSetup setup) {
  std::tie(req.threads, req.readChunkBytes) = setup;
  return req;
}

// Random runs after an earlier one on the same file (or none), on every road (in place, in a copy past
// a tiny memory budget, created new; layers large enough to be written in the background) give the bytes
// and counts of storing their sets one by one; storing nothing deletes the file with create-new.
TEST(Conversion, RandomRunsGiveTheBytesOfStoringSetBySet) {
  std::mt19937 rng(12345);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int round = 0; round < 90; ++round) {
    ScratchDir dir;
    const bool large = round % 30 == 29;
    const kv::GridSize g = large ? kv::GridSize{300, 300, 2} : kv::GridSize{pick(1, 4), pick(1, 3), pick(1, 3)};
    const int type = std::vector<int>{3, 23, 0}[static_cast<std::size_t>(round % 3)];
    const int layers = kv::LayersPerBlock(type, g.nz);
    auto randomSets = [&](int n, bool skipping) {
      std::vector<Set> sets;
      for (int k = 0; k < n; ++k) {
        const int period = pick(0, 9) == 0 ? pick(990, 1000) : pick(1, 20);
        const int layer = skipping && pick(0, 4) == 0 ? g.nz + pick(1, 2) : pick(1, layers);
        sets.push_back({period, layer, static_cast<float>(pick(-99, 99)) / 4, static_cast<float>(pick(0, 3))});
      }
      return sets;
    };
    const std::vector<Set> earlier = randomSets(pick(0, 1) * pick(1, 5), false);
    const std::vector<Set> sets = randomSets(large ? 4 : pick(0, 3) == 0 ? pick(0, 1) : pick(1, 12), true);
    const bool createNew = pick(0, 2) == 0;
    SetBySet(earlier, g, type, dir / "run.top", false);
    SetBySet(earlier, g, type, dir / "steps.top", false);
    // The sets split over up to three inputs of one run, as if converted one after the other.
    kv::ConversionRequest req = On({{}, dir / "run.top", type, g, createNew}, kSetups[round % 3]);
    std::size_t warned = 0;
    for (auto from = sets.begin(); req.inputs.empty() || from != sets.end();) {
      const auto to = req.inputs.size() == 2 ? sets.end() : from + pick(0, static_cast<int>(sets.end() - from));
      const std::vector<Set> part(from, to);
      warned += std::ranges::any_of(part, [&](const Set& s) { return s.layer > g.nz; });
      req.inputs.push_back({dir / ("in" + std::to_string(req.inputs.size()) + ".dat")});
      WriteAll(req.inputs.back().path, InputText(part, g.nx * g.ny));
      from = to;
    }
    req.memoryBudgetBytes = pick(0, 1) ? 64 : std::size_t{1} << 20;  // tiny budgets take the copy road
    const kv::ConversionResult result = kv::RunConversion(req);
    SetBySet(sets, g, type, dir / "steps.top", createNew);
    const auto skipped = std::ranges::count_if(sets, [&](const Set& s) { return s.layer > g.nz; });
    const bool exists = std::filesystem::exists(dir / "steps.top");
    const std::string trace = "round " + std::to_string(round);
    EXPECT_EQ(result, (kv::ConversionResult{static_cast<int>(sets.size() - skipped), static_cast<int>(skipped), exists,
                                            result.warnings}))
        << trace;
    EXPECT_EQ(result.warnings.size(), warned) << trace;  // one warning an input names its skipped sets
    EXPECT_EQ(std::filesystem::exists(dir / "run.top"), exists) << trace;
    ASSERT_TRUE(SameBytes(ReadAll(dir / "run.top"), ReadAll(dir / "steps.top"))) << trace;
  }
}

// Every refused run leaves the output as it was: an existing file byte for byte,
// a missing one still missing; with create-new the old file is not deleted. On
// more than one thread the refused input comes second in a run, after a good one.
TEST(Conversion, RefusedRunsChangeNothing) {
  const kv::GridSize g{3, 2, 2};
  const std::string six = " 1 2 3 4 5 6";
  // Each case's message is the start of what is said.
  const struct { std::string input; kv::GridSize grid; int type; kv::ErrorKind kind; std::string message; } cases[] = {
      {"2 1 1" + six + " 2 1 1 2 x 4 5 6", g, 3, kv::ErrorKind::BadInput,
       "Data set 2, value, line 1, column 27 of IN: \"x\" is not a number."},
      {"2 1 1" + six + " 0 1" + six, g, 3, kv::ErrorKind::Unstorable,
       "Data set 2, period, line 1, column 19 of IN: period 0 is outside 1..1000."},
      {"1 1 0" + six, g, 3, kv::ErrorKind::Unstorable, "Data set 1, layer, line 1, column 5 of IN: layer 0 is below 1."},
      {"1 1 2" + six, g, 23, kv::ErrorKind::Unstorable,
       "Data set 1, layer, line 1, column 5 of IN: layer 2 cannot be stored: this data type has one layer per period."},
      {"1 1 1" + six, {0, 2, 2}, 3, kv::ErrorKind::BadRequest,
       "The grid size 0 x 2 x 2 (columns x rows x layers) is not usable: each must be 1..32767."},
      {"2 1 1 1.5 2.5 3.5 4.5 5.5 6.5 7.5 2 1" + six, g, 3, kv::ErrorKind::BadInput,
       "Data set 2, period, line 1, column 31 of IN: \"7.5\" is not a whole number; data set 1 may hold more or fewer "
       "values than NX x NY = 3 x 2 = 6, and the grid size may not match the file."},
      {"3\n1 1\n1 2 3\n4 5 6\n7 8 9\n2 1\n1 2 3\n4 5\n7 8 9\n3 1\n0.5 1 2\n3 4 5\n6 7 8\n", {3, 3, 2}, 3,
       kv::ErrorKind::BadInput,  // a value missing in a row: its line is named
       "Data set 3, layer, line 11, column 1 of IN: \"0.5\" is not a whole number; data set 2 holds fewer values than "
       "NX x NY = 3 x 3 = 9: line 8 holds 2 values where the rows before it hold 3."},
      {"2 1 1" + six + " 2 1 1 2", g, 3, kv::ErrorKind::BadInput,  // no such hint for an early end
       "Data set 2, value, line 1, column 26 of IN: the file ends inside data set 2: 4 values are missing of its 6."},
  };
  for (int mode = 0; mode < 4; ++mode) {
    const bool createNew = mode & 1, existing = mode & 2;
    for (const auto& c : cases) {
      for (const ReaderSetup& setup : kSetups) {
        ScratchDir dir;
        const auto in = dir / "in.dat", out = dir / "o.top";
        WriteAll(in, c.input);
        if (existing) SetBySet({{1, 1, 5}, {3, 1, 9}}, c.grid.nx > 0 ? c.grid : g, c.type, out, false);
        const std::string before = ReadAll(out);
        std::string expected = c.message;
        if (const auto at = expected.find("IN"); at != std::string::npos) expected.replace(at, 2, kv::PathText(in));
        expected += existing ? " The output file " + kv::PathText(out) + " was not changed." : " No output file was created.";
        kv::ConversionRequest req = On({{{in}}, out, c.type, c.grid, createNew}, setup);
        if (setup.first > 1) {
          WriteAll(dir / "good.dat", InputText({{2, 1, 1.5f}}, c.grid.nx * c.grid.ny));
          req.inputs.insert(req.inputs.begin(), {dir / "good.dat"});
        }
        EXPECT_TRUE(ThrowsKvError([&] { kv::RunConversion(req); }, c.kind, expected));
        EXPECT_EQ(std::tuple(std::filesystem::exists(out), ReadAll(out), LeftBeside(out)),
                  std::tuple(existing, before, std::vector<std::string>{})) << c.message;
      }
    }
  }
}

// The last block whose layer begins at or below byte 2,147,483,646 is taken; one past it is refused,
// naming the largest offset: period 1 holds block 537 of a 1000 x 1000 grid, a new period needs 538.
TEST(Conversion, RefusesABlockPastTheLargestOffset) {
  ScratchDir dir;
  const std::string header = std::string(4000, '\0').replace(0, 1, "\1").replace(2000, 2, "\x19\x02");  // 537
  WriteAll(dir / "o.top", header);
  const std::uintmax_t length = 4000 + std::uintmax_t{537} * 4000000;  // sparse: the file ends with block 537
  std::filesystem::resize_file(dir / "o.top", length);
  WriteAll(dir / "in.dat", "2 1 1 1000000*1\n2 1 1000000*2");
  EXPECT_KV_ERROR(kv::RunConversion({{{dir / "in.dat"}}, dir / "o.top", 3, {1000, 1000, 1}, false}), Unstorable,
                  "Data set 2, layer, line 2, column 3 of " + kv::PathText(dir / "in.dat") +
                      ": layer 1 of period 2 would begin past byte 2,147,483,646, the largest offset the file can "
                      "address. The output file " + kv::PathText(dir / "o.top") + " was not changed.");
  EXPECT_EQ(std::filesystem::file_size(dir / "o.top"), length);
  std::string start(4000, '\0');
  std::ifstream(dir / "o.top", std::ios::binary).read(start.data(), 4000);
  EXPECT_EQ(start, header);
}

TEST(Conversion, RefusedOutputFiles) {
  const kv::GridSize g{3, 2, 2};
  const std::string block1 = std::string(4000, '\0').replace(2000, 1, "\1");  // period 1 in block 1
  const struct { std::string content, message; } cases[] = {
      {std::string(3999, '\1'), "is 3999 bytes long, shorter than the 4000-byte header"},
      {std::string(3998, '\0') + "\xFD\xFF", "the block number -3 of period 1000 puts its data outside"},
      // Said in grids: a 4 x 2 x 2 file, then a 3 x 2 x 3 one, each of one block.
      {block1 + std::string(64, '\0'), "o.top does not fit the model and type 3 (\"Elevation of top of cells\"): the "
       "file was made for another grid: its block holds 16 values, no whole number of layers of 3 \u00d7 2; the model "
       "has 2 layers of 3 \u00d7 2. Choose the model the file was made for, or create a new file."},
      {block1 + std::string(72, '\0'), "the file was made for 3 layers of 3 \u00d7 2, the model has 2 layers of 3 \u00d7 2."},
      // A 3 x 2 x 1 file of two blocks: block 2 begins at the end of the file where the model reads it.
      {std::string(block1).replace(2002, 1, "\2") + std::string(48, '\0'),
       "the file was made for 1 layer of 3 \u00d7 2, the model has 2 layers of 3 \u00d7 2."},
      {block1 + std::string(30, '\0'), "it is 4030 bytes long, where its 1 block needs 4048 bytes at most, and the file "
       "ends 6 bytes into a layer of 3 x 2 values"},
      {std::string(block1).replace(2002, 1, "\1") + std::string(48, '\0'), "and periods 1 and 2 both have block 1"},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    WriteAll(dir / "in.dat", "1 1 1 1 2 3 4 5 6");
    WriteAll(dir / "o.top", c.content);
    EXPECT_KV_ERROR(kv::RunConversion({{{dir / "in.dat"}}, dir / "o.top", 3, g, false}), BadOutput, c.message);
    EXPECT_TRUE(SameBytes(ReadAll(dir / "o.top"), c.content)) << c.message;
  }
}

TEST(Conversion, InputsThatAreNoFiles) {
  ScratchDir dir;
  std::filesystem::create_directory(dir / "folder");
  EXPECT_EQ(kv::InputProblem(dir / "none.dat", true), "Could not find the input file " + (dir / "none.dat").string());
  EXPECT_KV_ERROR(kv::RunConversion({{{dir / "none.dat"}}, dir / "o.top", 3, {3, 2, 2}, true}), InputMissing,
                  "Could not find the input file");
  EXPECT_EQ(kv::InputProblem(dir / "folder", true), "The input file " + (dir / "folder").string() + " is not a regular file");
  // Refused before anything is read: standard input twice, a file missing after others, matrix text with a layer.
  WriteAll(dir / "in.dat", "1 1 1 6*1");
  WriteAll(dir / "broken.dat", "x");
  const kv::InputSource stdinput{"standard input", true}, text{dir / "in.dat"}, missing{dir / "none.dat"},
      broken{dir / "broken.dat"}, layered{dir / "in.dat", false, {}, 1};
  const struct { std::vector<kv::InputSource> inputs; kv::ErrorKind kind; std::string message; } batches[] = {
      {{stdinput, text, stdinput}, kv::ErrorKind::BadRequest, "Standard input is given 2 times, but it can be read only once"},
      {{broken, text, missing}, kv::ErrorKind::InputMissing, "Could not find the input file " + kv::PathText(missing.path)},
      {{broken, layered}, kv::ErrorKind::BadRequest, "The input file " + kv::PathText(text.path) + " is matrix text, which "
       "brings its own periods and layers, but a layer was given for it."},
      {{}, kv::ErrorKind::BadRequest, "No input file was given"},
  };
  for (const auto& b : batches) {
    EXPECT_TRUE(ThrowsKvError([&] { kv::RunConversion({b.inputs, dir / "o.top", 3, {3, 2, 2}, true}); }, b.kind, b.message));
    EXPECT_FALSE(std::filesystem::exists(dir / "o.top")) << b.message;
  }
#if defined(__unix__)
  // A pipe streams: the command line may take one, the window does not.
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  EXPECT_EQ(kv::InputProblem(dir / "fifo", true), "");
  EXPECT_EQ(kv::InputProblem(dir / "fifo", false), "The input file " + (dir / "fifo").string() + " is not a regular file");
#endif
}

// What is read oddly is told, never changed: a warning, refused in strict mode
// (writing nothing), or a refusal that names decimal commas where they are the likely cause.
TEST(Conversion, OddInputsAreToldAndRefusedInStrictMode) {
  const std::string comma = ". The fields look like numbers written with a decimal comma, such as \"1,5\"";
  const struct {
    std::string input, told;  // the start of the warning, or part of the refusal
    bool refused;
    kv::GridSize grid = {3, 2, 2};
    std::string strictTold = "";  // when strict mode refuses in other words
  } cases[] = {
      {"1 1 1 1 2 3 4 5 6\n \n", "", false},
      {"1 1 1 1 2 3 4 5 6\n2 1\n1 2 3 4 5 6\n",
       "IN: 8 fields follow the last of the 1 data set the file announces, from line 2 on; they were not read. If this "
       "is data, check the set count, the grid size (6 values a set) and that decimals are written with a point", false},
      {"0 7", "IN: 1 field follows the last of the 0 data sets the file announces, from line 1 on; it was", false},
      {"1\n1 1\n1 2 3\n4 5 6\n7 8 9 10\n11 12 13\n", "IN: 1 field follows the last of the 1 data set the file "
       "announces, from line 6 on; it was not read. If this is data, check the set count, the grid size (12 values a "
       "set) and that decimals are written with a point; data set 1 holds more values than NX x NY = 3 x 4 = 12: "
       "line 5 holds 4 values where the rows before it hold 3", false, {3, 4, 2}},
      {"1\n1 1\n1,5 2,5 3,5 4,5\n", "decimals are written with a point" + comma, false},
      {"2\n1 1\n1,5 2,5 3,5 4,0\n1 1\n1 2 3 4 5 6\n", "IN: layer 0 is below 1" + comma, true},
      {"2\n1 1\n1 2 3\n4 5 6\n1 3\n1 2 3 4 5 6\n",
       "IN: 1 data set was skipped, as its layer is above NZ = 2; it is data set 2 (layer 3, line 5)", false, {3, 2, 2},
       "layer 3 is above NZ = 2: the set would be skipped, which strict mode refuses"},
      {"1\n1 1\n1 2\n3 4\n5 6\n",
       "IN: data set 1 is written in lines of 2 values from line 3 on, where the grid's rows hold NX = 3: the text may "
       "be meant for another grid, such as one with NX and NY swapped. Line ends carry no meaning, so the values fill "
       "rows of 3 in the order they are read", false},
  };
  for (const auto& c : cases) {
    for (const bool strict : {false, true}) {
      ScratchDir dir;
      WriteAll(dir / "in.dat", c.input);
      std::string told = c.told;
      if (const auto at = told.find("IN"); at != std::string::npos) told.replace(at, 2, kv::PathText(dir / "in.dat"));
      kv::ConversionRequest req{{{dir / "in.dat"}}, dir / "o.top", 3, c.grid, false};
      req.strict = strict;
      if (c.refused || (strict && !told.empty())) {
        const bool other = strict && !c.strictTold.empty();
        EXPECT_TRUE(ThrowsKvError([&] { kv::RunConversion(req); },
                                  c.refused || other ? kv::ErrorKind::Unstorable : kv::ErrorKind::BadInput,
                                  other ? c.strictTold : told));
        EXPECT_FALSE(std::filesystem::exists(dir / "o.top")) << c.input;
        continue;
      }
      const auto warnings = kv::RunConversion(req).warnings;
      EXPECT_EQ(warnings.empty(), told.empty()) << c.input;
      if (!told.empty() && !warnings.empty()) { EXPECT_NE(warnings[0].find(told), std::string::npos) << warnings[0]; }
    }
  }
}

// Progress reaches the end alike on every thread count; a later run cancelled
// while it checks its input changes nothing, with create-new or not.
TEST(Conversion, ProgressReachesTheEndAlikeOnEveryThreadCountAndCancelChangesNothing) {
  const kv::GridSize g{3, 2, 2};
  const std::string text = InputText({{2, 1, 1}, {3, 1, 1}, {4, 2, 1}}, 6) + "\n\n";
  std::vector<std::uint64_t> firstSteps;
  for (const ReaderSetup& setup : kSetups) {
    ScratchDir dir;
    WriteAll(dir / "in.dat", text);
    kv::ConversionProgress last;
    std::vector<std::uint64_t> steps;
    kv::RunConversion(On({{{dir / "in.dat"}}, dir / "o.top", 3, g, false}, setup), [&](const kv::ConversionProgress& p) {
      last = p;
      steps.push_back(p.bytesRead);
      return true;
    });
    EXPECT_EQ(std::tuple(last.setsDone, last.inputBytes, last.bytesRead),
              std::tuple(3, text.size(), text.find_last_not_of(" \n") + 1));  // read up to the last value
    if (firstSteps.empty()) firstSteps = steps;
    EXPECT_EQ(steps, firstSteps) << "threads " << setup.first;
    const std::string before = ReadAll(dir / "o.top");
    int calls = 0;
    EXPECT_KV_ERROR(kv::RunConversion(On({{{dir / "in.dat"}}, dir / "o.top", 3, g, setup.first != 2}, setup),
                                      [&](const kv::ConversionProgress& p) {
                                        EXPECT_EQ(p.setsTotal, 3);
                                        return ++calls < 2;
                                      }),
                    Cancelled, "The conversion was cancelled.");
    EXPECT_TRUE(SameBytes(ReadAll(dir / "o.top"), before));
    EXPECT_TRUE(LeftBeside(dir / "o.top").empty());
  }
}

}  // namespace

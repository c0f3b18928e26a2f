#include "zuduradu/core/model/model_paths.h"

#include <filesystem>
#include <gtest/gtest.h>

#include "test_support.h"
#include "zuduradu/core/storage/file_system.h"

namespace kv {
namespace {

// Paths derived from a model path on both roads: the defaults of a fresh start
// and the output name of type 3.
TEST(ModelPaths, DerivedPaths) {
  const struct { std::string model; PathCase pc; std::string folder, output, top; } cases[] = {
      {"c:\\m\\a.kv5", PathCase::Fold, "c:\\m\\", "c:\\m\\a.", "c:\\m\\a.top"},
      {"C:\\M\\A.KV5", PathCase::Fold, "c:\\m\\", "c:\\m\\a.", "c:\\m\\a.top"},
      {"c:a.kv5", PathCase::Fold, "c:", "c:a.", "c:a.top"},
      {"a.kv5", PathCase::Fold, "", "a.", "a.top"},
      {"c:\\x.y\\a", PathCase::Fold, "c:\\x.y\\", "c:\\x.", "c:\\x.top"},
      {"C:\\M\\A.KV5", PathCase::Keep, "C:\\M\\", "C:\\M\\A.", "C:\\M\\A.top"},
      {"/home/Ann/A.kv5", PathCase::Keep, "/home/Ann/", "/home/Ann/A.", "/home/Ann/A.top"},
      {"/srv/x.y/a", PathCase::Keep, "/srv/x.y/", "/srv/x.", "/srv/x.top"},
      {"c:\\m\\n/a.kv5", PathCase::Keep, "c:\\m\\n/", "c:\\m\\n/a.", "c:\\m\\n/a.top"},
      {"c:\\m\\a", PathCase::Keep, "c:\\m\\", "", ""},
  };
  for (const auto& c : cases) {
    for (const std::string_view name : {kDialogInputName, kCommandLineInputName}) {
      Settings s;
      s.ModelPath = c.model;
      const PathBoxes boxes = DeriveModelPaths(s, name, c.pc);
      EXPECT_EQ(s.ModelFolder, c.folder) << c.model;
      EXPECT_EQ(boxes, (PathBoxes{std::nullopt, c.folder + std::string(name), c.output})) << c.model;
      EXPECT_EQ((PathBoxes{std::nullopt, s.InputPath, s.OutputPath}), boxes);
      EXPECT_EQ(OutputNameForType(s, 3, c.pc).value_or(""), c.top) << c.model;
    }
  }
}

TEST(ModelPaths, OutputNameForType) {
  const struct { std::string model; int code; std::optional<std::string> name; } cases[] = {
      {"c:\\m\\a.kv5", 0, "c:\\m\\a.tmp"}, {"c:\\m\\a.kv5", 6, "c:\\m\\a.por"}, {"c:\\m\\a.kv5", 1200, "c:\\m\\a.1200"},
      {"c:\\m\\a.kv5", 35, std::nullopt},  {"c:\\m\\a.kv5", 2001, std::nullopt}, {" \t ", 3, std::nullopt},
      {"", 3, std::nullopt},
  };
  for (const auto& c : cases) {
    Settings s;
    s.ModelPath = c.model;
    EXPECT_EQ(OutputNameForType(s, c.code, PathCase::Keep), c.name) << c.model << " " << c.code;
  }
}

// Whether a path lies in the model's folder or below it; a relative path is not judged.
// The platform's rule for case is its file system's: names that differ in case
// alone are two files exactly where case is kept.
TEST(ModelPaths, NativePathCaseIsTheFileSystems) {
  kvtest::ScratchDir dir;
  kvtest::WriteAll(dir / "a.top", "1");
  kvtest::WriteAll(dir / "A.TOP", "2");
  EXPECT_EQ(kvtest::ReadAll(dir / "a.top") == "1", NativePathCase() == PathCase::Keep);
}

TEST(ModelPaths, LiesInFolder) {
  const struct { std::string_view folder, path; PathCase pathCase; bool in; } cases[] = {
      {"c:\\m\\", "C:/M/sub/a.top", PathCase::Fold, true}, {"c:\\m\\", "C:/M/a.top", PathCase::Keep, false},
      {"c:\\m\\", "c:\\mm\\a.top", PathCase::Fold, false}, {"/m/", "/m/../n/a.top", PathCase::Keep, false},
      {"/m/", "/m/./a.top", PathCase::Keep, true}, {"/m/", "a.top", PathCase::Keep, true}, {"", "/n/a", PathCase::Keep, true},
  };
  for (const auto& c : cases) EXPECT_EQ(LiesInFolder(c.folder, c.path, c.pathCase), c.in) << c.folder << " " << c.path;
}

TEST(ModelPaths, CommandLine) {
  const struct { std::string_view argument, file; } cases[] = {
      {"c:\\m\\a.kv5", "c:\\m\\a.kv5"}, {"C:\\M\\A.KV5", "C:\\M\\A.kv5"}, {"c:\\m\\a.bot", "c:\\m\\a.kv5"},
      {"abcd", ".kv5"},                 {"abc", "abc.kv5"},                {"", ".kv5"},
  };
  for (const auto& c : cases) EXPECT_EQ(CommandLineModelFile(c.argument), c.file) << c.argument;
  EXPECT_EQ(JoinArguments({}), "");
  EXPECT_EQ(JoinArguments({"c:\\my", "models\\a.kv5"}), "c:\\my models\\a.kv5");
  EXPECT_EQ(JoinArguments({"a", "", "b"}), "a  b");

  Settings s;  // the argument itself keeps its case; what is derived from it follows the platform
  const PathBoxes boxes = TakeModelFromCommandLine(s, "C:\\M\\A.KV5", PathCase::Fold);
  EXPECT_EQ(boxes, (PathBoxes{"C:\\M\\A.KV5", "c:\\m\\input.dat", "c:\\m\\a."}));
  EXPECT_EQ(s.model.file, "C:\\M\\A.kv5");
}

TEST(ModelPaths, SecondModelMovesTheFirstDefaults) {
  Settings s;
  TakeModelFromDialog(s, "c:\\m\\a.kv5", PathCase::Fold);
  const PathBoxes boxes = TakeModelFromDialog(s, "D:\\N\\B.kv5", PathCase::Fold);
  EXPECT_EQ(boxes, (PathBoxes{"d:\\n\\b.kv5", "d:\\n\\Input.dat", "d:\\n\\b."}));
  EXPECT_EQ((PathBoxes{s.ModelPath, s.InputPath, s.OutputPath}), boxes);
  EXPECT_EQ(std::tuple(s.ModelFolder, OutputNameForType(s, 3, PathCase::Fold)), std::tuple("d:\\n\\", "d:\\n\\b.top"));
  // An output the first model derived moves, with its type's extension; one the user chose stays.
  for (const auto& [before, after] : std::vector<std::pair<std::string, std::string>>{
           {"c:\\m\\a.top", "d:\\n\\b.top"}, {"c:\\m\\b.top", "c:\\m\\b.top"}, {"c:\\m\\a.xyz", "c:\\m\\a.xyz"},
           {"c:\\m\\", "c:\\m\\"}, {"e:\\a.top", "e:\\a.top"}}) {
    TakeModelFromDialog(s, "c:\\m\\a.kv5", PathCase::Fold);
    s.OutputPath = before;
    TakeModelFromDialog(s, "D:\\N\\B.kv5", PathCase::Fold);
    EXPECT_EQ(s.OutputPath, after) << before;
  }
}

// A path as the model rules take it, in UTF-8.
std::string U8(const std::filesystem::path& p) { return PathText(p); }

// A model that is not accepted leaves the grid of the one before it (here 1, 2, 3)
// and a refusal naming the model.
TEST(ModelOnDisk, Dialog) {
  kvtest::ScratchDir dir;
  const std::string dims = "[DIMENSION]\nNX=7\nNY=8\nNZ=2\n";
  const struct { std::optional<std::string> text; ModelState state; GridSize grid; std::string refusal; } cases[] = {
      {dims, ModelState::Accepted, {7, 8, 2}, ""},
      {"[VERSION]\nNUMBER=4000\n" + dims, ModelState::Accepted, {7, 8, 2}, ""},
      {"[VERSION]\nNUMBER=3999\n" + dims, ModelState::VersionTooOld, {1, 2, 3}, "its version 3999 is older than 4000."},
      {"[DIMENSION]\nNX=5\nNY=40000\n", ModelState::DimensionOutOfRange, {1, 2, 3},
       "its NY value \"40000\" is outside -32768..32767."},
      {std::nullopt, ModelState::FileMissing, {1, 2, 3}, "the file does not exist or cannot be read."},
  };
  for (const auto& c : cases) {
    Settings s;  // the grid of a model before
    s.NX = 1, s.NY = 2, s.NZ = 3;
    EXPECT_EQ(ModelRefusal(s), "No model has been accepted yet: open a ZENTA model first.");
    const std::string model = U8(dir / "A.kv5");
    c.text ? kvtest::WriteAll(dir / "A.kv5", *c.text) : void(std::filesystem::remove(dir / "A.kv5"));
    const PathBoxes boxes = TakeModelFromDialog(s, model, PathCase::Keep);
    EXPECT_EQ(std::tuple(s.model.state, s.Grid()), std::tuple(c.state, c.grid)) << model;
    const std::string refusal = "The grid size could not be read from the model " + model + ": " + c.refusal;
    EXPECT_EQ(ModelRefusal(s), c.refusal.empty() ? "" : refusal);
    EXPECT_EQ(boxes, (PathBoxes{model, U8(dir / "Input.dat"), U8(dir / "A.")}));
  }
}

TEST(ModelOnDisk, CommandLineReadsTheKv5BesideTheArgumentWithoutAskingTheVersion) {
  kvtest::ScratchDir dir;
  kvtest::WriteAll(dir / "A.kv5", "[VERSION]\nNUMBER=3999\n[DIMENSION]\nNX=9\n");
  Settings s;
  const PathBoxes boxes = TakeModelFromCommandLine(s, U8(dir / "A.bot"), PathCase::Keep);
  EXPECT_EQ(boxes, (PathBoxes{U8(dir / "A.bot"), U8(dir / "input.dat"), U8(dir / "A.")}));
  EXPECT_EQ(std::tuple(s.model.accepted(), s.model.file, s.Grid()),
            std::tuple(true, U8(dir / "A.kv5"), GridSize{9, 30, 1}));
  TakeModelFromCommandLine(s, U8(dir / "B.kv5"), PathCase::Keep);
  EXPECT_EQ(std::tuple(s.model.state, s.Grid()), std::tuple(ModelState::FileMissing, GridSize{9, 30, 1}));
}

}  // namespace
}  // namespace kv

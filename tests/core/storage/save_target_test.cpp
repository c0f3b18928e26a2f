// Outputs that are never replaced (FIFO, device, model, the file read), the grid limit, and messages after late faults.
#include "zuduradu/core/storage/save_target.h"

#include <atomic>
#include <cerrno>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>
#include <tuple>

#include "core/fault_support.h"
#include "zuduradu/core/error.h"
#include "zuduradu/core/run/conversion.h"
#include "zuduradu/core/run/data_file_export.h"
#include "zuduradu/core/storage/stream_output.h"
#include "zuduradu/core/view/heat_map.h"

namespace {
namespace fs = std::filesystem;
const kv::GridSize kGrid{3, 2, 2};

// A data file with periods 1 and 2, its model and an input of period 10.
struct Scene {
  kvtest::ScratchDir dir;
  fs::path in = dir / "in.dat", out = dir / "o.top", model = dir / "site.kv5";
  Scene() {
    kvtest::WriteAll(in, "2 1 1 1 2 3 4 5 6 2 2 6 5 4 3 2 1");
    kv::RunConversion({{{in}}, out, 3, kGrid, false});
    kvtest::WriteAll(in, "1 10 1 9 8 7 6 5 4");
    kvtest::WriteAll(model, "[DIMENSION]\nNX=3\nNY=2\nNZ=2\n");
  }
  kv::ExportRequest Export(std::vector<int> periods = {}) const { return {out, kGrid, 3, std::move(periods), {}, model}; }
};

using kvtest::Refusal;

#if defined(__unix__)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
TEST(StreamOutputs, AFifoOrDeviceIsWrittenIntoAndStays) {
  // A reader comes after 300 ms; period 1001 is refused; with no reader the wait ends.
  for (const auto& [name, periods, reader, said] : {std::tuple{"text.fifo", 0, true, ""},
                                                    {"text.fifo", 1001, true, "Nothing was written to"},
                                                    {"text.fifo", 0, false, "No program opened"},
                                                    {"null", 0, false, ""}}) {  // a link to /dev/null
    Scene s;
    const fs::path out = s.dir / name;
    const bool fifo = out.extension() == ".fifo";
    ASSERT_TRUE(fifo ? mkfifo(out.c_str(), 0600) == 0 : (fs::create_symlink("/dev/null", out), true));
    std::string got;
    std::thread read([&] { if (reader) std::this_thread::sleep_for(std::chrono::milliseconds(300)), got = kvtest::ReadAll(out); });
    kv::ExportRequest request = s.Export(periods ? std::vector<int>{periods} : std::vector<int>{});
    request.readerWait.limit = std::chrono::seconds(reader ? 60 : 0);
    const std::string what = Refusal([&] { kv::ExportMatrixTextToFile(request, out); });
    EXPECT_TRUE(*said ? what.find(said) != std::string::npos : what.empty()) << what;
    read.join();
    std::ostringstream text;
    EXPECT_EQ(got, reader && !periods ? (kv::ExportMatrixText(s.Export(), text), text.str()) : "");
    // A picture goes into a device as the text does.
    if (!fifo) {
      EXPECT_NO_THROW(kv::WritePng(kv::DrawHeatMap(std::vector<float>(6, 1.0f), 3, 2, {}, {"p", ""}), out));
    }
    EXPECT_TRUE(fifo ? fs::is_fifo(fs::symlink_status(out)) : fs::is_character_file(fs::symlink_status("/dev/null")));
  }
}

// With standard input closed, the output's FIFO is opened as descriptor 0: it is written like any other, and closed.
TEST(StreamOutputs, DescriptorZeroIsAStreamLikeAnyOther) {
  kvtest::ScratchDir dir;
  const fs::path out = dir / "text.fifo";
  ASSERT_EQ(mkfifo(out.c_str(), 0600), 0);
  const int reader = open(out.c_str(), O_RDONLY | O_NONBLOCK), input = dup(0);
  close(0);
  const std::string what = Refusal([&] { kv::StreamOutput(out, {}).Write({"abc", 3}); });
  char got[8] = {};
  const auto n = read(reader, got, sizeof got);
  const auto end = read(reader, got + 4, sizeof got - 4);  // 0: no writer is left
  dup2(input, 0);
  close(input);
  close(reader);
  EXPECT_EQ(what + got + std::to_string(end), "abc0") << n;
}

// While the export waits for a reader, the FIFO is swapped for a link to another: the link is not written through.
TEST(StreamOutputs, ALinkPutAtTheFifoWhileWaitingIsNotWrittenThrough) {
  Scene s;
  const fs::path out = s.dir / "out.fifo", other = s.dir / "other.fifo";
  ASSERT_EQ(mkfifo(out.c_str(), 0600) + mkfifo(other.c_str(), 0600), 0);
  const int reader = open(other.c_str(), O_RDONLY | O_NONBLOCK);
  std::thread swap([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    fs::remove(out);
    fs::create_symlink(other, out);
  });
  kv::ExportRequest request = s.Export();
  request.readerWait.limit = std::chrono::seconds(3);
  const std::string what = Refusal([&] { kv::ExportMatrixTextToFile(request, out); });
  swap.join();
  char got[8] = {};
  EXPECT_EQ(read(reader, got, sizeof got), 0) << got;  // nobody ever wrote into the other FIFO
  EXPECT_NE(what.find("Could not open " + out.string()), std::string::npos) << what;
  close(reader);
}

// A reader that takes nothing ends the export after the wait; one that leaves early is said, without a SIGPIPE.
TEST(StreamOutputs, AReaderThatStopsOrLeavesEarlyIsSaid) {
  kvtest::ScratchDir dir;
  const kv::GridSize grid{300, 300, 1};  // text well past what a pipe holds
  kvtest::WriteAll(dir / "in.dat", "1 1 1 90000*1.25");
  kv::RunConversion({{{dir / "in.dat"}}, dir / "d.top", 3, grid, false});
  for (const auto& [bytes, said] : {std::pair{0, "The program reading "}, {10, "stopped reading before the end"}}) {
    const fs::path out = dir / "text.fifo";
    fs::remove(out);
    ASSERT_EQ(mkfifo(out.c_str(), 0600), 0);
    std::atomic<bool> done = false;
    std::thread read([&, n = bytes] {
      const int fd = open(out.c_str(), O_RDONLY);
      char some[10];
      if (n > 0 && ::read(fd, some, sizeof some) > 0) close(fd);
      while (n == 0 && !done) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (n == 0) close(fd);
    });
    kv::ExportRequest request{dir / "d.top", grid, 3, {}, {}};
    request.readerWait.limit = std::chrono::milliseconds(300);
    const std::string what = Refusal([&] { kv::ExportMatrixTextToFile(request, out); });
    done = true;
    read.join();
    EXPECT_NE(what.find(said), std::string::npos) << what;
  }
}

// A data file is never written into a FIFO or device: refused as such before its lock, even where none could be made.
TEST(SaveTarget, ADataFileOutputThatIsADeviceIsRefusedBeforeItsLock) {
  Scene s;
  ASSERT_EQ(mkfifo((s.dir / "fifo").c_str(), 0666), 0);
  for (const fs::path& out : {s.dir / "fifo", fs::path("/dev/null")}) {
    EXPECT_EQ(kvtest::AsUser([&] {
      return Refusal([&] { kv::RunConversion({{{s.in}}, out, 3, kGrid, false}); }).find("is not a regular file") == std::string::npos;
    }), 0) << out;
  }
}
#endif

// A data file needs a regular file; text and pictures go into a FIFO too. No output is a file the command reads.
TEST(SaveTarget, RefusesFoldersOtherKindsAndTheFilesRead) {
  Scene s;
  fs::create_directory(s.dir / "folder");
  const fs::path fifo = s.dir / "fifo", link = s.dir / "link.dat", dot = s.dir / "." / "in.dat";
#if defined(__unix__)
  fs::create_symlink(s.in, link);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
#endif
  using enum kv::SaveTarget::Kind;
  for (const auto& [output, kind, said] : {std::tuple<fs::path, kv::SaveTarget::Kind, std::string>{
                                               s.dir / "folder", DataFile, "is a folder, not a file (4)"},
                                           {s.dir / "folder", InOrder, "is a folder, not a file (0)"},
                                           {fifo, DataFile, "is not a regular file (4)"},
                                           {fifo, InOrder, ""},
                                           {s.in, InOrder, "The output file " + s.in.string() + " is the input"},
                                           {dot, DataFile, "The output file " + dot.string() + " is the input"},
                                           {link, DataFile, "is the input file " + s.in.string() + " itself"},
                                           {s.dir / "none" / "x.png", InOrder,
                                            "The folder " + (s.dir / "none").string() + " of the output file " +
                                                (s.dir / "none" / "x.png").string() + " does not exist"},
                                           {s.dir / "new.top", DataFile, ""}}) {
    // No links or FIFOs here.
    if (!fs::exists(fs::symlink_status(output)) && output.filename() != "new.top" && output.filename() != "x.png") continue;
    kv::SaveTarget target(output, kind);
    std::string what;
    try {
      target.RefuseOwnFile(s.in, "input file");
      if (!target.IsStream()) target.CheckKind();
    } catch (const kv::Error& e) {
      what = e.problem() + " (" + std::to_string(static_cast<int>(e.kind())) + ")";
    }
    EXPECT_NE(what.find(said), std::string::npos) << what;
    EXPECT_EQ(what.empty(), said.empty()) << what;
  }
  EXPECT_NE(Refusal([&] { kv::RunConversion({{{s.in}}, s.dir / "." / "in.dat", 3, kGrid, true}); }).find("is the input"),
            std::string::npos);
}

TEST(OwnFiles, TheModelAndTheDataFileReadAreNeverTheOutput) {
  Scene s;
  const std::string data = kvtest::ReadAll(s.out);
  EXPECT_NE(Refusal([&] { kv::ExportMatrixTextToFile(s.Export(), s.dir / "." / "o.top"); })
                .find("The export would overwrite the period data file it reads"), std::string::npos);
  EXPECT_EQ(kvtest::ReadAll(s.out), data);
  std::error_code ec;
  fs::create_symlink(s.model, s.dir / "link.kv5", ec);  // where links cannot be made, the other spelling still counts
  for (const fs::path& spelling : {s.dir / "." / "site.kv5", s.dir / "link.kv5"}) {
    if (!fs::exists(spelling)) continue;
    kv::ConversionRequest convert{{{s.in}}, spelling, 3, kGrid, true};
    convert.model = s.model;
    EXPECT_NE(Refusal([&] { kv::RunConversion(convert); }).find("is the model file"), std::string::npos);
    EXPECT_NE(Refusal([&] { kv::ExportMatrixTextToFile(s.Export(), spelling); }).find("is the model file"), std::string::npos);
    EXPECT_EQ(kvtest::ReadAll(s.model), "[DIMENSION]\nNX=3\nNY=2\nNZ=2\n");
  }
}

TEST(GridLimit, AGridWhoseFirstBlockPassesTheLastAddressableByteIsRefusedBeforeReading) {
  kvtest::ScratchDir dir;
  // One layer past the limit; a second layer that begins in range but ends past it; one layer a block fits.
  for (const auto& [grid, type, refused] : {std::tuple{kv::GridSize{23171, 23171, 1}, 3, true},
                                            {kv::GridSize{23170, 23170, 2}, 3, true},
                                            {kv::GridSize{23170, 23170, 2}, 17, false}}) {
    const std::string what = Refusal([&] { kv::RunConversion({{{dir / "unread.dat"}}, dir / "o.top", type, grid, false}); });
    EXPECT_EQ(what.find("is too large for a period data file: its first block") != std::string::npos, refused) << what;
    EXPECT_EQ(what.find("past byte 2,147,483,646, the last the file can address") != std::string::npos, refused) << what;
    EXPECT_FALSE(fs::exists(dir / "o.top"));
  }
}

TEST(FaultMessages, AfterTheNewDataIsInPlaceTheyTellWhatIsTrue) {
  // Appending period 10, or create-new with nothing to store; the removal fails, or the folder sync after it.
  for (const auto& [createNew, removed, failRemove, said] :
       {std::tuple{false, "o.top.kvcvrt-journal", false, "holds the new data"},
        {false, "o.top.kvcvrt-journal", true, "could not be removed"}, {true, "o.top", false, "was removed"}}) {
    Scene s;
    if (createNew) kvtest::WriteAll(s.in, "0");
    bool armed = false;
    kvtest::FaultHookGuard guard([&](kv::FileOperation op, const fs::path& p) {
      if (op == kv::FileOperation::Remove && p.filename() == removed) return (armed = true), failRemove ? EACCES : 0;
      return armed && op == kv::FileOperation::Sync && fs::is_directory(p) ? EIO : 0;
    });
    EXPECT_NE(Refusal([&] { kv::RunConversion({{{s.in}}, s.out, 3, kGrid, createNew}); }).find(said), std::string::npos) << said;
    EXPECT_EQ(fs::exists(s.out) ? kvtest::BlockOf(kvtest::ReadAll(s.out), 10) : -1, createNew ? -1 : 3) << said;
    EXPECT_EQ(fs::exists(s.dir / "o.top.kvcvrt-journal"), failRemove) << said;
  }
}

}  // namespace

// What the rollback journal and the durable sync cost an append on a
// 1000 x 1000 x 5 grid: (a) appending new periods, (b) rewriting every layer
// of an existing period. Prints the journal's size, the time from creating it
// to its being in place and durable, and the whole run's time.
//
// Usage: journal_cost FOLDER
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "zuduradu/core/run/conversion.h"
#include "zuduradu/core/storage/binary_file.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

const kv::GridSize kGrid{1000, 1000, 5};

void WriteText(const fs::path& path, const std::string& periodsAndLayers) {
  std::ofstream out(path, std::ios::binary);
  out << periodsAndLayers;
}

// "count, then per set period layer and 1,000,000 values" with one repeat field per set.
std::string Sets(int firstPeriod, int periods, double value) {
  // Appended piece by piece: GCC 12 at -O3 warns falsely about chained concatenations.
  std::string text = std::to_string(periods * kGrid.nz);
  const std::string values = " 1000000*" + std::to_string(value);
  for (int p = firstPeriod; p < firstPeriod + periods; ++p) {
    for (int layer = 1; layer <= kGrid.nz; ++layer) {
      text += '\n';
      text += std::to_string(p);
      text += ' ';
      text += std::to_string(layer);
      text += values;
    }
  }
  text += '\n';
  return text;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void Measure(const char* name, const fs::path& folder, const std::string& input) {
  const fs::path out = folder / "cost.hea";
  fs::remove(out);
  WriteText(folder / "seed.dat", Sets(1, 2, 1.5));
  kv::RunConversion({{{folder / "seed.dat"}}, out, 3, kGrid, true});
  WriteText(folder / "in.dat", input);

  Clock::time_point created{}, durable{};
  fs::path journalPart;
  std::uintmax_t journalBytes = 0;
  bool placed = false;
  kv::SetFaultHookForTesting([&](kv::FileOperation op, const fs::path& p) {
    const std::string file = p.filename().string();
    if (op == kv::FileOperation::Create && file.find(".kvcvrt-journal-new-") != std::string::npos) {
      created = Clock::now();
      journalPart = p;
    } else if (op == kv::FileOperation::Replace && file.find(".kvcvrt-journal") != std::string::npos) {
      std::error_code ec;
      journalBytes = fs::file_size(journalPart, ec);
      placed = true;
    } else if (op == kv::FileOperation::Write && placed && durable == Clock::time_point{}) {
      durable = Clock::now();  // the first write in place comes right after the folder sync
    }
    return 0;
  });
  const auto start = Clock::now();
  kv::RunConversion({{{folder / "in.dat"}}, out, 3, kGrid, false});
  const auto end = Clock::now();
  kv::SetFaultHookForTesting({});
  std::printf("%-44s journal %10ju bytes  journal written and synced %8.1f ms  whole run %8.1f ms\n", name,
              journalBytes, Ms(durable - created), Ms(end - start));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const fs::path folder = argv[1];
  fs::create_directories(folder);
  for (int round = 0; round < 3; ++round) {
    Measure("(a) append period 3, all 5 layers", folder, Sets(3, 1, 2.5));
    Measure("(b) rewrite every layer of period 1", folder, Sets(1, 1, 2.5));
  }
  fs::remove(folder / "cost.hea");
  fs::remove(folder / "seed.dat");
  fs::remove(folder / "in.dat");
  return 0;
}

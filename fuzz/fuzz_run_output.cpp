// A run against an arbitrary existing output file (random header bytes and
// length). The run either refuses and leaves the file unchanged, or writes
// exactly what storing the sets one by one would write.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "zuduradu/core/error.h"
#include "zuduradu/core/format/period_data_file.h"
#include "zuduradu/core/run/conversion.h"

namespace {

std::string ReadAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::filesystem::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  static const std::filesystem::path dir = [] {
    auto d = std::filesystem::temp_directory_path() / ("kvcvrt_fuzz_run_" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(d);
    return d;
  }();
  // Byte 0: grid and type; byte 1: sets; the rest: the existing file, repeated
  // to a length chosen by bytes 2..3 so that headers of every length appear.
  const kv::GridSize grid{data[0] % 3 + 1, data[0] / 3 % 3 + 1, data[0] / 9 % 3 + 1};
  const int type = data[0] & 0x80 ? 23 : 3;
  const std::size_t length = (static_cast<std::size_t>(data[2]) << 8 | data[3]) % 4600;
  std::string existing(length, '\0');
  if (size > 4) {
    for (std::size_t i = 0; i < length; ++i) existing[i] = static_cast<char>(data[4 + i % (size - 4)]);
  }

  const int sets = data[1] % 4 + 1;
  std::string input = std::to_string(sets);
  struct Set {
    int period, layer;
  };
  std::vector<Set> planned;
  for (int s = 0; s < sets; ++s) {
    const std::uint8_t b = data[(4 + static_cast<std::size_t>(s)) % size];
    const Set set{b % 1002, b / 64 % 4};  // periods 0..1001, layers 0..3: some are refused
    planned.push_back(set);
    input += " " + std::to_string(set.period) + " " + std::to_string(set.layer);
    for (int k = 0; k < grid.nx * grid.ny; ++k) input += " " + std::to_string(s * 100 + k);
  }
  const auto in = dir / "in.dat";
  const auto out = dir / "out.dat";
  const auto ref = dir / "ref.dat";
  WriteAll(in, input);
  WriteAll(out, existing);
  try {
    kv::RunConversion({{{in}}, out, type, grid, false});
  } catch (const kv::Error&) {
    if (ReadAll(out) != existing) std::abort();  // a refusal must leave the file as it was
    return 0;
  }
  // Accepted: the same as storing the sets one at a time, then rebuilding.
  WriteAll(ref, existing);
  for (std::size_t s = 0; s < planned.size(); ++s) {
    if (planned[s].layer > grid.nz) continue;
    std::vector<float> v(static_cast<std::size_t>(grid.nx * grid.ny));
    for (std::size_t k = 0; k < v.size(); ++k) v[k] = static_cast<float>(s * 100 + k);
    kv::WriteLayer(ref, grid, planned[s].period, type, planned[s].layer, v);
  }
  kv::WritePeriodReferences(ref, kv::LoadPeriodTables(ref));
  if (ReadAll(out) != ReadAll(ref)) std::abort();
  return 0;
}

// export, then convert --create: the same values for the exported periods, and
// for a file that kvcvrt wrote whole, the same bytes.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "cli/cli_support.h"
#include "zuduradu/core/period_tables.h"

namespace {

using kvtest::Quote;
using kvtest::ReadAll;
using kvtest::RunCli;

// Every finite float is fair game: subnormals, signed zeros, the largest values.
float RandomFloat(std::mt19937& rng) {
  while (true) {
    const float v = std::bit_cast<float>(static_cast<std::uint32_t>(rng()));
    if (std::isfinite(v)) return v;
  }
}

// The bytes of the layers that are in force for a period and present in the file.
std::vector<std::string> LayersInForce(const std::string& bytes, const kv::GridSize& g, int layers, int period) {
  const int block = kvtest::BlockOf(bytes, kvtest::ReferenceOf(bytes, period));
  std::vector<std::string> out;
  for (int l = 1; l <= layers; ++l) {
    const auto offset = static_cast<std::size_t>(*kv::LayerOffset(g, layers, block, l));
    if (offset >= bytes.size()) break;
    out.push_back(bytes.substr(offset, static_cast<std::size_t>(g.nx * g.ny * 4)));
  }
  return out;
}

TEST(CliRoundTrip, ExportThenConvertGivesTheSameFile) {
  int endingInsideABlock = 0;  // files that end before their last block's last layer
  for (unsigned seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    kvtest::ScratchDir dir;
    const int nx = pick(1, 6);
    const int ny = pick(1, 5);
    const kv::GridSize g{nx, ny, pick(1, 4)};
    const int type = std::vector<int>{3, 23, 0, 11}[static_cast<std::size_t>(pick(0, 3))];
    const int layers = kv::LayersPerBlock(type, g.nz);
    const std::string common = " --grid " + std::to_string(g.nx) + "," + std::to_string(g.ny) + "," +
                               std::to_string(g.nz) + " --type " + std::to_string(type);
    auto run = [&](const std::string& args) {
      const auto r = RunCli(dir, args);
      EXPECT_EQ(r.status, 0) << args << "\n" << r.err;
      return r.out;
    };

    // One to three runs into the same file, each with sets in random periods and layers.
    std::set<int> periodPool;
    while (periodPool.size() < 6) periodPool.insert(pick(1, 1000));
    const std::vector<int> pool(periodPool.begin(), periodPool.end());
    for (int runs = pick(1, 3); runs > 0; --runs) {
      std::vector<kvtest::Set> sets;
      for (int s = pick(1, 6); s > 0; --s) {
        const int layer = pick(1, layers + 1);  // a layer of the block, or one above NZ that the run skips
        kvtest::Set set{pool[static_cast<std::size_t>(pick(0, 5))], layer > layers ? g.nz + 1 : layer, {}};
        for (int k = 0; k < g.nx * g.ny; ++k) set.values.push_back(RandomFloat(rng));
        sets.push_back(set);
      }
      ASSERT_EQ(kvtest::Convert(dir, sets, common + " --output " + Quote(dir / "a.dat")).status, 0);
    }
    const std::string original = ReadAll(dir / "a.dat");
    if (original.empty()) continue;  // every set lay above NZ
    if ((original.size() - 4000) % static_cast<std::size_t>(layers * g.nx * g.ny * 4) != 0) ++endingInsideABlock;

    // The whole file: text to a file and to standard output alike, back to the same bytes.
    const std::string exported = "export " + Quote(dir / "a.dat") + common;
    run(exported + " --output " + Quote(dir / "all.txt"));
    EXPECT_EQ(run(exported), ReadAll(dir / "all.txt"));
    run("convert --create --input " + Quote(dir / "all.txt") + common + " --output " + Quote(dir / "b.dat"));
    EXPECT_TRUE(kvtest::SameBytes(ReadAll(dir / "b.dat"), original));

    // Some periods, with and without data of their own: the same values in force.
    const std::vector<int> listed = {pool[0], pool[3], pick(1, 1000), 1};
    std::string list;
    for (int p : listed) list += (list.empty() ? "" : ",") + std::to_string(p);
    run(exported + " --periods " + list + " --output " + Quote(dir / "some.txt"));
    run("convert --create --input " + Quote(dir / "some.txt") + common + " --output " + Quote(dir / "c.dat"));
    const std::string copy = ReadAll(dir / "c.dat");
    ASSERT_GE(copy.size(), 4000u);
    for (int p : listed) {
      // The copy may hold more layers of a block (read as zeros) than the original did.
      const auto expected = LayersInForce(original, g, layers, p);
      auto got = LayersInForce(copy, g, layers, p);
      ASSERT_GE(got.size(), expected.size()) << "period " << p;
      got.resize(expected.size());
      EXPECT_EQ(got, expected) << "period " << p;
    }
  }
  EXPECT_GT(endingInsideABlock, 0);
}

}  // namespace

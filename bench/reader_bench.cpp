// Micro benchmarks of the number parser and the streaming reader.
#include <benchmark/benchmark.h>
#include <string>
#include <vector>

#include "zuduradu/core/text/byte_source.h"
#include "zuduradu/core/text/matrix_reader.h"
#include "zuduradu/core/text/number_text.h"

namespace {

std::string Values(std::size_t n, const char* sep) {
  std::string t;
  for (std::size_t i = 0; i < n; ++i) t += std::to_string(i % 1000) + "." + std::to_string(1000 + i % 9000).substr(1) + sep;
  return t;
}

void BM_ParseFloatField(benchmark::State& state) {
  const std::vector<std::string> fields = {"512.8381", "-0.25", "1.5D-3", "+7", "6.02e23"};
  float v = 0;
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(kv::ParseFloatField(fields[i++ % fields.size()], v));
  }
}
BENCHMARK(BM_ParseFloatField);

// Arguments: CRLF lines (1) or blanks (0); parsing threads. Wall time counts,
// since with several threads the work is not on the benchmark's own thread.
void BM_ReadValues(benchmark::State& state) {
  const std::size_t n = 1 << 22;
  const std::string text = Values(n, state.range(0) ? "\r\n" : " ");
  std::vector<float> values(n);
  for (auto _ : state) {
    kv::MemorySource src(text);
    const auto reader = kv::MatrixReader::Open(src, "bench.dat", kv::MatrixReader::kDefaultChunkBytes, static_cast<int>(state.range(1)));
    reader->ReadValues(values, 1);
    benchmark::DoNotOptimize(values.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ReadValues)->ArgsProduct({{0, 1}, {1, 2}})->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

// Writes a matrix input file for benchmarks: deterministic pseudo-random values
// with a fixed number of decimals, one grid row per line (or one value per line
// with CRLF line ends).
//
// Usage: gen_input OUT NX NY SETS NZ [--one-per-line-crlf] [--decimals N]
// Sets cycle through periods 1..1000 and layers 1..NZ.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 6) {
    std::fprintf(stderr, "usage: %s OUT NX NY SETS NZ [--one-per-line-crlf] [--decimals N]\n", argv[0]);
    return 2;
  }
  const long nx = std::atol(argv[2]), ny = std::atol(argv[3]), sets = std::atol(argv[4]), nz = std::atol(argv[5]);
  bool onePerLine = false;
  int decimals = 4;
  for (int i = 6; i < argc; ++i) {
    if (std::strcmp(argv[i], "--one-per-line-crlf") == 0) onePerLine = true;
    if (std::strcmp(argv[i], "--decimals") == 0 && i + 1 < argc) decimals = std::atoi(argv[++i]);
  }
  std::FILE* out = std::fopen(argv[1], "wb");
  if (!out) {
    std::perror(argv[1]);
    return 1;
  }
  const char* eol = onePerLine ? "\r\n" : "\n";
  std::string buf;
  buf.reserve(1 << 22);
  auto flush = [&] {
    std::fwrite(buf.data(), 1, buf.size(), out);
    buf.clear();
  };
  buf += std::to_string(sets) + eol;
  std::uint64_t state = 88172645463325252ull;
  char num[64];
  long scale = 1;
  for (int d = 0; d < decimals; ++d) scale *= 10;
  for (long s = 0; s < sets; ++s) {
    const long period = s / nz % 1000 + 1, layer = s % nz + 1;
    buf += std::to_string(period) + " " + std::to_string(layer) + eol;
    for (long j = 0; j < ny; ++j) {
      for (long i = 0; i < nx; ++i) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        // Values like heads or elevations: 0..999 with the chosen decimals.
        const long whole = static_cast<long>(state % 1000);
        const long frac = static_cast<long>((state >> 20) % static_cast<std::uint64_t>(scale));
        char* p = std::to_chars(num, num + sizeof num, whole).ptr;
        if (decimals > 0) {
          *p++ = '.';
          char digits[32];
          char* q = std::to_chars(digits, digits + sizeof digits, frac + scale).ptr;
          std::memcpy(p, digits + 1, static_cast<std::size_t>(q - digits - 1));
          p += q - digits - 1;
        }
        buf.append(num, p);
        buf += onePerLine ? eol : (i + 1 < nx ? " " : eol);
      }
      if (buf.size() > (1 << 22) - 4096) flush();
    }
  }
  flush();
  return std::fclose(out) == 0 ? 0 : 1;
}

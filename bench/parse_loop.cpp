// The parsing limit of one core: reads a file in 1 MiB chunks, splits it on
// blanks, commas, tabs and line ends, and converts every field with
// std::from_chars into a float. Nothing is checked or written. Prints the count
// and a checksum so the work cannot be optimised away.
#include <charconv>
#include <cstdio>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
    return 2;
  }
  std::FILE* f = std::fopen(argv[1], "rb");
  if (!f) {
    std::perror(argv[1]);
    return 1;
  }
  std::vector<char> buf((1 << 20) + 256);
  std::size_t keep = 0;
  long long count = 0;
  double sum = 0;
  auto sep = [](char c) { return c == ' ' || c == ',' || c == '\n' || c == '\r' || c == '\t'; };
  for (;;) {
    const std::size_t got = std::fread(buf.data() + keep, 1, buf.size() - keep, f);
    const std::size_t end = keep + got;
    const bool last = got == 0;
    std::size_t i = 0;
    while (i < end) {
      while (i < end && sep(buf[i])) ++i;
      std::size_t j = i;
      while (j < end && !sep(buf[j])) ++j;
      if (j == end && !last) break;
      if (j > i) {
        float v = 0;
        std::from_chars(buf.data() + i, buf.data() + j, v);
        sum += v;
        ++count;
      }
      i = j;
    }
    keep = end - i;
    std::memmove(buf.data(), buf.data() + i, keep);
    if (last) break;
  }
  std::fclose(f);
  std::printf("%lld fields, checksum %.6g\n", count, sum);
  return 0;
}

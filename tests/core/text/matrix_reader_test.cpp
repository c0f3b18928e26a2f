#include "zuduradu/core/text/matrix_reader.h"

#include <bit>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"
#include "zuduradu/core/error.h"
#include "zuduradu/core/text/byte_source.h"
#include "zuduradu/core/text/number_text.h"
#include "zuduradu/core/text/read_ahead_source.h"

namespace {

std::uint32_t Bits(float f) { return std::bit_cast<std::uint32_t>(f); }

TEST(NumberText, FloatAndIntegerFields) {
  using enum kv::NumberStatus;
  struct Case { std::string text; kv::NumberStatus status; float value; };
  const std::vector<Case> cases = {
      // Beyond the float range, the first significant digit's place tells too large from too small.
      {"1" + std::string(48, '0') + "e-5", OutOfRange, 0},   // 1e43: every digit before the point counts
      {"0." + std::string(59, '0') + "1e10", Ok, 0.0f},      // 1e-50: zeros after the point count down
      {std::string(60, '0') + "1e-46", Ok, 0.0f},            // leading zeros do not count, up
      {std::string(60, '0') + "1e39", OutOfRange, 0},        // nor down
      {"1" + std::string(239, '0') + "e-200", OutOfRange, 0},  // 1e39: each exponent digit weighs ten times the next
      {"1", Ok, 1.0f}, {"+2.5", Ok, 2.5f}, {"-.5", Ok, -0.5f}, {"5.", Ok, 5.0f}, {"1.5E-3", Ok, 1.5e-3f},
      {"1.5D-3", Ok, 1.5e-3f}, {"2.0d+01", Ok, 20.0f}, {"+1e+2", Ok, 100.0f}, {"0.1", Ok, 0.1f},
      {"3.40282356e38", Ok, 3.40282347e38f},  // rounds down to the largest float
      {"1e-45", Ok, 1.4e-45f},                // the smallest subnormal
      {"1e-50", Ok, 0.0f},                    // underflow rounds to zero
      {"-1e-60", Ok, -0.0f},                  // keeping its sign
      {"1e-99999999999", Ok, 0.0f}, {"3.4028236e38", OutOfRange, 0}, {"1e39", OutOfRange, 0},
      {"-1D99999", OutOfRange, 0}, {"nan", NotANumber, 0}, {"inf", NotANumber, 0}, {"-Infinity", NotANumber, 0},
      {"0x10", NotANumber, 0}, {"1e", NotANumber, 0}, {"1.2.3", NotANumber, 0}, {".", NotANumber, 0},
      {"+", NotANumber, 0}, {"1,5", NotANumber, 0}, {"--1", NotANumber, 0}, {"1e5x", NotANumber, 0},
  };
  for (const Case& c : cases) {
    float v = -99.0f;
    EXPECT_EQ(kv::ParseFloatField(c.text, v), c.status) << c.text;
    if (c.status == Ok) { EXPECT_EQ(Bits(v), Bits(c.value)) << c.text; }
  }
  // A field at the front of a longer text ends where it ends.
  for (const auto& [field, value] : {std::pair{std::string_view("+1.55").substr(0, 4), 1.5f}, {std::string_view("1d55").substr(0, 3), 1e5f}}) {
    float v = 0;
    const kv::NumberStatus status = kv::ParseFloatField(field, v);
    EXPECT_EQ(std::pair(status, v), std::pair(Ok, value)) << field;
  }
  struct IntegerCase { const char* text; kv::NumberStatus status; int value; };
  const std::vector<IntegerCase> integers = {
      {"0", Ok, 0},      {"+7", Ok, 7},         {"-32768", Ok, -32768},    {"32767", Ok, 32767}, {"0032767", Ok, 32767},
      {"32768", OutOfRange, 0}, {"-32769", OutOfRange, 0}, {"99999999999999999999", OutOfRange, 0},
      {"1.5", Fraction, 0}, {"1.0", Fraction, 0}, {"2e1", Fraction, 0}, {"x", NotANumber, 0}, {"3*1", NotANumber, 0},
  };
  for (const IntegerCase& c : integers) {
    std::int16_t v = 0;
    EXPECT_EQ(kv::ParseInt16Field(c.text, v), c.status) << c.text;
    if (c.status == Ok) { EXPECT_EQ(v, c.value) << c.text; }
  }
}

struct Parsed { int count = 0; std::vector<int> periods, layers; std::vector<float> values; };

// How a reader is set up: one thread, or fields parsed on several threads with
// chunks so small that their edges fall on every kind of byte.
struct ReaderSetup { int threads; std::size_t chunk; };
constexpr std::size_t kBig = kv::MatrixReader::kDefaultChunkBytes;
const std::vector<ReaderSetup> kSetups = {{1, kBig}, {1, 256}, {2, kBig}, {2, 1}, {2, 5}, {3, 3}, {3, 64}};

std::string Describe(const ReaderSetup& s) { return std::to_string(s.threads) + " threads, chunk " + std::to_string(s.chunk); }

// Reads a whole input of sets of `cells` values.
Parsed ReadAllSets(const std::string& text, int cells, ReaderSetup setup = {1, kBig}) {
  kv::MemorySource src(text);
  const auto r = kv::MatrixReader::Open(src, "in.dat", setup.chunk, setup.threads);
  Parsed p;
  p.count = r->ReadInteger("set count", 0);
  for (int s = 1; s <= p.count; ++s) {
    p.periods.push_back(r->ReadInteger("period", s));
    p.layers.push_back(r->ReadInteger("layer", s));
    std::vector<float> v(static_cast<std::size_t>(cells));
    r->ReadValues(v, s);
    p.values.insert(p.values.end(), v.begin(), v.end());
  }
  return p;
}

// A field in a message: printable ASCII as it is, every other byte in hexadecimal, the first 40 bytes.
TEST(QuoteField, ShowsOtherBytesInHexAndTheFirst40) {
  EXPECT_EQ(kv::QuoteField(" a\x1f~\x7f\xc3"), "\" a\\x1F~\\x7F\\xC3\"");
  EXPECT_EQ(kv::QuoteField(std::string(40, 'x')), "\"" + std::string(40, 'x') + "\"");
  EXPECT_EQ(kv::QuoteField(std::string(41, 'x')), "\"" + std::string(40, 'x') + "...\"");
}

TEST(MatrixReader, LayoutsAndSeparatorsReadAlike) {
  const std::vector<std::string> inputs = {
      "2\n1 1\n1.0 2.0 3.0\n4.0 5.0 6.0\n3, 2\n0.5, 0.5, 0.5, 0.5, 0.5, 0.5\n",
      "2\r\n1 1\r\n1.0 2.0 3.0\r\n4.0 5.0 6.0\r\n\r\n3, 2\r\n0.5, 0.5, 0.5, 0.5, 0.5, 0.5",
      "2,1,1,1,2,3,4,5,6,3,2,.5,.5,.5,.5,.5,.5",
      "2\n1\n1\n1\n2\n3\n4\n5\n6\n3\n2\n0.5\n0.5\n0.5\n0.5\n0.5\n0.5\n",
      "\n\n  2\t1\t1 , 1 ,2 ,3\n\t4 5 6\n\n3 2 6*0.5\n",
      "2 1 1 1 2 3 4 5 6 3 2 2*0.5 3*5d-1 5E-1",
      "2 1 1 1D0 2d0 3 4 5 6 3 2 6*.5 trailing words are never read",
      // Past the first read, so that a chunk may end between a blank and a comma.
      std::string(600, ' ') + "2 ,1 ,1 ,1 ,2 ,3 ,4 ,5 ,6 ,3 ,2 ,.5 ,.5 ,.5 ,.5 ,.5 ,.5",
  };
  const auto expected = std::tuple(2, std::vector<int>{1, 3}, std::vector<int>{1, 2},
                                   std::vector<float>{1, 2, 3, 4, 5, 6, .5f, .5f, .5f, .5f, .5f, .5f});
  for (const std::string& in : inputs) {
    for (const ReaderSetup& setup : kSetups) {
      const Parsed p = ReadAllSets(in, 6, setup);
      EXPECT_EQ(std::tie(p.count, p.periods, p.layers, p.values), expected) << in << Describe(setup);
    }
  }
}

// Values read through the reader must equal std::from_chars' nearest float for
// every shape of decimal, whichever road inside the reader takes them.
TEST(MatrixReader, AgreesWithFromCharsOnRandomDecimals) {
  std::mt19937_64 rng(7);
  std::string text = "1 1 1";
  std::vector<std::string> fields;
  for (int k = 0; k < 20000; ++k) {
    std::string f = rng() % 3 == 0 ? "-" : "";
    const int whole = static_cast<int>(rng() % 9);
    const int decimals = static_cast<int>(rng() % 13);
    for (int d = 0; d < whole; ++d) f += static_cast<char>('0' + rng() % 10);
    if (decimals > 0 || whole == 0) f += '.';
    for (int d = 0; d < decimals || (whole == 0 && d == 0); ++d) f += static_cast<char>('0' + rng() % 10);
    fields.push_back(f);
    text += (k % 11 == 0 ? ",\r\n" : k % 5 == 0 ? ", " : " ") + f;
  }
  for (const ReaderSetup& setup : {ReaderSetup{1, 300}, ReaderSetup{2, 300}, ReaderSetup{3, 29}}) {
    const Parsed p = ReadAllSets(text, static_cast<int>(fields.size()), setup);
    for (std::size_t k = 0; k < fields.size(); ++k) {
      float expected = 0;
      ASSERT_EQ(kv::ParseFloatField(fields[k], expected), kv::NumberStatus::Ok) << fields[k];
      ASSERT_EQ(Bits(p.values[k]), Bits(expected)) << fields[k] << Describe(setup);
    }
  }
}

TEST(MatrixReader, ErrorsNameTheFieldLineColumnAndSet) {
  struct BadCase { const char* name; std::string text, message; };  // the message whole, or its start
  const std::vector<BadCase> cases = {
      {"empty", "", "The set count, line 1, column 1 of in.dat: the file is empty: it has no set count."},
      {"count fraction", "1.5", "The set count, line 1, column 1 of in.dat: \"1.5\" is not a whole number."},
      {"count range", "40000", "The set count, line 1, column 1 of in.dat: \"40000\" is outside -32768..32767."},
      {"period text", "1\n  abc 1", "Data set 1, period, line 2, column 3 of in.dat: \"abc\" is not a number."},
      {"layer fraction", "1\n1 2.0", "Data set 1, layer, line 2, column 3 of in.dat: \"2.0\" is not a whole number."},
      {"nan value", "1 1 1\n1 2 nan", "Data set 1, value, line 2, column 5 of in.dat: \"nan\" is not a number."},
      {"inf value", "1 1 1 inf", "Data set 1, value, line 1, column 7 of in.dat: \"inf\" is not a number."},
      {"huge value", "1 1 1 1 2 3 4 5 1e39", "Data set 1, value, line 1, column 17 of in.dat: \"1e39\" is beyond the range of a 32-bit float."},
      {"short file", "2 1 1 1 2 3 4 5 6\n2 1 1 2",
       "Data set 2, value, line 2, column 8 of in.dat: the file ends inside data set 2: 4 values are missing of its 6."},
      {"no layer", "2 1 1 1 2 3 4 5 6 7", "Data set 2, layer, line 1, column 20 of in.dat: the file ends before the layer of data set 2."},
      {"repeat past end", "1 1 1 1 2 7*0",
       "Data set 1, value, line 1, column 11 of in.dat: \"7*0\" repeats a value 7 times, but only 4 values are left in the data set."},
      {"bad repeat", "1 1 1 0*1", "Data set 1, value, line 1, column 7 of in.dat: \"0*1\" is not a number."},
      {"null repeat", "1 1 1 6*", "Data set 1, value, line 1, column 7 of in.dat: \"6*\" is not a number."},
      {"empty field", "1 1 1 1,,2",
       "Data set 1, value, line 1, column 9 of in.dat: two commas with no number between them (an empty field)."},
      {"control byte", "1 1 1 1\x01", "Data set 1, value, line 1, column 7 of in.dat: \"1\\x01\" is not a number."},
      {"empty field after a line end", "1 1 1\n 1, ,2",
       "Data set 1, value, line 2, column 5 of in.dat: two commas with no number between them (an empty field)."},
      {"too long", "1 1 1 1 2\r\n" + std::string(300, '7'),
       "Data set 1, value, line 2, column 1 of in.dat: \"" + std::string(40, '7') +
           "...\" is longer than 256 characters and cannot be a number."},
      {"too long, past the first read", std::string(600, ' ') + "1 1 1 " + std::string(300, '7'),
       "Data set 1, value, line 1, column 607 of in.dat: \"" + std::string(40, '7') +
           "...\" is longer than 256 characters and cannot be a number."},
      {"too long period", "1 " + std::string(257, '1'),
       "Data set 1, period, line 1, column 3 of in.dat: \"" + std::string(40, '1') +
           "...\" is longer than 256 characters and cannot be a number."},
      {"first error in file order", "1 1 1 1 2 3 4 x5 1e99 ,, " + std::string(400, 'z'),
       "Data set 1, value, line 1, column 15 of in.dat: \"x5\" is not a number."},
      {"a byte beyond ASCII", "1 1 1 1 2 \xC3\xA9 4 5 6",
       "Data set 1, value, line 1, column 11 of in.dat: \"\\xC3\\xA9\" is not a number."},
      {"columns after a byte order mark", "\xEF\xBB\xBF" "1 1 1 x 2 3 4 5 6",
       "Data set 1, value, line 1, column 7 of in.dat: \"x\" is not a number."},
      {"UTF-16 text", std::string("\xFF\xFE" "1\0 \0", 6), "in.dat is UTF-16 text (little-endian), as its first bytes"},
      {"UTF-32 text", std::string("\0\0\xFE\xFF\0\0\0" "1", 8), "in.dat is UTF-32 text (big-endian)"},
      {"UTF-16 text without a mark", std::string("1\0 \0" "1\0", 6), "in.dat holds NUL bytes between the characters"},
  };
  for (const BadCase& c : cases) {
    for (const ReaderSetup& setup : kSetups) {
      EXPECT_KV_ERROR(ReadAllSets(c.text, 6, setup), BadInput, c.message) << c.name << "; " << Describe(setup);
    }
  }
}

// What a run would see of an input: every number with the place of the
// integers, the bytes read after each set, and the error that ended it.
struct Trace { std::vector<std::string> steps; std::string error; };

// What the lines said: the first break and the first set of another width.
std::string Shapes(const kv::FieldReader& r) {
  const kv::ShapeBreak& b = r.lineShapes()->firstBreak();
  const kv::OtherWidth& o = r.lineShapes()->otherWidth();
  return "break " + std::to_string(b.set) + ":" + std::to_string(b.line) + ":" + std::to_string(b.held) + "/" +
         std::to_string(b.expected) + (b.rows ? " rows" : "") + (b.after ? " after" : "") + ", width " +
         std::to_string(o.set) + ":" + std::to_string(o.line) + ":" + std::to_string(o.width) + "x" + std::to_string(o.sets);
}

Trace ReadTrace(const std::string& text, int cells, const ReaderSetup& setup, int rowLength = 0) {
  kv::MemorySource src(text);
  const auto r = kv::MatrixReader::Open(src, "in.dat", setup.chunk, setup.threads);
  r->TrackLineShapes(rowLength, cells);
  Trace t;
  std::vector<float> values(static_cast<std::size_t>(cells));
  try {
    const int count = r->ReadInteger("set count", 0);
    for (int s = 1; s <= count; ++s) {
      for (const char* name : {"period", "layer"}) {
        const int n = r->ReadInteger(name, s);
        t.steps.push_back(std::to_string(n) + " at " + std::to_string(r->lastField().line) + ":" +
                          std::to_string(r->lastField().column));
      }
      if (s % 3 == 0) {
        r->SkipValues(cells, s);
      } else {
        r->ReadValues(values, s);
        for (float v : values) t.steps.push_back(std::to_string(Bits(v)));
      }
      t.steps.push_back("read " + std::to_string(r->bytesRead()));
    }
    const kv::LeftOverFields left = r->CountLeftOverFields();
    t.steps.push_back("left " + std::to_string(left.fields) + " from line " + std::to_string(left.firstLine));
  } catch (const kv::Error& e) {
    t.error = e.what();
  }
  t.steps.push_back(Shapes(*r));
  return t;
}

// Repeats that end a set exactly, run over into the next set, or run past the
// last, cut by chunks of every size: each set-up reads what one thread reads.
TEST(MatrixReader, RepeatsAtSetAndChunkEndsReadAlike) {
  for (const std::string text : {"2 1 1 6*2 2 1 3*1 3*4", "2 1 1 4*2 4*3 2 1 4*5", "1 1 1 5 5*7\n", "2 1 1 3*1 3*2 4 1 7*9"}) {
    const Trace expected = ReadTrace(text, 6, {1, kBig});
    for (const int threads : {1, 2, 3}) {
      for (std::size_t chunk = 1; chunk <= text.size() + 1; ++chunk) {
        const Trace got = ReadTrace(text, 6, {threads, chunk});
        ASSERT_EQ(std::tie(got.steps, got.error), std::tie(expected.steps, expected.error)) << text << threads << chunk;
      }
    }
  }
}

// Random texts, mostly valid, with every kind of field and separator: every
// set-up must see the same numbers, places and first error as one thread.
TEST(MatrixReader, EverySetupReadsRandomTextAlike) {
  const std::vector<std::string> common = {"1", "2", "3", "12.5", "-0.25"};
  const std::vector<std::string> rare = {"3.",    ".5",    "1.5D-3", "2e1",  "+4",    "2*1.5", "3*-2", "1e39",
                                         "abc",   "0*1",   "1e-50",  "4*",   "00000000000000000000001",
                                         std::string(257, '9'), std::string(256, '8')};
  const std::vector<std::string> gaps = {" ", "\n", "\r\n", "\t\n", ", ", " ,\n,", ", ,", ",,", "\n\n\n", "  "};
  std::mt19937 rng(2024);
  for (int round = 0; round < 400; ++round) {
    std::string text = rng() % 9 == 0 ? "\n" : rng() % 9 == 0 ? "\xEF\xBB\xBF" : "";
    text += std::to_string(rng() % 5 + 1);
    const auto fields = rng() % 70;
    for (unsigned k = 0; k < fields; ++k) {
      text += gaps[rng() % 12 == 0 ? rng() % gaps.size() : rng() % 4];
      text += rng() % 10 == 0 ? rare[rng() % rare.size()] : common[rng() % common.size()];
    }
    const int cells = static_cast<int>(rng() % 5) + 1, rowLength = static_cast<int>(rng() % 3) + 1;
    const Trace expected = ReadTrace(text, cells, {1, kBig}, rowLength);
    for (const ReaderSetup& setup : kSetups) {
      const Trace got = ReadTrace(text, cells, setup, rowLength);
      ASSERT_EQ(std::tie(got.steps, got.error), std::tie(expected.steps, expected.error))
          << "round " << round << ", " << Describe(setup) << ": " << text;
    }
  }
}

// The shapes the format allows stay silent; regular lines of another length
// than a row, and the first line that breaks a pattern, are told alike on every road.
TEST(MatrixReader, LineShapesOfTheSets) {
  const struct { const char* text; int nx, ny; std::string shapes; } cases[] = {
      {"1\n1\n1\n1\n2\n3\n4\n5\n6\n", 3, 2, "break 0:0:0/0, width 0:0:0x0"},  // one value per line
      {"1 1 1 1 2 3 4 5 6", 3, 2, "break 0:0:0/0, width 0:0:0x0"},                   // on one line
      {"1\n1 1 1 2 3\n4 5 6\n", 3, 2, "break 0:0:0/0, width 0:0:0x0"},                // a row a line
      {"1\n1 1\n1 2\n3 4\n5\n1 2\n2*4\n5\n", 5, 2, "break 0:0:0/0, width 0:0:0x0"},   // rows wrapped at 2
      {"1\n1 1\n1 2\n3 4\n5 6\n7 8\n9 10\n", 5, 2, "break 0:0:0/0, width 1:3:2x1"},  // lines of 2 across the rows
      {"2\n1 1\n1 2 3\n4 5 6\n7 8 9\n10 11 12\n13 14 15\n2 1\n1 2 3\n4 5 6\n7 8 9\n10 11 12\n13 14 15\n", 5, 3,
       "break 0:0:0/0, width 1:3:3x2"},                                              // 5 x 3 written as 5 lines of 3
      {"1\n1 1\n1 2 3\n4 5 6\n", 2, 3, "break 0:0:0/0, width 1:3:3x1"},             // 2 x 3 as 2 lines of 3
      {"1\n1 1\n1 2 3\n4 5 6\n7 8\n9 10 11 12\n", 3, 4, "break 1:5:2/3 rows, width 0:0:0x0"},
      {"1\n1 1\n1 2\n3 4 5\n6 7 8\n9 10 11 12\n", 3, 4, "break 1:3:2/3 rows after, width 0:0:0x0"},
      {"1\n1 1\n1 2\n3 4\n5\n6 7\n8\n9 10\n", 5, 2, "break 1:7:1/2, width 0:0:0x0"},
  };
  for (const auto& c : cases) {
    for (const ReaderSetup& setup : kSetups) {
      const Trace t = ReadTrace(c.text, c.nx * c.ny, setup, c.nx);
      EXPECT_EQ(t.steps.back(), c.shapes) << c.text << Describe(setup) << t.error;
    }
  }
  // Hundreds of lines of one shape in a chunk are kept as one run, so their shape is still told.
  std::string many = "1\n1 1\n";
  for (int i = 0; i < 600; ++i) many += "1 2 3\n";
  EXPECT_EQ(ReadTrace(many, 5 * 360, {2, 4096}, 5).steps.back(), "break 0:0:0/0, width 1:3:3x1");
}

// Produces `total` bytes of a long valid input without holding it in memory.
class GeneratedSource final : public kv::ByteSource {
 public:
  explicit GeneratedSource(std::uint64_t total) : left_(total) {}
  std::size_t Read(char* dst, std::size_t n) override {
    std::size_t got = 0;
    for (; got < n && left_ > 0; --left_) dst[got++] = kPattern[phase_++ % (sizeof(kPattern) - 1)];
    return got;
  }
  static constexpr char kPattern[] = "12.375, -4.5e-2 7\r\n";
  std::uint64_t left_;
  std::size_t phase_ = 0;
};

TEST(MatrixReader, MemoryStaysFixedWhileManyMegabytesStream) {
  for (const int threads : {1, 2}) {
  constexpr std::uint64_t kBytes = 48ull << 20;
  GeneratedSource src(kBytes);
  const auto r = kv::MatrixReader::Open(src, "big.dat", 1 << 16, threads);
  const std::size_t capacity = r->bufferCapacity();
  EXPECT_LT(capacity, std::size_t{4} << 20);
  std::vector<float> values(4096);
  std::uint64_t read = 0;
  EXPECT_KV_ERROR(for (;;) {
    r->ReadValues(values, 1);
    read += values.size();
    ASSERT_EQ(r->bufferCapacity(), capacity);
  }, BadInput, "the file ends inside data set 1");
  EXPECT_GT(read, 7'000'000u);
  EXPECT_EQ(std::tuple(r->bytesRead(), r->bufferCapacity()), std::tuple(kBytes, capacity));
  }
}


class FailingSource final : public kv::ByteSource {
 public:
  std::size_t Read(char* dst, std::size_t n) override {
    if (calls_++ == 3) throw kv::Error(kv::ErrorKind::Io, "Could not read the input file: Input/output error");
    for (std::size_t i = 0; i < n; ++i) dst[i] = i % 2 ? ' ' : '1';
    return n;
  }
  int calls_ = 0;
};

TEST(ReadAheadSource, HandsOnEveryByteInOrder) {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += std::to_string(i) + (i % 9 ? " " : "\n");
  for (std::size_t chunk : {std::size_t{61}, std::size_t{4096}, std::size_t{1} << 20}) {
    kv::MemorySource inner(text);
    kv::ReadAheadSource ahead(inner, chunk);
    std::string out;
    std::vector<char> buf(5000);
    for (std::size_t step = 1, n; (n = ahead.Read(buf.data(), step)) > 0; step = step % 4999 + 1) out.append(buf.data(), n);
    EXPECT_EQ(out, text) << chunk;
    EXPECT_EQ(ahead.Read(buf.data(), 10), 0u);
  }
}

// Reports its end once and would give more after it, as a terminal does after Ctrl-D.
class EndThenMoreSource final : public kv::ByteSource {
 public:
  std::size_t Read(char* dst, std::size_t n) override {
    if (left_.empty() && !ended_) return ended_ = true, left_ = "4 5 6\n", 0;
    const std::size_t got = std::min(n, left_.size());
    std::memcpy(dst, left_.data(), got);
    left_.erase(0, got);
    return got;
  }
  std::string left_ = "1\n1 1\n1 2 3";  // the last field ends only with the input
  bool ended_ = false;
};

// The input ends where its source first says so, on every road.
TEST(MatrixReader, TheInputEndsAtTheFirstEnd) {
  for (const ReaderSetup& setup : kSetups) {
    EndThenMoreSource src;
    const auto r = kv::MatrixReader::Open(src, "in.dat", setup.chunk, setup.threads);
    std::vector<float> values(3);
    for (const char* name : {"set count", "period", "layer"}) EXPECT_EQ(r->ReadInteger(name, 1), 1);
    r->ReadValues(values, 1);
    EXPECT_EQ(values, (std::vector<float>{1, 2, 3})) << Describe(setup);
    EXPECT_EQ(r->CountLeftOverFields().fields, 0) << Describe(setup);
  }
}

// A file and standard input hand on their bytes as they are, line ends and all.
TEST(ByteSources, FileAndStandardInputGiveTheirBytesAsTheyAre) {
  kvtest::ScratchDir dir;
  const std::string text = "1 2\r\n3\x1a 4\n\n5";
  kvtest::WriteAll(dir / "in.dat", text);
  ASSERT_NE(std::freopen((dir / "in.dat").string().c_str(), "rb", stdin), nullptr);
  kv::FileSource file(dir / "in.dat");
  kv::StdinSource standard;
  for (kv::ByteSource* source : {static_cast<kv::ByteSource*>(&file), static_cast<kv::ByteSource*>(&standard)}) {
    std::string out(64, '\0');
    out.resize(source->Read(out.data(), out.size()));
    EXPECT_EQ(out, text);
    EXPECT_EQ(source->Read(out.data(), 1), 0u);
  }
#if defined(_WIN32)
  EXPECT_NE(std::freopen("NUL", "rb", stdin), nullptr);
#else
  EXPECT_NE(std::freopen("/dev/null", "rb", stdin), nullptr);
#endif
}

// Any thread count, even an absurd one, reads; the failure reaches the caller,
// through the read-ahead alone as through the reader.
TEST(MatrixReader, PassesOnAReadFailureOnEveryThreadCount) {
  FailingSource failing;
  kv::ReadAheadSource ahead(failing, 16);
  std::vector<char> buf(16);
  EXPECT_KV_ERROR(for (;;) ahead.Read(buf.data(), buf.size()), Io, "Input/output error");
  for (const int threads : {1, 2, 3, 1'000'000}) {
    FailingSource inner;
    const auto r = kv::MatrixReader::Open(inner, "in.dat", 16, threads);
    std::vector<float> values(100000);
    EXPECT_KV_ERROR(r->ReadValues(values, 1), Io, "Input/output error") << "threads " << threads;
  }
}

}  // namespace

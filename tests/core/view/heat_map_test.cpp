#include "zuduradu/core/view/heat_map.h"

#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <tuple>
#include <vector>

#include "test_support.h"
#include "zuduradu/core/format/period_data_file.h"
#include "zuduradu/core/message_text.h"
#include "zuduradu/core/text/byte_source.h"
#include "zuduradu/core/view/font_file.h"
#include "zuduradu/core/view/layer_pictures.h"
#include "zuduradu/core/view/picture_text.h"
#include "zuduradu/core/view/ticks.h"

#define STBI_ONLY_PNG
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
// Colours of the scales: viridis' ends, its quarter, tenth and middle; the diverging ends and neutral middle.
constexpr kv::Rgb kLow{68, 1, 84}, kHigh{253, 231, 37}, kQuarter{59, 82, 139}, kTenth{72, 37, 118}, kMiddle{33, 145, 140};
constexpr kv::Rgb kBlue{5, 48, 97}, kNeutral{247, 247, 247}, kRed{103, 0, 31}, kGrey{160, 160, 160};
constexpr kv::Rgb kLine{70, 70, 70}, kPaper{255, 255, 255};

// The PNG decoded again: its size and pixels.
kv::Raster Decoded(const std::string& png) {
  int w = 0, h = 0, channels = 0;
  std::unique_ptr<unsigned char, void (*)(void*)> pixels(
      stbi_load_from_memory(reinterpret_cast<const unsigned char*>(png.data()), static_cast<int>(png.size()), &w, &h,
                            &channels, 3),
      stbi_image_free);
  kv::Raster r;
  if (pixels) r.width = w, r.height = h, r.rgb.assign(pixels.get(), pixels.get() + 3 * w * h);
  return r;
}

// The colour in the middle of a cell (1-based), checked to be that cell's.
kv::Rgb CellColour(const kv::Raster& layout, const kv::Raster& pixels, int row, int column) {
  const int x = layout.mapLeft + static_cast<int>((column - 0.5) * layout.mapWidth / layout.nx);
  const int y = layout.mapTop + static_cast<int>((row - 0.5) * layout.mapHeight / layout.ny);
  const auto cell = layout.CellAt(x, y);
  EXPECT_TRUE(cell && cell->row == row && cell->column == column);
  return pixels.At(x, y);
}

// Dark pixels in a label's box: its text was drawn there.
int Ink(const kv::Raster& r, const kv::PlacedLabel& l) {
  int dark = 0;
  for (int y = l.top; y < l.top + l.height; ++y)
    for (int x = l.left; x < l.left + l.width; ++x) dark += r.At(x, y)[0] < 128;
  return dark;
}

TEST(HeatMap, BlocksPerCellScaledUpForSmallGridsAndBoundedForLargeOnes) {
  for (const auto& [nx, ny, w, h] : {std::tuple{4, 2, 4 * kv::kMaxCellPixels, 2 * kv::kMaxCellPixels},
                                    {5, 1, 5 * kv::kMaxCellPixels, kv::kMaxCellPixels}, {100, 50, 800, 400},
                                    {1000, 500, 800, 400}, {3, 2000, 1, 800}}) {
    const kv::Raster r = kv::DrawHeatMap(std::vector<float>(std::size_t(nx) * std::size_t(ny), 1.0f), nx, ny, {}, {});
    EXPECT_EQ(std::pair(r.mapWidth, r.mapHeight), std::pair(w, h)) << nx << "x" << ny;
    EXPECT_TRUE(r.mapLeft + r.mapWidth <= r.width && r.mapTop + r.mapHeight <= r.height);
    // A frame of one pixel just outside the cells; nothing drawn above it or right of it.
    const int left = r.mapLeft, top = r.mapTop, right = r.mapLeft + r.mapWidth, bottom = r.mapTop + r.mapHeight;
    int frame = 0, beyond = 0;
    for (int x = left - 1; x <= right; ++x) frame += (r.At(x, top - 1) == kLine) + (r.At(x, bottom) == kLine);
    for (int y = top; y < bottom; ++y) frame += (r.At(left - 1, y) == kLine) + (r.At(right, y) == kLine);
    for (int x = left - 2; x <= right + 1; ++x) beyond += r.At(x, top - 2) != kPaper;
    for (int y = top - 2; y <= bottom + 1; ++y) beyond += r.At(right + 1, y) != kPaper;
    EXPECT_EQ(std::pair(frame, beyond), std::pair(2 * (r.mapWidth + 2) + 2 * r.mapHeight, 0)) << nx << "x" << ny;
  }
}

TEST(HeatMap, KnownValuesTakeKnownColoursUnderAGivenRange) {
  using P = kv::Palette;
  const struct {
    P palette;
    kv::ValueRange range;
    std::vector<float> values;  // 4 x 2, -9 is no data
    std::vector<kv::Rgb> colours;
    kv::Rgb barTop, barBottom;
  } cases[] = {
      {P::Sequential, {0, 10}, {0, 5, 10, 20, -5, -9, kNaN, 2.5},
       {kLow, kMiddle, kHigh, kHigh, kLow, kGrey, kGrey, kQuarter}, kHigh, kLow},
      {P::Diverging, {-4, 4}, {-4, 0, 4, 8, -40, -9, 0, 0},
       {kBlue, kNeutral, kRed, kRed, kBlue, kGrey, kNeutral, kNeutral}, kRed, kBlue},
      // Zero stays neutral, and -1 as pale as 1, when the range is not symmetric.
      {P::Diverging, {-1, 8}, {0, 8, 0, 0, 0, 0, 0, 0},
       {kNeutral, kRed, kNeutral, kNeutral, kNeutral, kNeutral, kNeutral, kNeutral}, kRed, {223, 236, 243}},
  };
  for (const auto& c : cases) {
    const kv::Raster r = kv::DrawHeatMap(c.values, 4, 2, {-9.0f, c.range, c.palette}, {"t", "d"});
    const std::vector<unsigned char> bytes = kv::EncodePng(r);
    const kv::Raster png = Decoded(std::string(bytes.begin(), bytes.end()));
    ASSERT_EQ(png.rgb, r.rgb);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(CellColour(r, png, i / 4 + 1, i % 4 + 1), c.colours[std::size_t(i)]) << i;
    EXPECT_EQ(std::pair(r.At(r.barLeft, r.barTop), r.At(r.barLeft, r.barTop + r.barHeight - 1)),
              std::pair(c.barTop, c.barBottom));
  }
  EXPECT_KV_ERROR(kv::DrawHeatMap(cases[0].values, 4, 2, {{}, kv::ValueRange{5, 5}}, {}), BadRequest,
                  "A picture's range needs its low end below its high end");
}

// The data's own range; one value gets a round step of its size on either side; diverging is symmetric about 0.
TEST(ScaleRange, TheDataOrARoundRangeAroundIt) {
  using P = kv::Palette;
  using R = kv::ValueRange;
  const std::tuple<std::optional<R>, P, R> cases[] = {
      {R{1, 3}, P::Sequential, R{1, 3}},       {R{5, 5}, P::Sequential, R{4, 6}},       {R{0, 0}, P::Sequential, R{-1, 1}},
      {R{-250, -250}, P::Sequential, R{-350, -150}}, {std::nullopt, P::Sequential, R{0, 1}}, {R{-2, 5}, P::Diverging, R{-5, 5}},
      {R{0, 0}, P::Diverging, R{-1, 1}},       {std::nullopt, P::Diverging, R{-1, 1}}};
  for (const auto& [data, palette, range] : cases) EXPECT_EQ(kv::ScaleRange(data, palette), range);
}

TEST(HeatMap, ScalesAndTitleAreTextDrawnWhereTheirTicksAre) {
  std::vector<float> values(12 * 8);
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = float(i % 11);
  const kv::Raster r = kv::DrawHeatMap(values, 12, 8, {{}, kv::ValueRange{0, 10}}, {"Starting Head", "Süd.hea, period 1"});
  std::vector<std::string> bar, rows, columns;
  int columnsBottom = -1;
  for (const kv::PlacedLabel& l : r.labels) {
    EXPECT_GT(Ink(r, l), 5) << l.text;
    const int middleY = l.top + l.height / 2, middleX = l.left + l.width / 2;
    if (l.left > r.barLeft + r.barWidth) {  // right of the bar, level with the tick of its value
      bar.push_back(l.text);
      EXPECT_NEAR(middleY, r.barTop + (10 - std::stod(l.text)) / 10 * (r.barHeight - 1), 2) << l.text;
    } else if (l.left + l.width < r.mapLeft && l.text != "row") {  // left of the cells, level with its row's middle
      rows.push_back(l.text);
      EXPECT_EQ(r.CellAt(r.mapLeft, middleY)->row, std::stoi(l.text));
    } else if (l.top > r.mapTop + r.mapHeight && l.text != "column") {  // below the cells, under its column's middle
      columns.push_back(l.text);
      EXPECT_EQ(r.CellAt(middleX, r.mapTop)->column, std::stoi(l.text));
      columnsBottom = l.top + l.height;
    } else if (l.text == "column") {  // the caption right under the column numbers
      EXPECT_EQ(l.top, columnsBottom);
    }
  }
  EXPECT_EQ(bar, (std::vector<std::string>{"0", "2", "4", "6", "8", "10"}));
  EXPECT_EQ(rows, (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7", "8"}));
  EXPECT_EQ(columns.size(), 12u);
  EXPECT_EQ(r.labels.back().text, "Süd.hea, period 1");
  EXPECT_EQ(r.labels.back().left, r.labels[r.labels.size() - 2].left);  // the title's second line under its first
}

TEST(PictureText, SetsUtf8WithTheFontsOwnLetters) {
  const kv::PictureFont& font = kv::PictureFont::Default();
  EXPECT_NE(font.Render("Süd", 20).cover, font.Render("S?d", 20).cover);
  EXPECT_EQ(font.Render("a\xFF", 20).cover, font.Render("a\xEF\xBF\xBD", 20).cover);  // a stray byte: U+FFFD
  // Letters the font kerns sit closer than each alone.
  for (const char* pair : {"AV", "To"}) {
    const std::string two = pair;
    EXPECT_LT(font.Render(two, 20).width, font.Render(two.substr(0, 1), 20).width + font.Render(two.substr(1), 20).width) << pair;
  }
  // Surrogates' ends and an overlong form are no letters: each of their three bytes stands for U+FFFD.
  for (const char* bad : {"\xED\xA0\x80", "\xED\xBF\xBF", "\xE0\x9F\xBF"})
    EXPECT_EQ(font.Render(bad, 20).cover, font.Render("\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", 20).cover) << bad;
  // Sequences of three and four bytes are one letter each, narrower than two U+FFFD.
  for (const char* one : {"\xE2\x82\xAC", "\xF0\x9D\x90\x80"})
    EXPECT_LT(font.Render(one, 20).width, font.Render("\xEF\xBF\xBD\xEF\xBF\xBD", 20).width) << one;
  EXPECT_EQ(font.Render("row", 14).TurnedLeft().width, font.Render("row", 14).height);
  EXPECT_EQ(kv::PictureFontPlaces("/opt/k/bin/kvcvrt").front(), std::filesystem::path("/opt/k/share/kvcvrt/fonts/DejaVuSans.ttf"));
}

TEST(Ticks, RoundStepsFiveToSevenTicksAndCellNumbersKeptApart) {
  const std::pair<kv::ValueRange, std::vector<std::string>> values[] = {
      {{0, 10}, {"0", "2", "4", "6", "8", "10"}},
      {{0, 7}, {"0.0", "1.5", "3.0", "4.5", "6.0"}},
      {{96.2, 101.7}, {"97", "98", "99", "100", "101"}},
      {{-0.37, 0.37}, {"-0.3", "-0.2", "-0.1", "0.0", "0.1", "0.2", "0.3"}},
      {{1e7, 7e7}, {"1e+07", "2e+07", "3e+07", "4e+07", "5e+07", "6e+07", "7e+07"}},
  };
  for (const auto& [range, labels] : values) {
    const kv::ValueTicks t = kv::ChooseValueTicks(range.lo, range.hi);
    std::vector<std::string> texts;
    for (const double v : t.values) texts.push_back(kv::TickText(v, t.step));
    EXPECT_EQ(texts, labels) << range.lo << ".." << range.hi;
  }
  // No span, or none that is a number: the one value.
  for (const double hi : {5.0, 4.0, kNaN * 1.0, std::numeric_limits<double>::infinity()})
    EXPECT_EQ(kv::ChooseValueTicks(5, hi).values, std::vector<double>{5}) << hi;
  for (double lo = -3.7; lo < 50; lo += 1.3) {
    for (double span = 0.011; span < 5000; span *= 1.37) {
      const std::size_t n = kv::ChooseValueTicks(lo, lo + span).values.size();
      EXPECT_TRUE(n >= 5 && n <= 7) << lo << " + " << span << ": " << n;
    }
  }
  // Cells: count, pixels of a cell, pixels a label needs -> the first ticks and their number.
  const std::tuple<int, double, double, std::vector<int>, std::size_t> cells[] = {
      {12, 48, 20, {1, 2, 3}, 12}, {30, 15, 24, {1, 3, 5}, 15}, {30, 12, 24, {1, 3, 5}, 15}, {80, 10, 24, {1, 5, 10}, 17}, {200, 4, 24, {1, 10, 20}, 21}};
  for (const auto& [count, cell, label, first, size] : cells) {
    const std::vector<int> t = kv::ChooseCellTicks(count, cell, label);
    EXPECT_EQ(std::tuple(std::vector(t.begin(), t.begin() + 3), t.size()), std::tuple(first, size)) << count;
  }
}

// A file of 3 x 2 cells, two layers to a block: period 1 holds 1 and 2, period 3 holds 0..5 and 10.
struct Pictures : ::testing::Test {
  kvtest::ScratchDir dir;
  const kv::GridSize grid{3, 2, 2};
  void SetUp() override {
    kv::WriteLayer(dir / "a.top", grid, 1, 3, 1, std::vector<float>(6, 1));
    kv::WriteLayer(dir / "a.top", grid, 1, 3, 2, std::vector<float>(6, 2));
    kv::WriteLayer(dir / "a.top", grid, 3, 3, 1, std::vector<float>{0, 1, 2, 3, 4, 5});
    kv::WriteLayer(dir / "a.top", grid, 3, 3, 2, std::vector<float>(6, 10));
  }
  kv::StoredPictures Request(std::string periods, std::string layers, const std::string& output) {
    return {{dir / "a.top", grid, 3, {}}, {}, std::move(periods), std::move(layers), {}, {}, kv::PathText(dir / output), {}};
  }
  // Where a 3 x 2 picture puts its cells.
  const kv::Raster layout = kv::DrawHeatMap(std::vector<float>(6), 3, 2, {}, {});
  kv::Rgb At(const std::string& png, int row, int column) {
    return CellColour(layout, Decoded(kvtest::ReadAll(dir / png)), row, column);
  }
};

TEST_F(Pictures, EveryPeriodAndLayerOfOneRunOnOneRange) {
  const kv::PicturesResult all = kv::DrawStoredPictures(Request("all", "all", "p{period}-{layer}.png"));
  std::vector<std::string> names;
  for (const kv::DrawnPicture& p : all.pictures) {
    names.push_back(kv::PathText(p.output.filename()));
    EXPECT_EQ(p.range, (kv::ValueRange{0, 10}));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"p1-1.png", "p1-2.png", "p3-1.png", "p3-2.png"}));
  EXPECT_EQ(all.notes, std::vector<std::string>{});
  std::filesystem::resize_file(dir / "a.top", 4072);  // a run ended after layer 1 of period 3
  EXPECT_EQ(kv::DrawStoredPictures(Request("all", "all", "q{period}-{layer}.png")).notes,
            std::vector<std::string>{"Period 3, layer 2: the file ends before this layer, which was never written; no picture of it"});
  kv::WriteLayer(dir / "a.top", grid, 3, 3, 2, std::vector<float>(6, 10));
  EXPECT_EQ(std::tuple(At("p1-1.png", 2, 3), At("p3-1.png", 1, 1), At("p3-2.png", 2, 3)),
            std::tuple(kTenth, kLow, kHigh));
  // A range of its own; a value beyond it is said.
  kv::StoredPictures ranged = Request("2", "1", "r.png");
  ranged.range = kv::ValueRange{2, 4};
  const kv::DrawnPicture two = kv::DrawStoredPictures(ranged).pictures.at(0);
  EXPECT_EQ(std::tuple(two.source, two.below, two.above), std::tuple(1, 6, 0));
  EXPECT_EQ(At("r.png", 1, 1), kLow);
}

TEST_F(Pictures, DifferenceIsNeutralWhereEqualAndNamesItsLargestCell) {
  std::filesystem::copy_file(dir / "a.top", dir / "b.top");
  kv::StoredPictures same = Request("3", "1", "d.png");
  same.minus = dir / "b.top";
  EXPECT_EQ(kv::DrawStoredPictures(same).pictures.at(0).largest, 0);
  for (int cell = 0; cell < 6; ++cell) EXPECT_EQ(At("d.png", cell / 3 + 1, cell % 3 + 1), kNeutral);
  kv::WriteLayer(dir / "b.top", grid, 3, 3, 1, std::vector<float>{0, 1, 2, 3, 6.5f, 5});
  const kv::DrawnPicture d = kv::DrawStoredPictures(same).pictures.at(0);
  EXPECT_EQ(std::tuple(d.largest, d.largestRow, d.largestColumn, d.range), std::tuple(-2.5, 2, 2, kv::ValueRange{-2.5, 2.5}));
  EXPECT_EQ(At("d.png", 2, 2), kBlue);
}

// A set of the matrix text is drawn on its own range, and it is no difference of two.
TEST_F(Pictures, ATextSetOnItsOwnRange) {
  kv::MemorySource text("1\n3 2\n0 1 2\n3 4 5\n");
  const kv::DrawnPicture p = kv::DrawTextSetPicture(text, "in.dat", grid, 1, 3, {}, dir / "t.png");
  EXPECT_EQ(std::tuple(p.period, p.layer, p.largestRow, p.range), std::tuple(3, 2, 0, kv::ValueRange{0, 5}));
  EXPECT_EQ(std::pair(At("t.png", 1, 1), At("t.png", 2, 3)), std::pair(kLow, kHigh));
}

TEST_F(Pictures, RefusedRequestsWriteNothing) {
  const std::pair<kv::StoredPictures, std::string> refused[] = {
      {Request("1,3", "1", "one.png"), "needs {period}"},
      {Request("1", "all", "one.png"), "needs {layer}"},
      {Request("1", "3", "one.png"), "Layer 3 in the layer list is outside 1..2"},
      {Request("1", "1", "a.top"), "would overwrite"},
  };
  for (const auto& [request, words] : refused) EXPECT_KV_ERROR(kv::DrawStoredPictures(request), BadRequest, words);
  EXPECT_FALSE(std::filesystem::exists(dir / "one.png"));
}

TEST(HeatMap, WritesThePngToAFileButNotOverAFolder) {
  const kvtest::ScratchDir dir;
  const kv::Raster r = kv::DrawHeatMap(std::vector<float>(6, 2.0f), 3, 2, {}, {});
  kv::WritePng(r, dir / "a.png");
  const kv::Raster back = Decoded(kvtest::ReadAll(dir / "a.png"));
  EXPECT_EQ(std::tuple(back.width, back.height, back.rgb), std::tuple(r.width, r.height, r.rgb));
  EXPECT_THROW(kv::WritePng(r, dir.path()), std::exception);
}

}  // namespace

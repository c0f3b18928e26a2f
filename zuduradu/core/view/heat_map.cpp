#include "zuduradu/core/view/heat_map.h"

#include <algorithm>
#include <cmath>

#include "zuduradu/core/error.h"
#include "zuduradu/core/view/picture_text.h"
#include "zuduradu/core/view/ticks.h"

namespace kv {

namespace {

// Sizes in pixels.
constexpr int kMargin = 16;
constexpr double kHeadingPixels = 21;
constexpr double kDetailPixels = 15;
constexpr double kLabelPixels = 14;
constexpr int kTitleGap = 14;
constexpr int kTick = 5;
constexpr int kLabelGap = 4;
constexpr int kBarGap = 30;
constexpr int kBarWidth = 22;
constexpr int kMinBarHeight = 220;
constexpr int kKeyGap = 14;
constexpr Rgb kPaper = {255, 255, 255};
constexpr Rgb kInk = {25, 25, 25};
constexpr Rgb kLine = {70, 70, 70};

class Canvas {
 public:
  explicit Canvas(Raster& r) : r_(r) {}
  void Set(int x, int y, const Rgb& c) {
    if (x < 0 || y < 0 || x >= r_.width || y >= r_.height) return;
    const std::size_t i = 3 * (static_cast<std::size_t>(y) * static_cast<std::size_t>(r_.width) + static_cast<std::size_t>(x));
    r_.rgb[i] = c[0];
    r_.rgb[i + 1] = c[1];
    r_.rgb[i + 2] = c[2];
  }
  void Fill(int left, int top, int width, int height, const Rgb& c) {
    for (int y = top; y < top + height; ++y) {
      for (int x = left; x < left + width; ++x) Set(x, y, c);
    }
  }
  // A one-pixel line just outside the box.
  void Frame(int left, int top, int width, int height) {
    Fill(left - 1, top - 1, width + 2, 1, kLine);
    Fill(left - 1, top + height, width + 2, 1, kLine);
    Fill(left - 1, top, 1, height, kLine);
    Fill(left + width, top, 1, height, kLine);
  }
  // Ink blended onto the paper as the mask covers it.
  void Text(const TextMask& mask, int left, int top, const std::string& text) {
    for (int y = 0; y < mask.height; ++y) {
      for (int x = 0; x < mask.width; ++x) {
        const int a = mask.At(x, y);
        if (a == 0) continue;
        Rgb c{};
        for (std::size_t k = 0; k < 3; ++k) c[k] = static_cast<std::uint8_t>((kInk[k] * a + kPaper[k] * (255 - a) + 127) / 255);
        Set(left + x, top + y, c);
      }
    }
    r_.labels.push_back({text, left, top, mask.width, mask.height});
  }

 private:
  Raster& r_;
};

// Where on the scale a value lies, 0 to 1.
double Position(double v, const ValueRange& range, Palette palette) {
  v = std::clamp(v, range.lo, range.hi);
  if (palette == Palette::Diverging) {
    const double m = std::max(std::abs(range.lo), std::abs(range.hi));
    return m > 0 ? 0.5 + 0.5 * v / m : 0.5;
  }
  return (v - range.lo) / (range.hi - range.lo);
}

}  // namespace

bool IsNoDataCell(float value, std::optional<float> nodata) { return !std::isfinite(value) || (nodata && value == *nodata); }

std::optional<ValueRange> DataRange(std::span<const float> values, std::optional<float> nodata) {
  std::optional<ValueRange> range;
  for (const float v : values) {
    if (IsNoDataCell(v, nodata)) continue;
    range = range ? ValueRange{std::min(range->lo, double{v}), std::max(range->hi, double{v})} : ValueRange{v, v};
  }
  return range;
}

ValueRange ScaleRange(std::optional<ValueRange> data, Palette palette) {
  if (palette == Palette::Diverging) {
    const double m = data ? std::max(std::abs(data->lo), std::abs(data->hi)) : 0;
    return m > 0 ? ValueRange{-m, m} : ValueRange{-1, 1};
  }
  if (!data) return {0, 1};
  if (data->lo < data->hi) return *data;
  // One value: a round step of its size on either side.
  const double size = std::abs(data->lo);
  const double room = size > 0 ? std::pow(10.0, std::floor(std::log10(size))) : 1;
  return {data->lo - room, data->hi + room};
}

std::optional<Raster::Cell> Raster::CellAt(int x, int y) const {
  if (x < mapLeft || y < mapTop || x >= mapLeft + mapWidth || y >= mapTop + mapHeight) return std::nullopt;
  return Cell{static_cast<int>(std::int64_t{y - mapTop} * ny / mapHeight) + 1,
              static_cast<int>(std::int64_t{x - mapLeft} * nx / mapWidth) + 1};
}

Raster DrawHeatMap(std::span<const float> values, int nx, int ny, const HeatMapStyle& style, const PictureTitle& title) {
  if (nx < 1 || ny < 1 || values.size() != static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny)) {
    throw Error(ErrorKind::BadRequest, "A picture needs NX * NY values");
  }
  if (style.range && !(style.range->lo < style.range->hi)) {
    throw Error(ErrorKind::BadRequest, "A picture's range needs its low end below its high end");
  }
  const PictureFont& font = PictureFont::Default();
  const std::optional<ValueRange> data = DataRange(values, style.nodata);
  const bool grey = std::any_of(values.begin(), values.end(), [&](float v) { return IsNoDataCell(v, style.nodata); });
  const bool scaled = data || style.range;  // a bar with values, else an all-grey one

  Raster r;
  r.nx = nx;
  r.ny = ny;
  r.range = style.range ? *style.range : ScaleRange(data, style.palette);
  const int longer = std::max(nx, ny);
  if (longer <= kMaxMapPixels) {
    const int block = std::clamp(kMaxMapPixels / longer, 1, kMaxCellPixels);
    r.mapWidth = nx * block;
    r.mapHeight = ny * block;
  } else {
    r.mapWidth = std::max(1, static_cast<int>(std::int64_t{nx} * kMaxMapPixels / longer));
    r.mapHeight = std::max(1, static_cast<int>(std::int64_t{ny} * kMaxMapPixels / longer));
  }
  const double cellWidth = static_cast<double>(r.mapWidth) / nx;
  const double cellHeight = static_cast<double>(r.mapHeight) / ny;

  // The texts first: their sizes decide the layout.
  const TextMask heading = font.Render(title.heading, kHeadingPixels);
  const TextMask detail = font.Render(title.detail, kDetailPixels);
  const TextMask rowCaption = font.Render("row", kLabelPixels).TurnedLeft();
  const TextMask columnCaption = font.Render("column", kLabelPixels);
  const TextMask noData = font.Render("no data", kLabelPixels);
  const int lineHeight = columnCaption.height;
  const std::vector<int> rowTicks = ChooseCellTicks(ny, cellHeight, lineHeight * 2.5);
  const int widestColumn = font.Width(std::to_string(nx), kLabelPixels);
  const std::vector<int> columnTicks = ChooseCellTicks(nx, cellWidth, widestColumn + 24.0);
  std::vector<TextMask> rowLabels, columnLabels, valueLabels;
  int rowLabelWidth = 0;
  for (const int row : rowTicks) {
    rowLabels.push_back(font.Render(std::to_string(row), kLabelPixels));
    rowLabelWidth = std::max(rowLabelWidth, rowLabels.back().width);
  }
  for (const int column : columnTicks) columnLabels.push_back(font.Render(std::to_string(column), kLabelPixels));
  const ValueTicks ticks = scaled ? ChooseValueTicks(r.range.lo, r.range.hi) : ValueTicks{};
  int valueLabelWidth = 0;
  for (const double v : ticks.values) {
    valueLabels.push_back(font.Render(TickText(v, ticks.step), kLabelPixels));
    valueLabelWidth = std::max(valueLabelWidth, valueLabels.back().width);
  }

  r.mapLeft = kMargin + rowCaption.width + kLabelGap + rowLabelWidth + kLabelGap + kTick;
  r.mapTop = kMargin + heading.height + detail.height + kTitleGap;
  r.barLeft = r.mapLeft + r.mapWidth + kBarGap;
  r.barTop = r.mapTop;
  r.barWidth = kBarWidth;
  r.barHeight = std::max(r.mapHeight, kMinBarHeight);
  const int valueLabelsLeft = r.barLeft + r.barWidth + kTick + kLabelGap;
  const int keyTop = r.barTop + r.barHeight + kKeyGap;
  const int mapBottom = r.mapTop + r.mapHeight + kTick + kLabelGap + 2 * lineHeight;
  const int barBottom = grey ? keyTop + lineHeight : r.barTop + r.barHeight + lineHeight / 2;
  r.width = std::max({valueLabelsLeft + std::max(valueLabelWidth, noData.width) + kMargin,
                      kMargin + heading.width + kMargin, kMargin + detail.width + kMargin});
  r.height = std::max(mapBottom, barBottom) + kMargin;
  r.rgb.assign(static_cast<std::size_t>(r.width) * static_cast<std::size_t>(r.height) * 3, 255);
  Canvas canvas(r);

  const auto colour = [&](float v) {
    return IsNoDataCell(v, style.nodata) ? kNoDataGrey : PaletteColour(style.palette, Position(v, r.range, style.palette));
  };
  for (int py = 0; py < r.mapHeight; ++py) {
    const auto row = static_cast<std::size_t>(std::int64_t{py} * ny / r.mapHeight);
    for (int px = 0; px < r.mapWidth; ++px) {
      const auto column = static_cast<std::size_t>(std::int64_t{px} * nx / r.mapWidth);
      canvas.Set(r.mapLeft + px, r.mapTop + py, colour(values[row * static_cast<std::size_t>(nx) + column]));
    }
  }
  canvas.Frame(r.mapLeft, r.mapTop, r.mapWidth, r.mapHeight);

  // Row numbers left of the cells, column numbers below them, at the cells' middles.
  for (std::size_t i = 0; i < rowTicks.size(); ++i) {
    const int y = r.mapTop + static_cast<int>((rowTicks[i] - 0.5) * cellHeight);
    canvas.Fill(r.mapLeft - 1 - kTick, y, kTick, 1, kLine);
    canvas.Text(rowLabels[i], r.mapLeft - 1 - kTick - kLabelGap - rowLabels[i].width, y - lineHeight / 2,
                std::to_string(rowTicks[i]));
  }
  canvas.Text(rowCaption, kMargin, r.mapTop + (r.mapHeight - rowCaption.height) / 2, "row");
  for (std::size_t i = 0; i < columnTicks.size(); ++i) {
    const int x = r.mapLeft + static_cast<int>((columnTicks[i] - 0.5) * cellWidth);
    canvas.Fill(x, r.mapTop + r.mapHeight + 1, 1, kTick, kLine);
    canvas.Text(columnLabels[i], x - columnLabels[i].width / 2, r.mapTop + r.mapHeight + 1 + kTick + kLabelGap / 2,
                std::to_string(columnTicks[i]));
  }
  canvas.Text(columnCaption, r.mapLeft + (r.mapWidth - columnCaption.width) / 2,
              r.mapTop + r.mapHeight + 1 + kTick + kLabelGap / 2 + lineHeight, "column");

  // The colour bar: the range's high end at the top, the low end at the bottom.
  const auto barY = [&](double v) {
    return r.barTop + static_cast<int>(std::lround((r.range.hi - v) / (r.range.hi - r.range.lo) * (r.barHeight - 1)));
  };
  for (int py = 0; py < r.barHeight; ++py) {
    const double v = r.range.hi - (r.range.hi - r.range.lo) * py / std::max(1, r.barHeight - 1);
    canvas.Fill(r.barLeft, r.barTop + py, r.barWidth, 1,
                scaled ? PaletteColour(style.palette, Position(v, r.range, style.palette)) : kNoDataGrey);
  }
  canvas.Frame(r.barLeft, r.barTop, r.barWidth, r.barHeight);
  for (std::size_t i = 0; i < ticks.values.size(); ++i) {
    const int y = barY(ticks.values[i]);
    canvas.Fill(r.barLeft + r.barWidth + 1, y, kTick, 1, kLine);
    canvas.Text(valueLabels[i], valueLabelsLeft, y - lineHeight / 2, TickText(ticks.values[i], ticks.step));
  }
  if (grey) {
    canvas.Fill(r.barLeft, keyTop, r.barWidth, lineHeight, kNoDataGrey);
    canvas.Frame(r.barLeft, keyTop, r.barWidth, lineHeight);
    canvas.Text(noData, valueLabelsLeft, keyTop, "no data");
  }
  canvas.Text(heading, kMargin, kMargin, title.heading);
  canvas.Text(detail, kMargin, kMargin + heading.height, title.detail);
  return r;
}

}  // namespace kv

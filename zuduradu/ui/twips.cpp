#include "zuduradu/ui/twips.h"

#include <QFont>
#include <cmath>

namespace kv::ui {

namespace {

constexpr double kDesignPointSize = 8.25;
constexpr double kTwipsPerPixel = 15.0;  // at 96 dots per inch

int Round(double pixels) { return static_cast<int>(std::lround(pixels)); }

}  // namespace

double PixelsPerTwip(const QFont& font) {
  double points = font.pointSizeF();
  if (points <= 0) points = font.pixelSize() * 72.0 / 96.0;  // a font sized in pixels
  if (points <= 0) points = kDesignPointSize;
  return points / kDesignPointSize / kTwipsPerPixel;
}

QRect ToPixels(const Twips& twips, double pixelsPerTwip) {
  const int left = Round(twips.left * pixelsPerTwip);
  const int top = Round(twips.top * pixelsPerTwip);
  const int right = Round((twips.left + twips.width) * pixelsPerTwip);
  const int bottom = Round((twips.top + twips.height) * pixelsPerTwip);
  return {left, top, right - left, bottom - top};
}

}  // namespace kv::ui

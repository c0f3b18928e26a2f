// Positions given in twips (1/1440 inch) for an 8.25 point font, turned into
// pixels for the font in use, so that the proportions hold.
#pragma once

#include <QRect>

class QFont;

namespace kv::ui {

struct Twips {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

// 15 twips per pixel at 96 dots per inch, scaled by the font's size relative to
// 8.25 point.
double PixelsPerTwip(const QFont& font);

// The rectangle in pixels. Edges are rounded rather than sizes, so that
// neighbours that touch in twips still touch in pixels.
QRect ToPixels(const Twips& twips, double pixelsPerTwip);

}  // namespace kv::ui

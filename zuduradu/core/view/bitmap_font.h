// A small bitmap font for the labels of a picture: the printable ASCII
// characters, 5 pixels wide and 7 high.
#pragma once

#include <cstdint>
#include <string_view>

namespace kv {

inline constexpr int kGlyphWidth = 5;
inline constexpr int kGlyphHeight = 7;

// Row r (0 at the top) of a character's glyph; bit 4 is the leftmost pixel.
// Characters outside printable ASCII get the glyph of '?'.
std::uint8_t GlyphRow(char c, int r);

// Calls dot(x, y) for every lit pixel of `text` drawn from (0, 0), each font
// pixel `scale` screen pixels square, one blank column between characters.
// Each UTF-8 sequence is drawn as one '?'.
template <typename Dot>
void DrawText(std::string_view text, int scale, Dot&& dot) {
  int x = 0;
  for (const char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) == 0x80) continue;  // the rest of a UTF-8 sequence
    for (int r = 0; r < kGlyphHeight; ++r) {
      const std::uint8_t row = GlyphRow(c, r);
      for (int k = 0; k < kGlyphWidth; ++k) {
        if ((row >> (kGlyphWidth - 1 - k) & 1) == 0) continue;
        for (int dy = 0; dy < scale; ++dy) {
          for (int dx = 0; dx < scale; ++dx) dot(x + k * scale + dx, r * scale + dy);
        }
      }
    }
    x += (kGlyphWidth + 1) * scale;
  }
}

// The width DrawText covers.
int TextWidth(std::string_view text, int scale);

}  // namespace kv

// The text of the pictures, drawn from a TrueType font with stb_truetype:
// UTF-8 in, anti-aliased coverage out. Characters the font lacks come out as
// its empty box; bytes that are not UTF-8 as the replacement character.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace kv {

// How much of each pixel the text covers, 0 to 255, rows from the top.
struct TextMask {
  int width = 0;
  int height = 0;    // the font's line: ascent and descent
  int baseline = 0;  // from the top
  std::vector<std::uint8_t> cover;

  std::uint8_t At(int x, int y) const {
    return cover[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
  }
  // The same text turned a quarter to the left, to read from the bottom up.
  TextMask TurnedLeft() const;
};

class PictureFont {
 public:
  // The bytes of a TrueType file; throws kv::Error when they are not one.
  explicit PictureFont(std::vector<unsigned char> ttf);
  ~PictureFont();
  PictureFont(const PictureFont&) = delete;
  PictureFont& operator=(const PictureFont&) = delete;

  // DejaVu Sans from FindPictureFont, read on first use. Throws kv::Error
  // when it cannot be found or read (and tries again on the next call).
  static const PictureFont& Default();

  // `text` set at `pixels` pixels from the top of its tallest letters to the
  // bottom of its deepest.
  TextMask Render(std::string_view text, double pixels) const;
  int Width(std::string_view text, double pixels) const;

 private:
  struct Face;
  std::vector<unsigned char> ttf_;
  std::unique_ptr<Face> face_;
};

}  // namespace kv

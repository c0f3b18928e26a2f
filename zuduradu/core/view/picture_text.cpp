#include "zuduradu/core/view/picture_text.h"

#include <algorithm>
#include <cmath>

#include "zuduradu/core/error.h"
#include "zuduradu/core/message_text.h"
#include "zuduradu/core/storage/binary_file.h"
#include "zuduradu/core/view/font_file.h"

#define STBTT_STATIC
#define STB_TRUETYPE_IMPLEMENTATION
#include <stb/stb_truetype.h>

namespace kv {

namespace {

// The code points of UTF-8 text; a byte that does not begin a whole, shortest
// sequence stands for U+FFFD.
std::vector<int> CodePoints(std::string_view text) {
  std::vector<int> out;
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    const int length = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    int cp = length == 1 ? b : length == 2 ? b & 0x1F : length == 3 ? b & 0x0F : b & 0x07;
    bool whole = length > 0 && i + static_cast<std::size_t>(length) <= text.size();
    for (int k = 1; whole && k < length; ++k) {
      const auto c = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
      whole = (c & 0xC0) == 0x80;
      cp = cp << 6 | (c & 0x3F);
    }
    constexpr int kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    whole = whole && cp >= kLeast[length] && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
    out.push_back(whole ? cp : 0xFFFD);
    i += whole ? static_cast<std::size_t>(length) : 1;
  }
  return out;
}

}  // namespace

struct PictureFont::Face {
  stbtt_fontinfo info{};
  int ascent = 0;
  int descent = 0;
};

PictureFont::PictureFont(std::vector<unsigned char> ttf) : ttf_(std::move(ttf)), face_(std::make_unique<Face>()) {
  const int offset = ttf_.empty() ? -1 : stbtt_GetFontOffsetForIndex(ttf_.data(), 0);
  if (offset < 0 || stbtt_InitFont(&face_->info, ttf_.data(), offset) == 0) {
    throw Error(ErrorKind::BadRequest, "The font of the pictures' text is not a TrueType font");
  }
  int gap = 0;
  stbtt_GetFontVMetrics(&face_->info, &face_->ascent, &face_->descent, &gap);
}

PictureFont::~PictureFont() = default;

const PictureFont& PictureFont::Default() {
  static const PictureFont font = [] {
    const std::filesystem::path path = FindPictureFont();
    BinaryFile file(path, BinaryFile::Mode::Read);
    std::vector<unsigned char> bytes(static_cast<std::size_t>(file.Length()));
    file.ReadAt(0, bytes);
    try {
      return PictureFont(std::move(bytes));
    } catch (const Error& e) {
      throw Error(ErrorKind::BadRequest, PathText(path) + ": " + e.what(), {}, "No picture was written.");
    }
  }();
  return font;
}

TextMask PictureFont::Render(std::string_view text, double pixels) const {
  const stbtt_fontinfo& info = face_->info;
  const auto scale = static_cast<float>(pixels / (face_->ascent - face_->descent));
  TextMask mask;
  mask.baseline = static_cast<int>(std::lround(static_cast<float>(face_->ascent) * scale));
  mask.height = static_cast<int>(std::ceil(static_cast<float>(face_->ascent - face_->descent) * scale));
  // Where each glyph goes, then the pixels.
  struct Placed {
    int glyph;
    float x;
  };
  std::vector<Placed> placed;
  float x = 0;
  int previous = 0;
  for (const int cp : CodePoints(text)) {
    const int glyph = stbtt_FindGlyphIndex(&info, cp);
    if (previous != 0) x += scale * static_cast<float>(stbtt_GetGlyphKernAdvance(&info, previous, glyph));
    placed.push_back({glyph, x});
    int advance = 0;
    int bearing = 0;
    stbtt_GetGlyphHMetrics(&info, glyph, &advance, &bearing);
    x += scale * static_cast<float>(advance);
    previous = glyph;
  }
  mask.width = static_cast<int>(std::ceil(x));
  mask.cover.assign(static_cast<std::size_t>(mask.width) * static_cast<std::size_t>(mask.height), 0);
  std::vector<unsigned char> bitmap;
  for (const Placed& p : placed) {
    const float left = std::floor(p.x);
    const float shift = p.x - left;
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    stbtt_GetGlyphBitmapBoxSubpixel(&info, p.glyph, scale, scale, shift, 0, &x0, &y0, &x1, &y1);
    const int w = x1 - x0;
    const int h = y1 - y0;
    if (w <= 0 || h <= 0) continue;
    bitmap.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0);
    stbtt_MakeGlyphBitmapSubpixel(&info, bitmap.data(), w, h, w, scale, scale, shift, 0, p.glyph);
    for (int gy = 0; gy < h; ++gy) {
      const int my = mask.baseline + y0 + gy;
      if (my < 0 || my >= mask.height) continue;
      for (int gx = 0; gx < w; ++gx) {
        const int mx = static_cast<int>(left) + x0 + gx;
        if (mx < 0 || mx >= mask.width) continue;
        auto& c = mask.cover[static_cast<std::size_t>(my) * static_cast<std::size_t>(mask.width) + static_cast<std::size_t>(mx)];
        c = static_cast<std::uint8_t>(std::min(255, c + bitmap[static_cast<std::size_t>(gy * w + gx)]));
      }
    }
  }
  return mask;
}

int PictureFont::Width(std::string_view text, double pixels) const { return Render(text, pixels).width; }

TextMask TextMask::TurnedLeft() const {
  TextMask turned;
  turned.width = height;
  turned.height = width;
  turned.baseline = baseline;  // now a column from the left
  turned.cover.resize(cover.size());
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      turned.cover[static_cast<std::size_t>(width - 1 - x) * static_cast<std::size_t>(height) + static_cast<std::size_t>(y)] =
          At(x, y);
    }
  }
  return turned;
}

}  // namespace kv

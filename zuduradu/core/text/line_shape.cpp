#include "zuduradu/core/text/line_shape.h"

#include <algorithm>

namespace kv {

void LineShape::Begin(int set) {
  set_ = set;
  done_ = 0;
  open_ = nx_ > 0;
  expect_ = -1;
  last_ = 0;
  lines_ = 0;
  reseeded_ = false;
}

// The pattern of lines that hold `width` values: rows wrapped at that width,
// each starting a line (only when it is no longer than a row), or lines that
// all hold it.
void LineShape::Seed(std::int64_t width) {
  width_ = width;
  rows_ = width <= nx_;
  even_ = true;
  expect_ = -1;
}

void LineShape::Broken(const ShapeBreak& at) {
  if (break_.set == 0) break_ = at;
  Stop();
}

void LineShape::Slow(std::int64_t pos, std::int64_t line) {
  const std::int64_t held = pos - last_;
  if (held <= 0) return;  // a blank line
  const std::int64_t before = last_;
  last_ = pos;
  if (lines_ == 0) {
    firstLine_ = line;
    Seed(held);
    lines_ = 1;
    return;
  }
  const std::int64_t rowLeft = rows_ ? std::min(width_, nx_ - before % nx_) : -1;
  const bool fitsRows = rows_ && held == rowLeft;
  const bool fitsEven = even_ && held == width_;
  if (!fitsRows && !fitsEven) {
    if (lines_ == 1 && !reseeded_) {
      // The first line or the second is the odd one: the line after them decides.
      pending_ = {set_, firstLine_, width_, held, held == nx_, true};
      secondLine_ = line;
      reseeded_ = true;
      Seed(held);
      return;
    }
    if (reseeded_ && lines_ == 1) {
      // As long as the first line: the second was the odd one; otherwise there is no pattern.
      if (held != pending_.held) return Stop();
      return Broken({set_, secondLine_, pending_.expected, held, held == nx_, false});
    }
    Broken({set_, line, held, rows_ ? rowLeft : width_, rows_ && width_ == nx_, false});
    return;
  }
  rows_ = fitsRows;
  even_ = fitsEven;
  if (reseeded_) return Broken(pending_);
  lines_ = std::min(lines_ + 1, 3);
  // A pattern whose every further line holds the same count takes the fast road.
  expect_ = (rows_ && nx_ % width_ == 0) || (!rows_ && even_) ? width_ : -1;
}

void LineShape::Finish() {
  const std::int64_t held = n_ - last_;
  if (lines_ > 0 && held > 0) {
    const bool fitsRows = rows_ && held == nx_ - last_ % nx_ && held <= width_;
    const bool fitsEven = even_ && held <= width_;
    if (reseeded_ && held == width_ && (fitsRows || fitsEven)) return Broken(pending_);
    rows_ = fitsRows;
    even_ = fitsEven;
  }
  const int fullLines = lines_ + (held == width_ ? 1 : 0);
  if (lines_ > 0 && !reseeded_ && !rows_ && even_ && width_ != nx_ && fullLines >= 2) {
    if (other_.set == 0) other_ = {set_, firstLine_, width_, 0};
    ++other_.sets;
  }
  Stop();
}

}  // namespace kv

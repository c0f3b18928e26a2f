// How the values of each data set are spread over lines. Line ends carry no
// meaning in the matrix text, but regular lines tell a modeller's intent: a
// set written in lines of one length that is not the grid's row length was
// most likely made for another grid, and where regular lines break, a value
// is most likely missing or extra. The reader reports every line end inside a
// set; the common case (a line as long as the lines before it) costs one
// comparison, so that the reader stays as fast as without it.
//
// Allowed, and silent: one value per line, a set on one line, one row per
// line, and rows wrapped at a fixed count with each row starting a line.
#pragma once

#include <cstdint>

namespace kv {

// The first line where a set's regular lines break their pattern.
struct ShapeBreak {
  int set = 0;  // 0: none
  std::int64_t line = 0;
  std::int64_t held = 0;      // values on that line
  std::int64_t expected = 0;  // what the pattern gives it
  bool rows = false;          // the pattern is one row of the grid per line
  bool after = false;         // the pattern is set by the lines after it (it is the set's first line)
};

// The first set written in regular lines of another length than the grid's rows.
struct OtherWidth {
  int set = 0;  // 0: none
  std::int64_t line = 0;   // the first line of its values
  std::int64_t width = 0;  // values a line
  int sets = 0;            // how many sets are written so
};

class LineShape {
 public:
  // Tracks sets of `values` values on rows of `rowLength`; a row length of 0 tracks nothing.
  void Track(std::int64_t rowLength, std::int64_t values) {
    nx_ = rowLength;
    n_ = values;
  }
  // Before values of `set` are read: a new set starts the judgement afresh.
  // Returns how many of its values were read before.
  std::int64_t Enter(int set) {
    if (set != set_) Begin(set);
    return done_;
  }
  // A line ended after `pos` values of the set; `line` is the line that ended.
  void Line(std::int64_t pos, std::int64_t line) {
    if (pos - last_ == expect_) {
      last_ = pos;
    } else if (open_) {
      Slow(pos, line);
    }
  }
  // `count` lines ended after pos, pos + step, ...; the first of them is `line`.
  void Lines(std::int64_t pos, std::int64_t step, std::int64_t count, std::int64_t line) {
    for (; count > 0; --count, pos += step, ++line) {
      if (step == expect_ && pos - last_ == step) {
        last_ = pos + (count - 1) * step;
        return;
      }
      Line(pos, line);
    }
  }
  // After `count` more values of the set were read.
  void Read(std::int64_t count) {
    done_ += count;
    if (open_ && done_ >= n_) Finish();
  }
  // The lines of the current set cannot be told: it is judged no further.
  void Lose() { Stop(); }

  const ShapeBreak& firstBreak() const { return break_; }
  const OtherWidth& otherWidth() const { return other_; }

 private:
  void Begin(int set);
  void Slow(std::int64_t pos, std::int64_t line);
  void Finish();
  void Stop() {
    open_ = false;
    expect_ = -1;
  }
  void Seed(std::int64_t width);
  void Broken(const ShapeBreak& at);

  std::int64_t nx_ = 0;
  std::int64_t n_ = 0;
  int set_ = 0;
  std::int64_t done_ = 0;  // values of set_ read
  bool open_ = false;
  std::int64_t expect_ = -1;  // what every further line holds, when that is fixed; -1 otherwise
  std::int64_t last_ = 0;     // values before the last line end
  int lines_ = 0;             // line ends after values, counted up to 3
  std::int64_t firstLine_ = 0;
  std::int64_t secondLine_ = 0;
  std::int64_t width_ = 0;    // the pattern's values a line
  bool rows_ = false;         // each row starts a line, wrapped at width_
  bool even_ = false;         // every line holds width_
  bool reseeded_ = false;     // the first line did not fit the second: the pattern starts there
  ShapeBreak pending_;        // the first line, when the lines after it confirm the pattern
  ShapeBreak break_;
  OtherWidth other_;
};

}  // namespace kv

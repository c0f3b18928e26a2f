// Where a picture's scales carry labels: round values along the colour bar,
// and row and column numbers along the cells.
#pragma once

#include <string>
#include <vector>

namespace kv {

// Ticks of the colour bar from lo to hi (lo < hi): multiples of one round step
// (1, 2, 2.5 or 5 times a power of ten, else 1.5, 3, 4, 6 or 8 times one),
// five to seven of them wherever such a step gives that many.
struct ValueTicks {
  double step = 0;
  std::vector<double> values;  // ascending, within lo..hi
};
ValueTicks ChooseValueTicks(double lo, double hi);

// A tick's label: as many decimals as the step needs, the same for every tick
// of a scale, and no exponent for the sizes of everyday data.
std::string TickText(double value, double step);

// Cell numbers 1..count to label along an edge where a cell is `cellPixels`
// wide and a label needs `labelPixels`: 1, then multiples of the smallest
// step of 1, 2 or 5 times a power of ten that keeps the labels apart.
std::vector<int> ChooseCellTicks(int count, double cellPixels, double labelPixels);

}  // namespace kv

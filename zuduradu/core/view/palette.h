// The colours of a picture's values: viridis for one quantity, a diverging
// blue-to-red map with a light neutral grey in its middle for differences.
#pragma once

#include <array>
#include <cstdint>

namespace kv {

using Rgb = std::array<std::uint8_t, 3>;

enum class Palette { Sequential, Diverging };

// The colour at t, 0 for the low end and 1 for the high end; t outside 0..1
// takes the nearer end's colour.
Rgb PaletteColour(Palette palette, double t);

}  // namespace kv

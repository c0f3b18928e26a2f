// A manifest: the inputs of one run listed in a CSV file, one a line under the
// header "file,period,layer" (the columns in any order; period and layer may be
// left out). A matrix text file leaves period and layer empty, as it brings its
// own; a raster's line gives both. Paths are taken from the manifest's folder.
// Blank lines are skipped; a field may be quoted ("a,b.asc", "" for a quote).
#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

#include "zuduradu/core/input/input_source.h"

namespace kv {

// The inputs `text` lists, in order. Throws kv::Error (BadInput) naming the
// manifest, the line and column: a bad header, a line without its file, a
// period without a layer or a layer without a period, a period or layer that is
// not a whole number 1..32767, a line with more fields than the header, or no
// input at all.
std::vector<InputSource> ParseManifest(std::string_view text, const std::filesystem::path& manifest);

// The manifest file read and parsed (kv::Error naming it when it cannot be read).
std::vector<InputSource> ReadManifest(const std::filesystem::path& manifest);

}  // namespace kv

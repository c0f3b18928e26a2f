// Where the font of the pictures' text is: DejaVu Sans. An installed program
// on Windows has it beside itself, in share/kvcvrt/fonts of its folder (the
// build tree has it there too); on Debian it is the system's copy from
// fonts-dejavu-core.
#pragma once

#include <filesystem>
#include <vector>

namespace kv {

inline constexpr char kPictureFontName[] = "DejaVuSans.ttf";

// The places looked at, in order, for the program at `program`.
std::vector<std::filesystem::path> PictureFontPlaces(const std::filesystem::path& program);

// The first of the running program's places that holds the font. Throws
// kv::Error (InputMissing) that names every place looked at.
std::filesystem::path FindPictureFont();

}  // namespace kv

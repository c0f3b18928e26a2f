#include "zuduradu/core/view/font_file.h"

#include <system_error>

#include "zuduradu/core/error.h"
#include "zuduradu/core/message_text.h"
#include "zuduradu/core/storage/os.h"

namespace kv {
namespace fs = std::filesystem;

std::vector<fs::path> PictureFontPlaces(const fs::path& program) {
  std::vector<fs::path> places;
  if (!program.empty()) {
    places.push_back(program.parent_path().parent_path() / "share" / "kvcvrt" / "fonts" / kPictureFontName);
  }
  places.push_back(fs::path("/usr/share/fonts/truetype/dejavu") / kPictureFontName);
  return places;
}

fs::path FindPictureFont() {
  std::string looked;
  for (const fs::path& place : PictureFontPlaces(os::ProgramFile())) {
    std::error_code ec;
    if (fs::is_regular_file(place, ec)) return place;
    looked += (looked.empty() ? "" : ", ") + PathText(place);
  }
  throw Error(ErrorKind::InputMissing,
              "The font of the pictures' text, " + std::string(kPictureFontName) + ", is not in " + looked +
                  " (on Debian it comes with fonts-dejavu-core; on Windows, installing kvcvrt again puts it back)",
              {}, "No picture was written.");
}

}  // namespace kv

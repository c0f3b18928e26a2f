// PNG encoding of a raster with stb_image_write, saved as every output is.
#include <climits>
#include <cstring>
#include <ostream>

#include "zuduradu/core/error.h"
#include "zuduradu/core/storage/save_target.h"
#include "zuduradu/core/view/heat_map.h"

// The encoder's own file calls are left out: the bytes go through our files.
#define STBI_WRITE_NO_STDIO
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace kv {
namespace fs = std::filesystem;

std::vector<unsigned char> EncodePng(const Raster& raster) {
  if (raster.width < 1 || raster.height < 1 || raster.width > INT_MAX / 3) {
    throw Error(ErrorKind::BadRequest, "A picture needs at least one pixel");
  }
  std::vector<unsigned char> bytes;
  const auto append = [](void* context, void* data, int size) {
    auto* out = static_cast<std::vector<unsigned char>*>(context);
    const auto* p = static_cast<const unsigned char*>(data);
    out->insert(out->end(), p, p + size);
  };
  // Blocks of one colour compress well at a low level, and several times faster.
  stbi_write_png_compression_level = 2;
  if (stbi_write_png_to_func(append, &bytes, raster.width, raster.height, 3, raster.rgb.data(), raster.width * 3) == 0) {
    throw Error(ErrorKind::Io, "Could not encode the picture as PNG");
  }
  return bytes;
}

void WritePng(const Raster& raster, const fs::path& path) {
  const std::vector<unsigned char> bytes = EncodePng(raster);
  SaveTarget target(path, SaveTarget::Kind::InOrder);
  if (!target.IsStream()) target.CheckKind();
  try {
    target.Begin().write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    target.Finish();
  } catch (const Error& e) {
    throw e.WithIntact(target.IntactNote("the picture", "the picture"));
  }
}

}  // namespace kv

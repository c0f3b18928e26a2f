#include "zuduradu/core/input/open_sets.h"

#include <array>
#include <string>
#include <string_view>
#include <utility>

#include "zuduradu/core/ascii.h"
#include "zuduradu/core/input/ascii_grid.h"
#include "zuduradu/core/input/matrix_text.h"
#include "zuduradu/core/message_text.h"
#include "zuduradu/core/text/byte_source.h"
#include "zuduradu/core/text/matrix_reader.h"
#ifdef KV_HAVE_GDAL
#include "zuduradu/core/input/gdal_raster.h"
#endif

namespace kv {

namespace {

bool StartsAsTiff(std::string_view bytes) {
  constexpr std::array<std::string_view, 4> kSignatures = {std::string_view("II*\0", 4), std::string_view("MM\0*", 4),
                                                           std::string_view("II+\0", 4), std::string_view("MM\0+", 4)};
  for (std::string_view s : kSignatures) {
    if (bytes.starts_with(s)) return true;
  }
  return false;
}

// The matrix text from the file or from standard input.
class TextSets final : public InputSets {
 public:
  TextSets(const InputSource& source, int threads, std::size_t chunkBytes) : source_(Open(source)) {
    // An input of one chunk is parsed on one thread: several could only take it in turns.
    const std::size_t chunk = chunkBytes > 0 ? chunkBytes : MatrixReader::kDefaultChunkBytes;
    if (threads == 0 && length_ > 0 && length_ <= chunk) threads = 1;
    text_ = std::make_unique<MatrixTextSets>(*source_, source.path, threads, chunkBytes);
  }
  SetStream& sets() override { return text_->sets(); }
  std::uint64_t length() const override { return length_; }

 private:
  std::unique_ptr<ByteSource> Open(const InputSource& source) {
    if (source.fromStdin) return std::make_unique<StdinSource>();
    auto file = std::make_unique<FileSource>(source.path);
    length_ = file->length();
    return file;
  }

  std::uint64_t length_ = 0;
  std::unique_ptr<ByteSource> source_;
  std::unique_ptr<MatrixTextSets> text_;
};

template <typename Raster>
class RasterSets final : public InputSets {
 public:
  template <typename... Args>
  explicit RasterSets(Args&&... args) : raster_(std::forward<Args>(args)...) {}
  SetStream& sets() override { return raster_; }
  std::uint64_t length() const override {
    if constexpr (requires { raster_.length(); }) return raster_.length();
    return 0;
  }

 private:
  Raster raster_;
};

void RefuseRasterOptions(const InputSource& source) {
  const char* given = source.period ? "a period" : source.layer ? "a layer" : source.nodataFill ? "a no-data fill" : nullptr;
  if (!given) return;
  throw Error(ErrorKind::BadRequest, PathText(source.path) + " is matrix text, which brings its own periods and layers: " +
                                         std::string(given) + " is given only for a raster (.asc, .tif)");
}

}  // namespace

InputKind KindOf(const InputSource& source) {
  if (source.fromStdin) return InputKind::MatrixText;
  const std::string extension = AsciiLowered(PathText(source.path.extension()));
  if (extension == ".asc") return InputKind::AsciiGrid;
  if (extension == ".tif" || extension == ".tiff") return InputKind::GdalRaster;
  // A pipe is read once, as it comes: only a regular file is looked at first.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(source.path, ec)) return InputKind::MatrixText;
  std::array<char, 512> start{};
  std::size_t got = 0;
  try {
    FileSource file(source.path);
    got = file.Read(start.data(), start.size());
  } catch (const Error&) {
    return InputKind::MatrixText;  // the reader that opens it says what is wrong
  }
  const std::string_view bytes(start.data(), got);
  if (StartsAsTiff(bytes)) return InputKind::GdalRaster;
  return LooksLikeAsciiGrid(bytes) ? InputKind::AsciiGrid : InputKind::MatrixText;
}

bool HaveGdal() {
#ifdef KV_HAVE_GDAL
  return true;
#else
  return false;
#endif
}

Error WithoutGdal(const std::filesystem::path& raster, bool writing) {
  return Error(ErrorKind::BadRequest,
               std::string("This build of kvcvrt has no GDAL, so it cannot ") + (writing ? "write" : "read") +
                   " the raster " + PathText(raster) + ". ESRI ASCII grids (.asc) work here: " +
                   (writing ? "export to a name ending in .asc" : "save the raster as one from the GIS") +
                   " (gdal_translate -of AAIGrid converts between the two)");
}

std::unique_ptr<InputSets> OpenSets(const InputSource& source, const GridSize& grid, int threads,
                                    std::size_t chunkBytes) {
  switch (KindOf(source)) {
    case InputKind::AsciiGrid:
      return std::make_unique<RasterSets<AsciiGridSets>>(source, grid, threads);
    case InputKind::GdalRaster:
#ifdef KV_HAVE_GDAL
      return std::make_unique<RasterSets<GdalRasterSets>>(source, grid);
#else
      throw WithoutGdal(source.path, false);
#endif
    case InputKind::MatrixText:
      break;
  }
  RefuseRasterOptions(source);
  return std::make_unique<TextSets>(source, threads, chunkBytes);
}

}  // namespace kv

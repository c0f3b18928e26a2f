#include "zuduradu/core/input/open_sets.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "zuduradu/core/ascii.h"
#include "zuduradu/core/error.h"
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

// A raster: one data set, its length that of its file where the reader knows it.
template <typename Raster>
class OpenedRaster final : public OpenedInput {
 public:
  template <typename... Args>
  explicit OpenedRaster(Args&&... args) : raster_(std::forward<Args>(args)...) {}
  SetStream& sets() override { return raster_; }
  std::uint64_t length() const override {
    if constexpr (requires { raster_.length(); }) return raster_.length();
    return 0;
  }

 private:
  Raster raster_;
};

// Matrix text from a file or from standard input.
class OpenedText final : public OpenedInput {
 public:
  OpenedText(const InputSource& input, const ReadOptions& options) {
    if (input.fromStdin) {
      source_ = std::make_unique<StdinSource>();
    } else {
      auto file = std::make_unique<FileSource>(input.path);
      length_ = file->length();
      source_ = std::move(file);
    }
    // An input of one chunk is parsed on the calling thread alone: more
    // threads, or one reading ahead, could only take it in turns.
    const std::size_t chunk = options.chunkBytes > 0 ? options.chunkBytes : MatrixReader::kDefaultChunkBytes;
    const bool small = length_ > 0 && length_ <= chunk;
    text_.emplace(*source_, input.path, options.threads == 0 && small ? 1 : options.threads, options.chunkBytes,
                  !small);
  }
  SetStream& sets() override { return text_->sets(); }
  std::uint64_t length() const override { return length_; }

 private:
  std::uint64_t length_ = 0;
  std::unique_ptr<ByteSource> source_;
  std::optional<MatrixTextSets> text_;
};

}  // namespace

InputKind KindOf(const InputSource& input) {
  if (input.fromStdin) return InputKind::MatrixText;
  const std::string extension = AsciiLowered(PathText(input.path.extension()));
  if (extension == ".asc") return InputKind::AsciiGrid;
  if (extension == ".tif" || extension == ".tiff") return InputKind::GdalRaster;
  // A pipe is read once, as it comes: only a regular file is looked at first.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(input.path, ec)) return InputKind::MatrixText;
  std::array<char, 512> start{};
  std::size_t got = 0;
  try {
    FileSource file(input.path);
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

// Matrix text brings its own periods and layers: a period, layer, band or fill
// given for it would be dropped without a word. A raster needs its place.
void CheckInputOptions(const InputSource& input) {
  const InputKind kind = KindOf(input);
  if (kind == InputKind::GdalRaster && !HaveGdal()) throw WithoutGdal(input.path, false);
  if (kind != InputKind::MatrixText) {
    OneSetRaster::CheckPlace(input);
    return;
  }
  const char* given = input.period ? "a period" : input.layer ? "a layer" : input.band != 1 ? "a band"
                      : input.nodataFill ? "a no-data fill" : nullptr;
  if (given == nullptr) return;
  throw Error(ErrorKind::BadRequest,
              "The input file " + PathText(input.path) + " is matrix text, which brings its own periods and layers, "
              "but " + given + " was given for it. Leave period, layer, band and no-data fill empty for matrix "
              "text; they are for a raster, which holds a single grid",
              ErrorPlace{input.path, 0, 0, 0, {}});
}

std::unique_ptr<OpenedInput> OpenSets(const InputSource& input, const ReadOptions& options) {
  CheckInputOptions(input);
  switch (KindOf(input)) {
    case InputKind::AsciiGrid:
      return std::make_unique<OpenedRaster<AsciiGridSets>>(input, options.grid, options.threads);
    case InputKind::GdalRaster:
#ifdef KV_HAVE_GDAL
      return std::make_unique<OpenedRaster<GdalRasterSets>>(input, options.grid);
#else
      throw WithoutGdal(input.path, false);
#endif
    case InputKind::MatrixText:
      break;
  }
  return std::make_unique<OpenedText>(input, options);
}

}  // namespace kv

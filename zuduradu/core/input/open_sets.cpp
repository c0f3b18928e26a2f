#include "zuduradu/core/input/open_sets.h"

#include <string>

#include "zuduradu/core/error.h"
#include "zuduradu/core/input/matrix_text.h"
#include "zuduradu/core/message_text.h"
#include "zuduradu/core/text/byte_source.h"
#include "zuduradu/core/text/matrix_reader.h"

namespace kv {

namespace {

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

// Matrix text brings its own periods and layers: a period, layer, band or fill
// given for it would be dropped without a word.
void CheckInputOptions(const InputSource& input) {
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
  return std::make_unique<OpenedText>(input, options);
}

}  // namespace kv

#include "zuduradu/core/text/matrix_reader.h"

#include <algorithm>
#include <thread>

#include "zuduradu/core/text/field_reader.h"

namespace kv {

MatrixReader::MatrixReader(ByteSource& source, std::filesystem::path name, std::size_t chunkBytes, int threads) {
  if (threads > 1) {
    road_ = std::make_unique<PipelineFieldReader>(source, std::move(name), chunkBytes, threads);
  } else {
    road_ = std::make_unique<SerialFieldReader>(source, std::move(name), chunkBytes);
  }
}

MatrixReader::~MatrixReader() = default;

int MatrixReader::DefaultThreads() {
  // Past a few threads the work left in order (placing values, writing) is the limit,
  // and every thread holds its chunks: more would only take memory.
  return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
}

std::int16_t MatrixReader::ReadInteger(std::string_view field, int set) { return road_->ReadInteger(field, set); }
void MatrixReader::ReadValues(std::span<float> values, int set) { road_->ReadValues(values, set); }
void MatrixReader::SkipValues(std::int64_t n, int set) { road_->SkipValues(n, set); }
LeftOverFields MatrixReader::CountLeftOverFields() { return road_->CountLeftOverFields(); }
FieldLocation MatrixReader::lastField() const { return road_->lastField(); }
std::uint64_t MatrixReader::bytesRead() const { return road_->bytesRead(); }
void MatrixReader::TrackLineShapes(std::int64_t rowLength, std::int64_t values) {
  road_->TrackLineShapes(rowLength, values);
}
const LineShape* MatrixReader::lineShapes() const { return road_->lineShapes(); }
std::size_t MatrixReader::bufferCapacity() const { return road_->bufferCapacity(); }
const std::filesystem::path& MatrixReader::name() const { return road_->name(); }

}  // namespace kv

#include "zuduradu/core/text/matrix_reader.h"

#include <algorithm>
#include <thread>

namespace kv {

std::unique_ptr<FieldReader> MatrixReader::Open(ByteSource& source, std::filesystem::path name, std::size_t chunkBytes,
                                                int threads) {
  if (threads > 1) return std::make_unique<PipelineFieldReader>(source, std::move(name), chunkBytes, threads);
  return std::make_unique<SerialFieldReader>(source, std::move(name), chunkBytes);
}

int MatrixReader::DefaultThreads() {
  // Past a few threads the work left in order (placing values, writing) is the limit,
  // and every thread holds its chunks: more would only take memory.
  return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
}

}  // namespace kv

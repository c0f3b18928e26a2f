#include "zuduradu/core/input/matrix_text.h"

namespace kv {

MatrixTextSets::MatrixTextSets(ByteSource& bytes, const std::filesystem::path& name, int threads,
                               std::size_t chunkBytes, bool readAhead)
    : threads_(threads > 0 ? threads : MatrixReader::DefaultThreads()),
      ahead_(threads_ == 1 && readAhead ? std::make_unique<ReadAheadSource>(bytes) : nullptr),
      reader_(MatrixReader::Open(ahead_ ? static_cast<ByteSource&>(*ahead_) : bytes, name,
                                 chunkBytes > 0 ? chunkBytes : MatrixReader::kDefaultChunkBytes, threads_)) {}

}  // namespace kv

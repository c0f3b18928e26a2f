// Writes layers into a file while the next layer is being parsed: two buffers,
// one being filled by the caller, the other being written on a second thread.
// Small layers are written on the caller's thread, where a hand-over would cost
// more than it saves. The bytes are the same either way. Every few megabytes
// the system is asked to start writing to the disk, so that the final sync of
// the file finds little left to do.
//
// Threads: one caller thread uses the object (Buffer, Submit, Finish). The
// writing thread is the object's own; the mutex hands a layer over, and from
// then until the next Submit or Finish returns, the file and that buffer are
// the writing thread's alone. So nobody else may use the BinaryFile between
// the first Submit and Finish.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <span>
#include <stop_token>
#include <thread>
#include <vector>

#include "zuduradu/core/storage/binary_file.h"

namespace kv {

class LayerWriter {
 public:
  static constexpr std::size_t kBackgroundBytes = std::size_t{256} << 10;
  static constexpr std::size_t kWriteBackBytes = std::size_t{8} << 20;

  LayerWriter(BinaryFile& file, std::size_t cells);
  LayerWriter(const LayerWriter&) = delete;
  LayerWriter& operator=(const LayerWriter&) = delete;

  // The buffer to read the next layer into.
  std::span<float> Buffer() { return buffers_[current_]; }
  // Writes Buffer() at offset, perhaps in the background; afterwards Buffer() is
  // the other buffer. Rethrows a failure of an earlier background write.
  void Submit(std::int64_t offset);
  // Waits for the last write; rethrows its failure.
  void Finish();

 private:
  void Work(std::stop_token stop);
  void Write(std::int64_t offset, std::span<const float> values);
  void WaitIdle(std::unique_lock<std::mutex>& lock);

  BinaryFile& file_;
  std::vector<float> buffers_[2];
  std::size_t current_ = 0;
  bool background_;
  std::mutex mutex_;
  std::condition_variable_any changed_;
  bool pending_ = false;
  std::int64_t offset_ = 0;
  std::size_t jobBuffer_ = 0;
  std::exception_ptr failure_;
  std::size_t unsynced_ = 0;  // bytes written since the last write-back request
  // Last: it is stopped and joined before the members it uses go away.
  std::jthread thread_;
};

}  // namespace kv

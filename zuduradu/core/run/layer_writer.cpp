#include "zuduradu/core/run/layer_writer.h"

namespace kv {

LayerWriter::LayerWriter(BinaryFile& file, std::size_t cells)
    : file_(file), background_(cells * sizeof(float) >= kBackgroundBytes) {
  buffers_[0].resize(cells);
  if (background_) {
    buffers_[1].resize(cells);
    thread_ = std::jthread([this](std::stop_token stop) { Work(stop); });
  }
}

// Writes each submitted layer; a layer submitted before the stop is still written.
void LayerWriter::Work(std::stop_token stop) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (!changed_.wait(lock, stop, [this] { return pending_; })) return;
    const std::int64_t offset = offset_;
    const std::size_t index = jobBuffer_;
    lock.unlock();
    std::exception_ptr failure;
    try {
      Write(offset, buffers_[index]);
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    if (failure && !failure_) failure_ = failure;
    pending_ = false;
    changed_.notify_all();
  }
}

void LayerWriter::Write(std::int64_t offset, std::span<const float> values) {
  file_.WriteFloatsAt(offset, values);
  unsynced_ += values.size_bytes();
  if (unsynced_ >= kWriteBackBytes) {
    file_.StartWriteBack(0, 0);
    unsynced_ = 0;
  }
}

void LayerWriter::WaitIdle(std::unique_lock<std::mutex>& lock) {
  changed_.wait(lock, [this] { return !pending_; });
  if (failure_) std::rethrow_exception(failure_);
}

void LayerWriter::Submit(std::int64_t offset) {
  if (!background_) {
    Write(offset, buffers_[0]);
    return;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  WaitIdle(lock);
  offset_ = offset;
  jobBuffer_ = current_;
  pending_ = true;
  current_ = 1 - current_;
  changed_.notify_all();
}

void LayerWriter::Finish() {
  if (!background_) return;
  std::unique_lock<std::mutex> lock(mutex_);
  WaitIdle(lock);
}

}  // namespace kv

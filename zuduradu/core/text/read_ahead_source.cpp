#include "zuduradu/core/text/read_ahead_source.h"

#include <algorithm>
#include <cstring>

namespace kv {

ReadAheadSource::ReadAheadSource(ByteSource& inner, std::size_t chunkBytes)
    : inner_(inner), ready_(chunkBytes), next_(chunkBytes), thread_([this](std::stop_token stop) { Work(stop); }) {}

// Fills the next chunk whenever the caller has taken the last one. Once stopped
// it reads no further chunk: the source may be a pipe that never ends.
void ReadAheadSource::Work(std::stop_token stop) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, stop, [this] { return !nextFilled_; });
    if (stop.stop_requested()) return;
    lock.unlock();
    std::size_t got = 0;
    std::exception_ptr failure;
    try {
      // Fill the whole chunk unless the source ends: a short read is not the end.
      while (got < next_.size()) {
        const std::size_t n = inner_.Read(next_.data() + got, next_.size() - got);
        if (n == 0) break;
        got += n;
      }
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    nextSize_ = got;
    nextFilled_ = true;
    failure_ = failure;
    changed_.notify_all();
    if (got == 0) return;  // the end, or a failure: nothing more to read
  }
}

std::size_t ReadAheadSource::Read(char* dst, std::size_t n) {
  if (readyPos_ == readyEnd_) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return nextFilled_; });
    if (failure_) std::rethrow_exception(failure_);
    if (nextSize_ == 0) return 0;
    std::swap(ready_, next_);
    readyPos_ = 0;
    readyEnd_ = nextSize_;
    nextFilled_ = false;
    changed_.notify_all();
  }
  const std::size_t take = std::min(n, readyEnd_ - readyPos_);
  std::memcpy(dst, ready_.data() + readyPos_, take);
  readyPos_ += take;
  return take;
}

}  // namespace kv

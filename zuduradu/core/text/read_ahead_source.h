// Reads the next chunk of a source on a second thread while the caller works
// through the current one, so that reading the input overlaps parsing it.
// Threads: one reader thread calls Read; the second thread is the object's own
// and is the only one that reads the inner source while the object lives.
// A failure of the inner source is rethrown on the reader's thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

#include "zuduradu/core/text/byte_source.h"

namespace kv {

class ReadAheadSource final : public ByteSource {
 public:
  explicit ReadAheadSource(ByteSource& inner, std::size_t chunkBytes = std::size_t{1} << 20);
  ReadAheadSource(const ReadAheadSource&) = delete;
  ReadAheadSource& operator=(const ReadAheadSource&) = delete;

  // Rethrows a read failure of the second thread.
  std::size_t Read(char* dst, std::size_t n) override;

 private:
  void Work(std::stop_token stop);

  ByteSource& inner_;
  std::vector<char> ready_;  // being handed to the caller
  std::vector<char> next_;   // being filled by the second thread
  std::size_t readyPos_ = 0;
  std::size_t readyEnd_ = 0;
  std::size_t nextSize_ = 0;
  bool nextFilled_ = false;
  std::exception_ptr failure_;
  std::mutex mutex_;
  std::condition_variable_any changed_;
  // Last: it is stopped and joined before the members it uses go away.
  std::jthread thread_;
};

}  // namespace kv

// The folders the POSIX side holds open while a walked path is in use: both
// the walk and every call on a name in such a folder reach it through them.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace kv::posix {

// Folders a walk holds open (os::WalkPath), by their path as the walk gave it:
// a name in one of them is reached through the handle, not by its path again.
struct HeldFolders {
  std::mutex mutex;
  std::map<std::string, std::pair<int, int>> byPath;  // path -> (descriptor, holders)
};

inline HeldFolders& Held() {
  static HeldFolders held;
  return held;
}

}  // namespace kv::posix

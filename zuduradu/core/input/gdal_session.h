// GDAL as kvcvrt uses it: its drivers registered once, and while a session
// lives its messages kept from standard error, the last one at hand for ours.
// Compiled only where the build has GDAL (KV_HAVE_GDAL).
#pragma once

#include <string>

namespace kv {

class GdalSession {
 public:
  GdalSession();
  ~GdalSession();
  GdalSession(const GdalSession&) = delete;
  GdalSession& operator=(const GdalSession&) = delete;
  // GDAL's last message, or "no reason given".
  std::string Reason() const;
};

}  // namespace kv

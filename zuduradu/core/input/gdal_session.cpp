#include "zuduradu/core/input/gdal_session.h"

#include <cpl_error.h>
#include <gdal.h>
#include <mutex>

namespace kv {

GdalSession::GdalSession() {
  static std::once_flag registered;
  std::call_once(registered, [] { GDALAllRegister(); });
  CPLPushErrorHandler(CPLQuietErrorHandler);
  CPLErrorReset();
}

GdalSession::~GdalSession() { CPLPopErrorHandler(); }

std::string GdalSession::Reason() const {
  const char* message = CPLGetLastErrorMsg();
  return message && *message ? message : "no reason given";
}

}  // namespace kv

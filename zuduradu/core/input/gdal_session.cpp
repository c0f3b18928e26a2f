#include "zuduradu/core/input/gdal_session.h"

#include <cpl_error.h>
#include <gdal.h>
#include <mutex>

#include "zuduradu/core/input/gdal_api.h"

namespace kv {

GdalSession::GdalSession() {
  static std::once_flag registered;
  std::call_once(registered, [] { Gdal().GDALAllRegister(); });
  Gdal().CPLPushErrorHandler(Gdal().CPLQuietErrorHandler);
  Gdal().CPLErrorReset();
}

GdalSession::~GdalSession() { Gdal().CPLPopErrorHandler(); }

std::string GdalSession::Reason() const {
  const char* message = Gdal().CPLGetLastErrorMsg();
  return message && *message ? message : "no reason given";
}

}  // namespace kv

#include "zuduradu/core/input/gdal_session.h"

#include "zuduradu/core/input/gdal_api.h"

namespace kv {

// Gdal() loads the library and registers its drivers once, on its first call.
GdalSession::GdalSession() {
  const GdalApi& gdal = Gdal();
  gdal.CPLPushErrorHandler(gdal.CPLQuietErrorHandler);
  gdal.CPLErrorReset();
}

GdalSession::~GdalSession() { Gdal().CPLPopErrorHandler(); }

std::string GdalSession::Reason() const {
  const char* message = Gdal().CPLGetLastErrorMsg();
  return message && *message ? message : "no reason given";
}

}  // namespace kv

#include "zuduradu/core/input/gdal_api.h"

#include <dlfcn.h>
#include <mutex>
#include <string>

#include "zuduradu/core/error.h"

namespace kv {

const GdalApi& Gdal() {
  static GdalApi api;
  static std::string problem;
  static std::once_flag loaded;
  std::call_once(loaded, [] {
    void* library = ::dlopen(KV_GDAL_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
      const char* why = ::dlerror();
      problem = std::string("Could not load GDAL's library " KV_GDAL_LIBRARY " to read or write rasters") +
                (why ? " (" + std::string(why) + ")" : "") + "; ESRI ASCII grids (.asc) need no GDAL";
      return;
    }
#define KV_GDAL_RESOLVE(name)                                              \
  api.name = reinterpret_cast<decltype(&::name)>(::dlsym(library, #name)); \
  if (!api.name && problem.empty()) problem = "GDAL's library " KV_GDAL_LIBRARY " has no " #name;
    KV_GDAL_FUNCTIONS(KV_GDAL_RESOLVE)
#undef KV_GDAL_RESOLVE
    if (problem.empty()) api.GDALAllRegister();
  });
  if (!problem.empty()) throw Error(ErrorKind::BadRequest, problem);
  return api;
}

}  // namespace kv

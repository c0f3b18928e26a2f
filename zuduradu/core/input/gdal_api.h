// The part of GDAL's C interface kvcvrt calls, loaded from GDAL's library the
// first time a raster needs it. Linking GDAL would load it and the hundred
// libraries it needs at every start of every program, some 80 ms, while most
// runs never read or write a raster. Compiled only where the build has GDAL
// (KV_HAVE_GDAL).
#pragma once

#include <cpl_error.h>
#include <cpl_vsi.h>
#include <gdal.h>

namespace kv {

struct GdalApi {
#define KV_GDAL_FUNCTIONS(X)                                                                                   \
  X(CPLErrorReset)                                                                                             \
  X(CPLGetLastErrorMsg) X(CPLGetLastErrorType) X(CPLPopErrorHandler) X(CPLPushErrorHandler)                    \
  X(CPLQuietErrorHandler) X(GDALAllRegister) X(GDALClose) X(GDALCreate) X(GDALGetDriverByName)                 \
  X(GDALGetRasterBand) X(GDALGetRasterCount) X(GDALGetRasterNoDataValue) X(GDALGetRasterXSize)                 \
  X(GDALGetRasterYSize) X(GDALOpenEx) X(GDALRasterIO) X(GDALSetGeoTransform) X(GDALSetRasterNoDataValue)       \
  X(VSIFree) X(VSIGetMemFileBuffer) X(VSIUnlink)
#define KV_GDAL_POINTER(name) decltype(&::name) name = nullptr;
  KV_GDAL_FUNCTIONS(KV_GDAL_POINTER)
#undef KV_GDAL_POINTER
};

// GDAL's functions, its library loaded and its drivers registered on the first
// call. Throws kv::Error (BadRequest) naming the library when it cannot be loaded.
const GdalApi& Gdal();

}  // namespace kv

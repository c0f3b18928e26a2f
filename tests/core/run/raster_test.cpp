// Rasters as data sets and layers as rasters: what a run stores from an .asc
// or a GeoTIFF, what it refuses, and exports that GDAL's own tools read and
// that convert back to the same bytes.
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "test_support.h"
#include "zuduradu/core/input/open_sets.h"
#include "zuduradu/core/message_text.h"
#include "zuduradu/core/run/conversion.h"
#include "zuduradu/core/run/raster_export.h"

namespace {

using namespace kvtest;

const kv::GridSize kGrid{3, 2, 2};
constexpr const char* kRows = "1.5 -9999 3e-3\n4 5 6.25\n";

// Runs one of GDAL's tools; its standard output, or "" when it failed.
std::string Gdal(const std::string& command, const std::filesystem::path& out) {
  if (std::system((command + " > \"" + out.string() + "\" 2>&1").c_str()) != 0) return "";
  return ReadAll(out);
}

kv::ConversionResult Store(const std::filesystem::path& in, const std::filesystem::path& out,
                           std::optional<float> fill = {}) {
  return kv::RunConversion({{{in, false, 2, 1, 1, fill}}, out, 3, kGrid, true});
}

TEST(RasterInput, StoresTheBytesItsValuesGiveAsMatrixText) {
  kvtest::ScratchDir dir;
  WriteAll(dir / "g.txt", std::string("1\n2 1\n") + kRows);
  WriteAll(dir / "f.txt", "1\n2 1\n1.5 0 3e-3\n4 5 6.25\n");
  kv::RunConversion({{{dir / "g.txt"}}, dir / "text.top", 3, kGrid, true});
  kv::RunConversion({{{dir / "f.txt"}}, dir / "filled.top", 3, kGrid, true});
  WriteAll(dir / "g.asc", std::string("ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n") + kRows);
  std::vector<std::string> rasters = {"g.asc"};
  // Named without its extension, the grid is told by its header.
  std::filesystem::copy_file(dir / "g.asc", dir / "grid");
  rasters.push_back("grid");
  if (kv::HaveGdal()) {
    ASSERT_NE(Gdal("gdal_translate -ot Float32 -of GTiff " + (dir / "g.asc").string() + " " + (dir / "g.tif").string(),
                   dir / "log"),
              "");
    rasters.push_back("g.tif");
  }
  for (const std::string& raster : rasters) {
    for (const std::optional<float> fill : {std::optional<float>(), std::optional<float>(0.0f)}) {
      const kv::ConversionResult r = Store(dir / raster, dir / "r.top", fill);
      EXPECT_EQ(r.filled, fill ? 1 : 0) << raster;
      EXPECT_TRUE(kvtest::SameBytes(ReadAll(dir / "r.top"), ReadAll(dir / (fill ? "filled.top" : "text.top")))) << raster;
    }
  }
}

TEST(RasterInput, RefusesAnotherSizeAndAMissingPlace) {
  kvtest::ScratchDir dir;
  WriteAll(dir / "g.asc", std::string("nrows 2\nncols 3\nxllcorner 0\nyllcorner 0\ncellsize 1\n") + kRows);
  EXPECT_KV_ERROR(kv::RunConversion({{{dir / "g.asc", false, 1, 1, 1, {}}}, dir / "o.top", 3, {4, 2, 1}, true}), BadInput,
                  "Line 2, column 1 of " + kv::PathText(dir / "g.asc") +
                      ": the raster has ncols 3 and nrows 2, but the model's grid has NX 4 and NY 2");
  EXPECT_KV_ERROR(kv::RunConversion({{{dir / "g.asc", false, 1, {}, 1, {}}}, dir / "o.top", 3, kGrid, true}), BadRequest,
                  "is one data set without a layer of its own");
  EXPECT_KV_ERROR(kv::RunConversion({{{dir / "g.asc", false, 1, 1, 2, {}}}, dir / "o.top", 3, kGrid, true}), BadRequest,
                  "band 2 was asked for, but an ESRI ASCII grid has 1 band");
  WriteAll(dir / "t.txt", "1\n1 1\n1 2 3\n4 5 6\n");
  EXPECT_KV_ERROR(kv::RunConversion({{{dir / "t.txt", false, 1, {}, 1, {}}}, dir / "o.top", 3, kGrid, true}), BadRequest,
                  "is matrix text, which brings its own periods and layers");
  EXPECT_FALSE(std::filesystem::exists(dir / "o.top"));
}

TEST(RasterInput, WithoutGdalAGeoTiffIsRefusedPointingToAsciiGrids) {
  kvtest::ScratchDir dir;
  WriteAll(dir / "g.tif", "II*\0");
  const std::string said = kv::WithoutGdal(dir / "g.tif", false).what();
  EXPECT_NE(said.find("This build of kvcvrt has no GDAL, so it cannot read the raster"), std::string::npos) << said;
  EXPECT_NE(said.find("ESRI ASCII grids (.asc) work here"), std::string::npos) << said;
  if (!kv::HaveGdal()) {
    EXPECT_KV_ERROR(Store(dir / "g.tif", dir / "o.top"), BadRequest, said);
  }
}

TEST(RasterExport, WritesRastersThatGdalReadsAndThatConvertBack) {
  kvtest::ScratchDir dir;
  WriteAll(dir / "in.txt", "4\n1 1\n1 2 3\n4 5 6\n1 2\n0.1 -0 1e-45\n9 8 7\n2 1\n7 8 9\n1 2 3.4028235e38\n2 2\n-1 -2 -3\n0 0 1\n");
  kv::RunConversion({{{dir / "in.txt"}}, dir / "a.top", 3, kGrid, true});
  std::vector<std::string> kinds = {"asc"};
  if (kv::HaveGdal()) kinds.push_back("tif");
  for (const std::string& kind : kinds) {
    kv::RasterExportRequest request{{dir / "a.top", kGrid, 3, {}, {}}, {}, (dir / ("p{period}_l{layer}." + kind)).string(),
                                    {100, 200, 5, 10}, -9999.0f};
    const kv::RasterExport done = kv::ExportRasters(request);
    ASSERT_EQ(done.rasters.size(), 4u) << kind;
    for (const kv::ExportedRaster& r : done.rasters) {
      // GDAL's own tools come with GDAL (the Windows build has neither).
      const std::string info = kv::HaveGdal() ? Gdal("gdalinfo " + r.file.string(), dir / "info") : "";
      for (const char* line : {"Size is 3, 2", "Origin = (100.000000000000000,220.000000000000000)",
                               "Pixel Size = (5.000000000000000,-10.000000000000000)", "NoData Value=-9999"}) {
        EXPECT_TRUE(!kv::HaveGdal() || info.find(line) != std::string::npos) << kind << ": " << line << " not in " << info;
      }
      kv::RunConversion({{{r.file, false, r.period, r.layer, 1, {}}}, dir / "b.top", 3, kGrid, r.period == 1 && r.layer == 1});
    }
    EXPECT_TRUE(kvtest::SameBytes(ReadAll(dir / "b.top"), ReadAll(dir / "a.top"))) << kind;
  }
  EXPECT_KV_ERROR(kv::ExportRasters({{dir / "a.top", kGrid, 3, {}, {}}, 1, (dir / "one.asc").string(), {}, {}}),
                  BadRequest, "put {period} into the output's name");
  EXPECT_KV_ERROR(kv::ExportRasters({{dir / "a.top", kGrid, 3, {1}, {}}, 3, (dir / "one.asc").string(), {}, {}}),
                  BadRequest, "has a layer 3");
}

}  // namespace

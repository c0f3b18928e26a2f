// Any bytes as a model description file: the version and grid size are read,
// or the model is refused, never a crash.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "zuduradu/core/model/model_paths.h"
#include "zuduradu/core/model/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("kvcvrt_fuzz_model_" + std::to_string(std::random_device{}()) + ".kv5");
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  kv::Settings settings;
  kv::TakeModelFromDialog(settings, file.string());
  (void)kv::ModelRefusal(settings);
  kv::Settings again;
  kv::TakeModelFromCommandLine(again, file.string());
  return 0;
}

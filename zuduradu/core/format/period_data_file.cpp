#include "zuduradu/core/format/period_data_file.h"

#include <array>
#include <string>
#include <vector>

#include "zuduradu/core/error.h"
#include "zuduradu/core/message_text.h"
#include "zuduradu/core/storage/file_system.h"
#include "zuduradu/core/storage/le_bytes.h"

namespace kv {

PeriodHeader ReadHeader(BinaryFile& file) {
  const std::int64_t length = file.Length();
  if (length < kHeaderBytes) {
    throw Error(ErrorKind::BadOutput, PathText(file.path()) + " is " + std::to_string(length) +
                                          " bytes long, shorter than the " + std::to_string(kHeaderBytes) +
                                          "-byte header of a period data file");
  }
  std::array<unsigned char, kHeaderBytes> bytes{};
  file.ReadAt(0, bytes);
  return DecodeHeader(bytes);
}

void WriteHeader(BinaryFile& file, const PeriodHeader& header) {
  std::array<unsigned char, kHeaderBytes> bytes{};
  EncodeHeader(header, bytes);
  file.WriteAt(0, bytes);
}

void WriteReferenceTable(BinaryFile& file, const PeriodTable& references) {
  std::array<unsigned char, 2 * kPeriodCount> bytes{};
  for (std::size_t i = 0; i < references.size(); ++i) PutInt16(&bytes[2 * i], references[i]);
  file.WriteAt(0, bytes);
}

bool CreateDataFile(const GridSize& grid, const std::filesystem::path& path, float fill, int typeCode) {
  if (FileExists(path)) return false;
  const DataFileLayout layout(grid, typeCode, NewHeader());
  const std::vector<float> layer(static_cast<std::size_t>(CellsPerLayer(grid)), fill);
  BinaryFile file(path, BinaryFile::Mode::CreateEmpty);
  WriteHeader(file, layout.header());
  for (int l = 0; l < layout.layersPerBlock(); ++l) {
    file.WriteFloatsAt(kHeaderBytes + l * layout.layerBytes(), layer);
  }
  file.Close();
  return true;
}

std::string DescribePlaceFailure(PlaceFailure failure, int period, int layer, int layersPerBlock) {
  switch (failure) {
    case PlaceFailure::PeriodOutOfRange:
      return "period " + std::to_string(period) + " is outside 1.." + std::to_string(kPeriodCount);
    case PlaceFailure::LayerOutOfRange:
      return layersPerBlock == 1 && layer > 1
                 ? "layer " + std::to_string(layer) + " cannot be stored: this data type has one layer per period"
                 : "layer " + std::to_string(layer) + " is below 1";
    case PlaceFailure::BlockNumberOverflow:
      return "period " + std::to_string(period) + " would need block number " + std::to_string(kMaxBlockNumber + 1) +
             "; the file holds at most " + std::to_string(kMaxBlockNumber) + " blocks";
    case PlaceFailure::OffsetOutOfRange:
      return "layer " + std::to_string(layer) + " of period " + std::to_string(period) +
             " would begin past byte " + GroupedThousands(kMaxLayerOffset) + ", the largest offset the file can address";
  }
  return {};
}

void WriteLayer(const std::filesystem::path& path, const GridSize& grid, int period, int typeCode, int layer,
                std::span<const float> values) {
  if (static_cast<std::int64_t>(values.size()) != CellsPerLayer(grid)) {
    throw Error(ErrorKind::BadRequest, "a layer of this grid holds " + std::to_string(CellsPerLayer(grid)) +
                                           " values, not " + std::to_string(values.size()));
  }
  const bool fresh = !FileExists(path);
  // Check the placement on the tables before the file is created or changed.
  PeriodHeader header = NewHeader();
  if (!fresh) {
    BinaryFile existing(path, BinaryFile::Mode::Read);
    header = ReadHeader(existing);
  }
  DataFileLayout layout(grid, typeCode, header);
  const auto placed = layout.Place(period, layer);
  if (const auto* failure = std::get_if<PlaceFailure>(&placed)) {
    throw Error(ErrorKind::Unstorable, DescribePlaceFailure(*failure, period, layer, layout.layersPerBlock()),
                ErrorPlace{path, 0, 0, 0, {}}, PathText(path) + " was not changed.");
  }
  if (fresh) CreateDataFile(grid, path, 0.0f, typeCode);
  BinaryFile file(path, BinaryFile::Mode::Update);
  const auto i = static_cast<std::size_t>(period - 1);
  std::array<unsigned char, 2> entry{};
  PutInt16(entry.data(), layout.header().references[i]);
  file.WriteAt(2 * (period - 1), entry);
  if (std::get<Placement>(placed).newBlock) {
    PutInt16(entry.data(), layout.header().blocks[i]);
    file.WriteAt(kBlockTableOffset + 2 * (period - 1), entry);
  }
  file.WriteFloatsAt(std::get<Placement>(placed).offset, values);
  file.Close();
}

PeriodTable LoadPeriodTables(const std::filesystem::path& path) {
  BinaryFile file(path, BinaryFile::Mode::Read);
  return ClassifyPeriods(ReadHeader(file));
}

void WritePeriodReferences(const std::filesystem::path& path, const PeriodTable& classified) {
  BinaryFile file(path, BinaryFile::Mode::Update);
  WriteReferenceTable(file, RebuildReferences(classified));
  file.Close();
}

}  // namespace kv

// The period data file's operations over a path: each opens the file, works on
// it and closes it before returning. Failures are kv::Error.
//
// Layout: bytes 0..1999 the period reference table, 2000..3999 the period block
// table (1000 little-endian int16 each), then the data blocks of little-endian
// float32 values, block b at 4000 + (b-1) * L * NX * NY * 4.
#pragma once

#include <filesystem>
#include <span>

#include "zuduradu/core/format/period_tables.h"
#include "zuduradu/core/grid.h"
#include "zuduradu/core/storage/binary_file.h"

namespace kv {

// Makes a new file whose one block holds L layers of the fill value. Returns false,
// touching nothing, when a file exists already.
bool CreateDataFile(const GridSize& grid, const std::filesystem::path& path, float fill, int typeCode);

// Stores one layer of one period, creating the file (with a zero block) when it
// is missing. The period then names itself; a period without a block gets the
// next block number. A layer the file cannot hold is refused before any byte is
// written.
void WriteLayer(const std::filesystem::path& path, const GridSize& grid, int period, int typeCode, int layer,
                std::span<const float> values);

// Reads both tables and returns the classified reference copy (kOwnData,
// kBorrowedData or kNoBlock per period).
PeriodTable LoadPeriodTables(const std::filesystem::path& path);

// Rewrites the reference table from a classified copy. Nothing else is touched.
void WritePeriodReferences(const std::filesystem::path& path, const PeriodTable& classified);

// Reads the 4000-byte header of an open file; refuses a file shorter than that.
PeriodHeader ReadHeader(BinaryFile& file);
void WriteHeader(BinaryFile& file, const PeriodHeader& header);
void WriteReferenceTable(BinaryFile& file, const PeriodTable& references);

// The message for a layer that a file cannot hold.
std::string DescribePlaceFailure(PlaceFailure failure, int period, int layer, int layersPerBlock);

}  // namespace kv

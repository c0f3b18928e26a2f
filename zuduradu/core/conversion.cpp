#include "zuduradu/core/conversion.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <variant>
#include <vector>

#include "zuduradu/core/binary_file.h"
#include "zuduradu/core/byte_source.h"
#include "zuduradu/core/error.h"
#include "zuduradu/core/layer_writer.h"
#include "zuduradu/core/matrix_reader.h"
#include "zuduradu/core/period_data_file.h"
#include "zuduradu/core/period_tables.h"
#include "zuduradu/core/read_ahead_source.h"

namespace kv {
namespace fs = std::filesystem;

std::filesystem::path PartialPath(const std::filesystem::path& output) {
  fs::path p = output;
  p += ".kvcvrt-partial";
  return p;
}

void CheckGrid(const GridSize& grid, int typeCode) {
  const std::string size =
      std::to_string(grid.nx) + " x " + std::to_string(grid.ny) + " x " + std::to_string(grid.nz);
  if (grid.nx < 1 || grid.ny < 1 || grid.nz < 1 || grid.nx > kInt16Max || grid.ny > kInt16Max ||
      grid.nz > kInt16Max) {
    throw Error(ErrorKind::BadRequest, "The grid size " + size + " (columns x rows x layers) is not usable: each must be 1..32767");
  }
  if (typeCode < 0 || typeCode > 2000) {
    throw Error(ErrorKind::BadRequest, "The type code " + std::to_string(typeCode) + " is outside 0..2000");
  }
  const int layers = LayersPerBlock(typeCode, grid.nz);
  if (!LayerOffset(grid, layers, 1, layers)) {
    throw Error(ErrorKind::BadRequest, "The grid size " + size +
                                           " is too large for a period data file: its first block would pass byte 2,147,483,646");
  }
}

namespace {

// A file written under a temporary name, removed unless it was moved into place.
class PartialFile {
 public:
  explicit PartialFile(fs::path target) : target_(std::move(target)), path_(PartialPath(target_)) {}
  ~PartialFile() {
    if (!placed_) {
      file_.reset();
      std::error_code ec;
      fs::remove(path_, ec);
    }
  }
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;

  BinaryFile& CreateEmpty() {
    file_ = std::make_unique<BinaryFile>(path_, BinaryFile::Mode::CreateEmpty);
    return *file_;
  }
  BinaryFile& CopyOf(const fs::path& source) {
    std::error_code ec;
    fs::copy_file(source, path_, fs::copy_options::overwrite_existing, ec);
    if (ec) throw Error(ErrorKind::Io, "Could not copy " + source.string() + " to " + path_.string() + ": " + ec.message());
    file_ = std::make_unique<BinaryFile>(path_, BinaryFile::Mode::Update);
    return *file_;
  }
  BinaryFile& file() { return *file_; }

  // Closes the file and moves it over the target.
  void PutInPlace() {
    file_->Close();
    file_.reset();
    std::error_code ec;
    if (const int fault = InjectedFault(FileOperation::Replace, target_)) ec.assign(fault, std::generic_category());
    if (!ec) fs::rename(path_, target_, ec);
    if (ec) throw Error(ErrorKind::Io, "Could not replace " + target_.string() + " with " + path_.string() + ": " + ec.message());
    placed_ = true;
  }

 private:
  fs::path target_;
  fs::path path_;
  std::unique_ptr<BinaryFile> file_;
  bool placed_ = false;
};

// The finished header: the tables as the run left them, references rebuilt.
PeriodHeader RebuiltHeader(const PeriodHeader& written) {
  PeriodHeader h = written;
  h.references = RebuildReferences(ClassifyPeriods(written));
  return h;
}

class Run {
 public:
  Run(const ConversionRequest& request, const ProgressCallback& progress)
      : req_(request),
        progress_(progress),
        source_(request.input),
        threads_(request.threads > 0 ? request.threads : MatrixReader::DefaultThreads()),
        // One parsing thread reads ahead on a second one; several read in turns themselves.
        ahead_(threads_ == 1 ? std::make_unique<ReadAheadSource>(source_) : nullptr),
        reader_(ahead_ ? static_cast<ByteSource&>(*ahead_) : source_, request.input,
                request.readChunkBytes > 0 ? request.readChunkBytes : MatrixReader::kDefaultChunkBytes, threads_) {
    status_.inputBytes = source_.length();
    status_.phase = RunPhase::Checking;
  }

  ConversionResult Execute() {
    std::error_code ec;
    if (fs::is_directory(req_.output, ec)) {
      throw Error(ErrorKind::BadOutput, "The output path " + req_.output.string() + " is a folder, not a file");
    }
    const bool present = fs::exists(req_.output, ec);
    if (present && !fs::is_regular_file(req_.output, ec)) {
      throw Error(ErrorKind::BadOutput, "The output path " + req_.output.string() + " is not a regular file");
    }
    if (req_.createNew || !present) return WriteNewFile(present);
    return AppendToFile();
  }

 private:
  // Reads every set in order; stores each placed set through `store`, which reads
  // its values from the reader.
  template <typename Store>
  void ReadSets(DataFileLayout& layout, Store&& store) {
    const int count = reader_.ReadInteger("set count", 0);
    status_.setsTotal = std::max(count, 0);
    const std::int64_t cells = CellsPerLayer(req_.grid);
    for (int s = 1; s <= count; ++s) {
      const int period = reader_.ReadInteger("period", s);
      const FieldLocation periodAt = reader_.lastField();
      const int layer = reader_.ReadInteger("layer", s);
      const FieldLocation layerAt = reader_.lastField();
      if (layer > req_.grid.nz) {
        reader_.SkipValues(cells, s);
        ++result_.skipped;
      } else {
        const auto placed = layout.Place(period, layer);
        if (const auto* failure = std::get_if<PlaceFailure>(&placed)) {
          const bool aboutPeriod = *failure == PlaceFailure::PeriodOutOfRange || *failure == PlaceFailure::BlockNumberOverflow;
          const FieldLocation at = aboutPeriod ? periodAt : layerAt;
          throw Error(ErrorKind::Unstorable, DescribePlaceFailure(*failure, period, layer, layout.layersPerBlock()),
                      ErrorPlace{req_.input, at.line, at.column, s, aboutPeriod ? "period" : "layer"});
        }
        store(std::get<Placement>(placed).offset, s);
        ++result_.stored;
      }
      status_.setsDone = s;
      Report();
    }
  }

  void Report() {
    status_.bytesRead = reader_.bytesRead();
    if (progress_ && !progress_(status_) && status_.phase == RunPhase::Checking) {
      throw Error(ErrorKind::Cancelled, "The conversion was cancelled");
    }
  }

  std::vector<float>& LayerBuffer() {
    layer_.resize(static_cast<std::size_t>(CellsPerLayer(req_.grid)));
    return layer_;
  }

  // Create-new, or no output file yet: stream into a temporary file.
  ConversionResult WriteNewFile(bool present) {
    PartialFile partial(req_.output);
    BinaryFile& file = partial.CreateEmpty();
    DataFileLayout layout(req_.grid, req_.typeCode, NewHeader());
    file.WriteZeros(0, layout.newFileLength());
    LayerWriter writer(file, static_cast<std::size_t>(CellsPerLayer(req_.grid)));
    ReadSets(layout, [&](std::int64_t offset, int set) {
      reader_.ReadValues(writer.Buffer(), set);
      writer.Submit(offset);
    });
    writer.Finish();
    if (result_.stored == 0) {
      // Nothing to store: no file is made, and create-new still removes the old one.
      if (present) {
        std::error_code ec;
        fs::remove(req_.output, ec);
        if (ec) throw Error(ErrorKind::Io, "Could not delete " + req_.output.string() + ": " + ec.message());
      }
      return result_;
    }
    WriteHeader(file, RebuiltHeader(layout.header()));
    partial.PutInPlace();
    result_.rebuilt = true;
    return result_;
  }

  // An existing file: check everything into memory, then write in place.
  ConversionResult AppendToFile() {
    BinaryFile file(req_.output, BinaryFile::Mode::Update);
    const PeriodHeader header = ReadHeader(file);
    const std::int64_t oldLength = file.Length();
    DataFileLayout layout(req_.grid, req_.typeCode, header);
    if (const auto period = FirstUnaddressableBlock(req_.grid, layout.layersPerBlock(), header)) {
      throw Error(ErrorKind::BadOutput,
                  req_.output.string() + " cannot be the period data file of this grid and type: the block number " +
                      std::to_string(header.blocks[static_cast<std::size_t>(*period - 1)]) + " of period " +
                      std::to_string(*period) + " puts its data outside the range the file can address");
    }
    // The checked layers wait in memory, each in a buffer of its own (no growing
    // array that would need twice the room while it moves).
    struct Pending {
      std::int64_t offset;
      std::vector<float> values;
    };
    std::vector<Pending> pending;
    std::size_t heldBytes = 0;
    std::optional<PartialFile> copy;
    const std::size_t cells = static_cast<std::size_t>(CellsPerLayer(req_.grid));
    ReadSets(layout, [&](std::int64_t offset, int set) {
      if (!copy && heldBytes + cells * sizeof(float) > req_.memoryBudgetBytes) {
        // Past the budget: continue on a copy of the file, which replaces it at the end.
        copy.emplace(req_.output);
        BinaryFile& target = copy->CopyOf(req_.output);
        for (const Pending& p : pending) target.WriteFloatsAt(p.offset, p.values);
        std::vector<Pending>().swap(pending);
      }
      if (copy) {
        std::vector<float>& layer = LayerBuffer();
        reader_.ReadValues(layer, set);
        copy->file().WriteFloatsAt(offset, layer);
      } else {
        pending.push_back({offset, std::vector<float>(cells)});
        heldBytes += cells * sizeof(float);
        reader_.ReadValues(pending.back().values, set);
      }
    });
    const PeriodHeader finished = RebuiltHeader(layout.header());
    if (copy) {
      WriteHeader(copy->file(), finished);
      file.Close();
      copy->PutInPlace();
      result_.rebuilt = true;
      return result_;
    }
    status_.phase = RunPhase::Writing;
    touched_ = true;
    // Reserve the room of new blocks first, so a full disk shows before any existing byte changes.
    std::int64_t finalLength = oldLength;
    for (const Pending& p : pending) finalLength = std::max(finalLength, p.offset + layout.layerBytes());
    try {
      file.WriteZeros(oldLength, finalLength);
      file.Flush();
    } catch (const Error&) {
      // No existing byte was changed yet: give the file its old length back.
      try {
        file.Close();
      } catch (const Error&) {
        // Closing flushes what was buffered; whatever it wrote is cut off below.
      }
      std::error_code ec;
      fs::resize_file(req_.output, static_cast<std::uintmax_t>(oldLength), ec);
      touched_ = ec.value() != 0;
      throw;
    }
    for (const Pending& p : pending) file.WriteFloatsAt(p.offset, p.values);
    WriteHeader(file, finished);
    file.Close();
    result_.rebuilt = true;
    Report();
    return result_;
  }

 public:
  bool touched() const { return touched_; }

 private:
  const ConversionRequest& req_;
  const ProgressCallback& progress_;
  FileSource source_;
  int threads_;
  std::unique_ptr<ReadAheadSource> ahead_;
  MatrixReader reader_;
  ConversionProgress status_;
  ConversionResult result_;
  std::vector<float> layer_;
  bool touched_ = false;
};

std::string IntactNote(const fs::path& output, bool present, bool touched) {
  if (touched) return "The output file " + output.string() + " may be partly written.";
  if (present) return "The output file " + output.string() + " was not changed.";
  return "No output file was created.";
}

}  // namespace

ConversionResult RunConversion(const ConversionRequest& request, const ProgressCallback& progress) {
  std::error_code ec;
  const bool present = fs::exists(request.output, ec);
  std::optional<Run> run;
  try {
    CheckGrid(request.grid, request.typeCode);
    run.emplace(request, progress);
    return run->Execute();
  } catch (const Error& e) {
    if (e.kind() == ErrorKind::Cancelled) throw;
    throw e.WithIntact(IntactNote(request.output, present, run && run->touched()));
  }
}

}  // namespace kv

#include "zuduradu/core/run/conversion.h"

#include <algorithm>
#include <array>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <system_error>
#include <unordered_map>
#include <variant>
#include <vector>

#include "zuduradu/core/error.h"
#include "zuduradu/core/format/data_file_info.h"
#include "zuduradu/core/format/period_data_file.h"
#include "zuduradu/core/format/period_tables.h"
#include "zuduradu/core/input/open_sets.h"
#include "zuduradu/core/input/set_stream.h"
#include "zuduradu/core/message_text.h"
#include "zuduradu/core/run/layer_writer.h"
#include "zuduradu/core/run/set_check.h"
#include "zuduradu/core/storage/binary_file.h"
#include "zuduradu/core/storage/file_system.h"
#include "zuduradu/core/storage/journal.h"
#include "zuduradu/core/storage/output_guard.h"
#include "zuduradu/core/storage/replacement_file.h"
#include "zuduradu/core/storage/save_target.h"
#include "zuduradu/core/text/byte_source.h"
#include "zuduradu/core/text/decimal_comma.h"

namespace kv {
namespace fs = std::filesystem;

std::string InputProblem(const std::filesystem::path& input, bool pipesAllowed) {
  std::error_code ec;
  const fs::file_status status = fs::status(input, ec);
  if (input.empty() || !fs::exists(status)) return "Could not find the input file " + PathText(input);
  if (fs::is_regular_file(status) || (pipesAllowed && fs::is_fifo(status))) {
    return FileExists(input) || fs::is_fifo(status) ? "" : "Could not find the input file " + PathText(input);
  }
  return "The input file " + PathText(input) + " is not a regular file";
}

namespace {

// The finished header: the tables as the run left them, references rebuilt.
PeriodHeader RebuiltHeader(const PeriodHeader& written) {
  PeriodHeader h = written;
  h.references = RebuildReferences(ClassifyPeriods(written));
  return h;
}

// Where the output stands when a run ends early; it decides the error's last sentence.
enum class OutputState {
  Untouched,     // no byte of the output changed
  Replaced,      // the new file is in place
  Removed,       // create-new with nothing to store: the old file is gone
  JournalStays,  // the new data is in place, but its journal could not be removed
  RolledBack,    // bytes changed, and the journal put them back
  Journaled,     // bytes changed; the journal left beside the file restores them at the next run
};

// The request's inputs, each opened when its turn comes.
class RequestInputs final : public RunInputs {
 public:
  explicit RequestInputs(const ConversionRequest& request) : request_(request) {}
  std::size_t count() const override { return request_.inputs.size(); }
  const InputSource& source(std::size_t i) const override { return request_.inputs[i]; }
  SetStream& Open(std::size_t i) override {
    open_.reset();
    open_ = OpenSets(request_.inputs[i], ReadOptions{request_.threads, request_.readChunkBytes, request_.grid});
    return open_->sets();
  }
  std::uint64_t bytes() const override {
    std::uint64_t total = 0;
    std::error_code ec;
    for (const InputSource& input : request_.inputs) {
      const auto size = input.fromStdin ? 0 : fs::file_size(input.path, ec);
      if (ec || size == 0) return 0;
      total += static_cast<std::uint64_t>(size);
    }
    return total;
  }

 private:
  const ConversionRequest& request_;
  std::unique_ptr<OpenedInput> open_;
};

// Sets a caller hands over, as the run's one input.
class GivenSets final : public RunInputs {
 public:
  explicit GivenSets(SetStream& sets) : sets_(sets) {}
  std::size_t count() const override { return 1; }
  const InputSource& source(std::size_t) const override { return source_; }
  SetStream& Open(std::size_t) override { return sets_; }
  std::uint64_t bytes() const override { return 0; }

 private:
  SetStream& sets_;
  InputSource source_;
};

// Refuses, before anything is read, inputs that cannot serve: none at all,
// standard input twice, options their kind does not take, a file that is
// missing or is the output itself (one that cannot be read is refused when its
// turn comes, still before anything is written).
void CheckInputs(const ConversionRequest& request, const SaveTarget& output) {
  if (request.inputs.empty()) throw Error(ErrorKind::BadRequest, "No input file was given");
  const auto stdinCount = std::count_if(request.inputs.begin(), request.inputs.end(),
                                        [](const InputSource& input) { return input.fromStdin; });
  if (stdinCount > 1) {
    throw Error(ErrorKind::BadRequest, "Standard input is given " + std::to_string(stdinCount) +
                                           " times, but it can be read only once in a run");
  }
  for (const InputSource& input : request.inputs) {
    CheckInputOptions(input);
    if (input.fromStdin) continue;
    output.RefuseOwnFile(input.path, "input file");
    std::error_code ec;
    const fs::file_status status = fs::status(input.path, ec);
    if (!fs::is_regular_file(status) && !fs::is_fifo(status)) {
      const FileSource open(input.path);  // refuses it with the system's reason
      throw Error(ErrorKind::InputMissing, InputProblem(input.path, true));
    }
  }
}

// The run on its output: a new file, or an append, each checked in full (the
// check phase) before the apply phase changes the output.
class Run : private SetCheck {
 public:
  Run(const ConversionRequest& request, SaveTarget& target, RunInputs& inputs, const ProgressCallback& progress)
      : SetCheck(request, inputs, progress), target_(target.file()) {}

  // Looks at the output under the lock; `present`: whether it exists.
  // `locked`: the identity of the file under the lock, which an append must find open.
  ConversionResult Execute(SaveTarget& target, std::optional<FileIdentity> locked) {
    locked_ = locked;
    target.CheckKind();
    const bool present = target.present();
    if (req_.createNew && present) {
      // Replacing a file needs the same right as changing it.
      BinaryFile probe(target_, BinaryFile::Mode::Update);
      probe.Close();
    }
    if (req_.createNew || !present) return WriteNewFile(present);
    return AppendToFile();
  }

  OutputState state() const { return state_; }

 private:

  // Create-new, or no output file yet: stream into a temporary file.
  ConversionResult WriteNewFile(bool present) {
    ReplacementFile partial(target_, kPartialSuffix, ReplacementFile::Naming::UnderLock);
    BinaryFile& file = partial.CreateEmpty();
    DataFileLayout layout(req_.grid, req_.typeCode, NewHeader());
    LayerWriter writer(file, Cells());  // first: a layer too large for memory is refused before the zeros go out
    file.WriteZeros(0, layout.newFileLength());
    ReadSets(layout, [&](std::int64_t offset, int set) {
      reader().ReadValues(writer.Buffer(), set);
      writer.Submit(offset);
    });
    writer.Finish();
    status_.phase = RunPhase::Writing;
    if (result_.stored == 0) {
      // Nothing to store: no file is made, and create-new still removes the old one.
      if (present) {
        RemoveFile(target_);
        state_ = OutputState::Removed;
        SyncFolderOf(target_);
      }
      return result_;
    }
    WriteHeader(file, RebuiltHeader(layout.header()));
    PutInPlace(partial);
    result_.rebuilt = true;
    return result_;
  }

  void PutInPlace(ReplacementFile& replacement) {
    try {
      replacement.PutInPlace();
    } catch (const Error&) {
      if (replacement.placed()) state_ = OutputState::Replaced;
      throw;
    }
    state_ = OutputState::Replaced;
  }

  // A checked layer waiting in memory, in a buffer of its own (no growing
  // array that would need twice the room while it moves).
  struct Pending {
    std::int64_t offset;
    std::vector<float> values;
  };

  // An existing file: check everything into memory, then write in place under
  // the journal; past the memory budget, into a copy that replaces the file.
  ConversionResult AppendToFile() {
    BinaryFile file(target_, BinaryFile::Mode::Update);
    if (locked_ && file.Ownership().identity != locked_) {
      throw Error(ErrorKind::BadOutput, "Another file took the place of " + PathText(req_.output) +
                                            " while this run locked it; run again to append to the file now there");
    }
    const PeriodHeader header = ReadHeader(file);
    const std::int64_t oldLength = file.Length();
    DataFileLayout layout(req_.grid, req_.typeCode, header);
    RefuseUnaddressableBlocks(layout, header);
    RefuseAnotherGeometrysFile(header, oldLength);
    std::vector<Pending> pending;
    std::optional<ReplacementFile> copy;
    // Only a file of our own is changed in place: a journal is trusted only by
    // the file's owner, so another user's file (root's runs included) goes
    // through a copy, which keeps its owner as far as the system lets us.
    HoldLayers(layout, pending, copy, file.Ownership().owner == os::CurrentUser() ? req_.memoryBudgetBytes : 0);
    const PeriodHeader finished = RebuiltHeader(layout.header());
    status_.phase = RunPhase::Writing;
    if (copy) {
      WriteHeader(copy->file(), finished);
      file.Close();
      PutInPlace(*copy);
    } else {
      WriteInPlace(file, oldLength, pending, finished);
    }
    result_.rebuilt = true;
    Report();
    return result_;
  }

  void RefuseUnaddressableBlocks(const DataFileLayout& layout, const PeriodHeader& header) const {
    if (const auto period = FirstUnaddressableBlock(req_.grid, layout.layersPerBlock(), header)) {
      throw Error(ErrorKind::BadOutput,
                  PathText(req_.output) + " cannot be the period data file of this grid and type: the block number " +
                      std::to_string(header.blocks[static_cast<std::size_t>(*period - 1)]) + " of period " +
                      std::to_string(*period) + " puts its data outside the range the file can address");
    }
  }

  // A file whose blocks or length this grid and type cannot have produced was
  // made for another model or type: appending at this grid's offsets would
  // overwrite its values.
  void RefuseAnotherGeometrysFile(const PeriodHeader& header, std::int64_t length) const {
    RefuseMisfit(DescribeHeader(header, length, FileGeometry{req_.grid, req_.typeCode}), req_.output);
  }

  // Reads every set; the stored layers wait in memory up to the budget. Past
  // it, the run goes on in a copy of the file, which takes the held layers and
  // every later one.
  void HoldLayers(DataFileLayout& layout, std::vector<Pending>& pending, std::optional<ReplacementFile>& copy,
                  std::size_t budget) {
    std::size_t heldBytes = 0;
    const std::size_t cells = Cells();
    std::unordered_map<std::int64_t, std::size_t> held;  // offset -> place in pending
    ReadSets(layout, [&](std::int64_t offset, int set) {
      const auto again = held.find(offset);
      if (!copy && again == held.end() && heldBytes + cells * sizeof(float) > budget) SpillIntoCopy(pending, copy);
      if (copy) {
        layer_.resize(cells);
        reader().ReadValues(layer_, set);
        copy->file().WriteFloatsAt(offset, layer_);
      } else if (again != held.end()) {
        // A layer given twice: the later values replace the earlier ones.
        reader().ReadValues(pending[again->second].values, set);
      } else {
        held.emplace(offset, pending.size());
        pending.push_back({offset, std::vector<float>(cells)});
        heldBytes += cells * sizeof(float);
        reader().ReadValues(pending.back().values, set);
      }
    });
  }

  // Starts the copy of the file and moves the held layers into it; their memory goes.
  void SpillIntoCopy(std::vector<Pending>& pending, std::optional<ReplacementFile>& copy) {
    copy.emplace(target_, kPartialSuffix, ReplacementFile::Naming::UnderLock);
    BinaryFile& target = copy->CopyOf(target_);
    for (const Pending& p : pending) target.WriteFloatsAt(p.offset, p.values);
    std::vector<Pending>().swap(pending);
  }

  // Saves what will be overwritten to the journal, then writes the layers and
  // the header in place, syncs and drops the journal. A failure on the way puts
  // the old bytes back at once when it can; else the journal does at the next run.
  void WriteInPlace(BinaryFile& file, std::int64_t oldLength, const std::vector<Pending>& pending,
                    const PeriodHeader& finished) {
    std::array<unsigned char, kHeaderBytes> header{};
    EncodeHeader(finished, header);
    std::vector<PlannedWrite> writes;
    for (const Pending& p : pending) writes.push_back({p.offset, {}, p.values});
    writes.push_back({0, header, {}});
    WriteJournal(target_, file, oldLength, writes);
    state_ = OutputState::Journaled;
    try {
      ApplyPlannedWrites(file, writes);
      file.Sync();
      file.Close();
    } catch (const Error&) {
      try {
        file.Close();
      } catch (const Error&) {
        // What the close could not write is put back by the rollback all the same.
      }
      try {
        if (RollBackInterruptedRun(target_, JournalTrust::OwnRun)) state_ = OutputState::RolledBack;
      } catch (const Error&) {
        // The journal stays and the next command rolls the file back.
      }
      throw;
    }
    try {
      DropJournal(target_);
    } catch (const Error&) {
      // The file holds the new data, synced; what is left to say is whether the journal went.
      state_ = JournalPresent(target_) ? OutputState::JournalStays : OutputState::Replaced;
      throw;
    }
    state_ = OutputState::Replaced;
  }

  fs::path target_;
  std::optional<FileIdentity> locked_;
  std::vector<float> layer_;
  OutputState state_ = OutputState::Untouched;
};

// What is true of the output after a run that failed in `state`.
std::string IntactNote(SaveTarget& target, OutputState state) {
  const fs::path& output = target.output();
  const bool present = target.present();
  const std::string file = "The output file " + PathText(output);
  const fs::path journal = JournalPath(FollowLinks(output));
  switch (state) {
    case OutputState::Replaced:
      return file + " holds the new data, but the system has not confirmed that the change is on the disk: after a "
                    "power cut it may " + (present ? "hold the old data." : "be missing.");
    case OutputState::Removed:
      return file + " was removed (there was nothing to store), but the system has not confirmed that the removal "
                    "is on the disk: after a power cut it may be back.";
    case OutputState::JournalStays:
      return file + " holds the new data, but its journal " + PathText(journal) +
             " could not be removed: the next command that opens the file rolls it back to the data it held before "
             "this run. Remove the journal to keep the new data.";
    case OutputState::Journaled:
      if (!JournalPresent(FollowLinks(output))) {
        return file + " may be partly written, and no journal is left to restore it.";
      }
      return file + " may be partly written; the journal " + PathText(journal) + " restores it at the next run.";
    case OutputState::RolledBack:
    case OutputState::Untouched:
      break;
  }
  return target.NotChangedNote();
}

// The run around its input: the guard (lock, rollback of an interrupted run,
// clean-up of what a killed run left) and the note of what stayed intact.
// `check` refuses inputs that cannot serve once the output has been looked at.
template <typename CheckInputs>
ConversionResult GuardedRun(const ConversionRequest& request, RunInputs& inputs, const ProgressCallback& progress,
                            CheckInputs&& check) {
  SaveTarget output(request.output, SaveTarget::Kind::DataFile);
  const fs::path target = output.file();
  output.Look();
  std::optional<Run> run;
  std::string rolledBack;
  bool guarding = false;  // while the lock is taken and an interrupted run rolled back
  try {
    CheckGrid(request.grid, request.typeCode);
    output.CheckKind();  // a folder or device is refused before its lock file is made beside it
    output.RefuseOwnFile(request.model, "model file");
    check(output);
    run.emplace(request, output, inputs, progress);
    ConversionProgress waiting;
    waiting.phase = RunPhase::Waiting;
    waiting.output = PathText(request.output);
    LockWait wait{request.lockWait, {}};
    if (progress) wait.waiting = [&] { return progress(waiting); };
    guarding = true;
    const OutputGuard guard(target, LockKind::Exclusive, wait);
    guarding = false;
    if (guard.rolledBack()) rolledBack = RolledBackNote(request.output);
    ConversionResult result = run->Execute(output, guard.lockedFile());
    if (!rolledBack.empty()) result.warnings.insert(result.warnings.begin(), rolledBack);
    return result;
  } catch (const Error& e) {
    if (e.kind() == ErrorKind::Cancelled) throw;
    std::string note = IntactNote(output, run ? run->state() : OutputState::Untouched);
    // The rollback of an interrupted run failed, perhaps half-way: its journal stays.
    if (guarding && e.kind() != ErrorKind::Busy && JournalPresent(target)) {
      note = "No data of this run was stored; the journal " + PathText(JournalPath(target)) + " is still beside the file.";
    }
    throw e.WithIntact(rolledBack.empty() ? note : rolledBack + " " + note);
  } catch (const std::bad_alloc&) {
    // Layers are held whole (two at a time while one is written), so a large grid can ask for more than there is.
    const std::string note = IntactNote(output, run ? run->state() : OutputState::Untouched);
    throw Error(ErrorKind::BadRequest,
                "There is not enough memory for layers of NX x NY = " + GroupedThousands(CellsPerLayer(request.grid)) +
                    " values (" + GroupedThousands(CellsPerLayer(request.grid) * 4) + " bytes each)",
                {}, rolledBack.empty() ? note : rolledBack + " " + note);
  }
}

}  // namespace

ConversionResult RunConversion(const ConversionRequest& request, const ProgressCallback& progress) {
  RequestInputs inputs(request);
  return GuardedRun(request, inputs, progress, [&](const SaveTarget& output) { CheckInputs(request, output); });
}

ConversionResult RunConversionFrom(const ConversionRequest& request, SetStream& sets, const ProgressCallback& progress) {
  GivenSets inputs(sets);
  return GuardedRun(request, inputs, progress, [](const SaveTarget&) {});
}

}  // namespace kv

// The check phase of a conversion run: every data set of the input read in
// order, checked and placed in the file's layout before the run applies it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <variant>

#include "zuduradu/core/error.h"
#include "zuduradu/core/format/period_data_file.h"
#include "zuduradu/core/format/period_tables.h"
#include "zuduradu/core/grid.h"
#include "zuduradu/core/input/input_source.h"
#include "zuduradu/core/input/set_stream.h"
#include "zuduradu/core/message_text.h"
#include "zuduradu/core/run/conversion.h"
#include "zuduradu/core/run/shape_notes.h"
#include "zuduradu/core/text/decimal_comma.h"

namespace kv {

// The inputs of a run in order, each opened as a stream of sets when its turn
// comes (the one before it is closed by then).
class RunInputs {
 public:
  virtual ~RunInputs() = default;
  virtual std::size_t count() const = 0;
  virtual const InputSource& source(std::size_t i) const = 0;
  virtual SetStream& Open(std::size_t i) = 0;
  // Their lengths together for progress; 0 when one is not known.
  virtual std::uint64_t bytes() const = 0;
};

// The check phase: reads every set of every input in order, checks it and
// places it in the file's layout, and hands its values on; counts what it
// stored and skipped, reports progress, and warns of what follows the last set.
class SetCheck {
 protected:
  SetCheck(const ConversionRequest& request, RunInputs& inputs, const ProgressCallback& progress)
      : req_(request), progress_(progress), inputs_(inputs) {
    status_.inputBytes = inputs.bytes();
    status_.phase = RunPhase::Checking;
  }

  // Reads every set in order; stores each placed set through `store`, which reads
  // its values from reader().
  template <typename Store>
  void ReadSets(DataFileLayout& layout, Store&& store) {
    for (std::size_t i = 0; i < inputs_.count(); ++i) {
      input_ = &inputs_.source(i);
      reader_ = &inputs_.Open(i);
      ReadSetsOfInput(layout, store);
      result_.filled += reader_->filledCells();
      setsBefore_ = status_.setsDone;
      bytesBefore_ += reader_->bytesRead();
    }
  }

  template <typename Store>
  void ReadSetsOfInput(DataFileLayout& layout, Store& store) {
    const std::int64_t cells = CellsPerLayer(req_.grid);
    reader_->TrackLineShapes(req_.grid.nx, cells);
    skipped_ = 0;
    int count = 0;
    int s = 0;
    try {
      count = reader_->ReadInteger("set count", 0);
      status_.setsTotal = setsBefore_ + std::max(count, 0);
      for (s = 1; s <= count; ++s) {
        const int period = reader_->ReadInteger("period", s);
        const FieldLocation periodAt = reader_->lastField();
        const int layer = reader_->ReadInteger("layer", s);
        const FieldLocation layerAt = reader_->lastField();
        if (layer > req_.grid.nz) {
          if (req_.strict) RefuseSkippedSet(layer, s, layerAt);
          reader_->SkipValues(cells, s);
          NoteSkippedSet(layer, s, layerAt);
        } else {
          const auto placed = layout.Place(period, layer);
          if (const auto* failure = std::get_if<PlaceFailure>(&placed)) {
            const bool aboutPeriod = *failure == PlaceFailure::PeriodOutOfRange || *failure == PlaceFailure::BlockNumberOverflow;
            const FieldLocation at = aboutPeriod ? periodAt : layerAt;
            throw Error(ErrorKind::Unstorable, DescribePlaceFailure(*failure, period, layer, layout.layersPerBlock()),
                        ErrorPlace{Name(), at.line, at.column, s, aboutPeriod ? "period" : "layer"});
          }
          store(std::get<Placement>(placed).offset, s);
          ++result_.stored;
        }
        status_.setsDone = setsBefore_ + s;
        Report();
      }
    } catch (const Error& e) {
      throw Explained(e, s);
    }
    WarnOfSkippedSets();
    WarnOfOtherWidth();
    WarnOfLeftOverFields(count);
  }

  SetStream& reader() { return *reader_; }
  // The input being read, as messages name it.
  const std::filesystem::path& Name() const { return input_->path; }

  // A header field that breaks (no whole number, layer or period 0) or an
  // early end most often means that a set before it held more or fewer values
  // than the grid gives it; where regular lines broke, their line says which.
  // Decimal commas break headers too.
  Error Explained(const Error& e, int set) const {
    const std::string& field = e.place().field;
    const bool header = field == "period" || field == "layer" || field == "set count";
    const bool ends = e.problem().rfind("the file ends", 0) == 0;
    if ((e.kind() != ErrorKind::BadInput && e.kind() != ErrorKind::Unstorable) || (!header && !ends)) return e;
    std::string what = e.problem();
    const ShapeBreak* broken = FirstBreak();
    if (broken) {
      what += "; " + ShapeBreakNote(*broken, req_.grid);
    } else if (header && !ends && set >= 2 && e.kind() == ErrorKind::BadInput) {
      what += "; data set " + std::to_string(set - 1) + " may hold more or fewer values than NX x NY = " +
              std::to_string(req_.grid.nx) + " x " + std::to_string(req_.grid.ny) + " = " +
              std::to_string(CellsPerLayer(req_.grid)) + ", and the grid size may not match the file";
    }
    if (header && !input_->fromStdin) what += DecimalCommaHint(Name());
    return Error(e.kind(), what, e.place(), e.intact());
  }

  const ShapeBreak* FirstBreak() const {
    const LineShape* shapes = reader_->lineShapes();
    return shapes && shapes->firstBreak().set > 0 ? &shapes->firstBreak() : nullptr;
  }

  // Sets written for another grid, by the look of their lines.
  void WarnOfOtherWidth() {
    const LineShape* shapes = reader_->lineShapes();
    if (!shapes || shapes->otherWidth().set == 0) return;
    Warn(OtherWidthWarning(shapes->otherWidth(), req_.grid, Name()));
  }

  void NoteSkippedSet(int layer, int set, const FieldLocation& at) {
    ++result_.skipped;
    if (skipped_++ == 0) firstSkipped_ = {set, layer, at.line};
  }

  // Skipped sets are told as one warning, worded for every caller alike.
  void WarnOfSkippedSets() {
    if (skipped_ == 0) return;
    const std::string line = firstSkipped_.line > 0 ? ", line " + std::to_string(firstSkipped_.line) : "";
    result_.warnings.push_back(
        PathText(Name()) + ": " + Counted(skipped_, "data set was", "data sets were") +
        " skipped, as " + std::string(ForCount(skipped_, "its layer is", "their layers are")) +
        " above NZ = " + std::to_string(req_.grid.nz) + "; " + std::string(ForCount(skipped_, "it is", "the first is")) + " data set " + std::to_string(firstSkipped_.set) +
        " (layer " + std::to_string(firstSkipped_.layer) + line + ")");
  }

  void Warn(const std::string& warning) {
    if (req_.strict) throw Error(ErrorKind::BadInput, "Refused in strict mode: " + warning);
    result_.warnings.push_back(warning);
  }

  // What follows the last announced set is never read as data, but the user
  // is told: a set count or grid that is too small, or decimal commas, show here.
  void WarnOfLeftOverFields(int count) {
    const LeftOverFields left = reader_->CountLeftOverFields();
    if (left.fields == 0) return;
    const ShapeBreak* broken = FirstBreak();
    Warn(PathText(Name()) + ": " + Counted(left.fields, "field follows", "fields follow") + " the last of the " +
         DataSetCount(std::max(count, 0)) + " the file announces, from line " + std::to_string(left.firstLine) +
         " on; " + std::string(ForCount(left.fields, "it was", "they were")) +
         " not read. If this is data, check the set count, the grid size (" + std::to_string(CellsPerLayer(req_.grid)) +
         " values a set) and that decimals are written with a point" +
         (broken ? "; " + ShapeBreakNote(*broken, req_.grid) : "") +
         (input_->fromStdin ? "" : DecimalCommaHint(Name())));
  }

  void RefuseSkippedSet(int layer, int set, const FieldLocation& at) const {
    throw Error(ErrorKind::Unstorable,
                "layer " + std::to_string(layer) + " is above NZ = " + std::to_string(req_.grid.nz) +
                    ": the set would be skipped, which strict mode refuses. Check the layer or the model's NZ",
                ErrorPlace{Name(), at.line, at.column, set, "layer"});
  }

  void Report() {
    status_.bytesRead = bytesBefore_ + reader_->bytesRead();
    if (progress_ && !progress_(status_) && status_.phase == RunPhase::Checking) {
      throw Error(ErrorKind::Cancelled, "The conversion was cancelled");
    }
  }

  std::size_t Cells() const { return static_cast<std::size_t>(CellsPerLayer(req_.grid)); }

  const ConversionRequest& req_;
  const ProgressCallback& progress_;
  RunInputs& inputs_;
  const InputSource* input_ = nullptr;
  SetStream* reader_ = nullptr;
  int setsBefore_ = 0;              // sets of the inputs before this one
  std::uint64_t bytesBefore_ = 0;   // their bytes
  int skipped_ = 0;                 // sets of this input skipped
  ConversionProgress status_;
  ConversionResult result_;
  struct {
    int set = 0;
    int layer = 0;
    std::int64_t line = 0;
  } firstSkipped_;
};

}  // namespace kv

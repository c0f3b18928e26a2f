// The check phase of a conversion run: every data set of the input read in
// order, checked and placed in the file's layout before the run applies it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <variant>

#include "zuduradu/core/error.h"
#include "zuduradu/core/format/period_data_file.h"
#include "zuduradu/core/format/period_tables.h"
#include "zuduradu/core/grid.h"
#include "zuduradu/core/message_text.h"
#include "zuduradu/core/run/conversion.h"
#include "zuduradu/core/text/decimal_comma.h"
#include "zuduradu/core/input/set_stream.h"

namespace kv {

// The check phase: reads every set in order, checks it and places it in the
// file's layout, and hands its values on; counts what it stored and skipped,
// reports progress, and warns of what follows the last set.
class SetCheck {
 protected:
  // `sets` is the input; `inputBytes` its length for progress (0 when unknown).
  SetCheck(const ConversionRequest& request, SetStream& sets, std::uint64_t inputBytes,
           const ProgressCallback& progress)
      : req_(request), progress_(progress), reader_(sets) {
    status_.inputBytes = inputBytes;
    status_.phase = RunPhase::Checking;
  }

  // Reads every set in order; stores each placed set through `store`, which reads
  // its values from the reader.
  template <typename Store>
  void ReadSets(DataFileLayout& layout, Store&& store) {
    const int count = reader_.ReadInteger("set count", 0);
    status_.setsTotal = std::max(count, 0);
    const std::int64_t cells = CellsPerLayer(req_.grid);
    for (int s = 1; s <= count; ++s) {
      const int period = ReadSetField("period", s);
      const FieldLocation periodAt = reader_.lastField();
      const int layer = ReadSetField("layer", s);
      const FieldLocation layerAt = reader_.lastField();
      if (layer > req_.grid.nz) {
        if (req_.strict) RefuseSkippedSet(layer, s, layerAt);
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
    WarnOfLeftOverFields(count);
  }

  // A period or layer that is no whole number right after a data set most
  // often means that the set held more values than the grid gives it.
  int ReadSetField(const char* field, int set) {
    try {
      return reader_.ReadInteger(field, set);
    } catch (const Error& e) {
      if (set < 2 || e.kind() != ErrorKind::BadInput || e.problem().rfind("the file ends", 0) == 0) throw;
      throw Error(e.kind(),
                  e.problem() + "; data set " + std::to_string(set - 1) + " may hold more values than NX x NY = " +
                      std::to_string(req_.grid.nx) + " x " + std::to_string(req_.grid.ny) + " = " +
                      std::to_string(CellsPerLayer(req_.grid)) + ", and the grid size may not match the file",
                  e.place());
    }
  }

  // What follows the last announced set is never read as data, but the user
  // is told: a set count or grid that is too small, or decimal commas, show here.
  void WarnOfLeftOverFields(int count) {
    const LeftOverFields left = reader_.CountLeftOverFields();
    if (left.fields == 0) return;
    const std::string warning =
        PathText(req_.input) + ": " + Counted(left.fields, "field follows", "fields follow") +
        " the last of the " + DataSetCount(std::max(count, 0)) + " the file announces, from line " +
        std::to_string(left.firstLine) + " on; " + std::string(ForCount(left.fields, "it was", "they were")) +
        " not read. If this is data, check the set count, the grid size (" + std::to_string(CellsPerLayer(req_.grid)) +
        " values a set) and that decimals are written with a point";
    if (req_.strict) {
      const std::string hint = req_.inputFromStdin ? "" : DecimalCommaHint(req_.input);
      throw Error(ErrorKind::BadInput, "Refused in strict mode: " + warning + hint);
    }
    result_.warnings.push_back(warning);
  }

  void RefuseSkippedSet(int layer, int set, const FieldLocation& at) const {
    throw Error(ErrorKind::Unstorable,
                "layer " + std::to_string(layer) + " is above NZ = " + std::to_string(req_.grid.nz) +
                    ": the set would be skipped, which strict mode refuses. Check the layer or the model's NZ",
                ErrorPlace{req_.input, at.line, at.column, set, "layer"});
  }

  void Report() {
    status_.bytesRead = reader_.bytesRead();
    if (progress_ && !progress_(status_) && status_.phase == RunPhase::Checking) {
      throw Error(ErrorKind::Cancelled, "The conversion was cancelled");
    }
  }

  std::size_t Cells() const { return static_cast<std::size_t>(CellsPerLayer(req_.grid)); }

  const ConversionRequest& req_;
  const ProgressCallback& progress_;
  SetStream& reader_;
  ConversionProgress status_;
  ConversionResult result_;
};

}  // namespace kv

// A run of the core as the Python module makes it: without the GIL, with the
// user's progress callback and Ctrl-C looked at on every report, and the first
// Python exception raised once the run has stopped.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <string>
#include <type_traits>
#include <utility>

#include "zuduradu/core/error.h"
#include "zuduradu/core/message_text.h"
#include "zuduradu/core/run/conversion.h"

namespace kvpy {

namespace py = pybind11;
namespace fs = std::filesystem;

inline const char* PhaseName(kv::RunPhase phase) {
  switch (phase) {
    case kv::RunPhase::Waiting:
      return "waiting";
    case kv::RunPhase::Checking:
      return "checking";
    case kv::RunPhase::Writing:
      return "writing";
  }
  return "";
}

// The run's progress callback. The run works without the GIL; each report takes
// it, looks for Ctrl-C (a pending signal handler that raises cancels the run
// while it still may be cancelled) and calls the user's callback, whose False
// cancels as well. The first Python exception is kept to be raised after the run.
class Progress {
 public:
  explicit Progress(py::object callback) : callback_(std::move(callback)) {}

  kv::ProgressCallback Callback() {
    return [this](const kv::ConversionProgress& p) { return Report(p); };
  }

  // For commands that only read: looks for Ctrl-C while they wait for a run
  // that holds the file.
  kv::LockWait Wait() {
    return {std::chrono::minutes(5), [this] {
              py::gil_scoped_acquire gil;
              return CheckSignals();
            }};
  }

  // For a run that completed although an exception came while it wrote (when it
  // may no longer stop), or a Ctrl-C is still pending: raises that exception, saying so in a note and carrying
  // the run's result as its attribute `result`.
  void RaiseKeptAfterCompletion(const py::dict& result) {
    CheckSignals();  // a Ctrl-C that came after the last report
    if (!kept_) return;
    const py::object error = kept_->value();
    const std::string note = "kvcvrt: the run completed before this took effect: " +
                             result["output"].cast<std::string>() + " holds the new data (" +
                             kv::DataSetCount(result["stored"].cast<int>()) + " stored); the result is in .result";
    try {
      if (py::hasattr(error, "add_note")) error.attr("add_note")(note);
      error.attr("result") = result;
    } catch (py::error_already_set&) {
      // An exception that takes no attributes is raised as it came.
    }
    RaiseKept();
  }

  // Raises the kept exception, if any.
  void RaiseKept() {
    if (kept_) {
      std::unique_ptr<py::error_already_set> kept = std::move(kept_);
      kept->restore();
      throw py::error_already_set();
    }
  }

 private:
  // With the GIL held: false, keeping the exception, when a signal handler raised.
  bool CheckSignals() {
    if (kept_) return false;
    if (PyErr_CheckSignals() != 0) {
      kept_ = std::make_unique<py::error_already_set>();
      return false;
    }
    return true;
  }

  bool Report(const kv::ConversionProgress& p) {
    py::gil_scoped_acquire gil;
    if (!CheckSignals()) return false;
    if (callback_.is_none()) return true;
    try {
      py::dict report;
      report["phase"] = PhaseName(p.phase);
      report["sets_done"] = p.setsDone;
      report["sets_total"] = p.setsTotal;
      report["bytes_read"] = p.bytesRead;
      report["input_bytes"] = p.inputBytes;
      report["output"] = p.output;
      const py::object answer = callback_(report);
      return !(py::isinstance<py::bool_>(answer) && !answer.cast<bool>());
    } catch (py::error_already_set& e) {
      kept_ = std::make_unique<py::error_already_set>(std::move(e));
      return false;
    }
  }

  py::object callback_;
  std::unique_ptr<py::error_already_set> kept_;
};

inline py::dict ResultDict(const kv::ConversionResult& result, const fs::path& output) {
  py::dict d;
  d["stored"] = result.stored;
  d["skipped"] = result.skipped;
  d["rebuilt"] = result.rebuilt;
  d["filled"] = result.filled;
  d["warnings"] = result.warnings;
  d["output"] = kv::PathText(output);
  return d;
}

// Runs a command of the core without the GIL; one cancelled for a Python
// exception (Ctrl-C, an error in the callback) raises that exception instead.
// With `completed`, an exception that came too late to cancel is raised once
// the run's result is known (it may not be lost: the file holds it).
template <typename Run>
auto WithoutGil(Progress& progress, Run&& run, const fs::path* completed = nullptr) {
  std::optional<decltype(run())> result;
  try {
    py::gil_scoped_release released;
    result = run();
  } catch (const kv::Error& e) {
    if (e.kind() == kv::ErrorKind::Cancelled) progress.RaiseKept();
    throw;
  }
  if constexpr (std::is_same_v<decltype(run()), kv::ConversionResult>) {
    if (completed) progress.RaiseKeptAfterCompletion(ResultDict(*result, *completed));
  }
  progress.RaiseKept();
  return std::move(*result);
}

}  // namespace kvpy

// One conversion run on a worker thread, so that the window keeps painting. The
// job reports progress and its end through signals delivered on the window's
// thread.
#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <string>

#include "zuduradu/core/error.h"
#include "zuduradu/core/run/conversion.h"

class QThread;

namespace kv::ui {

// How a run ended.
struct JobOutcome {
  enum class Kind { Done, Failed, Cancelled };
  Kind kind = Kind::Done;
  kv::ConversionResult result;  // Done
  std::string message;          // Failed: a whole sentence for the user
};

class ConversionJob : public QObject {
  Q_OBJECT

 public:
  using Runner = std::function<kv::ConversionResult(const kv::ConversionRequest&, const kv::ProgressCallback&)>;

  explicit ConversionJob(Runner runner, QObject* parent = nullptr);
  // A job still running is asked to cancel and waited for.
  ~ConversionJob() override;

  bool running() const { return thread_ != nullptr; }

  // Starts the run; ignored while one is running.
  void start(kv::ConversionRequest request);

  // Asks the run to stop. It stops only while it is still checking the input.
  void cancel() { cancel_ = true; }

 signals:
  void progressed(const kv::ConversionProgress& progress);
  void finished(const kv::ui::JobOutcome& outcome);

 private:
  void work(const kv::ConversionRequest& request);
  void threadFinished();

  Runner runner_;
  QThread* thread_ = nullptr;
  std::atomic<bool> cancel_{false};
  JobOutcome outcome_;  // written by the worker, read after it ended
};

}  // namespace kv::ui

Q_DECLARE_METATYPE(kv::ConversionProgress)

#include "zuduradu/ui/conversion_job.h"

#include <QThread>
#include <chrono>

namespace kv::ui {

namespace {

// Progress reaches the window at most this often; a run of many small data sets
// would otherwise flood its event queue.
constexpr auto kProgressInterval = std::chrono::milliseconds(40);

}  // namespace

ConversionJob::ConversionJob(Runner runner, QObject* parent) : QObject(parent), runner_(std::move(runner)) {
  qRegisterMetaType<kv::ConversionProgress>();
}

ConversionJob::~ConversionJob() {
  if (thread_ == nullptr) return;
  cancel_ = true;
  thread_->wait();
  delete thread_;
}

void ConversionJob::start(kv::ConversionRequest request) {
  if (thread_ != nullptr) return;
  cancel_ = false;
  outcome_ = {};
  thread_ = QThread::create([this, request = std::move(request)] { work(request); });
  // Queued: the thread object belongs to this thread, the signal comes from the worker.
  connect(thread_, &QThread::finished, this, &ConversionJob::threadFinished, Qt::QueuedConnection);
  thread_->start();
}

void ConversionJob::work(const kv::ConversionRequest& request) {
  auto last = std::chrono::steady_clock::now() - kProgressInterval;
  kv::RunPhase lastPhase = kv::RunPhase::Checking;
  const kv::ProgressCallback progress = [&](const kv::ConversionProgress& p) {
    const auto now = std::chrono::steady_clock::now();
    if (now - last >= kProgressInterval || p.phase != lastPhase) {
      last = now;
      lastPhase = p.phase;
      emit progressed(p);
    }
    return !cancel_.load();
  };
  try {
    outcome_.result = runner_(request, progress);
    outcome_.kind = JobOutcome::Kind::Done;
  } catch (const kv::Error& e) {
    outcome_.kind = e.kind() == kv::ErrorKind::Cancelled ? JobOutcome::Kind::Cancelled : JobOutcome::Kind::Failed;
    outcome_.message = e.what();
  } catch (const std::exception& e) {
    outcome_.kind = JobOutcome::Kind::Failed;
    outcome_.message = std::string("The conversion failed: ") + e.what() + ".";
  } catch (...) {
    outcome_.kind = JobOutcome::Kind::Failed;
    outcome_.message = "The conversion failed for a reason the program does not know.";
  }
}

void ConversionJob::threadFinished() {
  thread_->wait();
  delete thread_;
  thread_ = nullptr;
  emit finished(outcome_);
}

}  // namespace kv::ui

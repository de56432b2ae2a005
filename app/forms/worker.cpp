#include "app/forms/worker.h"

#include <QMetaObject>
#include <QPointer>

Worker::Worker(QObject* parent) : QObject(parent) {}

Worker::~Worker() {
  Stop();
  Wait();
  delete thread_;
}

bool Worker::Start(Job job) {
  if (busy_) return false;
  if (thread_) {
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
  }
  stop_ = std::make_shared<std::atomic<bool>>(false);
  auto control = std::make_shared<Control>(this, stop_);
  thread_ = QThread::create([job = std::move(job), control] { job(*control); });
  // Emitted on the worker thread after the job, so it is queued behind
  // everything the job posted.
  connect(thread_, &QThread::finished, this, &Worker::Ended, Qt::QueuedConnection);
  busy_ = true;
  thread_->start();
  return true;
}

void Worker::Stop() {
  if (busy_) stop_->store(true);
}

void Worker::Wait() {
  if (thread_) thread_->wait();
}

void Worker::Ended() {
  if (!busy_) return;
  busy_ = false;
  const bool stopped = stop_->load();
  emit Finished(stopped);
}

void Worker::Control::Post(std::function<void()> call) {
  QMetaObject::invokeMethod(owner_, std::move(call), Qt::QueuedConnection);
}

void Worker::Control::SetMax(uint32_t last) {
  max_ = last;
  Pos = 0;
  // The bar turns to per cent at once, before the first effect reports.
  percent_ = 0;
  Worker* owner = owner_;
  Post([owner] { emit owner->Progress(-1, -1, 0); });
}

bool Worker::Control::SetPos(uint32_t pos) {
  Pos = pos;
  const int32_t percent = max_ == 0 ? 100 : static_cast<int32_t>(static_cast<uint64_t>(pos) * 100 / max_);
  // One message per per cent, however often an effect reports.
  if (percent != percent_) {
    percent_ = percent;
    Worker* owner = owner_;
    Post([owner, percent] { emit owner->Progress(-1, -1, percent); });
  }
  return !stop_->load();
}

void Worker::Control::Step(int32_t done, int32_t total) {
  percent_ = -1;
  Worker* owner = owner_;
  Post([owner, done, total] { emit owner->Progress(done, total, -1); });
}

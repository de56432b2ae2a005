#pragma once
#include <QObject>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>

#include "app/forms/jobs.h"

// Runs one job at a time on a thread of its own. The window's thread only
// starts jobs and takes what they post: posted calls run on the window's
// thread in the order they were posted, and Finished comes after all of them.
class Worker : public QObject {
  Q_OBJECT
public:
  class Control;
  using Job = std::function<void(Control&)>;

  explicit Worker(QObject* parent = nullptr);
  // Asks a running job to stop and waits for it.
  ~Worker() override;

  // False (and the job is not run) while another job runs: more work is
  // refused, never queued.
  bool Start(Job job);
  bool Busy() const { return busy_; }
  // Asks the running job to stop; it ends at its next check, keeping what it
  // made and posted.
  void Stop();
  bool StopAsked() const { return stop_->load(); }
  // Blocks until the running job has ended (its posted calls still come later).
  void Wait();

  // Handed to the job on the worker thread.
  class Control : public JobControl {
  public:
    Control(Worker* owner, std::shared_ptr<std::atomic<bool>> stop) : owner_(owner), stop_(std::move(stop)) {}
    bool StopRequested() const override { return stop_->load(); }
    void SetMax(uint32_t last) override;
    bool SetPos(uint32_t pos) override;
    void Step(int32_t done, int32_t total) override;
    // Runs call on the window's thread, after everything posted before it.
    void Post(std::function<void()> call);

  private:
    Worker* owner_;
    std::shared_ptr<std::atomic<bool>> stop_;
    uint32_t max_ = 0;
    int32_t percent_ = -1;
  };

signals:
  // done of total textures; percent of one large render, or -1.
  void Progress(int done, int total, int percent);
  void Finished(bool stopped);

private:
  void Ended();

  QThread* thread_ = nullptr;
  bool busy_ = false;
  std::shared_ptr<std::atomic<bool>> stop_ = std::make_shared<std::atomic<bool>>(false);
};

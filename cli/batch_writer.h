#pragma once
// Writes a batch's files on a thread of its own while the next textures are
// made, in the order they were queued, and makes the new files durable with
// one sync at the end instead of one per file (a file that replaces an
// existing one is still synced before its rename).
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class BatchWriter {
public:
  // A job writes one texture's files; false with a message.
  using Job = std::function<bool(std::string& error)>;

  BatchWriter();
  BatchWriter(const BatchWriter&) = delete;
  BatchWriter& operator=(const BatchWriter&) = delete;
  ~BatchWriter();

  // Queues a job, waiting while a few are queued already; false (the job is
  // dropped) once a job has failed.
  bool Add(Job job);
  // Waits for every queued job and syncs what was written; false with the
  // first failure's message.
  bool Finish(std::string& error);

private:
  void Run();

  static constexpr size_t kDepth = 4;
  std::mutex Mutex;
  std::condition_variable Changed;
  std::deque<Job> Jobs;
  bool Closing = false, Failed = false, Finished = false;
  std::string Error;
  std::thread Worker;
};

#include "core/parallel.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace parallel {
namespace {

// One parallel loop: workers and the caller take task indexes from Next.
struct Job {
  const std::function<bool(int64_t)>* Task = nullptr;
  int64_t Count = 0;
  std::atomic<int64_t> Next{0};
  std::atomic<bool> Stop{false};
  int Users = 0;  // workers inside the job; guarded by the pool's mutex
};

// Set on pool threads, so that a loop inside a task runs inline instead of
// waiting for threads that are all busy with the outer loop.
thread_local bool insidePool = false;

// Runs tasks of one job until none are left or the job is stopped.
// Answers after each task on the caller (between may stop the job).
void Work(Job& job, const std::function<bool()>* between) {
  for (;;) {
    if (job.Stop.load(std::memory_order_relaxed)) return;
    const int64_t i = job.Next.fetch_add(1, std::memory_order_relaxed);
    if (i >= job.Count) return;
    if (!(*job.Task)(i)) job.Stop.store(true, std::memory_order_relaxed);
    if (between && *between && !(*between)()) job.Stop.store(true, std::memory_order_relaxed);
  }
}

class Pool {
public:
  ~Pool() { Resize(0); }

  // Starts or ends workers so that `workers` of them run.
  void Resize(int workers) {
    std::vector<std::thread> ending;
    {
      std::lock_guard<std::mutex> lock(Mutex);
      if (static_cast<int>(Threads.size()) == workers) return;
      Quit = true;
      ending.swap(Threads);
    }
    WorkReady.notify_all();
    for (std::thread& t : ending) t.join();
    std::lock_guard<std::mutex> lock(Mutex);
    Quit = false;
    for (int i = 0; i < workers; ++i) {
      try {
        Threads.emplace_back([this] { Serve(); });
      } catch (...) {
        break;  // fewer workers; the caller's thread still does all the work
      }
    }
  }

  bool Run(Job& job, const std::function<bool()>& between) {
    {
      std::lock_guard<std::mutex> lock(Mutex);
      Jobs.push_back(&job);
    }
    WorkReady.notify_all();
    // Loops inside the caller's tasks run inline too: the workers are busy.
    insidePool = true;
    Work(job, &between);
    insidePool = false;
    std::unique_lock<std::mutex> lock(Mutex);
    const auto it = std::find(Jobs.begin(), Jobs.end(), &job);
    if (it != Jobs.end()) Jobs.erase(it);
    while (job.Users > 0) {
      // Once stopped, `between` has had its last word.
      if (!between || job.Stop.load(std::memory_order_relaxed)) {
        JobLeft.wait(lock, [&] { return job.Users == 0; });
        break;
      }
      JobLeft.wait_for(lock, std::chrono::milliseconds(5));
      lock.unlock();
      if (!between()) job.Stop.store(true, std::memory_order_relaxed);
      lock.lock();
    }
    return !job.Stop.load();
  }

private:
  void Serve() {
    insidePool = true;
    std::unique_lock<std::mutex> lock(Mutex);
    for (;;) {
      WorkReady.wait(lock, [&] { return Quit || !Jobs.empty(); });
      if (Quit) return;
      Job* job = Jobs.front();
      ++job->Users;
      lock.unlock();
      Work(*job, nullptr);
      lock.lock();
      // No task is left to start: later workers must not pick the job up.
      const auto it = std::find(Jobs.begin(), Jobs.end(), job);
      if (it != Jobs.end()) Jobs.erase(it);
      --job->Users;
      JobLeft.notify_all();
    }
  }

  std::mutex Mutex;
  std::condition_variable WorkReady, JobLeft;
  std::deque<Job*> Jobs;
  std::vector<std::thread> Threads;
  bool Quit = false;
};

Pool& ThePool() {
  static Pool pool;
  return pool;
}

std::mutex countMutex;
int chosenThreads = 0;  // 0: not chosen yet
int startedWorkers = -1;

int DefaultThreads() {
  const int env = ThreadsFromEnvironment();
  if (env > 0) return env;
  const unsigned cores = std::thread::hardware_concurrency();
  return std::clamp(static_cast<int>(cores == 0 ? 1 : cores), 1, kMaxThreads);
}

}  // namespace

int ThreadsFromEnvironment() {
  const char* text = std::getenv("ORVELLE_THREADS");
  if (!text || !*text) return 0;
  int value = 0;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return -1;
    value = value * 10 + (*p - '0');
    if (value > kMaxThreads) return -1;
  }
  return value >= 1 ? value : -1;
}

int ThreadCount() {
  std::lock_guard<std::mutex> lock(countMutex);
  if (chosenThreads == 0) chosenThreads = DefaultThreads();
  return chosenThreads;
}

void SetThreadCount(int threads) {
  std::lock_guard<std::mutex> lock(countMutex);
  chosenThreads = threads <= 0 ? DefaultThreads() : std::min(threads, kMaxThreads);
}

bool For(int64_t count, const std::function<bool(int64_t)>& task, const std::function<bool()>& between) {
  if (count <= 0) return true;
  int threads = 1;
  if (count > 1 && !insidePool) {
    threads = ThreadCount();
    std::lock_guard<std::mutex> lock(countMutex);
    if (threads > 1 && startedWorkers != threads - 1) {
      ThePool().Resize(threads - 1);
      startedWorkers = threads - 1;
    }
  }
  if (threads <= 1) {
    for (int64_t i = 0; i < count; ++i) {
      if (!task(i)) return false;
      if (between && !between()) return false;
    }
    return true;
  }
  Job job;
  job.Task = &task;
  job.Count = count;
  return ThePool().Run(job, between);
}

}  // namespace parallel

#include "cli/batch_writer.h"

#include <cerrno>
#include <cstring>

#include "core/atomic_file.h"

BatchWriter::BatchWriter() {
  DeferSyncs(true);
  Worker = std::thread([this] { Run(); });
}

BatchWriter::~BatchWriter() {
  std::string ignored;
  Finish(ignored);
}

bool BatchWriter::Add(Job job) {
  std::unique_lock<std::mutex> lock(Mutex);
  Changed.wait(lock, [&] { return Failed || Jobs.size() < kDepth; });
  if (Failed) return false;
  Jobs.push_back(std::move(job));
  Changed.notify_all();
  return true;
}

bool BatchWriter::Finish(std::string& error) {
  {
    std::lock_guard<std::mutex> lock(Mutex);
    if (Finished) {
      error = Error;
      return !Failed;
    }
    Finished = Closing = true;
  }
  Changed.notify_all();
  Worker.join();
  DeferSyncs(false);
  // Whatever was written, even before a failure, reaches the disk.
  errno = 0;
  if (!SyncDeferred() && !Failed) {
    Failed = true;
    Error = std::string("the files could not be written to the disk") + (errno ? ": " : "") +
            (errno ? std::strerror(errno) : "");
  }
  error = Error;
  return !Failed;
}

void BatchWriter::Run() {
  for (;;) {
    Job job;
    {
      std::unique_lock<std::mutex> lock(Mutex);
      Changed.wait(lock, [&] { return Closing || !Jobs.empty(); });
      if (Jobs.empty() || Failed) return;
      job = std::move(Jobs.front());
      Jobs.pop_front();
      Changed.notify_all();
    }
    std::string why;
    bool ok = false;
    try {
      ok = job(why);
    } catch (const std::bad_alloc&) {
      why = "not enough memory";
    }
    if (!ok) {
      std::lock_guard<std::mutex> lock(Mutex);
      Failed = true;
      Error = why;
      Jobs.clear();
      Changed.notify_all();
      return;
    }
  }
}

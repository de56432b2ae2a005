#pragma once
// One pool of threads for the whole process. Pixel work is cut into tasks
// whose number and extent depend on the picture only, never on the thread
// count, so a result cannot depend on how many threads ran it.
#include <cstdint>
#include <functional>

namespace parallel {

// Threads that take part in a parallel loop, the calling one included: the
// last SetThreadCount, else ORVELLE_THREADS from the environment, else every
// core. Always 1..kMaxThreads.
inline constexpr int kMaxThreads = 256;
int ThreadCount();
// 0 goes back to the default. Call it while no loop runs (at start-up, or
// between runs in tests).
void SetThreadCount(int threads);
// The thread count ORVELLE_THREADS asks for: 0 when unset, -1 when it is
// not a whole number in 1..kMaxThreads.
int ThreadsFromEnvironment();

// Runs task(i) for every i in [0, count) on the pool and the calling thread,
// and returns once every task that started has finished. On the calling
// thread only, `between` runs after each task it ran and every few
// milliseconds while it waits, so it may report progress to a sink that is
// not thread-safe. A task or `between` answering false stops further tasks
// from starting (those running finish) and makes the answer false.
// Loops started from inside a task run on the calling thread alone.
bool For(int64_t count, const std::function<bool(int64_t)>& task, const std::function<bool()>& between = {});

}  // namespace parallel

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "core/parallel.h"

namespace {

struct Threads {
  explicit Threads(int n) { parallel::SetThreadCount(n); }
  ~Threads() { parallel::SetThreadCount(0); }
};

}  // namespace

// Every index runs exactly once, whatever the thread count and task count.
TEST(Parallel, EveryTaskOnceOnAnyThreadCount) {
  for (int threads : {1, 2, 5}) {
    Threads use(threads);
    for (int64_t count : {0, 1, 2, 7, 64, 1000}) {
      std::vector<std::atomic<int>> runs(static_cast<size_t>(count));
      EXPECT_TRUE(parallel::For(count, [&](int64_t i) {
        runs[static_cast<size_t>(i)].fetch_add(1);
        return true;
      }));
      for (auto& r : runs) EXPECT_EQ(r.load(), 1) << threads << " threads, " << count << " tasks";
    }
  }
}

// A false answer starts no further task; `between` runs on the caller only;
// a loop inside a task runs inline and completes.
TEST(Parallel, StopBetweenAndNesting) {
  Threads use(4);
  std::atomic<int64_t> started{0};
  EXPECT_FALSE(parallel::For(10000, [&](int64_t i) {
    started.fetch_add(1);
    return i != 3;
  }));
  EXPECT_LT(started.load(), 10000);

  const std::thread::id caller = std::this_thread::get_id();
  bool betweenElsewhere = false;
  int betweenCalls = 0;
  EXPECT_FALSE(parallel::For(
      1000,
      [](int64_t) {
        std::this_thread::sleep_for(std::chrono::microseconds(100));
        return true;
      },
      [&] {
        betweenElsewhere |= std::this_thread::get_id() != caller;
        return ++betweenCalls < 5;
      }));
  EXPECT_FALSE(betweenElsewhere);
  EXPECT_EQ(betweenCalls, 5);

  std::atomic<int64_t> inner{0};
  EXPECT_TRUE(parallel::For(8, [&](int64_t) {
    return parallel::For(50, [&](int64_t) {
      inner.fetch_add(1);
      return true;
    });
  }));
  EXPECT_EQ(inner.load(), 400);
}

// Loops from several threads at once share the pool without mixing up.
TEST(Parallel, ConcurrentCallers) {
  Threads use(3);
  std::vector<std::thread> callers;
  std::atomic<int> wrong{0};
  for (int c = 0; c < 4; ++c)
    callers.emplace_back([&] {
      for (int round = 0; round < 20; ++round) {
        std::atomic<int64_t> sum{0};
        parallel::For(100, [&](int64_t i) {
          sum.fetch_add(i);
          return true;
        });
        if (sum.load() != 4950) wrong.fetch_add(1);
      }
    });
  for (auto& t : callers) t.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST(Parallel, ThreadsFromEnvironment) {
  const struct {
    const char* Text;
    int Threads;
  } cases[] = {{"", 0}, {"3", 3}, {"256", 256}, {"0", -1}, {"257", -1}, {"-2", -1}, {"2x", -1}, {"99999999999", -1}};
  for (const auto& c : cases) {
    setenv("ORVELLE_THREADS", c.Text, 1);
    EXPECT_EQ(parallel::ThreadsFromEnvironment(), c.Threads) << c.Text;
  }
  unsetenv("ORVELLE_THREADS");
  EXPECT_EQ(parallel::ThreadsFromEnvironment(), 0);
}

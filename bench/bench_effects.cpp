// Every registered effect on 2048 x 2048 RGBA 8-bit noise, with the settings
// the generator typically draws (bench/typical.cpp), on one thread and on
// all of them: Effect/<class>/<label>/threads:<1 or all>.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/typical.h"
#include "core/parallel.h"

namespace {

constexpr int32_t kSide = 2048;

// The source is made once and shared: only the target is written.
mvPicture& Source() {
  static mvPicture source = bench::NoisePicture(kSide, kSide);
  return source;
}

void RunEffect(benchmark::State& state, const std::string& cls, const std::vector<std::string>& params, int threads) {
  std::string error;
  std::unique_ptr<mvEffect> effect = bench::MakeEffect(cls, params, error);
  mvPicture& source = Source();
  if (!effect || !source.Pixels) {
    state.SkipWithError(effect ? "out of memory" : error.c_str());
    return;
  }
  mvPicture target(source);
  parallel::SetThreadCount(threads);
  for (auto _ : state) {
    if (!bench::ApplyOnce(*effect, source, target)) {
      state.SkipWithError("Apply failed");
      break;
    }
    benchmark::DoNotOptimize(target.Pixels);
    benchmark::ClobberMemory();
  }
  state.counters["threads"] = parallel::ThreadCount();
  parallel::SetThreadCount(0);
  state.counters["MPix"] = benchmark::Counter(kSide * kSide / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

// Walks the registry so that a class added later is timed too (at its
// defaults until the table gives it typical settings); a table line whose
// class, field or value no longer fits stops the program before anything
// runs (the tests list the benchmarks to catch that).
int RegisterEffects() {
  for (const bench::Typical& t : bench::TypicalSettings()) {
    std::string error;
    if (!bench::MakeEffect(t.Class, bench::SplitWords(t.Params), error)) {
      std::fprintf(stderr, "bench: typical settings %s/%s: %s\n", t.Class, t.Label, error.c_str());
      std::exit(2);
    }
  }
  for (const mvEffectClass* c : RegisteredEffects()) {
    std::vector<std::pair<std::string, std::vector<std::string>>> cases;
    for (const bench::Typical& t : bench::TypicalSettings())
      if (c->Name == t.Class) cases.emplace_back(t.Label, bench::SplitWords(t.Params));
    if (cases.empty()) cases.emplace_back("defaults", std::vector<std::string>{});
    for (const auto& [label, params] : cases)
      for (const int threads : {1, 0}) {
        const std::string name = "Effect/" + c->Name + "/" + label + "/threads:" + (threads ? "1" : "all");
        benchmark::RegisterBenchmark(name.c_str(), [cls = c->Name, params = params, threads](
                                                       benchmark::State& s) { RunEffect(s, cls, params, threads); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
      }
  }
  return 0;
}

[[maybe_unused]] const int kRegistered = RegisterEffects();

}  // namespace

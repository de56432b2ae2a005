// Whole textures in memory: GenerateTexture batches at 120 x 120 and
// 1024 x 1024, and recipes of a default batch re-rendered at 5000 x 5000,
// on one thread and on all of them. Files are left to bench/whole-jobs.sh.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "core/parallel.h"
#include "generator/generator.h"
#include "generator/texture_edit.h"

namespace {

// The command line's batch settings (render 2, filter 3, geometric 3, seamless).
constexpr GeneratorParametersT kDefaultBatch{2, 3, 3, true};

void ReportPixels(benchmark::State& state, double pixelsPerIteration) {
  state.counters["threads"] = parallel::ThreadCount();
  state.counters["MPix"] = benchmark::Counter(pixelsPerIteration / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

// Args: side, textures per iteration, threads (0: all). Every iteration
// makes the same batch from the same seed.
void BM_GenerateTexture(benchmark::State& state) {
  const int32_t side = static_cast<int32_t>(state.range(0));
  const int64_t batch = state.range(1);
  parallel::SetThreadCount(static_cast<int>(state.range(2)));
  for (auto _ : state) {
    mvRandom random;
    random.Seed(20240);
    for (int64_t i = 0; i < batch; ++i) {
      mvPictureLayer layer;
      if (!layer.Create(side, side, ColorTypeRGB, 8, 4) || !GenerateTexture(layer, random, kDefaultBatch)) {
        state.SkipWithError("GenerateTexture failed");
        break;
      }
      benchmark::DoNotOptimize(layer.Pixels);
    }
  }
  ReportPixels(state, static_cast<double>(batch) * side * side);
  state.counters["textures"] =
      benchmark::Counter(static_cast<double>(batch), benchmark::Counter::kIsIterationInvariantRate);
  parallel::SetThreadCount(0);
}
BENCHMARK(BM_GenerateTexture)
    ->ArgNames({"side", "batch", "threads"})
    ->Args({120, 100, 1})
    ->Args({120, 100, 0})
    ->Args({1024, 8, 1})
    ->Args({1024, 8, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

constexpr int kRecipes = 10;

// The first textures of a default 120 x 120 batch, made once.
const std::vector<std::unique_ptr<mvPictureLayer>>& Recipes() {
  static const std::vector<std::unique_ptr<mvPictureLayer>> recipes = [] {
    std::vector<std::unique_ptr<mvPictureLayer>> made;
    parallel::SetThreadCount(0);
    mvRandom random;
    random.Seed(20240);
    for (int i = 0; i < kRecipes; ++i) {
      auto layer = std::make_unique<mvPictureLayer>();
      if (!layer->Create(120, 120, ColorTypeRGB, 8, 4) || !GenerateTexture(*layer, random, kDefaultBatch)) break;
      made.push_back(std::move(layer));
    }
    return made;
  }();
  return recipes;
}

// Args: recipe index, threads (0: all).
void BM_Rerender5000(benchmark::State& state) {
  const auto& recipes = Recipes();
  const size_t index = static_cast<size_t>(state.range(0));
  if (index >= recipes.size()) {
    state.SkipWithError("recipe could not be made");
    return;
  }
  parallel::SetThreadCount(static_cast<int>(state.range(1)));
  for (auto _ : state) {
    std::unique_ptr<mvPictureLayer> big = RerenderTexture(*recipes[index], 5000, 5000);
    if (!big) {
      state.SkipWithError("RerenderTexture failed");
      break;
    }
    benchmark::DoNotOptimize(big->Pixels);
  }
  state.counters["effects"] = recipes[index]->Effects.Count();
  ReportPixels(state, 5000.0 * 5000.0);
  parallel::SetThreadCount(0);
}
BENCHMARK(BM_Rerender5000)
    ->ArgNames({"recipe", "threads"})
    ->ArgsProduct({benchmark::CreateDenseRange(0, kRecipes - 1, 1), {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

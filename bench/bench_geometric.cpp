// Throughput of the geometric effects on a 1024 x 1024 RGBA 8-bit picture,
// the format of every texture, with parameters like the generator's.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

#include "core/picture.h"
#include "effects/effect.h"
#include "effects/geometric/distortions.h"
#include "effects/geometric/turns.h"

namespace {

constexpr int32_t kSide = 1024;

void FillNoise(mvPicture& p) {
  uint32_t seed = 1;
  for (int32_t y = 0; y < p.Height; ++y)
    for (uint32_t i = 0; i < static_cast<uint32_t>(p.Width) * 4; ++i) {
      seed = seed * 1664525u + 1013904223u;
      p.Row(y)[i] = static_cast<uint8_t>(seed >> 24);
    }
}

void ReportPixels(benchmark::State& state) {
  const double pixels = static_cast<double>(state.iterations()) * kSide * kSide;
  state.SetItemsProcessed(static_cast<int64_t>(pixels));
  state.counters["MPix/s"] = benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsRate);
}

// Apply from a fixed source into a target, as ApplyTo does at full opacity.
void RunApply(benchmark::State& state, mvEffect& effect) {
  mvPicture source;
  if (!source.Create(kSide, kSide, ColorTypeRGB, 8, 4)) {
    state.SkipWithError("out of memory");
    return;
  }
  FillNoise(source);
  mvPicture target(source);
  for (auto _ : state) {
    benchmark::DoNotOptimize(effect.Apply(source, target, nullptr));
    benchmark::ClobberMemory();
  }
  ReportPixels(state);
}

void BM_Cylinder(benchmark::State& state) {
  mvCylinderEffect e;
  e.Vertical = static_cast<uint32_t>(state.range(0));
  RunApply(state, e);
}
BENCHMARK(BM_Cylinder)->ArgName("vertical")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_Swirl(benchmark::State& state) {
  mvSwirlEffect e;
  e.Angle = 540;
  RunApply(state, e);
}
BENCHMARK(BM_Swirl)->Unit(benchmark::kMillisecond);

void BM_SineWave(benchmark::State& state) {
  mvSineWaveEffect e;
  e.RowAmplitude = 6;
  e.RowPeriod = 128;
  e.ColumnAmplitude = 4;
  e.ColumnPeriod = 256;
  e.Seamless = state.range(0) != 0;
  RunApply(state, e);
}
BENCHMARK(BM_SineWave)->ArgName("seamless")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_Kaleidoscope(benchmark::State& state) {
  mvKaleidoscopeEffect e;
  e.Diagonal = static_cast<uint32_t>(state.range(0));
  RunApply(state, e);
}
BENCHMARK(BM_Kaleidoscope)->ArgName("diagonal")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_InPlaceTurn(benchmark::State& state) {
  std::unique_ptr<mvEffect> e(CreateEffect(static_cast<uint32_t>(state.range(0))));
  if (!e) {
    state.SkipWithError("not registered");
    return;
  }
  RunApply(state, *e);
}
// Half turn, flip, mirror.
BENCHMARK(BM_InPlaceTurn)->ArgName("type")->Arg(516)->Arg(518)->Arg(519)->Unit(benchmark::kMillisecond);

void BM_QuarterTurn(benchmark::State& state) {
  mvPicture source;
  if (!source.Create(kSide, kSide, ColorTypeRGB, 8, 4)) {
    state.SkipWithError("out of memory");
    return;
  }
  FillNoise(source);
  mvRotateLeftEffect e;
  for (auto _ : state) {
    mvPicture* result = nullptr;
    benchmark::DoNotOptimize(e.Transform(source, &result, nullptr));
    delete result;
  }
  ReportPixels(state);
}
BENCHMARK(BM_QuarterTurn)->Unit(benchmark::kMillisecond);

}  // namespace

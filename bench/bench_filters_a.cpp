// Throughput of the noise, blur, edge and relief filters on 1024 x 1024
// RGBA 8-bit, with the parameters the generator typically draws.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "core/picture.h"
#include "effects/filter/edges.h"
#include "effects/filter/noise.h"

namespace {

constexpr int32_t kSide = 1024;

mvPicture Source() {
  mvPicture p;
  p.Create(kSide, kSide, ColorTypeRGB, 8, 4);
  uint32_t seed = 99;
  for (int32_t y = 0; y < kSide; ++y) {
    uint8_t* r = p.Row(y);
    for (int32_t i = 0; i < kSide * 4; ++i) {
      seed = seed * 1664525u + 1013904223u;
      r[i] = (i & 3) == 3 ? 255 : static_cast<uint8_t>(seed >> 24);
    }
  }
  return p;
}

template <class E>
void Run(benchmark::State& state, E& effect) {
  mvPicture src = Source();
  mvPicture dst(src);
  for (auto _ : state) {
    effect.Apply(src, dst, nullptr);
    benchmark::DoNotOptimize(dst.Pixels);
  }
  const double pixels = static_cast<double>(state.iterations()) * kSide * kSide;
  state.counters["MPix/s"] = benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsRate);
}

void HSVNoise(benchmark::State& state) {
  mvHSVNoiseEffect e;
  e.HueAmount = 25;
  e.SaturationAmount = 20;
  e.ValueAmount = 30;
  e.Gaussian = state.range(0) != 0;
  Run(state, e);
}
BENCHMARK(HSVNoise)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void HSLNoise(benchmark::State& state) {
  mvHSLNoiseEffect e;
  e.HueAmount = 20;
  e.LightnessAmount = 10;
  Run(state, e);
}
BENCHMARK(HSLNoise)->Unit(benchmark::kMillisecond);

void HistogramNoise(benchmark::State& state) {
  mvHistogramNoiseEffect e;
  e.Amount = 9;
  Run(state, e);
}
BENCHMARK(HistogramNoise)->Unit(benchmark::kMillisecond);

void MotionBlur(benchmark::State& state) {
  mvMotionBlurEffect e;  // Distance 10: 21 taps
  e.Angle = static_cast<int32_t>(state.range(0));
  e.Sigma = 7;
  e.Seamless = true;
  Run(state, e);
}
BENCHMARK(MotionBlur)->Arg(0)->Arg(90)->Arg(137)->Unit(benchmark::kMillisecond);

void EdgeDetection(benchmark::State& state) {
  mvEdgeDetectionEffect e;
  e.Amount = 160;
  e.Seamless = true;
  Run(state, e);
}
BENCHMARK(EdgeDetection)->Unit(benchmark::kMillisecond);

void Neon(benchmark::State& state) {
  mvNeonEffect e;
  e.Radius = 3;
  e.Amount = 140;
  e.Seamless = true;
  Run(state, e);
}
BENCHMARK(Neon)->Unit(benchmark::kMillisecond);

void Emboss(benchmark::State& state) {
  mvEmbossEffect e;
  e.Direction = 2;
  e.Depth = 2;
  e.Amount = 190;
  e.Seamless = true;
  Run(state, e);
}
BENCHMARK(Emboss)->Unit(benchmark::kMillisecond);

}  // namespace

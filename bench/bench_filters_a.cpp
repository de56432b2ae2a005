// Throughput of the noise, blur, edge and relief filters on 1024 x 1024
// RGBA 8-bit, with the parameters the generator typically draws.
#include <benchmark/benchmark.h>

#include "bench/bench_common.h"

#include <cstdint>

#include "core/picture.h"
#include "effects/filter/edges.h"
#include "effects/filter/noise.h"

namespace {

void HSVNoise(benchmark::State& state) {
  mvHSVNoiseEffect e;
  e.HueAmount = 25;
  e.SaturationAmount = 20;
  e.ValueAmount = 30;
  e.Gaussian = state.range(0) != 0;
  RunEffect(state, e);
}
BENCHMARK(HSVNoise)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void HSLNoise(benchmark::State& state) {
  mvHSLNoiseEffect e;
  e.HueAmount = 20;
  e.LightnessAmount = 10;
  RunEffect(state, e);
}
BENCHMARK(HSLNoise)->Unit(benchmark::kMillisecond);

void HistogramNoise(benchmark::State& state) {
  mvHistogramNoiseEffect e;
  e.Amount = 9;
  RunEffect(state, e);
}
BENCHMARK(HistogramNoise)->Unit(benchmark::kMillisecond);

void MotionBlur(benchmark::State& state) {
  mvMotionBlurEffect e;  // Distance 10: 21 taps
  e.Angle = static_cast<int32_t>(state.range(0));
  e.Sigma = 7;
  e.Seamless = true;
  RunEffect(state, e);
}
BENCHMARK(MotionBlur)->Arg(0)->Arg(90)->Arg(137)->Unit(benchmark::kMillisecond);

void EdgeDetection(benchmark::State& state) {
  mvEdgeDetectionEffect e;
  e.Amount = 160;
  e.Seamless = true;
  RunEffect(state, e);
}
BENCHMARK(EdgeDetection)->Unit(benchmark::kMillisecond);

void Neon(benchmark::State& state) {
  mvNeonEffect e;
  e.Radius = 3;
  e.Amount = 140;
  e.Seamless = true;
  RunEffect(state, e);
}
BENCHMARK(Neon)->Unit(benchmark::kMillisecond);

void Emboss(benchmark::State& state) {
  mvEmbossEffect e;
  e.Direction = 2;
  e.Depth = 2;
  e.Amount = 190;
  e.Seamless = true;
  RunEffect(state, e);
}
BENCHMARK(Emboss)->Unit(benchmark::kMillisecond);

}  // namespace

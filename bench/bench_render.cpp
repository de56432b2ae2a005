// Throughput of the render effects on a 512 x 512 RGBA 8-bit texture, the
// format every generated texture has, applied the way the generator does.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

#include "effects/render/cloud.h"
#include "effects/render/fill.h"
#include "effects/render/patterns.h"

namespace {

constexpr int32_t kSide = 512;

template <class E>
void Render(benchmark::State& state, E& effect) {
  mvPicture p;
  p.Create(kSide, kSide, ColorTypeRGB, 8, 4);
  p.Fill(nullptr, mvColor::RGBA8(90, 120, 150, 255));
  for (auto _ : state) {
    ApplyTo(effect, p);
    benchmark::DoNotOptimize(p.Pixels);
  }
  const double pixels = static_cast<double>(state.iterations()) * kSide * kSide;
  state.counters["MPix/s"] = benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsRate);
}

void BM_Fill(benchmark::State& s) {
  mvFillEffect e;
  e.Color = mvColor::RGBA8(10, 20, 30, 200);
  Render(s, e);
}
void BM_GradientRadial(benchmark::State& s) {
  mvGradientEffect e;
  e.Shape = 2;
  Render(s, e);
}
void BM_GradientRings(benchmark::State& s) {
  mvGradientPatternEffect e;
  e.Direction = 2;
  Render(s, e);
}
void BM_GradientMap(benchmark::State& s) {
  mvGradientMapEffect e;
  GradientSegment seg;
  seg.BlendFunction = 2;
  seg.ColoringType = 1;
  seg.LeftColor[0] = 255;
  e.Gradient.AppendSegment(seg);
  Render(s, e);
}
void BM_Checker(benchmark::State& s) {
  mvCheckerEffect e;
  e.Color1 = mvColor::RGBA8(0, 0, 0, 128);
  Render(s, e);
}
void BM_Dots(benchmark::State& s) {
  mvDotsEffect e;
  e.DotSize = 12;
  e.Gap = 4;
  e.Antialias = true;
  Render(s, e);
}
void BM_RandomDots(benchmark::State& s) {
  mvRandomDotsEffect e;
  e.Seed = 3;
  e.DotSize = 10;
  e.Density = 100;
  e.AlphaVariation = 50;
  Render(s, e);
}
void BM_Cloud(benchmark::State& s) {
  mvCloudEffect e;
  e.Seed = 7;
  Render(s, e);
}
void BM_Plasma(benchmark::State& s) {
  mvPlasmaEffect e;
  e.Seed = 7;
  Render(s, e);
}

}  // namespace

BENCHMARK(BM_Fill)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GradientRadial)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GradientRings)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GradientMap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Checker)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Dots)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RandomDots)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Cloud)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plasma)->Unit(benchmark::kMillisecond);

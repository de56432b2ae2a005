// Throughput of the neighbourhood, cell and painterly filters on 1024 x 1024
// RGBA 8-bit, with the parameters the generator typically draws (seamless on).
#include <benchmark/benchmark.h>

#include "bench/bench_common.h"

#include <cstdint>

#include "core/picture.h"
#include "effects/filter/cells.h"
#include "effects/filter/painterly.h"

namespace {

template <class E>
void Rank(benchmark::State& state) {
  E e;
  e.Radius = static_cast<uint32_t>(state.range(0));
  e.Seamless = true;
  RunEffect(state, e);
}
BENCHMARK_TEMPLATE(Rank, mvMedianEffect)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(Rank, mvMinimumEffect)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(Rank, mvMaximumEffect)->Arg(2)->Unit(benchmark::kMillisecond);

void Spread(benchmark::State& state) {
  mvSpreadEffect e;
  e.RangeX = 3;
  e.RangeY = 3;
  e.Seed = 12345;
  e.Seamless = true;
  RunEffect(state, e);
}
BENCHMARK(Spread)->Unit(benchmark::kMillisecond);

void Pixelize(benchmark::State& state) {
  mvPixelizeEffect e;
  RunEffect(state, e);
}
BENCHMARK(Pixelize)->Unit(benchmark::kMillisecond);

void Mosaic(benchmark::State& state) {
  mvMosaicEffect e;
  e.CellWidth = 8;
  e.CellHeight = 8;
  e.Stagger = 1;
  e.ColorMode = static_cast<uint32_t>(state.range(0));
  e.Jitter = 50;
  e.Seed = 777;
  e.Seamless = true;
  RunEffect(state, e);
}
BENCHMARK(Mosaic)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void GlassTile(benchmark::State& state) {
  mvGlassTileEffect e;
  e.TileWidth = 32;
  e.TileHeight = 32;
  e.Seamless = true;
  RunEffect(state, e);
}
BENCHMARK(GlassTile)->Unit(benchmark::kMillisecond);

void Wrap(benchmark::State& state) {
  mvWrapEffect e;
  e.Relief = 180;
  e.Exponent = 6;
  e.Smoothness = 2;
  e.Seamless = true;
  RunEffect(state, e);
}
BENCHMARK(Wrap)->Unit(benchmark::kMillisecond);

void OilPaint(benchmark::State& state) {
  mvOilPaintEffect e;
  e.Radius = static_cast<uint32_t>(state.range(0));
  e.Seamless = true;
  RunEffect(state, e);
}
BENCHMARK(OilPaint)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

void Watercolor(benchmark::State& state) {
  mvWatercolorEffect e;
  e.Radius = static_cast<uint32_t>(state.range(0));
  e.Seamless = true;
  RunEffect(state, e);
}
BENCHMARK(Watercolor)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

}  // namespace

#pragma once
// Shared by the effect benchmarks: a noise picture and a timed Apply loop
// reporting megapixels per second.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "core/picture.h"

// Opaque random noise: the worst case for searches and caches.
inline mvPicture NoisePicture(int32_t side) {
  mvPicture p;
  p.Create(side, side, ColorTypeRGB, 8, 4);
  uint32_t seed = 99;
  for (int32_t y = 0; y < side; ++y) {
    uint8_t* r = p.Row(y);
    for (int32_t i = 0; i < side * 4; ++i) {
      seed = seed * 1664525u + 1013904223u;
      r[i] = (i & 3) == 3 ? 255 : static_cast<uint8_t>(seed >> 24);
    }
  }
  return p;
}

template <class E>
void RunEffect(benchmark::State& state, E& effect, int32_t side = 1024) {
  mvPicture src = NoisePicture(side);
  mvPicture dst(src);
  for (auto _ : state) {
    effect.Apply(src, dst, nullptr);
    benchmark::DoNotOptimize(dst.Pixels);
  }
  const double pixels = static_cast<double>(state.iterations()) * side * side;
  state.counters["MPix/s"] = benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsRate);
}

// Throughput of the row blender and of one common row conversion, on a
// 2048 x 2048 picture processed row by row as BlendRect and CopyRect do, and
// the cost of writing such a picture once: the yardstick of the effects that
// only paint (fill, gradients, gradient map).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "core/blend.h"
#include "core/picture.h"

namespace {

constexpr int32_t kSide = 2048;

std::vector<uint8_t> Noise(size_t n, uint32_t seed) {
  std::vector<uint8_t> b(n);
  for (size_t i = 0; i < n; ++i) {
    seed = seed * 1664525u + 1013904223u;
    b[i] = static_cast<uint8_t>(seed >> 24);
  }
  return b;
}

void ReportPixels(benchmark::State& state) {
  state.counters["MPix"] = benchmark::Counter(kSide * kSide / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

// One write pass over a 2048 x 2048 RGBA 8-bit picture.
void BM_WritePass(benchmark::State& state) {
  std::vector<uint8_t> dst(static_cast<size_t>(kSide) * kSide * 4, 1);
  uint8_t value = 0;
  for (auto _ : state) {
    std::memset(dst.data(), ++value, dst.size());
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  ReportPixels(state);
}
BENCHMARK(BM_WritePass)->Unit(benchmark::kMillisecond)->UseRealTime();

// Args: blend mode, opacity. RGBA 8-bit over RGBA 8-bit, as every texture is.
void BM_BlendRowRGBA8(benchmark::State& state) {
  const uint32_t mode = static_cast<uint32_t>(state.range(0));
  const uint32_t opacity = static_cast<uint32_t>(state.range(1));
  const uint32_t stride = StrideFor(kSide, 32);
  std::vector<uint8_t> dst = Noise(static_cast<size_t>(stride) * kSide, 1);
  const std::vector<uint8_t> src = Noise(static_cast<size_t>(stride) * kSide, 2);
  for (auto _ : state) {
    for (int32_t y = 0; y < kSide; ++y) {
      BlendRow(mode, 4, 4, dst.data() + static_cast<size_t>(y) * stride, ColorTypeRGB, 8,
               src.data() + static_cast<size_t>(y) * stride, ColorTypeRGB, 8, nullptr, opacity, kSide);
    }
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  ReportPixels(state);
}
BENCHMARK(BM_BlendRowRGBA8)
    ->ArgNames({"mode", "opacity"})
    ->Args({BlendNormal, 65535})
    ->Args({BlendNormal, 40000})
    ->Args({BlendMultiply, 65535})
    ->Args({BlendMultiply, 40000})
    ->Args({BlendColor, 65535})
    ->Args({BlendColor, 40000})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_ConvertRowRGB8ToGray8(benchmark::State& state) {
  const uint32_t srcStride = StrideFor(kSide, 24);
  const uint32_t dstStride = StrideFor(kSide, 8);
  const std::vector<uint8_t> src = Noise(static_cast<size_t>(srcStride) * kSide, 3);
  std::vector<uint8_t> dst(static_cast<size_t>(dstStride) * kSide);
  for (auto _ : state) {
    for (int32_t y = 0; y < kSide; ++y) {
      ConvertRow(src.data() + static_cast<size_t>(y) * srcStride, ColorTypeRGB, 8, 3,
                 dst.data() + static_cast<size_t>(y) * dstStride, ColorTypeGray, 8, 1, nullptr, kSide);
    }
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  ReportPixels(state);
}
BENCHMARK(BM_ConvertRowRGB8ToGray8)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

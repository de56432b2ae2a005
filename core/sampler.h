#pragma once
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "core/picture.h"

// Reads a picture at a real position (pixel centres at integer coordinates)
// with bilinear interpolation, writing Channels samples of its format.
using mvSampler = bool (*)(const mvPicture& picture, double x, double y, void* target);

// Clamps at the edges; refuses positions outside [-1, Width) x [-1, Height).
bool SampleBilinear(const mvPicture& picture, double x, double y, void* target);
// Wraps around the edges (RGB 8-bit, 3 or 4 channels); always writes.
bool SampleBilinearWrap(const mvPicture& picture, double x, double y, void* target);
// The clamping sampler for a format, or null for indexed formats.
mvSampler GetSampler(uint32_t colorType, uint32_t bitDepth, uint32_t channels);

// The same reads inline, for loops that know the sample type T and the
// channel count Ch (1 to 4). The functions above are these with the
// picture's own format.
namespace sampling {

// Calls fn(0) .. fn(N - 1) unrolled: -O2 leaves short counted loops rolled.
template <uint32_t N, class Fn>
inline void Unrolled(Fn&& fn) {
  [&]<uint32_t... I>(std::integer_sequence<uint32_t, I...>) { (fn(I), ...); }
  (std::make_integer_sequence<uint32_t, N>{});
}

// Interpolates the four neighbours (x0, x1 on rows r0, r1); alpha-weighted
// when the channel count is even.
template <class T, uint32_t Ch>
inline void Interpolate(const uint8_t* r0, const uint8_t* r1, int32_t x0, int32_t x1, double fx, double fy, T* out) {
  const T* p00 = reinterpret_cast<const T*>(r0) + static_cast<size_t>(x0) * Ch;
  const T* p10 = reinterpret_cast<const T*>(r0) + static_cast<size_t>(x1) * Ch;
  const T* p01 = reinterpret_cast<const T*>(r1) + static_cast<size_t>(x0) * Ch;
  const T* p11 = reinterpret_cast<const T*>(r1) + static_cast<size_t>(x1) * Ch;
  const double gx = 1 - fx, gy = 1 - fy;
  if constexpr (Ch % 2 == 1) {
    Unrolled<Ch>([&](uint32_t c) {
      const double v = (static_cast<double>(p00[c]) * gx + static_cast<double>(p10[c]) * fx) * gy +
                       (static_cast<double>(p01[c]) * gx + static_cast<double>(p11[c]) * fx) * fy;
      out[c] = static_cast<T>(v);
    });
  } else {
    constexpr uint32_t ac = Ch - 1;
    const double a00 = p00[ac], a10 = p10[ac], a01 = p01[ac], a11 = p11[ac];
    const double A = (a00 * gx + a10 * fx) * gy + (a01 * gx + a11 * fx) * fy;
    if (A == 0) {
      Unrolled<Ch>([&](uint32_t c) { out[c] = 0; });
      return;
    }
    Unrolled<ac>([&](uint32_t c) {
      const double v = ((static_cast<double>(p00[c]) * a00) * gx + (static_cast<double>(p10[c]) * a10) * fx) * gy +
                       ((static_cast<double>(p01[c]) * a01) * gx + (static_cast<double>(p11[c]) * a11) * fx) * fy;
      out[c] = static_cast<T>(v / A);
    });
    out[ac] = static_cast<T>(A);
  }
}

// floor(v) from its truncation t, without a library call: t, or t - 1
// below zero (and -0 for -0, as floor gives).
inline double FloorOf(double v, int64_t t) {
  const double f = static_cast<double>(t);
  if (f > v) return f - 1;
  return t == 0 ? std::copysign(0.0, v) : f;
}

inline int32_t ClampTo(int64_t v, int32_t hi) { return v < 0 ? 0 : (v > hi ? hi : static_cast<int32_t>(v)); }
inline int32_t Wrap(int64_t v, int32_t n) {
  const int64_t m = v % n;
  return static_cast<int32_t>(m < 0 ? m + n : m);
}

// SampleBilinear for samples of type T, Ch channels.
template <class T, uint32_t Ch>
inline bool Clamped(const mvPicture& p, double x, double y, T* out) {
  // The negated tests also refuse NaN positions.
  if (!(x >= -1) || !(x < p.Width) || !(y >= -1) || !(y < p.Height)) return false;
  const int64_t xt = static_cast<int64_t>(x), yt = static_cast<int64_t>(y);
  const int32_t x0 = ClampTo(xt, p.Width - 1), x1 = ClampTo(xt + 1, p.Width - 1);
  const int32_t y0 = ClampTo(yt, p.Height - 1), y1 = ClampTo(yt + 1, p.Height - 1);
  const double fx = x - FloorOf(x, xt), fy = y - FloorOf(y, yt);
  Interpolate<T, Ch>(p.Row(y0), p.Row(y1), x0, x1, fx, fy, out);
  return true;
}

// SampleBilinearWrap for samples of type T, Ch channels.
template <class T, uint32_t Ch>
inline void Wrapped(const mvPicture& p, double x, double y, T* out) {
  // Positions too far out to truncate are folded back first; NaN reads (0, 0).
  if (!std::isfinite(x)) x = 0;
  if (!std::isfinite(y)) y = 0;
  if (std::fabs(x) > 1e15) x = std::fmod(x, p.Width);
  if (std::fabs(y) > 1e15) y = std::fmod(y, p.Height);
  const int64_t xt = static_cast<int64_t>(x), yt = static_cast<int64_t>(y);
  const int32_t x0 = Wrap(xt, p.Width), x1 = Wrap(xt + 1, p.Width);
  const int32_t y0 = Wrap(yt, p.Height), y1 = Wrap(yt + 1, p.Height);
  const double fx = x - FloorOf(x, xt), fy = y - FloorOf(y, yt);
  Interpolate<T, Ch>(p.Row(y0), p.Row(y1), x0, x1, fx, fy, out);
}

// Runs fn(T{}, integral_constant<Ch>) for the picture's sample type and
// channel count; false for channel counts no picture has.
template <class Fn>
inline bool ByFormat(const mvPicture& p, Fn&& fn) {
  auto depth = [&](auto ch) {
    if (p.BitDepth == 16) return fn(uint16_t{}, ch), true;
    return fn(uint8_t{}, ch), true;
  };
  switch (p.Channels) {
    case 1: return depth(std::integral_constant<uint32_t, 1>{});
    case 2: return depth(std::integral_constant<uint32_t, 2>{});
    case 3: return depth(std::integral_constant<uint32_t, 3>{});
    case 4: return depth(std::integral_constant<uint32_t, 4>{});
    default: return false;
  }
}

}  // namespace sampling

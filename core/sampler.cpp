#include "core/sampler.h"

#include <cmath>

namespace {

template <typename T>
inline double At(const mvPicture& p, int32_t x, int32_t y, uint32_t c) {
  return static_cast<double>(reinterpret_cast<const T*>(p.Row(y))[static_cast<size_t>(x) * p.Channels + c]);
}

// Interpolates the four neighbours; alpha-weighted when the format has alpha.
template <typename T>
void Interpolate(const mvPicture& p, int32_t x0, int32_t x1, int32_t y0, int32_t y1, double fx, double fy,
                 void* target) {
  T* out = static_cast<T*>(target);
  const uint32_t ch = p.Channels;
  const double gx = 1 - fx, gy = 1 - fy;
  if (ch & 1u) {
    for (uint32_t c = 0; c < ch; ++c) {
      double v = (At<T>(p, x0, y0, c) * gx + At<T>(p, x1, y0, c) * fx) * gy +
                 (At<T>(p, x0, y1, c) * gx + At<T>(p, x1, y1, c) * fx) * fy;
      out[c] = static_cast<T>(v);
    }
    return;
  }
  const uint32_t ac = ch - 1;
  const double a00 = At<T>(p, x0, y0, ac), a10 = At<T>(p, x1, y0, ac);
  const double a01 = At<T>(p, x0, y1, ac), a11 = At<T>(p, x1, y1, ac);
  const double A = (a00 * gx + a10 * fx) * gy + (a01 * gx + a11 * fx) * fy;
  if (A == 0) {
    for (uint32_t c = 0; c < ch; ++c) out[c] = 0;
    return;
  }
  for (uint32_t c = 0; c < ac; ++c) {
    double v = ((At<T>(p, x0, y0, c) * a00) * gx + (At<T>(p, x1, y0, c) * a10) * fx) * gy +
               ((At<T>(p, x0, y1, c) * a01) * gx + (At<T>(p, x1, y1, c) * a11) * fx) * fy;
    out[c] = static_cast<T>(v / A);
  }
  out[ac] = static_cast<T>(A);
}

inline int32_t ClampTo(int64_t v, int32_t hi) { return v < 0 ? 0 : (v > hi ? hi : static_cast<int32_t>(v)); }
inline int32_t Wrap(int64_t v, int32_t n) {
  int64_t m = v % n;
  return static_cast<int32_t>(m < 0 ? m + n : m);
}

}  // namespace

bool SampleBilinear(const mvPicture& p, double x, double y, void* target) {
  // The negated tests also refuse NaN positions.
  if (!(x >= -1) || !(x < p.Width) || !(y >= -1) || !(y < p.Height)) return false;
  const int64_t xt = static_cast<int64_t>(x), yt = static_cast<int64_t>(y);
  const int32_t x0 = ClampTo(xt, p.Width - 1), x1 = ClampTo(xt + 1, p.Width - 1);
  const int32_t y0 = ClampTo(yt, p.Height - 1), y1 = ClampTo(yt + 1, p.Height - 1);
  const double fx = x - std::floor(x), fy = y - std::floor(y);
  if (p.BitDepth == 16)
    Interpolate<uint16_t>(p, x0, x1, y0, y1, fx, fy, target);
  else
    Interpolate<uint8_t>(p, x0, x1, y0, y1, fx, fy, target);
  return true;
}

bool SampleBilinearWrap(const mvPicture& p, double x, double y, void* target) {
  // Positions too far out to truncate are folded back first; NaN reads (0, 0).
  if (!std::isfinite(x)) x = 0;
  if (!std::isfinite(y)) y = 0;
  if (std::fabs(x) > 1e15) x = std::fmod(x, p.Width);
  if (std::fabs(y) > 1e15) y = std::fmod(y, p.Height);
  const int64_t xt = static_cast<int64_t>(x), yt = static_cast<int64_t>(y);
  const int32_t x0 = Wrap(xt, p.Width), x1 = Wrap(xt + 1, p.Width);
  const int32_t y0 = Wrap(yt, p.Height), y1 = Wrap(yt + 1, p.Height);
  const double fx = x - std::floor(x), fy = y - std::floor(y);
  if (p.BitDepth == 16)
    Interpolate<uint16_t>(p, x0, x1, y0, y1, fx, fy, target);
  else
    Interpolate<uint8_t>(p, x0, x1, y0, y1, fx, fy, target);
  return true;
}

mvSampler GetSampler(uint32_t colorType, uint32_t bitDepth, uint32_t channels) {
  if (colorType == ColorTypeIndexed || !IsValidFormat(colorType, bitDepth, channels)) return nullptr;
  return &SampleBilinear;
}

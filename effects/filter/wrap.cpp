#include "effects/filter/wrap.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "effects/frame.h"

namespace {

// ---- wrap -------------------------------------------------------------------

// Smoothing radii past this only matter for wrapped windows, where they
// would overflow the sums; larger ones are limited to it.
constexpr int64_t kMaxSmoothness = 1 << 20;

// Where the window [x - s, x + s] of a line of n values lies, in terms of
// the line's prefix sums P(0..n): the sum is Rounds x P(n) + P(E1) - P(S1)
// + P(E2) - P(S2). A wrapped window may go round the line several times.
struct WindowPlan {
  int64_t S1 = 0, E1 = 0, S2 = 0, E2 = 0;
  int64_t Rounds = 0, Count = 0;
};

bool PlanWindows(frame::Buffer<WindowPlan>& plans, int64_t n, int64_t s, bool wrap) {
  if (!plans.Allocate(n)) return false;
  for (int64_t x = 0; x < n; ++x) {
    WindowPlan& p = plans[x];
    if (!wrap) {
      p.S1 = std::max<int64_t>(0, x - s);
      p.E1 = std::min<int64_t>(n - 1, x + s) + 1;
      p.Count = p.E1 - p.S1;
      continue;
    }
    const int64_t length = 2 * s + 1;
    const int64_t rest = length % n;
    const int64_t start = frame::WrapIndex(x - s, static_cast<int32_t>(n));
    p.Rounds = length / n;
    p.Count = length;
    p.S1 = start;
    if (start + rest <= n) {
      p.E1 = start + rest;
    } else {
      p.E1 = n;
      p.E2 = start + rest - n;
    }
  }
  return true;
}

template <class Prefix>
int64_t WindowSum(const WindowPlan& p, Prefix&& prefix, int64_t n) {
  return p.Rounds * prefix(n) + (prefix(p.E1) - prefix(p.S1)) + (prefix(p.E2) - prefix(p.S2));
}

// Replaces each value of a w x h array by its mean over the (2s + 1)^2
// window, truncated toward zero; the window is cut at the array's edges or
// wraps around it. Prefix sums make the cost independent of s.
bool BoxAverage(int32_t* v, int32_t w, int32_t h, int64_t s, bool wrap) {
  s = wrap ? std::min(s, kMaxSmoothness) : std::min<int64_t>(s, std::max(w, h));
  frame::Buffer<int64_t> down, prefix;
  frame::Buffer<WindowPlan> across, along;
  if (!down.Allocate(static_cast<int64_t>(w) * h) || !prefix.Allocate(w + 1) || !PlanWindows(across, w, s, wrap) ||
      !PlanWindows(along, h, s, wrap))
    return false;
  // Row window sums, accumulated downward: row y of `down` sums rows 0..y.
  for (int32_t y = 0; y < h; ++y) {
    const int32_t* line = v + static_cast<size_t>(y) * w;
    int64_t* out = &down[static_cast<int64_t>(y) * w];
    prefix[0] = 0;
    for (int32_t x = 0; x < w; ++x) prefix[x + 1] = prefix[x] + line[x];
    auto p = [&](int64_t i) { return prefix[i]; };
    for (int32_t x = 0; x < w; ++x) out[x] = WindowSum(across[x], p, w) + (y > 0 ? out[x - w] : 0);
  }
  for (int32_t y = 0; y < h; ++y) {
    int32_t* line = v + static_cast<size_t>(y) * w;
    const WindowPlan& plan = along[y];
    for (int32_t x = 0; x < w; ++x) {
      auto column = [&](int64_t i) { return i == 0 ? 0 : down[(i - 1) * w + x]; };
      line[x] = static_cast<int32_t>(WindowSum(plan, column, h) / (across[x].Count * plan.Count));
    }
  }
  return true;
}

int32_t WrapLuma(const uint8_t* p) { return static_cast<int32_t>((p[0] * 19672u + p[1] * 38621u + p[2] * 7500u) >> 16); }

// The highlight for one pair of scaled slopes.
double Highlight(double gx, double gy, int32_t exponent) {
  const double n1 = std::sqrt(gx * gx + 4.0);
  const double t1x = 2.0 / n1, t1y = 0.0 / n1, t1z = gx / n1;
  const double n2 = std::sqrt(gy * gy + 4.0);
  const double t2x = 0.0 / n2, t2y = -2.0 / n2, t2z = gy / n2;
  const double nx = t2y * t1z - t2z * t1y;
  const double ny = t2z * t1x - t2x * t1z;
  const double nz = t2x * t1y - t2y * t1x;
  const double s3 = std::sqrt(3.0);
  const double lx = -1.0 / s3, ly = -1.0 / s3, lz = 1.0 / s3;
  const double dot = nx * lx + ny * ly + nz * lz;
  const double rz = (2.0 * dot) * nz - lz;
  return std::pow(rz, static_cast<double>(exponent));
}

}  // namespace

const mvEffectClass& mvWrapEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvWrapEffect>(
      30, "mvWrapEffect",
      {Field("Relief", &mvWrapEffect::Relief).Describe("slope scale in tenths"),
       Field("Exponent", &mvWrapEffect::Exponent).Describe("power of the highlight"),
       Field("Smoothness", &mvWrapEffect::Smoothness).Describe("radius of the slope smoothing; 0 or less: none"),
       Field("Seamless", &mvWrapEffect::Seamless).Describe("reads and smoothing wrap around")});
  return c;
}

bool mvWrapEffect::Apply(mvPicture& source, mvPicture& target, mvProgress*) {
  // No progress steps: the effect has always run silent.
  frame::Frame f(source, target, nullptr);
  if (!f.Begin()) return f.Answer();
  if ((frame::FormatOf(source) & frame::kAnyRgb8) == 0) return true;
  const mvRect a = f.A;
  const int32_t w = a.Right - a.Left, h = a.Bottom - a.Top;
  const uint32_t C = source.Channels;
  frame::Buffer<int32_t> colMap, rowMap, gradX, gradY;
  const int64_t cells = static_cast<int64_t>(w) * h;
  if (!frame::IndexTable(colMap, a.Left - 1, w + 2, source.Width, Seamless) ||
      !frame::IndexTable(rowMap, a.Top - 1, h + 2, source.Height, Seamless) ||
      !gradX.Allocate(cells) || !gradY.Allocate(cells))
    return false;
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* above = source.Row(rowMap[y]);
    const uint8_t* here = source.Row(rowMap[y + 1]);
    const uint8_t* below = source.Row(rowMap[y + 2]);
    for (int32_t x = 0; x < w; ++x) {
      const int64_t i = static_cast<int64_t>(y) * w + x;
      gradX[i] = WrapLuma(here + static_cast<size_t>(colMap[x + 2]) * C) - WrapLuma(here + static_cast<size_t>(colMap[x]) * C);
      const size_t column = static_cast<size_t>(colMap[x + 1]) * C;
      gradY[i] = WrapLuma(above + column) - WrapLuma(below + column);
    }
  }
  if (Smoothness > 0 && (!BoxAverage(gradX.Get(), w, h, Smoothness, Seamless) ||
                         !BoxAverage(gradY.Get(), w, h, Smoothness, Seamless)))
    return false;
  int32_t lo = gradX[0], hi = gradX[0];
  for (int64_t i = 0; i < cells; ++i) {
    lo = std::min({lo, gradX[i], gradY[i]});
    hi = std::max({hi, gradX[i], gradY[i]});
  }
  if (lo == hi) return true;

  // Slopes lie in lo..hi (at most -255..255), so the highlight is worked out
  // once per pair of slopes that occurs.
  const int64_t span = static_cast<int64_t>(hi) - lo + 1;
  frame::Buffer<double> memo;
  frame::Buffer<uint8_t> known;
  if (!memo.Allocate(span * span) || !known.Allocate(span * span)) return false;
  std::memset(known.Get(), 0, static_cast<size_t>(span * span));
  const double k = static_cast<double>(Relief) / 10.0;
  const double range = static_cast<double>(hi - lo);
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* d = target.Row(a.Top + y) + static_cast<size_t>(a.Left) * C;
    const uint8_t* s = source.Row(a.Top + y) + static_cast<size_t>(a.Left) * C;
    for (int32_t x = 0; x < w; ++x, d += C, s += C) {
      const int64_t i = static_cast<int64_t>(y) * w + x;
      const int64_t slot = (gradX[i] - lo) * span + (gradY[i] - lo);
      if (!known[slot]) {
        const double gx = k * static_cast<double>(gradX[i]) / range;
        const double gy = k * static_cast<double>(gradY[i]) / range;
        memo[slot] = Highlight(gx, gy, Exponent);
        known[slot] = 1;
      }
      const double lift = 255.0 * memo[slot];
      for (int c = 0; c < 3; ++c) {
        const double v = static_cast<double>(s[c]) + lift;
        // Infinite highlights (negative exponents at a zero base) saturate.
        d[c] = !(v >= 0.0) ? 0 : (v >= 255.0 ? 255 : static_cast<uint8_t>(v));
      }
    }
  }
  return true;
}


#include "effects/filter/wrap.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>

#include "effects/frame.h"

// The picture's slopes (luma differences of the neighbours, -255..255),
// optionally averaged over a square window, scaled by their overall range
// and turned into a highlight added to every colour sample. The averages
// need every slope of their window and the scale needs every average, so
// the slopes are worked out twice, band by band: once for their range and
// once for the picture. No band keeps more than its own rows and a window
// of slope rows.

namespace {

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
    p = WindowPlan{};
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

int32_t WrapLuma(const uint8_t* p) {
  return static_cast<int32_t>((p[0] * 19672u + p[1] * 38621u + p[2] * 7500u) >> 16);
}

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

// trunc(n / d) for the window means: |n / d| <= 255 and 0 < d < 2^45, so n
// and d are exact doubles and the rounded quotient cannot reach the next
// integer (it errs by at most 2^-45, a non-integer quotient stays 1/d
// from either neighbour): the same value as the integer division, faster.
inline int32_t Mean(int64_t n, int64_t d) {
  return static_cast<int32_t>(static_cast<double>(n) / static_cast<double>(d));
}

// What the whole area shares: edge maps, window plans, the scale.
struct WrapPlan {
  const mvPicture* Source = nullptr;
  int32_t W = 0, H = 0;
  int64_t S = 0;  // smoothing radius; 0: none (a window of one)
  bool Wrap = false;
  frame::Buffer<int32_t> ColMap, RowMap;    // picture positions of area -1 .. side
  frame::Buffer<WindowPlan> Across, Along;  // smoothing windows of each column and row
  int64_t WindowRows = 0;                   // rows of a vertical window beyond its whole rounds
};

// One band's rows of smoothed slopes, y0 .. y1 of the area, handed to
// `use(y, gx, gy)` row by row. The vertical window sums slide down the band
// from sums made afresh at its top: integers, so a band does not depend on
// the bands before it.
class SlopeRows {
public:
  explicit SlopeRows(const WrapPlan& plan) : P(plan) {}

  template <class Use>
  bool Run(int32_t y0, int32_t y1, Use&& use) {
    const int64_t w = P.W;
    // Rows of horizontal sums the window holds at once; kept in a ring when
    // few, made again when they leave otherwise.
    const int64_t cap = P.WindowRows <= kRingRows ? P.WindowRows : 0;
    if (!Prefix.Allocate(w + 1) || !GradX.Allocate(w) || !GradY.Allocate(w) || !SumX.Allocate(w) || !SumY.Allocate(w) ||
        !VX.Allocate(w) || !VY.Allocate(w) || !OutX.Allocate(w) || !OutY.Allocate(w) ||
        !RingX.Allocate(std::max<int64_t>(cap, 1) * w) || !RingY.Allocate(std::max<int64_t>(cap, 1) * w) ||
        !Luma.Allocate(kLumaRows * (w + 2)))
      return false;
    std::fill(LumaRow, LumaRow + kLumaRows, -1);
    std::fill(LumaUsed, LumaUsed + kLumaRows, 0);
    std::fill(VX.Get(), VX.Get() + w, 0);
    std::fill(VY.Get(), VY.Get() + w, 0);
    Head = Count = 0;
    const WindowPlan& first = P.Along[y0];
    if (first.Rounds > 0) {
      // Whole rounds of the column: every row once, times Rounds.
      for (int64_t t = 0; t < P.H; ++t) Add(t, first.Rounds, false);
    }
    for (int64_t t = first.S1; t < first.E1; ++t) Add(t, 1, cap > 0);
    for (int64_t t = first.S2; t < first.E2; ++t) Add(t, 1, cap > 0);
    for (int32_t y = y0; y < y1; ++y) {
      const WindowPlan& plan = P.Along[y];
      for (int64_t x = 0; x < w; ++x) {
        const int64_t d = P.Across[x].Count * plan.Count;
        OutX[x] = Mean(VX[x], d);
        OutY[x] = Mean(VY[x], d);
      }
      if (!use(y, OutX.Get(), OutY.Get())) return false;
      if (y + 1 == y1) break;
      // Slide one row down: the window's first row leaves, one enters.
      const WindowPlan& next = P.Along[y + 1];
      if (P.Wrap) {
        if (P.WindowRows == 0) continue;
        Leave(plan.S1, cap);
        Add(frame::WrapIndex(plan.S1 + P.WindowRows, P.H), 1, cap > 0);
      } else {
        if (next.S1 > plan.S1) Leave(plan.S1, cap);
        if (next.E1 > plan.E1) Add(plan.E1, 1, cap > 0);
      }
    }
    return true;
  }

private:
  static constexpr int64_t kRingRows = 64;
  static constexpr int kLumaRows = 6;

  // The luma of picture row `row` at the area's columns -1 .. W. The least
  // recently used row makes room, never one of the three a slope row reads.
  const int32_t* LumaOf(int32_t row) {
    ++Clock;
    for (int i = 0; i < kLumaRows; ++i)
      if (LumaRow[i] == row) {
        LumaUsed[i] = Clock;
        return &Luma[i * (P.W + 2)];
      }
    int slot = 0;
    for (int i = 1; i < kLumaRows; ++i)
      if (LumaUsed[i] < LumaUsed[slot]) slot = i;
    LumaRow[slot] = row;
    LumaUsed[slot] = Clock;
    int32_t* l = &Luma[slot * (P.W + 2)];
    const uint8_t* line = P.Source->Row(row);
    const uint32_t c = P.Source->Channels;
    for (int64_t e = 0; e < P.W + 2; ++e) l[e] = WrapLuma(line + static_cast<size_t>(P.ColMap[e]) * c);
    return l;
  }

  // The horizontal window sums of area row t's slopes into SumX, SumY.
  void RowSums(int64_t t) {
    const int64_t w = P.W;
    const int32_t* above = LumaOf(P.RowMap[t]);
    const int32_t* here = LumaOf(P.RowMap[t + 1]);
    const int32_t* below = LumaOf(P.RowMap[t + 2]);
    for (int64_t x = 0; x < w; ++x) {
      GradX[x] = here[x + 2] - here[x];
      GradY[x] = above[x + 1] - below[x + 1];
    }
    for (int pass = 0; pass < 2; ++pass) {
      const int32_t* g = pass == 0 ? GradX.Get() : GradY.Get();
      int32_t* out = pass == 0 ? SumX.Get() : SumY.Get();
      Prefix[0] = 0;
      for (int64_t x = 0; x < w; ++x) Prefix[x + 1] = Prefix[x] + g[x];
      const int64_t total = Prefix[w];
      auto general = [&](int64_t from, int64_t to) {
        for (int64_t x = from; x < to; ++x) {
          const WindowPlan& p = P.Across[x];
          const int64_t sum = p.Rounds * total + (Prefix[p.E1] - Prefix[p.S1]) + (Prefix[p.E2] - Prefix[p.S2]);
          out[x] = static_cast<int32_t>(sum);  // within +-255 x (2s + 1)
        }
      };
      // Windows inside the row: the same sums, read straight.
      const int64_t from = std::min(P.S, w), to = std::max(from, w - P.S);
      general(0, from);
      const int64_t* ahead = Prefix.Get() + 2 * P.S + 1;
      const int64_t* behind = Prefix.Get();
      for (int64_t i = 0; i < to - from; ++i) out[from + i] = static_cast<int32_t>(ahead[i] - behind[i]);
      general(to, w);
    }
  }

  // Adds row t's sums `times` over to the window, and to the ring.
  void Add(int64_t t, int64_t times, bool keep) {
    RowSums(t);
    const int64_t w = P.W;
    for (int64_t x = 0; x < w; ++x) {
      VX[x] += times * SumX[x];
      VY[x] += times * SumY[x];
    }
    if (!keep) return;
    const int64_t slot = (Head + Count) % P.WindowRows;
    std::memcpy(&RingX[slot * w], SumX.Get(), sizeof(int32_t) * static_cast<size_t>(w));
    std::memcpy(&RingY[slot * w], SumY.Get(), sizeof(int32_t) * static_cast<size_t>(w));
    ++Count;
  }

  // Takes the window's oldest row, area row t, out again.
  void Leave(int64_t t, int64_t cap) {
    const int64_t w = P.W;
    const int32_t* sx = SumX.Get();
    const int32_t* sy = SumY.Get();
    if (cap > 0) {
      sx = &RingX[Head * w];
      sy = &RingY[Head * w];
      Head = (Head + 1) % P.WindowRows;
      --Count;
    } else {
      RowSums(t);
    }
    for (int64_t x = 0; x < w; ++x) {
      VX[x] -= sx[x];
      VY[x] -= sy[x];
    }
  }

  const WrapPlan& P;
  frame::Buffer<int64_t> Prefix, VX, VY;
  frame::Buffer<int32_t> GradX, GradY, SumX, SumY, OutX, OutY, RingX, RingY, Luma;
  int32_t LumaRow[kLumaRows] = {};
  int64_t LumaUsed[kLumaRows] = {};
  int64_t Clock = 0;
  int64_t Head = 0, Count = 0;
};

// Highlights as whole numbers to add to a sample, one per pair of slopes,
// worked out when first needed (by whichever band needs it: each value
// depends on its pair only). A sample s becomes s + lift limited to 0..255,
// where lift = 255 x highlight: a double whose fraction keeps clear of the
// next integer adds as its floor for every s (s + lift rounds to within
// 2^-44 of its value below 512); the few that come closer keep the double.
class Lifts {
public:
  static constexpr int16_t kUnknown = std::numeric_limits<int16_t>::min();
  static constexpr int16_t kInexact = kUnknown + 1;
  static constexpr int64_t kSpan = 511;  // slopes -255 .. 255

  bool Allocate() {
    if (!Table.Allocate(kSpan * kSpan)) return false;
    for (int64_t i = 0; i < Table.Size; ++i) Table[i].store(kUnknown, std::memory_order_relaxed);
    return true;
  }

  int16_t Of(int32_t gx, int32_t gy, double k, double range, int32_t exponent) {
    std::atomic<int16_t>& slot = Table[(gx + 255) * kSpan + (gy + 255)];
    int16_t v = slot.load(std::memory_order_relaxed);
    if (v == kUnknown) {
      v = Whole(Lift(gx, gy, k, range, exponent));
      slot.store(v, std::memory_order_relaxed);
    }
    return v;
  }

  static double Lift(int32_t gx, int32_t gy, double k, double range, int32_t exponent) {
    return 255.0 * Highlight(k * static_cast<double>(gx) / range, k * static_cast<double>(gy) / range, exponent);
  }

  // One sample the way the highlight has always been added.
  static uint8_t Add(uint8_t s, double lift) {
    const double v = static_cast<double>(s) + lift;
    // Infinite highlights (negative exponents at a zero base) saturate.
    return !(v >= 0.0) ? 0 : (v >= 255.0 ? 255 : static_cast<uint8_t>(v));
  }

private:
  static int16_t Whole(double lift) {
    if (std::isnan(lift) || lift <= -512.0) return -512;
    if (lift >= 512.0) return 512;
    const double floor = std::floor(lift);
    if (lift - floor > 1.0 - 0x1p-40) return kInexact;
    return static_cast<int16_t>(floor);
  }

  frame::Buffer<std::atomic<int16_t>> Table;
};

}  // namespace

const mvEffectClass& mvWrapEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvWrapEffect>(
      30, "mvWrapEffect",
      {Field("Relief", &mvWrapEffect::Relief).Help("slope scale in tenths"),
       Field("Exponent", &mvWrapEffect::Exponent).Help("power of the highlight"),
       Field("Smoothness", &mvWrapEffect::Smoothness).Help("radius of the slope smoothing; 0 or less: none"),
       Field("Seamless", &mvWrapEffect::Seamless).Help("reads and smoothing wrap around")});
  return c;
}

bool mvWrapEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  // No progress steps: the effect has always run silent (a stop still ends
  // it between bands).
  frame::Frame f(source, target, progress);
  if (!f.Begin()) return f.Answer();
  if ((frame::FormatOf(source) & frame::kAnyRgb8) == 0) return true;
  WrapPlan plan;
  plan.Source = &source;
  plan.W = f.Cols();
  plan.H = f.Rows();
  plan.Wrap = Seamless;
  const int64_t smooth = Smoothness > 0 ? Smoothness : 0;
  plan.S = Seamless ? std::min(smooth, kMaxSmoothness) : std::min<int64_t>(smooth, std::max(plan.W, plan.H));
  if (!frame::IndexTable(plan.ColMap, f.A.Left - 1, plan.W + 2, source.Width, Seamless) ||
      !frame::IndexTable(plan.RowMap, f.A.Top - 1, plan.H + 2, source.Height, Seamless) ||
      !PlanWindows(plan.Across, plan.W, plan.S, Seamless) || !PlanWindows(plan.Along, plan.H, plan.S, Seamless))
    return false;
  plan.WindowRows = Seamless ? (2 * plan.S + 1) % plan.H : std::min<int64_t>(2 * plan.S + 1, plan.H);
  // Bands of at least the window's height, so that no band makes more than
  // about twice its own rows of slopes.
  const int64_t group = std::clamp<int64_t>(2 * plan.S, 1, plan.H);
  const int64_t groups = (plan.H + group - 1) / group;
  auto forBands = [&](auto&& band) {
    return f.ForSteps(groups, group * plan.W, [&](int64_t first, int64_t last) {
      SlopeRows rows(plan);
      return rows.Run(static_cast<int32_t>(first * group),
                      static_cast<int32_t>(std::min<int64_t>(last * group, plan.H)), band);
    });
  };

  // The range of the smoothed slopes, band by band.
  frame::Buffer<int32_t> rowLo, rowHi;
  if (!rowLo.Allocate(plan.H) || !rowHi.Allocate(plan.H)) return false;
  const bool ranged = forBands([&](int32_t y, const int32_t* gx, const int32_t* gy) {
    int32_t lo = gx[0], hi = gx[0];
    for (int32_t x = 0; x < plan.W; ++x) {
      lo = std::min({lo, gx[x], gy[x]});
      hi = std::max({hi, gx[x], gy[x]});
    }
    rowLo[y] = lo;
    rowHi[y] = hi;
    return true;
  });
  if (!ranged) return false;
  const int32_t lo = *std::min_element(rowLo.Get(), rowLo.Get() + plan.H);
  const int32_t hi = *std::max_element(rowHi.Get(), rowHi.Get() + plan.H);
  if (lo == hi) return true;

  Lifts lifts;
  if (!lifts.Allocate()) return false;
  const double k = static_cast<double>(Relief) / 10.0;
  const double range = static_cast<double>(hi - lo);
  const uint32_t C = source.Channels;
  return forBands([&](int32_t y, const int32_t* gx, const int32_t* gy) {
    const uint8_t* s = source.Row(f.A.Top + y) + static_cast<size_t>(f.A.Left) * C;
    uint8_t* d = target.Row(f.A.Top + y) + static_cast<size_t>(f.A.Left) * C;
    for (int32_t x = 0; x < plan.W; ++x, s += C, d += C) {
      const int32_t lift = lifts.Of(gx[x], gy[x], k, range, Exponent);
      if (lift == Lifts::kInexact) {
        const double exact = Lifts::Lift(gx[x], gy[x], k, range, Exponent);
        for (int c = 0; c < 3; ++c) d[c] = Lifts::Add(s[c], exact);
        continue;
      }
      for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>(std::clamp(s[c] + lift, 0, 255));
    }
    return true;
  });
}

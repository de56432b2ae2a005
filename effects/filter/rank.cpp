#include "effects/filter/rank.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "effects/frame.h"

namespace {

// Transparent pixels take no part in the rank choices.
template <class F>
bool Visible(const typename F::Sample* p) {
  if constexpr (F::kAlpha) return p[F::kChannels - 1] != 0;
  else return true;
}

template <class F>
void CopyColour(typename F::Sample* d, const typename F::Sample* s) {
  for (uint32_t c = 0; c < F::kColours; ++c) d[c] = s[c];
}

// The median's key spreads 8-bit luminance over the whole 32-bit range.
template <class F>
uint32_t MedianKey(const typename F::Sample* p) {
  if constexpr (!F::kRgb) return p[0];
  else if constexpr (F::kWide) return p[0] * 19596u + p[1] * 38470u + p[2] * 7471u;
  else return p[0] * 5036060u + p[1] * 9886846u + p[2] * 1920103u;
}

template <class F>
uint32_t RankKey(const typename F::Sample* p) {
  if constexpr (!F::kRgb) return p[0];
  else if constexpr (F::kWide) return p[0] * 19596u + p[1] * 38470u + p[2] * 7471u;
  else return (p[0] * 19672u + p[1] * 38621u + p[2] * 7500u) >> 8;
}

// How a window position outside the picture is treated.
enum class Edge : uint8_t {
  Wrap,               // modulo the side
  Cut,                // left out
  CutLeftClampRight,  // left out before the start, the last pixel repeated after the end
};

// Picture coordinates of the positions from .. from + count - 1 along a side
// of n pixels; -1 marks a position that is left out.
bool EdgeMap(frame::Buffer<int32_t>& out, int64_t from, int64_t count, int32_t n, Edge edge) {
  if (!out.Allocate(count)) return false;
  for (int64_t i = 0; i < count; ++i) {
    const int64_t c = from + i;
    if (edge == Edge::Wrap) out[i] = frame::WrapIndex(c, n);
    else if (c < 0 || (edge == Edge::Cut && c >= n)) out[i] = -1;
    else out[i] = frame::ClampIndex(c, n);
  }
  return true;
}

// ---- median -----------------------------------------------------------------

template <class S>
struct Candidate {
  uint32_t Key;
  const S* Pixel;
};

// Puts the entry with the k-th smallest key at a[k]: median of three to
// position l + 1, inward scans with strict comparisons, then the side
// holding k. The exact swaps matter: they decide which of several pixels
// with equal keys is chosen.
template <class C>
void SelectKth(C* a, int64_t n, int64_t k) {
  int64_t l = 0, r = n - 1;
  while (r - l + 1 > 2) {
    const int64_t m = (l + r) / 2;
    if (a[r].Key < a[l].Key) std::swap(a[l], a[r]);
    if (a[r].Key < a[m].Key) std::swap(a[m], a[r]);
    if (a[m].Key < a[l].Key) std::swap(a[l], a[m]);
    std::swap(a[m], a[l + 1]);
    const C pivot = a[l + 1];
    int64_t i = l + 1, j = r;
    for (;;) {
      // a[r] >= pivot and a[l] <= pivot stop both scans inside l..r.
      do ++i;
      while (a[i].Key < pivot.Key);
      do --j;
      while (a[j].Key > pivot.Key);
      if (j < i) break;
      std::swap(a[i], a[j]);
    }
    a[l + 1] = a[j];
    a[j] = pivot;
    if (j == k) return;
    if (j < k) l = j + 1;
    else r = j - 1;
  }
  if (r - l + 1 == 2 && a[r].Key < a[l].Key) std::swap(a[l], a[r]);
}

struct MedianPlan {
  int64_t R = 1;
  bool Wrap = false;
  frame::Buffer<int32_t> RowMap, ColMap;  // window positions of the area, -1 where cut
  int64_t Most = 0;                       // candidates a window can hold
};

template <class F>
bool MedianBand(const MedianPlan& plan, const mvPicture& src, mvPicture& dst, const mvRect& a, int32_t top,
                int32_t bottom) {
  using S = typename F::Sample;
  const int64_t side = 2 * plan.R + 1;
  frame::Buffer<Candidate<S>> list;
  if (!list.Allocate(plan.Most)) return false;
  for (int32_t y = top; y < bottom; ++y) {
    const int32_t* rows = &plan.RowMap[y - a.Top];
    for (int32_t x = a.Left; x < a.Right; ++x) {
      const int32_t* cols = &plan.ColMap[x - a.Left];
      int64_t n = 0;
      for (int64_t j = 0; j < side; ++j) {
        if (rows[j] < 0) continue;
        const S* line = frame::RowOf<F>(src, rows[j]);
        for (int64_t i = 0; i < side; ++i) {
          if (cols[i] < 0) continue;
          const S* p = line + static_cast<size_t>(cols[i]) * F::kChannels;
          if (!Visible<F>(p)) continue;
          list[n++] = Candidate<S>{MedianKey<F>(p), p};
        }
      }
      if (n == 0) continue;
      const int64_t k = (n - 1) / 2;
      SelectKth(list.Get(), n, k);
      CopyColour<F>(frame::PixelAt<F>(dst, x, y), list[k].Pixel);
    }
  }
  return true;
}

// ---- minimum and maximum ----------------------------------------------------

// The sliding window of the rank passes: a ring of entries, oldest first
// from Head. The winner is the earliest entry with the best key; it is only
// searched again when it leaves.
struct RankRing {
  frame::Buffer<uint32_t> Key;
  frame::Buffer<int32_t> Pos;
  frame::Buffer<uint8_t> Valid;
  int64_t Size = 0;
  bool Allocate(int64_t n) {
    Size = n;
    return Key.Allocate(n) && Pos.Allocate(n) && Valid.Allocate(n);
  }
};

// Slides the window along one line (the whole picture line in `line`),
// giving `outputs` results; map[i .. i + ring.Size - 1] are the line
// positions of output i's window. put(i, pixel) writes a winner.
template <class F, bool Max, class Put>
void RankLine(const typename F::Sample* line, const int32_t* map, int64_t outputs, RankRing& ring, Put&& put) {
  using S = typename F::Sample;
  const int64_t n = ring.Size;
  auto better = [](uint32_t a, uint32_t b) { return Max ? a > b : a < b; };
  auto load = [&](int64_t slot, int32_t pos) {
    if (pos < 0) {
      ring.Valid[slot] = 0;
      return;
    }
    const S* p = line + static_cast<size_t>(pos) * F::kChannels;
    ring.Pos[slot] = pos;
    ring.Valid[slot] = Visible<F>(p) ? 1 : 0;
    ring.Key[slot] = RankKey<F>(p);
  };
  int64_t head = 0;
  auto scan = [&]() {
    int64_t best = -1;
    for (int64_t t = 0, s = head; t < n; ++t, s = (s + 1 == n ? 0 : s + 1))
      if (ring.Valid[s] && (best < 0 || better(ring.Key[s], ring.Key[best]))) best = s;
    return best;
  };
  for (int64_t j = 0; j < n; ++j) load(j, map[j]);
  int64_t winner = scan();
  for (int64_t i = 0; i < outputs; ++i) {
    if (i > 0) {
      const int64_t slot = head;
      const bool leaving = winner == slot;
      load(slot, map[i + n - 1]);
      head = head + 1 == n ? 0 : head + 1;
      if (leaving) winner = scan();
      else if (ring.Valid[slot] && (winner < 0 || better(ring.Key[slot], ring.Key[winner]))) winner = slot;
    }
    if (winner >= 0) put(i, line + static_cast<size_t>(ring.Pos[winner]) * F::kChannels);
  }
}

template <class F, bool Max>
bool RankRows(const mvPicture& src, mvPicture& dst, const mvRect& a, const frame::Buffer<int32_t>& colMap,
              int64_t side, int32_t top, int32_t bottom) {
  using S = typename F::Sample;
  RankRing ring;
  if (!ring.Allocate(side)) return false;
  for (int32_t y = top; y < bottom; ++y) {
    S* out = frame::PixelAt<F>(dst, a.Left, y);
    RankLine<F, Max>(frame::RowOf<F>(src, y), colMap.Get(), a.Right - a.Left, ring,
                     [&](int64_t i, const S* p) { CopyColour<F>(out + static_cast<size_t>(i) * F::kChannels, p); });
  }
  return true;
}

// Columns first .. last of the area, down the first pass's result. Each
// column is copied out first, so the pass reads it as the first pass left it.
template <class F, bool Max>
bool RankColumns(mvPicture& dst, const mvRect& a, const frame::Buffer<int32_t>& rowMap, int64_t side, int64_t first,
                 int64_t last) {
  using S = typename F::Sample;
  frame::Buffer<S> column;
  RankRing ring;
  if (!column.Allocate(static_cast<int64_t>(dst.Height) * F::kChannels) || !ring.Allocate(side)) return false;
  for (int64_t c = first; c < last; ++c) {
    const int32_t x = a.Left + static_cast<int32_t>(c);
    for (int32_t y = 0; y < dst.Height; ++y)
      std::memcpy(column.Get() + static_cast<size_t>(y) * F::kChannels, frame::PixelAt<F>(dst, x, y),
                  sizeof(S) * F::kChannels);
    RankLine<F, Max>(column.Get(), rowMap.Get(), a.Bottom - a.Top, ring, [&](int64_t i, const S* p) {
      CopyColour<F>(frame::PixelAt<F>(dst, x, a.Top + static_cast<int32_t>(i)), p);
    });
  }
  return true;
}

template <bool Max>
bool ApplyRank(mvPicture& source, mvPicture& target, mvProgress* progress, uint32_t radius, bool seamless) {
  frame::Frame f(source, target, progress);
  if (!f.Begin()) return f.Answer();
  // One step per row of the first pass, one per column of the second.
  f.Announce(static_cast<int64_t>(f.Cols()) + f.Rows());
  const int64_t r = frame::LimitRadius(radius, source);
  const int64_t side = 2 * r + 1;
  const Edge edge = seamless ? Edge::Wrap : Edge::CutLeftClampRight;
  frame::Buffer<int32_t> colMap, rowMap;
  return f.Dispatch(frame::kRgbOrGray, [&](auto fmt) {
    using F = decltype(fmt);
    if (!EdgeMap(colMap, f.A.Left - r, f.Cols() + 2 * r, source.Width, edge) ||
        !EdgeMap(rowMap, f.A.Top - r, f.Rows() + 2 * r, source.Height, edge))
      return false;
    return f.ForRows([&](int32_t top, int32_t bottom) {
             return RankRows<F, Max>(source, target, f.A, colMap, side, top, bottom);
           }) &&
           f.ForSteps(f.Cols(), source.Height, [&](int64_t first, int64_t last) {
             return RankColumns<F, Max>(target, f.A, rowMap, side, first, last);
           });
  });
}

}  // namespace

// ---- classes ----------------------------------------------------------------

const mvEffectClass& mvMedianEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvMedianEffect>(
      22, "mvMedianEffect",
      {Field("Radius", &mvMedianEffect::Radius).ZeroBecomesOne().Describe("window radius in pixels"),
       Field("Seamless", &mvMedianEffect::Seamless).Describe("the window wraps around the picture")});
  return c;
}

const mvEffectClass& mvMinimumEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvMinimumEffect>(
      23, "mvMinimumEffect",
      {Field("Radius", &mvMinimumEffect::Radius).ZeroBecomesOne().Describe("window radius in pixels"),
       Field("Seamless", &mvMinimumEffect::Seamless).Describe("the window wraps around the picture")});
  return c;
}

const mvEffectClass& mvMaximumEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvMaximumEffect>(
      24, "mvMaximumEffect",
      {Field("Radius", &mvMaximumEffect::Radius).ZeroBecomesOne().Describe("window radius in pixels"),
       Field("Seamless", &mvMaximumEffect::Seamless).Describe("the window wraps around the picture")});
  return c;
}

bool mvMedianEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  frame::Frame f(source, target, progress);
  if (!f.Begin()) return f.Answer();
  f.Announce(f.Rows());
  MedianPlan plan;
  plan.R = frame::LimitRadius(Radius, source);
  plan.Wrap = Seamless;
  const int64_t side = 2 * plan.R + 1;
  plan.Most = Seamless ? side * side
                       : std::min<int64_t>(side, source.Height) * std::min<int64_t>(side, source.Width);
  const Edge edge = Seamless ? Edge::Wrap : Edge::Cut;
  return f.Dispatch(frame::kRgbOrGray, [&](auto fmt) {
    using F = decltype(fmt);
    if (!EdgeMap(plan.RowMap, f.A.Top - plan.R, f.Rows() + 2 * plan.R, source.Height, edge) ||
        !EdgeMap(plan.ColMap, f.A.Left - plan.R, f.Cols() + 2 * plan.R, source.Width, edge))
      return false;
    return f.ForRows(
        [&](int32_t top, int32_t bottom) { return MedianBand<F>(plan, source, target, f.A, top, bottom); });
  });
}

bool mvMinimumEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  return ApplyRank<false>(source, target, progress, Radius, Seamless);
}

bool mvMaximumEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  return ApplyRank<true>(source, target, progress, Radius, Seamless);
}

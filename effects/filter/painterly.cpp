#include "effects/filter/painterly.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>

#include "effects/filter/families.h"
#include "effects/frame.h"

namespace {

// Picture coordinates of the positions from .. from + count - 1 along a
// side of n pixels: wrapped, clamped, or -1 (left out) when cut.
bool EdgeMap(frame::Buffer<int32_t>& out, int64_t from, int64_t count, int32_t n, bool wrap, bool cut) {
  if (!out.Allocate(count)) return false;
  for (int64_t i = 0; i < count; ++i) {
    const int64_t c = from + i;
    if (!wrap && cut) out[i] = (c < 0 || c >= n) ? -1 : static_cast<int32_t>(c);
    else out[i] = frame::EdgeIndex(c, n, wrap);
  }
  return true;
}

// ---- oil paint --------------------------------------------------------------

template <class F>
uint32_t Level(const typename F::Sample* p) {
  if constexpr (F::kRgb && F::kWide) return (p[0] * 77u + p[1] * 150u + p[2] * 29u) >> 16;
  else if constexpr (F::kRgb) return (p[0] * 19672u + p[1] * 38621u + p[2] * 7500u) >> 16;
  else if constexpr (F::kWide) return p[0] >> 8u;
  else return p[0];
}

// 256 level counters, cleared lazily: a counter whose stamp is not the
// current pixel's counts as zero.
struct LevelCounts {
  uint32_t Count[256];
  uint32_t Stamp[256];
  uint32_t Now = 0;
  void Next() {
    if (++Now == 0) {
      std::memset(Stamp, 0, sizeof Stamp);
      Now = 1;
    }
  }
  uint32_t Add(uint32_t level) {
    if (Stamp[level] != Now) {
      Stamp[level] = Now;
      Count[level] = 0;
    }
    return ++Count[level];
  }
};

// The rows and columns a window reaches, as picture positions: rows[d] and
// cols[d] are those of offsets d - R from the area's first row and column.
struct WindowMaps {
  int64_t R = 1;
  frame::Buffer<int32_t> Rows, Cols;
};

// Rings of level rows larger than this (huge radii) are not kept: the
// levels are then worked out at every visit.
constexpr int64_t kMaxLevelRing = int64_t{1} << 22;

// The level of a pixel; -1 for a transparent one.
template <class F>
int16_t LevelOrNone(const typename F::Sample* p) {
  if constexpr (F::kAlpha) {
    if (p[F::kChannels - 1] == 0) return -1;
  }
  return static_cast<int16_t>(Level<F>(p));
}

// The levels of a band's window rows are worked out once per row, in a
// ring of 2r + 1 rows (Ring), or at every visit.
template <class F, bool Ring>
bool OilPaintRows(const mvPicture& src, mvPicture& dst, const mvRect& a, const WindowMaps& maps, int32_t top,
                  int32_t bottom) {
  using S = typename F::Sample;
  const int64_t r = maps.R, side = 2 * r + 1, ext = maps.Cols.Size;
  constexpr bool ring = Ring;
  std::unique_ptr<LevelCounts> counts(new (std::nothrow) LevelCounts);
  frame::Buffer<int16_t> levels;
  if (!counts || !levels.Allocate(ring ? side * ext : 1)) return false;
  std::memset(counts->Stamp, 0, sizeof counts->Stamp);
  auto load = [&](int64_t t) {
    if constexpr (!ring) return;
    const S* line = frame::RowOf<F>(src, maps.Rows[t]);
    int16_t* l = &levels[(t % side) * ext];
    for (int64_t e = 0; e < ext; ++e) l[e] = LevelOrNone<F>(line + static_cast<size_t>(maps.Cols[e]) * F::kChannels);
  };
  const int64_t first = top - a.Top;
  for (int64_t t = first; t < first + side - 1; ++t) load(t);
  for (int32_t y = top; y < bottom; ++y) {
    const int64_t t0 = y - a.Top;
    load(t0 + side - 1);
    S* out = frame::PixelAt<F>(dst, a.Left, y);
    for (int64_t x = 0; x < a.Right - a.Left; ++x, out += F::kChannels) {
      counts->Next();
      uint32_t best = 0;
      int64_t chosenRow = -1, chosenCol = 0;
      auto visitRow = [&](int64_t k, int64_t from, int64_t to) {
        const int16_t* l = ring ? &levels[((t0 + k) % side) * ext + x] : nullptr;
        const S* line = ring ? nullptr : frame::RowOf<F>(src, maps.Rows[t0 + k]);
        for (int64_t c = from; c <= to; ++c) {
          int16_t level;
          if constexpr (ring) level = l[c];
          else level = LevelOrNone<F>(line + static_cast<size_t>(maps.Cols[x + c]) * F::kChannels);
          if (level < 0) continue;
          const uint32_t n = counts->Add(static_cast<uint32_t>(level));
          if (n > best) {
            best = n;
            chosenRow = k;
            chosenCol = c;
          }
        }
      };
      // The diamond from its top and bottom tips inward, the middle row last.
      for (int64_t k = 0; k < r; ++k) {
        visitRow(k, r - k, r + k);          // row y - r + k
        visitRow(2 * r - k, r - k, r + k);  // row y + r - k
      }
      visitRow(r, 0, 2 * r);
      // A window of transparent pixels leaves the target as it was.
      if (chosenRow < 0) continue;
      const S* chosen = frame::PixelAt<F>(src, maps.Cols[x + chosenCol], maps.Rows[t0 + chosenRow]);
      for (uint32_t c = 0; c < F::kColours; ++c) out[c] = chosen[c];
    }
  }
  return true;
}

template <class F>
bool OilPaintBand(const mvPicture& src, mvPicture& dst, const mvRect& a, const WindowMaps& maps, int32_t top,
                  int32_t bottom) {
  if ((2 * maps.R + 1) * maps.Cols.Size <= kMaxLevelRing) return OilPaintRows<F, true>(src, dst, a, maps, top, bottom);
  return OilPaintRows<F, false>(src, dst, a, maps, top, bottom);
}

// ---- watercolor -------------------------------------------------------------

// Box sums of per-pixel quantities: the colour samples (times alpha when the
// picture has alpha), then either the pixel count (no alpha) or the alpha
// and the count of non-transparent pixels.
template <class F>
struct BoxSums {
  static constexpr uint32_t kCount = F::kAlpha ? F::kColours + 2 : F::kColours + 1;

  // sum += (or -=) the quantities of pixel p.
  template <bool Plus>
  static void Add(const typename F::Sample* p, uint64_t* sum) {
    uint64_t q[kCount];
    if constexpr (F::kAlpha) {
      const uint64_t al = p[F::kChannels - 1];
      for (uint32_t c = 0; c < F::kColours; ++c) q[c] = p[c] * al;
      q[F::kColours] = al;
      q[F::kColours + 1] = al != 0 ? 1 : 0;
    } else {
      for (uint32_t c = 0; c < F::kColours; ++c) q[c] = p[c];
      q[F::kColours] = 1;
    }
    for (uint32_t j = 0; j < kCount; ++j) sum[j] = Plus ? sum[j] + q[j] : sum[j] - q[j];
  }
};

// floor(n / d) for the window means of 8-bit samples: n < 2^53 and d < 2^45
// with a quotient of at most 255, so the rounded double quotient stays
// short of the next integer; 16-bit sums divide as integers.
template <class F>
inline uint64_t MeanOf(uint64_t n, uint64_t d) {
  if constexpr (F::kWide) return n / d;
  // Both below 2^63: signed conversions, one instruction each.
  else
    return static_cast<uint64_t>(static_cast<int64_t>(static_cast<double>(static_cast<int64_t>(n)) /
                                                      static_cast<double>(static_cast<int64_t>(d))));
}

// One band of rows. Per picture column, the sums of the window's rows slide
// down the band; across them, the window's sums slide along each row. The
// sums start afresh at the band's top, and integer sums do not depend on
// the bands before it.
template <class F>
bool WatercolorBand(const mvPicture& src, mvPicture& dst, const mvRect& a, const WindowMaps& maps, uint32_t amount,
                    int32_t top, int32_t bottom) {
  using S = typename F::Sample;
  using Sums = BoxSums<F>;
  constexpr uint32_t Q = Sums::kCount;
  const int64_t side = 2 * maps.R + 1;
  const int64_t w = a.Right - a.Left;
  // The picture columns the windows read.
  int32_t lo = src.Width, hi = -1;
  for (int64_t e = 0; e < maps.Cols.Size; ++e)
    if (maps.Cols[e] >= 0) {
      lo = std::min(lo, maps.Cols[e]);
      hi = std::max(hi, maps.Cols[e]);
    }
  frame::Buffer<uint64_t> column;
  if (!column.Allocate(static_cast<int64_t>(hi - lo + 1) * Q)) return false;
  std::memset(column.Get(), 0, static_cast<size_t>(column.Size) * sizeof(uint64_t));
  auto slideRow = [&](int32_t py, auto plus) {
    if (py < 0) return;
    const S* p = frame::PixelAt<F>(src, lo, py);
    uint64_t* sum = column.Get();
    for (int32_t x = lo; x <= hi; ++x, p += F::kChannels, sum += Q) Sums::template Add<decltype(plus)::value>(p, sum);
  };
  const int32_t* rowMap = &maps.Rows[top - a.Top];
  for (int64_t j = 0; j < side; ++j) slideRow(rowMap[j], std::true_type{});
  const int64_t strength = amount;
  for (int32_t y = top; y < bottom; ++y) {
    const int64_t i = y - top;
    if (i > 0) {
      slideRow(rowMap[i - 1], std::false_type{});
      slideRow(rowMap[i + side - 1], std::true_type{});
    }
    uint64_t sum[Q] = {};
    auto slideColumn = [&](int32_t px, bool plus) {
      if (px < 0) return;
      const uint64_t* c = &column[static_cast<int64_t>(px - lo) * Q];
      for (uint32_t j = 0; j < Q; ++j) sum[j] = plus ? sum[j] + c[j] : sum[j] - c[j];
    };
    const int32_t* cols = maps.Cols.Get();
    for (int64_t j = 0; j < side; ++j) slideColumn(cols[j], true);
    const S* s = frame::PixelAt<F>(src, a.Left, y);
    S* d = frame::PixelAt<F>(dst, a.Left, y);
    for (int64_t x = 0; x < w; ++x, s += F::kChannels, d += F::kChannels) {
      if (x > 0) {
        slideColumn(cols[x - 1], false);
        slideColumn(cols[x + side - 1], true);
      }
      int64_t mean[3] = {0, 0, 0};
      if constexpr (F::kAlpha) {
        const uint64_t alphaSum = sum[F::kColours];
        uint64_t alpha = 0;
        if (alphaSum != 0) {
          for (uint32_t c = 0; c < F::kColours; ++c) mean[c] = static_cast<int64_t>(MeanOf<F>(sum[c], alphaSum));
          alpha = MeanOf<F>(alphaSum, sum[F::kColours + 1]);
        }
        d[F::kChannels - 1] = static_cast<S>(alpha);
      } else {
        for (uint32_t c = 0; c < F::kColours; ++c) mean[c] = static_cast<int64_t>(MeanOf<F>(sum[c], sum[F::kColours]));
      }
      for (uint32_t c = 0; c < F::kColours; ++c) {
        const int64_t v = s[c];
        const int64_t out = v - (strength * std::llabs(v - mean[c])) / 100;
        d[c] = static_cast<S>(out < 1 ? 0 : out);
      }
    }
  }
  return true;
}

// The painterly filters' frame: the window's row and column maps over the
// work area and its margins (cut: see EdgeMap), then band(fmt, maps, area,
// top, bottom) over the rows.
template <class Band>
bool RunWindowed(mvPicture& source, mvPicture& target, mvProgress* progress, uint32_t radius, bool seamless, bool cut,
                 Band&& band) {
  frame::Frame f(source, target, progress);
  if (!f.Begin()) return f.Answer();
  f.Announce(f.Rows());
  WindowMaps maps;
  maps.R = frame::LimitRadius(radius, source);
  return f.Dispatch(frame::kRgbOrGray, [&](auto fmt) {
    if (!EdgeMap(maps.Rows, f.A.Top - maps.R, f.Rows() + 2 * maps.R, source.Height, seamless, cut) ||
        !EdgeMap(maps.Cols, f.A.Left - maps.R, f.Cols() + 2 * maps.R, source.Width, seamless, cut))
      return false;
    return f.ForRows([&](int32_t top, int32_t bottom) { return band(fmt, maps, f.A, top, bottom); });
  });
}

}  // namespace

const mvEffectClass& mvOilPaintEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvOilPaintEffect>(
      192, "mvOilPaintEffect",
      {Field("Radius", &mvOilPaintEffect::Radius).ZeroBecomesOne().Help("half-diagonal of the diamond window"),
       Field("Seamless", &mvOilPaintEffect::Seamless).Help("the window wraps around the picture")});
  return c;
}

const mvEffectClass& mvWatercolorEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvWatercolorEffect>(
      193, "mvWatercolorEffect",
      {Field("Radius", &mvWatercolorEffect::Radius).ZeroBecomesOne().Help("window radius in pixels"),
       Field("Amount", &mvWatercolorEffect::Amount).ZeroBecomesOne().Help("strength in percent"),
       Field("Seamless", &mvWatercolorEffect::Seamless).Help("the window wraps around the picture")});
  return c;
}

bool mvOilPaintEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  return RunWindowed(source, target, progress, Radius, Seamless, false,
                     [&](auto fmt, const WindowMaps& maps, const mvRect& a, int32_t top, int32_t bottom) {
                       return OilPaintBand<decltype(fmt)>(source, target, a, maps, top, bottom);
                     });
}

bool mvWatercolorEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  return RunWindowed(source, target, progress, Radius, Seamless, true,
                     [&](auto fmt, const WindowMaps& maps, const mvRect& a, int32_t top, int32_t bottom) {
                       return WatercolorBand<decltype(fmt)>(source, target, a, maps, Amount, top, bottom);
                     });
}

void RegisterPainterlyEffects(mvEffectRegistry& registry) {
  registry.Add(mvOilPaintEffect::Describe());
  registry.Add(mvWatercolorEffect::Describe());
}

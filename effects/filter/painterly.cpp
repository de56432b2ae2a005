#include "effects/filter/painterly.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

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

template <class F>
bool OilPaintBand(const mvPicture& src, mvPicture& dst, const mvRect& a, const WindowMaps& maps, int32_t top,
                  int32_t bottom) {
  using S = typename F::Sample;
  const int64_t r = maps.R;
  std::unique_ptr<LevelCounts> counts(new (std::nothrow) LevelCounts);
  if (!counts) return false;
  std::memset(counts->Stamp, 0, sizeof counts->Stamp);
  for (int32_t y = top; y < bottom; ++y) {
    const int32_t* rows = &maps.Rows[y - a.Top];
    S* out = frame::PixelAt<F>(dst, a.Left, y);
    for (int32_t x = a.Left; x < a.Right; ++x, out += F::kChannels) {
      const int32_t* cols = &maps.Cols[x - a.Left];
      counts->Next();
      uint32_t best = 0;
      const S* chosen = nullptr;
      auto visitRow = [&](int64_t rowOffset, int64_t from, int64_t to) {
        const S* line = frame::RowOf<F>(src, rows[rowOffset]);
        for (int64_t c = from; c <= to; ++c) {
          const S* p = line + static_cast<size_t>(cols[c]) * F::kChannels;
          if constexpr (F::kAlpha) {
            if (p[F::kChannels - 1] == 0) continue;
          }
          const uint32_t n = counts->Add(Level<F>(p));
          if (n > best) {
            best = n;
            chosen = p;
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
      if (chosen)
        for (uint32_t c = 0; c < F::kColours; ++c) out[c] = chosen[c];
    }
  }
  return true;
}

// ---- watercolor -------------------------------------------------------------

// Box sums of per-pixel quantities: the colour samples (times alpha when the
// picture has alpha), then either the pixel count (no alpha) or the alpha
// and the count of non-transparent pixels.
template <class F>
struct BoxSums {
  static constexpr uint32_t kCount = F::kAlpha ? F::kColours + 2 : F::kColours + 1;

  static void Quantities(const typename F::Sample* p, uint64_t* q) {
    if constexpr (F::kAlpha) {
      const uint64_t al = p[F::kChannels - 1];
      for (uint32_t c = 0; c < F::kColours; ++c) q[c] = p[c] * al;
      q[F::kColours] = al;
      q[F::kColours + 1] = al != 0 ? 1 : 0;
    } else {
      for (uint32_t c = 0; c < F::kColours; ++c) q[c] = p[c];
      q[F::kColours] = 1;
    }
  }

  // Sums along one picture row for every output column of the region;
  // cols[i .. i + side - 1] are the positions of column i's window.
  static void Row(const typename F::Sample* line, const int32_t* cols, int64_t outputs, int64_t side, uint64_t* out) {
    uint64_t sum[kCount] = {};
    uint64_t q[kCount];
    auto add = [&](int32_t c, bool plus) {
      if (c < 0) return;
      Quantities(line + static_cast<size_t>(c) * F::kChannels, q);
      for (uint32_t j = 0; j < kCount; ++j) sum[j] = plus ? sum[j] + q[j] : sum[j] - q[j];
    };
    for (int64_t j = 0; j < side; ++j) add(cols[j], true);
    for (int64_t i = 0; i < outputs; ++i) {
      if (i > 0) {
        add(cols[i - 1], false);
        add(cols[i + side - 1], true);
      }
      std::memcpy(out + static_cast<size_t>(i) * kCount, sum, sizeof sum);
    }
  }
};

// One band of rows: the window's column sums start afresh at the band's
// top, so the band's (integer) sums do not depend on the bands before it.
template <class F>
bool WatercolorBand(const mvPicture& src, mvPicture& dst, const mvRect& a, const WindowMaps& maps, uint32_t amount,
                    int32_t top, int32_t bottom) {
  using S = typename F::Sample;
  using Sums = BoxSums<F>;
  constexpr uint32_t Q = Sums::kCount;
  const int64_t side = 2 * maps.R + 1;
  const int64_t w = a.Right - a.Left;
  frame::Buffer<uint64_t> window, row;
  if (!window.Allocate(w * Q) || !row.Allocate(w * Q)) return false;
  // Column sums of the window's rows, kept sliding down the band.
  auto addRow = [&](int32_t py, bool plus) {
    if (py < 0) return;
    Sums::Row(frame::RowOf<F>(src, py), maps.Cols.Get(), w, side, row.Get());
    for (int64_t i = 0; i < w * Q; ++i) window[i] = plus ? window[i] + row[i] : window[i] - row[i];
  };
  std::memset(window.Get(), 0, static_cast<size_t>(w * Q) * sizeof(uint64_t));
  const int32_t* rowMap = &maps.Rows[top - a.Top];
  for (int64_t j = 0; j < side; ++j) addRow(rowMap[j], true);
  const int64_t strength = amount;
  for (int32_t y = top; y < bottom; ++y) {
    const int64_t i = y - top;
    if (i > 0) {
      addRow(rowMap[i - 1], false);
      addRow(rowMap[i + side - 1], true);
    }
    const S* s = frame::PixelAt<F>(src, a.Left, y);
    S* d = frame::PixelAt<F>(dst, a.Left, y);
    for (int64_t x = 0; x < w; ++x, s += F::kChannels, d += F::kChannels) {
      const uint64_t* sum = &window[x * Q];
      int64_t mean[3] = {0, 0, 0};
      if constexpr (F::kAlpha) {
        const uint64_t alphaSum = sum[F::kColours];
        uint64_t alpha = 0;
        if (alphaSum != 0) {
          for (uint32_t c = 0; c < F::kColours; ++c) mean[c] = static_cast<int64_t>(sum[c] / alphaSum);
          alpha = alphaSum / sum[F::kColours + 1];
        }
        d[F::kChannels - 1] = static_cast<S>(alpha);
      } else {
        for (uint32_t c = 0; c < F::kColours; ++c) mean[c] = static_cast<int64_t>(sum[c] / sum[F::kColours]);
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

}  // namespace

const mvEffectClass& mvOilPaintEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvOilPaintEffect>(
      192, "mvOilPaintEffect",
      {Field("Radius", &mvOilPaintEffect::Radius).ZeroBecomesOne().Describe("half-diagonal of the diamond window"),
       Field("Seamless", &mvOilPaintEffect::Seamless).Describe("the window wraps around the picture")});
  return c;
}

const mvEffectClass& mvWatercolorEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvWatercolorEffect>(
      193, "mvWatercolorEffect",
      {Field("Radius", &mvWatercolorEffect::Radius).ZeroBecomesOne().Describe("window radius in pixels"),
       Field("Amount", &mvWatercolorEffect::Amount).ZeroBecomesOne().Describe("strength in percent"),
       Field("Seamless", &mvWatercolorEffect::Seamless).Describe("the window wraps around the picture")});
  return c;
}

bool mvOilPaintEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  frame::Frame f(source, target, progress);
  if (!f.Begin()) return f.Answer();
  f.Announce(f.Rows());
  WindowMaps maps;
  maps.R = frame::LimitRadius(Radius, source);
  return f.Dispatch(frame::kRgbOrGray, [&](auto fmt) {
    if (!EdgeMap(maps.Rows, f.A.Top - maps.R, f.Rows() + 2 * maps.R, source.Height, Seamless, false) ||
        !EdgeMap(maps.Cols, f.A.Left - maps.R, f.Cols() + 2 * maps.R, source.Width, Seamless, false))
      return false;
    return f.ForRows([&](int32_t top, int32_t bottom) {
      return OilPaintBand<decltype(fmt)>(source, target, f.A, maps, top, bottom);
    });
  });
}

bool mvWatercolorEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  frame::Frame f(source, target, progress);
  if (!f.Begin()) return f.Answer();
  f.Announce(f.Rows());
  WindowMaps maps;
  maps.R = frame::LimitRadius(Radius, source);
  return f.Dispatch(frame::kRgbOrGray, [&](auto fmt) {
    if (!EdgeMap(maps.Rows, f.A.Top - maps.R, f.Rows() + 2 * maps.R, source.Height, Seamless, true) ||
        !EdgeMap(maps.Cols, f.A.Left - maps.R, f.Cols() + 2 * maps.R, source.Width, Seamless, true))
      return false;
    return f.ForRows([&](int32_t top, int32_t bottom) {
      return WatercolorBand<decltype(fmt)>(source, target, f.A, maps, Amount, top, bottom);
    });
  });
}

void RegisterPainterlyEffects(mvEffectRegistry& registry) {
  registry.Add(mvOilPaintEffect::Describe());
  registry.Add(mvWatercolorEffect::Describe());
}

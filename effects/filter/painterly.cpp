#include "effects/filter/painterly.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "effects/filter/common_rows.h"
#include "effects/filter/families.h"

namespace {

// A heap array whose allocation failure is an answer, not an exception.
template <class T>
struct Buffer {
  std::unique_ptr<T[]> Data;
  bool Allocate(int64_t count) {
    if (count < 0 || static_cast<uint64_t>(count) > SIZE_MAX / sizeof(T)) return false;
    Data.reset(new (std::nothrow) T[static_cast<size_t>(count == 0 ? 1 : count)]);
    return Data != nullptr;
  }
  T& operator[](int64_t i) { return Data[static_cast<size_t>(i)]; }
  T* Get() { return Data.get(); }
};

// Pixel format as template parameters: sample type, channel count, RGB or gray.
template <class T, uint32_t C, bool Rgb>
struct Fmt {
  using Sample = T;
  static constexpr uint32_t kChannels = C;
  static constexpr bool kAlpha = (C % 2) == 0;
  static constexpr uint32_t kColours = Rgb ? 3 : 1;
  static constexpr bool kRgb = Rgb;
  static constexpr bool kWide = sizeof(T) == 2;
};

bool IsRgbOrGray(const mvPicture& p) {
  return (p.ColorType == ColorTypeRGB || p.ColorType == ColorTypeGray) &&
         IsValidFormat(p.ColorType, p.BitDepth, p.Channels) &&
         p.BitsPerPixel == static_cast<int32_t>(p.BitDepth * p.Channels);
}

template <class Fn>
bool WithRgbOrGray(const mvPicture& p, Fn&& fn) {
  const bool wide = p.BitDepth == 16;
  if (p.ColorType == ColorTypeRGB) {
    if (p.Channels == 4) return wide ? fn(Fmt<uint16_t, 4, true>{}) : fn(Fmt<uint8_t, 4, true>{});
    return wide ? fn(Fmt<uint16_t, 3, true>{}) : fn(Fmt<uint8_t, 3, true>{});
  }
  if (p.Channels == 2) return wide ? fn(Fmt<uint16_t, 2, false>{}) : fn(Fmt<uint8_t, 2, false>{});
  return wide ? fn(Fmt<uint16_t, 1, false>{}) : fn(Fmt<uint8_t, 1, false>{});
}

// Picture coordinates of the positions from .. from + count - 1 along a
// side of n pixels: wrapped, clamped, or -1 (left out) when cut.
bool EdgeMap(Buffer<int32_t>& out, int64_t from, int64_t count, int32_t n, bool wrap, bool cut) {
  if (!out.Allocate(count)) return false;
  for (int64_t i = 0; i < count; ++i) {
    const int64_t c = from + i;
    if (wrap) out[i] = rows::WrapIndex(c, n);
    else if (cut) out[i] = (c < 0 || c >= n) ? -1 : static_cast<int32_t>(c);
    else out[i] = rows::ClampIndex(c, n);
  }
  return true;
}

// Radii are limited so that a hostile value cannot make a window whose size
// overflows the sums or whose visit never ends in practice; a cut window
// past every side already covers the whole picture.
int64_t LimitRadius(uint32_t radius, const mvPicture& p) {
  int64_t limit = std::max<int64_t>({64, p.Width, p.Height});
  limit = std::min<int64_t>(limit, 16384);
  return std::min<int64_t>(radius, limit);
}

bool Begin(const mvPicture& source, const mvPicture& target, mvRect& area, bool& ok) {
  ok = rows::SameShape(source, target) && source.BitsPerPixel == target.BitsPerPixel;
  if (!ok) return false;
  return rows::ClipArea(source, area);
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

template <class F>
bool OilPaintKernel(const mvPicture& src, mvPicture& dst, const mvRect& a, int64_t r, bool wrap,
                    rows::RowProgress& steps) {
  using S = typename F::Sample;
  Buffer<int32_t> rowMap, colMap;
  if (!EdgeMap(rowMap, a.Top - r, (a.Bottom - a.Top) + 2 * r, src.Height, wrap, false) ||
      !EdgeMap(colMap, a.Left - r, (a.Right - a.Left) + 2 * r, src.Width, wrap, false))
    return false;
  std::unique_ptr<LevelCounts> counts(new (std::nothrow) LevelCounts);
  if (!counts) return false;
  std::memset(counts->Stamp, 0, sizeof counts->Stamp);
  for (int32_t y = a.Top; y < a.Bottom; ++y) {
    // rows[d] and cols[d] are the picture positions of offsets d - r.
    const int32_t* rows = &rowMap[y - a.Top];
    S* out = reinterpret_cast<S*>(dst.Row(y)) + static_cast<size_t>(a.Left) * F::kChannels;
    for (int32_t x = a.Left; x < a.Right; ++x, out += F::kChannels) {
      const int32_t* cols = &colMap[x - a.Left];
      counts->Next();
      uint32_t best = 0;
      const S* chosen = nullptr;
      auto visitRow = [&](int64_t rowOffset, int64_t from, int64_t to) {
        const S* line = reinterpret_cast<const S*>(src.Row(rows[rowOffset]));
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
    if (!steps.Step()) return false;
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

template <class F>
bool WatercolorKernel(const mvPicture& src, mvPicture& dst, const mvRect& a, int64_t r, uint32_t amount, bool wrap,
                      rows::RowProgress& steps) {
  using S = typename F::Sample;
  using Sums = BoxSums<F>;
  constexpr uint32_t Q = Sums::kCount;
  const int64_t side = 2 * r + 1;
  const int64_t w = a.Right - a.Left;
  Buffer<int32_t> rowMap, colMap;
  Buffer<uint64_t> window, row;
  if (!EdgeMap(rowMap, a.Top - r, (a.Bottom - a.Top) + 2 * r, src.Height, wrap, true) ||
      !EdgeMap(colMap, a.Left - r, w + 2 * r, src.Width, wrap, true) || !window.Allocate(w * Q) ||
      !row.Allocate(w * Q))
    return false;
  // Column sums of the window's rows, kept sliding down the region.
  auto addRow = [&](int32_t py, bool plus) {
    if (py < 0) return;
    Sums::Row(reinterpret_cast<const S*>(src.Row(py)), colMap.Get(), w, side, row.Get());
    for (int64_t i = 0; i < w * Q; ++i) window[i] = plus ? window[i] + row[i] : window[i] - row[i];
  };
  std::memset(window.Get(), 0, static_cast<size_t>(w * Q) * sizeof(uint64_t));
  for (int64_t j = 0; j < side; ++j) addRow(rowMap[j], true);
  const int64_t strength = amount;
  for (int32_t y = a.Top; y < a.Bottom; ++y) {
    const int64_t i = y - a.Top;
    if (i > 0) {
      addRow(rowMap[i - 1], false);
      addRow(rowMap[i + side - 1], true);
    }
    const S* s = reinterpret_cast<const S*>(src.Row(y)) + static_cast<size_t>(a.Left) * F::kChannels;
    S* d = reinterpret_cast<S*>(dst.Row(y)) + static_cast<size_t>(a.Left) * F::kChannels;
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
    if (!steps.Step()) return false;
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
  mvRect a;
  bool ok;
  if (!Begin(source, target, a, ok)) return ok;
  rows::RowProgress steps(progress, a.Bottom - a.Top);
  if (!IsRgbOrGray(source)) return true;
  const int64_t r = LimitRadius(Radius, source);
  return WithRgbOrGray(source, [&](auto f) { return OilPaintKernel<decltype(f)>(source, target, a, r, Seamless, steps); });
}

bool mvWatercolorEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  mvRect a;
  bool ok;
  if (!Begin(source, target, a, ok)) return ok;
  rows::RowProgress steps(progress, a.Bottom - a.Top);
  if (!IsRgbOrGray(source)) return true;
  const int64_t r = LimitRadius(Radius, source);
  return WithRgbOrGray(
      source, [&](auto f) { return WatercolorKernel<decltype(f)>(source, target, a, r, Amount, Seamless, steps); });
}

void RegisterPainterlyEffects(mvEffectRegistry& registry) {
  registry.Add(mvOilPaintEffect::Describe());
  registry.Add(mvWatercolorEffect::Describe());
}

#include "core/blend.h"

#include <cstddef>
#include <cstring>
#include <utility>

#include "core/color.h"
#include "core/picture.h"

// Row blending. Every combination of mode, depth, colour count and alpha
// presence gets its own loop, chosen once per row; the per-sample functions
// are written once and instantiated for both depths through the traits below.
//
// 16-bit per-sample functions are the 8-bit ones with 255 -> 65535, 256 ->
// 65536, R255 -> R65535 and shifts by 8 -> shifts by 16: mode 2 is
// min(65535, d * 65536 / (s + 1)), mode 10 switches at s < 32769 and uses
// 131071 for 511, mode 11 wraps modulo 65536, mode 12 divides by 65536 - s,
// mode 13 is 65535 + (d - 65535) * 65536 / (s + 1) clamped. Products run in
// 64 bits, so nothing can overflow; mode 9 and mode 11's product stay within
// 0..65535 for every input pair (checked exhaustively), so they need no clamp.

namespace {

// Calls fn(0) .. fn(N - 1) unrolled; -O2 leaves short counted loops rolled,
// which costs a trip through memory per sample.
template <uint32_t N, class Fn>
inline void ForEachSample(Fn&& fn) {
  [&]<uint32_t... I>(std::integer_sequence<uint32_t, I...>) { (fn(I), ...); }
  (std::make_integer_sequence<uint32_t, N>{});
}

struct Depth8 {
  using Wide = uint32_t;  // every 8-bit product here stays below 2^17
  using SignedWide = int32_t;
  static constexpr uint32_t kMax = 255;
  static constexpr uint32_t kShift = 8;
  static constexpr uint32_t kBytes = 1;
  static constexpr uint32_t kHardSplit = 129;
  static constexpr uint32_t kHardTop = 511;
  // The weight of a row: k in 0..256, 256 standing for full opacity.
  static uint32_t Weight(uint32_t opacity, bool srcAlpha) {
    if (opacity == 65535) return 256;
    return opacity * (srcAlpha ? 257u : 256u) / 65535u;
  }

  static uint32_t Load(const uint8_t* p, uint32_t i) { return p[i]; }
  static void Store(uint8_t* p, uint32_t i, uint32_t v) { p[i] = static_cast<uint8_t>(v); }
  static uint32_t Round(uint32_t x) { return R255(x); }
  static uint32_t Floor(uint32_t x) { return F255(x); }
  // The row weight applied to an alpha (or to the headroom above one).
  static uint32_t Scale(uint32_t x, uint32_t k) { return (x * k) >> 8; }
  // Opacity-only mix for sources without alpha.
  static uint32_t Mix(uint32_t f, uint32_t d, uint32_t k) { return (f * k + d * (256 - k)) >> 8; }
};

struct Depth16 {
  using Wide = uint64_t;  // products of two or three 16-bit values
  using SignedWide = int64_t;
  static constexpr uint32_t kMax = 65535;
  static constexpr uint32_t kShift = 16;
  static constexpr uint32_t kBytes = 2;
  static constexpr uint32_t kHardSplit = 32769;
  static constexpr uint32_t kHardTop = 131071;
  // At 16 bits the opacity itself is the weight; 65535 is full opacity.
  static uint32_t Weight(uint32_t opacity, bool) { return opacity; }

  // memcpy keeps the access free of alignment and aliasing assumptions;
  // compilers turn it into a plain 16-bit load or store.
  static uint32_t Load(const uint8_t* p, uint32_t i) {
    uint16_t v;
    std::memcpy(&v, p + 2 * i, 2);
    return v;
  }
  static void Store(uint8_t* p, uint32_t i, uint32_t v) {
    const uint16_t w = static_cast<uint16_t>(v);
    std::memcpy(p + 2 * i, &w, 2);
  }
  static uint32_t Round(uint64_t x) { return static_cast<uint32_t>(R65535(x)); }
  static uint32_t Floor(uint64_t x) { return static_cast<uint32_t>(F65535(x)); }
  static uint32_t Scale(uint32_t x, uint32_t w) { return Round(uint64_t{x} * w); }
  static uint32_t Mix(uint32_t f, uint32_t d, uint32_t w) { return Floor(uint64_t{f} * w + uint64_t{d} * (65535 - w)); }
};

// With w = 65535 the 16-bit partial rules reduce exactly to the full-opacity
// ones (R65535(x * 65535) == x), just as k = 256 does at 8 bits, so one loop
// serves both and full opacity needs no loop of its own.

// ---- per-sample functions, modes 0 to 13 ----------------------------------

struct FNormal {
  template <class D>
  static uint32_t F(uint32_t, uint32_t s) {
    return s;
  }
};
struct FMultiply {
  template <class D>
  static uint32_t F(uint32_t d, uint32_t s) {
    return D::Round(typename D::Wide{d} * s);
  }
};
struct FDivide {
  template <class D>
  static uint32_t F(uint32_t d, uint32_t s) {
    const typename D::Wide q = typename D::Wide{d} * (D::kMax + 1) / (s + 1);
    return q < D::kMax ? static_cast<uint32_t>(q) : D::kMax;
  }
};
struct FDifference {
  template <class D>
  static uint32_t F(uint32_t d, uint32_t s) {
    return d > s ? d - s : s - d;
  }
};
struct FAdd {
  template <class D>
  static uint32_t F(uint32_t d, uint32_t s) {
    return d + s < D::kMax ? d + s : D::kMax;
  }
};
struct FSubtract {
  template <class D>
  static uint32_t F(uint32_t d, uint32_t s) {
    return d > s ? d - s : 0;
  }
};
struct FDarken {
  template <class D>
  static uint32_t F(uint32_t d, uint32_t s) {
    return d < s ? d : s;
  }
};
struct FLighten {
  template <class D>
  static uint32_t F(uint32_t d, uint32_t s) {
    return d > s ? d : s;
  }
};
struct FScreen {
  template <class D>
  static uint32_t F(uint32_t d, uint32_t s) {
    return D::kMax - D::Round(typename D::Wide{D::kMax - s} * (D::kMax - d));
  }
};
struct FSoftLight {
  template <class D>
  static uint32_t F(uint32_t d, uint32_t s) {
    using W = typename D::Wide;
    const uint32_t lift = D::Round(W{2} * s * (D::kMax - d));
    return D::Round(W{d} * (d + lift));
  }
};
struct FHardLight {
  template <class D>
  static uint32_t F(uint32_t d, uint32_t s) {
    using W = typename D::Wide;
    if (s < D::kHardSplit) {
      const W v = (W{2} * s * d) >> D::kShift;
      return v < D::kMax ? static_cast<uint32_t>(v) : D::kMax;
    }
    return D::kMax - static_cast<uint32_t>((W{D::kHardTop - 2 * s} * (D::kMax - d)) >> D::kShift);
  }
};
struct FScreenProduct {
  template <class D>
  static uint32_t F(uint32_t d, uint32_t s) {
    // The doubled product wraps modulo kMax + 1 on purpose; it is not clamped.
    const uint32_t screen = FScreen::F<D>(d, s);
    return (2 * D::Round(typename D::Wide{d} * screen)) & D::kMax;
  }
};
struct FColorDodge {
  template <class D>
  static uint32_t F(uint32_t d, uint32_t s) {
    const typename D::Wide q = typename D::Wide{d} * (D::kMax + 1) / (D::kMax + 1 - s);
    return q < D::kMax ? static_cast<uint32_t>(q) : D::kMax;
  }
};
struct FColorBurn {
  template <class D>
  static uint32_t F(uint32_t d, uint32_t s) {
    using SW = typename D::SignedWide;
    // Signed division truncates toward zero, as the burn curve expects.
    const SW v = SW{D::kMax} + (static_cast<SW>(d) - SW{D::kMax}) * SW{D::kMax + 1} / static_cast<SW>(s + 1);
    return v < 0 ? 0u : (v > SW{D::kMax} ? D::kMax : static_cast<uint32_t>(v));
  }
};

// Composers produce the whole "top" pixel f from the old destination and the
// source; the mixing loop then weights it against the destination.
template <class Fn, bool kNormal = false>
struct PerSample {
  static constexpr bool kIgnoresDestAlpha = kNormal;
  template <class D, uint32_t kColors>
  static void Compose(const uint32_t* d, const uint32_t* s, uint32_t* f) {
    ForEachSample<kColors>([&](uint32_t c) { f[c] = Fn::template F<D>(d[c], s[c]); });
  }
};

// ---- whole-pixel modes 14 to 17 (RGB, 8 bits) ----------------------------

struct ComposeColor {
  static constexpr bool kIgnoresDestAlpha = false;
  template <class D, uint32_t kColors>
  static void Compose(const uint32_t* d, const uint32_t* s, uint32_t* f) {
    static_assert(kColors == 3 && D::kMax == 255);
    uint8_t h, sat, l;
    RGBToHSLInt(static_cast<uint8_t>(s[0]), static_cast<uint8_t>(s[1]), static_cast<uint8_t>(s[2]), h, sat, l);
    uint32_t lo = d[0], hi = d[0];
    for (uint32_t c = 1; c < 3; ++c) {
      if (d[c] < lo) lo = d[c];
      if (d[c] > hi) hi = d[c];
    }
    const uint8_t lightness = static_cast<uint8_t>((lo + hi + 1) >> 1);
    uint8_t r, g, b;
    HSLIntToRGB(h, sat, lightness, r, g, b);
    f[0] = r;
    f[1] = g;
    f[2] = b;
  }
};

struct ComposeHue {
  static constexpr bool kIgnoresDestAlpha = false;
  template <class D, uint32_t kColors>
  static void Compose(const uint32_t* d, const uint32_t* s, uint32_t* f) {
    static_assert(kColors == 3 && D::kMax == 255);
    double hs, ss, vs, hd, sd, vd;
    RGBToHSV(static_cast<uint8_t>(s[0]), static_cast<uint8_t>(s[1]), static_cast<uint8_t>(s[2]), hs, ss, vs);
    RGBToHSV(static_cast<uint8_t>(d[0]), static_cast<uint8_t>(d[1]), static_cast<uint8_t>(d[2]), hd, sd, vd);
    // A grey source has no hue to give; the destination keeps its own.
    uint8_t r, g, b;
    HSVToRGB(ss != 0 ? hs : hd, sd, vd, r, g, b);
    f[0] = r;
    f[1] = g;
    f[2] = b;
  }
};

struct ComposeSaturation {
  static constexpr bool kIgnoresDestAlpha = false;
  template <class D, uint32_t kColors>
  static void Compose(const uint32_t* d, const uint32_t* s, uint32_t* f) {
    static_assert(kColors == 3 && D::kMax == 255);
    double hd, sd, vd;
    RGBToHSV(static_cast<uint8_t>(d[0]), static_cast<uint8_t>(d[1]), static_cast<uint8_t>(d[2]), hd, sd, vd);
    const double ss = SaturationOf(static_cast<uint8_t>(s[0]), static_cast<uint8_t>(s[1]), static_cast<uint8_t>(s[2]));
    uint8_t r, g, b;
    HSVToRGB(hd, ss, vd, r, g, b);
    f[0] = r;
    f[1] = g;
    f[2] = b;
  }
};

struct ComposeValue {
  static constexpr bool kIgnoresDestAlpha = false;
  template <class D, uint32_t kColors>
  static void Compose(const uint32_t* d, const uint32_t* s, uint32_t* f) {
    static_assert(kColors == 3 && D::kMax == 255);
    double hd, sd, vd;
    RGBToHSV(static_cast<uint8_t>(d[0]), static_cast<uint8_t>(d[1]), static_cast<uint8_t>(d[2]), hd, sd, vd);
    uint32_t top = s[0];
    if (s[1] > top) top = s[1];
    if (s[2] > top) top = s[2];
    const double vs = top / 255.0;
    uint8_t r, g, b;
    HSVToRGB(hd, sd, vs, r, g, b);
    f[0] = r;
    f[1] = g;
    f[2] = b;
  }
};

// ---- the mixing loop -------------------------------------------------------

// k is the row weight from D::Weight (never 0 here).
template <class Op, class D, uint32_t kColors, bool kDstAlpha, bool kSrcAlpha>
void BlendLoop(uint8_t* dst, const uint8_t* src, int32_t count, uint32_t k) {
  constexpr uint32_t kDstStep = (kColors + (kDstAlpha ? 1 : 0)) * D::kBytes;
  constexpr uint32_t kSrcStep = (kColors + (kSrcAlpha ? 1 : 0)) * D::kBytes;
  using W = typename D::Wide;
  for (int32_t i = 0; i < count; ++i, dst += kDstStep, src += kSrcStep) {
    uint32_t d[kColors], s[kColors], f[kColors];
    ForEachSample<kColors>([&](uint32_t c) {
      d[c] = D::Load(dst, c);
      s[c] = D::Load(src, c);
    });
    Op::template Compose<D, kColors>(d, s, f);
    if constexpr (!kSrcAlpha) {
      ForEachSample<kColors>([&](uint32_t c) { D::Store(dst, c, D::Mix(f[c], d[c], k)); });
      if constexpr (kDstAlpha) {
        const uint32_t da = D::Load(dst, kColors);
        D::Store(dst, kColors, da + D::Scale(D::kMax - da, k));
      }
    } else {
      const uint32_t sa = D::Load(src, kColors);
      uint32_t base = sa;
      uint32_t da = 0;
      if constexpr (kDstAlpha) {
        da = D::Load(dst, kColors);
        // Painting modes never cover more than the destination already
        // covers; plain painting (mode 0) is limited by the source alone.
        if (!Op::kIgnoresDestAlpha && da < sa) base = da;
      }
      const uint32_t a = D::Scale(base, k);
      ForEachSample<kColors>([&](uint32_t c) { D::Store(dst, c, D::Floor(W{f[c]} * a + W{d[c]} * (D::kMax - a))); });
      if constexpr (kDstAlpha) D::Store(dst, kColors, da + D::Round(W{D::kMax - da} * a));
    }
  }
}

template <class Op, class D, uint32_t kColors>
void DispatchAlpha(bool dstAlpha, bool srcAlpha, uint8_t* dst, const uint8_t* src, int32_t count, uint32_t k) {
  if (dstAlpha) {
    if (srcAlpha) BlendLoop<Op, D, kColors, true, true>(dst, src, count, k);
    else BlendLoop<Op, D, kColors, true, false>(dst, src, count, k);
  } else {
    if (srcAlpha) BlendLoop<Op, D, kColors, false, true>(dst, src, count, k);
    else BlendLoop<Op, D, kColors, false, false>(dst, src, count, k);
  }
}

template <class D, uint32_t kColors>
void DispatchMode(uint32_t mode, bool dstAlpha, bool srcAlpha, uint8_t* dst, const uint8_t* src, int32_t count,
                  uint32_t k) {
  switch (mode) {
    case BlendNormal:
      DispatchAlpha<PerSample<FNormal, true>, D, kColors>(dstAlpha, srcAlpha, dst, src, count, k);
      break;
    case BlendMultiply: DispatchAlpha<PerSample<FMultiply>, D, kColors>(dstAlpha, srcAlpha, dst, src, count, k); break;
    case BlendDivide: DispatchAlpha<PerSample<FDivide>, D, kColors>(dstAlpha, srcAlpha, dst, src, count, k); break;
    case BlendDifference:
      DispatchAlpha<PerSample<FDifference>, D, kColors>(dstAlpha, srcAlpha, dst, src, count, k);
      break;
    case BlendAdd: DispatchAlpha<PerSample<FAdd>, D, kColors>(dstAlpha, srcAlpha, dst, src, count, k); break;
    case BlendSubtract: DispatchAlpha<PerSample<FSubtract>, D, kColors>(dstAlpha, srcAlpha, dst, src, count, k); break;
    case BlendDarken: DispatchAlpha<PerSample<FDarken>, D, kColors>(dstAlpha, srcAlpha, dst, src, count, k); break;
    case BlendLighten: DispatchAlpha<PerSample<FLighten>, D, kColors>(dstAlpha, srcAlpha, dst, src, count, k); break;
    case BlendScreen: DispatchAlpha<PerSample<FScreen>, D, kColors>(dstAlpha, srcAlpha, dst, src, count, k); break;
    case BlendSoftLight:
      DispatchAlpha<PerSample<FSoftLight>, D, kColors>(dstAlpha, srcAlpha, dst, src, count, k);
      break;
    case BlendHardLight:
      DispatchAlpha<PerSample<FHardLight>, D, kColors>(dstAlpha, srcAlpha, dst, src, count, k);
      break;
    case BlendScreenProduct:
      DispatchAlpha<PerSample<FScreenProduct>, D, kColors>(dstAlpha, srcAlpha, dst, src, count, k);
      break;
    case BlendColorDodge:
      DispatchAlpha<PerSample<FColorDodge>, D, kColors>(dstAlpha, srcAlpha, dst, src, count, k);
      break;
    case BlendColorBurn:
      DispatchAlpha<PerSample<FColorBurn>, D, kColors>(dstAlpha, srcAlpha, dst, src, count, k);
      break;
    default:
      // Whole-pixel modes exist only for 8-bit RGB; other rows stay as they are.
      if constexpr (kColors == 3 && D::kMax == 255) {
        switch (mode) {
          case BlendColor: DispatchAlpha<ComposeColor, D, 3>(dstAlpha, srcAlpha, dst, src, count, k); break;
          case BlendHue: DispatchAlpha<ComposeHue, D, 3>(dstAlpha, srcAlpha, dst, src, count, k); break;
          case BlendSaturation: DispatchAlpha<ComposeSaturation, D, 3>(dstAlpha, srcAlpha, dst, src, count, k); break;
          case BlendValue: DispatchAlpha<ComposeValue, D, 3>(dstAlpha, srcAlpha, dst, src, count, k); break;
          default: break;
        }
      }
      break;
  }
}

// Indexes cannot be mixed, so an indexed row is either copied or left alone:
// from half opacity up, per pixel where the source is mostly opaque.
void BlendIndexedRow(uint32_t dstChannels, uint32_t srcChannels, uint8_t* dst, const uint8_t* src, uint32_t opacity,
                     int32_t count) {
  if (opacity < 32767) return;
  const bool dstAlpha = dstChannels == 2;
  if (srcChannels == 1) {
    for (int32_t i = 0; i < count; ++i, dst += dstChannels) {
      dst[0] = src[i];
      if (dstAlpha) dst[1] = 255;
    }
    return;
  }
  for (int32_t i = 0; i < count; ++i, dst += dstChannels, src += 2) {
    if (src[1] <= 127) continue;
    dst[0] = src[0];
    if (dstAlpha) dst[1] = src[1];
  }
}

bool ChannelsFit(uint32_t type, uint32_t channels) {
  if (type == ColorTypeRGB) return channels == 3 || channels == 4;
  return channels == 1 || channels == 2;  // gray and indexed
}

template <class D>
void BlendDepth(uint32_t mode, uint32_t type, uint32_t dstChannels, uint32_t srcChannels, uint8_t* dst,
                const uint8_t* src, uint32_t opacity, int32_t count) {
  const bool dstAlpha = (dstChannels & 1u) == 0;
  const bool srcAlpha = (srcChannels & 1u) == 0;
  if (mode == BlendNormal && opacity == 65535 && !srcAlpha && dstChannels == srcChannels) {
    // Opaque paint over an identical format is a copy; memmove tolerates a
    // row blended onto itself.
    std::memmove(dst, src, static_cast<size_t>(count) * dstChannels * D::kBytes);
    return;
  }
  const uint32_t k = D::Weight(opacity, srcAlpha);
  if (k == 0) return;  // too faint to change any sample
  if (type == ColorTypeRGB) DispatchMode<D, 3>(mode, dstAlpha, srcAlpha, dst, src, count, k);
  else DispatchMode<D, 1>(mode, dstAlpha, srcAlpha, dst, src, count, k);
}

}  // namespace

bool BlendRow(uint32_t mode, uint32_t dstChannels, uint32_t srcChannels, uint8_t* dst, uint32_t dstType,
              uint32_t dstDepth, const uint8_t* src, uint32_t srcType, uint32_t srcDepth, const uint8_t* srcPalette,
              uint32_t opacity, int32_t count) {
  (void)srcPalette;  // indexes are copied, never looked up
  if (dstType != srcType || dstDepth != srcDepth || opacity > 65535) return false;
  if (opacity == 0 || count <= 0 || mode >= BlendModeCount) return true;
  // Rows that no picture could have are left alone rather than misread.
  if (dst == nullptr || src == nullptr) return true;
  if (dstType > ColorTypeIndexed || !ChannelsFit(dstType, dstChannels) || !ChannelsFit(srcType, srcChannels))
    return true;
  if (dstDepth != 8 && dstDepth != 16) return true;

  if (dstType == ColorTypeIndexed) {
    if (mode == BlendNormal && dstDepth == 8) BlendIndexedRow(dstChannels, srcChannels, dst, src, opacity, count);
    return true;
  }
  if (dstDepth == 8) BlendDepth<Depth8>(mode, dstType, dstChannels, srcChannels, dst, src, opacity, count);
  else BlendDepth<Depth16>(mode, dstType, dstChannels, srcChannels, dst, src, opacity, count);
  return true;
}

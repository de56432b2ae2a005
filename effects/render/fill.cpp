#include "effects/render/fill.h"

#include <cmath>
#include <cstdlib>
#include <memory>

#include "core/blend.h"
#include "effects/render/paint.h"

using render::ByDepth;
using render::ClipArea;
using render::PaintColor;
using render::SameLayout;
using render::ToPictureColor;

namespace {

// Everything the row-buffer frame needs to know about the picture.
struct Frame {
  mvRect A;
  int32_t W = 0, H = 0;
  uint32_t Colours = 3;     // colour samples per pixel (3 RGB, 1 gray)
  uint32_t BufChannels = 4;  // the buffer always carries an alpha sample
  PaintColor C1, C2;
};

// Prepares the frame; false when there is nothing to paint (format the
// render effects do not handle, empty area, colours without a form here).
bool Setup(const mvPicture& source, const mvPicture& target, const mvColor& c1, const mvColor& c2, Frame& f) {
  if (!SameLayout(source, target) || !render::IsPaintable(target)) return false;
  if (!ClipArea(source, f.A)) return false;
  f.W = f.A.Right - f.A.Left;
  f.H = f.A.Bottom - f.A.Top;
  f.Colours = target.ColorType == ColorTypeGray ? 1 : 3;
  f.BufChannels = f.Colours + 1;
  f.C1 = ToPictureColor(target, c1);
  f.C2 = ToPictureColor(target, c2);
  return f.C1.Ok && f.C2.Ok;
}

// The common frame: rowFn(buffer, r) fills the buffer for area row r and
// answers the row's opacity; the buffer is then blended onto the destination
// row in PaintMode.
template <class T, class RowFn>
bool PaintRows(const Frame& f, mvPicture& target, uint32_t mode, mvProgress* progress, RowFn&& rowFn) {
  const size_t samples = static_cast<size_t>(f.W) * f.BufChannels;
  std::unique_ptr<T[]> buf(new (std::nothrow) T[samples]);
  if (!buf) return false;
  const size_t offset = static_cast<size_t>(f.A.Left) * target.BytesPerPixel();
  if (progress) progress->SetMax(static_cast<uint32_t>(f.H - 1));
  for (int32_t r = 0; r < f.H; ++r) {
    const uint32_t opacity = rowFn(buf.get(), r);
    BlendRow(mode, target.Channels, f.BufChannels, target.Row(f.A.Top + r) + offset, target.ColorType,
             target.BitDepth, reinterpret_cast<const uint8_t*>(buf.get()), target.ColorType, target.BitDepth, nullptr,
             opacity, f.W);
    if (progress && !progress->SetPos(progress->Pos + 1)) return false;
  }
  return true;
}

// Distance-from-centre helper shared by the radial gradient and the rings.
struct Radial {
  double Cx, Cy, R;
  explicit Radial(const mvRect& a) {
    Cx = (a.Left + a.Right - 1) / 2.0;
    Cy = (a.Top + a.Bottom - 1) / 2.0;
    const double hw = (a.Right - a.Left - 1) / 2.0;
    const double hh = (a.Bottom - a.Top - 1) / 2.0;
    R = std::sqrt(hw * hw + hh * hh);
    if (R == 0) R = 1;
  }
  double Distance(int32_t x, int32_t y) const {
    const double dx = x - Cx;
    const double dy = y - Cy;
    return std::sqrt(dx * dx + dy * dy);
  }
};

// The 16-bit weight of an 8-bit alpha, or a 16-bit alpha as it is.
template <uint32_t Max>
uint32_t AlphaOpacity(uint32_t a) {
  if constexpr (Max == 255)
    return (a * 65535 + 127) / 255;
  else
    return a;
}

// Row opacity from an alpha interpolated as (a * wa + b * wb) / n.
template <uint32_t Max>
uint32_t RampOpacity(uint64_t a, uint64_t wa, uint64_t b, uint64_t wb, uint64_t n) {
  if constexpr (Max == 255)
    return static_cast<uint32_t>((a * wa + b * wb) * 257 / n);
  else
    return static_cast<uint32_t>((a * wa + b * wb) / n);
}

}  // namespace

const mvEffectClass& mvFillEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvFillEffect>(
      128, "mvFillEffect",
      {Field("Color", &mvFillEffect::Color).Describe("colour painted; its alpha is the painting opacity"),
       Field("PaintMode", &mvFillEffect::PaintMode).Range(0, 17).Describe("blend mode of the painted rows")});
  return c;
}

bool mvFillEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  Frame f;
  if (!Setup(source, target, Color, Color, f)) return true;
  bool ok = true;
  ByDepth(target.BitDepth, [&]<class T, uint32_t Max>() {
    const uint32_t opacity = AlphaOpacity<Max>(f.C1.Alpha);
    bool filled = false;
    ok = PaintRows<T>(f, target, PaintMode, progress, [&](T* buf, int32_t) {
      if (!filled) {
        for (int32_t x = 0; x < f.W; ++x) {
          T* p = buf + static_cast<size_t>(x) * f.BufChannels;
          for (uint32_t i = 0; i < f.Colours; ++i) p[i] = static_cast<T>(f.C1.S[i]);
          p[f.Colours] = static_cast<T>(Max);
        }
        filled = true;
      }
      return opacity;
    });
  });
  return ok;
}

const mvEffectClass& mvGradientEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvGradientEffect>(
      130, "mvGradientEffect",
      {Field("Color1", &mvGradientEffect::Color1).Describe("first colour"),
       Field("Color2", &mvGradientEffect::Color2).Describe("second colour"),
       Field("Shape", &mvGradientEffect::Shape)
           .Describe("0 vertical, 1 horizontal, 2 radial, 3 vertical mirrored, 4 horizontal mirrored"),
       Field("PaintMode", &mvGradientEffect::PaintMode).Range(0, 17).Describe("blend mode of the painted rows")});
  return c;
}

bool mvGradientEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  if (Shape > 4) return true;
  Frame f;
  if (!Setup(source, target, Color1, Color2, f)) return true;
  bool ok = true;
  ByDepth(target.BitDepth, [&]<class T, uint32_t Max>() {
    const uint32_t bc = f.BufChannels;
    const uint32_t* c1 = f.C1.S;
    const uint32_t* c2 = f.C2.S;
    const uint64_t a1 = f.C1.Alpha, a2 = f.C2.Alpha;
    // Every buffer pixel gets the same colour samples and a full alpha.
    auto fillColour = [&](T* buf, uint64_t w1, uint64_t w2, uint64_t n) {
      T px[4];
      for (uint32_t i = 0; i < f.Colours; ++i) px[i] = static_cast<T>((c1[i] * w1 + c2[i] * w2) / n);
      px[f.Colours] = static_cast<T>(Max);
      for (int32_t x = 0; x < f.W; ++x)
        for (uint32_t i = 0; i < bc; ++i) buf[static_cast<size_t>(x) * bc + i] = px[i];
    };
    bool filled = false;
    switch (Shape) {
      case 0: {
        const int64_t n = f.H - 1 < 2 ? 1 : f.H - 1;
        ok = PaintRows<T>(f, target, PaintMode, progress, [&](T* buf, int32_t r) {
          fillColour(buf, static_cast<uint64_t>(n - r), static_cast<uint64_t>(r), static_cast<uint64_t>(n));
          return RampOpacity<Max>(a1, static_cast<uint64_t>(n - r), a2, static_cast<uint64_t>(r),
                                  static_cast<uint64_t>(n));
        });
        break;
      }
      case 1:
      case 4: {
        const int64_t n = f.W - 1 < 2 ? 1 : f.W - 1;
        ok = PaintRows<T>(f, target, PaintMode, progress, [&](T* buf, int32_t) {
          if (!filled) {
            for (int32_t x = 0; x < f.W; ++x) {
              // Shape 4 runs Color2 - Color1 - Color2 so both edges match.
              const int64_t t = Shape == 1 ? x : std::llabs(2 * static_cast<int64_t>(x) - n);
              T* p = buf + static_cast<size_t>(x) * bc;
              for (uint32_t i = 0; i < bc; ++i)
                p[i] = static_cast<T>((static_cast<uint64_t>(c1[i]) * static_cast<uint64_t>(n - t) +
                                       static_cast<uint64_t>(c2[i]) * static_cast<uint64_t>(t)) /
                                      static_cast<uint64_t>(n));
            }
            filled = true;
          }
          return 65535u;
        });
        break;
      }
      case 2: {
        const Radial rad(f.A);
        ok = PaintRows<T>(f, target, PaintMode, progress, [&](T* buf, int32_t r) {
          for (int32_t x = 0; x < f.W; ++x) {
            double kd = rad.Distance(f.A.Left + x, f.A.Top + r) * 256 / rad.R;
            const uint64_t k = kd >= 256 ? 256 : static_cast<uint64_t>(kd);
            T* p = buf + static_cast<size_t>(x) * bc;
            for (uint32_t i = 0; i < bc; ++i) p[i] = static_cast<T>((c2[i] * k + c1[i] * (256 - k)) >> 8);
          }
          return 65535u;
        });
        break;
      }
      case 3: {
        const int64_t n = f.H - 1 < 1 ? 1 : f.H - 1;
        ok = PaintRows<T>(f, target, PaintMode, progress, [&](T* buf, int32_t r) {
          const uint64_t t = static_cast<uint64_t>(std::llabs(2 * static_cast<int64_t>(r) - n));
          const uint64_t rest = static_cast<uint64_t>(n) - t;
          fillColour(buf, rest, t, static_cast<uint64_t>(n));
          return RampOpacity<Max>(a2, t, a1, rest, static_cast<uint64_t>(n));
        });
        break;
      }
    }
  });
  return ok;
}

const mvEffectClass& mvGradientPatternEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvGradientPatternEffect>(
      131, "mvGradientPatternEffect",
      {Field("Color1", &mvGradientPatternEffect::Color1).Describe("colour at the start of a band"),
       Field("Color2", &mvGradientPatternEffect::Color2).Describe("colour at the end of a band"),
       Field("Direction", &mvGradientPatternEffect::Direction)
           .Describe("0 bands down the rows, 1 along the columns, 2 rings"),
       Field("Period", &mvGradientPatternEffect::Period).Describe("band width in pixels"),
       Field("Sawtooth", &mvGradientPatternEffect::Sawtooth)
           .Describe("0 bands alternate direction, non-zero every band restarts at Color1"),
       Field("PaintMode", &mvGradientPatternEffect::PaintMode).Range(0, 17).Describe("blend mode of the painted rows")});
  return c;
}

bool mvGradientPatternEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  if (Direction > 2) return true;
  if (target.ColorType != ColorTypeRGB || target.BitDepth != 8) return true;
  Frame f;
  if (!Setup(source, target, Color1, Color2, f)) return true;
  // Periods below 2 have no room for a ramp: every band index is 0, which
  // paints Color1 (the band arithmetic would divide by Period - 1).
  const int64_t period = Period;
  const bool flat = period < 2;
  const int64_t q = flat ? 1 : period - 1;
  const bool saw = Sawtooth != 0;
  auto band = [&](int64_t u) -> int64_t {
    if (flat) return 0;
    int64_t j = u % period;
    if (!saw && (u / period) % 2 == 1) j = q - j;
    return j;
  };
  const uint32_t* c1 = f.C1.S;
  const uint32_t* c2 = f.C2.S;
  auto sample = [&](uint32_t i, int64_t j) {
    return static_cast<uint8_t>((static_cast<int64_t>(c2[i]) * j + static_cast<int64_t>(c1[i]) * (q - j)) / q);
  };
  const uint32_t bc = f.BufChannels;
  bool filled = false;
  switch (Direction) {
    case 0:
      return PaintRows<uint8_t>(f, target, PaintMode, progress, [&](uint8_t* buf, int32_t r) {
        const int64_t j = band(r);
        uint8_t px[4] = {sample(0, j), sample(1, j), sample(2, j), 255};
        for (int32_t x = 0; x < f.W; ++x)
          for (uint32_t i = 0; i < 4; ++i) buf[static_cast<size_t>(x) * bc + i] = px[i];
        // The opacity ramps once over the whole area; a single row takes Color1's.
        if (f.H == 1) return f.C1.Alpha * 257;
        return RampOpacity<255>(f.C1.Alpha, static_cast<uint64_t>(f.H - 1 - r), f.C2.Alpha,
                                static_cast<uint64_t>(r), static_cast<uint64_t>(f.H - 1));
      });
    case 1:
      return PaintRows<uint8_t>(f, target, PaintMode, progress, [&](uint8_t* buf, int32_t) {
        if (!filled) {
          for (int32_t x = 0; x < f.W; ++x) {
            const int64_t j = band(x);
            for (uint32_t i = 0; i < 4; ++i) buf[static_cast<size_t>(x) * bc + i] = sample(i, j);
          }
          filled = true;
        }
        return 65535u;
      });
    default: {
      const Radial rad(f.A);
      return PaintRows<uint8_t>(f, target, PaintMode, progress, [&](uint8_t* buf, int32_t r) {
        for (int32_t x = 0; x < f.W; ++x) {
          const double d = rad.Distance(f.A.Left + x, f.A.Top + r);
          int64_t j = 0;
          if (!flat) {
            if (!saw) {
              j = static_cast<int64_t>(std::fmod(d, 2.0 * static_cast<double>(period)));
              if (j >= period) j = 2 * period - 1 - j;
            } else {
              j = static_cast<int64_t>(std::fmod(d, static_cast<double>(period)));
            }
          }
          for (uint32_t i = 0; i < 4; ++i) buf[static_cast<size_t>(x) * bc + i] = sample(i, j);
        }
        return 65535u;
      });
    }
  }
}

const mvEffectClass& mvGradientMapEffect::Describe() {
  static const mvEffectClass c = [] {
    mvEffectClass k = mvEffectClass::Make<mvGradientMapEffect>(
        271, "mvGradientMapEffect",
        {Field("Gradient", &mvGradientMapEffect::Gradient).NotCompared().Describe("the colour table"),
         Field("Reverse", &mvGradientMapEffect::Reverse).Describe("evaluate the gradient from its right end")});
    k.InStreamOrder({"Reverse", "Gradient"});
    // The size word counts four bytes fewer than follow; only a floor is checked.
    k.SizeWordAdjust = -4;
    k.MinSizeWord = 5;
    return k;
  }();
  return c;
}

namespace {

template <class T, uint32_t Max>
bool MapRows(const mvGradient& g, bool reverse, const mvPicture& source, mvPicture& target, const mvRect& a,
             mvProgress* progress) {
  const bool gray = target.ColorType == ColorTypeGray;
  const uint32_t colours = gray ? 1 : 3;
  const bool hasAlpha = target.HasAlpha();
  const uint32_t ch = target.Channels;
  // Neighbouring pixels often share a luminance; the last lookup is kept.
  uint64_t lastKey = ~uint64_t{0};
  T lastColour[4] = {};
  bool lastFound = false;
  if (progress) progress->SetMax(static_cast<uint32_t>(a.Bottom - a.Top - 1));
  for (int32_t y = a.Top; y < a.Bottom; ++y) {
    const T* s = reinterpret_cast<const T*>(source.Row(y)) + static_cast<size_t>(a.Left) * ch;
    T* d = reinterpret_cast<T*>(target.Row(y)) + static_cast<size_t>(a.Left) * ch;
    for (int32_t x = a.Left; x < a.Right; ++x, s += ch, d += ch) {
      if (hasAlpha && s[ch - 1] == 0) continue;
      const uint64_t key = gray ? s[0] : 299 * uint64_t{s[0]} + 587 * uint64_t{s[1]} + 114 * uint64_t{s[2]};
      if (key != lastKey) {
        lastKey = key;
        const double p = gray ? key / static_cast<double>(Max) : key / (1000.0 * Max);
        if constexpr (Max == 255) {
          uint8_t c[4];
          lastFound = g.GetColor8(p, reverse, c);
          for (int i = 0; i < 4; ++i) lastColour[i] = c[i];
        } else {
          uint16_t c[4];
          lastFound = g.GetColor16(p, reverse, c);
          for (int i = 0; i < 4; ++i) lastColour[i] = c[i];
        }
      }
      // A position no segment covers leaves the pixel as it is.
      if (!lastFound) continue;
      if (gray)
        d[0] = static_cast<T>((19596 * uint64_t{lastColour[0]} + 38470 * uint64_t{lastColour[1]} +
                               7471 * uint64_t{lastColour[2]}) >> 16);
      else
        for (uint32_t i = 0; i < 3; ++i) d[i] = lastColour[i];
      if (hasAlpha) d[colours] = lastColour[3];
    }
    if (progress && !progress->SetPos(progress->Pos + 1)) return false;
  }
  return true;
}

}  // namespace

bool mvGradientMapEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  if (!SameLayout(source, target) || !render::IsPaintable(target)) return true;
  mvRect a;
  if (!ClipArea(source, a)) return true;
  // Channel counts a colour type cannot have are left alone.
  const uint32_t colours = target.ColorType == ColorTypeGray ? 1 : 3;
  if (target.Channels != colours && target.Channels != colours + 1) return true;
  bool ok = true;
  ByDepth(target.BitDepth, [&]<class T, uint32_t Max>() {
    ok = MapRows<T, Max>(Gradient, Reverse, source, target, a, progress);
  });
  return ok;
}

void RegisterFillEffects(mvEffectRegistry& registry) {
  registry.Add(mvFillEffect::Describe());
  registry.Add(mvGradientEffect::Describe());
  registry.Add(mvGradientPatternEffect::Describe());
  registry.Add(mvGradientMapEffect::Describe());
}

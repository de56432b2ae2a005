#include "effects/render/fill.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/blend.h"
#include "effects/frame.h"
#include "effects/render/paint.h"

using render::PaintColor;
using render::ToPictureColor;

namespace {

// The two colours of a painter in the picture's form; false when either has
// no form here (the picture is then left as it is).
struct Colours {
  PaintColor C1, C2;
  bool Take(const mvPicture& p, const mvColor& c1, const mvColor& c2) {
    C1 = ToPictureColor(p, c1);
    C2 = ToPictureColor(p, c2);
    return C1.Ok && C2.Ok;
  }
};

// The row-buffer painters: each band fills a buffer of one area row (colour
// samples and an alpha sample) and blends it onto the target rows in
// PaintMode. prepare(buffer) runs once per band, for buffers every row
// shares; row(buffer, r) completes the buffer for area row r and answers the
// row's opacity. One progress step per row.
//
// opaque tells that every buffer alpha is full. Normal paint of such a row
// at full opacity gives the buffer's colour samples and a full alpha (the
// source-over rule of BlendRow with source alpha and weight at the top), so
// the row is written directly.
template <class F, class Prepare, class Row>
bool PaintRows(frame::Frame& f, uint32_t mode, bool opaque, Prepare&& prepare, Row&& row) {
  using T = typename F::Sample;
  mvPicture& target = f.Target;
  const int32_t width = f.Cols();
  constexpr uint32_t kBufChannels = F::kColours + 1;
  const size_t offset = static_cast<size_t>(f.A.Left) * target.BytesPerPixel();
  f.Announce(f.Rows());
  return f.ForRows([&](int32_t top, int32_t bottom) {
    frame::Buffer<T> buf;
    if (!buf.Allocate(int64_t{width} * kBufChannels)) return false;
    prepare(buf.Get());
    for (int32_t y = top; y < bottom; ++y) {
      const uint32_t opacity = row(buf.Get(), y - f.A.Top);
      T* d = frame::PixelAt<F>(target, f.A.Left, y);
      if (opaque && mode == BlendNormal && opacity == 65535) {
        if constexpr (F::kAlpha) {
          std::memcpy(d, buf.Get(), static_cast<size_t>(width) * kBufChannels * sizeof(T));
        } else {
          const T* s = buf.Get();
          for (int32_t x = 0; x < width; ++x, d += F::kChannels, s += kBufChannels)
            for (uint32_t i = 0; i < F::kColours; ++i) d[i] = s[i];
        }
        continue;
      }
      BlendRow(mode, target.Channels, kBufChannels, target.Row(y) + offset, target.ColorType, target.BitDepth,
               reinterpret_cast<const uint8_t*>(buf.Get()), target.ColorType, target.BitDepth, nullptr, opacity, width);
    }
    return true;
  });
}

// Every buffer pixel takes the same samples.
template <class T>
void FillBuffer(T* buf, int32_t width, const T* px, uint32_t channels) {
  for (int32_t x = 0; x < width; ++x)
    for (uint32_t i = 0; i < channels; ++i) buf[static_cast<size_t>(x) * channels + i] = px[i];
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
  if constexpr (Max == 255) return (a * 65535 + 127) / 255;
  else return a;
}

// Row opacity from an alpha interpolated as (a * wa + b * wb) / n.
template <uint32_t Max>
uint32_t RampOpacity(uint64_t a, uint64_t wa, uint64_t b, uint64_t wb, uint64_t n) {
  if constexpr (Max == 255) return static_cast<uint32_t>((a * wa + b * wb) * 257 / n);
  else return static_cast<uint32_t>((a * wa + b * wb) / n);
}

}  // namespace

const mvEffectClass& mvFillEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvFillEffect>(
      128, "mvFillEffect",
      {Field("Color", &mvFillEffect::Color).Help("colour painted; its alpha is the painting opacity"),
       Field("PaintMode", &mvFillEffect::PaintMode).Range(0, 17).Help("blend mode of the painted rows")});
  return c;
}

bool mvFillEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  frame::Frame f(source, target, progress, frame::Pair::InPlace);
  if (!f.Begin()) return f.Answer();
  Colours c;
  if (!c.Take(target, Color, Color)) return true;
  return f.Dispatch(frame::kRgbOrGray, [&](auto fmt) {
    using F = decltype(fmt);
    using T = typename F::Sample;
    T px[4];
    for (uint32_t i = 0; i < F::kColours; ++i) px[i] = static_cast<T>(c.C1.S[i]);
    px[F::kColours] = static_cast<T>(F::kMax);
    const uint32_t opacity = AlphaOpacity<F::kMax>(c.C1.Alpha);
    return PaintRows<F>(
        f, PaintMode, true, [&](T* buf) { FillBuffer(buf, f.Cols(), px, F::kColours + 1); },
        [&](T*, int32_t) { return opacity; });
  });
}

const mvEffectClass& mvGradientEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvGradientEffect>(
      130, "mvGradientEffect",
      {Field("Color1", &mvGradientEffect::Color1).Help("first colour"),
       Field("Color2", &mvGradientEffect::Color2).Help("second colour"),
       Field("Shape", &mvGradientEffect::Shape)
           .Help("0 vertical, 1 horizontal, 2 radial, 3 vertical mirrored, 4 horizontal mirrored"),
       Field("PaintMode", &mvGradientEffect::PaintMode).Range(0, 17).Help("blend mode of the painted rows")});
  return c;
}

bool mvGradientEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  frame::Frame f(source, target, progress, frame::Pair::InPlace);
  if (!f.Begin()) return f.Answer();
  Colours cs;
  if (Shape > 4 || !cs.Take(target, Color1, Color2)) return true;
  return f.Dispatch(frame::kRgbOrGray, [&](auto fmt) {
    using F = decltype(fmt);
    using T = typename F::Sample;
    constexpr uint32_t Max = F::kMax, bc = F::kColours + 1;
    const int32_t width = f.Cols(), height = f.Rows();
    const uint32_t* c1 = cs.C1.S;
    const uint32_t* c2 = cs.C2.S;
    const uint64_t a1 = cs.C1.Alpha, a2 = cs.C2.Alpha;
    const bool bothOpaque = a1 == Max && a2 == Max;
    auto none = [](T*) {};
    // Every buffer pixel gets the same colour samples and a full alpha.
    auto fillColour = [&](T* buf, uint64_t w1, uint64_t w2, uint64_t n) {
      T px[4];
      for (uint32_t i = 0; i < F::kColours; ++i) px[i] = static_cast<T>((c1[i] * w1 + c2[i] * w2) / n);
      px[F::kColours] = static_cast<T>(Max);
      FillBuffer(buf, width, px, bc);
    };
    switch (Shape) {
      case 0: {
        const uint64_t n = static_cast<uint64_t>(height - 1 < 2 ? 1 : height - 1);
        return PaintRows<F>(f, PaintMode, true, none, [&](T* buf, int32_t r) {
          const uint64_t t = static_cast<uint64_t>(r);
          fillColour(buf, n - t, t, n);
          return RampOpacity<Max>(a1, n - t, a2, t, n);
        });
      }
      case 1:
      case 4: {
        const int64_t n = width - 1 < 2 ? 1 : width - 1;
        auto prepare = [&](T* buf) {
          for (int32_t x = 0; x < width; ++x) {
            // Shape 4 runs Color2 - Color1 - Color2 so both edges match.
            const int64_t t = Shape == 1 ? x : std::llabs(2 * static_cast<int64_t>(x) - n);
            T* p = buf + static_cast<size_t>(x) * bc;
            for (uint32_t i = 0; i < bc; ++i)
              p[i] = static_cast<T>(
                  (uint64_t{c1[i]} * static_cast<uint64_t>(n - t) + uint64_t{c2[i]} * static_cast<uint64_t>(t)) /
                  static_cast<uint64_t>(n));
          }
        };
        return PaintRows<F>(f, PaintMode, bothOpaque, prepare, [](T*, int32_t) { return 65535u; });
      }
      case 2: {
        const Radial rad(f.A);
        // The colours in locals: stores through T* (bytes) may alias
        // anything, which would reload them for every sample.
        uint32_t lo[4] = {}, hi[4] = {};
        for (uint32_t i = 0; i < bc; ++i) {
          lo[i] = c1[i];
          hi[i] = c2[i];
        }
        return PaintRows<F>(f, PaintMode, bothOpaque, none, [&, lo, hi](T* buf, int32_t r) {
          const double dy = (f.A.Top + r) - rad.Cy, dy2 = dy * dy;
          // Columns mirrored about the centre lie at one distance: one
          // square root serves both.
          for (int32_t x = 0; x <= width - 1 - x; ++x) {
            const double dx = (f.A.Left + x) - rad.Cx;
            const double kd = std::sqrt(dx * dx + dy2) * 256 / rad.R;
            const uint32_t k = kd >= 256 ? 256 : static_cast<uint32_t>(kd);
            T px[bc];
            for (uint32_t i = 0; i < bc; ++i) px[i] = static_cast<T>((hi[i] * k + lo[i] * (256 - k)) >> 8);
            std::memcpy(buf + static_cast<size_t>(x) * bc, px, sizeof px);
            std::memcpy(buf + static_cast<size_t>(width - 1 - x) * bc, px, sizeof px);
          }
          return 65535u;
        });
      }
      default: {
        const int64_t n = height - 1 < 1 ? 1 : height - 1;
        return PaintRows<F>(f, PaintMode, true, none, [&](T* buf, int32_t r) {
          const uint64_t t = static_cast<uint64_t>(std::llabs(2 * static_cast<int64_t>(r) - n));
          const uint64_t rest = static_cast<uint64_t>(n) - t;
          fillColour(buf, rest, t, static_cast<uint64_t>(n));
          return RampOpacity<Max>(a2, t, a1, rest, static_cast<uint64_t>(n));
        });
      }
    }
  });
}

const mvEffectClass& mvGradientPatternEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvGradientPatternEffect>(
      131, "mvGradientPatternEffect",
      {Field("Color1", &mvGradientPatternEffect::Color1).Help("colour at the start of a band"),
       Field("Color2", &mvGradientPatternEffect::Color2).Help("colour at the end of a band"),
       Field("Direction", &mvGradientPatternEffect::Direction)
           .Help("0 bands down the rows, 1 along the columns, 2 rings"),
       Field("Period", &mvGradientPatternEffect::Period).Help("band width in pixels"),
       Field("Sawtooth", &mvGradientPatternEffect::Sawtooth)
           .Help("0 bands alternate direction, non-zero every band restarts at Color1"),
       Field("PaintMode", &mvGradientPatternEffect::PaintMode).Range(0, 17).Help("blend mode of the painted rows")});
  return c;
}

bool mvGradientPatternEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  frame::Frame f(source, target, progress, frame::Pair::InPlace);
  if (!f.Begin()) return f.Answer();
  Colours cs;
  if (Direction > 2 || !cs.Take(target, Color1, Color2)) return true;
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
  const uint32_t* c1 = cs.C1.S;
  const uint32_t* c2 = cs.C2.S;
  auto sample = [&](uint32_t i, int64_t j) {
    return static_cast<uint8_t>((static_cast<int64_t>(c2[i]) * j + static_cast<int64_t>(c1[i]) * (q - j)) / q);
  };
  const int32_t width = f.Cols(), height = f.Rows();
  const bool bothOpaque = cs.C1.Alpha == 255 && cs.C2.Alpha == 255;
  auto none = [](uint8_t*) {};
  return f.Dispatch(frame::kAnyRgb8, [&](auto fmt) {
    using F = decltype(fmt);
    if constexpr (F::kWide || !F::kRgb) {
      return true;  // only 8-bit RGB comes here
    } else {
      switch (Direction) {
        case 0:
          return PaintRows<F>(f, PaintMode, true, none, [&](uint8_t* buf, int32_t r) {
            const int64_t j = band(r);
            const uint8_t px[4] = {sample(0, j), sample(1, j), sample(2, j), 255};
            FillBuffer(buf, width, px, 4);
            // The opacity ramps once over the whole area; a single row takes Color1's.
            if (height == 1) return cs.C1.Alpha * 257;
            return RampOpacity<255>(cs.C1.Alpha, static_cast<uint64_t>(height - 1 - r), cs.C2.Alpha,
                                    static_cast<uint64_t>(r), static_cast<uint64_t>(height - 1));
          });
        case 1: {
          auto prepare = [&](uint8_t* buf) {
            for (int32_t x = 0; x < width; ++x) {
              const int64_t j = band(x);
              for (uint32_t i = 0; i < 4; ++i) buf[static_cast<size_t>(x) * 4 + i] = sample(i, j);
            }
          };
          return PaintRows<F>(f, PaintMode, bothOpaque, prepare, [](uint8_t*, int32_t) { return 65535u; });
        }
        default: {
          const Radial rad(f.A);
          return PaintRows<F>(f, PaintMode, bothOpaque, none, [&](uint8_t* buf, int32_t r) {
            // Columns mirrored about the centre lie at one distance, so in
            // one band: each remainder serves both.
            for (int32_t x = 0; x <= width - 1 - x; ++x) {
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
              const uint8_t px[4] = {sample(0, j), sample(1, j), sample(2, j), sample(3, j)};
              std::memcpy(buf + static_cast<size_t>(x) * 4, px, 4);
              std::memcpy(buf + static_cast<size_t>(width - 1 - x) * 4, px, 4);
            }
            return 65535u;
          });
        }
      }
    }
  });
}

void RegisterFillEffects(mvEffectRegistry& registry) {
  registry.Add(mvFillEffect::Describe());
  registry.Add(mvGradientEffect::Describe());
  registry.Add(mvGradientPatternEffect::Describe());
}

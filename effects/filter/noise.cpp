#include "effects/filter/noise.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include "core/color.h"
#include "core/random.h"
#include "effects/filter/common_rows.h"
#include "effects/filter/families.h"

namespace {

constexpr double kInvPi = 0.3183098861837907;

// Amplitudes work as magnitudes; the most negative word would not have one
// in 32 bits, and 2A + 1 must still fit the draw's 32-bit range.
uint32_t Magnitude(int32_t v) {
  int64_t m = v < 0 ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
  return m > INT32_MAX ? static_cast<uint32_t>(INT32_MAX) : static_cast<uint32_t>(m);
}

int64_t ClampTo(int64_t v, int64_t hi) { return v < 0 ? 0 : (v > hi ? hi : v); }

// A double that is about to become an integer sample offset: far gaussian
// tails times huge amplitudes must not overflow the conversion.
int64_t TruncSafe(double v) {
  if (!(v == v)) return 0;
  if (v > 1e15) return static_cast<int64_t>(1e15);
  if (v < -1e15) return static_cast<int64_t>(-1e15);
  return static_cast<int64_t>(v);
}

// One hue correction by a whole turn; a term beyond a full turn (amplitudes
// above 360 or a far gaussian tail) is brought back into 0..1 as well, since
// the colour conversions expect a hue there.
double WrapHue(double h) {
  if (h < 0)
    h += 1;
  else if (h > 1)
    h -= 1;
  if (h < 0 || h > 1) h -= std::floor(h);
  return h;
}

double Clamp01(double v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

// The per-run noise source of the colour-model noises: its own generator,
// and a gaussian fed by it.
struct NoiseSource {
  explicit NoiseSource(uint32_t seed, bool gaussian) : UseGaussian(gaussian) { Rng.Seed(seed); }
  mvRandom Rng;
  mvGaussian Gauss{&Rng, 1.0};
  bool UseGaussian;

  int64_t Uniform(uint32_t a) { return static_cast<int64_t>(a) - static_cast<int64_t>(Rng.NextInt(2 * a + 1)); }
  // Term for a model component in 0..1; scale is 360 for hue, 100 for the others.
  double ModelTerm(uint32_t a, double scale) {
    if (UseGaussian) return ((Gauss.Next() * kInvPi) * a) / scale;
    return static_cast<double>(Uniform(a)) / scale;
  }
  // Term in sample units (alpha).
  int64_t SampleTerm(uint32_t a) {
    if (UseGaussian) return TruncSafe((Gauss.Next() * kInvPi) * a);
    return Uniform(a);
  }
  // Term for a gray sample: the amplitude is a percentage of full scale m.
  int64_t GrayTerm(uint32_t a, int64_t m) {
    if (UseGaussian) return TruncSafe(((Gauss.Next() * kInvPi) * static_cast<double>(a * m)) / 100);
    return (Uniform(a) * m) / 100;
  }
};

struct NoiseSettings {
  uint32_t Density;
  uint32_t Hue, Saturation, Value, Alpha;
};

// The density test draws from the shared source, which these effects do not seed.
bool Chosen(uint32_t density) { return density == 100 || SharedRandom.NextInt(100) < density; }

template <class T, bool HSL>
bool NoiseRGB(const NoiseSettings& n, NoiseSource& src, const mvPicture& source, mvPicture& target, const mvRect& a,
              rows::RowProgress& progress) {
  constexpr int64_t M = sizeof(T) == 1 ? 255 : 65535;
  const uint32_t ch = source.Channels;
  const bool hasAlpha = ch == 4;
  for (int32_t y = a.Top; y < a.Bottom; ++y) {
    const T* s = reinterpret_cast<const T*>(source.Row(y)) + static_cast<size_t>(a.Left) * ch;
    T* d = reinterpret_cast<T*>(target.Row(y)) + static_cast<size_t>(a.Left) * ch;
    for (int32_t x = a.Left; x < a.Right; ++x, s += ch, d += ch) {
      if (!Chosen(n.Density)) continue;
      double h, sat, v;
      if constexpr (HSL)
        RGBToHSL(s[0], s[1], s[2], h, sat, v);
      else if constexpr (sizeof(T) == 1)
        RGBToHSV(s[0], s[1], s[2], h, sat, v);
      else
        RGB16ToHSV(s[0], s[1], s[2], h, sat, v);
      if (n.Hue) h = WrapHue(h + src.ModelTerm(n.Hue, 360));
      if (n.Saturation) sat = Clamp01(sat + src.ModelTerm(n.Saturation, 100));
      if (n.Value) v = Clamp01(v + src.ModelTerm(n.Value, 100));
      if constexpr (HSL)
        HSLToRGB(h, sat, v, d[0], d[1], d[2]);
      else if constexpr (sizeof(T) == 1)
        HSVToRGB(h, sat, v, d[0], d[1], d[2]);
      else
        HSVToRGB16(h, sat, v, d[0], d[1], d[2]);
      if (hasAlpha) {
        int64_t al = s[3];
        // A fully transparent pixel stays transparent.
        if (n.Alpha && al != 0) al = ClampTo(al + src.SampleTerm(n.Alpha), M);
        d[3] = static_cast<T>(al);
      }
    }
    if (!progress.Step()) return false;
  }
  return true;
}

template <class T>
bool NoiseGray(const NoiseSettings& n, NoiseSource& src, const mvPicture& source, mvPicture& target, const mvRect& a,
               rows::RowProgress& progress) {
  constexpr int64_t M = sizeof(T) == 1 ? 255 : 65535;
  const uint32_t ch = source.Channels;
  const bool hasAlpha = ch == 2;
  for (int32_t y = a.Top; y < a.Bottom; ++y) {
    const T* s = reinterpret_cast<const T*>(source.Row(y)) + static_cast<size_t>(a.Left) * ch;
    T* d = reinterpret_cast<T*>(target.Row(y)) + static_cast<size_t>(a.Left) * ch;
    for (int32_t x = a.Left; x < a.Right; ++x, s += ch, d += ch) {
      if (!Chosen(n.Density)) continue;
      int64_t g = s[0];
      if (n.Value) g = ClampTo(g + src.GrayTerm(n.Value, M), M);
      d[0] = static_cast<T>(g);
      if (hasAlpha) {
        int64_t al = s[1];
        if (n.Alpha && al != 0) al = ClampTo(al + src.SampleTerm(n.Alpha), M);
        d[1] = static_cast<T>(al);
      }
    }
    if (!progress.Step()) return false;
  }
  return true;
}

bool ColorNoise(const NoiseSettings& n, uint32_t seed, bool gaussian, bool hsl, mvPicture& source,
                mvPicture& target, mvProgress* progress) {
  mvRect a;
  if (!rows::SameShape(source, target)) return false;
  if (!rows::ClipArea(source, a)) return true;
  rows::RowProgress prog(progress, a.Bottom - a.Top);
  NoiseSource src(seed, gaussian);
  const bool rgb = source.ColorType == ColorTypeRGB && (source.Channels == 3 || source.Channels == 4);
  const bool gray = source.ColorType == ColorTypeGray && (source.Channels == 1 || source.Channels == 2);
  if (hsl) {
    if (rgb && source.BitDepth == 8) return NoiseRGB<uint8_t, true>(n, src, source, target, a, prog);
    return true;
  }
  if (rgb && source.BitDepth == 8) return NoiseRGB<uint8_t, false>(n, src, source, target, a, prog);
  if (rgb && source.BitDepth == 16) return NoiseRGB<uint16_t, false>(n, src, source, target, a, prog);
  if (gray && source.BitDepth == 8) return NoiseGray<uint8_t>(n, src, source, target, a, prog);
  if (gray && source.BitDepth == 16) return NoiseGray<uint16_t>(n, src, source, target, a, prog);
  return true;
}

template <class T>
bool Remap(const std::vector<uint16_t>& table, const mvPicture& source, mvPicture& target, const mvRect& a,
           rows::RowProgress& progress) {
  const uint32_t ch = source.Channels;
  const bool rgb = source.ColorType == ColorTypeRGB;
  const int32_t top = static_cast<int32_t>(table.size()) - 1;
  for (int32_t y = a.Top; y < a.Bottom; ++y) {
    const T* s = reinterpret_cast<const T*>(source.Row(y)) + static_cast<size_t>(a.Left) * ch;
    T* d = reinterpret_cast<T*>(target.Row(y)) + static_cast<size_t>(a.Left) * ch;
    for (int32_t x = a.Left; x < a.Right; ++x, s += ch, d += ch) {
      if (rgb) {
        int32_t lum, cb, cr;
        if constexpr (sizeof(T) == 1)
          RGBToYCbCrInt(s[0], s[1], s[2], lum, cb, cr);
        else
          RGB16ToYCbCrInt(s[0], s[1], s[2], lum, cb, cr);
        lum = table[static_cast<size_t>(lum < 0 ? 0 : (lum > top ? top : lum))];
        if constexpr (sizeof(T) == 1)
          YCbCrIntToRGB(lum, cb, cr, d[0], d[1], d[2]);
        else
          YCbCrIntToRGB16(lum, cb, cr, d[0], d[1], d[2]);
        if (ch == 4) d[3] = s[3];
      } else {
        d[0] = static_cast<T>(table[s[0]]);
        if (ch == 2) d[1] = s[1];
      }
    }
    if (!progress.Step()) return false;
  }
  return true;
}

}  // namespace

const mvEffectClass& mvHSVNoiseEffect::Describe() {
  using E = mvHSVNoiseEffect;
  static const mvEffectClass c = mvEffectClass::Make<E>(
      1, "mvHSVNoiseEffect",
      {Field("Density", &E::Density).Clamp(1, 100).Describe("percentage of pixels that receive noise"),
       Field("Seed", &E::Seed).Describe("seed of the effect's own random numbers"),
       Field("HueAmount", &E::HueAmount).Describe("hue amplitude in degrees"),
       Field("SaturationAmount", &E::SaturationAmount).Describe("saturation amplitude in percent"),
       Field("ValueAmount", &E::ValueAmount).Describe("value (or gray) amplitude in percent"),
       Field("AlphaAmount", &E::AlphaAmount).Describe("alpha amplitude in sample units"),
       Field("Gaussian", &E::Gaussian).Describe("gaussian instead of uniform noise")});
  return c;
}

const mvEffectClass& mvHSLNoiseEffect::Describe() {
  using E = mvHSLNoiseEffect;
  static const mvEffectClass c = mvEffectClass::Make<E>(
      33, "mvHSLNoiseEffect",
      {Field("Density", &E::Density).Clamp(1, 100).Describe("percentage of pixels that receive noise"),
       Field("Seed", &E::Seed).Describe("seed of the effect's own random numbers"),
       Field("HueAmount", &E::HueAmount).Describe("hue amplitude in degrees"),
       Field("SaturationAmount", &E::SaturationAmount).Describe("saturation amplitude in percent"),
       Field("LightnessAmount", &E::LightnessAmount).Describe("lightness amplitude in percent"),
       Field("AlphaAmount", &E::AlphaAmount).Describe("alpha amplitude in sample units"),
       Field("Gaussian", &E::Gaussian).Describe("gaussian instead of uniform noise")});
  return c;
}

const mvEffectClass& mvHistogramNoiseEffect::Describe() {
  using E = mvHistogramNoiseEffect;
  static const mvEffectClass c = mvEffectClass::Make<E>(
      4, "mvHistogramNoiseEffect",
      {Field("Seed", &E::Seed).Describe("seed given to the shared random numbers"),
       Field("Amount", &E::Amount).Describe("amplitude of the per-level offsets in percent")});
  return c;
}

bool mvHSVNoiseEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  const NoiseSettings n{Density, Magnitude(HueAmount), Magnitude(SaturationAmount), Magnitude(ValueAmount),
                        Magnitude(AlphaAmount)};
  return ColorNoise(n, Seed, Gaussian, false, source, target, progress);
}

bool mvHSLNoiseEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  const NoiseSettings n{Density, Magnitude(HueAmount), Magnitude(SaturationAmount), Magnitude(LightnessAmount),
                        Magnitude(AlphaAmount)};
  return ColorNoise(n, Seed, Gaussian, true, source, target, progress);
}

bool mvHistogramNoiseEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  mvRect a;
  if (!rows::SameShape(source, target)) return false;
  const bool any = rows::ClipArea(source, a);
  rows::RowProgress prog(any ? progress : nullptr, a.Bottom - a.Top);
  // The table is drawn for every run, so the shared source always ends in the
  // same state after this effect.
  SharedRandom.Seed(Seed);
  const int64_t M = source.BitDepth == 16 ? 65535 : 255;
  int64_t amp = (static_cast<int64_t>(Magnitude(Amount)) * M) / 100;
  if (amp > INT32_MAX) amp = INT32_MAX;  // keeps 2a + 1 within one 32-bit draw
  std::vector<uint16_t> table(static_cast<size_t>(M + 1));
  const uint32_t span = static_cast<uint32_t>(2 * amp + 1);
  for (int64_t v = 0; v <= M; ++v) {
    const int64_t r = SharedRandom.NextInt(span);
    table[static_cast<size_t>(v)] = static_cast<uint16_t>(ClampTo(v + r - amp, M));
  }
  if (!any) return true;
  const bool rgb = source.ColorType == ColorTypeRGB && (source.Channels == 3 || source.Channels == 4);
  const bool gray = source.ColorType == ColorTypeGray && (source.Channels == 1 || source.Channels == 2);
  if (!rgb && !gray) return true;
  if (source.BitDepth == 8) return Remap<uint8_t>(table, source, target, a, prog);
  if (source.BitDepth == 16) return Remap<uint16_t>(table, source, target, a, prog);
  return true;
}

void RegisterNoiseEffects(mvEffectRegistry& registry) {
  registry.Add(mvHSVNoiseEffect::Describe());
  registry.Add(mvHSLNoiseEffect::Describe());
  registry.Add(mvHistogramNoiseEffect::Describe());
}

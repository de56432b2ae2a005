// Noise effects: every pixel against straight sequential draws (chunks,
// refused draws, density, alpha terms and the transparent pixels they skip,
// thread counts), hue wrap, formats left alone, the histogram table's draws.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <tuple>

#include "core/color.h"
#include "core/parallel.h"
#include "core/random.h"
#include "effects/filter/noise.h"
#include "tests/effects/pictures.h"

namespace {

using testpics::Format;

mvPicture Make(int w, int h, uint32_t type, uint32_t depth, uint32_t ch) {
  mvPicture p;
  EXPECT_TRUE(p.Create(w, h, type, depth, ch));
  std::memset(p.Pixels, 0, p.ByteSize());
  return p;
}

bool SameBytes(const mvPicture& a, const mvPicture& b) {
  return a.ByteSize() == b.ByteSize() && std::memcmp(a.Pixels, b.Pixels, a.ByteSize()) == 0;
}

// First draw of a generator seeded with s after `skip` draws.
uint32_t DrawAfter(uint32_t s, int skip) {
  mvRandom r;
  r.Seed(s);
  for (int i = 0; i < skip; ++i) r.Next();
  return r.Next();
}

struct NoiseCase {
  Format F;
  int W, H;
  bool Hsl, Gaussian, InPlace;
  uint32_t Density;
  int32_t Hue, Sat, Val, Alpha;
};

uint32_t Mag(int32_t v) { return v == INT_MIN ? INT32_MAX : static_cast<uint32_t>(v < 0 ? -v : v); }

// The noises pixel by pixel, one draw after the other, with the shared
// colour conversions.
void NoiseByHand(const NoiseCase& c, uint32_t seed, const mvPicture& src, mvPicture& out) {
  const bool rgb = src.ColorType == ColorTypeRGB, alpha = src.HasAlpha(), wide = src.BitDepth == 16;
  const int64_t M = wide ? 65535 : 255;
  const uint32_t ch = src.Channels;
  mvRandom rng;
  rng.Seed(seed);
  mvGaussian gauss(&rng, 1.0);
  // A gaussian term scaled by 1/pi, or a uniform one in -a..a.
  auto draw = [&](uint32_t a) -> double {
    return c.Gaussian ? gauss.Next() * 0.3183098861837907 : static_cast<double>(a - int64_t(rng.NextInt(2 * a + 1)));
  };
  auto model = [&](uint32_t a, double scale) { return c.Gaussian ? (draw(a) * a) / scale : draw(a) / scale; };
  auto sample = [&](uint32_t a) { return c.Gaussian ? int64_t(draw(a) * a) : int64_t(draw(a)); };
  auto gray = [&](uint32_t a) {
    return c.Gaussian ? int64_t((draw(a) * double(a * M)) / 100) : (int64_t(draw(a)) * M) / 100;
  };
  auto clampS = [&](int64_t v) { return v < 0 ? 0 : (v > M ? M : v); };
  for (int y = 0; y < src.Height; ++y)
    for (int x = 0; x < src.Width; ++x) {
      if (c.Density != 100 && SharedRandom.NextInt(100) >= c.Density) continue;
      uint16_t s[4], d[4];
      for (uint32_t k = 0; k < ch; ++k)
        s[k] = wide ? reinterpret_cast<const uint16_t*>(src.Row(y))[static_cast<uint32_t>(x) * ch + k]
                    : src.Row(y)[static_cast<uint32_t>(x) * ch + k];
      std::memcpy(d, s, sizeof s);
      if (rgb) {
        double h, sa, v;
        uint8_t r8, g8, b8;
        if (c.Hsl) RGBToHSL(uint8_t(s[0]), uint8_t(s[1]), uint8_t(s[2]), h, sa, v);
        else if (wide) RGB16ToHSV(s[0], s[1], s[2], h, sa, v);
        else RGBToHSV(uint8_t(s[0]), uint8_t(s[1]), uint8_t(s[2]), h, sa, v);
        if (Mag(c.Hue)) {
          h += model(Mag(c.Hue), 360);
          h = h < 0 ? h + 1 : (h > 1 ? h - 1 : h);
          if (h < 0 || h > 1) h -= std::floor(h);
        }
        if (Mag(c.Sat)) sa = std::clamp(sa + model(Mag(c.Sat), 100), 0.0, 1.0);
        if (Mag(c.Val)) v = std::clamp(v + model(Mag(c.Val), 100), 0.0, 1.0);
        if (wide) {
          HSVToRGB16(h, sa, v, d[0], d[1], d[2]);
        } else {
          (c.Hsl ? HSLToRGB : HSVToRGB)(h, sa, v, r8, g8, b8);
          d[0] = r8, d[1] = g8, d[2] = b8;
        }
      } else if (Mag(c.Val)) {
        d[0] = uint16_t(clampS(s[0] + gray(Mag(c.Val))));
      }
      if (alpha && Mag(c.Alpha) && s[ch - 1] != 0) d[ch - 1] = uint16_t(clampS(s[ch - 1] + sample(Mag(c.Alpha))));
      for (uint32_t k = 0; k < ch; ++k)
        if (wide) reinterpret_cast<uint16_t*>(out.Row(y))[static_cast<uint32_t>(x) * ch + k] = d[k];
        else out.Row(y)[static_cast<uint32_t>(x) * ch + k] = uint8_t(d[k]);
    }
}

// The noise effect of the case, seed 11; `value` is its third amplitude.
template <class E>
std::unique_ptr<mvEffect> NoiseOf(const NoiseCase& c, int32_t E::*value) {
  auto e = std::make_unique<E>();
  e->Density = c.Density;
  e->Seed = 11;
  e->HueAmount = c.Hue;
  e->SaturationAmount = c.Sat;
  (*e).*value = c.Val;
  e->AlphaAmount = c.Alpha;
  e->Gaussian = c.Gaussian;
  return e;
}

}  // namespace

TEST(ColourNoise, EveryPixelMatchesSequentialDrawsOnAnyThreadCount) {
  const Format rgba8{ColorTypeRGB, 8, 4}, rgb16{ColorTypeRGB, 16, 3};
  const Format ga16{ColorTypeGray, 16, 2}, g8{ColorTypeGray, 8, 1};
  const NoiseCase cases[] = {
      {rgba8, 37, 21, false, false, false, 100, 25, 20, 30, 0},
      {rgba8, 37, 21, true, true, true, 100, 20, 0, 10, 50},
      {rgb16, 29, 17, false, true, false, 40, 300, 15, 0, 0},
      {ga16, 31, 9, false, false, false, 100, 0, 0, 10, 70},
      {g8, 31, 9, false, true, true, 70, 0, 0, -60, 0},
      // Several chunks of draws, with the gaussian phase and the alpha terms
      // running across them; a span above 2^31 refuses about half its words.
      {rgba8, 640, 560, false, true, false, 100, 25, 20, 30, 90},
      {rgba8, 700, 600, true, false, true, 85, 20, 1 << 30, 10, 40},
      {rgba8, 512, 700, false, false, false, 100, 0, 0, INT_MIN, INT_MIN},
  };
  for (const NoiseCase& c : cases) {
    mvPicture src = testpics::Noise(c.W, c.H, c.F, 7);
    mvPicture expected(src);
    SharedRandom.Seed(3);
    NoiseByHand(c, 11, src, expected);
    const uint32_t sharedAfter = SharedRandom.Next();
    for (int threads : {1, 2}) {
      parallel::SetThreadCount(threads);
      mvPicture in(src), own(src);
      mvPicture& out = c.InPlace ? in : own;
      const std::unique_ptr<mvEffect> e =
          c.Hsl ? NoiseOf(c, &mvHSLNoiseEffect::LightnessAmount) : NoiseOf(c, &mvHSVNoiseEffect::ValueAmount);
      SharedRandom.Seed(3);
      ASSERT_TRUE(e->Apply(in, out, nullptr));
      EXPECT_TRUE(SameBytes(out, expected)) << c.W << "x" << c.H << " threads " << threads;
      EXPECT_EQ(SharedRandom.Next(), sharedAfter) << c.W << "x" << c.H;  // one density draw per pixel, or none
    }
  }
  parallel::SetThreadCount(0);
}

TEST(HSVNoise, HueStepJustBelowZeroWrapsAndZeroTermKeepsHue) {
  // Find seeds whose first uniform hue term is -1 and 0 for amplitude 1.
  uint32_t seedMinus = 0, seedZero = 0;
  for (uint32_t s = 1; s < 200 && (!seedMinus || !seedZero); ++s) {
    const int term = 1 - static_cast<int>(DrawAfter(s, 0) % 3);
    if (term == -1 && !seedMinus) seedMinus = s;
    if (term == 0 && !seedZero) seedZero = s;
  }
  ASSERT_NE(seedMinus, 0u);
  ASSERT_NE(seedZero, 0u);
  mvPicture src = Make(1, 1, ColorTypeRGB, 8, 3);
  src.Pixels[0] = 255;  // pure red: hue exactly 0
  mvPicture dst(src);
  mvHSVNoiseEffect e;
  e.HueAmount = -1;  // taken as its magnitude
  e.Seed = seedMinus;
  ASSERT_TRUE(e.Apply(src, dst, nullptr));
  EXPECT_EQ(std::memcmp(dst.Pixels, "\xFF\x00\x04", 3), 0);  // just below a full turn: a touch of blue
  e.Seed = seedZero;
  ASSERT_TRUE(e.Apply(src, dst, nullptr));
  EXPECT_EQ(std::memcmp(dst.Pixels, "\xFF\x00\x00", 3), 0);
}

TEST(HSLNoise, OnlyEightBitRGBIsTouched) {
  mvHSLNoiseEffect e;
  e.HueAmount = 20;
  e.LightnessAmount = 10;
  for (auto [type, depth, ch] : {std::tuple{ColorTypeRGB, 16u, 4u}, std::tuple{ColorTypeGray, 8u, 1u}}) {
    mvPicture src = testpics::Noise(8, 2, {type, depth, ch}, 1);
    mvPicture dst = Make(8, 2, type, depth, ch);
    EXPECT_TRUE(e.Apply(src, dst, nullptr));
    for (size_t i = 0; i < dst.ByteSize(); ++i) ASSERT_EQ(dst.Pixels[i], 0);
  }
}

TEST(HistogramNoise, AmountZeroKeepsGrayAndDrawsOncePerLevel) {
  mvPicture src = testpics::Noise(16, 4, {ColorTypeGray, 8, 2}, 2);
  mvPicture dst = Make(16, 4, ColorTypeGray, 8, 2);
  mvHistogramNoiseEffect e;
  e.Amount = 0;
  e.Seed = 42;
  ASSERT_TRUE(e.Apply(src, dst, nullptr));
  EXPECT_TRUE(SameBytes(src, dst));
  EXPECT_EQ(SharedRandom.Next(), DrawAfter(42, 256));

  mvPicture deep = Make(4, 2, ColorTypeRGB, 16, 4);
  deep.HasWorkRect = 1;
  deep.WorkRect = {9, 9, 12, 12};  // nothing to do, yet the table is drawn
  mvPicture deepOut(deep);
  ASSERT_TRUE(e.Apply(deep, deepOut, nullptr));
  EXPECT_EQ(SharedRandom.Next(), DrawAfter(42, 65536));
}

TEST(HistogramNoise, OneLevelMovesTogetherAndAlphaIsCopied) {
  mvPicture src = Make(32, 1, ColorTypeRGB, 8, 4);
  for (int x = 0; x < 32; ++x) {
    uint8_t* p = src.Pixels + x * 4;
    p[0] = p[1] = p[2] = static_cast<uint8_t>(x < 16 ? 100 : 180);
    p[3] = static_cast<uint8_t>(x);
  }
  mvPicture dst(src);
  mvHistogramNoiseEffect e;
  e.Amount = 30;
  ASSERT_TRUE(e.Apply(src, dst, nullptr));
  for (int x = 0; x < 32; ++x) {
    const int ref = x < 16 ? 0 : 16;
    EXPECT_EQ(std::memcmp(dst.Pixels + x * 4, dst.Pixels + ref * 4, 3), 0);
    EXPECT_EQ(dst.Pixels[x * 4 + 3], x);
  }
  e.Amount = INT_MIN;  // magnitude far beyond full scale: every level saturates
  EXPECT_TRUE(e.Apply(src, dst, nullptr));
  for (int x = 0; x < 32; ++x) EXPECT_TRUE(dst.Pixels[x * 4] == 0 || dst.Pixels[x * 4] == 255);
}

// Noise effects: draw order and counts, hue wrap, alpha rules, formats left
// alone, the histogram table's draws.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <tuple>

#include "core/color.h"
#include "core/random.h"
#include "effects/filter/noise.h"

namespace {

mvPicture Make(int w, int h, uint32_t type, uint32_t depth, uint32_t ch) {
  mvPicture p;
  EXPECT_TRUE(p.Create(w, h, type, depth, ch));
  std::memset(p.Pixels, 0, p.ByteSize());
  return p;
}

// Fills a picture with a deterministic varied pattern.
void Pattern(mvPicture& p) {
  for (int32_t y = 0; y < p.Height; ++y)
    for (uint32_t i = 0; i < p.Stride; ++i) p.Row(y)[i] = static_cast<uint8_t>(i * 37 + y * 11 + 5);
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

}  // namespace

TEST(HSVNoise, DensityHundredMakesNoSharedDrawsAndBelowDrawsOncePerPixel) {
  mvPicture src = Make(8, 4, ColorTypeRGB, 8, 4);
  Pattern(src);
  mvPicture dst(src);
  mvHSVNoiseEffect e;
  e.ValueAmount = 20;
  SharedRandom.Seed(77);
  ASSERT_TRUE(e.Apply(src, dst, nullptr));
  EXPECT_EQ(SharedRandom.Next(), DrawAfter(77, 0));

  // Density 1: one NextInt(100) per pixel, about 99 % of pixels untouched.
  e.Density = 1;
  mvPicture big = Make(100, 100, ColorTypeRGB, 8, 4);
  Pattern(big);
  mvPicture out(big);
  SharedRandom.Seed(5);
  ASSERT_TRUE(e.Apply(big, out, nullptr));
  int changed = 0;
  for (int32_t y = 0; y < 100; ++y)
    changed += std::memcmp(big.Row(y), out.Row(y), 400) != 0 ? 1 : 0;
  EXPECT_LT(changed, 100);
  mvRandom ref;
  ref.Seed(5);
  for (int i = 0; i < 10000; ++i) ref.NextInt(100);
  EXPECT_EQ(SharedRandom.Next(), ref.Next());
}

TEST(HSVNoise, HueStepJustBelowZeroWrapsAndZeroTermKeepsHue) {
  // Find seeds whose first uniform hue term is -1 and 0 for amplitude 1.
  uint32_t seedMinus = 0, seedZero = 0;
  for (uint32_t s = 1; s < 200 && (!seedMinus || !seedZero); ++s) {
    mvRandom r;
    r.Seed(s);
    const int term = 1 - static_cast<int>(r.NextInt(3));
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
  uint8_t r, g, b;
  HSVToRGB(1 - 1.0 / 360, 1, 1, r, g, b);
  EXPECT_EQ(dst.Pixels[0], r);
  EXPECT_EQ(dst.Pixels[1], g);
  EXPECT_EQ(dst.Pixels[2], b);
  EXPECT_GT(dst.Pixels[2], 0);  // just below a full turn: a touch of blue

  e.Seed = seedZero;
  ASSERT_TRUE(e.Apply(src, dst, nullptr));
  EXPECT_EQ(dst.Pixels[0], 255);
  EXPECT_EQ(dst.Pixels[1], 0);
  EXPECT_EQ(dst.Pixels[2], 0);
}

TEST(HSVNoise, AlphaZeroStaysAndOtherAlphasMove) {
  mvPicture src = Make(64, 1, ColorTypeRGB, 8, 4);
  for (int x = 0; x < 64; ++x) src.Pixels[x * 4 + 3] = (x & 1) ? 128 : 0;
  mvPicture dst(src);
  mvHSVNoiseEffect e;
  e.AlphaAmount = 100;
  for (bool gaussian : {false, true}) {
    e.Gaussian = gaussian;
    ASSERT_TRUE(e.Apply(src, dst, nullptr));
    int moved = 0;
    for (int x = 0; x < 64; ++x) {
      if (x & 1)
        moved += dst.Pixels[x * 4 + 3] != 128;
      else
        EXPECT_EQ(dst.Pixels[x * 4 + 3], 0) << x;
    }
    EXPECT_GT(moved, 0);
  }
}

TEST(HSVNoise, ZeroAmplitudesStillRoundTripThroughHSVAndRepeatBySeed) {
  mvPicture src = Make(16, 3, ColorTypeRGB, 8, 3);
  Pattern(src);
  mvPicture dst = Make(16, 3, ColorTypeRGB, 8, 3);
  mvHSVNoiseEffect e;
  ASSERT_TRUE(e.Apply(src, dst, nullptr));
  for (int x = 0; x < 16; ++x) {
    const uint8_t* s = src.Row(1) + x * 3;
    double h, sv, v;
    uint8_t r, g, b;
    RGBToHSV(s[0], s[1], s[2], h, sv, v);
    HSVToRGB(h, sv, v, r, g, b);
    EXPECT_EQ(dst.Row(1)[x * 3], r);
    EXPECT_EQ(dst.Row(1)[x * 3 + 1], g);
    EXPECT_EQ(dst.Row(1)[x * 3 + 2], b);
  }
  e.HueAmount = 30;
  e.SaturationAmount = 20;
  e.Gaussian = true;
  mvPicture once(src), twice(src);
  ASSERT_TRUE(e.Apply(src, once, nullptr));
  ASSERT_TRUE(e.Apply(src, twice, nullptr));
  EXPECT_TRUE(SameBytes(once, twice));
  EXPECT_FALSE(SameBytes(once, src));
}

TEST(HSVNoise, GrayUniformTermScalesByFullRange) {
  mvPicture src = Make(4, 1, ColorTypeGray, 16, 2);
  uint16_t* s = reinterpret_cast<uint16_t*>(src.Pixels);
  for (int x = 0; x < 4; ++x) {
    s[x * 2] = 30000;
    s[x * 2 + 1] = 65535;
  }
  mvPicture dst(src);
  mvHSVNoiseEffect e;
  e.ValueAmount = 10;
  e.Seed = 9;
  ASSERT_TRUE(e.Apply(src, dst, nullptr));
  mvRandom r;
  r.Seed(9);
  const uint16_t* d = reinterpret_cast<const uint16_t*>(dst.Pixels);
  for (int x = 0; x < 4; ++x) {
    const int64_t term = ((10 - static_cast<int64_t>(r.NextInt(21))) * 65535) / 100;
    EXPECT_EQ(d[x * 2], 30000 + term);
    EXPECT_EQ(d[x * 2 + 1], 65535);
  }
}

TEST(HSVNoise, HostileAmplitudesStayInRange) {
  mvPicture src = Make(32, 2, ColorTypeRGB, 16, 4);
  Pattern(src);
  mvPicture dst(src);
  mvHSVNoiseEffect e;
  e.HueAmount = INT_MIN;
  e.SaturationAmount = INT_MAX;
  e.ValueAmount = INT_MIN;
  e.AlphaAmount = INT_MIN;
  for (bool g : {false, true}) {
    e.Gaussian = g;
    EXPECT_TRUE(e.Apply(src, dst, nullptr));
  }
  mvPicture gray = Make(32, 2, ColorTypeGray, 8, 2);
  Pattern(gray);
  mvPicture gout(gray);
  EXPECT_TRUE(e.Apply(gray, gout, nullptr));
}

TEST(HSLNoise, OnlyEightBitRGBIsTouched) {
  mvHSLNoiseEffect e;
  e.HueAmount = 20;
  e.LightnessAmount = 10;
  for (auto [type, depth, ch] : {std::tuple{ColorTypeRGB, 16u, 4u}, std::tuple{ColorTypeGray, 8u, 1u}}) {
    mvPicture src = Make(8, 2, type, depth, ch);
    Pattern(src);
    mvPicture dst = Make(8, 2, type, depth, ch);
    EXPECT_TRUE(e.Apply(src, dst, nullptr));
    for (size_t i = 0; i < dst.ByteSize(); ++i) ASSERT_EQ(dst.Pixels[i], 0);
  }
  mvPicture src = Make(8, 2, ColorTypeRGB, 8, 4);
  Pattern(src);
  mvPicture dst(src);
  EXPECT_TRUE(e.Apply(src, dst, nullptr));
  EXPECT_FALSE(SameBytes(src, dst));
}

TEST(HistogramNoise, AmountZeroKeepsGrayAndDrawsOncePerLevel) {
  mvPicture src = Make(16, 4, ColorTypeGray, 8, 2);
  Pattern(src);
  mvPicture dst = Make(16, 4, ColorTypeGray, 8, 2);
  mvHistogramNoiseEffect e;
  e.Amount = 0;
  e.Seed = 42;
  ASSERT_TRUE(e.Apply(src, dst, nullptr));
  EXPECT_TRUE(SameBytes(src, dst));
  EXPECT_EQ(SharedRandom.Next(), DrawAfter(42, 256));

  mvPicture deep = Make(4, 2, ColorTypeRGB, 16, 4);
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

TEST(NoiseEffects, ProgressStopAndWorkArea) {
  mvPicture src = Make(8, 8, ColorTypeRGB, 8, 4);
  Pattern(src);
  src.HasWorkRect = 1;
  src.WorkRect = mvRect{2, 2, 20, 5};  // reaches past the picture: clipped
  mvPicture dst = Make(8, 8, ColorTypeRGB, 8, 4);
  mvHSVNoiseEffect e;
  e.ValueAmount = 50;
  uint32_t maxSeen = 0;
  mvCallbackProgress stop([&](uint32_t pos, uint32_t max) {
    maxSeen = max;
    return pos < 2;
  });
  EXPECT_FALSE(e.Apply(src, dst, &stop));
  EXPECT_EQ(maxSeen, 2u);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) {
      const bool written = y >= 2 && y < 4 && x >= 2;
      const uint8_t* p = dst.Row(y) + x * 4;
      if (!written) {
        EXPECT_EQ(p[0] | p[1] | p[2] | p[3], 0) << x << "," << y;
      }
    }
}

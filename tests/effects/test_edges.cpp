// Motion blur, edge detection, neon and emboss: directions, flat areas,
// steps, transparency, seamless tiling.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "effects/filter/edges.h"
#include "effects/filter/motion_blur.h"
#include "tests/effects/pictures.h"

namespace {

using testpics::SamePixels;

mvPicture Make(int w, int h, uint32_t type = ColorTypeRGB, uint32_t depth = 8, uint32_t ch = 3) {
  mvPicture p;
  EXPECT_TRUE(p.Create(w, h, type, depth, ch));
  return p;
}

mvPicture Noise(int w, int h, uint32_t type, uint32_t depth, uint32_t ch, bool opaque = false) {
  mvPicture p = testpics::Noise(w, h, {type, depth, ch}, static_cast<uint32_t>(w * 31 + h));
  const uint32_t bpp = p.BytesPerPixel(), sz = depth / 8;
  if (opaque)
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) std::memset(p.Row(y) + static_cast<size_t>(x) * bpp + bpp - sz, 0xFF, sz);
  return p;
}

mvPicture Applied(mvEffect& e, const mvPicture& src) {
  mvPicture s(src), d(src);
  EXPECT_TRUE(e.Apply(s, d, nullptr));
  return d;
}

void Reapply(mvPicture& d, mvEffect& e, const mvPicture& src) {
  mvPicture t = Applied(e, src);
  d.MoveFrom(t);
}

// kx x ky copies of p side by side.
mvPicture Tiled(const mvPicture& p, int kx, int ky) {
  mvPicture t = Make(p.Width * kx, p.Height * ky, p.ColorType, p.BitDepth, p.Channels);
  const size_t row = static_cast<size_t>(p.Width) * p.BytesPerPixel();
  for (int32_t y = 0; y < t.Height; ++y)
    for (int i = 0; i < kx; ++i) std::memcpy(t.Row(y) + static_cast<size_t>(i) * row, p.Row(y % p.Height), row);
  return t;
}

// The largest sample difference between p and the tile (tx, ty) of t.
int TileDifference(const mvPicture& p, const mvPicture& t, int tx, int ty) {
  const size_t row = static_cast<size_t>(p.Width) * p.BytesPerPixel();
  int worst = 0;
  for (int32_t y = 0; y < p.Height; ++y)
    for (size_t i = 0; i < row; ++i)
      worst = std::max(worst, std::abs(p.Row(y)[i] - t.Row(ty * p.Height + y)[static_cast<size_t>(tx) * row + i]));
  return worst;
}

mvMotionBlurEffect Blur(int angle, bool seamless = true) {
  mvMotionBlurEffect e;
  e.Angle = angle;
  e.Seamless = seamless;
  return e;
}

mvEmbossEffect Relief(int direction, uint32_t depth, bool seamless = true) {
  mvEmbossEffect e;
  e.Direction = direction;
  e.Depth = depth;
  e.Seamless = seamless;
  return e;
}

}  // namespace

// Seamless filtering of a picture equals the same filtering of the picture
// repeated, tile for tile: the result tiles without a seam. Without the flag
// the picture's own borders show.
TEST(EdgeEffects, SeamlessResultsTileAndClampedOnesDiffer) {
  mvMotionBlurEffect blurs[] = {Blur(0), Blur(90), Blur(37), Blur(200)};
  mvEmbossEffect reliefs[] = {Relief(0, 1), Relief(2, 3), Relief(5, 3), Relief(7, 2), Relief(2, 9)};
  mvEdgeDetectionEffect edges;
  edges.Seamless = true;
  std::vector<mvEffect*> effects = {&edges};
  for (auto& e : blurs) effects.push_back(&e);
  for (auto& e : reliefs) effects.push_back(&e);
  const mvPicture pictures[] = {Noise(24, 16, ColorTypeRGB, 8, 4), Noise(20, 12, ColorTypeGray, 16, 2, true)};
  for (mvEffect* e : effects)
    for (const mvPicture& p : pictures) {
      const mvPicture one = Applied(*e, p), four = Applied(*e, Tiled(p, 2, 2));
      for (int t = 0; t < 4; ++t) EXPECT_EQ(TileDifference(one, four, t % 2, t / 2), 0) << e->Class().Name << t;
      std::unique_ptr<mvEffect> clamped(e->Clone());
      const FieldInfo* seamless = clamped->Class().Find("Seamless");
      ASSERT_TRUE(seamless);
      *static_cast<bool*>(seamless->Access(*clamped)) = false;
      EXPECT_FALSE(SamePixels(one, Applied(*clamped, p))) << e->Class().Name;
    }
}

TEST(MotionBlur, AngleNinetyStreaksTowardSmallerColumnsAndZeroTowardLargerRows) {
  mvPicture p = Make(60, 60);
  std::memset(p.Pixels, 0, p.ByteSize());
  p.Row(30)[30 * 3] = 255;  // one red dot
  mvMotionBlurEffect e = Blur(90, false);
  e.Distance = 5;
  mvPicture d = Applied(e, p);
  // Each pixel reads itself and the 10 pixels to its left, so the dot spreads right.
  int prev = 256;
  for (int x = 30; x <= 40; ++x) {
    const int v = d.Row(30)[x * 3];
    EXPECT_GT(v, 0) << x;
    EXPECT_LE(v, prev) << x;
    prev = v;
  }
  EXPECT_EQ(d.Row(30)[29 * 3] | d.Row(30)[41 * 3] | d.Row(29)[30 * 3], 0);
  e.Angle = 0;  // reads the pixels below, so the dot spreads upward
  Reapply(d, e, p);
  EXPECT_GT(d.Row(30)[30 * 3], d.Row(25)[30 * 3]);
  EXPECT_GT(d.Row(20)[30 * 3], 0);
  EXPECT_EQ(d.Row(31)[30 * 3] | d.Row(19)[30 * 3] | d.Row(30)[31 * 3], 0);
}

TEST(MotionBlur, TransparentAreasGiveZeroesAndOpaqueFlatStaysFlat) {
  mvPicture p = Make(20, 20, ColorTypeRGB, 8, 4);
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 20; ++x) std::memcpy(p.Row(y) + x * 4, "\xC8\0\0\0", 4);  // red, alpha 0
  mvMotionBlurEffect e = Blur(33, false);
  mvPicture d = Applied(e, p);
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 20; ++x) ASSERT_EQ(std::memcmp(d.Row(y) + x * 4, "\0\0\0\0", 4), 0);
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 20; ++x) p.Row(y)[x * 4 + 3] = 255;
  Reapply(d, e, p);
  EXPECT_EQ(std::memcmp(d.Row(7) + 7 * 4, "\xC8\0\0\xFF", 4), 0);

  // 16-bit with alpha: a fully transparent neighbourhood writes nothing.
  mvPicture q = Make(6, 6, ColorTypeRGB, 16, 4);
  mvPicture t(q);
  std::memset(t.Pixels, 0x11, t.ByteSize());
  ASSERT_TRUE(e.Apply(q, t, nullptr));
  EXPECT_EQ(t.Pixels[0], 0x11);
}

// Columns far enough from the sides go in tiles, the others (and any area
// narrower than a tile) pixel by pixel: both must give the same pixels.
TEST(MotionBlur, TiledColumnsMatchPixelByPixelOnEveryFormat) {
  for (const testpics::Format& f : testpics::kColorFormats)
    for (int angle : {37, 180, 270}) {
      mvPicture p = testpics::Noise(150, 12, f, static_cast<uint32_t>(angle));
      mvMotionBlurEffect e = Blur(angle, angle != 180);
      e.Distance = 6;
      const mvPicture whole = Applied(e, p);
      p.HasWorkRect = 1;
      p.WorkRect = {40, 0, 90, 12};
      const mvPicture narrow = Applied(e, p);
      const uint32_t bpp = p.BytesPerPixel();
      for (int32_t y = 0; y < 12; ++y)
        ASSERT_EQ(std::memcmp(whole.Row(y) + 40 * bpp, narrow.Row(y) + 40 * bpp, 50 * bpp), 0)
            << f.Depth << f.Channels << angle;
    }
}

TEST(EdgeDetection, FlatAreaStepAndInvert) {
  mvPicture p = Make(10, 6);
  std::memset(p.Pixels, 0, p.ByteSize());
  for (int32_t y = 0; y < 6; ++y)
    for (int32_t x = 5; x < 10; ++x) p.Row(y)[x * 3 + 1] = 255;  // green step between columns 4 and 5
  mvEdgeDetectionEffect e;
  mvPicture d = Applied(e, p);
  EXPECT_EQ(d.Row(3)[4 * 3 + 1], 255);
  EXPECT_EQ(d.Row(3)[5 * 3 + 1], 255);
  EXPECT_EQ(d.Row(3)[2 * 3 + 1] | d.Row(3)[8 * 3 + 1] | d.Row(3)[8 * 3], 0);
  e.Invert = true;
  Reapply(d, e, p);
  EXPECT_EQ(d.Row(3)[2 * 3], 255);
  EXPECT_EQ(d.Row(3)[4 * 3 + 1], 0);
  // Roberts cross: only the pixel left of the step sees it.
  e.Invert = false;
  e.Operator = 1;
  e.Amount = 50;
  Reapply(d, e, p);
  EXPECT_EQ(d.Row(3)[4 * 3 + 1], 180);  // trunc(sqrt(2) * 255 / 2)
  EXPECT_EQ(d.Row(3)[5 * 3 + 1], 0);
  // Seamless: the far edge wraps onto the dark first column.
  e.Seamless = true;
  Reapply(d, e, p);
  EXPECT_GT(d.Row(3)[9 * 3 + 1], 0);
}

TEST(EdgeDetection, SixteenBitAlphaAndEquality) {
  mvPicture p = Make(5, 5, ColorTypeGray, 16, 2);
  uint16_t* s = reinterpret_cast<uint16_t*>(p.Pixels);
  for (int i = 0; i < 25; ++i) s[i * 2] = 40000, s[i * 2 + 1] = 0;  // flat gray, all transparent
  mvPicture d(p);
  mvEdgeDetectionEffect e;
  e.Invert = true;
  ASSERT_TRUE(e.Apply(p, d, nullptr));
  const uint16_t* o = reinterpret_cast<const uint16_t*>(d.Pixels);
  EXPECT_EQ(o[12 * 2], 65535);
  EXPECT_EQ(o[12 * 2 + 1], 0);  // alpha untouched
  // A transparent neighbour counts as absent: the opaque centre alone makes an edge.
  s[12 * 2 + 1] = 65535;
  e.Invert = false;
  ASSERT_TRUE(e.Apply(p, d, nullptr));
  EXPECT_EQ(o[11 * 2], 65535);

  mvEdgeDetectionEffect a, b;
  b.Amount = 180;
  EXPECT_TRUE(a.IsEqual(b));
  b.Invert = true;
  EXPECT_FALSE(a.IsEqual(b));
}

TEST(Neon, FlatPictureHasNoEdgesAndKeepsOpaqueAlpha) {
  mvPicture p = Make(40, 30, ColorTypeRGB, 8, 4);
  for (int32_t y = 0; y < 30; ++y)
    for (int32_t x = 0; x < 40; ++x) std::memcpy(p.Row(y) + x * 4, "\x50\x90\xC0\xFF", 4);
  mvNeonEffect e;
  for (bool seamless : {false, true}) {
    e.Seamless = seamless;
    mvPicture d = Applied(e, p);
    for (int32_t y = 0; y < 30; ++y)
      for (int32_t x = 0; x < 40; ++x) ASSERT_EQ(std::memcmp(d.Row(y) + x * 4, "\0\0\0\xFF", 4), 0) << x << "," << y;
  }
  // A falling step glows around the step; a rising one gives negative
  // responses, which become 0.
  for (int32_t y = 0; y < 30; ++y)
    for (int32_t x = 0; x < 20; ++x) p.Row(y)[x * 4] = 0xF0;
  e.Seamless = false;
  mvPicture d = Applied(e, p);
  EXPECT_EQ(d.Row(15)[19 * 4], 255);
  EXPECT_EQ(d.Row(15)[20 * 4], 255);
  EXPECT_GT(d.Row(15)[17 * 4], 0);
  EXPECT_EQ(d.Row(15)[5 * 4] | d.Row(15)[20 * 4 + 1], 0);
  for (int32_t y = 0; y < 30; ++y)
    for (int32_t x = 0; x < 40; ++x) p.Row(y)[x * 4] = x < 20 ? 0x50 : 0xF0;
  Reapply(d, e, p);
  EXPECT_EQ(d.Row(15)[19 * 4] | d.Row(15)[20 * 4], 0);
  // 16-bit pictures are not touched.
  mvPicture deep = Noise(8, 8, ColorTypeRGB, 16, 3);
  mvPicture out = Make(8, 8, ColorTypeRGB, 16, 3);
  std::memset(out.Pixels, 0, out.ByteSize());
  EXPECT_TRUE(e.Apply(deep, out, nullptr));
  EXPECT_EQ(out.Pixels[0] | out.Pixels[100], 0);
}

TEST(Neon, SeamlessResultOfTileablePictureTiles) {
  // A smooth tileable picture: sums of whole-period waves.
  mvPicture p = Make(64, 48, ColorTypeRGB, 8, 3);
  for (int32_t y = 0; y < 48; ++y)
    for (int32_t x = 0; x < 64; ++x)
      for (int c = 0; c < 3; ++c)
        p.Row(y)[x * 3 + c] = static_cast<uint8_t>(127 + 60 * std::sin(2 * 3.141592653589793 * (x * (c + 1)) / 64) +
                                                   60 * std::cos(2 * 3.141592653589793 * y * 2 / 48));
  mvNeonEffect e;
  e.Radius = 2;
  e.Seamless = true;
  const mvPicture nine = Applied(e, Tiled(p, 3, 3));
  EXPECT_LE(TileDifference(Applied(e, p), nine, 1, 1), 1);
  // Without the flag the edges see the picture's own borders, not its neighbours.
  e.Seamless = false;
  EXPECT_GT(TileDifference(Applied(e, p), nine, 1, 1), 1);
}

// Whatever the light, depth and gain, also far outside what the generator
// makes.
TEST(Emboss, FlatAreaGivesMiddleGray) {
  for (uint32_t depth : {8u, 16u}) {
    mvPicture p = Make(12, 9, ColorTypeRGB, depth, 3);
    std::memset(p.Pixels, 0x5A, p.ByteSize());
    for (int dir : {0, 1, 2, 3, 4, 5, 6, 7, INT_MIN})
      for (bool color : {false, true}) {
        mvEmbossEffect e = Relief(dir, dir == INT_MIN ? UINT32_MAX : static_cast<uint32_t>(1 + dir % 3), false);
        e.ColorRelief = color;
        e.Amount = dir == INT_MIN ? UINT32_MAX : 290;
        mvPicture d = Applied(e, p);
        for (int32_t y = 0; y < 9; ++y)
          for (int32_t x = 0; x < 12 * 3; ++x)
            ASSERT_EQ(depth == 8 ? d.Row(y)[x] : reinterpret_cast<const uint16_t*>(d.Row(y))[x],
                      depth == 8 ? 128 : 32768);
      }
  }
}

TEST(Emboss, AlphaMeanTransparentAndStep) {
  mvPicture p = Make(6, 6, ColorTypeRGB, 8, 4);
  std::memset(p.Pixels, 0x40, p.ByteSize());
  for (int32_t y = 0; y < 6; ++y)
    for (int32_t x = 0; x < 6; ++x) p.Row(y)[x * 4 + 3] = 0xFF;
  mvEmbossEffect e;
  EXPECT_EQ(std::memcmp(Applied(e, p).Row(3) + 12, "\x80\x80\x80\xFF", 4), 0);
  for (int32_t y = 0; y < 6; ++y)
    for (int32_t x = 0; x < 6; ++x) p.Row(y)[x * 4 + 3] = 0;
  EXPECT_EQ(std::memcmp(Applied(e, p).Row(3) + 12, "\0\0\0\0", 4), 0);

  // Horizontal light over a step of 250 in red: 25 above mid-gray at Amount 10.
  mvPicture s = Make(6, 3);
  std::memset(s.Pixels, 0, s.ByteSize());
  for (int32_t y = 0; y < 3; ++y) s.Row(y)[3 * 3] = 250;
  mvEmbossEffect h = Relief(3, 1, false);
  h.Amount = 10;
  h.ColorRelief = true;
  mvPicture d = Applied(h, s);
  EXPECT_EQ(d.Row(1)[2 * 3], 128 + 25);
  EXPECT_EQ(d.Row(1)[4 * 3], 128 - 25);
  EXPECT_EQ(d.Row(1)[2 * 3 + 1], 128);
  h.ColorRelief = false;
  Reapply(d, h, s);
  EXPECT_EQ(d.Row(1)[2 * 3 + 1], (128 * 151 + 153 * 77 + 128 * 28) >> 8);
}

// Straight sums of the windows, read pixel by pixel through the edge rule.
static mvPicture EmbossByHand(const mvEmbossEffect& e, const mvPicture& p) {
  mvPicture out(p);
  const int W = p.Width, H = p.Height, ch = static_cast<int>(p.Channels);
  const int64_t d = e.Depth;
  auto rule = [&](int64_t c, int n) -> int {
    if (e.Seamless) return static_cast<int>(((c % n) + n) % n);
    return static_cast<int>(c < 0 ? 0 : (c >= n ? n - 1 : c));
  };
  const bool useV = e.Direction != 3 && e.Direction != 4, useH = e.Direction != 1 && e.Direction != 6;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      int64_t v[3] = {0, 0, 0}, A = 0;
      auto add = [&](int xx, int yy, int sign) {
        const uint8_t* px = p.Row(yy) + xx * ch;
        for (int c = 0; c < 3; ++c) v[c] += sign * px[c] * px[3];
        A += px[3];
      };
      for (int64_t k = 1; k <= d && useV; ++k) {
        const int s = e.Direction > 4 ? -1 : 1;
        add(x, rule(y + k, H), s);
        add(x, rule(y - k, H), -s);
      }
      for (int64_t k = 1; k <= d && useH; ++k) {
        const int s = (e.Direction == 0 || e.Direction == 3 || e.Direction == 5) ? 1 : -1;
        add(rule(x + k, W), y, s);
        add(rule(x - k, W), y, -s);
      }
      uint8_t* o = out.Row(y) + x * ch;
      if (A == 0) {
        std::memset(o, 0, 4);
        continue;
      }
      for (int c = 0; c < 3; ++c)
        o[c] = static_cast<uint8_t>(std::clamp<int64_t>((int64_t(e.Amount) * v[c]) / (A * d * 100) + 128, 0, 255));
      o[3] = static_cast<uint8_t>(A / ((useV ? 2 * d : 0) + (useH ? 2 * d : 0)));
    }
  return out;
}

// Depths up to 8 take the tiled sums, deeper ones the sliding windows; both
// must give the straight sums, across tiles (width 70) and with wrap.
TEST(Emboss, WindowsMatchStraightSumsForAnyDepth) {
  for (int w : {7, 70}) {
    mvPicture p = Noise(w, 5, ColorTypeRGB, 8, 4);
    for (int32_t y = 0; y < 5; ++y) p.Row(y)[2 * 4 + 3] = 0;  // a transparent column
    for (uint32_t depth : {1u, 2u, 4u, 8u, 9u, 13u})
      for (int dir = 0; dir < 8; ++dir)
        for (bool wrap : {false, true}) {
          mvEmbossEffect e = Relief(dir, depth, wrap);
          e.ColorRelief = true;
          e.Amount = 2500;
          ASSERT_TRUE(SamePixels(Applied(e, p), EmbossByHand(e, p))) << w << " " << depth << " " << dir << " " << wrap;
        }
  }
}

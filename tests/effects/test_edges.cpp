// Motion blur, edge detection, neon and emboss: directions, flat areas,
// steps, transparency, seamless tiling, hostile field values.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "effects/filter/edges.h"
#include "tests/effects/pictures.h"

namespace {

mvPicture Make(int w, int h, uint32_t type = ColorTypeRGB, uint32_t depth = 8, uint32_t ch = 3) {
  mvPicture p;
  EXPECT_TRUE(p.Create(w, h, type, depth, ch));
  std::memset(p.Pixels, 0, p.ByteSize());
  return p;
}

void Pattern(mvPicture& p, uint32_t salt = 0) {
  uint32_t v = 12345 + salt;
  for (int32_t y = 0; y < p.Height; ++y)
    for (uint32_t i = 0; i < p.Stride; ++i) {
      v = v * 1103515245u + 12345u;
      p.Row(y)[i] = static_cast<uint8_t>(v >> 16);
    }
}

void Opaque(mvPicture& p) {
  const uint32_t bpp = p.BytesPerPixel(), sz = p.BitDepth / 8;
  for (int32_t y = 0; y < p.Height; ++y)
    for (int32_t x = 0; x < p.Width; ++x) std::memset(p.Row(y) + x * bpp + bpp - sz, 0xFF, sz);
}

bool SameBytes(const mvPicture& a, const mvPicture& b) { return testpics::SamePixels(a, b); }

// kx x ky copies of p side by side.
mvPicture Tiled(const mvPicture& p, int kx, int ky) {
  mvPicture t = Make(p.Width * kx, p.Height * ky, p.ColorType, p.BitDepth, p.Channels);
  const size_t row = static_cast<size_t>(p.Width) * p.BytesPerPixel();
  for (int32_t y = 0; y < t.Height; ++y)
    for (int i = 0; i < kx; ++i) std::memcpy(t.Row(y) + i * row, p.Row(y % p.Height), row);
  return t;
}

// The tile at (tx, ty) of a tiled picture.
mvPicture TileOf(const mvPicture& t, int w, int h, int tx, int ty) {
  mvPicture p = Make(w, h, t.ColorType, t.BitDepth, t.Channels);
  const size_t row = static_cast<size_t>(w) * t.BytesPerPixel();
  for (int32_t y = 0; y < h; ++y) std::memcpy(p.Row(y), t.Row(ty * h + y) + tx * row, row);
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

// Seamless filtering of a picture equals the same filtering of the picture
// repeated 2 x 2, tile for tile: the result tiles without a seam.
void ExpectSeamlessTiles(mvEffect& e, const mvPicture& p) {
  const mvPicture one = Applied(e, p);
  const mvPicture four = Applied(e, Tiled(p, 2, 2));
  for (int ty = 0; ty < 2; ++ty)
    for (int tx = 0; tx < 2; ++tx) EXPECT_TRUE(SameBytes(one, TileOf(four, p.Width, p.Height, tx, ty))) << tx << ty;
}

}  // namespace

TEST(MotionBlur, AngleNinetyStreaksTowardSmallerColumnsAndZeroTowardLargerRows) {
  mvPicture p = Make(60, 60);
  p.Row(30)[30 * 3] = 255;  // one red dot
  mvMotionBlurEffect e;
  e.Distance = 5;
  e.Angle = 90;
  mvPicture d = Applied(e, p);
  // Each pixel reads itself and the 10 pixels to its left, so the dot spreads right.
  int prev = 256;
  for (int x = 30; x <= 40; ++x) {
    const int v = d.Row(30)[x * 3];
    EXPECT_GT(v, 0) << x;
    EXPECT_LE(v, prev) << x;
    prev = v;
  }
  EXPECT_EQ(d.Row(30)[29 * 3], 0);
  EXPECT_EQ(d.Row(30)[41 * 3], 0);
  EXPECT_EQ(d.Row(29)[30 * 3], 0);

  e.Angle = 0;  // reads the pixels below, so the dot spreads upward
  Reapply(d, e, p);
  EXPECT_GT(d.Row(30)[30 * 3], d.Row(25)[30 * 3]);
  EXPECT_GT(d.Row(20)[30 * 3], 0);
  EXPECT_EQ(d.Row(31)[30 * 3], 0);
  EXPECT_EQ(d.Row(19)[30 * 3], 0);
  EXPECT_EQ(d.Row(30)[31 * 3], 0);
}

TEST(MotionBlur, TransparentAreasGiveZeroesAndOpaqueFlatStaysFlat) {
  mvPicture p = Make(20, 20, ColorTypeRGB, 8, 4);
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 20; ++x) p.Row(y)[x * 4] = 200;  // red, alpha 0
  mvMotionBlurEffect e;
  e.Angle = 33;
  mvPicture d = Applied(e, p);
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 20; ++x) ASSERT_EQ(std::memcmp(d.Row(y) + x * 4, "\0\0\0\0", 4), 0);
  Opaque(p);
  Reapply(d, e, p);
  EXPECT_EQ(d.Row(7)[7 * 4], 200);
  EXPECT_EQ(d.Row(7)[7 * 4 + 3], 255);

  // 16-bit with alpha: a fully transparent neighbourhood writes nothing.
  mvPicture q = Make(6, 6, ColorTypeRGB, 16, 4);
  mvPicture t(q);
  std::memset(t.Pixels, 0x11, t.ByteSize());
  ASSERT_TRUE(e.Apply(q, t, nullptr));
  EXPECT_EQ(t.Pixels[0], 0x11);
}

TEST(MotionBlur, SeamlessResultTilesAndClampDiffers) {
  mvPicture p = Make(24, 16, ColorTypeRGB, 8, 4);
  Pattern(p);
  mvMotionBlurEffect e;
  e.Seamless = true;
  for (int angle : {0, 90, 37, 200}) {
    e.Angle = angle;
    ExpectSeamlessTiles(e, p);
  }
  mvPicture gray = Make(20, 12, ColorTypeGray, 16, 2);
  Pattern(gray, 3);
  Opaque(gray);
  ExpectSeamlessTiles(e, gray);
  mvMotionBlurEffect clamped = e;
  clamped.Seamless = false;
  EXPECT_FALSE(SameBytes(Applied(e, p), Applied(clamped, p)));
}

TEST(MotionBlur, HostileFieldsTerminateInRange) {
  mvPicture p = Make(6, 5, ColorTypeRGB, 16, 4);
  Pattern(p);
  mvMotionBlurEffect e;
  e.Distance = UINT32_MAX;
  e.Sigma = 0;
  e.Angle = INT_MIN;
  mvPicture d = Applied(e, p);
  e.Distance = 0;
  e.Sigma = UINT32_MAX;
  e.Seamless = true;
  Reapply(d, e, Make(3, 3, ColorTypeGray, 8, 1));
  SUCCEED();
}

TEST(MotionBlur, ProgressCountsRowsAndStops) {
  mvPicture p = Make(8, 8);
  mvPicture d(p);
  mvMotionBlurEffect e;
  uint32_t steps = 0, max = 0;
  mvCallbackProgress stop([&](uint32_t pos, uint32_t m) {
    steps = pos;
    max = m;
    return pos < 3;
  });
  EXPECT_FALSE(e.Apply(p, d, &stop));
  EXPECT_EQ(steps, 3u);
  EXPECT_EQ(max, 7u);
}

TEST(EdgeDetection, FlatAreaStepAndInvert) {
  mvPicture p = Make(10, 6);
  for (int32_t y = 0; y < 6; ++y)
    for (int32_t x = 5; x < 10; ++x) p.Row(y)[x * 3 + 1] = 255;  // green step between columns 4 and 5
  mvEdgeDetectionEffect e;
  mvPicture d = Applied(e, p);
  EXPECT_EQ(d.Row(3)[4 * 3 + 1], 255);
  EXPECT_EQ(d.Row(3)[5 * 3 + 1], 255);
  EXPECT_EQ(d.Row(3)[2 * 3 + 1], 0);
  EXPECT_EQ(d.Row(3)[8 * 3 + 1], 0);
  EXPECT_EQ(d.Row(3)[8 * 3], 0);
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
  for (int i = 0; i < 25; ++i) s[i * 2] = 40000;  // flat gray, all transparent
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
  EXPECT_EQ(d.Row(15)[5 * 4], 0);
  EXPECT_EQ(d.Row(15)[20 * 4 + 1], 0);
  mvPicture rising = Make(40, 30, ColorTypeRGB, 8, 4);
  for (int32_t y = 0; y < 30; ++y)
    for (int32_t x = 0; x < 40; ++x) rising.Row(y)[x * 4] = x < 20 ? 0x50 : 0xF0;
  Reapply(d, e, rising);
  EXPECT_EQ(d.Row(15)[19 * 4] | d.Row(15)[20 * 4], 0);
  // 16-bit pictures are not touched.
  mvPicture deep = Make(8, 8, ColorTypeRGB, 16, 3);
  Pattern(deep);
  mvPicture out = Make(8, 8, ColorTypeRGB, 16, 3);
  EXPECT_TRUE(e.Apply(deep, out, nullptr));
  EXPECT_EQ(out.Pixels[0] | out.Pixels[100], 0);
}

TEST(Neon, SeamlessResultOfTileablePictureTiles) {
  // A smooth tileable picture: sums of whole-period waves.
  mvPicture p = Make(64, 48, ColorTypeRGB, 8, 3);
  for (int32_t y = 0; y < 48; ++y)
    for (int32_t x = 0; x < 64; ++x)
      for (int c = 0; c < 3; ++c)
        p.Row(y)[x * 3 + c] = static_cast<uint8_t>(
            127 + 60 * std::sin(2 * 3.141592653589793 * (x * (c + 1)) / 64) + 60 * std::cos(2 * 3.141592653589793 * y * 2 / 48));
  mvNeonEffect e;
  e.Radius = 2;
  e.Seamless = true;
  const mvPicture one = Applied(e, p);
  const mvPicture nine = Applied(e, Tiled(p, 3, 3));
  const mvPicture centre = TileOf(nine, 64, 48, 1, 1);
  int worst = 0;
  for (int32_t y = 0; y < 48; ++y)
    for (int32_t i = 0; i < 64 * 3; ++i) worst = std::max(worst, std::abs(one.Row(y)[i] - centre.Row(y)[i]));
  EXPECT_LE(worst, 1);
  // Without the flag the edges see the picture's own borders, not its neighbours.
  e.Seamless = false;
  const mvPicture plain = Applied(e, p);
  worst = 0;
  for (int32_t y = 0; y < 48; ++y)
    for (int32_t i = 0; i < 64 * 3; ++i) worst = std::max(worst, std::abs(plain.Row(y)[i] - centre.Row(y)[i]));
  EXPECT_GT(worst, 1);
}

TEST(Neon, HostileRadiusStaysInRange) {
  mvPicture p = Make(9, 7, ColorTypeGray, 8, 2);
  Pattern(p);
  for (uint32_t r : {0u, 1u, 1000000u, UINT32_MAX}) {
    mvNeonEffect e;
    e.Radius = r;
    e.Amount = UINT32_MAX;
    e.Seamless = true;
    Applied(e, p);
  }
  SUCCEED();
}

TEST(Emboss, FlatAreaGivesMiddleGray) {
  for (uint32_t depth : {8u, 16u}) {
    mvPicture p = Make(12, 9, ColorTypeRGB, depth, 3);
    std::memset(p.Pixels, 0x5A, p.ByteSize());
    for (int dir = 0; dir < 8; ++dir)
      for (bool color : {false, true}) {
        mvEmbossEffect e;
        e.Direction = dir;
        e.ColorRelief = color;
        e.Depth = 1 + dir % 3;
        e.Amount = 290;
        mvPicture d = Applied(e, p);
        for (int32_t y = 0; y < 9; ++y)
          for (int32_t x = 0; x < 12 * 3; ++x) {
            if (depth == 8) {
              ASSERT_EQ(d.Row(y)[x], 128);
            } else {
              ASSERT_EQ(reinterpret_cast<const uint16_t*>(d.Row(y))[x], 32768);
            }
          }
      }
  }
}

TEST(Emboss, AlphaMeanTransparentAndStep) {
  mvPicture p = Make(6, 6, ColorTypeRGB, 8, 4);
  std::memset(p.Pixels, 0x40, p.ByteSize());
  Opaque(p);
  mvEmbossEffect e;
  mvPicture d = Applied(e, p);
  EXPECT_EQ(std::memcmp(d.Row(3) + 12, "\x80\x80\x80\xFF", 4), 0);
  mvPicture clear = Make(6, 6, ColorTypeRGB, 8, 4);
  std::memset(clear.Pixels, 0x40, clear.ByteSize());
  for (int32_t y = 0; y < 6; ++y)
    for (int32_t x = 0; x < 6; ++x) clear.Row(y)[x * 4 + 3] = 0;
  Reapply(d, e, clear);
  EXPECT_EQ(std::memcmp(d.Row(3) + 12, "\0\0\0\0", 4), 0);

  // Horizontal light over a step of 250 in red: 25 above mid-gray at Amount 10.
  mvPicture s = Make(6, 3);
  for (int32_t y = 0; y < 3; ++y) s.Row(y)[3 * 3] = 250;
  mvEmbossEffect h;
  h.Direction = 3;
  h.Amount = 10;
  h.ColorRelief = true;
  Reapply(d, h, s);
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
      int64_t r[3];
      for (int c = 0; c < 3; ++c) r[c] = std::clamp<int64_t>((int64_t(e.Amount) * v[c]) / (A * d * 100) + 128, 0, 255);
      for (int c = 0; c < 3; ++c) o[c] = static_cast<uint8_t>(r[c]);
      o[3] = static_cast<uint8_t>(A / ((useV ? 2 * d : 0) + (useH ? 2 * d : 0)));
    }
  return out;
}

TEST(Emboss, SlidingWindowsMatchStraightSumsForAnyDepth) {
  mvPicture p = Make(7, 5, ColorTypeRGB, 8, 4);
  Pattern(p, 9);
  for (int32_t y = 0; y < 5; ++y) p.Row(y)[2 * 4 + 3] = 0;  // a transparent column
  for (uint32_t depth : {1u, 2u, 4u, 6u, 13u})
    for (int dir = 0; dir < 8; ++dir)
      for (bool wrap : {false, true}) {
        mvEmbossEffect e;
        e.Depth = depth;
        e.Direction = dir;
        e.Seamless = wrap;
        e.ColorRelief = true;
        e.Amount = 2500;
        mvPicture a = Applied(e, p), b = EmbossByHand(e, p);
        ASSERT_TRUE(SameBytes(a, b)) << depth << " " << dir << " " << wrap;
      }
}

TEST(Emboss, SeamlessResultTilesAndHostileDepthIsSafe) {
  mvPicture p = Make(20, 14, ColorTypeRGB, 8, 3);
  Pattern(p, 4);
  mvEmbossEffect e;
  e.Seamless = true;
  for (int dir : {0, 2, 5, 7}) {
    e.Direction = dir;
    e.Depth = 1 + dir % 3;
    ExpectSeamlessTiles(e, p);
  }
  mvEmbossEffect clamped = e;
  clamped.Seamless = false;
  EXPECT_FALSE(SameBytes(Applied(e, p), Applied(clamped, p)));

  mvPicture flat = Make(5, 4, ColorTypeRGB, 16, 4);
  std::memset(flat.Pixels, 0xEE, flat.ByteSize());
  for (bool wrap : {false, true}) {
    mvEmbossEffect h;
    h.Depth = UINT32_MAX;
    h.Amount = UINT32_MAX;
    h.Direction = INT_MIN;
    h.Seamless = wrap;
    mvPicture d = Applied(h, flat);
    EXPECT_EQ(reinterpret_cast<const uint16_t*>(d.Row(2))[4], 32768);
    Pattern(flat);
    Applied(h, flat);
    std::memset(flat.Pixels, 0xEE, flat.ByteSize());
  }
}

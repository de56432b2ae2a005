// Fills, two-colour gradients, gradient bands and the gradient map.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/blend.h"
#include "effects/render/fill.h"
#include "tests/effects/pictures.h"

namespace {

using namespace testpics;

GradientSegment Segment(double l, double m, double r, std::vector<uint8_t> lc, std::vector<uint8_t> rc,
                        int32_t blend = 0, int32_t colouring = 0) {
  GradientSegment s;
  s.Left = l;
  s.Middle = m;
  s.Right = r;
  std::memcpy(s.LeftColor, lc.data(), 4);
  std::memcpy(s.RightColor, rc.data(), 4);
  s.BlendFunction = blend;
  s.ColoringType = colouring;
  return s;
}

}  // namespace

// A fill is BlendRow of a row of its colour (full alpha) at the colour's
// alpha as a 16-bit opacity, (a * 65535 + 127) / 255 at 8 bits; opaque rows
// take a shorter way that must give the same samples.
TEST(RenderFill, IsTheBlendOfItsColourInEveryFormat) {
  for (const Format& f : kColorFormats) {
    for (uint8_t alpha : {uint8_t{255}, uint8_t{128}}) {
      SCOPED_TRACE(testing::Message() << f.Type << "/" << f.Depth << "/" << f.Channels << " alpha " << int(alpha));
      mvFillEffect e;
      e.Color = mvColor::RGBA8(200, 100, 50, alpha);
      mvPicture p = Noise(5, 3, f, 9), expect(p);
      Paint(e, p);
      const uint32_t bufChannels = f.Type == ColorTypeGray ? 2 : 4;
      uint8_t px[8];
      ASSERT_TRUE(ConvertColor(f.Type, e.Color, f.Depth, bufChannels, px));
      const uint32_t opacity = f.Depth == 16 ? LoadLE16(px + 2 * (bufChannels - 1)) : (alpha * 65535u + 127) / 255;
      std::memset(px + (bufChannels - 1) * f.Depth / 8, 0xFF, f.Depth / 8);
      std::vector<uint8_t> row;
      for (int x = 0; x < 5; ++x) row.insert(row.end(), px, px + bufChannels * f.Depth / 8);
      for (int y = 0; y < 3; ++y)
        ASSERT_TRUE(BlendRow(0, f.Channels, bufChannels, expect.Row(y), f.Type, f.Depth, row.data(), f.Type, f.Depth,
                             nullptr, opacity, 5));
      EXPECT_TRUE(SamePixels(p, expect));
    }
  }
  // 32896 and 32768 give different pixels, so the check above tells them apart.
  uint8_t a[4] = {0, 0, 0, 255}, b[4] = {0, 0, 0, 255};
  const uint8_t s[4] = {200, 100, 50, 255};
  BlendRow(0, 4, 4, a, ColorTypeRGB, 8, s, ColorTypeRGB, 8, nullptr, 32896, 1);
  BlendRow(0, 4, 4, b, ColorTypeRGB, 8, s, ColorTypeRGB, 8, nullptr, 32768, 1);
  EXPECT_NE(std::memcmp(a, b, 4), 0);
}

TEST(RenderFill, WorkRectIndexedAndShapes) {
  mvFillEffect e;
  e.Color = mvColor::RGB8(10, 20, 30);
  mvPicture p = Solid(6, 6, 0, 255, 3);
  p.HasWorkRect = 1;
  p.WorkRect = {2, 2, 40, 4};  // runs past the picture: clipped
  Paint(e, p);
  EXPECT_EQ(Red(p, 1, 2), 0);
  EXPECT_EQ(Red(p, 5, 3), 10);
  EXPECT_EQ(Red(p, 5, 4), 0);
  mvPicture idx;
  ASSERT_TRUE(idx.Create(4, 3, ColorTypeIndexed, 8, 1));
  Paint(e, idx);  // indexed pictures stay as they are
  EXPECT_EQ(idx.Row(1)[1], 0);
  mvGradientEffect g;
  EXPECT_FALSE(g.Apply(p, idx, nullptr));  // pictures of different shapes
}

TEST(RenderGradient, ShapesAtKnownPixels) {
  struct Case {
    uint32_t Shape;
    int W, H, X, Y;
    uint8_t Red;
  };
  // Color1 black, Color2 200 gray.
  const Case cases[] = {
      {0, 4, 1, 3, 0, 0},     // one row: Color1
      {0, 2, 11, 1, 5, 100},  // row r of 11: 200 * r / 10
      {1, 11, 3, 5, 2, 100},  // column x of 11
      {1, 11, 3, 10, 0, 200},
      {2, 9, 9, 4, 4, 0},    // radial: Color1 at the centre,
      {2, 9, 9, 0, 0, 200},  // Color2 at the corners
      {2, 9, 9, 8, 8, 200},
      {2, 9, 9, 1, 4, 105},    // distance 3 of 5.66: k = 135
      {3, 5, 120, 2, 0, 200},  // vertical mirrored: Color2 at both ends,
      {3, 5, 120, 4, 119, 200},
      {3, 5, 120, 2, 59, 200 / 119},  // t = 1 in the middle: nearly Color1
      {3, 5, 120, 2, 60, 200 / 119},
      {4, 1, 3, 0, 1, 200},  // horizontal mirrored on one column: n = 1, t = 1
      {5, 3, 3, 1, 1, 90},   // unknown shapes paint nothing
  };
  for (const Case& c : cases) {
    mvGradientEffect e;
    e.Color1 = mvColor::RGBA8(0, 0, 0, 255);
    e.Color2 = mvColor::RGBA8(200, 200, 200, 255);
    e.Shape = c.Shape;
    mvPicture p = Solid(c.W, c.H, 90);
    Paint(e, p);
    EXPECT_EQ(Red(p, c.X, c.Y), c.Red) << c.Shape << " " << c.W << "x" << c.H << " at " << c.X << "," << c.Y;
  }
  // Translucent colours ramp the row opacity from Color1's alpha to Color2's.
  mvGradientEffect e;
  e.Color1 = mvColor::RGBA8(255, 255, 255, 0);
  e.Color2 = mvColor::RGBA8(255, 255, 255, 255);
  mvPicture p = Solid(2, 3, 0);
  Paint(e, p);
  EXPECT_EQ(Red(p, 0, 0), 0);
  EXPECT_EQ(Red(p, 0, 2), 255);
  EXPECT_GT(Red(p, 0, 1), 100);
  EXPECT_LT(Red(p, 0, 1), 155);
}

TEST(RenderGradientPattern, BandsRingsAndDegeneratePeriods) {
  mvGradientPatternEffect e;
  e.Color1 = mvColor::RGBA8(0, 0, 0, 255);
  e.Color2 = mvColor::RGBA8(90, 90, 90, 255);
  mvPicture p = Solid(2, 40, 7);
  Paint(e, p);
  for (int r = 0; r < 10; ++r) EXPECT_EQ(Red(p, 0, r), 10 * r) << r;
  for (int r = 10; r < 20; ++r) EXPECT_EQ(Red(p, 1, r), 10 * (19 - r)) << r;
  e.Sawtooth = 7;  // any non-zero value is the sawtooth
  mvPicture s = Solid(2, 40, 7);
  Paint(e, s);
  for (int r = 10; r < 20; ++r) EXPECT_EQ(Red(s, 0, r), 10 * (r - 10)) << r;
  e.Direction = 1;
  mvPicture c = Solid(25, 1, 7);
  Paint(e, c);
  EXPECT_EQ(Red(c, 23, 0), 30);
  e.Direction = 2;
  mvPicture ring = Solid(21, 21, 7);
  Paint(e, ring);
  EXPECT_EQ(Red(ring, 10, 10), 0);
  EXPECT_EQ(Red(ring, 19, 10), 90);  // distance 9: end of the first band
  e.Direction = 3;                   // unknown: nothing painted
  mvPicture none = Solid(3, 3, 7);
  Paint(e, none);
  EXPECT_EQ(Red(none, 1, 1), 7);

  // Periods below 2 paint Color1 in every direction; huge ones stay in range.
  e.Color1 = mvColor::RGBA8(40, 50, 60, 255);
  e.Color2 = mvColor::RGBA8(200, 200, 200, 255);
  for (int32_t period : {1, 0, -5, INT32_MIN, INT32_MAX}) {
    for (uint32_t dir : {0u, 1u, 2u}) {
      e.Period = period;
      e.Direction = dir;
      mvPicture q = Solid(7, 5, 0);
      Paint(e, q);
      if (period < 2) {
        EXPECT_EQ(Red(q, 6, 4), 40) << period << " " << dir;
      }
    }
  }
  e.Period = 10;
  e.Direction = 0;
  e.Color1 = mvColor::RGBA8(40, 50, 60, 0);  // one row: Color1's alpha is the opacity
  mvPicture row = Solid(3, 1, 9);
  Paint(e, row);
  EXPECT_EQ(Red(row, 1, 0), 9);
}

TEST(RenderGradientMap, ColoursReverseTransparentAndGray) {
  mvGradientMapEffect e;
  ASSERT_TRUE(e.Gradient.AppendSegment(Segment(0, 0.5, 1, {0, 0, 0, 255}, {255, 255, 255, 255})));
  mvPicture p = Solid(2, 2, 100);
  Paint(e, p);
  EXPECT_EQ(std::vector<uint8_t>(Px(p, 0, 0), Px(p, 0, 0) + 4), (std::vector<uint8_t>{100, 100, 100, 255}));
  e.Reverse = true;
  mvPicture r = Solid(2, 2, 100);
  Paint(e, r);
  EXPECT_EQ(Red(r, 1, 1), 155);
  mvPicture t = Solid(2, 2, 100, 0);  // a transparent pixel is skipped
  Paint(e, t);
  EXPECT_EQ(Red(t, 0, 0), 100);
  // Gray pictures take the gradient colour's luminance.
  mvPicture g;
  ASSERT_TRUE(g.Create(2, 1, ColorTypeGray, 16, 2));
  uint8_t gp[4] = {0x00, 0x40, 0xFF, 0xFF};  // gray 16384, alpha 65535
  g.SetPixel(0, 0, gp);
  e.Reverse = false;
  Paint(e, g);
  // Colour 16384/65535 -> 16384 per sample; luminance weights sum to 65537.
  EXPECT_EQ(LoadLE16(g.Row(0)), (65537ull * 16384) >> 16);
}

TEST(RenderGradientMap, BoundariesAndGaps) {
  mvGradient g;
  ASSERT_TRUE(g.AppendSegment(Segment(0, 0.25, 0.5, {0, 0, 0, 255}, {255, 0, 0, 255})));
  ASSERT_TRUE(g.AppendSegment(Segment(0.5, 0.6, 0.7, {0, 0, 255, 255}, {0, 0, 255, 255})));
  uint8_t c[4];
  ASSERT_TRUE(g.GetColor8(0.5, false, c));
  EXPECT_EQ(c[0], 255);  // the earlier segment wins on the boundary
  EXPECT_EQ(c[2], 0);
  EXPECT_FALSE(g.GetColor8(0.9, false, c));  // uncovered
  EXPECT_EQ(g.FindSegment(0.9), -1);
  mvGradientMapEffect e;
  e.Gradient = g;
  mvPicture p = Solid(1, 1, 250);  // position 0.98: not covered, pixel kept
  Paint(e, p);
  EXPECT_EQ(Red(p, 0, 0), 250);
}

// Pictures large enough for the key table (8-bit RGB, 16-bit gray) give
// each pixel the gradient's colour of its own luminance, as small ones do
// key by key: gaps and transparent pixels stay, the work rectangle holds.
TEST(RenderGradientMap, TableGivesEveryPixelItsOwnColour) {
  mvGradientMapEffect e;
  ASSERT_TRUE(e.Gradient.AppendSegment(Segment(0, 0.3, 0.6, {10, 200, 30, 255}, {250, 0, 90, 128}, 2)));
  ASSERT_TRUE(e.Gradient.AppendSegment(Segment(0.7, 0.8, 1, {0, 0, 255, 255}, {255, 255, 0, 60}, 0, 1)));
  for (const Format& f : {Format{ColorTypeRGB, 8, 4}, Format{ColorTypeGray, 16, 2}}) {
    SCOPED_TRACE(f.Type);
    mvPicture p = Noise(300, 250, f, 4);
    p.HasWorkRect = 1;
    p.WorkRect = {1, 2, 299, 249};
    const mvPicture before(p);
    Paint(e, p);
    const bool wide = f.Depth == 16;
    for (int y = 0; y < p.Height; ++y)
      for (int x = 0; x < p.Width; ++x) {
        const uint8_t* s = Px(before, x, y);
        uint8_t expect[8];
        std::memcpy(expect, s, before.BytesPerPixel());
        const bool inside = x >= 1 && x < 299 && y >= 2 && y < 249;
        if (inside && (wide ? LoadLE16(s + 2) : s[3]) != 0) {
          if (!wide) {
            const uint32_t key = 299u * s[0] + 587u * s[1] + 114u * s[2];
            uint8_t c[4];
            if (e.Gradient.GetColor8(key / 255000.0, false, c)) std::memcpy(expect, c, 4);
          } else {
            uint16_t c[4];
            if (e.Gradient.GetColor16(LoadLE16(s) / 65535.0, false, c)) {
              StoreLE16(expect, static_cast<uint32_t>((19596ull * c[0] + 38470ull * c[1] + 7471ull * c[2]) >> 16));
              StoreLE16(expect + 2, c[3]);
            }
          }
        }
        ASSERT_EQ(std::memcmp(Px(p, x, y), expect, before.BytesPerPixel()), 0) << x << "," << y;
      }
  }
}

TEST(RenderGradientMap, BlendFunctionsAndHueDirections) {
  mvGradient g;
  g.AppendSegment(Segment(0, 0.5, 1, {0, 0, 0, 0}, {255, 255, 255, 255}, 2));
  double r, gr, b, a;
  ASSERT_TRUE(g.GetColor(0.5, false, r, gr, b, a));
  EXPECT_NEAR(r, 0.5, 1e-12);  // sine at half way
  g.Segments[0].BlendFunction = 3;
  g.GetColor(0.5, false, r, gr, b, a);
  EXPECT_NEAR(r, std::sqrt(0.75), 1e-12);
  g.Segments[0].BlendFunction = 4;
  g.GetColor(0.5, false, r, gr, b, a);
  EXPECT_NEAR(r, 1 - std::sqrt(0.75), 1e-12);
  g.Segments[0].BlendFunction = 1;
  g.GetColor(0.25, false, r, gr, b, a);
  EXPECT_NEAR(r, 0.25, 1e-12);  // curved with the middle at 0.5 is linear
  g.Segments[0].Middle = 1;     // a degenerate middle stays in range
  uint8_t c8[4];
  ASSERT_TRUE(g.GetColor8(0.3, false, c8));
  g.Segments[0] = Segment(0, 0.5, 1, {255, 0, 0, 255}, {0, 0, 255, 255}, 0, 1);
  ASSERT_TRUE(g.GetColor8(0.5, false, c8));
  EXPECT_EQ(c8[1], 255);  // counter-clockwise from red to blue passes green
  g.Segments[0].ColoringType = 2;
  ASSERT_TRUE(g.GetColor8(0.5, false, c8));
  EXPECT_EQ((std::vector<uint8_t>(c8, c8 + 3)), (std::vector<uint8_t>{255, 0, 255}));  // clockwise: magenta
  g.Segments[0].ColoringType = 3;
  EXPECT_FALSE(g.GetColor8(0.5, false, c8));
}

TEST(RenderFill, StreamLayouts) {
  auto saved = [](const mvEffect& e) {
    mvMemoryStream s;
    EXPECT_TRUE(e.Save(s));
    return s.Data;
  };
  EXPECT_EQ(saved(mvFillEffect())[0], 12);
  EXPECT_EQ(saved(mvGradientEffect())[0], 24);
  EXPECT_EQ(saved(mvGradientPatternEffect()).size(), 4u + 32);
  EXPECT_EQ(saved(mvGradientPatternEffect())[0], 32);
  // The gradient map writes Reverse first and a size word four less than follows.
  mvGradientMapEffect e;
  e.Reverse = true;
  e.Gradient.AppendSegment(Segment(0, 0.5, 0.5, {1, 2, 3, 4}, {5, 6, 7, 8}, 3, 2));
  e.Gradient.AppendSegment(Segment(0.5, 0.7, 1, {9, 9, 9, 9}, {0, 0, 0, 0}));
  const std::vector<uint8_t> data = saved(e);
  ASSERT_EQ(data.size(), 4u + 4 + 8 + 68);
  EXPECT_EQ(data[0], 34 * 2 + 8);
  EXPECT_EQ(data[4], 1);
  mvGradientMapEffect f;
  mvMemoryStream in(data);
  ASSERT_TRUE(f.Load(in));
  EXPECT_EQ(f.Gradient.Segments, e.Gradient.Segments);
  EXPECT_TRUE(f.Reverse);
  mvGradientMapEffect other;
  other.Reverse = true;
  EXPECT_TRUE(other.IsEqual(e));  // gradients are not compared
  std::vector<uint8_t> small = data;
  small[0] = 4;
  mvMemoryStream bad(small);
  EXPECT_FALSE(f.Load(bad));
}

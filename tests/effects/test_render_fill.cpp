// Fills, two-colour gradients, gradient bands and the gradient map.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/blend.h"
#include "effects/render/fill.h"

namespace {

mvPicture Solid(int w, int h, uint8_t v, uint8_t a = 255, uint32_t channels = 4) {
  mvPicture p;
  EXPECT_TRUE(p.Create(w, h, ColorTypeRGB, 8, channels));
  p.Fill(nullptr, mvColor::RGBA8(v, v, v, a));
  return p;
}

std::vector<uint8_t> Px(const mvPicture& p, int x, int y) {
  std::vector<uint8_t> v(p.BytesPerPixel());
  p.GetPixel(x, y, v.data());
  return v;
}

// Applies the way the generator does (the destination starts as the source).
void Paint(mvEffect& e, mvPicture& p) { ASSERT_TRUE(ApplyTo(e, p)); }

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

TEST(RenderFill, AlphaIsTheSixteenBitOpacity) {
  mvFillEffect e;
  e.Color = mvColor::RGBA8(200, 100, 50, 128);
  mvPicture p = Solid(3, 2, 0);
  Paint(e, p);
  // The same blend done by hand at opacity (128 * 65535 + 127) / 255 = 32896.
  uint8_t d[4] = {0, 0, 0, 255};
  const uint8_t s[4] = {200, 100, 50, 255};
  ASSERT_TRUE(BlendRow(0, 4, 4, d, ColorTypeRGB, 8, s, ColorTypeRGB, 8, nullptr, 32896, 1));
  EXPECT_EQ(Px(p, 2, 1), std::vector<uint8_t>(d, d + 4));
  uint8_t other[4] = {0, 0, 0, 255};
  BlendRow(0, 4, 4, other, ColorTypeRGB, 8, s, ColorTypeRGB, 8, nullptr, 32768, 1);
  EXPECT_NE(std::memcmp(other, d, 4), 0);  // the check can tell the two opacities apart
}

TEST(RenderFill, HonoursWorkRectAndFormats) {
  mvFillEffect e;
  e.Color = mvColor::RGB8(10, 20, 30);
  mvPicture p = Solid(6, 6, 0, 255, 3);
  p.HasWorkRect = 1;
  p.WorkRect = {2, 2, 40, 4};  // runs past the picture: clipped
  Paint(e, p);
  EXPECT_EQ(Px(p, 1, 2), (std::vector<uint8_t>{0, 0, 0}));
  EXPECT_EQ(Px(p, 5, 3), (std::vector<uint8_t>{10, 20, 30}));
  EXPECT_EQ(Px(p, 5, 4), (std::vector<uint8_t>{0, 0, 0}));

  mvPicture g;
  ASSERT_TRUE(g.Create(4, 3, ColorTypeGray, 16, 1));
  g.Clear(nullptr);
  mvFillEffect white;  // default white
  Paint(white, g);
  EXPECT_EQ(LoadLE16(g.Row(2) + 6), 65535);

  mvPicture idx;
  ASSERT_TRUE(idx.Create(4, 3, ColorTypeIndexed, 8, 1));
  idx.Clear(nullptr);
  Paint(white, idx);  // indexed pictures stay as they are
  EXPECT_EQ(idx.Row(1)[1], 0);
}

TEST(RenderGradient, VerticalMirroredOn120Rows) {
  mvGradientEffect e;
  e.Color1 = mvColor::RGBA8(0, 0, 0, 255);
  e.Color2 = mvColor::RGBA8(255, 255, 255, 255);
  e.Shape = 3;
  mvPicture p = Solid(5, 120, 77);
  Paint(e, p);
  EXPECT_EQ(Px(p, 0, 0)[0], 255);
  EXPECT_EQ(Px(p, 4, 119)[1], 255);
  EXPECT_EQ(Px(p, 2, 59)[2], 255 / 119);  // t = 1: nearly Color1
  EXPECT_EQ(Px(p, 2, 60)[2], 255 / 119);
}

TEST(RenderGradient, ShapesAndSpans) {
  mvGradientEffect e;
  e.Color1 = mvColor::RGBA8(0, 0, 0, 255);
  e.Color2 = mvColor::RGBA8(200, 200, 200, 255);
  // One row high: shape 0 paints Color1.
  mvPicture one = Solid(4, 1, 90);
  Paint(e, one);
  EXPECT_EQ(Px(one, 3, 0)[0], 0);
  // Horizontal: column x of 11 gets 200 * x / 10.
  e.Shape = 1;
  mvPicture h = Solid(11, 3, 90);
  Paint(e, h);
  EXPECT_EQ(Px(h, 5, 2)[0], 100);
  EXPECT_EQ(Px(h, 10, 0)[0], 200);
  // Radial: Color1 at the centre, Color2 at the corners.
  e.Shape = 2;
  mvPicture r = Solid(9, 9, 90);
  Paint(e, r);
  EXPECT_EQ(Px(r, 4, 4)[0], 0);
  EXPECT_EQ(Px(r, 0, 0)[0], 200);
  EXPECT_EQ(Px(r, 8, 8)[0], 200);
  // Horizontal mirrored on one column uses n = 1 (t = 1: Color2).
  e.Shape = 4;
  mvPicture thin = Solid(1, 3, 90);
  Paint(e, thin);
  EXPECT_EQ(Px(thin, 0, 1)[0], 200);
  // Unknown shapes paint nothing.
  e.Shape = 5;
  mvPicture none = Solid(3, 3, 90);
  Paint(e, none);
  EXPECT_EQ(Px(none, 1, 1)[0], 90);
}

TEST(RenderGradient, TranslucentVerticalRampsTheOpacity) {
  mvGradientEffect e;
  e.Color1 = mvColor::RGBA8(255, 255, 255, 0);
  e.Color2 = mvColor::RGBA8(255, 255, 255, 255);
  mvPicture p = Solid(2, 3, 0);
  Paint(e, p);
  EXPECT_EQ(Px(p, 0, 0)[0], 0);    // opacity 0
  EXPECT_EQ(Px(p, 0, 2)[0], 255);  // opacity 65535
  EXPECT_GT(Px(p, 0, 1)[0], 100);
  EXPECT_LT(Px(p, 0, 1)[0], 155);
}

TEST(RenderGradientPattern, BandsInBothModes) {
  mvGradientPatternEffect e;
  e.Color1 = mvColor::RGBA8(0, 0, 0, 255);
  e.Color2 = mvColor::RGBA8(90, 90, 90, 255);
  mvPicture p = Solid(2, 40, 7);
  Paint(e, p);
  for (int r = 0; r < 10; ++r) EXPECT_EQ(Px(p, 0, r)[0], 10 * r) << r;
  for (int r = 10; r < 20; ++r) EXPECT_EQ(Px(p, 1, r)[0], 10 * (19 - r)) << r;
  e.Sawtooth = 7;  // any non-zero value is the sawtooth
  mvPicture s = Solid(2, 40, 7);
  Paint(e, s);
  for (int r = 10; r < 20; ++r) EXPECT_EQ(Px(s, 0, r)[0], 10 * (r - 10)) << r;
  // Columns and rings.
  e.Direction = 1;
  mvPicture c = Solid(25, 1, 7);
  Paint(e, c);
  EXPECT_EQ(Px(c, 23, 0)[0], 30);
  e.Direction = 2;
  mvPicture ring = Solid(21, 21, 7);
  Paint(e, ring);
  EXPECT_EQ(Px(ring, 10, 10)[0], 0);
  EXPECT_EQ(Px(ring, 19, 10)[0], 90);  // distance 9: end of the first band
  e.Direction = 3;  // unknown: nothing painted
  mvPicture none = Solid(3, 3, 7);
  Paint(e, none);
  EXPECT_EQ(Px(none, 1, 1)[0], 7);
}

TEST(RenderGradientPattern, DegeneratePeriodsAndOneRow) {
  mvGradientPatternEffect e;
  e.Color1 = mvColor::RGBA8(40, 50, 60, 255);
  e.Color2 = mvColor::RGBA8(200, 200, 200, 255);
  for (int32_t period : {1, 0, -5, INT32_MIN}) {
    for (uint32_t dir : {0u, 1u, 2u}) {
      e.Period = period;
      e.Direction = dir;
      mvPicture p = Solid(7, 5, 0);
      Paint(e, p);
      EXPECT_EQ(Px(p, 6, 4)[0], 40) << period << " " << dir;
    }
  }
  e.Period = 10;
  e.Direction = 0;
  e.Color1 = mvColor::RGBA8(40, 50, 60, 0);  // one row: Color1's alpha is the opacity
  mvPicture row = Solid(3, 1, 9);
  Paint(e, row);
  EXPECT_EQ(Px(row, 1, 0)[0], 9);
  e.Period = INT32_MAX;  // huge periods stay in range
  e.Direction = 2;
  mvPicture big = Solid(5, 5, 9);
  Paint(e, big);
}

TEST(RenderGradientMap, BlackToWhiteAndReverse) {
  mvGradientMapEffect e;
  ASSERT_TRUE(e.Gradient.AppendSegment(Segment(0, 0.5, 1, {0, 0, 0, 255}, {255, 255, 255, 255})));
  mvPicture p = Solid(2, 2, 100);
  Paint(e, p);
  EXPECT_EQ(Px(p, 0, 0), (std::vector<uint8_t>{100, 100, 100, 255}));
  e.Reverse = true;
  mvPicture r = Solid(2, 2, 100);
  Paint(e, r);
  EXPECT_EQ(Px(r, 1, 1)[0], 155);
  // A transparent pixel is skipped.
  mvPicture t = Solid(2, 2, 100, 0);
  Paint(e, t);
  EXPECT_EQ(Px(t, 0, 0)[0], 100);
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
  EXPECT_EQ(Px(p, 0, 0)[0], 250);
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

TEST(RenderGradientMap, StreamSizeWordAndComparison) {
  mvGradientMapEffect e;
  e.Reverse = true;
  e.Gradient.AppendSegment(Segment(0, 0.5, 0.5, {1, 2, 3, 4}, {5, 6, 7, 8}, 3, 2));
  e.Gradient.AppendSegment(Segment(0.5, 0.7, 1, {9, 9, 9, 9}, {0, 0, 0, 0}));
  mvMemoryStream s;
  ASSERT_TRUE(e.Save(s));
  ASSERT_EQ(s.Data.size(), 4u + 4 + 8 + 68);
  EXPECT_EQ(s.Data[0], 34 * 2 + 8);  // four less than follows
  EXPECT_EQ(s.Data[4], 1);           // Reverse comes first
  mvGradientMapEffect f;
  mvMemoryStream in(s.Data);
  ASSERT_TRUE(f.Load(in));
  EXPECT_EQ(f.Gradient.Segments, e.Gradient.Segments);
  EXPECT_TRUE(f.Reverse);
  mvGradientMapEffect other;
  other.Reverse = true;
  EXPECT_TRUE(other.IsEqual(e));  // gradients are not compared
  std::vector<uint8_t> small = s.Data;
  small[0] = 4;
  mvMemoryStream bad(small);
  EXPECT_FALSE(f.Load(bad));
}

TEST(RenderFill, StreamsAndCancel) {
  mvGradientPatternEffect e;
  mvMemoryStream s;
  ASSERT_TRUE(e.Save(s));
  EXPECT_EQ(s.Data.size(), 4u + 32);
  EXPECT_EQ(s.Data[0], 32);
  mvGradientEffect g;
  mvMemoryStream gs;
  ASSERT_TRUE(g.Save(gs));
  EXPECT_EQ(gs.Data[0], 24);
  mvFillEffect f;
  mvMemoryStream fs;
  ASSERT_TRUE(f.Save(fs));
  EXPECT_EQ(fs.Data[0], 12);

  mvPicture src = Solid(4, 10, 1), dst = Solid(4, 10, 1);
  int steps = 0;
  mvCallbackProgress stop([&](uint32_t, uint32_t max) {
    EXPECT_EQ(max, 9u);
    return ++steps < 3;
  });
  EXPECT_FALSE(g.Apply(src, dst, &stop));
  EXPECT_EQ(steps, 3);
}

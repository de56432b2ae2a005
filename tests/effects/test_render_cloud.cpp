// Cloud noise and plasma.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <vector>
#include <cstdlib>
#include <cstring>

#include "effects/render/cloud.h"
#include "tests/effects/pictures.h"

namespace {

using namespace testpics;

bool Same(const mvPicture& a, const mvPicture& b) { return std::memcmp(a.Pixels, b.Pixels, a.ByteSize()) == 0; }

int MaxColumnStep(const mvPicture& p, int xa, int xb) {
  int worst = 0;
  for (int y = 0; y < p.Height; ++y) worst = std::max(worst, std::abs(int(p.Row(y)[xa * 4]) - int(p.Row(y)[xb * 4])));
  return worst;
}

}  // namespace

TEST(RenderCloud, DetailAddsOctavesAndSeedIsNotCompared) {
  mvCloudEffect e;
  e.Seed = 5;
  e.Detail = 0;
  mvPicture one = Solid(64, 64, 0);
  Paint(e, one);
  e.Detail = 4;
  mvPicture five = Solid(64, 64, 0);
  Paint(e, five);
  EXPECT_FALSE(Same(one, five));
  // One octave is smooth: neighbouring pixels differ little.
  EXPECT_LE(MaxColumnStep(one, 10, 11), 8);
  mvPicture again = Solid(64, 64, 0);
  Paint(e, again);
  EXPECT_TRUE(Same(five, again));
  mvCloudEffect other = e;
  other.Seed = 6;
  EXPECT_TRUE(other.IsEqual(e));
  mvPicture reseeded = Solid(64, 64, 0);
  Paint(other, reseeded);
  EXPECT_FALSE(Same(five, reseeded));
  // The seed is not streamed: a loaded cloud keeps its own.
  mvMemoryStream s;
  ASSERT_TRUE(e.Save(s));
  EXPECT_EQ(s.Data.size(), 36u);
  other.Seed = 77;
  mvMemoryStream in(s.Data);
  ASSERT_TRUE(other.Load(in));
  EXPECT_EQ(other.Seed, 77u);
}

TEST(RenderCloud, SeamlessEdgesContinueWhenTiled) {
  mvCloudEffect e;
  e.Seamless = true;
  e.ScaleX = 25;  // three lattice cells across
  e.ScaleY = 10;
  e.Seed = 11;
  mvPicture p = Solid(96, 48, 0);
  Paint(e, p);
  mvCloudEffect plain = e;
  plain.Seamless = false;
  mvPicture q = Solid(96, 48, 0);
  Paint(plain, q);
  // The last column leads into the first as smoothly as any inner pair.
  const int wrap = MaxColumnStep(p, 95, 0);
  int inner = 0;
  for (int x = 0; x + 1 < 96; ++x) inner = std::max(inner, MaxColumnStep(p, x, x + 1));
  EXPECT_LE(wrap, inner);
  EXPECT_GT(MaxColumnStep(q, 95, 0), wrap);
}

TEST(RenderPlasma, SeamlessEdgesStayClose) {
  // The seed points are shared, but every later pass rewrites edge points
  // (one-pixel rectangles include their corners), each with its own
  // displacement: the edges end close to their partners, not equal.
  auto edgeGap = [](bool seamless) {
    mvPlasmaEffect e;
    e.Seamless = seamless;
    e.Seed = 42;
    mvPicture p = Solid(65, 33, 0);
    Paint(e, p);
    int worst = 0, total = 0;
    for (int y = 0; y < 33; ++y)
      for (int c = 0; c < 3; ++c) {
        const int d = std::abs(int(p.Row(y)[c]) - int(p.Row(y)[64 * 4 + c]));
        worst = std::max(worst, d);
        total += d;
      }
    for (int x = 0; x < 65; ++x)
      for (int c = 0; c < 3; ++c) {
        const int d = std::abs(int(p.Row(0)[x * 4 + c]) - int(p.Row(32)[x * 4 + c]));
        worst = std::max(worst, d);
        total += d;
      }
    EXPECT_EQ(p.Row(5)[5 * 4 + 3], 255);
    return std::make_pair(worst, total);
  };
  const auto tiled = edgeGap(true);
  const auto plain = edgeGap(false);
  EXPECT_LE(tiled.first, 64);
  EXPECT_LT(tiled.second * 3, plain.second);
}

TEST(RenderPlasma, GrayscaleAndThinAreas) {
  mvPlasmaEffect e;
  e.Grayscale = true;
  e.Seed = 9;
  mvPicture p = Solid(40, 30, 0, 255, 3);
  Paint(e, p);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      const uint8_t* q = p.Row(y) + x * 3;
      ASSERT_EQ(q[0], q[1]);
      ASSERT_EQ(q[1], q[2]);
    }
  e.Grayscale = false;
  mvPicture colour = Solid(40, 30, 0, 255, 3);
  Paint(e, colour);
  EXPECT_NE(colour.Row(3)[3 * 7], colour.Row(3)[3 * 7 + 1]);
  for (auto [w, h] : std::vector<std::pair<int, int>>{{1, 20}, {20, 1}, {1, 1}}) {
    mvPicture thin = Solid(w, h, 123);
    Paint(e, thin);
    EXPECT_EQ(thin.Row(h - 1)[(w - 1) * 4], 123);
  }
}

TEST(RenderPlasma, StreamAndRoughnessZero) {
  mvPlasmaEffect e;
  e.Roughness = 0;
  e.Seamless = true;
  mvMemoryStream s;
  ASSERT_TRUE(e.Save(s));
  ASSERT_EQ(s.Data.size(), 16u);
  EXPECT_EQ(s.Data[0], 12);
  EXPECT_EQ(s.Data[12], 2);  // Seamless is bit 1
  mvPlasmaEffect f;
  mvMemoryStream in(s.Data);
  ASSERT_TRUE(f.Load(in));
  EXPECT_EQ(f.Roughness, 1);
  EXPECT_TRUE(f.Seamless);
}

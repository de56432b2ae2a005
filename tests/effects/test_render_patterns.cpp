// Checker, stripes, grid, lattice dots and random dots.
#include <chrono>
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstring>
#include <vector>

#include "core/random.h"
#include "effects/render/patterns.h"
#include "tests/effects/pictures.h"

namespace {

using namespace testpics;

// Columns of row y whose red sample is v.
std::vector<int> ColumnsWith(const mvPicture& p, int y, uint8_t v) {
  std::vector<int> out;
  for (int x = 0; x < p.Width; ++x)
    if (Red(p, x, y) == v) out.push_back(x);
  return out;
}

// Every pixel alike.
bool Uniform(const mvPicture& p) {
  for (int y = 0; y < p.Height; ++y)
    for (int x = 0; x < p.Width; ++x)
      if (std::memcmp(Px(p, x, y), p.Pixels, p.BytesPerPixel()) != 0) return false;
  return true;
}

}  // namespace

TEST(RenderChecker, CellsAndHalfAlpha) {
  mvCheckerEffect e;  // black and white
  mvPicture p = Solid(120, 120, 77);
  Paint(e, p);
  for (auto [x, y, red] :
       std::vector<std::array<int, 3>>{{0, 0, 0}, {9, 9, 0}, {10, 0, 255}, {15, 15, 0}, {119, 119, 0}, {110, 0, 255}})
    EXPECT_EQ(Red(p, x, y), red) << x << "," << y;
  // (0 * 255 * 127 / 255 + 200 * 128) / 255 = 100, with and without alpha.
  e.Color1 = e.Color2 = mvColor::RGBA8(200, 200, 200, 128);
  for (uint32_t channels : {4u, 3u}) {
    mvPicture h = Solid(4, 4, 0, 255, channels);
    Paint(e, h);
    EXPECT_EQ(Red(h, 3, 3), 100);
  }
  e.CellWidth = 0;  // cells below one pixel are one pixel
  e.CellHeight = INT32_MIN;
  e.Color1 = mvColor::RGBA8(255, 0, 0, 255);
  mvPicture z = Solid(4, 4, 9);
  Paint(e, z);
  EXPECT_EQ(Red(z, 0, 0), 255);
  EXPECT_EQ(Red(z, 1, 0), 200 * 128 / 255 + 9 * 255 * 127 / 255 / 255);
}

TEST(RenderParallelLines, StripesAndOffsets) {
  mvParallelLinesEffect e;  // black
  e.Vertical = 1;
  e.LineWidth = 3;
  e.Gap = 5;
  mvPicture p = Solid(120, 3, 200);
  Paint(e, p);
  std::vector<int> expect;
  for (int x = 0; x < 120; x += 8)
    for (int k = 0; k < 3; ++k) expect.push_back(x + k);
  EXPECT_EQ(ColumnsWith(p, 2, 0), expect);
  // Horizontal stripes with an offset, clipped at the bottom; one step each.
  e.Vertical = 0;
  e.Offset = 2;
  mvPicture h = Solid(2, 12, 200), src(h);
  int steps = 0;
  mvCallbackProgress count([&](uint32_t, uint32_t max) {
    EXPECT_EQ(max, 1u);  // (12 - 2 - 1) / 8
    ++steps;
    return true;
  });
  ASSERT_TRUE(e.Apply(src, h, &count));
  EXPECT_EQ(steps, 2);
  std::vector<int> rows;
  for (int y = 0; y < 12; ++y)
    if (Red(h, 0, y) == 0) rows.push_back(y);
  EXPECT_EQ(rows, (std::vector<int>{2, 3, 4, 10, 11}));
  // A far negative offset keeps the phase: the first stripe lands where it would.
  e.Vertical = 1;
  e.LineWidth = 2;
  e.Gap = 1;
  e.Offset = -3000000;  // a multiple of 3
  mvPicture far = Solid(7, 1, 200);
  Paint(e, far);
  EXPECT_EQ(ColumnsWith(far, 0, 0), (std::vector<int>{0, 1, 3, 4, 6}));
}

TEST(RenderGrid, LinesEveryFive) {
  mvGridEffect e;
  e.LineWidth = 1;
  e.CellWidth = 4;
  e.CellHeight = 4;
  mvPicture p = Solid(21, 21, 200);
  Paint(e, p);
  EXPECT_EQ(ColumnsWith(p, 0, 0).size(), 21u);  // horizontal lines on rows 0, 5, 10, ...
  EXPECT_EQ(ColumnsWith(p, 10, 0).size(), 21u);
  EXPECT_EQ(ColumnsWith(p, 3, 0), (std::vector<int>{0, 5, 10, 15, 20}));
  // OffsetY rows carry only vertical segments.
  e.OffsetY = 2;
  e.OffsetX = 1;
  mvPicture q = Solid(12, 12, 200);
  Paint(e, q);
  EXPECT_EQ(ColumnsWith(q, 0, 0), (std::vector<int>{1, 6, 11}));
  EXPECT_EQ(ColumnsWith(q, 2, 0).size(), 12u);
}

TEST(RenderDots, SquareRoundAndAntialiased) {
  mvDotsEffect e;
  e.DotSize = 2;  // always square
  e.Gap = 2;
  mvPicture p = Solid(8, 8, 200);
  Paint(e, p);
  EXPECT_EQ(ColumnsWith(p, 1, 0), (std::vector<int>{0, 1, 4, 5}));
  EXPECT_EQ(ColumnsWith(p, 2, 0), std::vector<int>{});

  e.DotSize = 5;
  e.Gap = 20;
  e.Antialias = true;
  mvPicture a = Solid(10, 10, 255);
  Paint(e, a);
  // Centre (2, 2), c = 2: solid out to 1.5, soft out to 2.5. At d = 2 the
  // alpha is trunc(255 * 0.5) = 127: (255 * 255 * 128 / 255 + 0) / 255 = 128.
  for (auto [x, y, red] : std::vector<std::array<int, 3>>{{2, 2, 0}, {3, 2, 0}, {3, 3, 0}, {4, 2, 128}, {0, 0, 255}})
    EXPECT_EQ(Red(a, x, y), red) << x << "," << y;
  EXPECT_GT(Red(a, 4, 3), 128);  // d = 2.24: fainter rim
  EXPECT_LT(Red(a, 4, 3), 255);
  e.Antialias = false;
  mvPicture h = Solid(10, 10, 255);
  Paint(e, h);
  EXPECT_EQ(Red(h, 4, 2), 0);    // d^2 = 4 < 4.5
  EXPECT_EQ(Red(h, 4, 3), 255);  // d^2 = 5
}

TEST(RenderDots, StaggeredRowsAndGray) {
  mvDotsEffect e;
  e.DotSize = 1;
  e.Gap = 3;
  e.Staggered = 1;
  mvPicture p = Solid(8, 8, 200);
  Paint(e, p);
  // Row j at j + (2 * j) / 2 = 2j; odd rows shifted by 1 + 1 = 2.
  EXPECT_EQ(ColumnsWith(p, 0, 0), (std::vector<int>{0, 4}));
  EXPECT_EQ(ColumnsWith(p, 2, 0), (std::vector<int>{2, 6}));
  EXPECT_EQ(ColumnsWith(p, 1, 0), std::vector<int>{});
  mvPicture g;  // gray pictures are not dotted
  ASSERT_TRUE(g.Create(4, 4, ColorTypeGray, 8, 1));
  g.Fill(nullptr, mvColor::Gray8(9));
  e = mvDotsEffect();
  Paint(e, g);
  EXPECT_EQ(g.Row(0)[0], 9);
}

TEST(RenderRandomDots, OneDrawPerCandidate) {
  mvRandomDotsEffect e;
  e.DotSize = 4;
  e.Density = 150;
  e.Seed = 1234;
  e.SizeVariation = 2;
  e.AlphaVariation = 30;
  mvPicture a = Solid(40, 30, 255);
  Paint(e, a);
  EXPECT_FALSE(ColumnsWith(a, 15, 255).size() == 40 && ColumnsWith(a, 5, 255).size() == 40);

  // Density 0: nothing painted, but one draw per candidate position, from
  // size - 1 left of and above the area, however many parts the drawing
  // takes, and the thread's source ends where those draws leave it.
  e.Density = 0;
  e.DotSize = 3;
  for (auto [w, h] : {std::pair{5, 4}, std::pair{600, 450}}) {
    mvPicture c = Solid(w, h, 255);
    Paint(e, c);
    EXPECT_EQ(ColumnsWith(c, h - 1, 255).size(), static_cast<size_t>(w));
    mvRandom ref;
    ref.Seed(1234);
    for (int i = 0; i < (w + 2) * (h + 2); ++i) ref.NextInt(900);
    EXPECT_EQ(SharedRandom.Next(), ref.Next()) << w << "x" << h;
  }
}

// Every candidate places a 2 x 2 square of half alpha, so every pixel is
// painted four times over, wrapped or not: a dot lost or painted twice where
// one part of the drawing ends, or by a band that misses it, shows.
TEST(RenderRandomDots, DenseDotsOverManyPartsCoverEvenly) {
  for (bool seamless : {false, true}) {
    mvRandomDotsEffect e;
    e.DotSize = 2;
    e.Density = 400;
    e.Square = 1;
    e.Color = mvColor::RGBA8(0, 0, 0, 128);
    e.Seamless = seamless;
    mvPicture p = Solid(310, 300, 255);
    Paint(e, p);
    EXPECT_TRUE(Uniform(p)) << seamless;
    EXPECT_LT(Red(p, 0, 0), 255 / 8);
  }
}

TEST(RenderRandomDots, SeamlessWrapsAndCostsAreCapped) {
  mvRandomDotsEffect e;
  e.DotSize = 3;
  e.Density = 900;  // every candidate places a dot
  e.Square = 1;
  e.Seamless = true;
  mvPicture p = Solid(6, 6, 255);
  Paint(e, p);
  for (int y = 0; y < 6; ++y) EXPECT_EQ(ColumnsWith(p, y, 0).size(), 6u);
  // A dot far larger than the picture: candidates stay within the picture
  // plus one picture side (this took minutes when they spanned the dot).
  e.AlphaVariation = 0;
  // Saturated densities and sizes varying far beyond the dot paint the same
  // pixels over and over: both are capped (this took seconds to minutes).
  for (auto v : std::vector<std::array<int32_t, 5>>{{6552, 0, 100, 0, 24},
                                                    {160, 0, INT32_MAX, 0, 160},
                                                    {160, 0, INT32_MAX, 1, 160},
                                                    {1, INT32_MAX, INT32_MAX, 0, 160}}) {
    e.DotSize = v[0];
    e.SizeVariation = v[1];
    e.Density = v[2];
    e.Seamless = v[3] != 0;
    mvPicture big = Solid(v[4], v[4], 255);
    const auto start = std::chrono::steady_clock::now();
    Paint(e, big);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 2.0)
        << v[0] << " " << v[1];
  }
}

TEST(RenderPatterns, StreamLayouts) {
  auto sizeWord = [](const mvEffect& e) {
    mvMemoryStream s;
    EXPECT_TRUE(e.Save(s));
    return std::make_pair(s.Data[0], s.Data.size());
  };
  EXPECT_EQ(sizeWord(mvDotsEffect()), std::make_pair(uint8_t{36}, size_t{40}));
  EXPECT_EQ(sizeWord(mvRandomDotsEffect()), std::make_pair(uint8_t{36}, size_t{40}));
  EXPECT_EQ(sizeWord(mvParallelLinesEffect()), std::make_pair(uint8_t{24}, size_t{28}));
  EXPECT_EQ(sizeWord(mvGridEffect()), std::make_pair(uint8_t{28}, size_t{32}));
  EXPECT_EQ(sizeWord(mvCheckerEffect()), std::make_pair(uint8_t{24}, size_t{28}));
  mvRandomDotsEffect r;
  r.Square = 1;
  r.Seamless = true;
  r.Spare = true;
  r.Color = mvColor(0, 0, 0, 65535);  // the form a loaded colour takes, so the reload compares equal
  mvMemoryStream s;
  ASSERT_TRUE(r.Save(s));
  EXPECT_EQ(s.Data[12], 1);  // Square follows the colour
  EXPECT_EQ(s.Data[36], 3);  // flags word last: Seamless bit 0, Spare bit 1
  mvRandomDotsEffect back;
  mvMemoryStream in(s.Data);
  ASSERT_TRUE(back.Load(in));
  EXPECT_TRUE(back.IsEqual(r));
  back.Spare = false;
  EXPECT_FALSE(back.IsEqual(r));
}

// Neighbourhood and cell filters: rank filters, spread, pixelize, mosaic,
// glass tiles and wrap.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/parallel.h"
#include "core/random.h"
#include "tests/effects/pictures.h"
#include "effects/filter/cells.h"

namespace {

using namespace testpics;

// The filters for which a flat picture is a fixed point (the painterly
// ones too).
const char* const kFamily[] = {"mvMedianEffect",   "mvMinimumEffect",   "mvMaximumEffect",   "mvSpreadEffect",
                               "mvPixelizeEffect", "mvMosaicEffect",    "mvGlassTileEffect", "mvWrapEffect",
                               "mvOilPaintEffect", "mvWatercolorEffect"};

// Sets a field by name where the class has it.
void Set(mvEffect& e, const char* name, int64_t value) {
  const FieldInfo* f = e.Class().Find(name);
  if (!f) return;
  if (f->Type == FieldType::Bool) f->Of<bool>(e) = value != 0;
  else if (f->Type == FieldType::Int) f->Of<int32_t>(e) = static_cast<int32_t>(value);
  else f->Of<uint32_t>(e) = static_cast<uint32_t>(value);
}

int Wrapped(int c, int n) { return ((c % n) + n) % n; }

uint32_t RankKey8(const uint8_t* p) { return (p[0] * 19672u + p[1] * 38621u + p[2] * 7500u) >> 8; }
uint32_t MedianKey8(const uint8_t* p) { return p[0] * 5036060u + p[1] * 9886846u + p[2] * 1920103u; }

}  // namespace

TEST(CellFilters, FlatPicturesStayFlatInEveryFormat) {
  for (const mvEffectClass* c : RegisteredEffects()) {
    const std::string name = c->Name;
    if (std::find(std::begin(kFamily), std::end(kFamily), name) == std::end(kFamily)) continue;
    for (const Format& f : kAllFormats)
      for (bool seamless : {false, true}) {
        std::unique_ptr<mvEffect> e(c->Create());
        Set(*e, "Radius", 2);
        Set(*e, "Seamless", seamless);
        mvPicture p = Flat(9, 7, f);
        EXPECT_TRUE(SamePixels(Applied(*e, p), p)) << name << " type " << f.Type << " channels " << f.Channels;
      }
  }
}

TEST(Median, ChoosesThePixelWithTheMiddleKey) {
  // The lower median of the visible window pixels. Opaque windows take the
  // sorting networks (radius 1 and 2), windows with a transparent or cut
  // pixel and larger radii the general path; in these formats a key names
  // one colour, so the key decides.
  const Format formats[] = {{ColorTypeRGB, 8, 3}, {ColorTypeRGB, 8, 4}, {ColorTypeGray, 8, 1}, {ColorTypeGray, 16, 2}};
  for (const Format& f : formats) {
    mvPicture p = Noise(13, 11, f, 5);
    const int bpp = static_cast<int>(p.BytesPerPixel()), wide = f.Depth == 16;
    if (f.Channels % 2 == 0)
      for (int y = 0; y < p.Height; ++y)
        for (int x = 0; x < p.Width; ++x)
          for (int b = 0; b <= wide; ++b) p.Row(y)[x * bpp + bpp - 1 - b] = (x == 6 && y > 5) ? 0 : 255;
    auto key = [&](const uint8_t* px) -> uint32_t {
      if (f.Type == ColorTypeRGB) return MedianKey8(px);
      return wide ? LoadLE16(px) : px[0];
    };
    for (uint32_t radius : {1u, 2u, 3u})
      for (bool seamless : {false, true}) {
        mvMedianEffect e;
        e.Radius = radius;
        e.Seamless = seamless;
        mvPicture out = Applied(e, p);
        const int r = static_cast<int>(radius);
        for (int y = 0; y < p.Height; ++y)
          for (int x = 0; x < p.Width; ++x) {
            std::vector<uint32_t> keys;
            for (int dy = -r; dy <= r; ++dy)
              for (int dx = -r; dx <= r; ++dx) {
                int sx = x + dx, sy = y + dy;
                if (!seamless && (sx < 0 || sy < 0 || sx >= p.Width || sy >= p.Height)) continue;
                sx = Wrapped(sx, p.Width);
                sy = Wrapped(sy, p.Height);
                if (f.Channels % 2 == 1 || Px(p, sx, sy)[bpp - 1] != 0) keys.push_back(key(Px(p, sx, sy)));
              }
            std::sort(keys.begin(), keys.end());
            ASSERT_EQ(key(Px(out, x, y)), keys[(keys.size() - 1) / 2])
                << f.Type << "/" << f.Channels << " r " << r << " seamless " << seamless << " at " << x << "," << y;
            if (f.Channels % 2 == 0) {
              ASSERT_EQ(Px(out, x, y)[bpp - 1], Px(p, x, y)[bpp - 1]);  // alpha is not written
            }
          }
      }
  }
}

TEST(Median, SixteenBitKeyTiesKeepTheirSelectionOrder) {
  // A and B differ in colour but share a 16-bit key: which of them a
  // window gives is the selection's choice, and stored textures keep it.
  mvPicture p;
  ASSERT_TRUE(p.Create(5, 3, ColorTypeRGB, 16, 3));
  const uint16_t A[3] = {1000, 1000, 1000}, B[3] = {901, 1038, 1064}, D[3] = {10, 10, 10}, L[3] = {60000, 60000, 60000};
  const uint16_t* pattern[3][5] = {{A, B, D, A, B}, {B, A, B, L, A}, {A, L, A, B, D}};
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) std::memcpy(p.Row(y) + x * 6, pattern[y][x], 6);
  for (bool seamless : {false, true}) {
    mvMedianEffect e;
    e.Seamless = seamless;
    mvPicture out = Applied(e, p);
    std::string got;
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x)
        got += LoadLE16(Px(out, x, y)) == 1000 ? 'A' : (LoadLE16(Px(out, x, y)) == 901 ? 'B' : '?');
    EXPECT_EQ(got, seamless ? "ABBABBAABAABABA" : "BABBBBAABAABBAA");
  }
}

namespace {

// The rank passes written the slow way: scan each window from its start,
// a strictly better key replacing the winner.
mvPicture ReferenceRank(const mvPicture& src, int r, bool seamless, bool maximum) {
  mvPicture mid(src);
  const int W = src.Width, H = src.Height;
  auto pass = [&](const mvPicture& in, mvPicture& out, bool rowsPass) {
    const int lines = rowsPass ? H : W, length = rowsPass ? W : H;
    for (int l = 0; l < lines; ++l)
      for (int i = 0; i < length; ++i) {
        const uint8_t* best = nullptr;
        for (int d = -r; d <= r; ++d) {
          int j = i + d;
          if (!seamless && j < 0) continue;
          j = seamless ? Wrapped(j, length) : std::min(j, length - 1);
          const uint8_t* p = rowsPass ? Px(in, j, l) : Px(in, l, j);
          if (p[3] == 0) continue;
          if (!best || (maximum ? RankKey8(p) > RankKey8(best) : RankKey8(p) < RankKey8(best))) best = p;
        }
        if (best) std::memcpy(const_cast<uint8_t*>(rowsPass ? Px(out, i, l) : Px(out, l, i)), best, 3);
      }
  };
  pass(src, mid, true);
  mvPicture snapshot(mid);
  pass(snapshot, mid, false);
  return mid;
}

}  // namespace

TEST(MinimumMaximum, MatchTheSlowScanWithItsTieRules) {
  // Few distinct values, so ties are everywhere.
  mvPicture p = Noise(17, 12, {ColorTypeRGB, 8, 4}, 9);
  for (int y = 0; y < p.Height; ++y)
    for (int x = 0; x < p.Width; ++x) {
      uint8_t* d = p.Row(y) + x * 4;
      d[0] &= 0xC0;
      d[1] &= 0xC0;
      d[2] = static_cast<uint8_t>(d[2] & 0xC1);
      d[3] = (d[3] & 0x0F) == 0 ? 0 : 255;
    }
  for (int r : {1, 2, 5, 30})
    for (bool seamless : {false, true}) {
      mvMinimumEffect mn;
      mvMaximumEffect mx;
      mn.Radius = mx.Radius = static_cast<uint32_t>(r);
      mn.Seamless = mx.Seamless = seamless;
      EXPECT_TRUE(SamePixels(Applied(mn, p), ReferenceRank(p, r, seamless, false))) << r << seamless;
      EXPECT_TRUE(SamePixels(Applied(mx, p), ReferenceRank(p, r, seamless, true))) << r << seamless;
    }
}

TEST(MinimumMaximum, TransparentWindowWritesNothing) {
  mvPicture p;
  ASSERT_TRUE(p.Create(9, 9, ColorTypeRGB, 8, 4));
  p.Fill(nullptr, mvColor::RGBA8(9, 9, 9, 0));
  mvPicture target;
  ASSERT_TRUE(target.Create(9, 9, ColorTypeRGB, 8, 4));
  target.Fill(nullptr, mvColor::RGBA8(1, 2, 3, 4));
  mvMinimumEffect e;
  EXPECT_TRUE(e.Apply(p, target, nullptr));
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 9; ++x) EXPECT_EQ(Px(target, x, y)[0], 1);
}

TEST(Spread, MovesEveryPixelByItsTwoDraws) {
  // Two draws per pixel, x first, row by row, whole pixels; reads outside
  // are clamped or wrapped, also for ranges past the side. The large
  // picture is drawn in several chunks, ahead of the copies, on any number
  // of threads; the shared generator ends where the draws end.
  struct Case {
    int W, H;
    Format F;
    uint32_t RangeX, RangeY;
  } cases[] = {{20, 15, {ColorTypeRGB, 8, 4}, 1, 1},
               {20, 15, {ColorTypeRGB, 16, 3}, 3, 40},
               {1100, 2000, {ColorTypeGray, 8, 1}, 5, 2}};
  for (const Case& c : cases)
    for (bool seamless : {false, true})
      for (int threads : {1, 2, 5}) {
        parallel::SetThreadCount(threads);
        mvPicture p = Noise(c.W, c.H, c.F, 6);
        mvSpreadEffect e;
        e.RangeX = c.RangeX;
        e.RangeY = c.RangeY;
        e.Seed = 42;
        e.Seamless = seamless;
        SharedRandom.Seed(999);  // the effect reseeds, whatever came before
        mvPicture out = Applied(e, p);
        mvRandom r;
        r.Seed(42);
        const size_t bpp = p.BytesPerPixel();
        bool same = true;
        for (int y = 0; y < c.H; ++y)
          for (int x = 0; x < c.W; ++x) {
            const int sx = x + static_cast<int>(r.NextInt(2 * c.RangeX + 1)) - static_cast<int>(c.RangeX);
            const int sy = y + static_cast<int>(r.NextInt(2 * c.RangeY + 1)) - static_cast<int>(c.RangeY);
            const uint8_t* from = seamless ? Px(p, Wrapped(sx, c.W), Wrapped(sy, c.H))
                                           : Px(p, std::clamp(sx, 0, c.W - 1), std::clamp(sy, 0, c.H - 1));
            same = same && std::memcmp(Px(out, x, y), from, bpp) == 0;
          }
        EXPECT_TRUE(same) << c.W << "x" << c.H << " seamless " << seamless << " threads " << threads;
        EXPECT_EQ(SharedRandom.Next(), r.Next());
      }
  parallel::SetThreadCount(0);
}

TEST(Spread, BatchedDrawsAreNextIntDraws) {
  // Same results and the same words used, rejections included (bounds just
  // above a power of two reject almost half the words).
  for (uint32_t n : {0u, 1u, 2u, 3u, 7u, 11u, 1000u, 0x7FFFFFFFu, 0x80000000u, 0x80000001u, 0xC0000000u, 0xFFFFFFFFu}) {
    mvRandom a, b;
    a.Seed(n + 1);
    b.Seed(n + 1);
    const BoundedDraws draws(n);
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(draws.Next(a), b.NextInt(n)) << n << " draw " << i;
    EXPECT_EQ(a.Next(), b.Next()) << n;
  }
}

TEST(Pixelize, BlocksAverageFromTheWorkAreaWithAlphaWeights) {
  // A block larger than the picture averages everything.
  mvPicture p = Noise(7, 5, {ColorTypeRGB, 8, 3}, 3);
  uint32_t sum[3] = {0, 0, 0};
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x)
      for (int c = 0; c < 3; ++c) sum[c] += Px(p, x, y)[c];
  mvPixelizeEffect e;
  e.CellWidth = e.CellHeight = 100;
  mvPicture out = Applied(e, p);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x)
      for (int c = 0; c < 3; ++c) EXPECT_EQ(Px(out, x, y)[c], sum[c] / 35);
  // With alpha: colours weighted by alpha, alpha the plain mean; no alpha at all gives zeros.
  mvPicture q;
  ASSERT_TRUE(q.Create(2, 1, ColorTypeRGB, 8, 4));
  const uint8_t px[8] = {100, 0, 0, 255, 0, 0, 200, 85};
  std::memcpy(q.Pixels, px, 8);
  mvPicture weighted = Applied(e, q);
  EXPECT_EQ(Px(weighted, 1, 0)[0], 100 * 255 / 340);
  EXPECT_EQ(Px(weighted, 1, 0)[2], 200 * 85 / 340);
  EXPECT_EQ(Px(weighted, 0, 0)[3], 340 / 2);
  q.Pixels[3] = q.Pixels[7] = 0;
  mvPicture clear = Applied(e, q);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(clear.Pixels[i], 0);
  // Blocks start at the work area's corner.
  mvPicture g = Noise(10, 10, {ColorTypeGray, 8, 1}, 4);
  g.HasWorkRect = 1;
  g.WorkRect = mvRect{3, 3, 8, 10};
  e.CellWidth = 2;
  e.CellHeight = 3;
  mvPicture target = Applied(e, g);
  EXPECT_EQ(Px(target, 3, 3)[0],
            (Px(g, 3, 3)[0] + Px(g, 4, 3)[0] + Px(g, 3, 4)[0] + Px(g, 4, 4)[0] + Px(g, 3, 5)[0] + Px(g, 4, 5)[0]) / 6);
  EXPECT_EQ(Px(target, 7, 9)[0], Px(g, 7, 9)[0]);  // a 1 x 1 block at the corner
}

TEST(Mosaic, SeamlessEdgeCellsMatchSoTheTextureTiles) {
  for (uint32_t mode : {0u, 1u}) {
    for (uint32_t channels : {3u, 4u}) {
      mvPicture p = Noise(40, 40, {ColorTypeRGB, 8, channels}, 11);
      mvMosaicEffect e;
      e.Jitter = 0;
      e.ColorMode = mode;
      e.Seamless = true;
      mvPicture out = Applied(e, p);
      for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(std::memcmp(Px(out, 0, i), Px(out, 39, i), channels), 0) << mode << " row " << i;
        EXPECT_EQ(std::memcmp(Px(out, i, 0), Px(out, i, 39), channels), 0) << mode << " column " << i;
      }
      e.Seamless = false;
      mvPicture plain = Applied(e, p);
      bool differs = false;
      for (int i = 0; i < 40; ++i) differs |= std::memcmp(Px(plain, 0, i), Px(plain, 39, i), channels) != 0;
      EXPECT_TRUE(differs);
    }
  }
}

TEST(Mosaic, PointModeTakesThePixelAtThePointAndDrawsTwicePerPoint) {
  // Jitter 0: points at 10c - 5, so the pixel (3, 3) belongs to the point (5, 5).
  mvPicture p = Noise(20, 20, {ColorTypeRGB, 8, 3}, 12);
  mvMosaicEffect e;
  e.Jitter = 0;
  e.ColorMode = 1;
  e.Seed = 77;
  mvPicture out = Applied(e, p);
  EXPECT_EQ(std::memcmp(Px(out, 3, 3), Px(p, 5, 5), 3), 0);
  EXPECT_EQ(std::memcmp(Px(out, 0, 0), Px(p, 0, 0), 3), 0);  // point (-5, -5) limited to the picture
  // 3 x 3 points, two draws each; a gray picture is not painted but draws the same.
  mvRandom r;
  r.Seed(77);
  for (int i = 0; i < 18; ++i) r.NextInt(1);
  const uint32_t expected = r.Next();
  mvPicture gray = Noise(20, 20, {ColorTypeGray, 8, 1}, 12);
  mvPicture grayOut = Applied(e, gray);
  EXPECT_EQ(SharedRandom.Next(), expected);
  EXPECT_TRUE(SamePixels(grayOut, gray));
}

TEST(Mosaic, StreamsCellSizeFirst) {
  mvMosaicEffect e;
  e.CellWidth = 7;
  e.CellHeight = 8;
  e.Stagger = 1;
  e.ColorMode = 2;
  e.Jitter = 30;
  e.Seed = 5;
  e.Seamless = true;
  mvMemoryStream s;
  ASSERT_TRUE(e.Save(s));
  std::vector<uint32_t> words(s.Data.size() / 4);
  std::memcpy(words.data(), s.Data.data(), words.size() * 4);
  ASSERT_GE(words.size(), 8u);
  const std::vector<uint32_t> tail(words.end() - 8, words.end());
  EXPECT_EQ(tail, (std::vector<uint32_t>{28, 7, 8, 1, 2, 30, 5, 1}));
}

TEST(GlassTile, TilesShowTheirSurroundingsAtHalfScaleFromTheWorkArea) {
  mvPicture p;
  ASSERT_TRUE(p.Create(60, 1, ColorTypeGray, 8, 1));
  for (int x = 0; x < 60; ++x) p.Pixels[x] = static_cast<uint8_t>(x);
  mvGlassTileEffect e;
  e.TileHeight = 1;
  for (bool seamless : {false, true}) {
    e.Seamless = seamless;
    mvPicture out = Applied(e, p);
    for (int x = 0; x < 50; ++x) {
      const int expected = x < 10 ? 2 * x : (x < 30 ? 2 * (x - 10) : 20 + 2 * (x - 30));
      EXPECT_EQ(out.Pixels[x], seamless ? expected % 60 : std::min(59, expected)) << x;  // wrapped or clamped
    }
  }
  // Tiles count from the work area's corner: area positions 0, 1, 2 read
  // 0, 2, then 0 again (base 4, i = -2); reads stay inside the picture.
  mvPicture q = Noise(30, 30, {ColorTypeRGB, 16, 4}, 2);
  q.HasWorkRect = 1;
  q.WorkRect = mvRect{20, 20, 30, 30};
  e.TileWidth = e.TileHeight = 4;
  e.Seamless = false;
  mvPicture out = Applied(e, q);
  EXPECT_EQ(std::memcmp(Px(out, 21, 20), Px(q, 22, 20), 8), 0);
  EXPECT_EQ(std::memcmp(Px(out, 22, 20), Px(q, 20, 20), 8), 0);
  EXPECT_EQ(std::memcmp(Px(out, 29, 29), Px(q, 29, 29), 8), 0);  // 20 + 14 clamped to 29
}

TEST(Wrap, OnlyEightBitRgb) {
  mvWrapEffect e;
  mvPicture ramp = Noise(16, 16, {ColorTypeRGB, 8, 4}, 3), wide = Noise(8, 8, {ColorTypeRGB, 16, 3}, 1);
  EXPECT_FALSE(SamePixels(Applied(e, ramp), ramp));
  EXPECT_TRUE(SamePixels(Applied(e, wide), wide));
}

namespace {

// The wrap rule written the slow way, smoothing included.
mvPicture ReferenceWrap(const mvPicture& src, int relief, int exponent, int smooth, bool seamless) {
  const int W = src.Width, H = src.Height, C = static_cast<int>(src.Channels);
  auto luma = [&](int x, int y) {
    const uint8_t* p =
        seamless ? Px(src, Wrapped(x, W), Wrapped(y, H)) : Px(src, std::clamp(x, 0, W - 1), std::clamp(y, 0, H - 1));
    return static_cast<int>((p[0] * 19672u + p[1] * 38621u + p[2] * 7500u) >> 16);
  };
  auto at = [W](int x, int y) { return static_cast<size_t>(y) * static_cast<size_t>(W) + static_cast<size_t>(x); };
  std::vector<int> gx(at(0, H)), gy(at(0, H));
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      gx[at(x, y)] = luma(x + 1, y) - luma(x - 1, y);
      gy[at(x, y)] = luma(x, y - 1) - luma(x, y + 1);
    }
  if (smooth > 0) {
    std::vector<int> sx(at(0, H)), sy(at(0, H));
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        long long a = 0, b = 0, n = 0;
        for (int dy = -smooth; dy <= smooth; ++dy)
          for (int dx = -smooth; dx <= smooth; ++dx) {
            const int u = x + dx, v = y + dy;
            if (!seamless && (u < 0 || v < 0 || u >= W || v >= H)) continue;
            a += gx[at(Wrapped(u, W), Wrapped(v, H))];
            b += gy[at(Wrapped(u, W), Wrapped(v, H))];
            ++n;
          }
        sx[at(x, y)] = static_cast<int>(a / n);
        sy[at(x, y)] = static_cast<int>(b / n);
      }
    gx = sx;
    gy = sy;
  }
  int lo = gx[0], hi = gx[0];
  for (size_t i = 0; i < at(0, H); ++i) {
    lo = std::min({lo, gx[i], gy[i]});
    hi = std::max({hi, gx[i], gy[i]});
  }
  mvPicture out(src);
  if (lo == hi) return out;
  const double k = relief / 10.0, D = hi - lo;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const double a = k * gx[at(x, y)] / D, b = k * gy[at(x, y)] / D;
      const double n1 = std::sqrt(a * a + 4.0), n2 = std::sqrt(b * b + 4.0);
      const double t1[3] = {2.0 / n1, 0.0 / n1, a / n1}, t2[3] = {0.0 / n2, -2.0 / n2, b / n2};
      const double nx = t2[1] * t1[2] - t2[2] * t1[1], ny = t2[2] * t1[0] - t2[0] * t1[2],
                   nz = t2[0] * t1[1] - t2[1] * t1[0];
      const double l = 1.0 / std::sqrt(3.0);
      const double dot = nx * -l + ny * -l + nz * l;
      const double h = std::pow((2.0 * dot) * nz - l, exponent);
      uint8_t* d = out.Row(y) + x * C;
      for (int c = 0; c < 3; ++c)
        d[c] = static_cast<uint8_t>(std::clamp(static_cast<double>(d[c]) + 255.0 * h, 0.0, 255.0));
    }
  return out;
}

}  // namespace

TEST(Wrap, MatchesTheSlowRuleWithSmoothing) {
  // Small windows slide over a ring of rows, windows taller than the ring
  // make leaving rows again, and wrapped windows taller than the picture
  // add whole rounds.
  struct Case {
    int W, H, Smooth;
  } cases[] = {{13, 9, 0}, {13, 9, 1}, {13, 9, 2}, {13, 9, 7}, {6, 150, 33}, {5, 70, 67}};
  for (const Case& c : cases)
    for (bool seamless : {false, true}) {
      mvPicture p = Noise(c.W, c.H, {ColorTypeRGB, 8, 4}, 17);
      mvWrapEffect e;
      e.Relief = 90;
      e.Exponent = c.Smooth == 7 ? 4 : 5;
      e.Smoothness = c.Smooth;
      e.Seamless = seamless;
      EXPECT_TRUE(SamePixels(Applied(e, p), ReferenceWrap(p, 90, e.Exponent, c.Smooth, seamless)))
          << c.W << "x" << c.H << " smooth " << c.Smooth << " seamless " << seamless;
    }
}

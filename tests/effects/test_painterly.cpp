// Painterly filters: oil paint and watercolor.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/random.h"
#include "tests/effects/pictures.h"
#include "effects/filter/painterly.h"

namespace {

using namespace testpics;
const auto& kFormats = kColorFormats;


void Set(mvPicture& p, int x, int y, uint8_t r, uint8_t g, uint8_t b) {
  uint8_t* d = p.Row(y) + static_cast<size_t>(x) * p.BytesPerPixel();
  d[0] = r;
  d[1] = g;
  d[2] = b;
}

uint32_t Level8(const uint8_t* p) { return (p[0] * 19672u + p[1] * 38621u + p[2] * 7500u) >> 16; }

}  // namespace

TEST(OilPaint, RadiusOneVisitsTopBottomThenTheMiddleRow) {
  mvPicture p;
  ASSERT_TRUE(p.Create(3, 3, ColorTypeRGB, 8, 3));
  // Corners share the level of the left and bottom pixels: visiting them
  // would change which pixel wins.
  Set(p, 0, 0, 100, 100, 100);
  Set(p, 2, 0, 100, 100, 100);
  Set(p, 0, 2, 100, 100, 100);
  Set(p, 2, 2, 100, 100, 100);
  Set(p, 1, 0, 10, 10, 10);    // top: first visit, level 10
  Set(p, 1, 2, 101, 99, 101);  // bottom: level 100 reaches 1 (not above the best)
  Set(p, 0, 1, 102, 99, 100);  // left: level 100 reaches 2 and wins
  Set(p, 1, 1, 50, 50, 50);    // centre
  Set(p, 2, 1, 60, 60, 60);    // right
  ASSERT_EQ(Level8(Px(p, 1, 2)), 100u);
  ASSERT_EQ(Level8(Px(p, 0, 1)), 100u);
  mvOilPaintEffect e;
  e.Radius = 1;
  mvPicture out = Applied(e, p);
  EXPECT_EQ(std::memcmp(Px(out, 1, 1), Px(p, 0, 1), 3), 0);

  // Without the left pixel's help every level counts once: the top pixel,
  // visited first, wins.
  Set(p, 0, 1, 70, 70, 70);
  mvPicture out2 = Applied(e, p);
  EXPECT_EQ(std::memcmp(Px(out2, 1, 1), Px(p, 1, 0), 3), 0);
}

TEST(OilPaint, FlatAreaKeepsItsColourAndTransparentWindowKeepsTheTarget) {
  for (const Format& f : kFormats)
    for (bool seamless : {false, true}) {
      mvOilPaintEffect e;
      e.Seamless = seamless;
      mvPicture p = Flat(8, 6, f);
      EXPECT_TRUE(SamePixels(Applied(e, p), p)) << f.Type << " " << f.Depth << " " << f.Channels;
    }
  mvPicture p;
  ASSERT_TRUE(p.Create(5, 5, ColorTypeRGB, 16, 4));
  p.Fill(nullptr, mvColor(1000, 2000, 3000, 0));
  mvPicture target;
  ASSERT_TRUE(target.Create(5, 5, ColorTypeRGB, 16, 4));
  target.Fill(nullptr, mvColor(7, 8, 9, 10));
  mvPicture before(target);
  mvOilPaintEffect e;
  mvCallbackProgress progress;
  EXPECT_TRUE(e.Apply(p, target, &progress));
  EXPECT_EQ(progress.Max, 4u);
  EXPECT_TRUE(SamePixels(target, before));
}

TEST(OilPaint, SixteenBitGrayUsesTheHighByteAsLevel) {
  // 0x1234 and 0x12FF share a level and outvote the lone 0x5000.
  mvPicture p;
  ASSERT_TRUE(p.Create(3, 1, ColorTypeGray, 16, 1));
  const uint16_t v[3] = {0x5000, 0x1234, 0x12FF};
  std::memcpy(p.Pixels, v, 6);
  mvOilPaintEffect e;
  e.Radius = 1;
  mvPicture out = Applied(e, p);
  uint16_t r[3];
  std::memcpy(r, out.Pixels, 6);
  // Pixel 1 visits itself twice through clamping, then 0, 1, 2 of the row:
  // each later vote for level 0x12 raises the best count, so 0x12FF,
  // which brings the level to its final count, is the one written.
  EXPECT_EQ(r[1], 0x12FF);
}

TEST(OilPaint, MatchesTheSlowVisitForSmallAndHugeDiamonds) {
  // Gray levels from a small set, so that counts tie. A radius of 1100 is
  // past the ring of level rows; one output pixel keeps it quick.
  mvPicture p = Noise(3, 1100, {ColorTypeGray, 8, 1}, 12);
  for (int y = 0; y < p.Height; ++y)
    for (int x = 0; x < 3; ++x) p.Row(y)[x] = static_cast<uint8_t>(40 * ((x + y / 300 + p.Row(y)[x] % 2) % 3));
  for (uint32_t radius : {2u, 1100u})
    for (bool seamless : {false, true}) {
      p.HasWorkRect = 1;
      p.WorkRect = radius == 2 ? mvRect{0, 0, 3, 40} : mvRect{1, 600, 2, 601};
      mvOilPaintEffect e;
      e.Radius = radius;
      e.Seamless = seamless;
      mvPicture out = Applied(e, p);
      const int r = static_cast<int>(radius);
      for (int y = p.WorkRect.Top; y < p.WorkRect.Bottom; ++y)
        for (int x = p.WorkRect.Left; x < p.WorkRect.Right; ++x) {
          int count[256] = {}, best = 0, chosen = -1;
          auto visit = [&](int dy, int dx) {
            int sx = x + dx, sy = y + dy;
            if (seamless) {
              sx = ((sx % 3) + 3) % 3;
              sy = ((sy % 1100) + 1100) % 1100;
            } else {
              sx = std::clamp(sx, 0, 2);
              sy = std::clamp(sy, 0, 1099);
            }
            const int v = p.Row(sy)[sx];
            if (++count[v] > best) {
              best = count[v];
              chosen = v;
            }
          };
          for (int k = 0; k < r; ++k) {
            for (int dx = -k; dx <= k; ++dx) visit(k - r, dx);
            for (int dx = -k; dx <= k; ++dx) visit(r - k, dx);
          }
          for (int dx = -r; dx <= r; ++dx) visit(0, dx);
          ASSERT_EQ(out.Row(y)[x], chosen) << "radius " << r << " seamless " << seamless << " at " << x << "," << y;
        }
    }
}

namespace {

// The watercolor rule written the slow way.
template <class S>
mvPicture ReferenceWatercolor(const mvPicture& src, int r, uint32_t amount, bool seamless) {
  mvPicture out(src);
  const int W = src.Width, H = src.Height, C = static_cast<int>(src.Channels);
  const bool alpha = C % 2 == 0;
  const int colours = alpha ? C - 1 : C;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      uint64_t sum[3] = {0, 0, 0}, alphaSum = 0, n = 0;
      for (int dy = -r; dy <= r; ++dy)
        for (int dx = -r; dx <= r; ++dx) {
          int sx = x + dx, sy = y + dy;
          if (seamless) {
            sx = ((sx % W) + W) % W;
            sy = ((sy % H) + H) % H;
          } else if (sx < 0 || sy < 0 || sx >= W || sy >= H) {
            continue;
          }
          const S* p = reinterpret_cast<const S*>(src.Row(sy)) + sx * C;
          if (alpha) {
            if (p[C - 1] == 0) continue;
            for (int c = 0; c < colours; ++c) sum[c] += static_cast<uint64_t>(p[c]) * p[C - 1];
            alphaSum += p[C - 1];
          } else {
            for (int c = 0; c < colours; ++c) sum[c] += p[c];
          }
          ++n;
        }
      const S* s = reinterpret_cast<const S*>(src.Row(y)) + x * C;
      S* d = reinterpret_cast<S*>(out.Row(y)) + x * C;
      for (int c = 0; c < colours; ++c) {
        const int64_t mean = alpha ? (alphaSum ? static_cast<int64_t>(sum[c] / alphaSum) : 0) : static_cast<int64_t>(sum[c] / n);
        const int64_t v = s[c] - (static_cast<int64_t>(amount) * std::llabs(s[c] - mean)) / 100;
        d[c] = static_cast<S>(v < 1 ? 0 : v);
      }
      if (alpha) d[C - 1] = static_cast<S>(alphaSum ? alphaSum / n : 0);
    }
  return out;
}

}  // namespace

TEST(Watercolor, MatchesTheSlowRuleAndNeverRaisesASample) {
  for (const Format& f : kFormats)
    for (int r : {1, 3, 9})
      for (bool seamless : {false, true}) {
        mvPicture p = Noise(11, 8, f, 31 + r);
        mvWatercolorEffect e;
        e.Radius = static_cast<uint32_t>(r);
        e.Amount = r == 3 ? 250 : 100;
        e.Seamless = seamless;
        mvPicture out = Applied(e, p);
        mvPicture expected = f.Depth == 8 ? ReferenceWatercolor<uint8_t>(p, r, e.Amount, seamless)
                                          : ReferenceWatercolor<uint16_t>(p, r, e.Amount, seamless);
        EXPECT_TRUE(SamePixels(out, expected)) << f.Type << " " << f.Depth << " " << f.Channels << " r " << r;
        const int colours = f.Type == ColorTypeRGB ? 3 : 1;
        const int bytes = static_cast<int>(f.Depth / 8);
        for (int y = 0; y < p.Height; ++y)
          for (int x = 0; x < p.Width; ++x)
            for (int c = 0; c < colours; ++c) {
              const uint8_t* a = Px(p, x, y) + c * bytes;
              const uint8_t* b = Px(out, x, y) + c * bytes;
              const uint32_t before = bytes == 2 ? LoadLE16(a) : a[0];
              const uint32_t after = bytes == 2 ? LoadLE16(b) : b[0];
              EXPECT_LE(after, before);
            }
      }
}

TEST(Watercolor, FlatAreaIsAFixedPointAndALoneBrightPixelDarkens) {
  for (const Format& f : kFormats) {
    mvWatercolorEffect e;
    mvPicture p = Flat(9, 9, f);
    EXPECT_TRUE(SamePixels(Applied(e, p), p));
  }
  mvPicture p;
  ASSERT_TRUE(p.Create(3, 3, ColorTypeGray, 8, 1));
  for (int y = 0; y < 3; ++y) std::memset(p.Row(y), 0, 3);
  p.Row(1)[1] = 255;
  mvWatercolorEffect e;
  e.Radius = 1;
  mvPicture out = Applied(e, p);
  EXPECT_EQ(out.Row(1)[1], 255 - (255 - 255 / 9));  // the mean, 28
  EXPECT_EQ(out.Row(0)[0], 0);
}

TEST(Painterly, AnyFieldValuesStayInBounds) {
  for (const Format& f : kFormats)
    for (bool seamless : {false, true})
      for (uint32_t v : {0u, 1u, 1000u, 0xFFFFFFFFu}) {
        mvOilPaintEffect oil;
        oil.Radius = v == 1000u ? 70u : v;  // large clamped diamonds are slow; 70 passes the lower limit
        oil.Seamless = seamless;
        mvWatercolorEffect water;
        water.Radius = v;
        water.Amount = 0xFFFFFFFFu - v;
        water.Seamless = seamless;
        for (mvEffect* e : std::initializer_list<mvEffect*>{&oil, &water}) {
          mvPicture p = Noise(5, 4, f, 8);
          p.HasWorkRect = 1;
          p.WorkRect = mvRect{-2, 1, 50, 3};
          mvPicture target(p);
          EXPECT_TRUE(e->Apply(p, target, nullptr)) << e->Class().Name;
        }
      }
  // Indexed pictures are left untouched.
  mvPicture idx;
  ASSERT_TRUE(idx.Create(4, 4, ColorTypeIndexed, 8, 1));
  std::memset(idx.Pixels, 3, idx.ByteSize());
  idx.Pixels[5] = 9;
  mvWatercolorEffect water;
  mvOilPaintEffect oil;
  EXPECT_TRUE(SamePixels(Applied(water, idx), idx));
  EXPECT_TRUE(SamePixels(Applied(oil, idx), idx));
}

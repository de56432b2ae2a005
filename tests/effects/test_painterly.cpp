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

int Wrapped(int c, int n) { return ((c % n) + n) % n; }

}  // namespace

TEST(OilPaint, MatchesTheSlowVisitForSmallAndHugeDiamonds) {
  // The diamond from its top and bottom tips inward, the middle row last;
  // the first pixel to raise the best count wins. Levels from a small set,
  // so that counts tie: RGB levels weight the samples, 16-bit gray takes the
  // high byte. A radius of 1100 is past the ring of level rows; one output
  // pixel keeps it quick.
  struct Case {
    Format F;
    int W, H;
    uint32_t Radius;
    mvRect Area;
  } cases[] = {{{ColorTypeRGB, 8, 3}, 9, 40, 1, {0, 0, 9, 40}},
               {{ColorTypeRGB, 8, 3}, 9, 40, 2, {0, 0, 9, 40}},
               {{ColorTypeGray, 16, 1}, 9, 40, 2, {0, 0, 9, 40}},
               {{ColorTypeGray, 8, 1}, 3, 1100, 2, {0, 0, 3, 40}},
               {{ColorTypeGray, 8, 1}, 3, 1100, 1100, {1, 600, 2, 601}}};
  for (const Case& c : cases)
    for (bool seamless : {false, true}) {
      mvPicture p = Noise(c.W, c.H, c.F, 12);
      const int bpp = static_cast<int>(p.BytesPerPixel());
      for (int y = 0; y < c.H; ++y)
        for (int x = 0; x < c.W; ++x) {
          uint8_t* d = p.Row(y) + x * bpp;
          const uint8_t v = static_cast<uint8_t>(40 * ((x + y / 300 + d[0] % 2) % 3));
          // Pixels of one level differ in colour (but for 8-bit gray).
          if (c.F.Type == ColorTypeRGB)
            for (int b = 0; b < bpp; ++b) d[b] = static_cast<uint8_t>(v + (d[b] & 3));
          else if (c.F.Depth == 16) d[1] = v;
          else d[0] = v;
        }
      auto level = [&](const uint8_t* px) -> uint32_t {
        if (c.F.Type == ColorTypeRGB) return (px[0] * 19672u + px[1] * 38621u + px[2] * 7500u) >> 16;
        return c.F.Depth == 16 ? px[1] : px[0];
      };
      p.HasWorkRect = 1;
      p.WorkRect = c.Area;
      mvOilPaintEffect e;
      e.Radius = c.Radius;
      e.Seamless = seamless;
      mvPicture out = Applied(e, p);
      const int r = static_cast<int>(c.Radius);
      for (int y = c.Area.Top; y < c.Area.Bottom; ++y)
        for (int x = c.Area.Left; x < c.Area.Right; ++x) {
          int count[256] = {}, best = 0;
          const uint8_t* chosen = nullptr;
          auto visit = [&](int dy, int dx) {
            const int sx = x + dx, sy = y + dy;
            const uint8_t* px = seamless ? Px(p, Wrapped(sx, c.W), Wrapped(sy, c.H))
                                         : Px(p, std::clamp(sx, 0, c.W - 1), std::clamp(sy, 0, c.H - 1));
            if (++count[level(px)] > best) {
              best = count[level(px)];
              chosen = px;
            }
          };
          for (int k = 0; k < r; ++k) {
            for (int dx = -k; dx <= k; ++dx) visit(k - r, dx);
            for (int dx = -k; dx <= k; ++dx) visit(r - k, dx);
          }
          for (int dx = -r; dx <= r; ++dx) visit(0, dx);
          ASSERT_EQ(std::memcmp(Px(out, x, y), chosen, static_cast<size_t>(bpp)), 0)
              << c.F.Type << "/" << c.F.Depth << " radius " << r << " seamless " << seamless << " at " << x << "," << y;
        }
    }
}

TEST(OilPaint, TransparentWindowKeepsTheTarget) {
  mvPicture p;
  ASSERT_TRUE(p.Create(5, 5, ColorTypeRGB, 16, 4));
  p.Fill(nullptr, mvColor(1000, 2000, 3000, 0));
  mvPicture target;
  ASSERT_TRUE(target.Create(5, 5, ColorTypeRGB, 16, 4));
  target.Fill(nullptr, mvColor(7, 8, 9, 10));
  mvPicture before(target);
  mvOilPaintEffect e;
  EXPECT_TRUE(e.Apply(p, target, nullptr));
  EXPECT_TRUE(SamePixels(target, before));
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
          if (!seamless && (sx < 0 || sy < 0 || sx >= W || sy >= H)) continue;
          sx = Wrapped(sx, W);
          sy = Wrapped(sy, H);
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
        const int64_t mean =
            alpha ? (alphaSum ? static_cast<int64_t>(sum[c] / alphaSum) : 0) : static_cast<int64_t>(sum[c] / n);
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
        mvPicture p = Noise(11, 8, f, static_cast<uint32_t>(31 + r));
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

TEST(Painterly, IndexedPicturesAreLeftUntouched) {
  mvPicture idx;
  ASSERT_TRUE(idx.Create(4, 4, ColorTypeIndexed, 8, 1));
  std::memset(idx.Pixels, 3, idx.ByteSize());
  idx.Pixels[5] = 9;
  mvWatercolorEffect water;
  mvOilPaintEffect oil;
  EXPECT_TRUE(SamePixels(Applied(water, idx), idx));
  EXPECT_TRUE(SamePixels(Applied(oil, idx), idx));
}

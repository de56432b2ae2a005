// Quarter turns, flips and the four distortions.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "effects/effect.h"
#include "effects/geometric/distortions.h"
#include "effects/geometric/turns.h"
#include "tests/effects/pictures.h"

namespace {

using namespace testpics;

enum : uint32_t { kLeft = 514, kRight = 515, kHalf = 516, kFlip = 518, kMirror = 519 };

// Each pixel of an RGBA 8-bit picture names its own position: red x, green y.
mvPicture Coordinates(int32_t w, int32_t h) {
  mvPicture p;
  EXPECT_TRUE(p.Create(w, h, ColorTypeRGB, 8, 4));
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      uint8_t px[4] = {static_cast<uint8_t>(x), static_cast<uint8_t>(y), 0, 255};
      p.SetPixel(x, y, px);
    }
  return p;
}

// Where pixel (x, y) of a Coordinates picture came from.
std::pair<int, int> From(const mvPicture& p, int32_t x, int32_t y) { return {Px(p, x, y)[0], Px(p, x, y)[1]}; }

void Turn(uint32_t id, mvPicture& p) {
  auto e = MakeEffect(id);
  ASSERT_TRUE(e);
  ASSERT_TRUE(ApplyTo(*e, p));
}

}  // namespace

// ---- quarter turns and flips -----------------------------------------------

TEST(Turns, QuarterTurnsMovePixelsWhereTheyShould) {
  for (auto [w, h] : {std::pair{5, 3}, std::pair{5, 1}}) {
    mvPicture left = Coordinates(w, h), right(left);
    Turn(kLeft, left);
    Turn(kRight, right);
    ASSERT_EQ(left.Width, h);
    ASSERT_EQ(right.Height, w);
    for (int32_t r = 0; r < w; ++r)
      for (int32_t c = 0; c < h; ++c) {
        EXPECT_EQ(From(left, c, r), std::make_pair(w - 1 - r, c));
        EXPECT_EQ(From(right, c, r), std::make_pair(r, h - 1 - c));
      }
  }
}

TEST(Turns, InversePairsGiveBackTheStartInEveryFormat) {
  for (const Format& f : kAllFormats) {
    SCOPED_TRACE(testing::Message() << f.Type << "/" << f.Depth << "/" << f.Channels);
    const mvPicture start = Noise(7, 3, f, 1);  // odd widths leave row padding
    mvPicture p(start);
    for (int i = 0; i < 4; ++i) Turn(kLeft, p);
    EXPECT_TRUE(SamePixels(p, start));
    Turn(kRight, p);
    EXPECT_EQ(p.Width, 3);
    Turn(kLeft, p);
    EXPECT_TRUE(SamePixels(p, start));
    for (uint32_t id : {kHalf, kFlip, kMirror}) {
      Turn(id, p);
      EXPECT_FALSE(SamePixels(p, start)) << id;
      Turn(id, p);
      EXPECT_TRUE(SamePixels(p, start)) << id;
    }
  }
  // The palette goes with an indexed picture.
  mvPicture p = Noise(4, 6, {ColorTypeIndexed, 8, 1}, 2);
  ASSERT_TRUE(p.SetPaletteEntry(255, 250, 251, 252));
  const mvPicture start(p);
  Turn(kRight, p);
  ASSERT_NE(p.Palette, nullptr);
  ASSERT_EQ(p.Palette->Count, start.Palette->Count);
  EXPECT_EQ(std::memcmp(p.Palette->Entries, start.Palette->Entries, static_cast<size_t>(p.Palette->Count) * 4), 0);
}

TEST(Turns, HalfTurnFlipAndMirrorStayInsideTheWorkRect) {
  const mvPicture start = Coordinates(9, 7);
  for (uint32_t id : {kHalf, kFlip, kMirror}) {
    SCOPED_TRACE(id);
    mvPicture p(start);
    p.HasWorkRect = 1;
    p.WorkRect = {2, 1, 6, 5};
    Turn(id, p);
    for (int32_t y = 0; y < 7; ++y)
      for (int32_t x = 0; x < 9; ++x) {
        const bool inside = x >= 2 && x < 6 && y >= 1 && y < 5;
        auto expect = std::make_pair(x, y);
        if (inside && id != kFlip) expect.first = 2 + 6 - 1 - x;
        if (inside && id != kMirror) expect.second = 1 + 5 - 1 - y;
        EXPECT_EQ(From(p, x, y), expect) << x << "," << y;
      }
    Turn(id, p);
    EXPECT_TRUE(SamePixels(p, start));
    // A rectangle reaching past the picture is clipped to it.
    p.WorkRect = {-3, 4, 40, 70};
    Turn(id, p);
    Turn(id, p);
    EXPECT_TRUE(SamePixels(p, start));
    // They read pixels they have written before: one picture cannot be both
    // source and target, and is left as it was.
    auto e = MakeEffect(id);
    EXPECT_FALSE(e->Apply(p, p, nullptr));
    EXPECT_TRUE(SamePixels(p, start));
  }
}

// Turns compare equal whatever their base fields; a cancelled quarter turn
// hands back nothing, whatever the pointer held.
TEST(Turns, EqualityAndCancel) {
  mvPicture p = Noise(6, 4, {ColorTypeRGB, 8, 4}, 3);
  for (uint32_t id : {kLeft, kRight, kHalf, kFlip, kMirror}) {
    auto e = MakeEffect(id);
    auto other = MakeEffect(id);
    other->Opacity = 3;
    EXPECT_TRUE(e->IsEqual(*other));
    if (e->IsTransform()) {
      mvCallbackProgress stop([](uint32_t pos, uint32_t) { return pos < 2; });
      mvPicture* result = reinterpret_cast<mvPicture*>(&stop);
      EXPECT_FALSE(e->Transform(p, &result, &stop));
      EXPECT_EQ(result, nullptr);
    }
  }
}

// ---- distortions -----------------------------------------------------------

TEST(Cylinder, TableAndBentRowsAreBentTurnedColumns) {
  double one[1];
  FillCylinderTable(one, 1, 0);
  EXPECT_EQ(one[0], 0.0);
  std::vector<double> t(4097);
  for (int32_t n = 2; n <= 4096; n += 2) {
    FillCylinderTable(t.data(), n, 0);
    const double half = n / 2.0;
    // The written order may miss n / 2 by one unit in the last place.
    EXPECT_LE(std::fabs(t[static_cast<size_t>(n / 2)] - half), half - std::nextafter(half, 0.0)) << n;
    EXPECT_EQ(t[0], 0.0);
    for (int32_t i = 1; i < n; ++i) ASSERT_GT(t[static_cast<size_t>(i)], t[static_cast<size_t>(i - 1)]) << n;
    EXPECT_LT(t[static_cast<size_t>(n - 1)], n);
  }
  FillCylinderTable(t.data(), 8, 3);
  EXPECT_EQ(t[0], 3.0);

  mvPicture column = Noise(1, 9, {ColorTypeRGB, 8, 4}, 4);
  mvCylinderEffect cylinder;
  mvPicture out(column);
  ASSERT_TRUE(ApplyTo(cylinder, out));
  EXPECT_TRUE(SamePixels(out, column));
  // Bending the rows is bending the columns of the transposed picture;
  // mirror after right turn transposes.
  const mvPicture start = Noise(13, 10, {ColorTypeRGB, 8, 4}, 5);
  mvPicture rows(start), viaColumns(start);
  cylinder.Vertical = 1;
  ASSERT_TRUE(ApplyTo(cylinder, rows));
  EXPECT_FALSE(SamePixels(rows, start));
  Turn(kRight, viaColumns);
  Turn(kMirror, viaColumns);
  cylinder.Vertical = 0;
  ASSERT_TRUE(ApplyTo(cylinder, viaColumns));
  Turn(kRight, viaColumns);
  Turn(kMirror, viaColumns);
  EXPECT_TRUE(SamePixels(rows, viaColumns));
}

TEST(Swirl, AngleZeroCopiesTheDiscAndLeavesTheCorners) {
  const uint8_t mark[4] = {1, 2, 3, 4};
  for (auto [w, h] : {std::pair{21, 21}, std::pair{40, 10}, std::pair{9, 30}}) {
    SCOPED_TRACE(testing::Message() << w << "x" << h);
    mvPicture src = Noise(w, h, {ColorTypeRGB, 8, 4}, 6);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) src.Row(y)[x * 4 + 3] = 255;  // transparent reads give zeros
    mvPicture dst(src);
    dst.Fill(nullptr, mvColor::RGBA8(mark[0], mark[1], mark[2], mark[3]));
    mvSwirlEffect swirl;
    swirl.Angle = 0;
    ASSERT_TRUE(swirl.Apply(src, dst, nullptr));
    const double cx = (w - 1) / 2.0, cy = (h - 1) / 2.0, R = std::max(cx, cy);
    const double sx = w < h ? static_cast<double>(h) / w : 1, sy = h < w ? static_cast<double>(w) / h : 1;
    int written = 0;
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        const double dx = (x - cx) * sx, dy = (y - cy) * sy;
        const bool inside = dx * dx + dy * dy < R * R;
        written += inside;
        EXPECT_EQ(std::memcmp(Px(dst, x, y), inside ? Px(src, x, y) : mark, 4), 0) << x << "," << y;
      }
    EXPECT_GT(written, w * h / 2);
  }
}

TEST(SineWave, ZeroPeriodsCopyAndShiftsMoveRightAndDown) {
  for (const Format& f : kAllFormats) {
    for (bool seamless : {false, true}) {
      SCOPED_TRACE(testing::Message() << f.Type << "/" << f.Depth << "/" << f.Channels << " " << seamless);
      const mvPicture start = Noise(11, 6, f, 7);
      mvPicture p(start);
      mvSineWaveEffect wave;
      wave.RowPeriod = wave.ColumnPeriod = 0;
      wave.RowAmplitude = INT32_MIN;
      wave.Seamless = seamless;
      ASSERT_TRUE(ApplyTo(wave, p));
      EXPECT_TRUE(SamePixels(p, start));
    }
  }
  mvPicture p = Coordinates(8, 8);
  mvSineWaveEffect wave;
  wave.RowAmplitude = 2;  // row 0: 2 sin 0 + 2 = 2 pixels to the right
  wave.RowPeriod = 8;
  wave.ColumnPeriod = 0;
  ASSERT_TRUE(ApplyTo(wave, p));
  for (int32_t x = 2; x < 8; ++x) EXPECT_EQ(From(p, x, 0).first, x - 2);
}

TEST(SineWave, SeamlessWaveKeepsATileTileable) {
  // A tile and the same tile repeated 2 x 2 must give the same result in each
  // quarter. sin of the shifted arguments may differ in the last bit, which
  // can move a truncated sample by one.
  const int32_t w = 12, h = 8;
  const mvPicture tile = Noise(w, h, {ColorTypeRGB, 8, 4}, 8);
  mvPicture big;
  ASSERT_TRUE(big.Create(2 * w, 2 * h, ColorTypeRGB, 8, 4));
  for (int32_t y = 0; y < 2 * h; ++y)
    for (int32_t x = 0; x < 2 * w; ++x) std::memcpy(big.Row(y) + x * 4, tile.Row(y % h) + (x % w) * 4, 4);
  auto largestDifference = [&](bool seamless) {
    mvSineWaveEffect wave;
    wave.RowAmplitude = 3;
    wave.RowPeriod = 4;  // divides the height
    wave.ColumnAmplitude = 5;
    wave.ColumnPeriod = 6;  // divides the width
    wave.Seamless = seamless;
    mvPicture small(tile), large(big);
    EXPECT_TRUE(ApplyTo(wave, small));
    EXPECT_TRUE(ApplyTo(wave, large));
    int worst = 0;
    for (int32_t y = 0; y < 2 * h; ++y)
      for (int32_t x = 0; x < 2 * w * 4; ++x)
        worst = std::max(worst, std::abs(large.Row(y)[x] - small.Row(y % h)[x % (w * 4)]));
    return worst;
  };
  EXPECT_LE(largestDifference(true), 1);
  EXPECT_GT(largestDifference(false), 1);  // clamping at the edges shows a seam
}

TEST(Kaleidoscope, SymmetricPicturesStayAndAlphaWeights) {
  for (const Format& f : kColorFormats) {
    SCOPED_TRACE(testing::Message() << f.Type << "/" << f.Depth << "/" << f.Channels);
    // Mirrored left-right and top-bottom, and also across the diagonal so
    // the eight-fold average has nothing to change either.
    const int32_t n = 9;
    const mvPicture noise = Noise(n, n, f, 9);
    mvPicture p(noise);
    const uint32_t bpp = p.BytesPerPixel();
    for (int32_t y = 0; y < n; ++y)
      for (int32_t x = 0; x < n; ++x) {
        int32_t u = std::min(x, n - 1 - x), v = std::min(y, n - 1 - y);
        if (u > v) std::swap(u, v);
        std::memcpy(p.Row(y) + static_cast<size_t>(x) * bpp, Px(noise, u, v), bpp);
      }
    for (uint32_t diagonal : {0u, 1u}) {
      mvKaleidoscopeEffect k;
      k.Diagonal = diagonal;
      mvPicture out(p);
      ASSERT_TRUE(ApplyTo(k, out));
      EXPECT_TRUE(SamePixels(out, p)) << diagonal;
    }
  }
  mvPicture p;
  ASSERT_TRUE(p.Create(2, 1, ColorTypeRGB, 8, 4));
  const uint8_t red[4] = {200, 0, 0, 255}, clear[4] = {0, 90, 0, 0};
  p.SetPixel(0, 0, red);
  p.SetPixel(1, 0, clear);
  mvKaleidoscopeEffect k;
  ASSERT_TRUE(ApplyTo(k, p));
  EXPECT_EQ(std::vector<uint8_t>(Px(p, 1, 0), Px(p, 1, 0) + 4),
            (std::vector<uint8_t>{200, 0, 0, 127}));  // not darkened by the transparent twin; 2 x 255 over four
  mvPicture g;
  ASSERT_TRUE(g.Create(2, 2, ColorTypeGray, 8, 1));
  const uint8_t v[4] = {0, 5, 9, 13};
  for (int i = 0; i < 4; ++i) g.SetPixel(i % 2, i / 2, &v[i]);
  ASSERT_TRUE(ApplyTo(k, g));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(g.Row(i / 2)[i % 2], 6);  // 27 >> 2
}

// Every distortion leaves indexed pictures alone and, as it reads
// neighbours, refuses one picture as both source and target.
TEST(Distortions, IndexedAndOnePicture) {
  std::vector<std::unique_ptr<mvEffect>> all;
  for (uint32_t id : {528u, 530u, 532u, 535u})
    all.push_back(MakeEffect(id));  // cylinder, swirl, sine wave, kaleidoscope
  for (auto& e : all) {
    SCOPED_TRACE(e->Class().Name);
    const mvPicture indexed = Noise(8, 5, {ColorTypeIndexed, 8, 1}, 10);
    mvPicture q(indexed);
    EXPECT_TRUE(ApplyTo(*e, q));
    EXPECT_TRUE(SamePixels(q, indexed));
    mvPicture src = Noise(17, 12, {ColorTypeRGB, 8, 4}, 11);
    EXPECT_FALSE(e->Apply(src, src, nullptr));
  }
}

TEST(Distortions, StreamRules) {
  mvSineWaveEffect wave;
  wave.RowPeriod = 33;
  mvMemoryStream empty(std::vector<uint8_t>(4, 0));
  ASSERT_TRUE(wave.Load(empty));
  EXPECT_EQ(wave.RowPeriod, 33);
  mvCylinderEffect c;
  mvMemoryStream s(std::vector<uint8_t>{4, 0, 0, 0, 7, 0, 0, 0});
  ASSERT_TRUE(c.Load(s));
  EXPECT_EQ(c.Vertical, 1u);
}

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "core/parallel.h"
#include "generator/generator.h"
#include "maps/maps.h"

namespace {

mvPicture Height16(int32_t w, int32_t h, uint16_t (*at)(int32_t x, int32_t y)) {
  mvPicture p;
  EXPECT_TRUE(p.Create(w, h, ColorTypeGray, 16, 1));
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) reinterpret_cast<uint16_t*>(p.Row(y))[x] = at(x, y);
  return p;
}

const uint8_t* Px(const mvPicture& p, int32_t x, int32_t y) {
  return p.Row(y) + static_cast<size_t>(x) * p.BytesPerPixel();
}

// The picture moved by (dx, dy) with wrap-around.
mvPicture Rolled(const mvPicture& p, int32_t dx, int32_t dy) {
  mvPicture r(p);
  const uint32_t b = p.BytesPerPixel();
  for (int32_t y = 0; y < p.Height; ++y)
    for (int32_t x = 0; x < p.Width; ++x)
      std::memcpy(r.Row((y + dy) % p.Height) + static_cast<size_t>((x + dx) % p.Width) * b, Px(p, x, y), b);
  return r;
}

bool Same(const mvPicture& a, const mvPicture& b) {
  for (int32_t y = 0; y < a.Height; ++y)
    if (std::memcmp(a.Row(y), b.Row(y), static_cast<size_t>(a.Width) * a.BytesPerPixel()) != 0) return false;
  return true;
}

// Mean absolute sample jump across the wrap-around seam and between inner
// neighbours, over rows (columns when vertical).
void Jumps(const mvPicture& p, bool vertical, double& seam, double& inner) {
  const uint32_t b = p.BytesPerPixel();
  const int32_t n = vertical ? p.Height : p.Width, m = vertical ? p.Width : p.Height;
  auto at = [&](int32_t i, int32_t j) { return vertical ? Px(p, j, i) : Px(p, i, j); };
  double s = 0, in = 0;
  for (int32_t j = 0; j < m; ++j)
    for (uint32_t c = 0; c < b; ++c) {
      s += std::abs(at(n - 1, j)[c] - at(0, j)[c]);
      for (int32_t i = 1; i < n; ++i) in += std::abs(at(i - 1, j)[c] - at(i, j)[c]);
    }
  seam = s / m;
  inner = in / (static_cast<double>(m) * (n - 1));
}

}  // namespace

TEST(Maps, FlatTexturesGiveMidHeightAndFlatNormals) {
  for (const uint8_t level : std::initializer_list<uint8_t>{0, 90, 255}) {
    mvPicture t;
    ASSERT_TRUE(t.Create(9, 7, ColorTypeRGB, 8, 4));
    std::memset(t.Pixels, level, t.ByteSize());
    for (bool wrap : {false, true}) {
      maps::MapOptions o;
      o.Wrap = wrap;
      o.HeightBlur = 2;
      mvPicture height, normal;
      ASSERT_TRUE(maps::MakeHeightMap(t, o, height));
      ASSERT_TRUE(maps::MakeNormalMap(height, o, normal));
      for (int32_t y = 0; y < 7; ++y)
        for (int32_t x = 0; x < 9; ++x) {
          EXPECT_EQ(reinterpret_cast<const uint16_t*>(height.Row(y))[x], 32768);
          const uint8_t* n = Px(normal, x, y);
          EXPECT_EQ(n[0], 128);
          EXPECT_EQ(n[1], 128);
          EXPECT_EQ(n[2], 255);
        }
    }
  }
}

// Slopes of 1 (45 degrees) to the right and downward, in both green
// conventions; the normal tilts away from the rising side.
TEST(Maps, KnownSlopesGiveTheirNormals) {
  const struct {
    uint16_t (*At)(int32_t, int32_t);
    bool DirectX;
    uint8_t R, G;
  } cases[] = {
      {[](int32_t x, int32_t) { return static_cast<uint16_t>(1000 * x); }, false, 37, 128},
      {[](int32_t, int32_t y) { return static_cast<uint16_t>(1000 * y); }, false, 128, 218},
      {[](int32_t, int32_t y) { return static_cast<uint16_t>(1000 * y); }, true, 128, 37},
  };
  for (const auto& c : cases) {
    maps::MapOptions o;
    o.Strength = 65.535;  // heights rise 1000 / 65535 of the range per pixel
    o.DirectX = c.DirectX;
    mvPicture normal;
    ASSERT_TRUE(maps::MakeNormalMap(Height16(8, 8, c.At), o, normal));
    const uint8_t* n = Px(normal, 4, 4);
    EXPECT_EQ(n[0], c.R);
    EXPECT_EQ(n[1], c.G);
    EXPECT_EQ(n[2], 218);  // 1 / sqrt(2)
  }
}

// Wrapped maps move with the texture: shifting a texture round its edges
// shifts both maps the same way, so they tile wherever the texture does.
// Clamped maps do not, and the thread count changes no bit.
TEST(Maps, WrappedMapsTileAndThreadsAgree) {
  mvRandom random;
  random.Seed(3);
  mvPictureLayer t;
  ASSERT_TRUE(t.Create(96, 64, ColorTypeRGB, 8, 4));
  ASSERT_TRUE(GenerateTexture(t, random, {3, 3, 3, true}));
  maps::MapOptions o;
  o.Wrap = true;
  o.HeightBlur = 3;
  o.Strength = 8;
  mvPicture height, normal, rolledHeight, rolledNormal;
  ASSERT_TRUE(maps::MakeHeightMap(t, o, height));
  ASSERT_TRUE(maps::MakeNormalMap(height, o, normal));
  ASSERT_TRUE(maps::MakeHeightMap(Rolled(t, 37, 21), o, rolledHeight));
  ASSERT_TRUE(maps::MakeNormalMap(rolledHeight, o, rolledNormal));
  EXPECT_TRUE(Same(rolledHeight, Rolled(height, 37, 21)));
  EXPECT_TRUE(Same(rolledNormal, Rolled(normal, 37, 21)));
  for (const mvPicture* m : {&height, &normal})
    for (bool vertical : {false, true}) {
      double seam, inner;
      Jumps(*m, vertical, seam, inner);
      EXPECT_LT(seam, 3 * inner + 1) << (vertical ? "rows" : "columns");
    }
  for (int threads : {1, 3}) {
    parallel::SetThreadCount(threads);
    mvPicture h2, n2;
    ASSERT_TRUE(maps::MakeHeightMap(t, o, h2));
    ASSERT_TRUE(maps::MakeNormalMap(h2, o, n2));
    EXPECT_TRUE(Same(h2, height) && Same(n2, normal)) << threads;
  }
  parallel::SetThreadCount(0);
  o.Wrap = false;
  ASSERT_TRUE(maps::MakeHeightMap(Rolled(t, 37, 21), o, rolledHeight));
  ASSERT_TRUE(maps::MakeNormalMap(rolledHeight, o, rolledNormal));
  ASSERT_TRUE(maps::MakeNormalMap(height, o, normal));
  EXPECT_FALSE(Same(rolledNormal, Rolled(normal, 37, 21)));
}

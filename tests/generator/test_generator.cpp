// The generator's decisive rules: the seamless draws, layer structure,
// refusals and the filter stage. The golden hashes pin the exact draws.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>

#include "core/blend.h"
#include "effects/filter/cells.h"
#include "effects/filter/edges.h"
#include "effects/filter/motion_blur.h"
#include "effects/filter/noise.h"
#include "effects/geometric/distortions.h"
#include "effects/render/cloud.h"
#include "effects/render/fill.h"
#include "effects/render/patterns.h"
#include "generator/batch_seed.h"
#include "generator/draws.h"
#include "generator/generator.h"

namespace {

template <class E>
uint32_t Id() {
  return E::Describe().TypeId;
}

std::unique_ptr<mvPictureLayer> Make(uint32_t seed, GeneratorParametersT params, int32_t w = 48, int32_t h = 48) {
  mvRandom random;
  random.Seed(seed);
  auto layer = std::make_unique<mvPictureLayer>();
  EXPECT_TRUE(layer->Create(w, h, ColorTypeRGB, 8, 4));
  EXPECT_TRUE(GenerateTexture(*layer, random, params));
  return layer;
}

std::vector<uint32_t> Ids(const mvPictureLayer& l) {
  std::vector<uint32_t> ids;
  for (int32_t i = 0; i < l.Effects.Count(); ++i) ids.push_back(l.Effects[i]->GetTypeID());
  return ids;
}

// Largest step between neighbouring samples inside the picture and across
// its seams, along x or, when down, along y.
std::pair<int, int> InnerAndSeamSteps(const mvPicture& p, bool down) {
  int inner = 0, seam = 0;
  const int32_t n = down ? p.Height : p.Width, m = down ? p.Width : p.Height;
  for (int32_t j = 0; j < m; ++j)
    for (int32_t i = 0; i < n; ++i) {
      const uint8_t* a = down ? p.Row(i) + j * 4 : p.Row(j) + i * 4;
      const uint8_t* b = down ? p.Row((i + 1) % n) + j * 4 : p.Row(j) + (i + 1) % n * 4;
      int& worst = i + 1 == n ? seam : inner;
      for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(a[c] - b[c]));
    }
  return {inner, seam};
}

}  // namespace

TEST(Draws, Divisors) {
  EXPECT_EQ(ListDivisors(120, true), (std::vector<int32_t>{2, 3, 4, 5, 6, 10, 12, 15, 20, 30, 60}));
  EXPECT_EQ(ListDivisors(120, false), (std::vector<int32_t>{2, 3, 4, 5, 6, 8, 10, 12, 15, 20, 24, 30, 40, 60}));
  EXPECT_TRUE(ListDivisors(7, false).empty());
  mvRandom r, ref;
  r.Seed(5);
  ref.Seed(5);
  EXPECT_EQ(RandomDivisor(r, 3, false), 0);  // no candidate: no draw
  EXPECT_EQ(RandomDivisor(r, 4, false), 2);  // one candidate: no draw
  EXPECT_EQ(r.Next(), ref.Next());
  EXPECT_EQ(RandomDivisor(r, 120, true), ListDivisors(120, true)[ref.NextInt(11)]);
}

TEST(Draws, DetailIsZeroWhenFlatAndTransparentPixelsTakeNoPart) {
  mvPicture p;
  ASSERT_TRUE(p.Create(5, 5, ColorTypeRGB, 8, 4));
  p.Fill(nullptr, mvColor::RGBA8(40, 50, 60, 255));
  EXPECT_EQ(DetailLevel(p), 0u);
  const uint8_t hole[4] = {255, 255, 255, 0}, spot[4] = {255, 255, 255, 255};
  p.SetPixel(2, 2, hole);
  EXPECT_EQ(DetailLevel(p), 0u);
  p.SetPixel(2, 2, spot);
  EXPECT_GT(DetailLevel(p), 0u);
  mvPicture g;
  ASSERT_TRUE(g.Create(3, 3, ColorTypeGray, 8, 1));
  EXPECT_EQ(DetailLevel(g), 0u);
}

// Every seamless repeat divides the side it wraps over; a side without a
// divisor gets the one-pixel fallbacks.
TEST(Draws, SeamlessRepeatsDivideTheSides) {
  struct Size {
    int32_t W, H;
  };
  mvRandom r;
  r.Seed(11);
  for (const Size z : {Size{96, 64}, Size{64, 96}, Size{90, 60}, Size{7, 24}, Size{3, 3}, Size{120, 120}}) {
    const bool wide = !ListDivisors(z.W, false).empty(), high = !ListDivisors(z.H, false).empty();
    auto fits = [](int32_t side, int64_t period) { return period > 0 && side % period == 0; };
    for (int k = 0; k < 40; ++k) {
      SCOPED_TRACE(std::to_string(z.W) + "x" + std::to_string(z.H) + " draw " + std::to_string(k));
      mvCheckerEffect checker;
      DrawCheckerCells(r, z.W, z.H, true, checker);
      // Cell pairs: the colours alternate across the seam.
      EXPECT_TRUE(ListDivisors(z.W, true).empty() ? checker.CellWidth == 1 : fits(z.W, 2 * checker.CellWidth));
      EXPECT_TRUE(ListDivisors(z.H, true).empty() ? checker.CellHeight == 1 : fits(z.H, 2 * checker.CellHeight));
      mvGridEffect grid;
      DrawGridCells(r, z.W, z.H, true, grid);
      EXPECT_TRUE(!(wide && high) ||
                  (fits(z.W, grid.CellWidth + grid.LineWidth) && fits(z.H, grid.CellHeight + grid.LineWidth)));
      EXPECT_TRUE(wide || grid.CellWidth == 1);
      mvDotsEffect dots;
      DrawDotLattice(r, z.W, true, dots);
      EXPECT_TRUE(wide ? fits(z.W, dots.DotSize + dots.Gap) : dots.DotSize == 1 && dots.Gap == 1);
      mvParallelLinesEffect lines;
      lines.Vertical = k % 2;
      DrawLineSpacing(r, z.W, z.H, true, lines);
      const bool along = lines.Vertical ? wide : high;
      EXPECT_TRUE(along ? fits(lines.Vertical ? z.W : z.H, lines.LineWidth + lines.Gap) : lines.LineWidth == 1);
      mvGradientPatternEffect bands;
      bands.Direction = static_cast<uint32_t>(k % 2);
      bands.Sawtooth = static_cast<uint32_t>(k / 2 % 2);
      DrawBandPeriod(r, z.W, z.H, true, kGeneratorBandFallbackSteps, bands);
      const int32_t side = bands.Direction == 0 ? z.H : z.W;
      // A triangle band goes up and down: two periods repeat.
      const int32_t repeat = (bands.Sawtooth ? 1 : 2) * bands.Period;
      EXPECT_TRUE(ListDivisors(side, bands.Sawtooth == 0).empty() ? bands.Period == 2 : fits(side, repeat));
      mvMosaicEffect mosaic;
      DrawMosaicCells(r, z.W, z.H, true, mosaic);
      EXPECT_TRUE(fits(z.W, mosaic.CellWidth) && fits(z.H, mosaic.CellHeight));
      mvPixelizeEffect pixels;
      DrawPixelCells(r, z.W, z.H, true, pixels);
      EXPECT_TRUE(fits(z.W, pixels.CellWidth) && fits(z.H, pixels.CellHeight));
      mvGlassTileEffect glass;
      EXPECT_EQ(DrawGlassTiles(r, z.W, z.H, glass), wide && high);
      EXPECT_TRUE(!(wide && high) || (fits(z.W, glass.TileWidth) && fits(z.H, glass.TileHeight)));
      // The row period is the wave along the rows: it wraps over the height.
      mvSineWaveEffect sine;
      EXPECT_EQ(DrawSineWaves(r, z.W, z.H, sine), wide && high);
      EXPECT_TRUE(!(wide && high) || (fits(z.H, sine.RowPeriod) && fits(z.W, sine.ColumnPeriod)));
    }
  }
}

// Seamless sine waves on textures wider than high and higher than wide,
// from the generator and the variation maker: the periods divide the sides
// the waves wrap over, and a seamless picture stays seamless.
TEST(Generator, SeamlessSineWavesOnNonSquareTexturesTile) {
  constexpr double kPi = std::numbers::pi;
  for (const auto& [w, h] : {std::pair{96, 64}, std::pair{64, 96}, std::pair{90, 60}}) {
    mvPicture smooth;
    ASSERT_TRUE(smooth.Create(w, h, ColorTypeRGB, 8, 4));
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        const double v = 128 + 60 * std::sin(2 * kPi * x / w) + 60 * std::cos(2 * kPi * y / h);
        const uint8_t px[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(255 - v), 90, 255};
        smooth.SetPixel(x, y, px);
      }
    int waves = 0;
    for (uint32_t seed = 1; seed <= 200 && waves < 6; ++seed) {
      auto t = Make(seed, {1, 5, 5, true}, w, h);
      for (int32_t i = 0; i < t->Effects.Count(); ++i) {
        if (t->Effects[i]->GetTypeID() != Id<mvSineWaveEffect>()) continue;
        // The variation maker redraws the same periods for the same sizes.
        mvPictureLayer alone;
        ASSERT_TRUE(alone.Create(w, h, ColorTypeRGB, 8, 4));
        ASSERT_TRUE(alone.AddEffect(t->Effects[i]->Clone(), false));
        mvRandom random;
        random.Seed(seed);
        ASSERT_TRUE(MakeVariation(alone, random, true));
        for (const mvEffect* e : {t->Effects[i], alone.Effects[0]}) {
          ++waves;
          const auto* sine = static_cast<const mvSineWaveEffect*>(e);
          SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " seed " + std::to_string(seed));
          EXPECT_EQ(h % sine->RowPeriod, 0) << sine->RowPeriod;
          EXPECT_EQ(w % sine->ColumnPeriod, 0) << sine->ColumnPeriod;
          std::unique_ptr<mvEffect> wave(sine->Clone());
          mvPicture p(smooth);
          ASSERT_TRUE(ApplyTo(*wave, p));
          for (bool down : {false, true}) {
            const auto [inner, seam] = InnerAndSeamSteps(p, down);
            EXPECT_LE(seam, inner + 2) << (down ? "down" : "across");
          }
        }
      }
    }
    EXPECT_GE(waves, 6);
  }
}

TEST(Generator, LevelsShapeTheRecipe) {
  const uint32_t starters[] = {Id<mvFillEffect>(),    Id<mvGradientEffect>(), Id<mvGradientPatternEffect>(),
                               Id<mvCheckerEffect>(), Id<mvCloudEffect>(),    Id<mvPlasmaEffect>()};
  // What may follow a bottom layer's render effect within that layer.
  const uint32_t companions[] = {Id<mvHSVNoiseEffect>(), Id<mvMotionBlurEffect>(), Id<mvPixelizeEffect>(),
                                 Id<mvKaleidoscopeEffect>(), Id<mvPlasmaEffect>()};
  for (uint32_t seed = 1; seed <= 60; ++seed) {
    // Render level 1, no filters: one opaque layer of a starting kind.
    auto t = Make(seed, {1, 0, 5, seed % 2 == 0}, 24, 24);
    const std::vector<uint32_t> ids = Ids(*t);
    ASSERT_FALSE(ids.empty());
    EXPECT_TRUE(std::count(std::begin(starters), std::end(starters), ids[0])) << ids[0];
    for (size_t i = 1; i < ids.size(); ++i)
      EXPECT_TRUE(std::count(std::begin(companions), std::end(companions), ids[i])) << ids[i];
    if (ids[0] == Id<mvFillEffect>()) {
      EXPECT_EQ(static_cast<const mvFillEffect*>(t->Effects[0])->Color.Sample(3), 255u);
    }
    for (int32_t y = 0; y < t->Height; ++y)
      for (int32_t x = 0; x < t->Width; ++x) ASSERT_EQ(t->Row(y)[x * 4 + 3], 255) << "seed " << seed;
    // Geometric level 0: no patterns at all.
    for (uint32_t id : Ids(*Make(seed, {5, 0, 0, seed % 2 == 0}, 24, 24)))
      for (uint32_t pattern : {Id<mvGradientPatternEffect>(), Id<mvCheckerEffect>(), Id<mvDotsEffect>(),
                               Id<mvRandomDotsEffect>(), Id<mvParallelLinesEffect>(), Id<mvGridEffect>()})
        EXPECT_NE(id, pattern);
  }
}

TEST(Generator, LevelsOutsideTheirRangesAreRefused) {
  mvPictureLayer layer;
  ASSERT_TRUE(layer.Create(8, 8, ColorTypeRGB, 8, 4));
  mvRandom random, ref;
  random.Seed(3);
  ref.Seed(3);
  using P = GeneratorParametersT;
  for (const P p : {P{0, 2, 2, true}, P{6, 2, 2, true}, P{2, -1, 2, true}, P{2, 2, INT32_MAX, true}}) {
    EXPECT_FALSE(GenerateTexture(layer, random, p));
    EXPECT_EQ(layer.Effects.Count(), 0);
  }
  EXPECT_EQ(random.Next(), ref.Next());  // nothing drawn
}

TEST(Generator, FilterStageRules) {
  // Mosaic cells only over clouds and plasmas; one gradient map at most, and
  // only over a luminance range of 128 or more. (A filter can follow itself
  // when a refused choice was drawn in between.)
  for (uint32_t seed = 1; seed <= 120; ++seed) {
    auto t = Make(seed, {2, 5, 5, seed % 3 != 0}, 32, 32);
    const std::vector<uint32_t> ids = Ids(*t);
    EXPECT_LE(std::count(ids.begin(), ids.end(), Id<mvGradientMapEffect>()), 1);
    for (size_t i = 0; i < ids.size(); ++i) {
      for (size_t j = 0; j < i && ids[i] == Id<mvMosaicEffect>(); ++j)
        EXPECT_TRUE(ids[j] == Id<mvCloudEffect>() || ids[j] == Id<mvPlasmaEffect>()) << "mosaic after " << ids[j];
      if (ids[i] != Id<mvGradientMapEffect>()) continue;
      mvPictureLayer before;
      ASSERT_TRUE(before.Create(32, 32, ColorTypeRGB, 8, 4));
      for (size_t j = 0; j < i; ++j) ASSERT_TRUE(before.AddEffect(t->Effects[static_cast<int32_t>(j)]->Clone(), true));
      int lo = 255, hi = 0;
      for (int32_t y = 0; y < 32; ++y)
        for (int32_t x = 0; x < 32; ++x) {
          const uint8_t* p = before.Row(y) + x * 4;
          if (p[3] == 0) continue;
          const int l = static_cast<int>((19672u * p[0] + 38621u * p[1] + 7500u * p[2]) >> 16);
          lo = std::min(lo, l);
          hi = std::max(hi, l);
        }
      EXPECT_GE(hi - lo, 128) << "seed " << seed;
    }
  }
}

TEST(Generator, BottomCheckerGetsExactlyOneFilterThatSuitsFlatAreas) {
  int checked = 0;
  for (uint32_t seed = 1; seed <= 400 && checked < 5; ++seed) {
    auto t = Make(seed, {1, 1, 5, true}, 24, 24);
    if (t->Effects[0]->GetTypeID() != Id<mvCheckerEffect>()) continue;
    ++checked;
    ASSERT_EQ(t->Effects.Count(), 2);
    const uint32_t f = t->Effects[1]->GetTypeID();
    EXPECT_NE(f, Id<mvHistogramNoiseEffect>());
    EXPECT_NE(f, Id<mvMedianEffect>());
    EXPECT_NE(f, Id<mvGradientMapEffect>());
  }
  EXPECT_GT(checked, 0);
}

TEST(Generator, BlendedPlasmaAvoidsModesThatVanishOnDarkOrLightBases) {
  int seen = 0;
  for (uint32_t seed = 1; seed <= 3000 && seen < 40; ++seed) {
    auto t = Make(seed, {1, 0, 5, true}, 8, 8);
    if (t->Effects.Count() < 2 || t->Effects[0]->GetTypeID() != Id<mvFillEffect>() ||
        t->Effects[1]->GetTypeID() != Id<mvPlasmaEffect>())
      continue;
    ++seen;
    const auto* fill = static_cast<const mvFillEffect*>(t->Effects[0]);
    const uint32_t r = fill->Color.Sample(0), g = fill->Color.Sample(1), b = fill->Color.Sample(2);
    const uint32_t mode = t->Effects[1]->BlendMode;
    const bool darkens = mode == BlendMultiply || mode == BlendSubtract;
    const bool lightens = mode == BlendAdd || mode == BlendScreen;
    const bool either = mode == BlendSoftLight || mode == BlendColorDodge;
    const bool dark = r < 80 && g < 80 && b<80, light = r> 224 && g > 224 && b > 224;
    EXPECT_FALSE(dark && (darkens || either)) << mode;
    EXPECT_FALSE(light && (lightens || either)) << mode;
  }
  EXPECT_GT(seen, 10);
}

// Shards of a batch made years apart must agree: the per-texture seeds are
// pinned (values from an independent SplitMix64).
TEST(BatchSeed, PinnedValues) {
  const struct {
    uint32_t Batch, Index, Seed;
  } kCases[] = {{0, 1, 2433363436u},
                {1, 1, 541299110u},
                {1, 2, 3010476760u},
                {42, 5001, 4138506728u},
                {4294967295u, 4294967295u, 3839455607u},
                {7, 0, 3168421504u}};
  for (const auto& c : kCases) EXPECT_EQ(TextureSeed(c.Batch, c.Index), c.Seed) << c.Batch << " " << c.Index;
}

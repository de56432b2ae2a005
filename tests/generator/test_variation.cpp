#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "core/color.h"
#include "effects/filter/cells.h"
#include "effects/filter/painterly.h"
#include "effects/geometric/distortions.h"
#include "effects/geometric/turns.h"
#include "effects/render/cloud.h"
#include "effects/render/fill.h"
#include "effects/render/patterns.h"
#include "generator/draws.h"
#include "generator/generator.h"

namespace {

// A layer of the given size with the effects applied in order.
std::unique_ptr<mvPictureLayer> MakeLayer(int32_t w, int32_t h, std::initializer_list<mvEffect*> effects) {
  auto layer = std::make_unique<mvPictureLayer>();
  EXPECT_TRUE(layer->Create(w, h, ColorTypeRGB, 8, 4));
  for (mvEffect* e : effects) EXPECT_TRUE(layer->AddEffect(e, true));
  return layer;
}

// Seeds VariationRandom and a twin that the test draws from by hand.
mvRandom Twin(uint32_t seed) {
  VariationRandom.Seed(seed);
  mvRandom r;
  r.Seed(seed);
  return r;
}

// After a variation both sources must stand at the same place.
void ExpectInStep(mvRandom& ref) { EXPECT_EQ(VariationRandom.Next(), ref.Next()); }

bool SamePixels(const mvPicture& a, const mvPicture& b) {
  if (a.Width != b.Width || a.Height != b.Height) return false;
  const size_t row = static_cast<size_t>(a.Width) * a.BytesPerPixel();
  for (int32_t y = 0; y < a.Height; ++y)
    if (std::memcmp(a.Row(y), b.Row(y), row) != 0) return false;
  return true;
}

uint8_t Level(mvRandom& r) { return static_cast<uint8_t>(255 * r.NextInt(32) / 31); }

}  // namespace

TEST(Variation, EmptyRecipeAnswersFalseWithoutDrawing) {
  mvRandom ref = Twin(5);
  auto layer = MakeLayer(8, 8, {});
  EXPECT_FALSE(MakeVariation(*layer));
  ExpectInStep(ref);
}

TEST(Variation, SwirlDrawsIndexAngleAndSign) {
  for (uint32_t seed = 1; seed <= 20; ++seed) {
    mvRandom ref = Twin(seed);
    auto layer = MakeLayer(16, 16, {new mvSwirlEffect});
    ASSERT_TRUE(MakeVariation(*layer));
    EXPECT_EQ(ref.NextInt(1), 0u);  // a one-entry recipe still draws its index
    int32_t angle = static_cast<int32_t>(45 * (8 + ref.NextInt(9)));
    if (ref.NextInt(2) == 0) angle = -angle;
    EXPECT_EQ(static_cast<mvSwirlEffect*>(layer->Effects[0])->Angle, angle);
    ExpectInStep(ref);
  }
}

TEST(Variation, TogglesAndRadiusFlipsDrawOnlyTheIndex) {
  mvRandom ref = Twin(9);
  auto* median = new mvMedianEffect;
  median->Radius = 2;
  auto layer = MakeLayer(8, 8, {median});
  ASSERT_TRUE(MakeVariation(*layer));
  EXPECT_EQ(median->Radius, 1u);
  ASSERT_TRUE(MakeVariation(*layer));
  EXPECT_EQ(median->Radius, 2u);
  ref.NextInt(1);
  ref.NextInt(1);
  ExpectInStep(ref);

  // Values loaded from a file: anything but 0 toggles to 0.
  auto* cylinder = new mvCylinderEffect;
  cylinder->Vertical = 7;
  auto* kaleido = new mvKaleidoscopeEffect;
  auto one = MakeLayer(8, 8, {cylinder});
  ASSERT_TRUE(MakeVariation(*one));
  EXPECT_EQ(cylinder->Vertical, 0u);
  ASSERT_TRUE(MakeVariation(*one));
  EXPECT_EQ(cylinder->Vertical, 1u);
  auto two = MakeLayer(8, 8, {kaleido});
  ASSERT_TRUE(MakeVariation(*two));
  EXPECT_EQ(kaleido->Diagonal, 1u);
}

TEST(Variation, CloudDetailAlwaysChanges) {
  int detailRuns = 0;
  for (uint32_t seed = 1; seed <= 60; ++seed) {
    auto* cloud = new mvCloudEffect;
    cloud->Detail = static_cast<int32_t>(seed % 5);
    mvRandom ref = Twin(seed);
    auto layer = MakeLayer(8, 8, {cloud});
    ref.NextInt(1);
    const bool detailBranch = ref.NextInt(4) == 1;
    ASSERT_TRUE(MakeVariation(*layer));
    if (!detailBranch) continue;
    ++detailRuns;
    EXPECT_EQ(cloud->Detail, static_cast<int32_t>((seed % 5 + 2 + ref.NextInt(3)) % 5));
    EXPECT_NE(cloud->Detail, static_cast<int32_t>(seed % 5));
    ExpectInStep(ref);
  }
  EXPECT_GT(detailRuns, 5);
}

TEST(Variation, FillColourIsOpaqueOnlyAsFirstEntry) {
  int seen[2] = {0, 0};
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    auto* first = new mvFillEffect;
    auto* second = new mvFillEffect;
    mvRandom ref = Twin(seed);
    auto layer = MakeLayer(8, 8, {first, second});
    const uint32_t j = ref.NextInt(2);
    ASSERT_TRUE(MakeVariation(*layer));
    const uint8_t r = Level(ref), g = Level(ref), b = Level(ref);
    const uint8_t a = j == 0 ? 255 : static_cast<uint8_t>(8 * (8 + ref.NextInt(16)));
    if (j == 1) {
      EXPECT_GE(a, 64);
      EXPECT_LE(a, 184);
    }
    EXPECT_EQ((j == 0 ? first : second)->Color, mvColor::RGBA8(r, g, b, a));
    EXPECT_EQ((j == 0 ? second : first)->Color, kRenderWhite);
    ++seen[j];
    ExpectInStep(ref);
  }
  EXPECT_GT(seen[0], 0);
  EXPECT_GT(seen[1], 0);
}

TEST(Variation, TurnIsKeptButTheTextureIsRenderedAgain) {
  auto* fill = new mvFillEffect;
  fill->Color = mvColor::RGBA8(10, 200, 30, 255);
  auto* dots = new mvDotsEffect;
  auto layer = MakeLayer(12, 6, {fill, dots, new mvRotateRightEffect});
  ASSERT_EQ(layer->Width, 6);
  mvPicture expected(*layer);
  uint32_t seed = 1;
  for (;; ++seed) {  // a seed that picks the turn
    mvRandom probe;
    probe.Seed(seed);
    if (probe.NextInt(3) == 2) break;
  }
  mvRandom ref = Twin(seed);
  std::unique_ptr<mvPictureLayer> before(layer->Clone());
  std::memset(layer->Pixels, 0x5a, layer->ByteSize());
  ASSERT_TRUE(MakeVariation(*layer));
  for (int32_t i = 0; i < 3; ++i) EXPECT_TRUE(layer->Effects[i]->IsEqual(*before->Effects[i]));
  EXPECT_TRUE(SamePixels(*layer, expected));
  ref.NextInt(3);
  ExpectInStep(ref);
}

TEST(Variation, SameSeedAndRecipeGiveTheSameVariation) {
  auto* cloud = new mvCloudEffect;
  cloud->Seamless = true;
  auto* grid = new mvGridEffect;
  grid->Color = mvColor::RGBA8(0, 0, 0, 120);
  auto source = MakeLayer(24, 24, {cloud, grid, new mvMosaicEffect, new mvWrapEffect, new mvSineWaveEffect,
                                   new mvGlassTileEffect, new mvWatercolorEffect});
  VariationSeamless = true;
  for (uint32_t seed = 100; seed < 110; ++seed) {
    std::unique_ptr<mvPictureLayer> a(source->Clone()), b(source->Clone());
    VariationRandom.Seed(seed);
    for (int k = 0; k < 3; ++k) ASSERT_TRUE(MakeVariation(*a));
    VariationRandom.Seed(seed);
    for (int k = 0; k < 3; ++k) ASSERT_TRUE(MakeVariation(*b));
    ASSERT_EQ(a->Effects.Count(), b->Effects.Count());
    for (int32_t i = 0; i < a->Effects.Count(); ++i) EXPECT_TRUE(a->Effects[i]->IsEqual(*b->Effects[i]));
    EXPECT_TRUE(SamePixels(*a, *b));
  }
}

TEST(Variation, BandPeriodsFollowTheDivisorRules) {
  // Seamless, Sawtooth set, height 6: divisors 2 and 3; 3 is half the side and
  // left out, yet the index is still drawn from the single remaining one.
  // Not seamless, height 7 has no divisor: the fallback 4 + 2 * U(9).
  for (const bool seamless : {true, false}) {
    VariationSeamless = seamless;
    int periodRuns = 0;
    for (uint32_t seed = 1; seed <= 20; ++seed) {
      auto* bands = new mvGradientPatternEffect;
      bands->Sawtooth = 1;
      auto layer = MakeLayer(9, seamless ? 6 : 7, {bands});
      mvRandom ref = Twin(seed);
      ref.NextInt(1);
      if (ref.NextInt(2) == 0) continue;
      ++periodRuns;
      ASSERT_TRUE(MakeVariation(*layer));
      if (seamless) {
        EXPECT_EQ(ref.NextInt(1), 0u);
        EXPECT_EQ(bands->Period, 2);
      } else {
        EXPECT_EQ(bands->Period, static_cast<int32_t>(4 + 2 * ref.NextInt(9)));
      }
      ExpectInStep(ref);
    }
    EXPECT_GT(periodRuns, 0);
  }
  VariationSeamless = true;
}

TEST(Variation, GlassTilesDrawBothSidesBeforeGivingUp) {
  // Width 7 has no divisor (no draw); height 24 has several (one draw); the
  // tiles stay as they were.
  auto* glass = new mvGlassTileEffect;
  mvRandom ref = Twin(3);
  auto layer = MakeLayer(7, 24, {glass});
  ASSERT_TRUE(MakeVariation(*layer));
  EXPECT_EQ(glass->TileWidth, 20u);
  EXPECT_EQ(glass->TileHeight, 20u);
  ref.NextInt(1);
  ref.NextInt(static_cast<uint32_t>(ListDivisors(24, false).size()));
  ExpectInStep(ref);
}

TEST(Variation, GradientMapJoinsStayContinuous) {
  for (uint32_t seed = 1; seed <= 30; ++seed) {
    auto* map = new mvGradientMapEffect;
    const uint8_t colours[5][3] = {{0, 0, 0}, {200, 40, 40}, {40, 200, 40}, {40, 40, 200}, {255, 255, 255}};
    for (int j = 0; j < 4; ++j) {
      GradientSegment s;
      s.Left = j / 4.0;
      s.Right = (j + 1) / 4.0;
      s.Middle = (s.Left + s.Right) / 2;
      std::memcpy(s.LeftColor, colours[j], 3);
      std::memcpy(s.RightColor, colours[j + 1], 3);
      s.RightColor[3] = static_cast<uint8_t>(100 + j);  // alpha is not compared at joins
      map->Gradient.AppendSegment(s);
    }
    map->Gradient.Segments[3].LeftColor[0] = 41;  // one broken join
    auto layer = MakeLayer(8, 8, {map});
    mvRandom ref = Twin(seed);
    ASSERT_TRUE(MakeVariation(*layer));
    const auto& seg = map->Gradient.Segments;
    ASSERT_EQ(seg.size(), 4u);
    for (int j = 1; j < 3; ++j) EXPECT_EQ(std::memcmp(seg[j].LeftColor, seg[j - 1].RightColor, 4), 0);
    for (int j = 0; j < 4; ++j) EXPECT_EQ(seg[j].RightColor[3], 100 + j);
    // Draws: the index, m, the hue-shift test (and shift), then one per
    // varied component for the five colours that are recoloured.
    ref.NextInt(1);
    const uint32_t m = 1 + ref.NextInt(7);
    if (ref.NextInt(4) == 0) ref.NextDouble();
    const int perColour = ((m & 1) ? 1 : 0) + ((m & 2) ? 1 : 0) + ((m & 4) ? 1 : 0);
    for (int k = 0; k < 6 * perColour; ++k) ref.NextDouble();
    ExpectInStep(ref);
  }
}

TEST(Variation, HostileFieldValuesStayInRange) {
  // Recipes from files may hold any value; one effect per recipe so each is varied.
  VariationSeamless = false;
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    VariationRandom.Seed(seed);
    auto* cloud = new mvCloudEffect;
    const int32_t detail = seed % 2 ? INT32_MAX : INT32_MIN + 1;
    cloud->Detail = detail;
    auto cloudLayer = MakeLayer(5, 3, {cloud});
    ASSERT_TRUE(MakeVariation(*cloudLayer));
    if (cloud->Detail != detail) {  // the detail branch was taken
      EXPECT_LT(cloud->Detail, 5);
      EXPECT_GT(cloud->Detail, -5);
    }

    auto* water = new mvWatercolorEffect;
    water->Radius = seed % 2 ? 0 : UINT32_MAX;
    auto waterLayer = MakeLayer(5, 3, {water});
    ASSERT_TRUE(MakeVariation(*waterLayer));
    EXPECT_GE(water->Radius, 1u);
    EXPECT_LE(water->Radius, 3u);

    auto* bands = new mvGradientPatternEffect;
    bands->Direction = 7;
    auto bandLayer = MakeLayer(1, 1, {bands});
    ASSERT_TRUE(MakeVariation(*bandLayer));
    EXPECT_GE(bands->Period, 1);
  }
  VariationSeamless = true;
}

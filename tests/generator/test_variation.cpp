// The variation maker's rules where the golden hashes do not reach: values
// loaded from files, refusals, continuity and what is left alone.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "effects/filter/cells.h"
#include "effects/filter/painterly.h"
#include "effects/geometric/distortions.h"
#include "effects/geometric/turns.h"
#include "effects/render/cloud.h"
#include "effects/render/fill.h"
#include "effects/render/patterns.h"
#include "generator/draws.h"
#include "generator/generator.h"
#include "tests/effects/pictures.h"

namespace {

// A layer of the given size with the effects applied in order.
std::unique_ptr<mvPictureLayer> MakeLayer(int32_t w, int32_t h, std::initializer_list<mvEffect*> effects) {
  auto layer = std::make_unique<mvPictureLayer>();
  EXPECT_TRUE(layer->Create(w, h, ColorTypeRGB, 8, 4));
  for (mvEffect* e : effects) EXPECT_TRUE(layer->AddEffect(e, true));
  return layer;
}

// A source seeded for the variation maker and a twin the test draws from by hand.
struct Sources {
  explicit Sources(uint32_t seed) {
    Random.Seed(seed);
    Ref.Seed(seed);
  }
  // After a variation both must stand at the same place.
  void ExpectInStep() { EXPECT_EQ(Random.Next(), Ref.Next()); }
  mvRandom Random, Ref;
};

}  // namespace

TEST(Variation, EmptyRecipeAnswersFalseWithoutDrawing) {
  Sources s(5);
  auto layer = MakeLayer(8, 8, {});
  EXPECT_FALSE(MakeVariation(*layer, s.Random, true));
  s.ExpectInStep();
}

TEST(Variation, TogglesAndRadiusFlipsDrawOnlyTheIndex) {
  Sources s(9);
  auto* median = new mvMedianEffect;
  median->Radius = 2;
  auto layer = MakeLayer(8, 8, {median});
  ASSERT_TRUE(MakeVariation(*layer, s.Random, true));
  EXPECT_EQ(median->Radius, 1u);
  ASSERT_TRUE(MakeVariation(*layer, s.Random, true));
  EXPECT_EQ(median->Radius, 2u);
  EXPECT_EQ(s.Ref.NextInt(1) + s.Ref.NextInt(1), 0u);  // a one-entry recipe still draws its index
  s.ExpectInStep();
  // Values loaded from a file: anything but 0 toggles to 0.
  auto* cylinder = new mvCylinderEffect;
  cylinder->Vertical = 7;
  auto one = MakeLayer(8, 8, {cylinder});
  ASSERT_TRUE(MakeVariation(*one, s.Random, true));
  EXPECT_EQ(cylinder->Vertical, 0u);
  ASSERT_TRUE(MakeVariation(*one, s.Random, true));
  EXPECT_EQ(cylinder->Vertical, 1u);
}

TEST(Variation, FillColourIsOpaqueOnlyAsFirstEntry) {
  int seen[2] = {0, 0};
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    auto* first = new mvFillEffect;
    auto* second = new mvFillEffect;
    Sources s(seed);
    auto layer = MakeLayer(8, 8, {first, second});
    const uint32_t j = s.Ref.NextInt(2);
    ASSERT_TRUE(MakeVariation(*layer, s.Random, true));
    const mvColor& varied = (j == 0 ? first : second)->Color;
    EXPECT_EQ(varied, DrawLayerColor(s.Ref, j == 0));
    EXPECT_EQ(varied.Sample(3) == 255, j == 0);
    EXPECT_EQ((j == 0 ? second : first)->Color, kRenderWhite);
    ++seen[j];
    s.ExpectInStep();
  }
  EXPECT_GT(seen[0], 0);
  EXPECT_GT(seen[1], 0);
}

TEST(Variation, TurnIsKeptButTheTextureIsRenderedAgain) {
  auto* fill = new mvFillEffect;
  fill->Color = mvColor::RGBA8(10, 200, 30, 255);
  auto layer = MakeLayer(12, 6, {fill, new mvDotsEffect, new mvRotateRightEffect});
  ASSERT_EQ(layer->Width, 6);
  const mvPicture expected(*layer);
  uint32_t seed = 1;
  for (;; ++seed) {  // a seed that picks the turn
    mvRandom probe;
    probe.Seed(seed);
    if (probe.NextInt(3) == 2) break;
  }
  Sources s(seed);
  std::unique_ptr<mvPictureLayer> before(layer->Clone());
  std::memset(layer->Pixels, 0x5a, layer->ByteSize());
  ASSERT_TRUE(MakeVariation(*layer, s.Random, true));
  for (int32_t i = 0; i < 3; ++i) EXPECT_TRUE(layer->Effects[i]->IsEqual(*before->Effects[i]));
  EXPECT_TRUE(testpics::SamePixels(*layer, expected));
  s.Ref.NextInt(3);
  s.ExpectInStep();
}

TEST(Variation, OneEffectAloneVariesAsWhenTheMakerPicksIt) {
  for (uint32_t seed = 1; seed <= 8; ++seed) {
    Sources s(seed);
    auto layer = MakeLayer(16, 8, {new mvCloudEffect});
    std::unique_ptr<mvEffect> alone(layer->Effects[0]->Clone());
    ASSERT_TRUE(MakeVariation(*layer, s.Random, true));
    s.Ref.NextInt(1);  // the maker's pick of the index
    ASSERT_TRUE(VaryEffect(*alone, s.Ref, 16, 8, true, true));
    const auto& a = static_cast<const mvCloudEffect&>(*alone);
    const auto& b = static_cast<const mvCloudEffect&>(*layer->Effects[0]);
    EXPECT_TRUE(a.IsEqual(b) && a.Seed == b.Seed) << seed;
    s.ExpectInStep();
  }
  // A class the maker leaves alone draws nothing.
  Sources s(3);
  mvRotateRightEffect turn;
  EXPECT_FALSE(VaryEffect(turn, s.Random, 8, 8, true, false));
  s.ExpectInStep();
}

TEST(Variation, BandPeriodsFollowTheDivisorRules) {
  // Seamless, Sawtooth set, height 6: divisors 2 and 3; 3 is half the side and
  // left out, yet the index is still drawn from the single remaining one.
  // Not seamless, height 7 has no divisor: the variation maker's own fallback
  // 4 + 2 * U(9).
  for (const bool seamless : {true, false}) {
    int periodRuns = 0;
    for (uint32_t seed = 1; seed <= 20; ++seed) {
      auto* bands = new mvGradientPatternEffect;
      bands->Sawtooth = 1;
      auto layer = MakeLayer(9, seamless ? 6 : 7, {bands});
      Sources s(seed);
      s.Ref.NextInt(1);
      if (s.Ref.NextInt(2) == 0) continue;
      ++periodRuns;
      ASSERT_TRUE(MakeVariation(*layer, s.Random, seamless));
      if (seamless) {
        EXPECT_EQ(s.Ref.NextInt(1), 0u);
        EXPECT_EQ(bands->Period, 2);
      } else {
        EXPECT_EQ(bands->Period, static_cast<int32_t>(4 + 2 * s.Ref.NextInt(9)));
      }
      s.ExpectInStep();
    }
    EXPECT_GT(periodRuns, 0);
  }
}

TEST(Variation, GlassTilesDrawBothSidesBeforeGivingUp) {
  // Width 7 has no divisor (no draw); height 24 has several (one draw); the
  // tiles stay as they were.
  auto* glass = new mvGlassTileEffect;
  Sources s(3);
  auto layer = MakeLayer(7, 24, {glass});
  ASSERT_TRUE(MakeVariation(*layer, s.Random, true));
  EXPECT_EQ(glass->TileWidth, 20u);
  EXPECT_EQ(glass->TileHeight, 20u);
  s.Ref.NextInt(1);
  s.Ref.NextInt(static_cast<uint32_t>(ListDivisors(24, false).size()));
  s.ExpectInStep();
}

TEST(Variation, GradientMapJoinsStayContinuous) {
  for (uint32_t seed = 1; seed <= 30; ++seed) {
    auto* map = new mvGradientMapEffect;
    const uint8_t colours[5][3] = {{0, 0, 0}, {200, 40, 40}, {40, 200, 40}, {40, 40, 200}, {255, 255, 255}};
    for (int j = 0; j < 4; ++j) {
      GradientSegment g;
      g.Left = j / 4.0;
      g.Right = (j + 1) / 4.0;
      g.Middle = (g.Left + g.Right) / 2;
      std::memcpy(g.LeftColor, colours[j], 3);
      std::memcpy(g.RightColor, colours[j + 1], 3);
      g.RightColor[3] = static_cast<uint8_t>(100 + j);  // alpha is not compared at joins
      map->Gradient.AppendSegment(g);
    }
    map->Gradient.Segments[3].LeftColor[0] = 41;  // one broken join
    auto layer = MakeLayer(8, 8, {map});
    Sources s(seed);
    ASSERT_TRUE(MakeVariation(*layer, s.Random, true));
    const auto& seg = map->Gradient.Segments;
    ASSERT_EQ(seg.size(), 4u);
    for (size_t j = 1; j < 3; ++j) EXPECT_EQ(std::memcmp(seg[j].LeftColor, seg[j - 1].RightColor, 4), 0);
    for (size_t j = 0; j < 4; ++j) EXPECT_EQ(seg[j].RightColor[3], 100 + j);
  }
}

// Recipes from files may hold any value; one effect per recipe so each is varied.
TEST(Variation, LoadedValuesStayInRange) {
  int detailRuns = 0;
  for (uint32_t seed = 1; seed <= 70; ++seed) {
    Sources s(seed);
    auto* cloud = new mvCloudEffect;
    const int32_t details[] = {0, 1, 2, 3, 4, INT32_MAX, INT32_MIN + 1};
    const int32_t detail = details[seed % 7];
    cloud->Detail = detail;
    auto cloudLayer = MakeLayer(5, 3, {cloud});
    ASSERT_TRUE(MakeVariation(*cloudLayer, s.Random, false));
    if (s.Ref.NextInt(1) + s.Ref.NextInt(4) == 1) {  // the detail branch: a step of 2..4 modulo 5
      ++detailRuns;
      EXPECT_NE(cloud->Detail, detail);
      EXPECT_LT(cloud->Detail, 5);
      EXPECT_GT(cloud->Detail, -5);
    }
    auto* water = new mvWatercolorEffect;
    water->Radius = seed % 2 ? 0 : UINT32_MAX;
    auto waterLayer = MakeLayer(5, 3, {water});
    ASSERT_TRUE(MakeVariation(*waterLayer, s.Random, false));
    EXPECT_GE(water->Radius, 1u);
    EXPECT_LE(water->Radius, 3u);
    auto* bands = new mvGradientPatternEffect;
    bands->Direction = 7;
    auto bandLayer = MakeLayer(1, 1, {bands});
    ASSERT_TRUE(MakeVariation(*bandLayer, s.Random, false));
    EXPECT_GE(bands->Period, 1);
  }
  EXPECT_GT(detailRuns, 10);
}

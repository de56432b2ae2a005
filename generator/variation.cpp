// The variation maker: picks one effect of a texture's recipe, redraws one
// aspect of it from the random source passed in and renders the texture
// again. Every draw and its order is part of the contract; where an aspect is
// one the generator draws too, both use the same named draw.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/color.h"
#include "effects/filter/cells.h"
#include "effects/filter/edges.h"
#include "effects/filter/motion_blur.h"
#include "effects/filter/noise.h"
#include "effects/filter/painterly.h"
#include "effects/geometric/distortions.h"
#include "effects/render/cloud.h"
#include "effects/render/fill.h"
#include "effects/render/patterns.h"
#include "generator/draws.h"
#include "generator/generator.h"

namespace {

struct Variation {
  mvRandom& Random;
  int32_t Width = 0;
  int32_t Height = 0;
  bool Seamless = true;
  bool IsEntry0 = false;  // the chosen effect is the recipe's first

  uint32_t U(uint32_t n) { return Random.NextInt(n); }
  // A new layer colour; only a "first" colour on the recipe's first effect is
  // opaque, so upper layers keep letting the ones beneath show through.
  mvColor NewColor(bool first) { return DrawLayerColor(Random, first && IsEntry0); }
};

// Recipes may come from files, so a toggle has to cope with any stored value.
template <class T>
T Toggled(T v) {
  return v == 0 ? T(1) : T(0);
}

template <class E>
void VaryTwoColors(E& e, Variation& v) {
  e.Color1 = v.NewColor(true);
  e.Color2 = v.NewColor(true);
}

void VaryFill(mvFillEffect& e, Variation& v) { e.Color = v.NewColor(true); }

void VaryGradientPattern(mvGradientPatternEffect& e, Variation& v) {
  if (v.U(2) == 0) VaryTwoColors(e, v);
  else DrawBandPeriod(v.Random, v.Width, v.Height, v.Seamless, kVariationBandFallbackSteps, e);
}

void VaryChecker(mvCheckerEffect& e, Variation& v) {
  if (v.U(2) == 0) VaryTwoColors(e, v);
  else DrawCheckerCells(v.Random, v.Width, v.Height, v.Seamless, e);
}

void VaryCloud(mvCloudEffect& e, Variation& v) {
  switch (v.U(4)) {
    case 0: VaryTwoColors(e, v); break;
    case 1: {
      // A step of 2..4 modulo 5 never lands on the old value; 64 bits keep a
      // loaded extreme from overflowing.
      const int64_t d = static_cast<int64_t>(e.Detail) + 2 + v.U(3);
      e.Detail = static_cast<int32_t>(d % 5);
      break;
    }
    case 2:
      e.ScaleX = static_cast<int32_t>(10 * (1 + v.U(4)));
      e.ScaleY = static_cast<int32_t>(10 * (1 + v.U(4)));
      break;
    default: e.Seed = v.Random.Next(); break;
  }
}

void VaryPlasma(mvPlasmaEffect& e, Variation& v) {
  if (v.U(2) == 0) e.Seed = v.Random.Next();
  else e.Roughness = static_cast<int32_t>(1 + v.U(50));
}

void VaryDots(mvDotsEffect& e, Variation& v) {
  switch (v.U(3)) {
    case 0: e.Color = v.NewColor(false); break;
    case 1: e.Square = Toggled(e.Square); break;
    default: DrawDotLattice(v.Random, v.Width, v.Seamless, e); break;
  }
}

void VaryRandomDots(mvRandomDotsEffect& e, Variation& v) {
  switch (v.U(5)) {
    case 0: e.Color = v.NewColor(false); break;
    case 1: e.DotSize = static_cast<int32_t>(4 + v.U(20)); break;
    case 2: e.SizeVariation = static_cast<int32_t>(10 * v.U(5)); break;
    case 3: e.Density = static_cast<int32_t>(50 + v.U(101)); break;
    default: e.Seed = static_cast<int32_t>(v.Random.Next()); break;
  }
}

void VaryParallelLines(mvParallelLinesEffect& e, Variation& v) {
  if (v.U(2) == 0) e.Color = v.NewColor(false);
  else DrawLineSpacing(v.Random, v.Width, v.Height, v.Seamless, e);
}

void VaryGrid(mvGridEffect& e, Variation& v) {
  if (v.U(2) == 0) e.Color = v.NewColor(false);
  else DrawGridCells(v.Random, v.Width, v.Height, v.Seamless, e);
}

void VaryPixelize(mvPixelizeEffect& e, Variation& v) { DrawPixelCells(v.Random, v.Width, v.Height, v.Seamless, e); }

// HSV and HSL noise share the rule; Third is ValueAmount or LightnessAmount.
template <class E, int32_t E::*Third>
void VaryColorNoise(E& e, Variation& v) {
  if (v.U(2) == 1) {
    e.Seed = v.Random.Next();
    return;
  }
  const uint32_t m = 1 + v.U(7);
  e.HueAmount = (m & 1) ? static_cast<int32_t>(1 + v.U(20)) : 0;
  e.SaturationAmount = (m & 2) ? static_cast<int32_t>(1 + v.U(10)) : 0;
  e.*Third = (m & 4) ? static_cast<int32_t>(1 + v.U(10)) : 0;
  e.Gaussian = v.U(2) == 0;
}

void VaryHistogramNoise(mvHistogramNoiseEffect& e, Variation& v) {
  e.Seed = v.Random.Next();
  e.Amount = static_cast<int32_t>(4 + v.U(10));
}

void VaryMotionBlur(mvMotionBlurEffect& e, Variation& v) { DrawMotionBlurPath(v.Random, e); }

void VaryEdgeDetection(mvEdgeDetectionEffect& e, Variation& v) { e.Amount = 20 * (5 + v.U(6)); }

void VaryNeon(mvNeonEffect& e, Variation& v) {
  e.Radius = 2 + v.U(4);
  e.Amount = 20 * (5 + v.U(6));
}

void VaryEmboss(mvEmbossEffect& e, Variation& v) {
  if (v.U(2) == 0) {
    e.Direction = static_cast<int32_t>(v.U(6));
  } else {
    e.Depth = 1 + v.U(2);
    e.Amount = 10 * (10 + v.U(20));
  }
}

void VaryMosaic(mvMosaicEffect& e, Variation& v) {
  switch (v.U(4)) {
    case 0: DrawMosaicCells(v.Random, v.Width, v.Height, v.Seamless, e); break;
    case 1: e.ColorMode = Toggled(e.ColorMode); break;
    case 2: e.Jitter = 10 * (1 + v.U(10)); break;
    default: e.Seed = v.Random.Next(); break;
  }
}

// Median, minimum and maximum flip between radius 1 and 2 without a draw.
template <class E>
void VaryRankRadius(E& e, Variation&) {
  e.Radius = e.Radius % 2 + 1;
}

void VarySpread(mvSpreadEffect& e, Variation& v) {
  if (v.U(2) == 1) {
    e.RangeX = 1 + v.U(5);
    e.RangeY = 1 + v.U(5);
  } else {
    e.Seed = v.Random.Next();
  }
}

void VaryGlassTile(mvGlassTileEffect& e, Variation& v) { (void)DrawGlassTiles(v.Random, v.Width, v.Height, e); }

void VaryOilPaint(mvOilPaintEffect& e, Variation& v) { e.Radius = 1 + v.U(3); }

void VaryWrap(mvWrapEffect& e, Variation& v) {
  const uint32_t m = 1 + v.U(7);
  if (m & 1) e.Relief = static_cast<int32_t>(15 * v.U(24));
  if (m & 2) e.Exponent = static_cast<int32_t>(3 + v.U(8));
  if (m & 4) e.Smoothness = static_cast<int32_t>(1 + v.U(3));
}

void VaryWatercolor(mvWatercolorEffect& e, Variation& v) {
  // (r - 1 + u) mod 3 + 1 written as (r + 2 + u) mod 3 + 1: the same for
  // radii 1..3, and a loaded radius of 0 cannot go negative.
  e.Radius = static_cast<uint32_t>((static_cast<uint64_t>(e.Radius) + 2 + v.U(2)) % 3 + 1);
}

void VaryCylinder(mvCylinderEffect& e, Variation&) { e.Vertical = Toggled(e.Vertical); }

void VaryKaleidoscope(mvKaleidoscopeEffect& e, Variation&) { e.Diagonal = Toggled(e.Diagonal); }

void VarySwirl(mvSwirlEffect& e, Variation& v) { DrawSwirlAngle(v.Random, e); }

void VarySineWave(mvSineWaveEffect& e, Variation& v) { (void)DrawSineWaves(v.Random, v.Width, v.Height, e); }

// Moves one gradient colour a little in hue, saturation and lightness.
void ShiftColor(mvRandom& random, uint8_t color[4], uint32_t m, double hueShift) {
  double h, s, l;
  RGBToHSL(color[0], color[1], color[2], h, s, l);
  h = h + hueShift;
  if (m & 1) h += 0.1 * (random.NextDouble() - 0.5);
  if (h < 0) h += 1;
  else if (h > 1) h -= 1;
  if (m & 2) s = std::clamp(s + 0.1 * (random.NextDouble() - 0.5), 0.0, 1.0);
  if (m & 4) l = std::clamp(l + 0.1 * (random.NextDouble() - 0.5), 0.0, 1.0);
  HSLToRGB(h, s, l, color[0], color[1], color[2]);
}

void VaryGradientMap(mvGradientMapEffect& e, Variation& v) {
  mvGradient g = e.Gradient;
  const uint32_t m = 1 + v.U(7);
  const double hueShift = v.U(4) == 0 ? 0.5 * v.Random.NextDouble() : 0.0;
  std::vector<GradientSegment>& seg = g.Segments;
  for (size_t i = 0; i < seg.size(); ++i) {
    // A left end that continued the previous right end keeps doing so: the
    // previous segment's right colour as loaded is still in e.Gradient.
    const uint8_t* oldRight = i > 0 ? e.Gradient.Segments[i - 1].RightColor : nullptr;
    if (oldRight && seg[i].LeftColor[0] == oldRight[0] && seg[i].LeftColor[1] == oldRight[1] &&
        seg[i].LeftColor[2] == oldRight[2]) {
      std::copy(seg[i - 1].RightColor, seg[i - 1].RightColor + 4, seg[i].LeftColor);
    } else {
      ShiftColor(v.Random, seg[i].LeftColor, m, hueShift);
    }
    ShiftColor(v.Random, seg[i].RightColor, m, hueShift);
  }
  e.Gradient = std::move(g);
}

// One rule per effect class the variation maker knows.
struct VaryRule {
  const mvEffectClass& (*Class)();
  void (*Vary)(mvEffect& effect, Variation& v);
};

template <class E, void (*F)(E&, Variation&)>
constexpr VaryRule RuleFor() {
  return {&E::Describe, [](mvEffect& effect, Variation& v) { F(static_cast<E&>(effect), v); }};
}

constexpr VaryRule kVaryRules[] = {
    RuleFor<mvFillEffect, VaryFill>(),
    RuleFor<mvGradientEffect, VaryTwoColors<mvGradientEffect>>(),
    RuleFor<mvGradientPatternEffect, VaryGradientPattern>(),
    RuleFor<mvCheckerEffect, VaryChecker>(),
    RuleFor<mvCloudEffect, VaryCloud>(),
    RuleFor<mvPlasmaEffect, VaryPlasma>(),
    RuleFor<mvDotsEffect, VaryDots>(),
    RuleFor<mvRandomDotsEffect, VaryRandomDots>(),
    RuleFor<mvParallelLinesEffect, VaryParallelLines>(),
    RuleFor<mvGridEffect, VaryGrid>(),
    RuleFor<mvPixelizeEffect, VaryPixelize>(),
    RuleFor<mvHSVNoiseEffect, VaryColorNoise<mvHSVNoiseEffect, &mvHSVNoiseEffect::ValueAmount>>(),
    RuleFor<mvHSLNoiseEffect, VaryColorNoise<mvHSLNoiseEffect, &mvHSLNoiseEffect::LightnessAmount>>(),
    RuleFor<mvHistogramNoiseEffect, VaryHistogramNoise>(),
    RuleFor<mvMotionBlurEffect, VaryMotionBlur>(),
    RuleFor<mvEdgeDetectionEffect, VaryEdgeDetection>(),
    RuleFor<mvNeonEffect, VaryNeon>(),
    RuleFor<mvEmbossEffect, VaryEmboss>(),
    RuleFor<mvMosaicEffect, VaryMosaic>(),
    RuleFor<mvMedianEffect, VaryRankRadius<mvMedianEffect>>(),
    RuleFor<mvMinimumEffect, VaryRankRadius<mvMinimumEffect>>(),
    RuleFor<mvMaximumEffect, VaryRankRadius<mvMaximumEffect>>(),
    RuleFor<mvSpreadEffect, VarySpread>(),
    RuleFor<mvGlassTileEffect, VaryGlassTile>(),
    RuleFor<mvOilPaintEffect, VaryOilPaint>(),
    RuleFor<mvWrapEffect, VaryWrap>(),
    RuleFor<mvWatercolorEffect, VaryWatercolor>(),
    RuleFor<mvCylinderEffect, VaryCylinder>(),
    RuleFor<mvKaleidoscopeEffect, VaryKaleidoscope>(),
    RuleFor<mvSwirlEffect, VarySwirl>(),
    RuleFor<mvSineWaveEffect, VarySineWave>(),
    RuleFor<mvGradientMapEffect, VaryGradientMap>(),
};

}  // namespace

bool VaryEffect(mvEffect& effect, mvRandom& random, int32_t width, int32_t height, bool seamless, bool first) {
  Variation v{random, width, height, seamless, first};
  for (const VaryRule& rule : kVaryRules) {
    if (rule.Class().TypeId != effect.GetTypeID()) continue;
    rule.Vary(effect, v);
    return true;
  }
  return false;
}

bool MakeVariation(mvPictureLayer& layer, mvRandom& random, bool seamless) {
  const int32_t count = layer.Effects.Count();
  if (count < 1) return false;
  const int32_t j = static_cast<int32_t>(random.NextInt(static_cast<uint32_t>(count)));
  // Any other effect (turns, flips, effects the generator never makes) stays as it is.
  if (mvEffect* e = layer.Effects[j]) (void)VaryEffect(*e, random, layer.Width, layer.Height, seamless, j == 0);
  // A failed render still leaves a usable (if stale) texture; the caller goes on.
  (void)layer.Render();
  return true;
}

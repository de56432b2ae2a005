// The variation maker: picks one effect of a texture's recipe, redraws one
// aspect of it from VariationRandom and renders the texture again. Every draw
// and its order is part of the contract, so each rule draws exactly what the
// generator would for that aspect, in the same order.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/color.h"
#include "effects/filter/cells.h"
#include "effects/filter/edges.h"
#include "effects/filter/noise.h"
#include "effects/filter/painterly.h"
#include "effects/geometric/distortions.h"
#include "effects/render/cloud.h"
#include "effects/render/fill.h"
#include "effects/render/patterns.h"
#include "generator/draws.h"
#include "generator/generator.h"

namespace {

mvRandom& R() { return VariationRandom; }

uint32_t U(uint32_t n) { return VariationRandom.NextInt(n); }

// Recipes may come from files, so a toggle has to cope with any stored value.
template <class T>
T Toggled(T v) {
  return v == 0 ? T(1) : T(0);
}

struct Context {
  int32_t Width = 0;
  int32_t Height = 0;
  bool Seamless = true;
  bool IsEntry0 = false;  // the chosen effect is the recipe's first
};

// A new layer colour; only a "first" colour on the recipe's first effect is
// opaque, so lower layers keep letting the ones beneath show through.
mvColor NewColor(const Context& c, bool first) { return DrawLayerColor(R(), first && c.IsEntry0); }

void VaryGradientPattern(mvGradientPatternEffect& e, const Context& c) {
  if (U(2) == 0) {
    e.Color1 = NewColor(c, true);
    e.Color2 = NewColor(c, true);
    return;
  }
  DrawBandPeriod(R(), c.Width, c.Height, c.Seamless, kVariationBandFallbackSteps, e);
}

void VaryChecker(mvCheckerEffect& e, const Context& c) {
  if (U(2) == 0) {
    e.Color1 = NewColor(c, true);
    e.Color2 = NewColor(c, true);
  } else {
    DrawCheckerCells(R(), c.Width, c.Height, c.Seamless, e);
  }
}

void VaryCloud(mvCloudEffect& e, const Context& c) {
  switch (U(4)) {
    case 0:
      e.Color1 = NewColor(c, true);
      e.Color2 = NewColor(c, true);
      break;
    case 1: {
      // A step of 2..4 modulo 5 never lands on the old value; 64 bits keep a
      // loaded extreme from overflowing.
      const int64_t d = static_cast<int64_t>(e.Detail) + 2 + U(3);
      e.Detail = static_cast<int32_t>(d % 5);
      break;
    }
    case 2:
      e.ScaleX = static_cast<int32_t>(10 * (1 + U(4)));
      e.ScaleY = static_cast<int32_t>(10 * (1 + U(4)));
      break;
    default:
      e.Seed = R().Next();
      break;
  }
}

void VaryPlasma(mvPlasmaEffect& e) {
  if (U(2) == 0)
    e.Seed = R().Next();
  else
    e.Roughness = static_cast<int32_t>(1 + U(50));
}

void VaryDots(mvDotsEffect& e, const Context& c) {
  switch (U(3)) {
    case 0:
      e.Color = NewColor(c, false);
      break;
    case 1:
      e.Square = Toggled(e.Square);
      break;
    default:
      DrawDotLattice(R(), c.Width, c.Seamless, e);
      break;
  }
}

void VaryRandomDots(mvRandomDotsEffect& e, const Context& c) {
  switch (U(5)) {
    case 0:
      e.Color = NewColor(c, false);
      break;
    case 1:
      e.DotSize = static_cast<int32_t>(4 + U(20));
      break;
    case 2:
      e.SizeVariation = static_cast<int32_t>(10 * U(5));
      break;
    case 3:
      e.Density = static_cast<int32_t>(50 + U(101));
      break;
    default:
      e.Seed = static_cast<int32_t>(R().Next());
      break;
  }
}

void VaryParallelLines(mvParallelLinesEffect& e, const Context& c) {
  if (U(2) == 0) {
    e.Color = NewColor(c, false);
    return;
  }
  DrawLineSpacing(R(), c.Width, c.Height, c.Seamless, e);
}

void VaryGrid(mvGridEffect& e, const Context& c) {
  if (U(2) == 0) {
    e.Color = NewColor(c, false);
    return;
  }
  DrawGridCells(R(), c.Width, c.Height, c.Seamless, e);
}

void VaryPixelize(mvPixelizeEffect& e, const Context& c) { DrawPixelCells(R(), c.Width, c.Height, c.Seamless, e); }

// HSV and HSL noise share the rule; Third is ValueAmount or LightnessAmount.
template <class E>
void VaryColorNoise(E& e, int32_t E::*third) {
  if (U(2) == 1) {
    e.Seed = R().Next();
    return;
  }
  const uint32_t m = 1 + U(7);
  e.HueAmount = (m & 1) ? static_cast<int32_t>(1 + U(20)) : 0;
  e.SaturationAmount = (m & 2) ? static_cast<int32_t>(1 + U(10)) : 0;
  e.*third = (m & 4) ? static_cast<int32_t>(1 + U(10)) : 0;
  e.Gaussian = U(2) == 0;
}

void VaryMotionBlur(mvMotionBlurEffect& e) { DrawMotionBlurPath(R(), e); }

void VaryEmboss(mvEmbossEffect& e) {
  if (U(2) == 0) {
    e.Direction = static_cast<int32_t>(U(6));
  } else {
    e.Depth = 1 + U(2);
    e.Amount = 10 * (10 + U(20));
  }
}

void VaryMosaic(mvMosaicEffect& e, const Context& c) {
  switch (U(4)) {
    case 0:
      DrawMosaicCells(R(), c.Width, c.Height, c.Seamless, e);
      break;
    case 1:
      e.ColorMode = Toggled(e.ColorMode);
      break;
    case 2:
      e.Jitter = 10 * (1 + U(10));
      break;
    default:
      e.Seed = R().Next();
      break;
  }
}

void VarySpread(mvSpreadEffect& e) {
  if (U(2) == 1) {
    e.RangeX = 1 + U(5);
    e.RangeY = 1 + U(5);
  } else {
    e.Seed = R().Next();
  }
}

void VaryGlassTile(mvGlassTileEffect& e, const Context& c) { (void)DrawGlassTiles(R(), c.Width, c.Height, e); }

void VaryWrap(mvWrapEffect& e) {
  const uint32_t m = 1 + U(7);
  if (m & 1) e.Relief = static_cast<int32_t>(15 * U(24));
  if (m & 2) e.Exponent = static_cast<int32_t>(3 + U(8));
  if (m & 4) e.Smoothness = static_cast<int32_t>(1 + U(3));
}

void VaryWatercolor(mvWatercolorEffect& e) {
  // (r - 1 + u) mod 3 + 1 written as (r + 2 + u) mod 3 + 1: the same for
  // radii 1..3, and a loaded radius of 0 cannot go negative.
  e.Radius = static_cast<uint32_t>((static_cast<uint64_t>(e.Radius) + 2 + U(2)) % 3 + 1);
}

void VarySwirl(mvSwirlEffect& e) { DrawSwirlAngle(R(), e); }

void VarySineWave(mvSineWaveEffect& e, const Context& c) { (void)DrawSineWaves(R(), c.Width, c.Height, e); }

// Moves one gradient colour a little in hue, saturation and lightness.
void ShiftColor(uint8_t color[4], uint32_t m, double hueShift) {
  double h, s, l;
  RGBToHSL(color[0], color[1], color[2], h, s, l);
  h = h + hueShift;
  if (m & 1) h += 0.1 * (R().NextDouble() - 0.5);
  if (h < 0)
    h += 1;
  else if (h > 1)
    h -= 1;
  if (m & 2) s = std::clamp(s + 0.1 * (R().NextDouble() - 0.5), 0.0, 1.0);
  if (m & 4) l = std::clamp(l + 0.1 * (R().NextDouble() - 0.5), 0.0, 1.0);
  HSLToRGB(h, s, l, color[0], color[1], color[2]);
}

void VaryGradientMap(mvGradientMapEffect& e) {
  mvGradient g = e.Gradient;
  const uint32_t m = 1 + U(7);
  const double hueShift = U(4) == 0 ? 0.5 * R().NextDouble() : 0.0;
  std::vector<GradientSegment>& seg = g.Segments;
  for (size_t i = 0; i < seg.size(); ++i) {
    // A left end that continued the previous right end keeps doing so: the
    // previous segment's right colour as loaded is still in e.Gradient.
    const uint8_t* oldRight = i > 0 ? e.Gradient.Segments[i - 1].RightColor : nullptr;
    if (oldRight && seg[i].LeftColor[0] == oldRight[0] && seg[i].LeftColor[1] == oldRight[1] &&
        seg[i].LeftColor[2] == oldRight[2]) {
      std::copy(seg[i - 1].RightColor, seg[i - 1].RightColor + 4, seg[i].LeftColor);
    } else {
      ShiftColor(seg[i].LeftColor, m, hueShift);
    }
    ShiftColor(seg[i].RightColor, m, hueShift);
  }
  e.Gradient = std::move(g);
}

template <class E>
bool Is(const mvEffect& e) {
  return e.GetTypeID() == E::Describe().TypeId;
}

template <class E>
E& As(mvEffect& e) {
  return static_cast<E&>(e);
}

void Vary(mvEffect& e, const Context& c) {
  if (Is<mvFillEffect>(e)) {
    As<mvFillEffect>(e).Color = NewColor(c, true);
  } else if (Is<mvGradientEffect>(e)) {
    auto& g = As<mvGradientEffect>(e);
    g.Color1 = NewColor(c, true);
    g.Color2 = NewColor(c, true);
  } else if (Is<mvGradientPatternEffect>(e)) {
    VaryGradientPattern(As<mvGradientPatternEffect>(e), c);
  } else if (Is<mvCheckerEffect>(e)) {
    VaryChecker(As<mvCheckerEffect>(e), c);
  } else if (Is<mvCloudEffect>(e)) {
    VaryCloud(As<mvCloudEffect>(e), c);
  } else if (Is<mvPlasmaEffect>(e)) {
    VaryPlasma(As<mvPlasmaEffect>(e));
  } else if (Is<mvDotsEffect>(e)) {
    VaryDots(As<mvDotsEffect>(e), c);
  } else if (Is<mvRandomDotsEffect>(e)) {
    VaryRandomDots(As<mvRandomDotsEffect>(e), c);
  } else if (Is<mvParallelLinesEffect>(e)) {
    VaryParallelLines(As<mvParallelLinesEffect>(e), c);
  } else if (Is<mvGridEffect>(e)) {
    VaryGrid(As<mvGridEffect>(e), c);
  } else if (Is<mvPixelizeEffect>(e)) {
    VaryPixelize(As<mvPixelizeEffect>(e), c);
  } else if (Is<mvHSVNoiseEffect>(e)) {
    VaryColorNoise(As<mvHSVNoiseEffect>(e), &mvHSVNoiseEffect::ValueAmount);
  } else if (Is<mvHSLNoiseEffect>(e)) {
    VaryColorNoise(As<mvHSLNoiseEffect>(e), &mvHSLNoiseEffect::LightnessAmount);
  } else if (Is<mvHistogramNoiseEffect>(e)) {
    auto& h = As<mvHistogramNoiseEffect>(e);
    h.Seed = R().Next();
    h.Amount = static_cast<int32_t>(4 + U(10));
  } else if (Is<mvMotionBlurEffect>(e)) {
    VaryMotionBlur(As<mvMotionBlurEffect>(e));
  } else if (Is<mvEdgeDetectionEffect>(e)) {
    As<mvEdgeDetectionEffect>(e).Amount = 20 * (5 + U(6));
  } else if (Is<mvNeonEffect>(e)) {
    auto& n = As<mvNeonEffect>(e);
    n.Radius = 2 + U(4);
    n.Amount = 20 * (5 + U(6));
  } else if (Is<mvEmbossEffect>(e)) {
    VaryEmboss(As<mvEmbossEffect>(e));
  } else if (Is<mvMosaicEffect>(e)) {
    VaryMosaic(As<mvMosaicEffect>(e), c);
  } else if (Is<mvMedianEffect>(e)) {
    auto& r = As<mvMedianEffect>(e).Radius;
    r = r % 2 + 1;
  } else if (Is<mvMinimumEffect>(e)) {
    auto& r = As<mvMinimumEffect>(e).Radius;
    r = r % 2 + 1;
  } else if (Is<mvMaximumEffect>(e)) {
    auto& r = As<mvMaximumEffect>(e).Radius;
    r = r % 2 + 1;
  } else if (Is<mvSpreadEffect>(e)) {
    VarySpread(As<mvSpreadEffect>(e));
  } else if (Is<mvGlassTileEffect>(e)) {
    VaryGlassTile(As<mvGlassTileEffect>(e), c);
  } else if (Is<mvOilPaintEffect>(e)) {
    As<mvOilPaintEffect>(e).Radius = 1 + U(3);
  } else if (Is<mvWrapEffect>(e)) {
    VaryWrap(As<mvWrapEffect>(e));
  } else if (Is<mvWatercolorEffect>(e)) {
    VaryWatercolor(As<mvWatercolorEffect>(e));
  } else if (Is<mvCylinderEffect>(e)) {
    auto& v = As<mvCylinderEffect>(e).Vertical;
    v = Toggled(v);
  } else if (Is<mvKaleidoscopeEffect>(e)) {
    auto& d = As<mvKaleidoscopeEffect>(e).Diagonal;
    d = Toggled(d);
  } else if (Is<mvSwirlEffect>(e)) {
    VarySwirl(As<mvSwirlEffect>(e));
  } else if (Is<mvSineWaveEffect>(e)) {
    VarySineWave(As<mvSineWaveEffect>(e), c);
  } else if (Is<mvGradientMapEffect>(e)) {
    VaryGradientMap(As<mvGradientMapEffect>(e));
  }
  // Any other effect (turns, flips, effects the generator never makes) stays as it is.
}

}  // namespace

bool MakeVariation(mvPictureLayer& layer) {
  const int32_t count = layer.Effects.Count();
  if (count < 1) return false;
  const int32_t j = static_cast<int32_t>(U(static_cast<uint32_t>(count)));
  mvEffect* e = layer.Effects[j];
  if (e) {
    Context c;
    c.Width = layer.Width;
    c.Height = layer.Height;
    c.Seamless = VariationSeamless;
    c.IsEntry0 = j == 0;
    Vary(*e, c);
  }
  // A failed render still leaves a usable (if stale) texture; the caller goes on.
  (void)layer.Render();
  return true;
}

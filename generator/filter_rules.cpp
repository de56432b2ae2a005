// The filter choices: each adds one filter or distortion to the texture, or
// refuses (and another is drawn) when it would not suit the picture so far.
#include <algorithm>

#include "core/blend.h"
#include "core/color.h"
#include "effects/filter/cells.h"
#include "effects/filter/edges.h"
#include "effects/filter/noise.h"
#include "effects/filter/painterly.h"
#include "effects/geometric/distortions.h"
#include "effects/render/cloud.h"
#include "effects/render/fill.h"
#include "generator/draws.h"
#include "generator/stage.h"

namespace generation {
namespace {

// Strong distortions pass less often at low geometric levels and at high filter levels.
bool StrongDistortionRefused(Stage& s) {
  if (static_cast<int64_t>(s.U(5)) >= static_cast<int64_t>(s.Params.GeometricLevel) + 2) return true;
  return s.U(static_cast<uint32_t>(2 * static_cast<int64_t>(s.Params.FilterLevel))) != 0;
}

bool RecipeHolds(const Stage& s, uint32_t typeId) {
  for (int32_t j = 0; j < s.Layer.Effects.Count(); ++j)
    if (s.Layer.Effects[j]->GetTypeID() == typeId) return true;
  return false;
}

bool OnlyCloudsAndPlasmas(const Stage& s) {
  for (int32_t j = 0; j < s.Layer.Effects.Count(); ++j) {
    const uint32_t id = s.Layer.Effects[j]->GetTypeID();
    if (id != TypeIdOf<mvCloudEffect>() && id != TypeIdOf<mvPlasmaEffect>()) return false;
  }
  return true;
}

Outcome Cylinder(Stage& s, int32_t) {
  if (StrongDistortionRefused(s)) return Outcome::Refused;
  auto e = std::make_unique<mvCylinderEffect>();
  e->Vertical = s.U(2);
  return s.Finish(std::move(e));
}

Outcome Swirl(Stage& s, int32_t) {
  if (StrongDistortionRefused(s)) return Outcome::Refused;
  auto e = std::make_unique<mvSwirlEffect>();
  DrawSwirlAngle(s.Random, *e);
  s.FlatAreas = false;
  return s.Finish(std::move(e));
}

Outcome SineWave(Stage& s, int32_t) {
  auto e = std::make_unique<mvSineWaveEffect>();
  if (!DrawSineWaves(s.Random, s.Width, s.Height, *e)) return Outcome::Refused;
  e->Seamless = s.Seamless();
  return s.Finish(std::move(e));
}

Outcome HSLNoise(Stage& s, int32_t) {
  auto e = std::make_unique<mvHSLNoiseEffect>();
  // m: which of hue, saturation and lightness get noise; one alone gets more.
  const uint32_t m = 1 + s.U(7);
  const int32_t base = (m == 1 || m == 2 || m == 4) ? 10 : 1;
  e->HueAmount = (m & 1) ? base + static_cast<int32_t>(s.U(20)) : 0;
  e->SaturationAmount = (m & 2) ? base + static_cast<int32_t>(s.U(10)) : 0;
  e->LightnessAmount = (m & 4) ? base + static_cast<int32_t>(s.U(10)) : 0;
  e->Seed = s.N();
  e->Gaussian = s.U(2) == 0;
  e->Density = 100;
  e->AlphaAmount = 0;
  s.FlatAreas = false;
  return s.Finish(std::move(e));
}

Outcome HistogramNoise(Stage& s, int32_t) {
  if (s.FlatAreas) return Outcome::Refused;
  auto e = std::make_unique<mvHistogramNoiseEffect>();
  e->Seed = s.N();
  e->Amount = static_cast<int32_t>(4 + s.U(10));
  return s.Finish(std::move(e));
}

Outcome Watercolor(Stage& s, int32_t) {
  auto e = std::make_unique<mvWatercolorEffect>();
  e->Radius = 1 + s.U(3);
  e->Seamless = s.Seamless();
  s.FlatAreas = false;
  return s.Finish(std::move(e));
}

std::unique_ptr<mvEffect> DrawEdgeDetection(Stage& s) {
  auto e = std::make_unique<mvEdgeDetectionEffect>();
  e->Amount = 20 * (5 + s.U(6));
  e->Invert = s.U(2) == 0;
  e->Seamless = s.Seamless();
  if (s.U(2) == 0) {
    static constexpr uint32_t kInverted[3] = {BlendMultiply, BlendDifference, BlendSoftLight};
    static constexpr uint32_t kPlain[3] = {BlendDifference, BlendSubtract, BlendSoftLight};
    e->BlendMode = e->Invert ? kInverted[s.U(3)] : kPlain[s.U(3)];
  }
  return e;
}

std::unique_ptr<mvEffect> DrawNeon(Stage& s) {
  auto e = std::make_unique<mvNeonEffect>();
  e->Radius = 2 + s.U(4);
  e->Amount = 20 * (5 + s.U(6));
  e->Seamless = s.Seamless();
  return e;
}

// Edges or neon, only on pictures with enough detail to show them.
Outcome Edges(Stage& s, int32_t) {
  if (DetailLevel(s.Layer) < 20) return Outcome::Refused;
  std::unique_ptr<mvEffect> made = s.U(2) == 0 ? DrawEdgeDetection(s) : DrawNeon(s);
  s.FlatAreas = false;
  return s.Finish(std::move(made));
}

Outcome Emboss(Stage& s, int32_t) {
  auto e = std::make_unique<mvEmbossEffect>();
  e->Direction = static_cast<int32_t>(s.U(6));
  e->Depth = 1 + s.U(2);
  e->Amount = 10 * (10 + s.U(20));
  e->ColorRelief = false;
  e->Seamless = s.Seamless();
  e->BlendMode = BlendHardLight;
  s.FlatAreas = false;
  return s.Finish(std::move(e));
}

template <class E>
Outcome RankFilter(Stage& s) {
  auto e = std::make_unique<E>();
  e->Radius = 1 + s.U(2);
  e->Seamless = s.Seamless();
  return s.Finish(std::move(e));
}

Outcome Median(Stage& s, int32_t) { return s.FlatAreas ? Outcome::Refused : RankFilter<mvMedianEffect>(s); }
Outcome Minimum(Stage& s, int32_t) { return RankFilter<mvMinimumEffect>(s); }
Outcome Maximum(Stage& s, int32_t) { return RankFilter<mvMaximumEffect>(s); }

Outcome Spread(Stage& s, int32_t) {
  auto e = std::make_unique<mvSpreadEffect>();
  e->RangeX = 1 + s.U(5);
  e->RangeY = 1 + s.U(5);
  e->Seed = s.N();
  e->Seamless = s.Seamless();
  s.FlatAreas = false;
  return s.Finish(std::move(e));
}

Outcome GlassTile(Stage& s, int32_t) {
  auto e = std::make_unique<mvGlassTileEffect>();
  if (!DrawGlassTiles(s.Random, s.Width, s.Height, *e)) return Outcome::Refused;
  e->Seamless = s.Seamless();
  s.FlatAreas = false;
  return s.Finish(std::move(e));
}

Outcome OilPaint(Stage& s, int32_t) {
  auto e = std::make_unique<mvOilPaintEffect>();
  e->Radius = 1 + s.U(3);
  e->Seamless = s.Seamless();
  s.FlatAreas = false;
  return s.Finish(std::move(e));
}

Outcome Wrap(Stage& s, int32_t) {
  auto e = std::make_unique<mvWrapEffect>();
  e->Relief = static_cast<int32_t>(15 * s.U(24));
  e->Exponent = static_cast<int32_t>(3 + s.U(8));
  e->Smoothness = static_cast<int32_t>(1 + s.U(3));
  e->Seamless = s.Seamless();
  s.FlatAreas = false;
  return s.Finish(std::move(e));
}

// Mosaic cells only as the first step, on a texture of clouds and plasmas alone.
Outcome Mosaic(Stage& s, int32_t step) {
  if (step != 0 || !OnlyCloudsAndPlasmas(s)) return Outcome::Refused;
  auto e = std::make_unique<mvMosaicEffect>();
  DrawMosaicCells(s.Random, s.Width, s.Height, s.Seamless(), *e);
  e->ColorMode = s.U(2);
  e->Jitter = 10 * (1 + s.U(10));
  e->Seed = s.N();
  e->Seamless = s.Seamless();
  return s.Finish(std::move(e));
}

// ---- gradient map ------------------------------------------------------------

// Lowest and highest luminance level of the visible pixels; -1 when none.
void LuminanceRange(const mvPictureLayer& layer, int32_t& lowest, int32_t& highest) {
  uint32_t table[256] = {};
  mvRect a = layer.Area();
  a.Left = std::max(a.Left, 0);
  a.Top = std::max(a.Top, 0);
  a.Right = std::min(a.Right, layer.Width);
  a.Bottom = std::min(a.Bottom, layer.Height);
  const uint32_t ch = layer.Channels;
  const bool alpha = layer.HasAlpha();
  for (int32_t y = a.Top; y < a.Bottom; ++y) {
    const uint8_t* row = layer.Row(y);
    for (int32_t x = a.Left; x < a.Right; ++x) {
      if (layer.BitDepth == 8) {
        const uint8_t* p = row + static_cast<size_t>(x) * ch;
        if (alpha && p[ch - 1] == 0) continue;
        if (layer.ColorType == ColorTypeRGB) ++table[(19672u * p[0] + 38621u * p[1] + 7500u * p[2]) >> 16];
        else if (layer.ColorType == ColorTypeGray) ++table[p[0]];
      } else {
        const uint16_t* p = reinterpret_cast<const uint16_t*>(row) + static_cast<size_t>(x) * ch;
        if (alpha && p[ch - 1] == 0) continue;
        if (layer.ColorType == ColorTypeRGB)
          ++table[std::min<uint64_t>(255, (77ull * p[0] + 150ull * p[1] + 29ull * p[2]) >> 16)];
        else if (layer.ColorType == ColorTypeGray) ++table[p[0] >> 8];
      }
    }
  }
  lowest = highest = -1;
  for (int32_t v = 0; v < 256; ++v)
    if (table[v]) {
      lowest = v;
      break;
    }
  for (int32_t v = 255; v >= 0; --v)
    if (table[v]) {
      highest = v;
      break;
    }
}

// count equal, opaque, linear segments from 0 to 1.
std::vector<GradientSegment> EvenSegments(int32_t count) {
  std::vector<GradientSegment> segments(static_cast<size_t>(count));
  double left = 0;
  for (int32_t j = 0; j < count; ++j) {
    GradientSegment& g = segments[static_cast<size_t>(j)];
    g.Left = left;
    g.Right = static_cast<double>(j + 1) / count;
    g.Middle = (g.Left + g.Right) / 2;
    g.LeftColor[3] = g.RightColor[3] = 255;
    g.BlendFunction = 0;
    g.ColoringType = 0;
    left = g.Right;
  }
  return segments;
}

// One hue (m bit 1: wandering by up to r) and saturation (m bit 2: varying
// a little) with lightness rising from dark to light along the map.
void ColorLightnessRamp(Stage& s, std::vector<GradientSegment>& segments) {
  const auto n = static_cast<int32_t>(segments.size());
  const uint32_t m = s.U(4);
  const double h0 = s.D();
  const double s0 = s.D();
  const double q = 0.5 + 0.5 * s.D();
  const double r = (m & 1) ? s.D() : 0;
  for (int32_t j = 0; j < n; ++j) {
    GradientSegment& g = segments[static_cast<size_t>(j)];
    const double v = s.D();
    const double leftL = std::max(0.0, (j * q - 0.5 * v) / n);
    double h = h0;
    if (m & 1) {
      h = h0 + (s.D() - 0.5) * r;
      if (h < 0) h += 1;
      else if (h > 1) h -= 1;
    }
    double sat = s0;
    if (m & 2) sat = std::clamp(s0 + 0.1 * (s.D() - 0.5), 0.0, 1.0);
    HSLToRGB(h, sat, leftL, g.LeftColor[0], g.LeftColor[1], g.LeftColor[2]);
    const double u = s.D();
    const double rightL = std::min(1.0, ((j + 1) * q + 0.5 * u) / n);
    HSLToRGB(h, sat, rightL, g.RightColor[0], g.RightColor[1], g.RightColor[2]);
  }
}

// Random levels, each segment starting where the previous one ended.
void ColorRandomLevels(Stage& s, std::vector<GradientSegment>& segments) {
  uint8_t c[3];
  for (uint8_t& x : c) x = RandomLevel(s.Random);
  for (GradientSegment& g : segments) {
    std::copy(c, c + 3, g.LeftColor);
    for (uint8_t& x : c) x = RandomLevel(s.Random);
    std::copy(c, c + 3, g.RightColor);
  }
}

// One map per texture, and only where the luminance spans half the range.
Outcome GradientMap(Stage& s, int32_t) {
  if (s.FlatAreas || RecipeHolds(s, TypeIdOf<mvGradientMapEffect>())) return Outcome::Refused;
  int32_t lowest, highest;
  LuminanceRange(s.Layer, lowest, highest);
  if (highest - lowest < 128) return Outcome::Refused;
  std::vector<GradientSegment> segments = EvenSegments(static_cast<int32_t>(2 + s.U(11)));
  if (s.U(3) < 2) ColorLightnessRamp(s, segments);
  else ColorRandomLevels(s, segments);
  mvGradient gradient;
  for (const GradientSegment& g : segments)
    if (!gradient.AppendSegment(g)) return Outcome::Failed;
  auto e = std::make_unique<mvGradientMapEffect>();
  e->Gradient = gradient;
  return s.Finish(std::move(e));
}

constexpr FilterRule kFilterRules[] = {
    Cylinder, Swirl,   SineWave, HSLNoise,  HistogramNoise, Watercolor, Edges,  Emboss,      Median,
    Minimum,  Maximum, Spread,   GlassTile, OilPaint,       Wrap,       Mosaic, GradientMap,
};

}  // namespace

std::span<const FilterRule> FilterRules() { return kFilterRules; }

}  // namespace generation

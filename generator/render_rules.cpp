// The render kinds: each paints one layer in the layer's two colours. A kind
// refuses (and another is drawn) when the geometric level keeps patterns out.
#include <algorithm>
#include <iterator>

#include "core/blend.h"
#include "effects/filter/cells.h"
#include "effects/filter/edges.h"
#include "effects/filter/motion_blur.h"
#include "effects/filter/noise.h"
#include "effects/geometric/distortions.h"
#include "effects/render/cloud.h"
#include "effects/render/fill.h"
#include "effects/render/patterns.h"
#include "generator/draws.h"
#include "generator/stage.h"

namespace generation {
namespace {

// Pattern kinds pass only as often as the geometric level allows.
bool PatternAccepted(Stage& s) {
  if (s.Params.GeometricLevel == 0) return false;
  return static_cast<int64_t>(s.U(5)) < s.Params.GeometricLevel;
}

bool BandsAccepted(Stage& s) {
  if (s.Params.GeometricLevel == 0) return false;
  return static_cast<int64_t>(s.U(5)) < 2 * static_cast<int64_t>(s.Params.GeometricLevel);
}

// A fill (always under the bottom layer) with colour noise on it; on
// seamless textures the noise is sometimes smeared by a motion blur.
Outcome FillAndNoise(Stage& s, int32_t layer) {
  if (layer == 0 || s.U(2) == 0) {
    auto fill = std::make_unique<mvFillEffect>();
    fill->Color = s.Color1;
    if (!s.Add(std::move(fill))) return Outcome::Failed;
  }
  // m: which of hue, saturation and value get noise (bits 1, 2, 4).
  uint32_t m = s.U(3) == 0 ? 4 : 1 + s.U(7);
  const bool gaussian = s.U(2) == 0;
  int32_t valueBase = gaussian || m == 4 ? 10 : 5;
  if (layer == 0) {
    m |= 4;
    valueBase = 10;
  }
  const int32_t saturationBase = gaussian || m == 2 ? 10 : 5;
  auto noise = std::make_unique<mvHSVNoiseEffect>();
  noise->Density = 100;
  noise->HueAmount = (m & 1) ? static_cast<int32_t>(10 + s.U(30)) : 0;
  noise->SaturationAmount = (m & 2) ? saturationBase + static_cast<int32_t>(s.U(20)) : 0;
  noise->ValueAmount = (m & 4) ? valueBase + static_cast<int32_t>(s.U(40)) : 0;
  noise->Seed = s.N();
  noise->Gaussian = gaussian;
  noise->AlphaAmount = 0;
  s.FlatAreas = false;
  if (!s.Seamless() || s.U(3) != 0) return s.Finish(std::move(noise));
  if (!s.Add(std::move(noise))) return Outcome::Failed;
  auto blur = std::make_unique<mvMotionBlurEffect>();
  DrawMotionBlurPath(s.Random, *blur);
  blur->Seamless = true;
  return s.Finish(std::move(blur));
}

Outcome Gradient(Stage& s, int32_t) {
  auto e = std::make_unique<mvGradientEffect>();
  e->Color1 = s.Color1;
  e->Color2 = s.Color2;
  // Seamless textures take only the shapes that wrap.
  e->Shape = s.Seamless() ? 3 + s.U(2) : s.U(5);
  s.FlatAreas = false;
  return s.Finish(std::move(e));
}

Outcome Bands(Stage& s, int32_t) {
  if (!BandsAccepted(s)) return Outcome::Refused;
  auto e = std::make_unique<mvGradientPatternEffect>();
  e->Color1 = s.Color1;
  e->Color2 = s.Color2;
  e->Sawtooth = s.U(3) == 2 ? 1 : 0;
  // Seamless bands run across or down; others may also run diagonally.
  e->Direction = s.Seamless() ? s.U(2) : s.U(3);
  DrawBandPeriod(s.Random, s.Width, s.Height, s.Seamless(), kGeneratorBandFallbackSteps, *e);
  s.FlatAreas = false;
  return s.Finish(std::move(e));
}

Outcome Checker(Stage& s, int32_t layer) {
  if (!PatternAccepted(s)) return Outcome::Refused;
  auto e = std::make_unique<mvCheckerEffect>();
  e->Color1 = s.Color1;
  e->Color2 = s.Color2;
  DrawCheckerCells(s.Random, s.Width, s.Height, s.Seamless(), *e);
  // Above the bottom layer its colours are translucent and what lies beneath shows.
  if (layer == 0) s.FlatAreas = true;
  return s.Finish(std::move(e));
}

Outcome Cloud(Stage& s, int32_t) {
  auto e = std::make_unique<mvCloudEffect>();
  e->Color1 = s.Color1;
  e->Color2 = s.Color2;
  e->Seamless = s.Seamless();
  e->Detail = static_cast<int32_t>(s.U(5));
  e->ScaleX = static_cast<int32_t>(10 * (1 + s.U(4)));
  e->ScaleY = static_cast<int32_t>(10 * (1 + s.U(4)));
  e->Seed = s.N();
  s.FlatAreas = false;
  return s.Finish(std::move(e));
}

// A plasma; at the bottom often followed by pixel cells or a kaleidoscope.
Outcome Plasma(Stage& s, int32_t layer) {
  auto plasma = std::make_unique<mvPlasmaEffect>();
  plasma->Seed = s.N();
  plasma->Roughness = static_cast<int32_t>(1 + s.U(50));
  plasma->Grayscale = s.U(4) == 0;
  plasma->Seamless = s.Seamless();
  if (layer > 0) plasma->Opacity = 257 * (64 + s.U(128));
  s.FlatAreas = false;
  if (layer > 0 || s.U(4) == 3) return s.Finish(std::move(plasma));
  if (!s.Add(std::move(plasma))) return Outcome::Failed;
  if (s.Params.FilterLevel != 0 && s.U(3) == 2) {
    auto pixelize = std::make_unique<mvPixelizeEffect>();
    DrawPixelCells(s.Random, s.Width, s.Height, s.Seamless(), *pixelize);
    s.FlatAreas = true;
    return s.Finish(std::move(pixelize));
  }
  auto kaleidoscope = std::make_unique<mvKaleidoscopeEffect>();
  kaleidoscope->Diagonal = s.U(2);
  return s.Finish(std::move(kaleidoscope));
}

// A plasma blended onto what is there (at the bottom, onto a fill).
Outcome BlendedPlasma(Stage& s, int32_t layer) {
  static constexpr uint32_t kModes[8] = {BlendMultiply, BlendDifference, BlendAdd,       BlendSubtract,
                                         BlendScreen,   BlendSoftLight,  BlendHardLight, BlendColorDodge};
  uint8_t base[4] = {0, 0, 0, 255};
  if (layer == 0) {
    auto fill = std::make_unique<mvFillEffect>();
    fill->Color = s.Color1;
    if (!s.Add(std::move(fill))) return Outcome::Failed;
    LayerColorRGBA(s.Color1, base);
  }
  uint32_t mode = kModes[s.U(8)];
  if (layer == 0) {
    const bool dark = base[0] < 80 && base[1] < 80 && base[2] < 80;
    const bool light = base[0] > 224 && base[1] > 224 && base[2] > 224;
    // Modes that would leave a near-black or near-white base unchanged are redrawn.
    auto unsuitable = [&](uint32_t md) {
      return ((md == BlendMultiply || md == BlendSubtract || md == BlendSoftLight || md == BlendColorDodge) && dark) ||
             ((md == BlendAdd || md == BlendScreen || md == BlendSoftLight || md == BlendColorDodge) && light);
    };
    while (unsuitable(mode)) mode = kModes[s.U(8)];
  }
  auto plasma = std::make_unique<mvPlasmaEffect>();
  plasma->BlendMode = mode;
  plasma->Seed = s.N();
  plasma->Roughness = static_cast<int32_t>(1 + s.U(50));
  plasma->Grayscale = s.U(4) <= 2;
  plasma->Seamless = s.Seamless();
  s.FlatAreas = false;
  return s.Finish(std::move(plasma));
}

Outcome Dots(Stage& s, int32_t) {
  if (!PatternAccepted(s)) return Outcome::Refused;
  auto e = std::make_unique<mvDotsEffect>();
  e->Color = s.Color1;
  e->Square = static_cast<int32_t>(s.U(2));
  DrawDotLattice(s.Random, s.Width, s.Seamless(), *e);
  e->Antialias = true;
  return s.Finish(std::move(e));
}

Outcome RandomDots(Stage& s, int32_t) {
  if (!PatternAccepted(s)) return Outcome::Refused;
  auto e = std::make_unique<mvRandomDotsEffect>();
  e->Color = s.Color1;
  e->Square = static_cast<int32_t>(s.U(2));
  e->AlphaVariation = static_cast<int32_t>(10 * s.U(11));
  e->DotSize = static_cast<int32_t>(4 + s.U(20));
  e->SizeVariation = static_cast<int32_t>(10 * s.U(5));
  e->Density = static_cast<int32_t>(50 + s.U(101));
  e->Seed = static_cast<int32_t>(s.N());
  e->Seamless = s.Seamless();
  return s.Finish(std::move(e));
}

Outcome Lines(Stage& s, int32_t) {
  if (!PatternAccepted(s)) return Outcome::Refused;
  auto e = std::make_unique<mvParallelLinesEffect>();
  e->Color = s.Color1;
  e->Vertical = static_cast<int32_t>(s.U(2));
  DrawLineSpacing(s.Random, s.Width, s.Height, s.Seamless(), *e);
  return s.Finish(std::move(e));
}

Outcome Grid(Stage& s, int32_t) {
  if (!PatternAccepted(s)) return Outcome::Refused;
  auto e = std::make_unique<mvGridEffect>();
  e->Color = s.Color1;
  DrawGridCells(s.Random, s.Width, s.Height, s.Seamless(), *e);
  return s.Finish(std::move(e));
}

// The kinds that may start a texture lead the table; the bottom layer draws
// among them only, the layers above among all.
constexpr RenderRule kRenderRules[] = {
    {FillAndNoise, true},  {Gradient, true}, {Bands, true},       {Checker, true}, {Cloud, true}, {Plasma, true},
    {BlendedPlasma, true}, {Dots, false},    {RandomDots, false}, {Lines, false},  {Grid, false},
};

constexpr uint32_t CountStartingKinds() {
  uint32_t n = 0;
  while (n < std::size(kRenderRules) && kRenderRules[n].MayStart) ++n;
  for (size_t k = n; k < std::size(kRenderRules); ++k)
    if (kRenderRules[k].MayStart) return 0;  // a starting kind out of place
  return n;
}
static_assert(CountStartingKinds() > 0, "the kinds that may start a texture must lead the table");

}  // namespace

std::span<const RenderRule> RenderRules() { return kRenderRules; }

uint32_t StartingRenderKinds() { return CountStartingKinds(); }

}  // namespace generation

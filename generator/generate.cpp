// The random texture generator: a render stage of one or more painted layers,
// then a filter stage of filters and distortions. Every draw comes from the
// random source passed in, in a fixed order; the same state, parameters and
// size give the same texture bit for bit, so the order below and in the rule
// tables is part of the contract.
#include <algorithm>

#include "core/color.h"
#include "core/limits.h"
#include "generator/draws.h"
#include "generator/stage.h"

namespace generation {

void LayerColorRGBA(const mvColor& color, uint8_t out[4]) {
  if (!ConvertColor(ColorTypeRGB, color, 8, 4, out)) out[0] = out[1] = out[2] = 0, out[3] = 255;
}

namespace {

// The base colour made lighter or darker by 0.1..0.6 in luma; dark colours
// only get lighter.
mvColor Shifted(Stage& s, const mvColor& base, int32_t layer) {
  uint8_t b[4];
  LayerColorRGBA(base, b);
  double y, cb, cr;
  RGBToYCbCr(b[0], b[1], b[2], y, cb, cr);
  const double t = 0.1 + 0.5 * s.D();
  if (b[0] >= 64 || b[1] >= 64 || b[2] >= 64) {
    if (s.U(2) == 1) y = y - t;
    else y = y + t;
  } else {
    y = y + t;
  }
  uint8_t r, g, bl;
  YCbCrToRGB(y, cb, cr, r, g, bl);
  const uint8_t a = layer == 0 ? 255 : static_cast<uint8_t>(8 * s.U(24));
  return mvColor::RGBA8(r, g, bl, a);
}

// Mostly a new first colour, sometimes the last one shifted; the second
// colour is always a shift of the first.
void DrawLayerColors(Stage& s, int32_t layer) {
  if (s.U(10) < 9) s.Color1 = DrawLayerColor(s.Random, layer == 0);
  else s.Color1 = Shifted(s, s.Color1, layer);
  s.Color2 = Shifted(s, s.Color1, layer);
}

bool RenderStage(Stage& s) {
  const std::span<const RenderRule> rules = RenderRules();
  const int32_t layers = 1 + static_cast<int32_t>(s.U(static_cast<uint32_t>(std::max(s.Params.RenderLevel, 1))));
  for (int32_t i = 0; i < layers;) {
    DrawLayerColors(s, i);
    const uint32_t kind = i == 0 ? s.U(StartingRenderKinds()) : s.U(static_cast<uint32_t>(rules.size()));
    const Outcome o = rules[kind].Paint(s, i);
    if (o == Outcome::Failed) return false;
    if (o == Outcome::Done) ++i;
  }
  return true;
}

bool FilterStage(Stage& s) {
  if (s.Params.FilterLevel < 1) return true;
  const std::span<const FilterRule> rules = FilterRules();
  const auto choices = static_cast<uint32_t>(rules.size());
  int32_t n = static_cast<int32_t>(s.U(static_cast<uint32_t>(s.Params.FilterLevel) + 1));
  // Flat areas look unfinished: they get at least one filter.
  if (n == 0 && s.FlatAreas) n = 1;
  int64_t previous = -1;
  for (int32_t i = 0; i < n;) {
    // Never the same choice twice in a row (a refused one counts).
    uint32_t k = s.U(choices);
    while (k == previous) k = s.U(choices);
    previous = k;
    const Outcome o = rules[k](s, i);
    if (o == Outcome::Failed) return false;
    if (o == Outcome::Done) ++i;
  }
  return true;
}

bool LevelsValid(const GeneratorParametersT& p) {
  return p.RenderLevel >= limits::kMinRenderLevel && p.RenderLevel <= limits::kMaxLevel && p.FilterLevel >= 0 &&
         p.FilterLevel <= limits::kMaxLevel && p.GeometricLevel >= 0 && p.GeometricLevel <= limits::kMaxLevel;
}

}  // namespace
}  // namespace generation

bool GenerateTexture(mvPictureLayer& layer, mvRandom& random, const GeneratorParametersT& params) {
  if (!layer.Pixels || !generation::LevelsValid(params)) return false;
  generation::Stage stage(layer, random, params);
  return generation::RenderStage(stage) && generation::FilterStage(stage);
}

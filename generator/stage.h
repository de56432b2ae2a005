#pragma once
// Inside the generator: what one texture's generation carries from rule to
// rule, and the rule tables of its two stages. Each rule is one render kind
// or filter choice; the stages draw an index into a table and run the rule,
// so the tables' order is part of the draw order.
#include <cstdint>
#include <memory>
#include <span>

#include "effects/layer.h"
#include "generator/generator.h"

namespace generation {

enum class Outcome { Done, Refused, Failed };

template <class E>
uint32_t TypeIdOf() {
  return E::Describe().TypeId;
}

struct Stage {
  Stage(mvPictureLayer& layer, mvRandom& random, const GeneratorParametersT& params)
      : Layer(layer), Random(random), Params(params), Width(layer.Width), Height(layer.Height) {}

  uint32_t U(uint32_t n) { return Random.NextInt(n); }
  uint32_t N() { return Random.Next(); }
  double D() { return Random.NextDouble(); }
  bool Seamless() const { return Params.Seamless; }

  // Appends and applies; false (the effect freed, what came before kept)
  // when that failed, which ends the texture.
  bool Add(std::unique_ptr<mvEffect> effect) {
    if (!effect || !Layer.AddEffect(effect.get(), true)) return false;
    (void)effect.release();  // the recipe owns it now
    return true;
  }
  // Add as a rule's last step.
  Outcome Finish(std::unique_ptr<mvEffect> effect) { return Add(std::move(effect)) ? Outcome::Done : Outcome::Failed; }

  mvPictureLayer& Layer;
  mvRandom& Random;
  const GeneratorParametersT& Params;
  const int32_t Width, Height;
  mvColor Color1, Color2;  // the render layer's colours
  // Areas of one colour may be left (a bottom checker, pixel cells): the
  // filter stage then takes at least one step, and a few filters refuse.
  bool FlatAreas = false;
};

// A layer colour as 8-bit RGBA (opaque black when it cannot be converted).
void LayerColorRGBA(const mvColor& color, uint8_t out[4]);

// A render kind paints one layer; layer 0 is the opaque bottom one, which
// only the kinds that may start a texture paint.
struct RenderRule {
  Outcome (*Paint)(Stage& stage, int32_t layer);
  bool MayStart;
};
std::span<const RenderRule> RenderRules();
// How many kinds may start a texture (they lead the table).
uint32_t StartingRenderKinds();

// A filter choice adds one step of the filter stage (steps count from 0).
using FilterRule = Outcome (*)(Stage& stage, int32_t step);
std::span<const FilterRule> FilterRules();

}  // namespace generation

#pragma once
#include <cstdint>

#include "core/picture.h"
#include "core/random.h"
#include "effects/layer.h"

// What the options panel hands the generator before every batch.
struct GeneratorParametersT {
  int32_t RenderLevel = 3;     // 1..5: up to this many render layers
  int32_t FilterLevel = 2;     // 0..5: up to this many filter steps
  int32_t GeometricLevel = 5;  // 0..5: how likely patterns and distortions are
  bool Seamless = true;
};

// Turns a freshly created RGBA 8-bit layer with an empty recipe into a random
// texture, drawing only from random. False when a level is outside its range
// (nothing drawn) or when adding or applying an effect failed (what was
// applied stays applied and recorded).
bool GenerateTexture(mvPictureLayer& layer, mvRandom& random, const GeneratorParametersT& params);

// Redraws one aspect of one effect of the layer's recipe from random and
// renders the layer again; seamless is the source texture's flag. False,
// changing nothing, for an empty recipe.
bool MakeVariation(mvPictureLayer& layer, mvRandom& random, bool seamless);

// Redraws one aspect of this one effect from random, as a variation of a
// width x height texture does when it picks the effect (first: it is the
// recipe's first effect). False, drawing nothing, for a class the variation
// maker leaves alone (turns, flips, effects the generator never makes).
bool VaryEffect(mvEffect& effect, mvRandom& random, int32_t width, int32_t height, bool seamless, bool first);

// Mean absolute difference of each pixel from its 3 x 3 neighbourhood mean.
uint32_t DetailLevel(const mvPicture& picture);

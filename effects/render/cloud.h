#pragma once
#include "effects/render/fill.h"

// Fractal gradient noise shaded between two colours.
class mvCloudEffect : public mvEffectOf<mvCloudEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
  mvColor Color1 = kRenderWhite;
  mvColor Color2 = kRenderBlack;
  bool Seamless = false;
  bool Turbulence = false;
  int32_t Detail = 4;
  int32_t ScaleX = 20;
  int32_t ScaleY = 20;
  uint32_t Seed = 0;
};

// Plasma by recursive midpoint displacement.
class mvPlasmaEffect : public mvEffectOf<mvPlasmaEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
  uint32_t Seed = 1;
  int32_t Roughness = 10;
  bool Grayscale = false;
  bool Seamless = false;
};

void RegisterCloudEffects(mvEffectRegistry& registry);

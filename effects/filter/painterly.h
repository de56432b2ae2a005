#pragma once
#include "effects/effect.h"

// Painterly filters: the most common brightness of a diamond neighbourhood,
// and darkening by the distance from the neighbourhood's mean.

class mvOilPaintEffect : public mvEffectOf<mvOilPaintEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
  uint32_t Radius = 2;
  bool Seamless = false;
};

class mvWatercolorEffect : public mvEffectOf<mvWatercolorEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
  uint32_t Radius = 3;
  uint32_t Amount = 100;
  bool Seamless = false;
};

void RegisterPainterlyEffects(mvEffectRegistry& registry);

#pragma once
#include "effects/effect.h"

// Recolours a picture through a gradient table by luminance.
class mvGradientMapEffect : public mvEffectOf<mvGradientMapEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
  mvGradient Gradient;
  bool Reverse = false;
};

void RegisterGradientMapEffect(mvEffectRegistry& registry);

#pragma once
#include "effects/effect.h"

// Adds glossy highlights from the relief of the picture's brightness.
class mvWrapEffect : public mvEffectOf<mvWrapEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
  int32_t Relief = 45;
  int32_t Exponent = 5;
  int32_t Smoothness = 1;
  bool Seamless = false;
};

#pragma once
#include "effects/effect.h"

// Smears the picture along a direction with half-gaussian weights.
class mvMotionBlurEffect : public mvEffectOf<mvMotionBlurEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
  uint32_t Distance = 10;
  int32_t Angle = 90;
  uint32_t Sigma = 5;
  bool Seamless = false;
};

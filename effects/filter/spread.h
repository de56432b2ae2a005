#pragma once
#include "effects/effect.h"

// Moves every pixel by a random offset of at most RangeX, RangeY.
class mvSpreadEffect : public mvEffectOf<mvSpreadEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
  uint32_t RangeX = 3;
  uint32_t RangeY = 3;
  uint32_t Seed = 1;
  bool Seamless = false;
};

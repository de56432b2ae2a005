#pragma once
#include "effects/effect.h"

// Replaces every colour sample by its gradient magnitude.
class mvEdgeDetectionEffect : public mvEffectOf<mvEdgeDetectionEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
  uint32_t Operator = 0;  // 0 Sobel, 1 Roberts cross
  uint32_t Amount = 100;
  bool Invert = false;
  bool Seamless = false;
};

// Glowing edges from a smoothed recursive derivative, columns then rows.
class mvNeonEffect : public mvEffectOf<mvNeonEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
  uint32_t Radius = 5;
  uint32_t Amount = 100;
  bool Seamless = false;
};

// Relief around mid-gray from the differences of the samples on either side.
class mvEmbossEffect : public mvEffectOf<mvEmbossEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
  uint32_t Depth = 1;
  uint32_t Amount = 100;
  int32_t Direction = 0;
  bool ColorRelief = false;
  bool Seamless = false;
};

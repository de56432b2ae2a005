#pragma once
#include "effects/effect.h"

// Colour-model noises: each chosen pixel's hue, saturation and value (or
// lightness) and its alpha move by a random term drawn from the effect's
// own generator, restarted from Seed at every run.
class mvHSVNoiseEffect : public mvEffectOf<mvHSVNoiseEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
  uint32_t Density = 100;
  uint32_t Seed = 1;
  int32_t HueAmount = 0;
  int32_t SaturationAmount = 0;
  int32_t ValueAmount = 0;
  int32_t AlphaAmount = 0;
  bool Gaussian = false;
};

class mvHSLNoiseEffect : public mvEffectOf<mvHSLNoiseEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
  uint32_t Density = 100;
  uint32_t Seed = 1;
  int32_t HueAmount = 0;
  int32_t SaturationAmount = 0;
  int32_t LightnessAmount = 0;
  int32_t AlphaAmount = 0;
  bool Gaussian = false;
};

// Gives every brightness level a random offset of its own, so all pixels of
// one level move together.
class mvHistogramNoiseEffect : public mvEffectOf<mvHistogramNoiseEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
  uint32_t Seed = 1;
  int32_t Amount = 20;
};

#pragma once
#include "effects/effect.h"

// Rank filters: each copies the colour of one whole pixel of its square
// window, chosen by luminance.

// Copies the colour of the lower-median pixel (by luminance) of the square window.
class mvMedianEffect : public mvEffectOf<mvMedianEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
  uint32_t Radius = 1;
  bool Seamless = false;
};

// Copies the colour of the darkest pixel of the square window (two 1-D passes).
class mvMinimumEffect : public mvEffectOf<mvMinimumEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
  uint32_t Radius = 1;
  bool Seamless = false;
};

// Copies the colour of the brightest pixel of the square window (two 1-D passes).
class mvMaximumEffect : public mvEffectOf<mvMaximumEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
  uint32_t Radius = 1;
  bool Seamless = false;
};

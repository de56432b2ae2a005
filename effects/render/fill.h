#pragma once
#include "effects/effect.h"
// The gradient map lives in its own file; it is still declared to every
// includer of the fill effects.
#include "effects/render/gradient_map.h"

// Default colours are held as a loaded colour would be (RGB, 16-bit, 4
// channels), so a default effect and its reloaded stream compare equal.
inline const mvColor kRenderWhite = mvColor::RGB8(255, 255, 255);
inline const mvColor kRenderBlack = mvColor::RGB8(0, 0, 0);
inline const mvColor kRenderOpaqueWhite = mvColor::RGBA8(255, 255, 255, 255);
inline const mvColor kRenderOpaqueBlack = mvColor::RGBA8(0, 0, 0, 255);

// Flat fill: Color's alpha is the painting opacity.
class mvFillEffect : public mvEffectOf<mvFillEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
  mvColor Color = kRenderWhite;
  uint32_t PaintMode = 0;
};

// Two-colour gradient: 0 vertical, 1 horizontal, 2 radial, 3 vertical
// mirrored, 4 horizontal mirrored.
class mvGradientEffect : public mvEffectOf<mvGradientEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
  mvColor Color1 = kRenderBlack;
  mvColor Color2 = kRenderWhite;
  uint32_t Shape = 0;
  uint32_t PaintMode = 0;
};

// Repeating gradient bands: 0 down the rows, 1 along the columns, 2 rings.
class mvGradientPatternEffect : public mvEffectOf<mvGradientPatternEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
  mvColor Color1 = kRenderBlack;
  mvColor Color2 = kRenderWhite;
  uint32_t Direction = 0;
  int32_t Period = 10;
  uint32_t Sawtooth = 0;
  uint32_t PaintMode = 0;
};

void RegisterFillEffects(mvEffectRegistry& registry);

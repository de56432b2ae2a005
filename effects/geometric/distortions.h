#pragma once
#include <cstdint>

#include "effects/effect.h"

// The four distortions keep the picture's size and work in place. Cylinder,
// swirl and sine wave map every target pixel back to a real source position
// and interpolate there; indexed pictures have no interpolating sampler and
// are left as they are.

// Bends the columns (Vertical 0) or the rows (Vertical 1) as if the picture
// were wrapped around a half cylinder.
class mvCylinderEffect : public mvEffectOf<mvCylinderEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
  uint32_t Vertical = 0;
};

// Twists the largest centred disc (stretched to an ellipse on oblong
// pictures); the corners outside it keep their pixels.
class mvSwirlEffect : public mvEffectOf<mvSwirlEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
  int32_t Angle = 180;
};

// Shifts rows right and columns down by sine waves; the shifts are never
// negative.
class mvSineWaveEffect : public mvEffectOf<mvSineWaveEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
  int32_t RowAmplitude = 10;
  int32_t RowPeriod = 10;
  int32_t ColumnAmplitude = 10;
  int32_t ColumnPeriod = 10;
  bool Seamless = false;
};

// Averages every pixel with its mirror images: four, or eight with Diagonal.
class mvKaleidoscopeEffect : public mvEffectOf<mvKaleidoscopeEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
  uint32_t Diagonal = 0;
};

// Source position of each of n columns (or rows) under the cylinder: the arc
// length on a half cylinder of diameter n, plus offset. table holds n entries.
void FillCylinderTable(double* table, int32_t n, int32_t offset);

void RegisterDistortionEffects(mvEffectRegistry& registry);

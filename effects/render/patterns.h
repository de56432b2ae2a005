#pragma once
#include "effects/render/fill.h"

// Dots on a regular lattice, optionally staggered, square or round.
class mvDotsEffect : public mvEffectOf<mvDotsEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
  mvColor Color = kRenderOpaqueBlack;
  int32_t Square = 0;
  int32_t DotSize = 5;
  int32_t Gap = 5;
  int32_t OffsetX = 0;
  int32_t OffsetY = 0;
  int32_t Staggered = 0;
  bool Antialias = false;
};

// Dots at random places, reproducible from Seed.
class mvRandomDotsEffect : public mvEffectOf<mvRandomDotsEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
  int32_t Square = 0;
  mvColor Color = kRenderBlack;
  int32_t AlphaVariation = 0;
  int32_t DotSize = 10;
  int32_t SizeVariation = 0;
  int32_t Density = 50;
  int32_t Seed = 0;
  bool Seamless = false;
  bool Spare = false;
};

// Stripes, horizontal or vertical.
class mvParallelLinesEffect : public mvEffectOf<mvParallelLinesEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
  mvColor Color = kRenderBlack;
  int32_t Vertical = 0;
  int32_t LineWidth = 1;
  int32_t Gap = 1;
  int32_t Offset = 0;
};

// Grid lines.
class mvGridEffect : public mvEffectOf<mvGridEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
  mvColor Color = kRenderBlack;
  int32_t LineWidth = 1;
  int32_t CellWidth = 1;
  int32_t CellHeight = 1;
  int32_t OffsetX = 0;
  int32_t OffsetY = 0;
};

// Checkerboard of two colours.
class mvCheckerEffect : public mvEffectOf<mvCheckerEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
  mvColor Color1 = kRenderOpaqueBlack;
  mvColor Color2 = kRenderOpaqueWhite;
  int32_t CellWidth = 10;
  int32_t CellHeight = 10;
};

void RegisterPatternEffects(mvEffectRegistry& registry);

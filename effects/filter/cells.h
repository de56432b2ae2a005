#pragma once
#include "effects/effect.h"

// Neighbourhood and cell filters: rank filters that copy a whole pixel chosen
// by its luminance, random spreading, block and cell averaging, glass tiles
// and glossy wrapping.

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

// Averages rectangular blocks.
class mvPixelizeEffect : public mvEffectOf<mvPixelizeEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
  uint32_t CellWidth = 10;
  uint32_t CellHeight = 10;
};

// Paints irregular cells around a jittered grid of points.
class mvMosaicEffect : public mvEffectOf<mvMosaicEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
  uint32_t Stagger = 0;
  uint32_t ColorMode = 0;
  uint32_t CellWidth = 10;
  uint32_t CellHeight = 10;
  uint32_t Jitter = 50;
  uint32_t Seed = 0;
  bool Seamless = false;
};

// Shows a half-scale view of the surroundings in every tile.
class mvGlassTileEffect : public mvEffectOf<mvGlassTileEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
  uint32_t TileWidth = 20;
  uint32_t TileHeight = 20;
  bool Seamless = false;
};

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

void RegisterCellEffects(mvEffectRegistry& registry);

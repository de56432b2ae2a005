#pragma once
#include "effects/effect.h"
#include "effects/filter/rank.h"
#include "effects/filter/spread.h"
#include "effects/filter/wrap.h"

// The neighbourhood and cell family: the rank filters, spread and wrap (in
// their own files), and here block and cell averaging and glass tiles.

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

void RegisterCellEffects(mvEffectRegistry& registry);

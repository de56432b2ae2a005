#pragma once
#include "effects/effect.h"

// One registration function per filter family.
void RegisterNoiseEffects(mvEffectRegistry& registry);      // noise.cpp
void RegisterEdgeEffects(mvEffectRegistry& registry);       // edges.cpp: motion blur, edges, relief
void RegisterCellEffects(mvEffectRegistry& registry);       // cells.cpp: rank filters, spread, cells and wrap
void RegisterPainterlyEffects(mvEffectRegistry& registry);  // painterly.cpp

#include "effects/filter/families.h"

void RegisterEdgeEffects(mvEffectRegistry& registry) { (void)registry; }

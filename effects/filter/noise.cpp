#include "effects/filter/families.h"

void RegisterNoiseEffects(mvEffectRegistry& registry) { (void)registry; }

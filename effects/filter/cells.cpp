#include "effects/filter/families.h"

void RegisterCellEffects(mvEffectRegistry& registry) { (void)registry; }

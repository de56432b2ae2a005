#include "effects/filter/families.h"

void RegisterPainterlyEffects(mvEffectRegistry& registry) { (void)registry; }

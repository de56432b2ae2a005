#include "effects/effect.h"

void RegisterRenderEffects(mvEffectRegistry& registry) { (void)registry; }

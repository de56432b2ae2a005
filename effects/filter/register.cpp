#include "effects/effect.h"

void RegisterFilterEffects(mvEffectRegistry& registry) {
  (void)registry;
}

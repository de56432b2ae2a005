#include "effects/effect.h"
#include "effects/filter/families.h"

void RegisterFilterEffects(mvEffectRegistry& registry) {
  RegisterNoiseEffects(registry);
  RegisterEdgeEffects(registry);
  RegisterCellEffects(registry);
  RegisterPainterlyEffects(registry);
}

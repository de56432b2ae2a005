#include "effects/effect.h"
#include "effects/geometric/distortions.h"
#include "effects/geometric/turns.h"

void RegisterGeometricEffects(mvEffectRegistry& registry) {
  RegisterTurnEffects(registry);
  RegisterDistortionEffects(registry);
}

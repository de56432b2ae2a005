#include "effects/effect.h"
#include "effects/render/cloud.h"
#include "effects/render/fill.h"
#include "effects/render/patterns.h"

void RegisterRenderEffects(mvEffectRegistry& registry) {
  RegisterFillEffects(registry);
  RegisterPatternEffects(registry);
  RegisterCloudEffects(registry);
}

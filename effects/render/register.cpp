#include "effects/effect.h"
#include "effects/render/cloud.h"
#include "effects/render/fill.h"
#include "effects/render/gradient_map.h"
#include "effects/render/patterns.h"

void RegisterRenderEffects(mvEffectRegistry& registry) {
  RegisterFillEffects(registry);
  RegisterGradientMapEffect(registry);
  RegisterPatternEffects(registry);
  RegisterCloudEffects(registry);
}

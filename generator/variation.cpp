#include "generator/generator.h"

bool MakeVariation(mvPictureLayer& layer) {
  if (layer.Effects.Count() < 1) return false;
  layer.Render();
  return true;
}

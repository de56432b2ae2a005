#include "generator/generator.h"

bool GenerateTexture(mvPictureLayer& layer) {
  (void)layer;
  return true;
}

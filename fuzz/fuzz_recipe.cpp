// Recipe and effect files on any text: read, and when they read, render
// small and write back out.
#include <cstdint>
#include <memory>
#include <string>

#include "recipe/recipe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string error;
  Recipe recipe;
  if (ReadRecipeText(text, "fuzz", recipe, error)) {
    (void)RecipeToJson(recipe).dump();
    // Rendered at a small size: the recipe's own size is the size check's job.
    mvPictureLayer layer;
    RenderRecipe(recipe, layer, 12, 12);
  }
  std::unique_ptr<mvEffect> effect;
  if (ReadEffectText(text, "fuzz", effect, error)) (void)EffectToJson(*effect).dump();
  return 0;
}

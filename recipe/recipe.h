#pragma once
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "effects/effect.h"
#include "effects/fields.h"
#include "effects/layer.h"

// JSON recipe files: a texture's size, seamless flag and effect chain, every
// field of every effect written out, so the texture can be reproduced exactly.
struct Recipe {
  int32_t Width = 0;
  int32_t Height = 0;
  bool Seamless = false;
  // The seed a texture of a per-texture-seeded batch was made from (optional
  // key "seed"): generating one texture from it gives this recipe again.
  std::optional<uint32_t> Seed;
  std::vector<std::unique_ptr<mvEffect>> Effects;
};

nlohmann::json EffectToJson(const mvEffect& effect);
// Reads one effect entry; on failure answers null and an error naming the
// effect index and the field.
std::unique_ptr<mvEffect> EffectFromJson(const nlohmann::json& entry, int index, std::string& error);

nlohmann::json RecipeToJson(const Recipe& recipe);
nlohmann::json RecipeToJson(const mvPictureLayer& layer, bool seamless, std::optional<uint32_t> seed = std::nullopt);
bool RecipeFromJson(const nlohmann::json& doc, Recipe& out, std::string& error);
// An effect file's contents: one effect entry, or a recipe holding exactly one effect.
bool EffectFromDocument(const nlohmann::json& doc, std::unique_ptr<mvEffect>& out, std::string& error);

// Files. Reading accepts a whole recipe or (ReadEffectFile) one effect entry.
bool ReadRecipeFile(const std::string& path, Recipe& out, std::string& error);
bool ReadEffectFile(const std::string& path, std::unique_ptr<mvEffect>& out, std::string& error);
// The same from text already in memory; name stands for the file in messages.
bool ReadRecipeText(const std::string& text, const std::string& name, Recipe& out, std::string& error);
bool ReadEffectText(const std::string& text, const std::string& name, std::unique_ptr<mvEffect>& out,
                    std::string& error);
// Written atomically: the old file stays intact when writing fails.
bool WriteJsonFile(const std::string& path, const nlohmann::json& doc, std::string& error);

// Builds a layer of the recipe's size (RGB 8-bit, 4 channels) holding clones
// of its effects, rendered. False when the picture cannot be made.
bool RenderRecipe(const Recipe& recipe, mvPictureLayer& layer, int32_t width = 0, int32_t height = 0);

// Field values as JSON and text (FieldToJson, SetFieldFromText, FieldValueText,
// FieldTypeName, FieldRuleText) come with the field types.

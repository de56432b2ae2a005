#pragma once
// What the recipe editor knows about effects without any window: recipes as
// unchanging chains of effects that edits copy, the names it shows, and the
// editor each field gets, all read from the effect classes' field tables.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "effects/effect.h"
#include "effects/layer.h"

// A recipe's effects in order. Once shared it never changes: an edit makes a
// new chain, so the worker may render one while the window shows another.
using EffectChain = std::vector<std::unique_ptr<mvEffect>>;
using SharedChain = std::shared_ptr<const EffectChain>;

// Clones of the texture's effects; null when memory runs out.
std::shared_ptr<EffectChain> ChainOf(const mvPictureLayer& texture);
std::shared_ptr<EffectChain> CopyChain(const EffectChain& chain);
// The recipe file of a texture of that size and flag made by the chain.
nlohmann::json ChainToJson(const EffectChain& chain, int32_t width, int32_t height, bool seamless);
// A new texture of the source's size and format made by the chain, not yet
// rendered (the source's background picture is kept); null when out of memory.
std::unique_ptr<mvPictureLayer> TextureOfChain(const mvPictureLayer& source, const EffectChain& chain);

// "Cloud", "HSV noise", "Rotate right": the class name without its frame.
std::string EffectDisplayName(const mvEffectClass& c);
// The 18 blend modes by number ("Normal", "Multiply", ...); "?" beyond them.
const char* BlendModeName(uint32_t mode);

// How a field is edited, from its declaration alone.
enum class FieldEditorKind { Number, Choice, BlendMode, Check, Real, Colour, Gradient };
struct FieldChoice {
  int64_t Value;
  std::string Name;
};
struct FieldEditorSpec {
  FieldEditorKind Kind = FieldEditorKind::Number;
  int64_t Minimum = 0, Maximum = 0;  // integers: the values a recipe file may hold
  bool Slider = false;               // a declared range small enough to slide through
  std::vector<FieldChoice> Choices;  // Choice: the values the help text names
};
// Integers get spin boxes over the range a recipe file accepts (a slider too
// when the field declares a range); a declared range whose help text names
// each value ("0 Sobel, 1 Roberts cross"), or help text naming 0, 1, 2...
// for a field without a range, makes a choice; a 0..17 field about a blend
// mode lists the blend modes.
FieldEditorSpec EditorSpecOf(const FieldInfo& field);

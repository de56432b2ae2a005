#include "app/forms/effect_editing.h"

#include <cctype>
#include <charconv>
#include <limits>
#include <new>

#include "core/blend.h"
#include "recipe/recipe.h"

std::shared_ptr<EffectChain> CopyChain(const EffectChain& chain) {
  auto copy = std::make_shared<EffectChain>();
  copy->reserve(chain.size());
  for (const auto& e : chain) {
    std::unique_ptr<mvEffect> clone(e->Clone());
    if (!clone) return nullptr;
    copy->push_back(std::move(clone));
  }
  return copy;
}

std::shared_ptr<EffectChain> ChainOf(const mvPictureLayer& texture) {
  auto chain = std::make_shared<EffectChain>();
  for (int32_t i = 0; i < texture.Effects.Count(); ++i) {
    std::unique_ptr<mvEffect> clone(texture.Effects[i]->Clone());
    if (!clone) return nullptr;
    chain->push_back(std::move(clone));
  }
  return chain;
}

nlohmann::json ChainToJson(const EffectChain& chain, int32_t width, int32_t height, bool seamless) {
  Recipe recipe;
  recipe.Width = width;
  recipe.Height = height;
  recipe.Seamless = seamless;
  nlohmann::json doc = RecipeToJson(recipe);
  for (const auto& e : chain) doc["effects"].push_back(EffectToJson(*e));
  return doc;
}

std::unique_ptr<mvPictureLayer> TextureOfChain(const mvPictureLayer& source, const EffectChain& chain) {
  std::unique_ptr<mvPictureLayer> t(new (std::nothrow) mvPictureLayer);
  if (!t || !t->Create(source.BaseWidth, source.BaseHeight, source.ColorType, source.BitDepth, source.Channels))
    return nullptr;
  if (source.Source) {
    t->Source.reset(new (std::nothrow) mvPicture(*source.Source));
    if (!t->Source || !t->Source->Pixels) return nullptr;
  }
  for (const auto& e : chain) {
    mvEffect* clone = e->Clone();
    if (!clone || !t->AddEffect(clone, false)) {
      delete clone;
      return nullptr;
    }
  }
  return t;
}

std::string EffectDisplayName(const mvEffectClass& c) {
  std::string name = c.Name;
  if (name.rfind("mv", 0) == 0) name.erase(0, 2);
  if (name.size() > 6 && name.compare(name.size() - 6, 6, "Effect") == 0) name.erase(name.size() - 6);
  // Words start at a capital after a small letter, or at the last capital of
  // a run followed by a small letter ("HSVNoise" is "HSV" "Noise"); words
  // other than abbreviations are written small after the first.
  std::vector<std::string> words;
  for (size_t i = 0; i < name.size(); ++i) {
    const bool upper = std::isupper(static_cast<unsigned char>(name[i])) != 0;
    const bool afterLower = i > 0 && std::islower(static_cast<unsigned char>(name[i - 1]));
    const bool endsRun = i > 0 && std::isupper(static_cast<unsigned char>(name[i - 1])) && i + 1 < name.size() &&
                         std::islower(static_cast<unsigned char>(name[i + 1]));
    if (words.empty() || (upper && (afterLower || endsRun))) words.emplace_back();
    words.back() += name[i];
  }
  std::string out;
  for (size_t w = 0; w < words.size(); ++w) {
    std::string word = words[w];
    bool abbreviation = word.size() > 1;
    for (char ch : word) abbreviation = abbreviation && std::isupper(static_cast<unsigned char>(ch));
    if (w > 0 && !abbreviation) word[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(word[0])));
    out += (w ? " " : "") + word;
  }
  return out;
}

const char* BlendModeName(uint32_t mode) {
  static const char* const kNames[] = {"Normal",     "Multiply",       "Divide",       "Difference",  "Add",
                                       "Subtract",   "Darken",         "Lighten",      "Screen",      "Soft light",
                                       "Hard light", "Screen product", "Colour dodge", "Colour burn", "Colour",
                                       "Hue",        "Saturation",     "Value"};
  static_assert(sizeof(kNames) / sizeof(kNames[0]) == BlendModeCount);
  return mode < BlendModeCount ? kNames[mode] : "?";
}

namespace {

// "0 vertical, 1 horizontal, 2 radial": each part a number and its name,
// the numbers counting up from first; empty when the text is anything else.
std::vector<FieldChoice> ChoicesInHelp(const std::string& help, int64_t first) {
  std::vector<FieldChoice> choices;
  size_t start = 0;
  while (start < help.size()) {
    size_t end = help.find(", ", start);
    if (end == std::string::npos) end = help.size();
    const std::string part = help.substr(start, end - start);
    int64_t value = 0;
    auto [at, ec] = std::from_chars(part.data(), part.data() + part.size(), value);
    if (ec != std::errc() || at == part.data() + part.size() || *at != ' ' || at + 1 == part.data() + part.size() ||
        value != first + static_cast<int64_t>(choices.size()))
      return {};
    choices.push_back({value, std::string(at + 1, part.data() + part.size())});
    start = end + 2;
  }
  if (choices.size() < 2) return {};
  return choices;
}

}  // namespace

FieldEditorSpec EditorSpecOf(const FieldInfo& f) {
  FieldEditorSpec spec;
  switch (f.Type) {
    case FieldType::Bool: spec.Kind = FieldEditorKind::Check; return spec;
    case FieldType::Double: spec.Kind = FieldEditorKind::Real; return spec;
    case FieldType::Color: spec.Kind = FieldEditorKind::Colour; return spec;
    case FieldType::Gradient: spec.Kind = FieldEditorKind::Gradient; return spec;
    case FieldType::Int:
    case FieldType::UInt: break;
  }
  // The values a recipe file may hold for the field, no more and no less.
  if (f.HasRange) {
    spec.Minimum = f.Lo;
    spec.Maximum = f.Hi;
  } else if (f.Type == FieldType::Int) {
    spec.Minimum = std::numeric_limits<int32_t>::min();
    spec.Maximum = std::numeric_limits<int32_t>::max();
  } else {
    spec.Maximum = std::numeric_limits<uint32_t>::max();
  }
  if (f.HasRange && f.Lo == 0 && f.Hi == BlendModeCount - 1 && f.HelpText.find("blend mode") != std::string::npos) {
    spec.Kind = FieldEditorKind::BlendMode;
    for (uint32_t m = 0; m < BlendModeCount; ++m) spec.Choices.push_back({m, BlendModeName(m)});
    return spec;
  }
  std::vector<FieldChoice> named = ChoicesInHelp(f.HelpText, f.HasRange ? f.Lo : 0);
  if (!named.empty() && (!f.HasRange || static_cast<int64_t>(named.size()) == f.Hi - f.Lo + 1)) {
    spec.Kind = FieldEditorKind::Choice;
    spec.Choices = std::move(named);
    return spec;
  }
  spec.Kind = FieldEditorKind::Number;
  spec.Slider = f.HasRange && f.Hi - f.Lo <= 100000;
  return spec;
}

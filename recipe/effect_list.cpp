#include "recipe/effect_list.h"

#include <memory>

#include "recipe/recipe.h"

nlohmann::json EffectClassJson(const mvEffectClass& c) {
  std::unique_ptr<mvEffect> def(c.Create());
  nlohmann::json fields = nlohmann::json::array();
  for (const FieldInfo& f : c.Fields) {
    nlohmann::json j{{"name", f.Name}, {"type", FieldTypeName(f.Type)}};
    j["default"] = FieldToJson(*def, f);
    if (f.HasRange) j["range"] = {f.Lo, f.Hi};
    std::string rule = FieldRuleText(f);
    if (!rule.empty()) j["rule"] = rule;
    if (!f.HelpText.empty()) j["help"] = f.HelpText;
    fields.push_back(j);
  }
  return {{"type", c.TypeId}, {"name", c.Name}, {"transform", def->IsTransform()}, {"fields", fields}};
}

nlohmann::json EffectListJson() {
  nlohmann::json all = nlohmann::json::array();
  for (const mvEffectClass* c : RegisteredEffects()) all.push_back(EffectClassJson(*c));
  return all;
}

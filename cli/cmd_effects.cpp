// `orvelle-cli effects`: every built effect with its fields, as text or JSON.
#include <iostream>
#include <memory>

#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "effects/effect.h"
#include "recipe/recipe.h"

namespace {

nlohmann::json Describe(const mvEffectClass& c) {
  std::unique_ptr<mvEffect> def(c.Create());
  nlohmann::json fields = nlohmann::json::array();
  for (const FieldInfo& f : c.Fields) {
    nlohmann::json j{{"name", f.Name}, {"type", FieldTypeName(f.Type)}};
    j["default"] = FieldToJson(*def, f);
    if (f.HasRange) j["range"] = {f.Lo, f.Hi};
    std::string rule = FieldRuleText(f);
    if (!rule.empty()) j["rule"] = rule;
    if (!f.Help.empty()) j["help"] = f.Help;
    fields.push_back(j);
  }
  return {{"type", c.TypeId}, {"name", c.Name}, {"transform", def->IsTransform()}, {"fields", fields}};
}

}  // namespace

void AddEffectsCommand(CLI::App& app, int& result) {
  auto* cmd = app.add_subcommand("effects", "List every effect with its id, class name and fields");
  auto json = std::make_shared<bool>(false);
  cmd->add_flag("--json", *json, "Print the list as JSON");
  cmd->callback([json, &result] {
    if (*json) {
      nlohmann::json all = nlohmann::json::array();
      for (const mvEffectClass* c : RegisteredEffects()) all.push_back(Describe(*c));
      std::cout << all.dump(2) << "\n";
      result = kExitOk;
      return;
    }
    for (const mvEffectClass* c : RegisteredEffects()) {
      std::unique_ptr<mvEffect> def(c->Create());
      std::cout << c->TypeId << "  " << c->Name << (def->IsTransform() ? "  (changes the size)" : "") << "\n";
      if (c->Fields.empty()) std::cout << "      (no parameters)\n";
      for (const FieldInfo& f : c->Fields) {
        std::cout << "      " << f.Name << " : " << FieldTypeName(f.Type) << " = " << FieldValueText(*def, f);
        std::string rule = FieldRuleText(f);
        if (!rule.empty()) std::cout << "  [" << rule << "]";
        if (!f.Help.empty()) std::cout << "  " << f.Help;
        std::cout << "\n";
      }
    }
    result = kExitOk;
  });
}

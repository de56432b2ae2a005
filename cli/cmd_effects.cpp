// `orvelle-cli effects`: every built effect with its fields, as text or JSON.
#include <iostream>
#include <memory>

#include "cli/commands.h"
#include "effects/effect.h"
#include "recipe/effect_list.h"
#include "recipe/recipe.h"

void AddEffectsCommand(CLI::App& app, int& result) {
  auto* cmd = app.add_subcommand("effects", "List every effect with its id, class name and fields");
  auto json = std::make_shared<bool>(false);
  cmd->add_flag("--json", *json, "Print the list as JSON");
  cmd->callback([json, &result] {
    if (*json) {
      std::cout << EffectListJson().dump(2) << "\n";
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
        if (!f.HelpText.empty()) std::cout << "  " << f.HelpText;
        std::cout << "\n";
      }
    }
    result = kExitOk;
  });
}

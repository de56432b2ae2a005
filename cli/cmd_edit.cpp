// `orvelle-cli edit`: the desktop program's recipe editor for scripts. The
// changes are applied in the order they are given, each checked as a recipe
// file's value is, and the result is read back as a recipe before it is
// written, so that edit never writes a file the readers would refuse.
#include <cerrno>
#include <charconv>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/io.h"
#include "core/atomic_file.h"
#include "core/limits.h"
#include "recipe/recipe.h"

namespace {

enum class EditKind { Set, Add, Remove, Move, Opacity, BlendMode, Disable, Enable };

// One change as given: the option's name (for messages) and its value.
struct EditStep {
  EditKind Kind;
  std::string Option;
  std::string Value;
};

struct EditOptions {
  std::string Recipe, Out, Image;
  std::vector<EditStep> Steps;
  bool KeepAlpha = false;
  int Quality = 90;
};

// A whole decimal number within [lo, hi].
bool ParseNumber(std::string_view text, int64_t lo, int64_t hi, int64_t& value) {
  const char* end = text.data() + text.size();
  auto [at, ec] = std::from_chars(text.data(), end, value);
  return !text.empty() && ec == std::errc() && at == end && value >= lo && value <= hi;
}

class Editor {
public:
  explicit Editor(Recipe& recipe) : recipe_(recipe) {}

  // Applies one step; false with the message (and whether it is a usage error).
  bool Apply(const EditStep& step) {
    const std::string& v = step.Value;
    switch (step.Kind) {
      case EditKind::Set: {
        const size_t dot = v.find('.'), eq = v.find('=');
        if (dot == std::string::npos || eq == std::string::npos || eq < dot)
          return Usage(step, "give INDEX.FIELD=VALUE, e.g. 0.Detail=3");
        mvEffect* e = At(step, std::string_view(v).substr(0, dot));
        if (!e) return false;
        const std::string field = v.substr(dot + 1, eq - dot - 1);
        const FieldInfo* f = e->Class().Find(field);
        if (!f)
          return Usage(step, e->Class().Name + " has no field \"" + field + "\" (orvelle-cli effects lists them)");
        // Set on a copy, so that a refused value leaves nothing half done.
        std::unique_ptr<mvEffect> changed(e->Clone());
        std::string error;
        if (!changed) return Failure(step, "not enough memory");
        if (!SetFieldFromText(*changed, *f, std::string_view(v).substr(eq + 1), error)) return Usage(step, error);
        if (const auto& check = changed->Class().Validate) {
          error = check(*changed);
          if (!error.empty()) return Usage(step, error);
        }
        recipe_.Effects[static_cast<size_t>(index_)] = std::move(changed);
        return true;
      }
      case EditKind::Add: {
        const size_t at = v.rfind('@');
        const std::string type = v.substr(0, at);
        int64_t index = Count();
        if (at != std::string::npos && !ParseNumber(std::string_view(v).substr(at + 1), 0, Count(), index))
          return Usage(step, "the place must be 0.." + std::to_string(Count()) + " (TYPE@INDEX)");
        const mvEffectClass* c = FindEffectClass(type);
        if (!c) return Usage(step, "unknown effect \"" + type + "\" (orvelle-cli effects lists them)");
        if (Count() >= limits::kMaxEffectsPerRecipe)
          return Failure(step,
                         "a recipe may hold at most " + std::to_string(limits::kMaxEffectsPerRecipe) + " effects");
        std::unique_ptr<mvEffect> e(c->Create ? c->Create() : nullptr);
        if (!e) return Failure(step, "not enough memory");
        recipe_.Effects.insert(recipe_.Effects.begin() + index, std::move(e));
        return true;
      }
      case EditKind::Remove:
        if (!At(step, v)) return false;
        recipe_.Effects.erase(recipe_.Effects.begin() + index_);
        return true;
      case EditKind::Move: {
        const size_t colon = v.find(':');
        if (colon == std::string::npos) return Usage(step, "give FROM:TO, e.g. 3:0");
        if (!At(step, std::string_view(v).substr(0, colon))) return false;
        const int64_t from = index_;
        if (!At(step, std::string_view(v).substr(colon + 1))) return false;
        std::unique_ptr<mvEffect> moved = std::move(recipe_.Effects[static_cast<size_t>(from)]);
        recipe_.Effects.erase(recipe_.Effects.begin() + from);
        recipe_.Effects.insert(recipe_.Effects.begin() + index_, std::move(moved));
        return true;
      }
      case EditKind::Opacity:
      case EditKind::BlendMode: {
        const bool opacity = step.Kind == EditKind::Opacity;
        const size_t eq = v.find('=');
        if (eq == std::string::npos)
          return Usage(step, opacity ? "give INDEX=OPACITY, e.g. 1=32768" : "give INDEX=MODE, e.g. 1=9");
        mvEffect* e = At(step, std::string_view(v).substr(0, eq));
        if (!e) return false;
        int64_t n;
        if (!ParseNumber(std::string_view(v).substr(eq + 1), 0, opacity ? 65535 : 17, n))
          return Usage(step, opacity ? "the opacity must be 0..65535" : "the blend mode must be 0..17");
        (opacity ? e->Opacity : e->BlendMode) = static_cast<uint32_t>(n);
        return true;
      }
      case EditKind::Disable:
      case EditKind::Enable: {
        mvEffect* e = At(step, v);
        if (!e) return false;
        e->Enabled = step.Kind == EditKind::Enable;
        return true;
      }
    }
    return false;
  }

  std::string Message;
  bool UsageError = false;

private:
  int64_t Count() const { return static_cast<int64_t>(recipe_.Effects.size()); }

  // The effect at a typed index, which is kept in index_.
  mvEffect* At(const EditStep& step, std::string_view text) {
    if (!ParseNumber(text, 0, Count() - 1, index_)) {
      if (Count() == 0) Usage(step, "the recipe has no effects");
      else
        Usage(step, "\"" + std::string(text) + "\" is no effect index; this recipe's effects are 0.." +
                        std::to_string(Count() - 1));
      return nullptr;
    }
    return recipe_.Effects[static_cast<size_t>(index_)].get();
  }
  bool Usage(const EditStep& step, const std::string& why) {
    Message = step.Option + " " + step.Value + ": " + why;
    UsageError = true;
    return false;
  }
  bool Failure(const EditStep& step, const std::string& why) {
    Message = step.Option + " " + step.Value + ": " + why;
    UsageError = false;
    return false;
  }

  Recipe& recipe_;
  int64_t index_ = 0;
};

int RunEdit(const EditOptions& o) {
  Recipe recipe;
  std::string error;
  if (!ReadRecipeFile(o.Recipe, recipe, error)) {
    std::cerr << "orvelle-cli edit: " << error << "\n";
    return kExitFailure;
  }
  Editor editor(recipe);
  for (const EditStep& step : o.Steps) {
    if (!editor.Apply(step)) {
      std::cerr << "orvelle-cli edit: " << editor.Message << "\n";
      return editor.UsageError ? kExitUsage : kExitFailure;
    }
  }
  // The seed made the recipe as it was, not as it is now.
  if (!o.Steps.empty()) recipe.Seed.reset();
  const nlohmann::json doc = RecipeToJson(recipe);
  Recipe check;
  if (!RecipeFromJson(doc, check, error)) {
    std::cerr << "orvelle-cli edit: the edited recipe would not read back: " << error << "\n";
    return kExitFailure;
  }
  // The recipe and its picture are written both or neither.
  mvStagedFile recipeFile, imageFile;
  bool ok = true;
  if (!o.Image.empty()) {
    mvPictureLayer layer;
    if (!RenderRecipe(check, layer)) {
      std::cerr << "orvelle-cli edit: Not enough memory.\n";
      return kExitFailure;
    }
    const std::string embedded = doc.dump();
    ok = StagePictureFile(o.Image, layer, !o.KeepAlpha, o.Quality, imageFile, error, &embedded);
  }
  errno = 0;
  if (ok && !StageFileContent(recipeFile, o.Out, doc.dump(2) + "\n")) {
    error = "cannot write " + o.Out + (errno ? std::string(": ") + std::strerror(errno) : std::string());
    ok = false;
  }
  if (ok)
    ok = o.Image.empty() ? CommitTogether({&recipeFile}, error) : CommitTogether({&imageFile, &recipeFile}, error);
  if (!ok) {
    std::cerr << "orvelle-cli edit: " << error << "\n";
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace

void AddEditCommand(CLI::App& app, int& result) {
  auto o = std::make_shared<EditOptions>();
  auto* cmd = app.add_subcommand("edit", "Change a recipe's effects: fields, order, opacity, blend mode, on or off");
  cmd->footer(
      "Changes are applied in the order given. Effects are counted from 0, as in the recipe's \"effects\" list;\n"
      "after --add, --remove and --move later changes see the new order. Values are checked as recipe files are.\n"
      "Examples:\n"
      "  orvelle-cli edit in.recipe.json out.recipe.json --set 0.Detail=2 --set 1.Color=#ff8000\n"
      "  orvelle-cli edit in.recipe.json out.recipe.json --add emboss@1 --blend-mode 1=9 --opacity 1=32768\n"
      "  orvelle-cli edit in.recipe.json out.recipe.json --disable 2 --move 3:0 --image out.png");
  cmd->add_option("RECIPE", o->Recipe, "Recipe file to read")->required();
  cmd->add_option("OUT", o->Out, "Recipe file to write (may be RECIPE itself)")->required();
  // Each occurrence is kept as it is parsed, so the changes keep their order.
  const auto step = [cmd, o](const char* name, EditKind kind, const char* valueName, const char* help) {
    cmd->add_option_function<std::string>(
           name,
           [o, kind, name](const std::string& value) {
             o->Steps.push_back({kind, name, value});
           },
           help)
        ->type_name(valueName)
        ->trigger_on_parse();
  };
  step("--set", EditKind::Set, "INDEX.FIELD=VALUE", "Set a field (colours: #rrggbb[aa] or r,g,b[,a]); repeatable");
  step("--add", EditKind::Add, "TYPE[@INDEX]",
       "Insert a default effect (class name, short name or id) at INDEX, else at the end");
  step("--remove", EditKind::Remove, "INDEX", "Take an effect out");
  step("--move", EditKind::Move, "FROM:TO", "Move an effect so that it stands at TO");
  step("--opacity", EditKind::Opacity, "INDEX=V", "Opacity of an effect's result, 0..65535");
  step("--blend-mode", EditKind::BlendMode, "INDEX=M", "Blend mode of an effect's result, 0..17");
  step("--disable", EditKind::Disable, "INDEX", "Keep an effect in the recipe but do not apply it");
  step("--enable", EditKind::Enable, "INDEX", "Apply a disabled effect again");
  cmd->add_option("--image", o->Image, "Also write the edited texture's picture (.png, .jpg, .bmp)");
  cmd->add_flag("--keep-alpha", o->KeepAlpha, "Write the picture as it is instead of flattened onto white");
  cmd->add_option("--quality", o->Quality, "JPEG quality")->check(CLI::Range(0, 100))->capture_default_str();
  cmd->callback([o, &result] { result = RunEdit(*o); });
}

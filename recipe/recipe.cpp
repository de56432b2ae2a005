#include "recipe/recipe.h"

#include "codecs/png.h"
#include "core/atomic_file.h"
#include "core/limits.h"
#include "effects/json_input.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <sstream>

using nlohmann::json;

namespace {

constexpr const char* kFormatTag = "orvelle-recipe";
constexpr int kVersion = 1;
// Recipes are small; anything larger is not a recipe and is refused before parsing.
constexpr size_t kMaxFileBytes = 64u << 20;

std::string Where(int index) { return index < 0 ? std::string("effect") : "effect " + std::to_string(index); }

bool ReadTextFile(const std::string& path, std::string& text, std::string& error) {
  errno = 0;
  if (ReadWholeFile(path, text, kMaxFileBytes)) return true;
  if (errno == EINVAL) error = path + ": not a regular file";
  else if (errno == EFBIG)
    error = path + ": too large for a recipe (at most " + std::to_string(kMaxFileBytes >> 20) + " MB)";
  else error = "cannot read " + path + (errno ? std::string(": ") + std::strerror(errno) : std::string());
  return false;
}

bool ParseJson(const std::string& path, const std::string& text, json& doc, std::string& error) {
  if (NestingTooDeep(text)) {
    error = path + ": not a recipe file (nested too deeply)";
    return false;
  }
  std::string why;
  if (!ParseJsonText(text, doc, why)) {
    error = path + ": " + why;
    return false;
  }
  return true;
}

}  // namespace

json EffectToJson(const mvEffect& effect) {
  const mvEffectClass& c = effect.Class();
  json params = json::object();
  for (const FieldInfo& f : c.Fields) params[f.Name] = FieldToJson(effect, f);
  json entry{{"type", c.TypeId},
             {"name", c.Name},
             {"opacity", effect.Opacity},
             {"blend_mode", effect.BlendMode},
             {"params", params}};
  // Written only when false, so files of enabled effects stay as they were.
  if (!effect.Enabled) entry["enabled"] = false;
  return entry;
}

std::unique_ptr<mvEffect> EffectFromJson(const json& entry, int index, std::string& error) {
  const std::string at = Where(index);
  if (!entry.is_object()) {
    error = at + ": must be an object";
    return nullptr;
  }
  for (auto it = entry.begin(); it != entry.end(); ++it) {
    const std::string& k = it.key();
    if (k != "type" && k != "name" && k != "opacity" && k != "blend_mode" && k != "params" && k != "enabled") {
      error = at + ": unknown key \"" + k + "\"";
      return nullptr;
    }
  }
  const mvEffectClass* c = nullptr;
  std::string why;
  if (entry.contains("type")) {
    int64_t id;
    if (!ReadJsonInteger(entry["type"], 0, std::numeric_limits<uint32_t>::max(), id, why)) {
      error = at + ": type " + why;
      return nullptr;
    }
    c = FindEffectClass(static_cast<uint32_t>(id));
    if (!c) {
      std::string_view known = EffectTypeName(static_cast<uint32_t>(id));
      error = at + ": type " + std::to_string(id) +
              (known.empty() ? " is not an effect type" : " (" + std::string(known) + ") is not available here");
      return nullptr;
    }
    if (entry.contains("name") && !(entry["name"].is_string() && entry["name"].get<std::string>() == c->Name)) {
      error = at + ": name does not match type " + std::to_string(id) + " (" + c->Name + ")";
      return nullptr;
    }
  } else if (entry.contains("name")) {
    if (!entry["name"].is_string() || !(c = FindEffectClass(entry["name"].get<std::string>()))) {
      error = at + ": unknown effect name " + entry["name"].dump();
      return nullptr;
    }
  } else {
    error = at + ": needs a \"type\" or a \"name\"";
    return nullptr;
  }
  std::unique_ptr<mvEffect> e(c->Create ? c->Create() : nullptr);
  if (!e) {
    error = at + ": out of memory";
    return nullptr;
  }
  int64_t n;
  if (entry.contains("opacity")) {
    if (!ReadJsonInteger(entry["opacity"], 0, 65535, n, why)) {
      error = at + " (" + c->Name + "): opacity " + why;
      return nullptr;
    }
    e->Opacity = static_cast<uint32_t>(n);
  }
  if (entry.contains("blend_mode")) {
    if (!ReadJsonInteger(entry["blend_mode"], 0, 17, n, why)) {
      error = at + " (" + c->Name + "): blend_mode " + why;
      return nullptr;
    }
    e->BlendMode = static_cast<uint32_t>(n);
  }
  if (entry.contains("enabled")) {
    if (!entry["enabled"].is_boolean()) {
      error = at + " (" + c->Name + "): enabled must be true or false";
      return nullptr;
    }
    e->Enabled = entry["enabled"].get<bool>();
  }
  if (entry.contains("params")) {
    const json& params = entry["params"];
    if (!params.is_object()) {
      error = at + " (" + c->Name + "): params must be an object";
      return nullptr;
    }
    for (auto it = params.begin(); it != params.end(); ++it) {
      const FieldInfo* f = c->Find(it.key());
      if (!f) {
        error = at + " (" + c->Name + "): unknown field \"" + it.key() + "\"";
        return nullptr;
      }
      if (!TraitsOf(f->Type).FromJson(*f, *e, it.value(), why)) {
        error = at + " (" + c->Name + "): field " + f->Name + " " + why;
        return nullptr;
      }
    }
  }
  if (c->Validate) {
    why = c->Validate(*e);
    if (!why.empty()) {
      error = at + " (" + c->Name + "): " + why;
      return nullptr;
    }
  }
  return e;
}

json RecipeToJson(const Recipe& recipe) {
  json effects = json::array();
  for (const auto& e : recipe.Effects) effects.push_back(EffectToJson(*e));
  json doc{{"format", kFormatTag},    {"version", kVersion},         {"width", recipe.Width},
           {"height", recipe.Height}, {"seamless", recipe.Seamless}, {"effects", effects}};
  if (recipe.Seed) doc["seed"] = *recipe.Seed;
  return doc;
}

json RecipeToJson(const mvPictureLayer& layer, bool seamless, std::optional<uint32_t> seed) {
  json effects = json::array();
  for (int32_t i = 0; i < layer.Effects.Count(); ++i) effects.push_back(EffectToJson(*layer.Effects[i]));
  json doc{{"format", kFormatTag},       {"version", kVersion},  {"width", layer.BaseWidth},
           {"height", layer.BaseHeight}, {"seamless", seamless}, {"effects", effects}};
  // Written only when there is one, so recipes of default batches stay as they were.
  if (seed) doc["seed"] = *seed;
  return doc;
}

bool RecipeFromJson(const json& doc, Recipe& out, std::string& error) {
  if (!doc.is_object()) {
    error = "a recipe must be a JSON object";
    return false;
  }
  for (auto it = doc.begin(); it != doc.end(); ++it) {
    const std::string& k = it.key();
    if (k != "format" && k != "version" && k != "width" && k != "height" && k != "seamless" && k != "effects" &&
        k != "seed") {
      error = "unknown key \"" + k + "\"";
      return false;
    }
  }
  if (!doc.contains("format") || doc["format"] != kFormatTag) {
    error = "not an Orvelle recipe (\"format\" must be \"orvelle-recipe\")";
    return false;
  }
  std::string why;
  int64_t n;
  if (doc.contains("version") && (!ReadJsonInteger(doc["version"], 1, kVersion, n, why))) {
    error = "version " + why + " (this program reads version " + std::to_string(kVersion) + ")";
    return false;
  }
  Recipe r;
  int64_t w, h;
  if (!doc.contains("width") || !ReadJsonInteger(doc["width"], limits::kMinSide, limits::kMaxSide, w, why)) {
    error = "width " + (why.empty() ? std::string("is missing") : why);
    return false;
  }
  if (!doc.contains("height") || !ReadJsonInteger(doc["height"], limits::kMinSide, limits::kMaxSide, h, why)) {
    error = "height " + (why.empty() ? std::string("is missing") : why);
    return false;
  }
  r.Width = static_cast<int32_t>(w);
  r.Height = static_cast<int32_t>(h);
  if (doc.contains("seamless")) {
    if (!doc["seamless"].is_boolean()) {
      error = "seamless must be true or false";
      return false;
    }
    r.Seamless = doc["seamless"].get<bool>();
  }
  if (doc.contains("seed")) {
    if (!ReadJsonInteger(doc["seed"], 0, std::numeric_limits<uint32_t>::max(), n, why)) {
      error = "seed " + why;
      return false;
    }
    r.Seed = static_cast<uint32_t>(n);
  }
  if (doc.contains("effects")) {
    const json& list = doc["effects"];
    if (!list.is_array()) {
      error = "effects must be a list";
      return false;
    }
    if (list.size() > static_cast<size_t>(limits::kMaxEffectsPerRecipe)) {
      error = "effects lists " + std::to_string(list.size()) + " effects; a recipe may hold at most " +
              std::to_string(limits::kMaxEffectsPerRecipe);
      return false;
    }
    for (size_t i = 0; i < list.size(); ++i) {
      std::unique_ptr<mvEffect> e = EffectFromJson(list[i], static_cast<int>(i), error);
      if (!e) return false;
      r.Effects.push_back(std::move(e));
    }
  }
  out = std::move(r);
  return true;
}

bool ReadRecipeText(const std::string& text, const std::string& name, Recipe& out, std::string& error) {
  json doc;
  if (!ParseJson(name, text, doc, error)) return false;
  if (!RecipeFromJson(doc, out, error)) {
    error = name + ": " + error;
    return false;
  }
  return true;
}

bool EffectFromDocument(const json& doc, std::unique_ptr<mvEffect>& out, std::string& error) {
  // A recipe holding exactly one effect serves as well.
  if (doc.is_object() && doc.contains("format")) {
    Recipe r;
    if (!RecipeFromJson(doc, r, error)) return false;
    if (r.Effects.size() != 1) {
      error = "a recipe used as an effect file must hold exactly one effect";
      return false;
    }
    out = std::move(r.Effects[0]);
    return true;
  }
  out = EffectFromJson(doc, -1, error);
  return out != nullptr;
}

bool ReadEffectText(const std::string& text, const std::string& name, std::unique_ptr<mvEffect>& out,
                    std::string& error) {
  json doc;
  if (!ParseJson(name, text, doc, error)) return false;
  if (!EffectFromDocument(doc, out, error)) {
    error = name + ": " + error;
    return false;
  }
  return true;
}

namespace {

// What the first bytes of a file say it is, for the messages of a file that
// is not JSON.
const char* ImageKind(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return nullptr;
  uint8_t head[8] = {};
  const ssize_t got = ::read(fd, head, sizeof head);
  ::close(fd);
  if (got >= 8 && head[0] == 0x89 && head[1] == 'P' && head[2] == 'N' && head[3] == 'G') return "PNG";
  if (got >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) return "JPEG";
  if (got >= 2 && head[0] == 'B' && head[1] == 'M') return "BMP";
  return nullptr;
}

// The recipe a PNG file written by this program carries in its text chunk.
bool ReadPNGRecipe(const std::string& path, std::string& text, std::string& error) {
  errno = 0;
  switch (ReadPNGText(path.c_str(), kRecipeKeyword, kMaxFileBytes, text)) {
    case PNGTextResult::Found: return true;
    case PNGTextResult::NoChunk:
      error = path + " is a PNG image without a recipe (PNG files written by Orvelle carry one)";
      return false;
    case PNGTextResult::TooLarge:
      error = path + ": the recipe it carries is too large (at most " + std::to_string(kMaxFileBytes >> 20) + " MB)";
      return false;
    case PNGTextResult::Damaged:
    case PNGTextResult::NotPNG: error = path + ": the PNG file is damaged"; return false;
    case PNGTextResult::CannotRead: break;
  }
  error = "cannot read " + path + (errno ? std::string(": ") + std::strerror(errno) : std::string());
  return false;
}

}  // namespace

bool ReadRecipeFile(const std::string& path, Recipe& out, std::string& error) {
  std::string text;
  const char* kind = ImageKind(path);
  if (kind && std::strcmp(kind, "PNG") == 0)
    return ReadPNGRecipe(path, text, error) && ReadRecipeText(text, path, out, error);
  if (kind) {
    error = path + " is a " + kind + " image; only PNG files written by Orvelle carry their recipe";
    return false;
  }
  return ReadTextFile(path, text, error) && ReadRecipeText(text, path, out, error);
}

bool ReadEffectFile(const std::string& path, std::unique_ptr<mvEffect>& out, std::string& error) {
  std::string text;
  return ReadTextFile(path, text, error) && ReadEffectText(text, path, out, error);
}

bool WriteJsonFile(const std::string& path, const json& doc, std::string& error) {
  errno = 0;
  if (WriteFileAtomically(path, doc.dump(2) + "\n")) return true;
  error = "cannot write " + path + (errno ? std::string(": ") + std::strerror(errno) : std::string());
  return false;
}

bool RenderRecipe(const Recipe& recipe, mvPictureLayer& layer, int32_t width, int32_t height) {
  if (width <= 0) width = recipe.Width;
  if (height <= 0) height = recipe.Height;
  if (!layer.Create(width, height, ColorTypeRGB, 8, 4)) return false;
  for (const auto& e : recipe.Effects) {
    mvEffect* copy = e->Clone();
    if (!copy || !layer.AddEffect(copy, false)) {
      delete copy;
      return false;
    }
  }
  return layer.Render();
}

#include "recipe/recipe.h"

#include "core/atomic_file.h"
#include "core/limits.h"

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

json ColorToJson(const mvColor& c) {
  json samples = json::array();
  for (uint32_t i = 0; i < c.Channels && i < 4; ++i) samples.push_back(c.Sample(static_cast<int>(i)));
  return json{{"format", {c.ColorType, c.BitDepth, c.Channels}}, {"samples", samples}};
}

json GradientToJson(const mvGradient& g) {
  json list = json::array();
  for (const GradientSegment& s : g.Segments) {
    list.push_back(json{{"Left", s.Left},
                        {"Middle", s.Middle},
                        {"Right", s.Right},
                        {"LeftColor", {s.LeftColor[0], s.LeftColor[1], s.LeftColor[2], s.LeftColor[3]}},
                        {"RightColor", {s.RightColor[0], s.RightColor[1], s.RightColor[2], s.RightColor[3]}},
                        {"BlendFunction", s.BlendFunction},
                        {"ColoringType", s.ColoringType}});
  }
  return list;
}

}  // namespace

json FieldToJson(const mvEffect& e, const FieldInfo& f) {
  switch (f.Type) {
    case FieldType::Int: return f.Of<int32_t>(e);
    case FieldType::UInt: return f.Of<uint32_t>(e);
    case FieldType::Bool: return f.Of<bool>(e);
    case FieldType::Double: {
      double d = f.Of<double>(e);
      return std::isfinite(d) ? json(d) : json(nullptr);
    }
    case FieldType::Color: return ColorToJson(f.Of<mvColor>(e));
    case FieldType::Gradient: return GradientToJson(f.Of<mvGradient>(e));
  }
  return nullptr;
}

namespace {

// Integers must be JSON integers within [lo, hi].
bool ReadInteger(const json& v, int64_t lo, int64_t hi, int64_t& out, std::string& why) {
  if (v.is_number_unsigned()) {
    uint64_t u = v.get<uint64_t>();
    if (u > static_cast<uint64_t>(hi) || (lo > 0 && u < static_cast<uint64_t>(lo))) {
      why = "is " + std::to_string(u) + ", outside " + std::to_string(lo) + ".." + std::to_string(hi);
      return false;
    }
    out = static_cast<int64_t>(u);
    return true;
  }
  if (v.is_number_integer()) {
    int64_t s = v.get<int64_t>();
    if (s < lo || s > hi) {
      why = "is " + std::to_string(s) + ", outside " + std::to_string(lo) + ".." + std::to_string(hi);
      return false;
    }
    out = s;
    return true;
  }
  why = "must be an integer";
  return false;
}

bool ReadColor(const json& v, mvColor& c, std::string& why) {
  if (!v.is_object() || !v.contains("format") || !v.contains("samples")) {
    why = "must be an object with \"format\" and \"samples\"";
    return false;
  }
  const json& fmt = v["format"];
  const json& samples = v["samples"];
  if (!fmt.is_array() || fmt.size() != 3) {
    why = "format must be [ColorType, BitDepth, Channels]";
    return false;
  }
  int64_t t, d, ch;
  if (!ReadInteger(fmt[0], 0, 2, t, why) || !ReadInteger(fmt[1], 8, 16, d, why) ||
      !ReadInteger(fmt[2], 1, 4, ch, why) || !IsValidFormat(static_cast<uint32_t>(t), static_cast<uint32_t>(d),
                                                             static_cast<uint32_t>(ch))) {
    why = "format is not a valid [ColorType, BitDepth, Channels]";
    return false;
  }
  if (!samples.is_array() || samples.size() != static_cast<size_t>(ch)) {
    why = "samples must list " + std::to_string(ch) + " values";
    return false;
  }
  mvColor out;
  out.ColorType = static_cast<uint32_t>(t);
  out.BitDepth = static_cast<uint32_t>(d);
  out.Channels = static_cast<uint32_t>(ch);
  for (size_t i = 0; i < samples.size(); ++i) {
    int64_t s;
    if (!ReadInteger(samples[i], 0, d == 16 ? 65535 : 255, s, why)) {
      why = "sample " + std::to_string(i) + " " + why;
      return false;
    }
    out.SetSample(static_cast<int>(i), static_cast<uint32_t>(s));
  }
  c = out;
  return true;
}

bool ReadDouble(const json& v, double& d, std::string& why) {
  if (!v.is_number()) {
    why = "must be a number";
    return false;
  }
  d = v.get<double>();
  if (!std::isfinite(d)) {
    why = "must be finite";
    return false;
  }
  return true;
}

bool ReadRGBA(const json& v, uint8_t out[4], std::string& why) {
  if (!v.is_array() || v.size() != 4) {
    why = "must be [r, g, b, a]";
    return false;
  }
  for (size_t i = 0; i < 4; ++i) {
    int64_t s;
    if (!ReadInteger(v[i], 0, 255, s, why)) return false;
    out[i] = static_cast<uint8_t>(s);
  }
  return true;
}

bool ReadGradient(const json& v, mvGradient& g, std::string& why) {
  if (!v.is_array()) {
    why = "must be a list of segments";
    return false;
  }
  if (v.size() > static_cast<size_t>(limits::kMaxGradientSegments)) {
    why = "has " + std::to_string(v.size()) + " segments; at most " + std::to_string(limits::kMaxGradientSegments) +
          " are allowed";
    return false;
  }
  mvGradient out;
  for (size_t i = 0; i < v.size(); ++i) {
    const json& s = v[i];
    std::string at = "segment " + std::to_string(i) + " ";
    if (!s.is_object()) {
      why = at + "must be an object";
      return false;
    }
    for (auto it = s.begin(); it != s.end(); ++it) {
      static const char* kKeys[] = {"Left", "Middle", "Right", "LeftColor", "RightColor", "BlendFunction",
                                    "ColoringType"};
      bool known = false;
      for (const char* k : kKeys) known = known || it.key() == k;
      if (!known) {
        why = at + "has unknown key \"" + it.key() + "\"";
        return false;
      }
    }
    GradientSegment seg;
    int64_t n;
    if ((s.contains("Left") && !ReadDouble(s["Left"], seg.Left, why)) ||
        (s.contains("Middle") && !ReadDouble(s["Middle"], seg.Middle, why)) ||
        (s.contains("Right") && !ReadDouble(s["Right"], seg.Right, why)) ||
        (s.contains("LeftColor") && !ReadRGBA(s["LeftColor"], seg.LeftColor, why)) ||
        (s.contains("RightColor") && !ReadRGBA(s["RightColor"], seg.RightColor, why))) {
      why = at + why;
      return false;
    }
    if (s.contains("BlendFunction")) {
      if (!ReadInteger(s["BlendFunction"], 0, 4, n, why)) {
        why = at + "BlendFunction " + why;
        return false;
      }
      seg.BlendFunction = static_cast<int32_t>(n);
    }
    if (s.contains("ColoringType")) {
      if (!ReadInteger(s["ColoringType"], 0, 2, n, why)) {
        why = at + "ColoringType " + why;
        return false;
      }
      seg.ColoringType = static_cast<int32_t>(n);
    }
    out.AppendSegment(seg);
  }
  g = std::move(out);
  return true;
}

int64_t IntLo(const FieldInfo& f) {
  if (f.HasRange) return f.Lo;
  return f.Type == FieldType::Int ? std::numeric_limits<int32_t>::min() : 0;
}
int64_t IntHi(const FieldInfo& f) {
  if (f.HasRange) return f.Hi;
  return f.Type == FieldType::Int ? std::numeric_limits<int32_t>::max() : std::numeric_limits<uint32_t>::max();
}

// The same normalisation a stream load applies (0 becomes 1 and the like).
int64_t Normalise(const FieldInfo& f, int64_t v) {
  switch (f.Rule) {
    case LoadRule::NonZeroIsOne: return v != 0 ? 1 : 0;
    case LoadRule::ZeroBecomesOne: return v == 0 ? 1 : v;
    default: return v;
  }
}

bool ReadField(mvEffect& e, const FieldInfo& f, const json& v, std::string& why) {
  switch (f.Type) {
    case FieldType::Int:
    case FieldType::UInt: {
      int64_t n;
      if (!ReadInteger(v, IntLo(f), IntHi(f), n, why)) return false;
      n = Normalise(f, n);
      if (f.Type == FieldType::Int)
        f.Of<int32_t>(e) = static_cast<int32_t>(n);
      else
        f.Of<uint32_t>(e) = static_cast<uint32_t>(n);
      return true;
    }
    case FieldType::Bool:
      if (!v.is_boolean()) {
        why = "must be true or false";
        return false;
      }
      f.Of<bool>(e) = v.get<bool>();
      return true;
    case FieldType::Double: return ReadDouble(v, f.Of<double>(e), why);
    case FieldType::Color: return ReadColor(v, f.Of<mvColor>(e), why);
    case FieldType::Gradient: return ReadGradient(v, f.Of<mvGradient>(e), why);
  }
  return false;
}

std::string Where(int index) { return index < 0 ? std::string("effect") : "effect " + std::to_string(index); }

bool ReadTextFile(const std::string& path, std::string& text, std::string& error) {
  errno = 0;
  if (ReadWholeFile(path, text, kMaxFileBytes)) return true;
  if (errno == EINVAL)
    error = path + ": not a regular file";
  else if (errno == EFBIG)
    error = path + ": too large for a recipe (at most " + std::to_string(kMaxFileBytes >> 20) + " MB)";
  else
    error = "cannot read " + path + (errno ? std::string(": ") + std::strerror(errno) : std::string());
  return false;
}

// Deeply nested input would make parsing and destruction recurse without
// bound; no recipe nests deeper than a handful of levels.
bool NestingTooDeep(const std::string& text) {
  int depth = 0;
  bool inString = false, escaped = false;
  for (char ch : text) {
    if (inString) {
      if (escaped) escaped = false;
      else if (ch == '\\') escaped = true;
      else if (ch == '"') inString = false;
      continue;
    }
    if (ch == '"') inString = true;
    else if (ch == '[' || ch == '{') {
      if (++depth > 32) return true;
    } else if (ch == ']' || ch == '}') --depth;
  }
  return false;
}

// Builds the document like json::parse, but remembers where in it the
// parser is, so that an error (a number beyond a double's range, say) can
// name the effect and field it sits in.
class TrackingParser {
public:
  using Dom = nlohmann::detail::json_sax_dom_parser<json>;
  explicit TrackingParser(json& doc) : Builder(doc, false) {}

  bool null() { return Scalar(Builder.null()); }
  bool boolean(bool v) { return Scalar(Builder.boolean(v)); }
  bool number_integer(json::number_integer_t v) { return Scalar(Builder.number_integer(v)); }
  bool number_unsigned(json::number_unsigned_t v) { return Scalar(Builder.number_unsigned(v)); }
  bool number_float(json::number_float_t v, const std::string& text) { return Scalar(Builder.number_float(v, text)); }
  bool string(std::string& v) { return Scalar(Builder.string(v)); }
  bool binary(json::binary_t& v) { return Scalar(Builder.binary(v)); }
  bool start_object(std::size_t n) {
    Levels.push_back({false, 0, {}});
    return Builder.start_object(n);
  }
  bool key(std::string& k) {
    Levels.back().Key = k;
    return Builder.key(k);
  }
  bool end_object() {
    Levels.pop_back();
    return Scalar(Builder.end_object());
  }
  bool start_array(std::size_t n) {
    Levels.push_back({true, 0, {}});
    return Builder.start_array(n);
  }
  bool end_array() {
    Levels.pop_back();
    return Scalar(Builder.end_array());
  }
  bool parse_error(std::size_t position, const std::string& token, const nlohmann::detail::exception& e) {
    const std::string shown = token.size() > 40 ? token.substr(0, 40) + "..." : token;
    if (e.id == 406)  // a number a double cannot hold
      Message = Place() + "the number " + shown + " is out of range";
    else
      Message = Place() + "not valid JSON at byte " + std::to_string(position) + " (" + e.what() + ")";
    return false;
  }

  std::string Message;

private:
  struct Level {
    bool Array;
    size_t Index;
    std::string Key;
  };

  bool Scalar(bool ok) {
    if (!Levels.empty() && Levels.back().Array) ++Levels.back().Index;
    return ok;
  }

  // "effect 2, field Angle: " for a recipe's effects[2].params.Angle, and so on.
  std::string Place() const {
    std::string where;
    size_t i = 0;
    if (Levels.size() >= 2 && !Levels[0].Array && Levels[0].Key == "effects" && Levels[1].Array) {
      where = "effect " + std::to_string(Levels[1].Index);
      i = 2;
    }
    if (i + 1 < Levels.size() && !Levels[i].Array && Levels[i].Key == "params") {
      where += (where.empty() ? "" : ", ") + std::string("field ") + Levels[i + 1].Key;
      i += 2;
      for (; i < Levels.size(); ++i)
        where += Levels[i].Array ? "[" + std::to_string(Levels[i].Index) + "]" : "." + Levels[i].Key;
    } else {
      for (; i < Levels.size(); ++i) {
        where += where.empty() ? "" : " ";
        where += Levels[i].Array ? "[" + std::to_string(Levels[i].Index) + "]" : Levels[i].Key;
      }
    }
    return where.empty() ? std::string() : where + ": ";
  }

  Dom Builder;
  std::vector<Level> Levels;
};

// Parses JSON from outside; false with a message naming the place of the
// fault. Never throws.
bool ParseJsonText(std::string_view text, json& doc, std::string& why) {
  json parsed;
  try {
    TrackingParser parser(parsed);
    if (!json::sax_parse(text, &parser)) {
      why = parser.Message.empty() ? std::string("not valid JSON") : parser.Message;
      return false;
    }
  } catch (const std::bad_alloc&) {
    why = "not enough memory";
    return false;
  } catch (const std::exception& e) {
    why = std::string("not valid JSON (") + e.what() + ")";
    return false;
  }
  doc = std::move(parsed);
  return true;
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
    if (!ReadInteger(entry["type"], 0, std::numeric_limits<uint32_t>::max(), id, why)) {
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
    if (!ReadInteger(entry["opacity"], 0, 65535, n, why)) {
      error = at + " (" + c->Name + "): opacity " + why;
      return nullptr;
    }
    e->Opacity = static_cast<uint32_t>(n);
  }
  if (entry.contains("blend_mode")) {
    if (!ReadInteger(entry["blend_mode"], 0, 17, n, why)) {
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
      if (!ReadField(*e, *f, it.value(), why)) {
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
  json doc{{"format", kFormatTag},   {"version", kVersion},         {"width", recipe.Width},
           {"height", recipe.Height}, {"seamless", recipe.Seamless}, {"effects", effects}};
  if (recipe.Seed) doc["seed"] = *recipe.Seed;
  return doc;
}

json RecipeToJson(const mvPictureLayer& layer, bool seamless, std::optional<uint32_t> seed) {
  json effects = json::array();
  for (int32_t i = 0; i < layer.Effects.Count(); ++i) effects.push_back(EffectToJson(*layer.Effects[i]));
  json doc{{"format", kFormatTag},        {"version", kVersion},  {"width", layer.BaseWidth},
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
  if (doc.contains("version") && (!ReadInteger(doc["version"], 1, kVersion, n, why))) {
    error = "version " + why + " (this program reads version " + std::to_string(kVersion) + ")";
    return false;
  }
  Recipe r;
  int64_t w, h;
  if (!doc.contains("width") || !ReadInteger(doc["width"], limits::kMinSide, limits::kMaxSide, w, why)) {
    error = "width " + (why.empty() ? std::string("is missing") : why);
    return false;
  }
  if (!doc.contains("height") || !ReadInteger(doc["height"], limits::kMinSide, limits::kMaxSide, h, why)) {
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
    if (!ReadInteger(doc["seed"], 0, std::numeric_limits<uint32_t>::max(), n, why)) {
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

bool ReadRecipeFile(const std::string& path, Recipe& out, std::string& error) {
  std::string text;
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

// ---- text forms --------------------------------------------------------------

std::string FieldTypeName(FieldType type) {
  switch (type) {
    case FieldType::Int: return "int32";
    case FieldType::UInt: return "uint32";
    case FieldType::Bool: return "bool";
    case FieldType::Double: return "double";
    case FieldType::Color: return "color";
    case FieldType::Gradient: return "gradient";
  }
  return "?";
}

std::string FieldRuleText(const FieldInfo& f) {
  std::string parts;
  auto add = [&parts](const std::string& s) { parts += (parts.empty() ? "" : "; ") + s; };
  switch (f.Rule) {
    case LoadRule::Bit0: add("bit 0 of the word"); break;
    case LoadRule::NonZero:
    case LoadRule::NonZeroIsOne: add("non-zero becomes 1"); break;
    case LoadRule::ZeroBecomesOne: add("0 becomes 1"); break;
    case LoadRule::Clamp: add("clamped to " + std::to_string(f.Lo) + ".." + std::to_string(f.Hi)); break;
    case LoadRule::AsRead: break;
  }
  if (f.HasRange && f.Rule != LoadRule::Clamp) add("range " + std::to_string(f.Lo) + ".." + std::to_string(f.Hi));
  if (f.FlagBit >= 0) add("flags bit " + std::to_string(f.FlagBit));
  if (!f.Streamed) add("not in the parameter stream");
  if (!f.Compared) add("not compared");
  return parts;
}

std::string FieldValueText(const mvEffect& e, const FieldInfo& f) {
  switch (f.Type) {
    case FieldType::Bool: return f.Of<bool>(e) ? "true" : "false";
    case FieldType::Color: {
      const mvColor& c = f.Of<mvColor>(e);
      std::string s = c.ColorType == ColorTypeGray ? "gray" : (c.ColorType == ColorTypeIndexed ? "index" : "rgb");
      s += c.BitDepth == 16 ? "16(" : "(";
      for (uint32_t i = 0; i < c.Channels; ++i) s += (i ? "," : "") + std::to_string(c.Sample(static_cast<int>(i)));
      return s + ")";
    }
    default: return FieldToJson(e, f).dump();
  }
}

namespace {

bool ParseInt64(std::string_view t, int64_t& v) {
  bool neg = !t.empty() && t[0] == '-';
  if (!t.empty() && (t[0] == '-' || t[0] == '+')) t.remove_prefix(1);
  int base = 10;
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    base = 16;
    t.remove_prefix(2);
  }
  uint64_t u = 0;
  auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), u, base);
  if (t.empty() || ec != std::errc() || end != t.data() + t.size() || u > (1ull << 62)) return false;
  v = neg ? -static_cast<int64_t>(u) : static_cast<int64_t>(u);
  return true;
}

// Colours on the command line: "#rrggbb", "#rrggbbaa", "r,g,b", "r,g,b,a", or JSON.
bool ParseColorText(std::string_view t, mvColor& c, std::string& why) {
  if (!t.empty() && t[0] == '{') {
    json doc;
    if (NestingTooDeep(std::string(t)) || !ParseJsonText(t, doc, why)) {
      why = "is not a valid colour: " + (why.empty() ? std::string("nested too deeply") : why);
      return false;
    }
    return ReadColor(doc, c, why);
  }
  std::vector<int64_t> v;
  if (!t.empty() && t[0] == '#') {
    t.remove_prefix(1);
    if (t.size() != 6 && t.size() != 8) {
      why = "must be #rrggbb or #rrggbbaa";
      return false;
    }
    for (size_t i = 0; i < t.size(); i += 2) {
      unsigned x;
      auto [end, ec] = std::from_chars(t.data() + i, t.data() + i + 2, x, 16);
      if (ec != std::errc() || end != t.data() + i + 2) {
        why = "has a bad hex digit";
        return false;
      }
      v.push_back(x);
    }
  } else {
    size_t start = 0;
    while (start <= t.size()) {
      size_t comma = t.find(',', start);
      std::string_view part = t.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
      int64_t x;
      if (!ParseInt64(part, x) || x < 0 || x > 255) {
        why = "must be r,g,b[,a] with values 0..255, or #rrggbb[aa]";
        return false;
      }
      v.push_back(x);
      if (comma == std::string_view::npos) break;
      start = comma + 1;
    }
    if (v.size() != 3 && v.size() != 4) {
      why = "must have 3 or 4 values";
      return false;
    }
  }
  c = v.size() == 4 ? mvColor::RGBA8(static_cast<uint8_t>(v[0]), static_cast<uint8_t>(v[1]),
                                     static_cast<uint8_t>(v[2]), static_cast<uint8_t>(v[3]))
                    : mvColor::RGB8(static_cast<uint8_t>(v[0]), static_cast<uint8_t>(v[1]), static_cast<uint8_t>(v[2]));
  return true;
}

}  // namespace

bool SetFieldFromText(mvEffect& e, const FieldInfo& f, std::string_view text, std::string& error) {
  std::string why;
  switch (f.Type) {
    case FieldType::Int:
    case FieldType::UInt: {
      int64_t v;
      if (!ParseInt64(text, v)) {
        error = f.Name + " must be an integer, got \"" + std::string(text) + "\"";
        return false;
      }
      if (!ReadField(e, f, json(v), why)) {
        error = f.Name + " " + why;
        return false;
      }
      return true;
    }
    case FieldType::Bool: {
      std::string t(text);
      for (char& ch : t) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      if (t == "1" || t == "true" || t == "yes" || t == "on") f.Of<bool>(e) = true;
      else if (t == "0" || t == "false" || t == "no" || t == "off") f.Of<bool>(e) = false;
      else {
        error = f.Name + " must be true or false, got \"" + std::string(text) + "\"";
        return false;
      }
      return true;
    }
    case FieldType::Double: {
      std::string t(text);
      char* end = nullptr;
      errno = 0;
      double d = std::strtod(t.c_str(), &end);
      if (t.empty() || end != t.c_str() + t.size() || errno == ERANGE || !std::isfinite(d)) {
        error = f.Name + " must be a finite number, got \"" + t + "\"";
        return false;
      }
      f.Of<double>(e) = d;
      return true;
    }
    case FieldType::Color:
      if (!ParseColorText(text, f.Of<mvColor>(e), why)) {
        error = f.Name + " " + why;
        return false;
      }
      return true;
    case FieldType::Gradient: {
      json doc;
      if (NestingTooDeep(std::string(text)) || !ParseJsonText(text, doc, why)) {
        error = f.Name + " must be a JSON list of segments" + (why.empty() ? std::string() : " (" + why + ")");
        return false;
      }
      if (!ReadGradient(doc, f.Of<mvGradient>(e), why)) {
        error = f.Name + " " + why;
        return false;
      }
      return true;
    }
  }
  return false;
}

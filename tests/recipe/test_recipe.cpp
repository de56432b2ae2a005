#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "core/limits.h"
#include "recipe/recipe.h"

using nlohmann::json;

namespace {

std::string TempPath(const char* name) {
  return std::string(::testing::TempDir()) + "orvelle_" + std::to_string(::getpid()) + "_" + name;
}

std::string ErrorOf(const json& entry) {
  std::string error;
  auto e = EffectFromJson(entry, 3, error);
  EXPECT_FALSE(e);
  return error;
}

// Sets every field to a non-default value, so the round trip proves each
// one; one setter per field type, in FieldType's order.
void Disturb(mvEffect& e) {
  using Set = void (*)(const FieldInfo&, mvEffect&);
  static constexpr Set kDisturb[] = {
      [](const FieldInfo& f, mvEffect& x) { f.Of<int32_t>(x) = f.HasRange ? static_cast<int32_t>(f.Hi) : -7; },
      [](const FieldInfo& f, mvEffect& x) { f.Of<uint32_t>(x) = f.HasRange ? static_cast<uint32_t>(f.Hi) : 3; },
      [](const FieldInfo& f, mvEffect& x) { f.Of<bool>(x) = !f.Of<bool>(x); },
      [](const FieldInfo& f, mvEffect& x) { f.Of<double>(x) = 0.1 + 1e-17; },
      [](const FieldInfo& f, mvEffect& x) { f.Of<mvColor>(x) = mvColor(1, 2, 65535, 4); },
      [](const FieldInfo& f, mvEffect& x) {
        GradientSegment s;
        s.Middle = 1.0 / 3.0;
        s.LeftColor[1] = 7;
        s.BlendFunction = 2;
        f.Of<mvGradient>(x).AppendSegment(s);
      },
  };
  for (const FieldInfo& f : e.Class().Fields) kDisturb[static_cast<size_t>(f.Type)](f, e);
  e.Opacity = 1234;
  e.BlendMode = 9;
  e.Enabled = false;
}

}  // namespace

TEST(Recipe, EveryEffectRoundTripsThroughJson) {
  for (const mvEffectClass* c : RegisteredEffects()) {
    SCOPED_TRACE(c->Name);
    std::unique_ptr<mvEffect> e(c->Create());
    Disturb(*e);
    std::string error;
    json text = json::parse(EffectToJson(*e).dump());
    auto back = EffectFromJson(text, 0, error);
    ASSERT_TRUE(back) << error;
    EXPECT_TRUE(back->IsEqual(*e));
    EXPECT_EQ(back->Opacity, e->Opacity);
    EXPECT_EQ(back->BlendMode, e->BlendMode);
    EXPECT_FALSE(back->Enabled);
    // Fields IsEqual skips must survive too: compare the JSON forms.
    EXPECT_EQ(EffectToJson(*back), EffectToJson(*e));
  }
}

TEST(Recipe, LeftOutFieldsTakeDefaultsAndNamesWork) {
  std::string error;
  auto e = EffectFromJson(json{{"name", "mvMirrorEffect"}}, 0, error);
  ASSERT_TRUE(e) << error;
  EXPECT_EQ(e->GetTypeID(), 519u);
  EXPECT_EQ(e->Opacity, 65535u);
}

TEST(Recipe, ErrorsNameTheEffectAndField) {
  const std::pair<json, const char*> kCases[] = {
      {json{{"type", 523}}, "effect 3"},
      {json{{"type", 514}, {"params", {{"Nope", 1}}}}, "unknown field \"Nope\""},
      {json{{"type", 514}, {"opacity", 70000}}, "opacity"},
      {json{{"type", 514}, {"opacity", "full"}}, "integer"},
      {json{{"type", 514}, {"name", "mvFlipEffect"}}, "does not match"},
      {json{{"type", 514}, {"extra", 1}}, "unknown key"},
      {json{{"type", 514}, {"enabled", 0}}, "enabled must be true or false"},
      {json::array(), "object"}};
  for (const auto& [entry, message] : kCases) EXPECT_NE(ErrorOf(entry).find(message), std::string::npos) << entry;
}

TEST(Recipe, FieldValuesAreValidatedByType) {
  // Use whatever registered class has fields of each kind.
  for (const mvEffectClass* c : RegisteredEffects()) {
    for (const FieldInfo& f : c->Fields) {
      SCOPED_TRACE(c->Name + "." + f.Name);
      // A value of the wrong kind or out of range for each field type, in FieldType's order.
      const json kBad[] = {
          1ll << 40, -1, 1, "x", json{{"format", {0, 8, 2}}, {"samples", {1, 2}}}, json{{{"Left", "a"}}}};
      const json& bad = kBad[static_cast<size_t>(f.Type)];
      std::string error = ErrorOf(json{{"type", c->TypeId}, {"params", {{f.Name, bad}}}});
      EXPECT_NE(error.find(f.Name), std::string::npos) << error;
    }
  }
}

TEST(Recipe, FileRoundTripAndRender) {
  Recipe r;
  r.Width = 6;
  r.Height = 4;
  r.Seamless = true;
  r.Seed = 4294967295u;
  r.Effects.emplace_back(CreateEffect(515));
  r.Effects.emplace_back(CreateEffect(518));
  // A disabled effect is kept in the file but not applied.
  r.Effects.emplace_back(CreateEffect(515));
  r.Effects.back()->Enabled = false;
  std::string path = TempPath("recipe.json"), error;
  ASSERT_TRUE(WriteJsonFile(path, RecipeToJson(r), error)) << error;
  Recipe back;
  ASSERT_TRUE(ReadRecipeFile(path, back, error)) << error;
  EXPECT_EQ(back.Width, 6);
  EXPECT_TRUE(back.Seamless);
  EXPECT_EQ(back.Seed, 4294967295u);
  ASSERT_EQ(back.Effects.size(), 3u);
  EXPECT_FALSE(back.Effects[2]->Enabled);
  mvPictureLayer layer;
  ASSERT_TRUE(RenderRecipe(back, layer));
  EXPECT_EQ(layer.Width, 4);  // the first quarter turn only
  EXPECT_EQ(layer.Effects.Count(), 3);
  // Only a disabled effect says so: files of enabled ones read as before.
  EXPECT_FALSE(EffectToJson(*back.Effects[0]).contains("enabled"));
  EXPECT_EQ(EffectToJson(*back.Effects[2])["enabled"], false);
  EXPECT_EQ(RecipeToJson(layer, true, back.Seed), RecipeToJson(r));
  // Without a seed the key is left out, as in files written before it existed.
  EXPECT_FALSE(RecipeToJson(layer, true).contains("seed"));
  std::remove(path.c_str());
}

TEST(Recipe, HostileFilesAreRefusedCleanly) {
  const std::string path = TempPath("bad.json");
  const std::string head = "{\"format\":\"orvelle-recipe\",\"width\":5,\"height\":5,";
  const std::pair<std::string, const char*> kCases[] = {
      {std::string(100000, '['), "nested"},
      {"{\"format\":\"orvelle-recipe\",\"width\":0,\"height\":5}", "width"},
      {head + "\"effects\":[{\"type\":518}],\"version\":2}", ""},
      {head + "\"seed\":-1}", "seed"},
      {head + "\"seed\":4294967296}", "seed"},
      {head + "\"seed\":\"7\"}", "seed"},
      {head + "\"seed\":1.5}", "seed"},
      {"not json", "JSON"}};
  for (const auto& [text, message] : kCases) {
    std::ofstream(path, std::ios::binary) << text;
    Recipe r;
    std::string error;
    EXPECT_FALSE(ReadRecipeFile(path, r, error)) << text.substr(0, 80);
    EXPECT_NE(error.find(message), std::string::npos) << error;
  }
  Recipe r;
  std::string error;
  EXPECT_FALSE(ReadRecipeFile(path + ".missing", r, error));
  std::remove(path.c_str());
}

TEST(Recipe, FailedWriteLeavesOldFileIntact) {
  std::string dir = TempPath("ro_dir");
  ::mkdir(dir.c_str(), 0755);
  std::string path = dir + "/r.json", error;
  ASSERT_TRUE(WriteJsonFile(path, json{{"a", 1}}, error));
  // A target whose folder does not exist cannot be written, and says why.
  EXPECT_FALSE(WriteJsonFile(dir + "/missing/r.json", json{{"a", 2}}, error));
  EXPECT_NE(error.find("missing"), std::string::npos);
  std::ifstream in(path);
  json back = json::parse(in);
  EXPECT_EQ(back["a"], 1);
  std::remove(path.c_str());
  ::rmdir(dir.c_str());
}

TEST(Recipe, CommandLineValues) {
  // The parsers of each field type, through the registered classes that have one.
  for (const mvEffectClass* c : RegisteredEffects()) {
    std::unique_ptr<mvEffect> x(c->Create());
    for (const FieldInfo& f : c->Fields) {
      std::string error;
      if (f.Type == FieldType::Color) {
        ASSERT_TRUE(SetFieldFromText(*x, f, "#ff000080", error)) << error;
        EXPECT_EQ(f.Of<mvColor>(*x), mvColor::RGBA8(255, 0, 0, 128));
        EXPECT_TRUE(SetFieldFromText(*x, f, "1,2,3", error));
        EXPECT_FALSE(SetFieldFromText(*x, f, "1,2", error));
        EXPECT_FALSE(SetFieldFromText(*x, f, "#12", error));
      } else if (f.Type == FieldType::Bool) {
        EXPECT_TRUE(SetFieldFromText(*x, f, "yes", error));
        EXPECT_TRUE(f.Of<bool>(*x));
        EXPECT_FALSE(SetFieldFromText(*x, f, "maybe", error));
      } else if (f.Type == FieldType::Int && !f.HasRange) {
        EXPECT_TRUE(SetFieldFromText(*x, f, "-0x10", error));
        EXPECT_EQ(f.Of<int32_t>(*x), -16);
        EXPECT_FALSE(SetFieldFromText(*x, f, "12abc", error));
        EXPECT_FALSE(SetFieldFromText(*x, f, "99999999999", error));
      }
    }
  }
}

TEST(Recipe, NumbersBeyondADoubleAndOversizedListsAreErrorsNamingThePlace) {
  // A class with a field of each kind, wherever the registry has one.
  const FieldInfo* fieldOf[6] = {};
  const mvEffectClass* classOf[6] = {};
  for (const mvEffectClass* c : RegisteredEffects())
    for (const FieldInfo& f : c->Fields)
      if (!fieldOf[static_cast<int>(f.Type)]) {
        fieldOf[static_cast<int>(f.Type)] = &f;
        classOf[static_cast<int>(f.Type)] = c;
      }
  const std::string big = "1" + std::string(400, '0');
  std::vector<std::pair<std::string, std::string>> cases;  // effect entry, text the error must hold
  for (FieldType t : {FieldType::Int, FieldType::Double, FieldType::Color, FieldType::Gradient}) {
    const FieldInfo* f = fieldOf[static_cast<int>(t)];
    if (!f) continue;
    const std::string head =
        "{\"type\": " + std::to_string(classOf[static_cast<int>(t)]->TypeId) + ", \"params\": {\"" + f->Name + "\": ";
    const std::string value = t == FieldType::Color      ? "{\"format\": [0, 8, 3], \"samples\": [1, -1e400, 3]}"
                              : t == FieldType::Gradient ? "[{\"Left\": " + big + "}]"
                                                         : "1e400";
    cases.push_back({head + value + "}}", "field " + f->Name});
    // The same value on the command line: an error, never an exception.
    if (t == FieldType::Color || t == FieldType::Gradient) {
      std::unique_ptr<mvEffect> e(classOf[static_cast<int>(t)]->Create());
      std::string error;
      EXPECT_FALSE(SetFieldFromText(*e, *f, value, error));
      EXPECT_NE(error.find(f->Name), std::string::npos) << error;
    }
  }
  ASSERT_FALSE(cases.empty());
  for (const auto& [entry, place] : cases) {
    std::string error;
    std::unique_ptr<mvEffect> e;
    EXPECT_FALSE(ReadEffectText(entry, "e.json", e, error));
    EXPECT_NE(error.find(place), std::string::npos) << error;
    EXPECT_NE(error.find("out of range"), std::string::npos) << error;
    Recipe r;
    EXPECT_FALSE(ReadRecipeText(
        "{\"format\": \"orvelle-recipe\", \"width\": 8, \"height\": 8, \"effects\": [{\"type\": 518}, " + entry + "]}",
        "r.json", r, error));
    EXPECT_NE(error.find("effect 1, " + place), std::string::npos) << error;
  }
  // What a recipe may ask for is capped.
  std::string list = "[";
  for (int i = 0; i <= limits::kMaxEffectsPerRecipe; ++i) list += std::string(i ? "," : "") + "{\"type\": 518}";
  Recipe r;
  std::string error;
  EXPECT_FALSE(ReadRecipeText(
      "{\"format\": \"orvelle-recipe\", \"width\": 8, \"height\": 8, \"effects\": " + list + "]}", "r.json", r, error));
  EXPECT_NE(error.find("at most 1000"), std::string::npos) << error;
  if (const FieldInfo* g = fieldOf[static_cast<int>(FieldType::Gradient)]) {
    std::string segments = "[";
    for (int i = 0; i <= limits::kMaxGradientSegments; ++i) segments += std::string(i ? "," : "") + "{}";
    std::unique_ptr<mvEffect> e(classOf[static_cast<int>(FieldType::Gradient)]->Create());
    EXPECT_FALSE(SetFieldFromText(*e, *g, segments + "]", error));
  }
}

// `orvelle-cli maps`: the height and normal maps of a texture, from its
// recipe (at any size) or from a picture.
#include <cmath>
#include <iostream>
#include <string>

#include "cli/commands.h"
#include "cli/io.h"
#include "codecs/codec.h"
#include "core/limits.h"
#include "maps/maps.h"
#include "recipe/recipe.h"

namespace {

struct MapsOptions {
  std::string In, Height, Normal, Size;
  double Scale = 0;
  bool Seamless = false, NoSeamless = false;
  MapArguments Maps;
};

int Fail(const std::string& message, int code) {
  std::cerr << "orvelle-cli maps: " << message << "\n";
  return code;
}

int RunMaps(const MapsOptions& o) {
  if (o.Height.empty() && o.Normal.empty()) return Fail("give --height FILE, --normal FILE or both", kExitUsage);
  if (o.Scale > 0 && !o.Size.empty()) return Fail("give --scale or --size, not both", kExitUsage);
  if (o.Seamless && o.NoSeamless) return Fail("give --seamless or --no-seamless, not both", kExitUsage);
  // A recipe (a JSON file or a PNG file that carries one) renders at any
  // size; any other picture is taken as it is.
  Recipe recipe;
  std::string error, recipeError;
  mvPictureLayer texture;
  bool wrap = o.Seamless;
  double slopeScale = 1.0;
  if (ReadRecipeFile(o.In, recipe, recipeError)) {
    int64_t w = recipe.Width, h = recipe.Height;
    if (!o.Size.empty() && !ParseSize(o.Size, w, h))
      return Fail("--size takes WIDTHxHEIGHT, e.g. 1024x1024", kExitUsage);
    if (o.Scale > 0) {
      w = std::llround(recipe.Width * o.Scale);
      h = std::llround(recipe.Height * o.Scale);
    }
    if (!limits::SizeValid(w, h)) return Fail("Size must be between 1 and 5000.", kExitUsage);
    if (!RenderRecipe(recipe, texture, static_cast<int32_t>(w), static_cast<int32_t>(h)))
      return Fail("Not enough memory.", kExitFailure);
    wrap = o.NoSeamless ? false : (o.Seamless || recipe.Seamless);
    // Slopes spread over as many more pixels as the render is larger.
    slopeScale = std::sqrt(static_cast<double>(w) / recipe.Width * static_cast<double>(h) / recipe.Height);
  } else {
    if (!LoadPictureFile(o.In, texture, error)) {
      // A file that is no picture at all gets the recipe reader's word.
      const bool noPicture = error.find(CodecResultText(kCodecWrongFormat)) != std::string::npos;
      return Fail(noPicture ? recipeError : error, kExitFailure);
    }
    if (o.Scale > 0 || !o.Size.empty())
      return Fail(o.In + " carries no recipe, so it cannot be rendered at another size", kExitUsage);
  }
  if (!WriteMaps(texture, o.Maps, wrap, slopeScale, o.Height, o.Normal, error)) return Fail(error, kExitFailure);
  return kExitOk;
}

}  // namespace

void AddMapOptions(CLI::App* cmd, MapArguments& a) {
  cmd->add_option("--strength", a.Strength, "Steepness of the normals (slope factor)")
      ->check(CLI::Range(-maps::kMaxStrength, maps::kMaxStrength))
      ->capture_default_str();
  cmd->add_option("--height-blur", a.HeightBlur, "Smooth the heights over this radius in pixels first")
      ->check(CLI::Range(0, maps::kMaxHeightBlur))
      ->capture_default_str();
  cmd->add_flag("--directx", a.DirectX, "Green points down in the normal map (the default points up)");
  cmd->add_flag("--height-8bit", a.Height8Bit, "Write the height map with 8 bits instead of 16");
}

void AddMapsCommand(CLI::App& app, int& result) {
  auto o = std::make_shared<MapsOptions>();
  auto* cmd = app.add_subcommand("maps", "Write the height and normal maps of a texture, for 3D surfaces");
  cmd->add_option("INPUT", o->In, "Recipe file, PNG file Orvelle wrote (it carries its recipe), or any picture")
      ->required();
  cmd->add_option("--height", o->Height, "Height map to write (16-bit gray PNG)");
  cmd->add_option("--normal", o->Normal, "Normal map to write (RGB)");
  cmd->add_option("--scale", o->Scale, "Render the recipe this many times its size first")->check(CLI::PositiveNumber);
  cmd->add_option("--size", o->Size, "Render the recipe at WIDTHxHEIGHT first");
  cmd->add_flag("--seamless", o->Seamless, "Wrap around the edges (default: the recipe's setting; pictures: clamped)");
  cmd->add_flag("--no-seamless", o->NoSeamless, "Clamp at the edges");
  AddMapOptions(cmd, o->Maps);
  cmd->callback([o, &result] { result = RunMaps(*o); });
}

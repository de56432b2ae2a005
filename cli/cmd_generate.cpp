// `orvelle-cli generate`, `vary`, `render` and `transform`: the desktop
// program's Generate, Variations, Resize and turn/flip commands for scripts.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/batch_writer.h"
#include "cli/commands.h"
#include "cli/io.h"
#include "core/atomic_file.h"
#include "core/limits.h"
#include "core/random.h"
#include "generator/batch_seed.h"
#include "generator/generator.h"
#include "generator/texture_edit.h"
#include "recipe/recipe.h"

namespace {

constexpr const char* kSizeMessage = "Size must be between 1 and 5000.";

// Shows "[n/total] name" on stderr: one updating line on a terminal, a line
// per file otherwise.
class ProgressLine {
public:
  explicit ProgressLine(int total) : Total(total), Terminal(::isatty(STDERR_FILENO) == 1) {}
  void Step(int n, const std::string& name) {
    if (Terminal) std::fprintf(stderr, "\r[%d/%d] %s\033[K", n, Total, name.c_str());
    else std::fprintf(stderr, "[%d/%d] %s\n", n, Total, name.c_str());
    std::fflush(stderr);
  }
  ~ProgressLine() {
    if (Terminal) std::fprintf(stderr, "\n");
  }

private:
  int Total;
  bool Terminal;
};

bool SizeValid(int64_t w, int64_t h) { return limits::SizeValid(w, h); }

bool MakeFolder(const std::string& dir, std::string& error) {
  if (dir.empty() || CreateFolders(dir, 0755)) return true;
  if (errno == ENOTDIR) error = dir + " is not a folder";
  else error = "cannot create folder " + dir + ": " + std::strerror(errno);
  return false;
}

std::string Join(const std::string& dir, const std::string& name) {
  if (dir.empty() || dir == ".") return name;
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}

std::string TextureName(int64_t index, const std::string& ext) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "texture-%04lld.%s", static_cast<long long>(index), ext.c_str());
  return buf;
}

// "texture-0001-height.png" and the like.
std::string MapName(int64_t index, const char* map) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "texture-%04lld-%s.png", static_cast<long long>(index), map);
  return buf;
}

std::string RecipeName(int64_t index) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "texture-%04lld.recipe.json", static_cast<long long>(index));
  return buf;
}

// Writes a texture's picture and recipe side by side: both or neither.
bool WriteTexture(const std::string& dir, int64_t index, const mvPictureLayer& t, bool seamless, const std::string& ext,
                  bool keepAlpha, int quality, std::string& error, std::optional<uint32_t> seed = std::nullopt) {
  mvStagedFile picture, recipe;
  const std::string recipePath = Join(dir, RecipeName(index));
  const nlohmann::json doc = RecipeToJson(t, seamless, seed);
  const std::string embedded = doc.dump();
  if (!StagePictureFile(Join(dir, TextureName(index, ext)), t, !keepAlpha, quality, picture, error, &embedded))
    return false;
  if (!StageFileContent(recipe, recipePath, doc.dump(2) + "\n")) {
    error = "cannot write " + recipePath + ": " + std::strerror(errno);
    return false;
  }
  return CommitTogether({&picture, &recipe}, error);
}

// All pictures in a grid on white (or transparent with keepAlpha), 4 px
// apart. Its size follows from the arguments, so it is made (or refused)
// before the first texture, and each texture is drawn into it as it comes.
class ContactSheet {
public:
  bool Create(int64_t count, int64_t cellWidth, int64_t cellHeight, bool keepAlpha, std::string& error) {
    Cols = static_cast<int64_t>(std::ceil(std::sqrt(static_cast<double>(count))));
    const int64_t rows = (count + Cols - 1) / Cols;
    CellW = cellWidth;
    CellH = cellHeight;
    const int64_t w = Cols * (CellW + kGap) + kGap, h = rows * (CellH + kGap) + kGap;
    if (w > 100000 || h > 100000 || w * h > limits::MaxPixels()) {
      error = "a contact sheet of " + std::to_string(count) + " textures of " + std::to_string(CellW) + " x " +
              std::to_string(CellH) + " would be " + std::to_string(w) + " x " + std::to_string(h) +
              " pixels, more than " + std::to_string(limits::MaxPixels()) + " (ORVELLE_MAX_PIXELS)";
      return false;
    }
    if (!Sheet.Create(static_cast<int32_t>(w), static_cast<int32_t>(h), ColorTypeRGB, 8, 4)) {
      error = "not enough memory for a " + std::to_string(w) + " x " + std::to_string(h) + " contact sheet";
      return false;
    }
    Sheet.Fill(nullptr, keepAlpha ? mvColor::RGBA8(0, 0, 0, 0) : mvColor::RGBA8(255, 255, 255, 255));
    return true;
  }
  void Draw(int64_t i, const mvPicture& texture) {
    const int32_t x = static_cast<int32_t>(kGap + (i % Cols) * (CellW + kGap));
    const int32_t y = static_cast<int32_t>(kGap + (i / Cols) * (CellH + kGap));
    BlendRect(Sheet, x, y, texture, 0, 0, texture.Width, texture.Height, 0, 65535);
  }
  bool Save(const std::string& path, bool keepAlpha, int quality, std::string& error) const {
    return SavePictureFile(path, Sheet, !keepAlpha, quality, error);
  }

private:
  static constexpr int64_t kGap = 4;
  int64_t Cols = 1, CellW = 0, CellH = 0;
  mvPicture Sheet;
};

uint32_t SeedOrClock(const std::optional<int64_t>& seed) {
  const uint32_t s = seed ? static_cast<uint32_t>(*seed) : TickCount();
  std::cerr << "seed: " << s << "\n";
  return s;
}

// ---- generate ----------------------------------------------------------------

struct GenerateOptions {
  int64_t Count = 12, Width = 120, Height = 120;
  std::string Size;
  int Render = 2, Filter = 3, Geometric = 3;
  bool Seamless = true, NoSeamless = false, KeepAlpha = false, PerTextureSeeds = false;
  std::optional<int64_t> Seed;
  int64_t First = 1;
  std::string Format = "png", Dir = ".", ContactSheet;
  int Quality = 90;
  bool Maps = false;
  MapArguments MapOptions;
};

int RunGenerate(const GenerateOptions& o) {
  int64_t w = o.Width, h = o.Height;
  if (!o.Size.empty() && !ParseSize(o.Size, w, h)) {
    std::cerr << "orvelle-cli generate: --size takes WIDTHxHEIGHT, e.g. 256x256\n";
    return kExitUsage;
  }
  if (!SizeValid(w, h)) {
    std::cerr << "orvelle-cli generate: " << kSizeMessage << "\n";
    return kExitUsage;
  }
  if (o.Count < limits::kMinBatch || o.Count > (o.PerTextureSeeds ? limits::kMaxSeededBatch : limits::kMaxBatch)) {
    std::cerr << "orvelle-cli generate: Number must be between 1 and " << limits::kMaxBatch << " (1 and "
              << limits::kMaxSeededBatch << " with --per-texture-seeds).\n";
    return kExitUsage;
  }
  if (o.First < 1 || o.First > int64_t{kMaxTextureIndex} - o.Count + 1) {
    std::cerr << "orvelle-cli generate: textures --first .. --first + --count - 1 must lie within 1.."
              << kMaxTextureIndex << "\n";
    return kExitUsage;
  }
  std::string error;
  ContactSheet sheet;
  if (!o.ContactSheet.empty() && !sheet.Create(o.Count, w, h, o.KeepAlpha, error)) {
    std::cerr << "orvelle-cli generate: " << error << "\n";
    return kExitFailure;
  }
  if (!MakeFolder(o.Dir, error)) {
    std::cerr << "orvelle-cli generate: " << error << "\n";
    return kExitFailure;
  }
  const bool seamless = !o.NoSeamless;
  mvRandom random;
  const uint32_t batchSeed = SeedOrClock(o.Seed);
  random.Seed(batchSeed);
  const GeneratorParametersT params{o.Render, o.Filter, o.Geometric, seamless};
  ProgressLine progress(static_cast<int>(o.Count));
  BatchWriter writer;
  for (int64_t i = o.First; i < o.First + o.Count; ++i) {
    std::optional<uint32_t> own;
    if (o.PerTextureSeeds) {
      own = TextureSeed(batchSeed, static_cast<uint32_t>(i));
      random.Seed(*own);
    }
    std::shared_ptr<mvPictureLayer> t = std::make_shared<mvPictureLayer>();
    if (!t->Create(static_cast<int32_t>(w), static_cast<int32_t>(h), ColorTypeRGB, 8, 4)) {
      std::cerr << "\norvelle-cli generate: Not enough memory.\n";
      return kExitFailure;
    }
    if (!GenerateTexture(*t, random, params)) {
      std::cerr << "\norvelle-cli generate: texture " << i << " could not be made; stopping\n";
      return kExitFailure;
    }
    progress.Step(static_cast<int>(i - o.First + 1), TextureName(i, o.Format));
    if (!o.ContactSheet.empty()) sheet.Draw(i - o.First, *t);
    // Written while the next texture is made.
    const bool queued = writer.Add([&o, t, i, seamless, own](std::string& why) {
      return WriteTexture(o.Dir, i, *t, seamless, o.Format, o.KeepAlpha, o.Quality, why, own) &&
             (!o.Maps || WriteMaps(*t, o.MapOptions, seamless, 1.0, Join(o.Dir, MapName(i, "height")),
                                   Join(o.Dir, MapName(i, "normal")), why));
    });
    if (!queued) break;
  }
  if (!writer.Finish(error)) {
    std::cerr << "\norvelle-cli generate: " << error << "\n";
    return kExitFailure;
  }
  if (!o.ContactSheet.empty() && !sheet.Save(o.ContactSheet, o.KeepAlpha, o.Quality, error)) {
    std::cerr << "orvelle-cli generate: " << error << "\n";
    return kExitFailure;
  }
  return kExitOk;
}

// ---- vary --------------------------------------------------------------------

struct VaryOptions {
  std::string Recipe, Dir = ".", Format = "png";
  int64_t Count = 12;
  std::optional<int64_t> Seed;
  bool Seamless = false, NoSeamless = false, KeepAlpha = false;
  int Quality = 90;
};

bool LoadRecipe(const std::string& path, Recipe& recipe, mvPictureLayer& layer, const char* cmd) {
  std::string error;
  if (!ReadRecipeFile(path, recipe, error)) {
    std::cerr << "orvelle-cli " << cmd << ": " << error << "\n";
    return false;
  }
  if (!RenderRecipe(recipe, layer)) {
    std::cerr << "orvelle-cli " << cmd << ": Not enough memory.\n";
    return false;
  }
  return true;
}

int RunVary(const VaryOptions& o) {
  if (o.Count < limits::kMinVariations || o.Count > limits::kMaxVariations) {
    std::cerr << "orvelle-cli vary: Number must be between 2 and 1000.\n";
    return kExitUsage;
  }
  Recipe recipe;
  mvPictureLayer source;
  if (!LoadRecipe(o.Recipe, recipe, source, "vary")) return kExitFailure;
  std::string error;
  if (!MakeFolder(o.Dir, error)) {
    std::cerr << "orvelle-cli vary: " << error << "\n";
    return kExitFailure;
  }
  const bool seamless = o.Seamless ? true : (o.NoSeamless ? false : recipe.Seamless);
  mvRandom random;
  random.Seed(SeedOrClock(o.Seed));
  ProgressLine progress(static_cast<int>(o.Count));
  BatchWriter writer;
  for (int i = 0; i < o.Count; ++i) {
    std::shared_ptr<mvPictureLayer> copy(source.Clone());
    if (!copy) {
      std::cerr << "\norvelle-cli vary: Not enough memory.\n";
      return kExitFailure;
    }
    if (i > 0 && !MakeVariation(*copy, random, seamless)) {
      std::cerr << "\norvelle-cli vary: the recipe has no effect to vary\n";
      return kExitFailure;
    }
    progress.Step(i + 1, TextureName(i + 1, o.Format));
    // The unchanged texture keeps the seed it was made from; variations have none of their own.
    const std::optional<uint32_t> seed = i == 0 ? recipe.Seed : std::nullopt;
    if (!writer.Add([&o, copy, i, seamless, seed](std::string& why) {
          return WriteTexture(o.Dir, i + 1, *copy, seamless, o.Format, o.KeepAlpha, o.Quality, why, seed);
        }))
      break;
  }
  if (!writer.Finish(error)) {
    std::cerr << "\norvelle-cli vary: " << error << "\n";
    return kExitFailure;
  }
  return kExitOk;
}

// ---- render ------------------------------------------------------------------

struct RenderOptions {
  std::string Recipe, Out, Size;
  double Scale = 0;
  bool KeepAlpha = false;
  int Quality = 90;
};

int RunRender(const RenderOptions& o) {
  if (o.Scale > 0 && !o.Size.empty()) {
    std::cerr << "orvelle-cli render: give --scale or --size, not both\n";
    return kExitUsage;
  }
  Recipe recipe;
  std::string error;
  if (!ReadRecipeFile(o.Recipe, recipe, error)) {
    std::cerr << "orvelle-cli render: " << error << "\n";
    return kExitFailure;
  }
  int64_t w, h;
  if (!o.Size.empty()) {
    if (!ParseSize(o.Size, w, h)) {
      std::cerr << "orvelle-cli render: --size takes WIDTHxHEIGHT, e.g. 512x512\n";
      return kExitUsage;
    }
  } else {
    // Without either, the recipe's own size.
    const double scale = o.Scale > 0 ? o.Scale : 1.0;
    w = static_cast<int64_t>(std::llround(recipe.Width * scale));
    h = static_cast<int64_t>(std::llround(recipe.Height * scale));
  }
  if (!SizeValid(w, h)) {
    std::cerr << "orvelle-cli render: " << kSizeMessage << "\n";
    return kExitUsage;
  }
  mvPictureLayer layer;
  if (!RenderRecipe(recipe, layer, static_cast<int32_t>(w), static_cast<int32_t>(h))) {
    std::cerr << "orvelle-cli render: Not enough memory.\n";
    return kExitFailure;
  }
  const std::string embedded = RecipeToJson(layer, recipe.Seamless, recipe.Seed).dump();
  if (!SavePictureFile(o.Out, layer, !o.KeepAlpha, o.Quality, error, &embedded)) {
    std::cerr << "orvelle-cli render: " << error << "\n";
    return kExitFailure;
  }
  return kExitOk;
}

// ---- transform ---------------------------------------------------------------

struct TransformOptions {
  std::string Recipe, Out, Image;
  bool Right = false, Left = false, Half = false, FlipV = false, FlipH = false, KeepAlpha = false;
  int Quality = 90;
};

int RunTransform(const TransformOptions& o) {
  const int chosen = o.Right + o.Left + o.Half + o.FlipV + o.FlipH;
  if (chosen != 1) {
    std::cerr << "orvelle-cli transform: give exactly one of --rotate-right, --rotate-left, --rotate-180, "
                 "--flip-vertical, --flip-horizontal\n";
    return kExitUsage;
  }
  Recipe recipe;
  mvPictureLayer layer;
  if (!LoadRecipe(o.Recipe, recipe, layer, "transform")) return kExitFailure;
  const TurnCommand c = o.Right   ? TurnCommand::RotateRight
                        : o.Left  ? TurnCommand::RotateLeft
                        : o.Half  ? TurnCommand::Rotate180
                        : o.FlipV ? TurnCommand::FlipVertical
                                  : TurnCommand::FlipHorizontal;
  if (!TurnOrFlip(layer, c)) {
    std::cerr << "orvelle-cli transform: the turn could not be applied\n";
    return kExitFailure;
  }
  // The recipe and its picture are written both or neither.
  std::string error;
  mvStagedFile recipeFile, imageFile;
  const nlohmann::json doc = RecipeToJson(layer, recipe.Seamless);
  const std::string embedded = doc.dump();
  bool ok = StageFileContent(recipeFile, o.Out, doc.dump(2) + "\n");
  if (!ok) error = "cannot write " + o.Out + ": " + std::strerror(errno);
  if (ok && !o.Image.empty())
    ok = StagePictureFile(o.Image, layer, !o.KeepAlpha, o.Quality, imageFile, error, &embedded);
  if (ok)
    ok = o.Image.empty() ? CommitTogether({&recipeFile}, error) : CommitTogether({&imageFile, &recipeFile}, error);
  if (!ok) {
    std::cerr << "orvelle-cli transform: " << error << "\n";
    return kExitFailure;
  }
  return kExitOk;
}

void AddOutputOptions(CLI::App* cmd, bool& keepAlpha, int& quality) {
  cmd->add_flag("--keep-alpha", keepAlpha, "Write pictures as they are instead of flattened onto white");
  cmd->add_option("--quality", quality, "JPEG quality")->check(CLI::Range(0, 100))->capture_default_str();
}

}  // namespace

void AddGenerateCommands(CLI::App& app, int& result) {
  {
    auto o = std::make_shared<GenerateOptions>();
    auto* cmd = app.add_subcommand("generate", "Make a batch of random textures, as the Generate button does");
    cmd->add_option("-n,--count", o->Count, "Number of textures (1..1000; 1..1000000 with --per-texture-seeds)")
        ->capture_default_str();
    cmd->add_option("--size", o->Size, "WIDTHxHEIGHT, each 1..5000 (default 120x120)");
    cmd->add_option("-W,--width", o->Width, "Width in pixels")->capture_default_str();
    cmd->add_option("-H,--height", o->Height, "Height in pixels")->capture_default_str();
    cmd->add_option("--render", o->Render, "Render level: up to this many layers")
        ->check(CLI::Range(1, 5))
        ->capture_default_str();
    cmd->add_option("--filter", o->Filter, "Filter level: up to this many filters")
        ->check(CLI::Range(0, 5))
        ->capture_default_str();
    cmd->add_option("--geometric", o->Geometric, "Geometric level: patterns and distortions")
        ->check(CLI::Range(0, 5))
        ->capture_default_str();
    cmd->add_flag("--seamless", o->Seamless, "Textures tile without seams (the default)");
    cmd->add_flag("--no-seamless", o->NoSeamless, "Textures need not tile");
    cmd->add_option("--seed", o->Seed, "Seed of the generator (default: the clock; printed as \"seed: N\")")
        ->check(CLI::Range(int64_t{0}, int64_t{4294967295}));
    auto* perTexture =
        cmd->add_flag("--per-texture-seeds", o->PerTextureSeeds,
                      "Texture i is made from its own seed, a fixed function of the seed and i, so any range "
                      "of a batch can be made alone; each recipe records its seed");
    cmd->add_option("--first", o->First,
                    "Index of the first texture, 1..4294967295 (with --per-texture-seeds); file names carry the index")
        ->needs(perTexture)
        ->capture_default_str();
    cmd->add_option("--format", o->Format, "Image format")
        ->check(CLI::IsMember({"png", "jpg", "bmp"}))
        ->capture_default_str();
    cmd->add_option("-o,--output", o->Dir, "Folder for texture-NNNN.<format> and texture-NNNN.recipe.json")
        ->capture_default_str();
    cmd->add_option("--contact-sheet", o->ContactSheet, "Also write all textures in one grid image");
    cmd->add_flag("--maps", o->Maps, "Also write texture-NNNN-height.png and texture-NNNN-normal.png beside each");
    AddMapOptions(cmd, o->MapOptions);
    AddOutputOptions(cmd, o->KeepAlpha, o->Quality);
    cmd->callback([o, &result] { result = RunGenerate(*o); });
  }
  {
    auto o = std::make_shared<VaryOptions>();
    auto* cmd = app.add_subcommand("vary", "Make variations of a recipe, as the Variations command does");
    cmd->add_option("RECIPE", o->Recipe, "Recipe file (.recipe.json), or a PNG file Orvelle wrote")->required();
    cmd->add_option("-n,--count", o->Count, "Number of textures including the unchanged one (2..1000)")
        ->capture_default_str();
    cmd->add_option("--seed", o->Seed, "Seed of the variation maker (default: the clock)")
        ->check(CLI::Range(int64_t{0}, int64_t{4294967295}));
    cmd->add_flag("--seamless", o->Seamless, "Vary as a seamless texture (default: the recipe's setting)");
    cmd->add_flag("--no-seamless", o->NoSeamless, "Vary as a texture that need not tile");
    cmd->add_option("--format", o->Format, "Image format")
        ->check(CLI::IsMember({"png", "jpg", "bmp"}))
        ->capture_default_str();
    cmd->add_option("-o,--output", o->Dir, "Output folder")->capture_default_str();
    AddOutputOptions(cmd, o->KeepAlpha, o->Quality);
    cmd->callback([o, &result] { result = RunVary(*o); });
  }
  {
    auto o = std::make_shared<RenderOptions>();
    auto* cmd = app.add_subcommand("render", "Render a recipe at another size, as the Resize command does");
    cmd->add_option("RECIPE", o->Recipe, "Recipe file, or a PNG file Orvelle wrote (it carries its recipe)")
        ->required();
    cmd->add_option("OUT", o->Out, "Image to write (.png, .jpg, .bmp)")->required();
    cmd->add_option("--scale", o->Scale, "Factor of the recipe's size (e.g. 2; default: the recipe's own size)")
        ->check(CLI::PositiveNumber);
    cmd->add_option("--size", o->Size, "WIDTHxHEIGHT (default: the recipe's own size)");
    AddOutputOptions(cmd, o->KeepAlpha, o->Quality);
    cmd->callback([o, &result] { result = RunRender(*o); });
  }
  {
    auto o = std::make_shared<TransformOptions>();
    auto* cmd = app.add_subcommand("transform", "Turn or flip a recipe; an opposite step already there is taken out");
    cmd->add_option("RECIPE", o->Recipe, "Recipe file, or a PNG file Orvelle wrote")->required();
    cmd->add_option("OUT", o->Out, "Recipe file to write")->required();
    cmd->add_flag("--rotate-right", o->Right, "Quarter turn clockwise");
    cmd->add_flag("--rotate-left", o->Left, "Quarter turn counter-clockwise");
    cmd->add_flag("--rotate-180", o->Half, "Half turn");
    cmd->add_flag("--flip-vertical", o->FlipV, "Upside down");
    cmd->add_flag("--flip-horizontal", o->FlipH, "Left to right");
    cmd->add_option("--image", o->Image, "Also write the turned texture's picture");
    AddOutputOptions(cmd, o->KeepAlpha, o->Quality);
    cmd->callback([o, &result] { result = RunTransform(*o); });
  }
}

#pragma once
// The long work of the desktop program, run on its worker thread. This is the
// one place of the program that drives the generator and the variation maker
// and their process-wide state; only the worker thread calls it, one job at a
// time, so nothing else touches that state while a job runs.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "effects/effect.h"
#include "effects/layer.h"
#include "generator/texture_edit.h"

// A job's link back to the program: "n of N" for jobs of several textures,
// and the effects' progress (per cent of one large render) with the stop
// request, both through mvProgress.
class JobControl : public mvProgress {
public:
  virtual void Step(int32_t done, int32_t total) = 0;
};

struct MadeTexture {
  std::unique_ptr<mvPictureLayer> Texture;
  bool Seamless = false;
  std::string File;  // the recipe file it came from, when it did
};
// Takes each texture as it is made, in order.
using TextureSink = std::function<void(MadeTexture)>;

// How a job ended, for the messages the program shows afterwards.
struct JobOutcome {
  int32_t Made = 0;
  bool OutOfMemory = false;
  bool Stopped = false;
  std::vector<std::string> Problems;  // one line each, in the user's words
};

struct BatchSettings {
  int32_t Width = 120, Height = 120;
  int32_t Render = 2, Filter = 3, Geometric = 3;
  bool Seamless = true;
  int32_t Number = 12;
  uint32_t Seed = 0;
};

// A Generate batch: the generator seeded with settings.Seed, then Number
// textures, exactly as `orvelle-cli generate --seed` makes them.
JobOutcome MakeBatch(const BatchSettings& settings, JobControl& control, const TextureSink& sink);

// The source unchanged, then count - 1 variations of it (the variation
// maker's random source runs on from call to call).
JobOutcome MakeVariations(const mvPictureLayer& source, bool seamless, int32_t count, JobControl& control,
                          const TextureSink& sink);

// The source's recipe rendered at width x height, reporting per cent.
JobOutcome RenderLarger(const mvPictureLayer& source, bool seamless, int32_t width, int32_t height, JobControl& control,
                        const TextureSink& sink);

// A turned or flipped copy of the texture.
JobOutcome TurnCopy(const mvPictureLayer& texture, bool seamless, TurnCommand command, JobControl& control,
                    const TextureSink& sink);

// Each recipe file read and rendered; files that are no recipe are named in
// the outcome's problems and skipped.
JobOutcome ReadRecipes(const std::vector<std::string>& files, JobControl& control, const TextureSink& sink);

// Writes every texture to folder as base name + "." + the format's extension
// (1 BMP, 2 JPEG, 3 PNG; flattened onto white, with the comment) and base
// name + ".recipe.json". Stops at the first file that cannot be written.
struct SaveEntry {
  std::shared_ptr<const mvPictureLayer> Texture;
  bool Seamless = false;
  std::string BaseName;
};
JobOutcome SaveTextures(const std::vector<SaveEntry>& entries, const std::string& folder, int32_t format,
                        int32_t jpegQuality, JobControl& control);

// What Save maps makes of a texture.
struct MapsRequest {
  bool Height = true;
  bool Normal = true;
  bool Height16 = true;  // the height map as 16-bit gray, else 8-bit
  bool DirectX = false;  // the normal map's green points down
  double Strength = 2.0;
  int32_t HeightBlur = 0;
  int32_t Factor = 1;  // the texture re-rendered this many times larger first
};
// The files Save maps writes for a chosen name: NAME-height.png, NAME-normal.png.
std::vector<std::string> MapFiles(const std::string& base, const MapsRequest& request);
// The texture's height and normal maps as PNG files (MapFiles), tiling as
// the texture does when it is seamless; with a factor above 1 the recipe is
// rendered that much larger first and the normals' slopes scaled to match.
// Each file appears whole or not at all.
JobOutcome SaveTextureMaps(const mvPictureLayer& texture, bool seamless, const MapsRequest& request,
                           const std::string& base, JobControl& control);

// Writes one texture as an image file (a PNG file carries its recipe); an
// empty answer on success, else the reason in the user's words.
std::string SaveTextureImage(const mvPictureLayer& texture, bool seamless, const std::string& path, int32_t format,
                             int32_t jpegQuality);
// The extensions of a save format (the first is the default).
std::vector<std::string> FormatExtensions(int32_t format);

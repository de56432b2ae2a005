#include "app/forms/jobs.h"

#include <cerrno>
#include <new>

#include "app/forms/form_logic.h"
#include "codecs/bmp.h"
#include "codecs/jpeg.h"
#include "codecs/png.h"
#include "generator/generator.h"
#include "maps/maps.h"
#include "recipe/recipe.h"

namespace {

void Deliver(const TextureSink& sink, JobOutcome& outcome, std::unique_ptr<mvPictureLayer> texture, bool seamless,
             std::string file = {}) {
  sink(MadeTexture{std::move(texture), seamless, std::move(file)});
  ++outcome.Made;
}

// A new, empty texture in the program's format; null when there is no room.
std::unique_ptr<mvPictureLayer> NewTexture(int32_t width, int32_t height) {
  std::unique_ptr<mvPictureLayer> texture(new (std::nothrow) mvPictureLayer);
  if (!texture || !texture->Create(width, height, ColorTypeRGB, 8, 4)) return nullptr;
  return texture;
}

}  // namespace

JobOutcome MakeBatch(const BatchSettings& settings, JobControl& control, const TextureSink& sink) {
  JobOutcome outcome;
  // Each batch draws from its own source seeded with the batch's seed, as
  // orvelle-cli generate --seed does, so a batch can be made again.
  mvRandom random;
  random.Seed(settings.Seed);
  const GeneratorParametersT params{settings.Render, settings.Filter, settings.Geometric, settings.Seamless};
  for (int32_t i = 0; i < settings.Number; ++i) {
    if (control.StopRequested()) {
      outcome.Stopped = true;
      break;
    }
    std::unique_ptr<mvPictureLayer> texture = NewTexture(settings.Width, settings.Height);
    if (!texture) {
      outcome.OutOfMemory = true;
      break;
    }
    try {
      if (!GenerateTexture(*texture, random, params)) break;
    } catch (const std::bad_alloc&) {
      outcome.OutOfMemory = true;
      break;
    }
    Deliver(sink, outcome, std::move(texture), settings.Seamless);
    control.Step(i + 1, settings.Number);
  }
  return outcome;
}

JobOutcome MakeVariations(const mvPictureLayer& source, bool seamless, int32_t count, JobControl& control,
                          const TextureSink& sink) {
  JobOutcome outcome;
  for (int32_t i = 0; i < count; ++i) {
    if (control.StopRequested()) {
      outcome.Stopped = true;
      break;
    }
    std::unique_ptr<mvPictureLayer> copy(source.Clone());
    if (!copy) {
      outcome.OutOfMemory = true;
      break;
    }
    try {
      if (i > 0 && !MakeVariation(*copy, VariationRandom, seamless)) break;
    } catch (const std::bad_alloc&) {
      outcome.OutOfMemory = true;
      break;
    }
    Deliver(sink, outcome, std::move(copy), seamless);
    control.Step(i + 1, count);
  }
  return outcome;
}

JobOutcome RenderLarger(const mvPictureLayer& source, bool seamless, int32_t width, int32_t height, JobControl& control,
                        const TextureSink& sink) {
  JobOutcome outcome;
  std::unique_ptr<mvPictureLayer> texture;
  try {
    texture = RerenderTexture(source, width, height, &control);
  } catch (const std::bad_alloc&) {
    texture.reset();
  }
  if (control.StopRequested()) {
    outcome.Stopped = true;
    return outcome;
  }
  if (!texture) {
    outcome.OutOfMemory = true;
    return outcome;
  }
  Deliver(sink, outcome, std::move(texture), seamless);
  return outcome;
}

JobOutcome TurnCopy(const mvPictureLayer& texture, bool seamless, TurnCommand command, JobControl& control,
                    const TextureSink& sink) {
  (void)control;
  JobOutcome outcome;
  std::unique_ptr<mvPictureLayer> copy;
  try {
    copy.reset(texture.Clone());
    if (copy && !TurnOrFlip(*copy, command)) copy.reset();
  } catch (const std::bad_alloc&) {
    copy.reset();
  }
  if (!copy) {
    outcome.OutOfMemory = true;
    return outcome;
  }
  Deliver(sink, outcome, std::move(copy), seamless);
  return outcome;
}

JobOutcome ReadRecipes(const std::vector<std::string>& files, JobControl& control, const TextureSink& sink) {
  JobOutcome outcome;
  const int32_t total = static_cast<int32_t>(files.size());
  for (int32_t i = 0; i < total; ++i) {
    if (control.StopRequested()) {
      outcome.Stopped = true;
      break;
    }
    const std::string& file = files[static_cast<size_t>(i)];
    Recipe recipe;
    std::string error;
    if (!ReadRecipeFile(file, recipe, error)) {
      outcome.Problems.push_back(RecipeProblemText(file, error));
      control.Step(i + 1, total);
      continue;
    }
    std::unique_ptr<mvPictureLayer> texture = NewTexture(recipe.Width, recipe.Height);
    bool made = texture != nullptr;
    try {
      for (size_t e = 0; made && e < recipe.Effects.size(); ++e) {
        mvEffect* copy = recipe.Effects[e]->Clone();
        if (!copy || !texture->AddEffect(copy, false)) {
          delete copy;
          made = false;
        }
      }
      made = made && texture->Render(&control);
    } catch (const std::bad_alloc&) {
      made = false;
    }
    if (control.StopRequested()) {
      outcome.Stopped = true;
      break;
    }
    if (!made) {
      outcome.OutOfMemory = true;
      break;
    }
    Deliver(sink, outcome, std::move(texture), recipe.Seamless, file);
    control.Step(i + 1, total);
  }
  return outcome;
}

std::vector<std::string> FormatExtensions(int32_t format) {
  if (format == 2) return mvJPEGCodec().ExtensionList();
  if (format == 3) return mvPNGCodec().ExtensionList();
  return mvBMPCodec().ExtensionList();
}

std::string SaveTextureImage(const mvPictureLayer& texture, bool seamless, const std::string& path, int32_t format,
                             int32_t jpegQuality) {
  // Each save has codecs of its own: a save on the worker never shares
  // codec options with one on the window's thread.
  mvBMPCodec bmp;
  mvJPEGCodec jpeg;
  mvPNGCodec png;
  mvCodec& codec = format == 2 ? static_cast<mvCodec&>(jpeg) : format == 3 ? static_cast<mvCodec&>(png) : bmp;
  if (format == 2) codec.SetOption("quality", std::to_string(jpegQuality).c_str());
  mvImage image;
  if (!image.Create(texture.Width, texture.Height, texture.ColorType, texture.BitDepth, texture.Channels))
    return "not enough memory";
  // The image only reads its layers; the texture is taken back before the image goes.
  auto* layer = const_cast<mvPictureLayer*>(&texture);
  if (!image.AddLayer(layer)) return "not enough memory";
  image.Flatten();
  image.RemoveLayer(layer);
  image.SetTextProperty("COMMENT", "Generated by Orvelle.");
  if (format == 3) image.SetTextProperty(kRecipeProperty, RecipeToJson(texture, seamless).dump());
  errno = 0;
  const int32_t result = SaveImageFile(codec, path.c_str(), image);
  const int error = errno;
  if (result == kCodecOK) return {};
  if (error != 0) return ReasonText(error);
  if (result == kCodecOutOfMemory) return "not enough memory";
  if (result == kCodecCannotOpen) return "the file cannot be created";
  return "the file could not be written";
}

JobOutcome SaveTextures(const std::vector<SaveEntry>& entries, const std::string& folder, int32_t format,
                        int32_t jpegQuality, JobControl& control) {
  JobOutcome outcome;
  const std::string extension = FormatExtensions(format).front();
  const int32_t total = static_cast<int32_t>(entries.size());
  for (int32_t i = 0; i < total; ++i) {
    if (control.StopRequested()) {
      outcome.Stopped = true;
      break;
    }
    const SaveEntry& entry = entries[static_cast<size_t>(i)];
    const std::string base = folder + "/" + entry.BaseName;
    const std::string image = base + "." + extension;
    std::string reason = SaveTextureImage(*entry.Texture, entry.Seamless, image, format, jpegQuality);
    if (!reason.empty()) {
      outcome.Problems.push_back(FileNameOf(image) + ": " + reason);
      break;
    }
    std::string error;
    errno = 0;
    if (!WriteJsonFile(base + kRecipeSuffix, RecipeToJson(*entry.Texture, entry.Seamless), error)) {
      outcome.Problems.push_back(FileNameOf(base + kRecipeSuffix) + ": " + ReasonText(errno));
      break;
    }
    ++outcome.Made;
    control.Step(i + 1, total);
  }
  return outcome;
}

std::vector<std::string> MapFiles(const std::string& base, const MapsRequest& request) {
  std::vector<std::string> files;
  if (request.Height) files.push_back(base + "-height.png");
  if (request.Normal) files.push_back(base + "-normal.png");
  return files;
}

namespace {

// A map staged as a PNG file with the program's comment; empty on success.
std::string StageMap(const mvPicture& map, const std::string& path, mvStagedFile& staged) {
  mvPNGCodec png;
  mvImage image;
  if (!image.CreateFrom(map)) return "not enough memory";
  image.SetTextProperty("COMMENT", "Generated by Orvelle.");
  errno = 0;
  const int32_t result = StageImageFile(png, path.c_str(), image, staged);
  const int error = errno;
  if (result == kCodecOK) return {};
  if (error != 0) return ReasonText(error);
  if (result == kCodecOutOfMemory) return "not enough memory";
  return "the file could not be written";
}

}  // namespace

JobOutcome SaveTextureMaps(const mvPictureLayer& texture, bool seamless, const MapsRequest& request,
                           const std::string& base, JobControl& control) {
  JobOutcome outcome;
  const int32_t total = (request.Height ? 1 : 0) + (request.Normal ? 1 : 0);
  std::unique_ptr<mvPictureLayer> larger;
  try {
    if (request.Factor > 1) {
      larger =
          RerenderTexture(texture, texture.BaseWidth * request.Factor, texture.BaseHeight * request.Factor, &control);
      if (control.StopRequested()) {
        outcome.Stopped = true;
        return outcome;
      }
      if (!larger) {
        outcome.OutOfMemory = true;
        return outcome;
      }
    }
    const mvPicture& source = larger ? *larger : texture;
    maps::MapOptions options;
    options.HeightBlur = request.HeightBlur;
    options.Strength = request.Strength;
    options.SlopeScale = request.Factor;
    options.DirectX = request.DirectX;
    options.Wrap = seamless;
    mvPicture height, normal, height8;
    if (!maps::MakeHeightMap(source, options, height) ||
        (request.Normal && !maps::MakeNormalMap(height, options, normal)) ||
        (request.Height && !request.Height16 && !maps::HeightTo8Bit(height, height8))) {
      outcome.OutOfMemory = true;
      return outcome;
    }
    const std::vector<std::string> files = MapFiles(base, request);
    std::vector<const mvPicture*> pictures;
    if (request.Height) pictures.push_back(request.Height16 ? &height : &height8);
    if (request.Normal) pictures.push_back(&normal);
    for (size_t i = 0; i < files.size(); ++i) {
      if (control.StopRequested()) {
        outcome.Stopped = true;
        break;
      }
      mvStagedFile staged;
      std::string reason = StageMap(*pictures[i], files[i], staged);
      errno = 0;
      if (reason.empty() && !staged.Commit()) reason = ReasonText(errno);
      if (!reason.empty()) {
        outcome.Problems.push_back(FileNameOf(files[i]) + ": " + reason);
        break;
      }
      ++outcome.Made;
      control.Step(static_cast<int32_t>(i) + 1, total);
    }
  } catch (const std::bad_alloc&) {
    outcome.OutOfMemory = true;
  }
  return outcome;
}

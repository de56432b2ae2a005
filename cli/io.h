#pragma once
#include <cstdint>
#include <string>

#include "core/atomic_file.h"
#include "core/picture.h"

// Reads BMP, PNG or JPEG into an RGB 8-bit picture with alpha.
bool LoadPictureFile(const std::string& path, mvPicture& picture, std::string& error);
// Writes by the extension of path (.png, .jpg/.jpeg, .bmp). With flatten the
// picture is laid onto white first, as the desktop program's Save does;
// otherwise it is written as it is. PNG and JPEG carry the program's comment,
// and a PNG file the recipe when one is given (its JSON text).
bool SavePictureFile(const std::string& path, const mvPicture& picture, bool flatten, int quality, std::string& error,
                     const std::string* recipe = nullptr);
// The same, stopping before the file replaces path: the caller commits
// staged together with the files that belong with it.
bool StagePictureFile(const std::string& path, const mvPicture& picture, bool flatten, int quality,
                      mvStagedFile& staged, std::string& error, const std::string* recipe = nullptr);
// Commits staged files in order; when one fails, those already committed are
// removed again, so that the set appears whole or not at all.
bool CommitTogether(std::initializer_list<mvStagedFile*> files, std::string& error);
// The message for a codec result code.
std::string CodecResultText(int code);
// "WIDTHxHEIGHT" (either x or X); false for anything else.
bool ParseSize(const std::string& text, int64_t& width, int64_t& height);

// Options shared by `maps` and `generate --maps`.
struct MapArguments {
  double Strength = 2.0;
  int HeightBlur = 0;
  bool DirectX = false, Height8Bit = false;
};
// Writes the height map (16-bit gray PNG, or 8-bit when asked) and the
// normal map (8-bit RGB) of a texture; an empty path skips that map. wrap:
// the texture is seamless; slopeScale: how much larger than its recipe's
// own size it was rendered.
bool WriteMaps(const mvPicture& texture, const MapArguments& arguments, bool wrap, double slopeScale,
               const std::string& heightPath, const std::string& normalPath, std::string& error);

#pragma once
#include <string>

#include "codecs/codec.h"

// The image text property a PNG file carries as a compressed iTXt chunk with
// the keyword "orvelle-recipe": the texture's recipe, so that the picture
// alone can be rendered again.
inline constexpr const char* kRecipeProperty = "RECIPE";
inline constexpr const char* kRecipeKeyword = "orvelle-recipe";

// PNG through libpng. 16-bit pictures keep their samples low byte first in
// memory; the codec has libpng swap them, so files hold them high byte first
// as PNG requires and read pictures come back low byte first.
class mvPNGCodec : public mvCodec {
public:
  const char* GetName() const override { return "PNG"; }
  const char* GetDescription() const override { return "Portable Network Graphics"; }
  const char* GetExtensions() const override { return "png\0"; }
  int32_t GetCapabilities() const override { return 3; }
  int32_t ReadImage(mvFileStream& stream, mvImage& image, mvProgress* progress) override;
  int32_t WriteImage(mvFileStream& stream, mvImage& image, mvProgress* progress) override;
  bool IsFormat(const uint8_t* bytes, uint32_t count) const override;

  int32_t CompressionLevel = 6;
  bool Interlace = false;
  bool CompressedComment = false;
};

// Finds the text of a tEXt, zTXt or iTXt chunk with the given keyword by
// walking the file's chunks, without decoding the picture. Decompressed text
// is limited to maxBytes.
enum class PNGTextResult { Found, NotPNG, NoChunk, Damaged, TooLarge, CannotRead };
PNGTextResult ReadPNGText(const char* path, const char* keyword, size_t maxBytes, std::string& text);

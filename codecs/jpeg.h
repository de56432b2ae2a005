#pragma once
#include "codecs/codec.h"

// JPEG through the classic libjpeg interface.
class mvJPEGCodec : public mvCodec {
public:
  const char* GetName() const override { return "JPEG"; }
  const char* GetDescription() const override { return "Joint Photographic Expart Group"; }
  const char* GetExtensions() const override { return "jpg\0jpeg\0jpe\0jfif\0"; }
  int32_t GetCapabilities() const override { return 3; }
  int32_t ReadImage(mvFileStream& stream, mvImage& image, mvProgress* progress) override;
  int32_t WriteImage(mvFileStream& stream, mvImage& image, mvProgress* progress) override;
  bool IsFormat(const uint8_t* bytes, uint32_t count) const override;
  // "quality" (any case): a C integer literal, clamped to 0...100.
  bool SetOption(const char* name, const char* value) override;

  // Decoder settings: the inverse DCT in libjpeg's numbering (1 = fast
  // integer) and whether progressive files get block smoothing.
  int32_t ReadDCTMethod = 1;
  bool ReadBlockSmoothing = false;
  int32_t Quality = 80;
  bool Progressive = false;
  bool Optimize = true;
};

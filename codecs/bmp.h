#pragma once
#include "codecs/codec.h"

// Uncompressed 24-bit and 8-bit bitmaps out; 1/4/8/16/24/32-bit, bit-field
// and run-length encoded bitmaps in, behind the core header or any of the
// information headers other programs write.
class mvBMPCodec : public mvCodec {
public:
  const char* GetName() const override { return "BMP"; }
  const char* GetDescription() const override { return "Windows Bitmap"; }
  const char* GetExtensions() const override { return "bmp\0dib\0rle\0"; }
  int32_t GetCapabilities() const override { return 3; }
  int32_t ReadImage(mvFileStream& stream, mvImage& image, mvProgress* progress) override;
  int32_t WriteImage(mvFileStream& stream, mvImage& image, mvProgress* progress) override;
  bool IsFormat(const uint8_t* bytes, uint32_t count) const override;

  bool TopDown = false;  // write the first row first, with a negative height
};

#pragma once
#include <bit>
#include <cstddef>
#include <cstdint>

enum : uint32_t { ColorTypeRGB = 0, ColorTypeGray = 1, ColorTypeIndexed = 2 };

struct mvRect {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
};

// One colour in any picture format; a plain value.
struct mvColor {
  uint32_t ColorType = ColorTypeRGB;
  uint32_t BitDepth = 8;
  uint32_t Channels = 3;
  uint8_t Samples[8] = {};

  mvColor() = default;  // opaque black, RGB 8-bit, 3 channels
  // RGB, 16-bit, 4 channels (how effects read a stored colour)
  mvColor(uint16_t r, uint16_t g, uint16_t b, uint16_t a);
  // RGB, 16-bit, 3 channels
  mvColor(uint16_t r, uint16_t g, uint16_t b);

  static mvColor RGB8(uint8_t r, uint8_t g, uint8_t b);
  static mvColor RGBA8(uint8_t r, uint8_t g, uint8_t b, uint8_t a);
  static mvColor Gray8(uint8_t v);

  // Sample i at the colour's own depth (16-bit samples are little-endian words).
  uint32_t Sample(int i) const;
  void SetSample(int i, uint32_t v);
  bool HasAlpha() const { return (Channels & 1u) == 0; }
  uint32_t MaxValue() const { return BitDepth == 16 ? 65535u : 255u; }

  // Equal when format and samples are equal.
  bool operator==(const mvColor& o) const;
};

struct mvPalette {
  int32_t Count = 0;
  uint8_t* Entries = nullptr;  // Count x (red, green, blue, 0)

  mvPalette() = default;
  mvPalette(const mvPalette&) = delete;
  mvPalette& operator=(const mvPalette&) = delete;
  ~mvPalette();
  bool InitPalette();  // 256 zeroed entries
};

bool IsValidFormat(uint32_t colorType, uint32_t bitDepth, uint32_t channels);
uint32_t StrideFor(int32_t width, uint32_t bitsPerPixel);

class mvPicture {
public:
  mvPicture();
  mvPicture(const mvPicture& other);
  mvPicture& operator=(const mvPicture&) = delete;
  virtual ~mvPicture();

  virtual bool Create(int32_t width, int32_t height, uint32_t colorType, uint32_t bitDepth, uint32_t channels);
  virtual void Free();
  virtual bool ConvertFormat(uint32_t colorType, uint32_t bitDepth, uint32_t channels);

  void Fill(const mvRect* rect, const mvColor& color);
  void Clear(const mvRect* rect);
  void GetPixel(int32_t x, int32_t y, void* out) const;
  void SetPixel(int32_t x, int32_t y, const void* in);
  bool SetPaletteEntry(int32_t index, uint8_t r, uint8_t g, uint8_t b);
  bool CopyPaletteFrom(const mvPicture& source);
  void MoveFrom(mvPicture& other);

  uint8_t* Row(int32_t y) { return Pixels + static_cast<size_t>(y) * Stride; }
  const uint8_t* Row(int32_t y) const { return Pixels + static_cast<size_t>(y) * Stride; }
  uint32_t BytesPerPixel() const { return static_cast<uint32_t>(BitsPerPixel) / 8; }
  bool HasAlpha() const { return (Channels & 1u) == 0; }
  bool IsEmpty() const { return Pixels == nullptr; }
  size_t ByteSize() const { return static_cast<size_t>(Stride) * static_cast<size_t>(Height); }
  // The area effects work on: the work rectangle when set, else the whole picture.
  mvRect Area() const;

  int32_t Width = 0;
  int32_t Height = 0;
  uint32_t ColorType = ColorTypeRGB;
  uint32_t BitDepth = 8;
  uint32_t Channels = 4;
  int32_t BitsPerPixel = 32;
  uint32_t Stride = 0;
  uint8_t* Pixels = nullptr;
  mvPalette* Palette = nullptr;
  uint8_t HasWorkRect = 0;
  mvRect WorkRect;
};

// Copies the top-left width x height pixels of source to (dx, dy), converting formats.
void CopyRect(mvPicture& destination, int32_t dx, int32_t dy, const mvPicture& source, int32_t width, int32_t height);
// Blends a rectangle of source onto destination (clipping, converting formats).
bool BlendRect(mvPicture& destination, int32_t dx, int32_t dy, const mvPicture& source, int32_t sx, int32_t sy,
               int32_t width, int32_t height, uint32_t mode, uint32_t opacity);
// Writes one raw pixel of the target format; false when the colour cannot be expressed in it.
bool ConvertColor(uint32_t targetType, const mvColor& color, uint32_t targetDepth, uint32_t targetChannels, void* out);
// Converts a run of count pixels between formats; false only for an unknown destination colour type.
bool ConvertRow(const void* src, uint32_t srcType, uint32_t srcDepth, uint32_t srcChannels, void* dst, uint32_t dstType,
                uint32_t dstDepth, uint32_t dstChannels, const uint8_t* palette, int32_t count);

// 16-bit samples are stored as little-endian words. We build for little-endian
// hosts only, so pixel loops may read 16-bit samples through uint16_t pointers
// (rows start on 4-byte boundaries, so such reads are aligned).
static_assert(std::endian::native == std::endian::little, "Orvelle assumes a little-endian host");

inline uint16_t LoadLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline void StoreLE16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

#include "core/picture.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "core/blend.h"

// ---- mvColor ---------------------------------------------------------------

mvColor::mvColor(uint16_t r, uint16_t g, uint16_t b, uint16_t a) : ColorType(ColorTypeRGB), BitDepth(16), Channels(4) {
  SetSample(0, r);
  SetSample(1, g);
  SetSample(2, b);
  SetSample(3, a);
}

mvColor::mvColor(uint16_t r, uint16_t g, uint16_t b) : ColorType(ColorTypeRGB), BitDepth(16), Channels(3) {
  SetSample(0, r);
  SetSample(1, g);
  SetSample(2, b);
}

mvColor mvColor::RGB8(uint8_t r, uint8_t g, uint8_t b) {
  mvColor c;
  c.Samples[0] = r;
  c.Samples[1] = g;
  c.Samples[2] = b;
  return c;
}

mvColor mvColor::RGBA8(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  mvColor c = RGB8(r, g, b);
  c.Channels = 4;
  c.Samples[3] = a;
  return c;
}

mvColor mvColor::Gray8(uint8_t v) {
  mvColor c;
  c.ColorType = ColorTypeGray;
  c.Channels = 1;
  c.Samples[0] = v;
  return c;
}

uint32_t mvColor::Sample(int i) const {
  if (i < 0 || i > 3) return 0;
  if (BitDepth == 16) return LoadLE16(Samples + 2 * i);
  return Samples[i];
}

void mvColor::SetSample(int i, uint32_t v) {
  if (i < 0 || i > 3) return;
  if (BitDepth == 16) StoreLE16(Samples + 2 * i, v);
  else Samples[i] = static_cast<uint8_t>(v);
}

bool mvColor::operator==(const mvColor& o) const {
  return ColorType == o.ColorType && BitDepth == o.BitDepth && Channels == o.Channels &&
         std::memcmp(Samples, o.Samples, sizeof Samples) == 0;
}

// ---- mvPalette -------------------------------------------------------------

mvPalette::~mvPalette() { std::free(Entries); }

bool mvPalette::InitPalette() {
  uint8_t* e = static_cast<uint8_t*>(std::calloc(256, 4));
  if (!e) return false;
  std::free(Entries);
  Entries = e;
  Count = 256;
  return true;
}

// ---- formats ---------------------------------------------------------------

bool IsValidFormat(uint32_t colorType, uint32_t bitDepth, uint32_t channels) {
  switch (colorType) {
    case ColorTypeRGB: return (bitDepth == 8 || bitDepth == 16) && (channels == 3 || channels == 4);
    case ColorTypeGray: return (bitDepth == 8 || bitDepth == 16) && (channels == 1 || channels == 2);
    case ColorTypeIndexed: return bitDepth == 8 && (channels == 1 || channels == 2);
    default: return false;
  }
}

uint32_t StrideFor(int32_t width, uint32_t bitsPerPixel) {
  return static_cast<uint32_t>((static_cast<uint64_t>(width) * bitsPerPixel + 31) / 32 * 4);
}

// ---- mvPicture -------------------------------------------------------------

mvPicture::mvPicture() = default;

mvPicture::mvPicture(const mvPicture& o)
    : Width(o.Width),
      Height(o.Height),
      ColorType(o.ColorType),
      BitDepth(o.BitDepth),
      Channels(o.Channels),
      BitsPerPixel(o.BitsPerPixel),
      Stride(o.Stride),
      HasWorkRect(o.HasWorkRect),
      WorkRect(o.WorkRect) {
  if (o.Pixels) {
    Pixels = static_cast<uint8_t*>(std::malloc(o.ByteSize() ? o.ByteSize() : 1));
    if (Pixels) std::memcpy(Pixels, o.Pixels, o.ByteSize());
  }
  if (o.Palette) {
    Palette = new (std::nothrow) mvPalette;
    if (Palette && o.Palette->Entries && o.Palette->Count > 0) {
      Palette->Entries = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(o.Palette->Count) * 4));
      if (Palette->Entries) {
        std::memcpy(Palette->Entries, o.Palette->Entries, static_cast<size_t>(o.Palette->Count) * 4);
        Palette->Count = o.Palette->Count;
      }
    }
  }
}

mvPicture::~mvPicture() {
  std::free(Pixels);
  delete Palette;
}

bool mvPicture::Create(int32_t width, int32_t height, uint32_t colorType, uint32_t bitDepth, uint32_t channels) {
  if (width < 1 || height < 1) return false;
  if (!IsValidFormat(colorType, bitDepth, channels)) return false;
  const uint32_t bpp = bitDepth * channels;
  const uint64_t stride = (static_cast<uint64_t>(width) * bpp + 31) / 32 * 4;
  const uint64_t bytes = stride * static_cast<uint64_t>(height);
  // A stride must fit its 32-bit field and the buffer the address space.
  if (stride > 0xFFFFFFFFull || bytes > static_cast<uint64_t>(PTRDIFF_MAX)) return false;
  // Zeroed, so that nothing a caller does can ever depend on stale memory.
  uint8_t* pixels = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(bytes), 1));
  if (!pixels) return false;
  mvPalette* palette = nullptr;
  if (colorType == ColorTypeIndexed) {
    palette = new (std::nothrow) mvPalette;
    if (!palette || !palette->InitPalette()) {
      delete palette;
      std::free(pixels);
      return false;
    }
  }
  Free();
  Width = width;
  Height = height;
  ColorType = colorType;
  BitDepth = bitDepth;
  Channels = channels;
  BitsPerPixel = static_cast<int32_t>(bpp);
  Stride = static_cast<uint32_t>(stride);
  Pixels = pixels;
  Palette = palette;
  HasWorkRect = 0;
  return true;
}

void mvPicture::Free() {
  std::free(Pixels);
  Pixels = nullptr;
  delete Palette;
  Palette = nullptr;
}

bool mvPicture::ConvertFormat(uint32_t colorType, uint32_t bitDepth, uint32_t channels) {
  if (colorType == ColorType && bitDepth == BitDepth && channels == Channels) return true;
  if (colorType == ColorTypeIndexed || !IsValidFormat(colorType, bitDepth, channels)) return false;
  if (!Pixels) return false;
  mvPicture temp;
  if (!temp.mvPicture::Create(Width, Height, colorType, bitDepth, channels)) return false;
  CopyRect(temp, 0, 0, *this, Width, Height);
  std::swap(Pixels, temp.Pixels);
  std::swap(Palette, temp.Palette);
  ColorType = temp.ColorType;
  BitDepth = temp.BitDepth;
  Channels = temp.Channels;
  BitsPerPixel = temp.BitsPerPixel;
  Stride = temp.Stride;
  return true;
}

mvRect mvPicture::Area() const {
  if (HasWorkRect) return WorkRect;
  return mvRect{0, 0, Width, Height};
}

void mvPicture::Fill(const mvRect* rect, const mvColor& color) {
  if (!Pixels) return;
  mvRect r{0, 0, Width, Height};
  if (rect) {
    r = *rect;
    if (r.Left < 0) r.Left = 0;
    if (r.Top < 0) r.Top = 0;
    if (r.Right > Width) r.Right = Width;
    if (r.Bottom > Height) r.Bottom = Height;
  }
  if (r.Left >= r.Right || r.Top >= r.Bottom) return;
  uint8_t raw[8];
  if (!ConvertColor(ColorType, color, BitDepth, Channels, raw)) return;
  const uint32_t bpp = BytesPerPixel();
  for (int32_t y = r.Top; y < r.Bottom; ++y) {
    uint8_t* p = Row(y) + static_cast<size_t>(r.Left) * bpp;
    for (int32_t x = r.Left; x < r.Right; ++x, p += bpp) std::memcpy(p, raw, bpp);
  }
}

void mvPicture::Clear(const mvRect* rect) {
  if (!Pixels) return;
  if (!rect) {
    std::memset(Pixels, 0, ByteSize());
    return;
  }
  Fill(rect, mvColor::RGBA8(0, 0, 0, 0));
}

void mvPicture::GetPixel(int32_t x, int32_t y, void* out) const {
  if (!Pixels || x < 0 || y < 0 || x >= Width || y >= Height) return;
  std::memcpy(out, Row(y) + static_cast<size_t>(x) * BytesPerPixel(), BytesPerPixel());
}

void mvPicture::SetPixel(int32_t x, int32_t y, const void* in) {
  if (!Pixels || x < 0 || y < 0 || x >= Width || y >= Height) return;
  std::memcpy(Row(y) + static_cast<size_t>(x) * BytesPerPixel(), in, BytesPerPixel());
}

bool mvPicture::SetPaletteEntry(int32_t index, uint8_t r, uint8_t g, uint8_t b) {
  if (!Palette || !Palette->Entries || index < 0 || index >= Palette->Count) return false;
  uint8_t* e = Palette->Entries + 4 * index;
  e[0] = r;
  e[1] = g;
  e[2] = b;
  e[3] = 0;
  return true;
}

bool mvPicture::CopyPaletteFrom(const mvPicture& source) {
  if (!Palette || !source.Palette || !Palette->Entries || !source.Palette->Entries) return false;
  int32_t n = Palette->Count < source.Palette->Count ? Palette->Count : source.Palette->Count;
  if (n <= 0) return false;
  std::memcpy(Palette->Entries, source.Palette->Entries, static_cast<size_t>(n) * 4);
  return true;
}

void mvPicture::MoveFrom(mvPicture& other) {
  if (&other == this) return;
  Free();
  Width = other.Width;
  Height = other.Height;
  ColorType = other.ColorType;
  BitDepth = other.BitDepth;
  Channels = other.Channels;
  BitsPerPixel = other.BitsPerPixel;
  Stride = other.Stride;
  Pixels = other.Pixels;
  Palette = other.Palette;
  HasWorkRect = other.HasWorkRect;
  WorkRect = other.WorkRect;
  other.Pixels = nullptr;
  other.Palette = nullptr;
}

// ---- rectangles ------------------------------------------------------------

void CopyRect(mvPicture& dst, int32_t dx, int32_t dy, const mvPicture& src, int32_t width, int32_t height) {
  if (!dst.Pixels || !src.Pixels) return;
  int32_t sx = 0, sy = 0;
  int64_t w = width, h = height;
  if (dx < 0) {
    w += dx;
    sx = -static_cast<int64_t>(dx) > INT32_MAX ? INT32_MAX : -dx;
    dx = 0;
  }
  if (dy < 0) {
    h += dy;
    sy = -static_cast<int64_t>(dy) > INT32_MAX ? INT32_MAX : -dy;
    dy = 0;
  }
  if (w > static_cast<int64_t>(dst.Width) - dx) w = static_cast<int64_t>(dst.Width) - dx;
  if (w > static_cast<int64_t>(src.Width) - sx) w = static_cast<int64_t>(src.Width) - sx;
  if (h > static_cast<int64_t>(dst.Height) - dy) h = static_cast<int64_t>(dst.Height) - dy;
  if (h > static_cast<int64_t>(src.Height) - sy) h = static_cast<int64_t>(src.Height) - sy;
  if (w < 1 || h < 1) return;
  const uint8_t* pal = src.Palette ? src.Palette->Entries : nullptr;
  const uint32_t sbpp = src.BytesPerPixel(), dbpp = dst.BytesPerPixel();
  for (int64_t y = 0; y < h; ++y) {
    ConvertRow(src.Row(static_cast<int32_t>(sy + y)) + static_cast<size_t>(sx) * sbpp, src.ColorType, src.BitDepth,
               src.Channels, dst.Row(static_cast<int32_t>(dy + y)) + static_cast<size_t>(dx) * dbpp, dst.ColorType,
               dst.BitDepth, dst.Channels, pal, static_cast<int32_t>(w));
  }
}

bool BlendRect(mvPicture& dst, int32_t dx, int32_t dy, const mvPicture& src, int32_t sx, int32_t sy, int32_t width,
               int32_t height, uint32_t mode, uint32_t opacity) {
  if (!dst.Pixels || !src.Pixels) return false;
  // 64-bit so that clipping far-off rectangles cannot overflow.
  int64_t DX = dx, DY = dy, SX = sx, SY = sy, W = width, H = height;
  if (DX < 0) {
    W += DX;
    SX -= DX;
    DX = 0;
  }
  if (DY < 0) {
    H += DY;
    SY -= DY;
    DY = 0;
  }
  if (SX < 0) {
    W += SX;
    DX -= SX;
    SX = 0;
  }
  if (SY < 0) {
    H += SY;
    DY -= SY;
    SY = 0;
  }
  if (W > dst.Width - DX) W = dst.Width - DX;
  if (W > src.Width - SX) W = src.Width - SX;
  if (H > dst.Height - DY) H = dst.Height - DY;
  if (H > src.Height - SY) H = src.Height - SY;
  if (W <= 0 || H <= 0) return true;
  const uint32_t sbpp = src.BytesPerPixel(), dbpp = dst.BytesPerPixel();
  const uint8_t* spal = src.Palette ? src.Palette->Entries : nullptr;
  if (src.ColorType == dst.ColorType && src.BitDepth == dst.BitDepth &&
      (dst.ColorType != ColorTypeIndexed || mode == 0)) {
    for (int64_t y = 0; y < H; ++y)
      BlendRow(mode, dst.Channels, src.Channels, dst.Row(static_cast<int32_t>(DY + y)) + DX * dbpp, dst.ColorType,
               dst.BitDepth, src.Row(static_cast<int32_t>(SY + y)) + SX * sbpp, src.ColorType, src.BitDepth, spal,
               opacity, static_cast<int32_t>(W));
    return true;
  }
  if (dst.ColorType == ColorTypeIndexed) {
    // A colour source has no indexed form (no quantisation): nothing to blend.
    if (mode != 0) return false;
    return true;
  }
  if (dst.ColorType != ColorTypeRGB && dst.ColorType != ColorTypeGray) return false;
  uint8_t* buffer = static_cast<uint8_t*>(std::malloc(dst.Stride));
  if (!buffer) return false;
  const uint8_t* dpal = dst.Palette ? dst.Palette->Entries : nullptr;
  for (int64_t y = 0; y < H; ++y) {
    ConvertRow(src.Row(static_cast<int32_t>(SY + y)) + SX * sbpp, src.ColorType, src.BitDepth, src.Channels, buffer,
               dst.ColorType, dst.BitDepth, dst.Channels, spal, static_cast<int32_t>(W));
    BlendRow(mode, dst.Channels, dst.Channels, dst.Row(static_cast<int32_t>(DY + y)) + DX * dbpp, dst.ColorType,
             dst.BitDepth, buffer, dst.ColorType, dst.BitDepth, dpal, opacity, static_cast<int32_t>(W));
  }
  std::free(buffer);
  return true;
}

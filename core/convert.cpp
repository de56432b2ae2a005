// Pixel format conversion: single colours and whole runs of pixels.
#include <cstring>

#include "core/picture.h"

namespace {

inline uint32_t To16(uint32_t v8) { return v8 * 257; }
inline uint32_t To8(uint32_t v16) { return v16 >> 8; }

// Reads sample i of a run at depth (8 or 16).
template <uint32_t Depth>
inline uint32_t Get(const uint8_t* p, uint32_t i) {
  if constexpr (Depth == 8) return p[i];
  else return reinterpret_cast<const uint16_t*>(p)[i];
}
template <uint32_t Depth>
inline void Put(uint8_t* p, uint32_t i, uint32_t v) {
  if constexpr (Depth == 8) p[i] = static_cast<uint8_t>(v);
  else reinterpret_cast<uint16_t*>(p)[i] = static_cast<uint16_t>(v);
}
template <uint32_t From, uint32_t To>
inline uint32_t Scale(uint32_t v) {
  if constexpr (From == To) return v;
  else if constexpr (From == 8) return To16(v);
  else return To8(v);
}

// RGB or gray to RGB or gray with the channel counts known at run time but the
// depths fixed, one loop per row.
template <uint32_t SD, uint32_t DD>
void RgbToRgb(const uint8_t* src, uint32_t sc, uint8_t* dst, uint32_t dc, int32_t count) {
  constexpr uint32_t dmax = DD == 8 ? 255 : 65535;
  const bool sAlpha = sc == 4, dAlpha = dc == 4;
  for (int32_t i = 0; i < count; ++i) {
    uint32_t s = static_cast<uint32_t>(i) * sc, d = static_cast<uint32_t>(i) * dc;
    Put<DD>(dst, d, Scale<SD, DD>(Get<SD>(src, s)));
    Put<DD>(dst, d + 1, Scale<SD, DD>(Get<SD>(src, s + 1)));
    Put<DD>(dst, d + 2, Scale<SD, DD>(Get<SD>(src, s + 2)));
    if (dAlpha) Put<DD>(dst, d + 3, sAlpha ? Scale<SD, DD>(Get<SD>(src, s + 3)) : dmax);
  }
}

template <uint32_t SD, uint32_t DD>
void GrayToRgb(const uint8_t* src, uint32_t sc, uint8_t* dst, uint32_t dc, int32_t count) {
  constexpr uint32_t dmax = DD == 8 ? 255 : 65535;
  const bool sAlpha = sc == 2, dAlpha = dc == 4;
  for (int32_t i = 0; i < count; ++i) {
    uint32_t s = static_cast<uint32_t>(i) * sc, d = static_cast<uint32_t>(i) * dc;
    uint32_t g = Scale<SD, DD>(Get<SD>(src, s));
    Put<DD>(dst, d, g);
    Put<DD>(dst, d + 1, g);
    Put<DD>(dst, d + 2, g);
    if (dAlpha) Put<DD>(dst, d + 3, sAlpha ? Scale<SD, DD>(Get<SD>(src, s + 1)) : dmax);
  }
}

template <uint32_t SD, uint32_t DD>
void GrayToGray(const uint8_t* src, uint32_t sc, uint8_t* dst, uint32_t dc, int32_t count) {
  constexpr uint32_t dmax = DD == 8 ? 255 : 65535;
  const bool sAlpha = sc == 2, dAlpha = dc == 2;
  for (int32_t i = 0; i < count; ++i) {
    uint32_t s = static_cast<uint32_t>(i) * sc, d = static_cast<uint32_t>(i) * dc;
    Put<DD>(dst, d, Scale<SD, DD>(Get<SD>(src, s)));
    if (dAlpha) Put<DD>(dst, d + 1, sAlpha ? Scale<SD, DD>(Get<SD>(src, s + 1)) : dmax);
  }
}

// The gray weighting depends on both depths.
template <uint32_t SD, uint32_t DD>
inline uint32_t GrayOf(uint32_t r, uint32_t g, uint32_t b) {
  if constexpr (SD == 8 && DD == 8) return (77 * r + 151 * g + 28 * b) >> 8;
  else if constexpr (SD == 16 && DD == 16) return static_cast<uint32_t>((77ull * r + 151ull * g + 28ull * b) >> 8);
  else if constexpr (SD == 16 && DD == 8) return static_cast<uint32_t>((77ull * r + 151ull * g + 28ull * b) >> 16);
  else return (19672 * r + 38621 * g + 7500 * b) >> 8;
}

template <uint32_t SD, uint32_t DD>
void RgbToGray(const uint8_t* src, uint32_t sc, uint8_t* dst, uint32_t dc, int32_t count) {
  constexpr uint32_t dmax = DD == 8 ? 255 : 65535;
  const bool sAlpha = sc == 4, dAlpha = dc == 2;
  for (int32_t i = 0; i < count; ++i) {
    uint32_t s = static_cast<uint32_t>(i) * sc, d = static_cast<uint32_t>(i) * dc;
    Put<DD>(dst, d, GrayOf<SD, DD>(Get<SD>(src, s), Get<SD>(src, s + 1), Get<SD>(src, s + 2)));
    if (dAlpha) Put<DD>(dst, d + 1, sAlpha ? Scale<SD, DD>(Get<SD>(src, s + 3)) : dmax);
  }
}

template <uint32_t DD>
void IndexedToRgb(const uint8_t* src, uint32_t sc, uint8_t* dst, uint32_t dc, const uint8_t* pal, int32_t count) {
  constexpr uint32_t dmax = DD == 8 ? 255 : 65535;
  const bool sAlpha = sc == 2, dAlpha = dc == 4;
  for (int32_t i = 0; i < count; ++i) {
    uint32_t s = static_cast<uint32_t>(i) * sc, d = static_cast<uint32_t>(i) * dc;
    const uint8_t* e = pal + 4u * src[s];
    Put<DD>(dst, d, Scale<8, DD>(e[0]));
    Put<DD>(dst, d + 1, Scale<8, DD>(e[1]));
    Put<DD>(dst, d + 2, Scale<8, DD>(e[2]));
    if (dAlpha) Put<DD>(dst, d + 3, sAlpha ? Scale<8, DD>(src[s + 1]) : dmax);
  }
}

template <uint32_t DD>
void IndexedToGray(const uint8_t* src, uint32_t sc, uint8_t* dst, uint32_t dc, const uint8_t* pal, int32_t count) {
  constexpr uint32_t dmax = DD == 8 ? 255 : 65535;
  const bool sAlpha = sc == 2, dAlpha = dc == 2;
  auto grayOfEntry = [pal](uint32_t idx) {
    const uint8_t* e = pal + 4u * idx;
    return GrayOf<8, DD>(e[0], e[1], e[2]);
  };
  // Long runs look the gray of each palette entry up in a table built once.
  uint32_t table[256];
  const bool useTable = count > 256;
  if (useTable)
    for (uint32_t j = 0; j < 256; ++j) table[j] = grayOfEntry(j);
  for (int32_t i = 0; i < count; ++i) {
    uint32_t s = static_cast<uint32_t>(i) * sc, d = static_cast<uint32_t>(i) * dc;
    Put<DD>(dst, d, useTable ? table[src[s]] : grayOfEntry(src[s]));
    if (dAlpha) Put<DD>(dst, d + 1, sAlpha ? Scale<8, DD>(src[s + 1]) : dmax);
  }
}

#define ORVELLE_DEPTH_DISPATCH(fn, sd, dd, ...)        \
  do {                                                 \
    if ((sd) == 8 && (dd) == 8) fn<8, 8>(__VA_ARGS__); \
    else if ((sd) == 8) fn<8, 16>(__VA_ARGS__);        \
    else if ((dd) == 8) fn<16, 8>(__VA_ARGS__);        \
    else fn<16, 16>(__VA_ARGS__);                      \
  } while (0)

}  // namespace

bool ConvertRow(const void* srcv, uint32_t srcType, uint32_t srcDepth, uint32_t srcChannels, void* dstv,
                uint32_t dstType, uint32_t dstDepth, uint32_t dstChannels, const uint8_t* palette, int32_t count) {
  const uint8_t* src = static_cast<const uint8_t*>(srcv);
  uint8_t* dst = static_cast<uint8_t*>(dstv);
  if (dstType > ColorTypeIndexed) return false;
  if (count <= 0) return true;
  if (srcType == dstType && srcDepth == dstDepth && srcChannels == dstChannels) {
    std::memmove(dst, src, static_cast<size_t>(count) * srcChannels * (srcDepth / 8));
    return true;
  }
  if (dstType == ColorTypeRGB) {
    if (srcType == ColorTypeRGB)
      ORVELLE_DEPTH_DISPATCH(RgbToRgb, srcDepth, dstDepth, src, srcChannels, dst, dstChannels, count);
    else if (srcType == ColorTypeGray)
      ORVELLE_DEPTH_DISPATCH(GrayToRgb, srcDepth, dstDepth, src, srcChannels, dst, dstChannels, count);
    else if (srcType == ColorTypeIndexed && palette) {
      if (dstDepth == 8) IndexedToRgb<8>(src, srcChannels, dst, dstChannels, palette, count);
      else IndexedToRgb<16>(src, srcChannels, dst, dstChannels, palette, count);
    }
    return true;
  }
  if (dstType == ColorTypeGray) {
    if (srcType == ColorTypeGray)
      ORVELLE_DEPTH_DISPATCH(GrayToGray, srcDepth, dstDepth, src, srcChannels, dst, dstChannels, count);
    else if (srcType == ColorTypeRGB)
      ORVELLE_DEPTH_DISPATCH(RgbToGray, srcDepth, dstDepth, src, srcChannels, dst, dstChannels, count);
    else if (srcType == ColorTypeIndexed && palette) {
      if (dstDepth == 8) IndexedToGray<8>(src, srcChannels, dst, dstChannels, palette, count);
      else IndexedToGray<16>(src, srcChannels, dst, dstChannels, palette, count);
    }
    return true;
  }
  // Indexed destination: only an indexed source has an index to give; colours
  // are never quantised.
  if (srcType == ColorTypeIndexed && srcDepth == 8 && dstDepth == 8) {
    const bool sAlpha = srcChannels == 2, dAlpha = dstChannels == 2;
    for (int32_t i = 0; i < count; ++i) {
      uint32_t s = static_cast<uint32_t>(i) * srcChannels, d = static_cast<uint32_t>(i) * dstChannels;
      dst[d] = src[s];
      if (dAlpha) dst[d + 1] = sAlpha ? src[s + 1] : 255;
    }
  }
  return true;
}

bool ConvertColor(uint32_t targetType, const mvColor& color, uint32_t targetDepth, uint32_t targetChannels,
                  void* outv) {
  uint8_t* out = static_cast<uint8_t*>(outv);
  if (!IsValidFormat(targetType, targetDepth, targetChannels)) return false;
  if (color.ColorType > ColorTypeIndexed || (color.BitDepth != 8 && color.BitDepth != 16) || color.Channels < 1 ||
      color.Channels > 4)
    return false;
  const uint32_t cmax = color.MaxValue();
  uint32_t v[4] = {0, 0, 0, 0};  // values at the colour's own depth, in target order
  if (targetType == ColorTypeRGB || targetType == ColorTypeGray) {
    uint32_t r, g, b, a;
    if (color.ColorType == ColorTypeRGB) {
      if (color.Channels < 3) return false;
      r = color.Sample(0);
      g = color.Sample(1);
      b = color.Sample(2);
      a = color.Channels == 4 ? color.Sample(3) : cmax;
    } else if (color.ColorType == ColorTypeGray) {
      r = g = b = color.Sample(0);
      a = color.Channels == 2 ? color.Sample(1) : cmax;
    } else {
      return false;
    }
    if (targetType == ColorTypeRGB) {
      v[0] = r;
      v[1] = g;
      v[2] = b;
      v[3] = a;
    } else {
      v[0] = color.ColorType == ColorTypeGray ? r : (77 * r + 151 * g + 28 * b) >> 8;
      v[1] = a;
    }
  } else {
    if (color.ColorType != ColorTypeIndexed || targetDepth != 8 || color.BitDepth != 8) return false;
    v[0] = color.Sample(0);
    v[1] = color.Channels == 2 ? color.Sample(1) : 255;
  }
  for (uint32_t i = 0; i < targetChannels; ++i) {
    uint32_t x = v[i];
    if (color.BitDepth == 16 && targetDepth == 8) x >>= 8;
    if (color.BitDepth == 8 && targetDepth == 16) x *= 257;
    if (targetDepth == 8) out[i] = static_cast<uint8_t>(x);
    else StoreLE16(out + 2 * i, x);
  }
  return true;
}

#pragma once
// Helpers shared by the render effects: the clipped work area, colour-over
// and the small integer utilities every pattern loop needs.
#include <cstdint>

#include "core/picture.h"

namespace render {

// The source's work area limited to the picture, so a stray rectangle cannot
// send a loop outside the buffers. False when nothing is left.
inline bool ClipArea(const mvPicture& p, mvRect& r) {
  r = p.Area();
  if (r.Left < 0) r.Left = 0;
  if (r.Top < 0) r.Top = 0;
  if (r.Right > p.Width) r.Right = p.Width;
  if (r.Bottom > p.Height) r.Bottom = p.Height;
  return r.Left < r.Right && r.Top < r.Bottom;
}

// Source and destination must share size and layout for row-parallel work.
inline bool SameLayout(const mvPicture& a, const mvPicture& b) {
  return a.Pixels && b.Pixels && a.Width == b.Width && a.Height == b.Height && a.ColorType == b.ColorType &&
         a.BitDepth == b.BitDepth && a.Channels == b.Channels && a.Stride == b.Stride;
}

inline bool IsPaintable(const mvPicture& p) {
  return (p.ColorType == ColorTypeRGB || p.ColorType == ColorTypeGray) && (p.BitDepth == 8 || p.BitDepth == 16);
}

// A colour converted to the picture's colour type at its depth, always with an
// alpha sample (a colour without alpha counts as opaque). Samples are in
// picture order: r, g, b, a or gray, a.
struct PaintColor {
  uint32_t S[4] = {0, 0, 0, 0};
  uint32_t Alpha = 0;
  bool Ok = false;
};

inline PaintColor ToPictureColor(const mvPicture& p, const mvColor& c) {
  PaintColor out;
  const uint32_t channels = p.ColorType == ColorTypeGray ? 2 : 4;
  uint8_t raw[8] = {};
  if (!ConvertColor(p.ColorType, c, p.BitDepth, channels, raw)) return out;
  for (uint32_t i = 0; i < channels; ++i) out.S[i] = p.BitDepth == 16 ? LoadLE16(raw + 2 * i) : raw[i];
  out.Alpha = out.S[channels - 1];
  out.Ok = true;
  return out;
}

// Colour-over of colour c (colour samples in c, alpha a) onto one pixel: s is
// the source pixel, d the destination pixel (may be the same). colours is the
// number of colour samples (3 or 1); hasAlpha tells whether a sample follows.
template <class T, uint32_t Max>
inline void ColorOver(const T* s, T* d, uint32_t colours, bool hasAlpha, const uint32_t* c, uint64_t a) {
  if (hasAlpha) {
    const uint64_t sa = s[colours];
    for (uint32_t i = 0; i < colours; ++i) {
      uint64_t first;
      if constexpr (Max == 255)
        first = s[i] * sa * (Max - a) / Max;
      else
        first = (s[i] * sa / Max) * (Max - a);  // divided first, as 16-bit pictures do
      d[i] = static_cast<T>((first + c[i] * a) / Max);
    }
    d[colours] = static_cast<T>((Max - sa) * a / Max + sa);
  } else {
    for (uint32_t i = 0; i < colours; ++i) d[i] = static_cast<T>((s[i] * (Max - a) + c[i] * a) / Max);
  }
}

// Runs fn.template operator()<T, Max>() for the picture's sample type.
template <class Fn>
inline void ByDepth(uint32_t depth, Fn&& fn) {
  if (depth == 16)
    fn.template operator()<uint16_t, 65535u>();
  else
    fn.template operator()<uint8_t, 255u>();
}

}  // namespace render

#pragma once
// Helpers shared by the render effects: colours in a picture's form and
// colour-over.
#include <cstdint>
#include <type_traits>

#include "core/picture.h"

namespace render {

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

// Colour-over of colour c (colour samples in c, alpha a <= F::kMax) onto
// one pixel of format F (a frame::Fmt): s is the source pixel, d the
// destination pixel (may be the same). At 8 bits every product fits 32 bits,
// which divide faster and give the same quotients.
template <class F>
inline void ColorOver(const typename F::Sample* s, typename F::Sample* d, const uint32_t* c, uint64_t a) {
  using T = typename F::Sample;
  using U = std::conditional_t<F::kWide, uint64_t, uint32_t>;
  constexpr U Max = F::kMax;
  const U w = static_cast<U>(a);
  if constexpr (F::kAlpha) {
    const U sa = s[F::kColours];
    for (uint32_t i = 0; i < F::kColours; ++i) {
      U first;
      if constexpr (!F::kWide) first = s[i] * sa * (Max - w) / Max;
      else first = (s[i] * sa / Max) * (Max - w);  // divided first, as 16-bit pictures do
      d[i] = static_cast<T>((first + c[i] * w) / Max);
    }
    d[F::kColours] = static_cast<T>((Max - sa) * w / Max + sa);
  } else {
    for (uint32_t i = 0; i < F::kColours; ++i) d[i] = static_cast<T>((s[i] * (Max - w) + c[i] * w) / Max);
  }
}

// Colour-over at full alpha, whatever lies below: the colour samples and a
// full alpha, on count pixels from d.
template <class F>
inline void FillSpan(typename F::Sample* d, int64_t count, const uint32_t* c) {
  using T = typename F::Sample;
  T px[F::kChannels];
  for (uint32_t i = 0; i < F::kColours; ++i) px[i] = static_cast<T>(c[i]);
  if constexpr (F::kAlpha) px[F::kColours] = static_cast<T>(F::kMax);
  for (int64_t x = 0; x < count; ++x, d += F::kChannels)
    for (uint32_t i = 0; i < F::kChannels; ++i) d[i] = px[i];
}

}  // namespace render

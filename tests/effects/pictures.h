#pragma once
// Pictures for effect tests: every format, noise, flat fills, comparisons.
#include <gtest/gtest.h>

#include <cstring>

#include "core/picture.h"
#include "core/random.h"
#include "effects/effect.h"

namespace testpics {

struct Format {
  uint32_t Type, Depth, Channels;
};
// The colour formats (RGB and gray, 8 and 16 bits, with and without alpha).
inline constexpr Format kColorFormats[] = {{ColorTypeRGB, 8, 3},   {ColorTypeRGB, 8, 4},  {ColorTypeRGB, 16, 3},
                                           {ColorTypeRGB, 16, 4},  {ColorTypeGray, 8, 1}, {ColorTypeGray, 8, 2},
                                           {ColorTypeGray, 16, 1}, {ColorTypeGray, 16, 2}};
// The same plus indexed.
inline constexpr Format kAllFormats[] = {{ColorTypeRGB, 8, 3},   {ColorTypeRGB, 8, 4},   {ColorTypeRGB, 16, 3},
                                         {ColorTypeRGB, 16, 4},  {ColorTypeGray, 8, 1},  {ColorTypeGray, 8, 2},
                                         {ColorTypeGray, 16, 1}, {ColorTypeGray, 16, 2}, {ColorTypeIndexed, 8, 1}};

// Pseudo-random bytes (alpha too, so some pixels are transparent).
inline mvPicture Noise(int w, int h, Format f, uint32_t seed) {
  mvPicture p;
  EXPECT_TRUE(p.Create(w, h, f.Type, f.Depth, f.Channels));
  mvRandom r;
  r.Seed(seed);
  for (size_t i = 0; i < p.ByteSize(); ++i) p.Pixels[i] = static_cast<uint8_t>(r.Next() >> 24);
  return p;
}

// Every pixel alike, samples differing within the pixel.
inline mvPicture Flat(int w, int h, Format f) {
  mvPicture p;
  EXPECT_TRUE(p.Create(w, h, f.Type, f.Depth, f.Channels));
  const int bpp = static_cast<int>(p.BytesPerPixel());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w * bpp; ++x) p.Row(y)[x] = static_cast<uint8_t>(90 + (x % bpp) * 7);
  return p;
}

// Compares the pixels, not the spare bytes at row ends.
inline bool SamePixels(const mvPicture& a, const mvPicture& b) {
  if (a.Width != b.Width || a.Height != b.Height || a.BitsPerPixel != b.BitsPerPixel) return false;
  const size_t row = static_cast<size_t>(a.Width) * a.BytesPerPixel();
  for (int y = 0; y < a.Height; ++y)
    if (std::memcmp(a.Row(y), b.Row(y), row) != 0) return false;
  return true;
}

// Applies the effect to a copy of the picture, as ApplyTo does.
inline mvPicture Applied(mvEffect& e, mvPicture& source, bool* result = nullptr) {
  mvPicture target(source);
  const bool ok = e.Apply(source, target, nullptr);
  if (result) *result = ok;
  else EXPECT_TRUE(ok);
  return target;
}

inline const uint8_t* Px(const mvPicture& p, int x, int y) {
  return p.Row(y) + static_cast<size_t>(x) * p.BytesPerPixel();
}

inline uint8_t Red(const mvPicture& p, int x, int y) { return Px(p, x, y)[0]; }

// 8-bit RGB of one gray level and alpha.
inline mvPicture Solid(int w, int h, uint8_t v, uint8_t a = 255, uint32_t channels = 4) {
  mvPicture p;
  EXPECT_TRUE(p.Create(w, h, ColorTypeRGB, 8, channels));
  p.Fill(nullptr, mvColor::RGBA8(v, v, v, a));
  return p;
}

// Applies the way the generator does (the destination starts as the source).
inline void Paint(mvEffect& e, mvPicture& p) { ASSERT_TRUE(ApplyTo(e, p)); }

}  // namespace testpics

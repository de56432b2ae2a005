#include "maps/maps.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <vector>

#include "core/parallel.h"

namespace maps {
namespace {

// Rows per band: fixed by the picture's size, never by the thread count.
int32_t BandRows(int32_t width, int32_t height) {
  const int64_t bySize = (int64_t{1} << 15) / std::max(width, 1) + 1;
  const int64_t byCount = (height + 63) / 64;
  return static_cast<int32_t>(std::max<int64_t>({bySize, byCount, 1}));
}

// Runs fn(top, bottom) over bands of rows.
template <class Fn>
bool ForRowBands(int32_t width, int32_t height, Fn&& fn) {
  const int32_t per = BandRows(width, height);
  const int64_t bands = (height + per - 1) / per;
  return parallel::For(bands, [&](int64_t b) {
    const int32_t top = static_cast<int32_t>(b) * per;
    fn(top, std::min(height, top + per));
    return true;
  });
}

inline int32_t Edge(int64_t c, int32_t n, bool wrap) {
  if (wrap) {
    int64_t m = c % n;
    return static_cast<int32_t>(m < 0 ? m + n : m);
  }
  return c < 0 ? 0 : (c >= n ? n - 1 : static_cast<int32_t>(c));
}

// Luminance 0..65535 of one pixel flattened onto white.
inline uint32_t Luminance(const uint8_t* p, bool rgb, bool alpha, uint32_t alphaAt) {
  uint32_t r = p[0], g = rgb ? p[1] : p[0], b = rgb ? p[2] : p[0];
  if (alpha) {
    const uint32_t a = p[alphaAt];
    r = (r * a + 255 * (255 - a) + 127) / 255;
    g = (g * a + 255 * (255 - a) + 127) / 255;
    b = (b * a + 255 * (255 - a) + 127) / 255;
  }
  // The weights sum to 65793, so white gives exactly 65535 after the shift.
  return (19672u * r + 38621u * g + 7500u * b) >> 8;
}

// One box pass of radius r along rows (horizontal) of a w x h plane.
void BoxRows(const std::vector<uint32_t>& in, std::vector<uint32_t>& out, int32_t w, int32_t h, int32_t r, bool wrap) {
  const uint64_t span = 2 * static_cast<uint64_t>(r) + 1;
  ForRowBands(w, h, [&](int32_t top, int32_t bottom) {
    for (int32_t y = top; y < bottom; ++y) {
      const uint32_t* s = &in[static_cast<size_t>(y) * static_cast<size_t>(w)];
      uint32_t* d = &out[static_cast<size_t>(y) * static_cast<size_t>(w)];
      uint64_t sum = 0;
      for (int64_t k = -r; k <= r; ++k) sum += s[Edge(k, w, wrap)];
      for (int32_t x = 0; x < w; ++x) {
        d[x] = static_cast<uint32_t>((sum + span / 2) / span);
        sum += s[Edge(static_cast<int64_t>(x) + r + 1, w, wrap)];
        sum -= s[Edge(static_cast<int64_t>(x) - r, w, wrap)];
      }
    }
  });
}

// The same down the columns, in bands of rows: each output row sums its own
// window, so no band depends on another.
void BoxColumns(const std::vector<uint32_t>& in, std::vector<uint32_t>& out, int32_t w, int32_t h, int32_t r,
                bool wrap) {
  const uint64_t span = 2 * static_cast<uint64_t>(r) + 1;
  ForRowBands(w, h, [&](int32_t top, int32_t bottom) {
    std::vector<uint64_t> sum(static_cast<size_t>(w), 0);
    for (int64_t k = static_cast<int64_t>(top) - r; k <= static_cast<int64_t>(top) + r; ++k) {
      const uint32_t* s = &in[static_cast<size_t>(Edge(k, h, wrap)) * static_cast<size_t>(w)];
      for (int32_t x = 0; x < w; ++x) sum[static_cast<size_t>(x)] += s[x];
    }
    for (int32_t y = top; y < bottom; ++y) {
      uint32_t* d = &out[static_cast<size_t>(y) * static_cast<size_t>(w)];
      for (int32_t x = 0; x < w; ++x) d[x] = static_cast<uint32_t>((sum[static_cast<size_t>(x)] + span / 2) / span);
      if (y + 1 == bottom) break;
      const uint32_t* enter =
          &in[static_cast<size_t>(Edge(static_cast<int64_t>(y) + r + 1, h, wrap)) * static_cast<size_t>(w)];
      const uint32_t* leave =
          &in[static_cast<size_t>(Edge(static_cast<int64_t>(y) - r, h, wrap)) * static_cast<size_t>(w)];
      for (int32_t x = 0; x < w; ++x) sum[static_cast<size_t>(x)] += enter[x] - static_cast<uint64_t>(leave[x]);
    }
  });
}

}  // namespace

bool MakeHeightMap(const mvPicture& texture, const MapOptions& options, mvPicture& height) {
  const bool rgb = texture.ColorType == ColorTypeRGB && (texture.Channels == 3 || texture.Channels == 4);
  const bool gray = texture.ColorType == ColorTypeGray && (texture.Channels == 1 || texture.Channels == 2);
  if (!texture.Pixels || texture.BitDepth != 8 || (!rgb && !gray)) return false;
  const int32_t w = texture.Width, h = texture.Height;
  const size_t n = static_cast<size_t>(w) * static_cast<size_t>(h);
  std::vector<uint32_t> plane, scratch;
  try {
    plane.resize(n);
    if (options.HeightBlur > 0) scratch.resize(n);
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (!height.Create(w, h, ColorTypeGray, 16, 1)) return false;
  const uint32_t ch = texture.Channels;
  const bool alpha = texture.HasAlpha();
  ForRowBands(w, h, [&](int32_t top, int32_t bottom) {
    for (int32_t y = top; y < bottom; ++y) {
      const uint8_t* s = texture.Row(y);
      uint32_t* d = &plane[static_cast<size_t>(y) * static_cast<size_t>(w)];
      for (int32_t x = 0; x < w; ++x, s += ch) d[x] = Luminance(s, rgb, alpha, ch - 1);
    }
  });
  const int32_t r = std::clamp(options.HeightBlur, 0, kMaxHeightBlur);
  if (r > 0)
    for (int pass = 0; pass < 3; ++pass) {
      BoxRows(plane, scratch, w, h, r, options.Wrap);
      BoxColumns(scratch, plane, w, h, r, options.Wrap);
    }
  const auto [lo, hi] = std::minmax_element(plane.begin(), plane.end());
  const uint64_t low = *lo, range = *hi - *lo;
  ForRowBands(w, h, [&](int32_t top, int32_t bottom) {
    for (int32_t y = top; y < bottom; ++y) {
      const uint32_t* s = &plane[static_cast<size_t>(y) * static_cast<size_t>(w)];
      uint16_t* d = reinterpret_cast<uint16_t*>(height.Row(y));
      for (int32_t x = 0; x < w; ++x)
        d[x] = static_cast<uint16_t>(range == 0 ? 32768 : ((s[x] - low) * 65535 + range / 2) / range);
    }
  });
  return true;
}

bool MakeNormalMap(const mvPicture& height, const MapOptions& options, mvPicture& normal) {
  if (!height.Pixels || height.ColorType != ColorTypeGray || height.BitDepth != 16 || height.Channels != 1)
    return false;
  const int32_t w = height.Width, h = height.Height;
  if (!normal.Create(w, h, ColorTypeRGB, 8, 3)) return false;
  const bool wrap = options.Wrap;
  // Sobel sums are 8 times the slope; heights run 0..65535 for 0..1.
  const double strength = std::clamp(options.Strength, -kMaxStrength, kMaxStrength);
  const double scale = strength * (std::isfinite(options.SlopeScale) ? options.SlopeScale : 1.0) / (8.0 * 65535.0);
  const double greenSign = options.DirectX ? -1.0 : 1.0;
  auto encode = [](double v) {
    return static_cast<uint8_t>(std::clamp(std::floor((v + 1.0) * 127.5 + 0.5), 0.0, 255.0));
  };
  ForRowBands(w, h, [&](int32_t top, int32_t bottom) {
    for (int32_t y = top; y < bottom; ++y) {
      const uint16_t* up = reinterpret_cast<const uint16_t*>(height.Row(Edge(static_cast<int64_t>(y) - 1, h, wrap)));
      const uint16_t* mid = reinterpret_cast<const uint16_t*>(height.Row(y));
      const uint16_t* down = reinterpret_cast<const uint16_t*>(height.Row(Edge(static_cast<int64_t>(y) + 1, h, wrap)));
      uint8_t* d = normal.Row(y);
      for (int32_t x = 0; x < w; ++x, d += 3) {
        const int32_t l = Edge(static_cast<int64_t>(x) - 1, w, wrap), r = Edge(static_cast<int64_t>(x) + 1, w, wrap);
        const int64_t gx =
            (static_cast<int64_t>(up[r]) + 2 * mid[r] + down[r]) - (static_cast<int64_t>(up[l]) + 2 * mid[l] + down[l]);
        // Rows grow downward: a height that rises down the picture falls "up".
        const int64_t gy =
            (static_cast<int64_t>(down[l]) + 2 * down[x] + down[r]) - (static_cast<int64_t>(up[l]) + 2 * up[x] + up[r]);
        const double nx = -static_cast<double>(gx) * scale;
        const double ny = static_cast<double>(gy) * scale * greenSign;
        const double len = std::sqrt(nx * nx + ny * ny + 1.0);
        d[0] = encode(nx / len);
        d[1] = encode(ny / len);
        d[2] = encode(1.0 / len);
      }
    }
  });
  return true;
}

bool HeightTo8Bit(const mvPicture& height16, mvPicture& height8) {
  if (!height16.Pixels || height16.ColorType != ColorTypeGray || height16.BitDepth != 16 || height16.Channels != 1)
    return false;
  if (!height8.Create(height16.Width, height16.Height, ColorTypeGray, 8, 1)) return false;
  for (int32_t y = 0; y < height16.Height; ++y) {
    const uint16_t* s = reinterpret_cast<const uint16_t*>(height16.Row(y));
    uint8_t* d = height8.Row(y);
    for (int32_t x = 0; x < height16.Width; ++x)
      d[x] = static_cast<uint8_t>((static_cast<uint32_t>(s[x]) * 255 + 32767) / 65535);
  }
  return true;
}

}  // namespace maps

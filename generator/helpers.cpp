// The detail measure the generator and the variation maker share.
#include <cstdlib>

#include "core/limits.h"
#include "generator/generator.h"

uint32_t DetailLevel(const mvPicture& p) {
  if (p.ColorType != ColorTypeRGB || p.BitDepth != 8 || p.Height < 1 || !p.Pixels) return 0;
  const int32_t w = p.Width, h = p.Height;
  const uint32_t ch = p.Channels;
  const bool alpha = ch == 4;
  auto takesPart = [&](const uint8_t* px) { return !alpha || px[3] > 0; };
  // 64-bit: a large noisy picture can sum past 32 bits.
  uint64_t total = 0, count = 0;
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      const uint8_t* c = p.Row(y) + static_cast<size_t>(x) * ch;
      if (!takesPart(c)) continue;
      uint32_t sr = 0, sg = 0, sb = 0, n = 0;
      for (int32_t yy = y - 1; yy <= y + 1; ++yy) {
        if (yy < 0 || yy >= h) continue;
        for (int32_t xx = x - 1; xx <= x + 1; ++xx) {
          if (xx < 0 || xx >= w) continue;
          const uint8_t* q = p.Row(yy) + static_cast<size_t>(xx) * ch;
          if (!takesPart(q)) continue;
          sr += q[0];
          sg += q[1];
          sb += q[2];
          ++n;
        }
      }
      total += static_cast<uint64_t>(std::abs(static_cast<int32_t>(sr / n) - c[0]) +
                                     std::abs(static_cast<int32_t>(sg / n) - c[1]) +
                                     std::abs(static_cast<int32_t>(sb / n) - c[2]));
      ++count;
    }
  }
  return count == 0 ? 0 : static_cast<uint32_t>(total / count);
}

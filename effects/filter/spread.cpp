#include "effects/filter/spread.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "core/random.h"
#include "effects/frame.h"

namespace {

// Whole-pixel copies with the pixel size as a constant, so that each copy
// compiles to plain moves; every format, indexed included, is moved whole.
template <class Fn>
bool WithPixelBytes(uint32_t bytes, Fn&& fn) {
  switch (bytes) {
    case 1: return fn(std::integral_constant<size_t, 1>{});
    case 2: return fn(std::integral_constant<size_t, 2>{});
    case 3: return fn(std::integral_constant<size_t, 3>{});
    case 4: return fn(std::integral_constant<size_t, 4>{});
    case 6: return fn(std::integral_constant<size_t, 6>{});
    case 8: return fn(std::integral_constant<size_t, 8>{});
    default: return true;  // not a pixel size any picture format has
  }
}

// Draws are made ahead of the copies in chunks of about this many pixels.
constexpr int64_t kChunkPixels = int64_t{1} << 20;

}  // namespace

const mvEffectClass& mvSpreadEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvSpreadEffect>(
      25, "mvSpreadEffect",
      {Field("RangeX", &mvSpreadEffect::RangeX).ZeroBecomesOne().Describe("largest horizontal displacement"),
       Field("RangeY", &mvSpreadEffect::RangeY).ZeroBecomesOne().Describe("largest vertical displacement"),
       Field("Seed", &mvSpreadEffect::Seed).Describe("seed of the displacements"),
       Field("Seamless", &mvSpreadEffect::Seamless).Describe("displaced reads wrap around the picture")});
  return c;
}

bool mvSpreadEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  frame::Frame f(source, target, progress);
  if (!f.Begin()) return f.Answer();
  f.Announce(f.Rows());
  SharedRandom.Seed(Seed);
  // 2 x range + 1 must fit the draw's 32-bit bound.
  const uint32_t rx = std::min<uint32_t>(RangeX, 0x7FFFFFFFu), ry = std::min<uint32_t>(RangeY, 0x7FFFFFFFu);
  const uint32_t nx = 2 * rx + 1, ny = 2 * ry + 1;
  const int32_t cols = f.Cols();
  const int32_t chunkRows = static_cast<int32_t>(std::max<int64_t>(1, kChunkPixels / cols));
  frame::Buffer<uint32_t> draws;
  if (!draws.Allocate(2 * static_cast<int64_t>(std::min(chunkRows, f.Rows())) * cols)) return false;
  return WithPixelBytes(source.BytesPerPixel(), [&](auto bytes) {
    constexpr size_t B = decltype(bytes)::value;
    for (int32_t first = 0; first < f.Rows(); first += chunkRows) {
      const int32_t rows = std::min(chunkRows, f.Rows() - first);
      // The draws stay on this thread and in their order: x then y, pixel by
      // pixel, row by row.
      uint32_t* d = draws.Get();
      for (int64_t i = 0, n = static_cast<int64_t>(rows) * cols; i < n; ++i, d += 2) {
        d[0] = SharedRandom.NextInt(nx);
        d[1] = SharedRandom.NextInt(ny);
      }
      const bool done = f.ForSteps(rows, cols, [&](int64_t top, int64_t bottom) {
        for (int64_t row = top; row < bottom; ++row) {
          const int32_t y = f.A.Top + first + static_cast<int32_t>(row);
          const uint32_t* draw = draws.Get() + 2 * row * cols;
          uint8_t* out = target.Row(y) + static_cast<size_t>(f.A.Left) * B;
          for (int32_t x = f.A.Left; x < f.A.Right; ++x, out += B, draw += 2) {
            const int32_t sx = frame::EdgeIndex(static_cast<int64_t>(x) + draw[0] - rx, source.Width, Seamless);
            const int32_t sy = frame::EdgeIndex(static_cast<int64_t>(y) + draw[1] - ry, source.Height, Seamless);
            std::memcpy(out, source.Row(sy) + static_cast<size_t>(sx) * B, B);
          }
        }
        return true;
      });
      if (!done) return false;
    }
    return true;
  });
}

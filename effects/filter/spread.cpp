#include "effects/filter/spread.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "core/random.h"
#include "effects/frame.h"

namespace {

// Draws are made ahead of the copies in chunks of about this many pixels.
constexpr int64_t kChunkPixels = int64_t{1} << 20;

}  // namespace

// The remainder comes from a 64-bit reciprocal, exact for every 32-bit word
// and divisor (for n = 1 the reciprocal wraps to 0, and so does the result).
BoundedDraws::BoundedDraws(uint32_t n) : N(n), Limit(0), Reciprocal(0) {
  if (n == 0) return;
  if (n <= 0x80000000u) {
    uint32_t r = (0x80000000u % n) * 2;
    if (r >= n) r -= n;
    Limit = 0xFFFFFFFFu - r;
  } else {
    Limit = n - 1;
  }
  Reciprocal = UINT64_C(0xFFFFFFFFFFFFFFFF) / n + 1;
}

uint32_t BoundedDraws::Next(mvRandom& random) const {
  if (N == 0) return 0;  // as NextInt(0): no draw
  uint32_t x;
  do x = random.Next();
  while (x > Limit);
  __extension__ typedef unsigned __int128 Wide;
  return static_cast<uint32_t>((static_cast<Wide>(Reciprocal * x) * N) >> 64);
}

const mvEffectClass& mvSpreadEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvSpreadEffect>(
      25, "mvSpreadEffect",
      {Field("RangeX", &mvSpreadEffect::RangeX).ZeroBecomesOne().Help("largest horizontal displacement"),
       Field("RangeY", &mvSpreadEffect::RangeY).ZeroBecomesOne().Help("largest vertical displacement"),
       Field("Seed", &mvSpreadEffect::Seed).Help("seed of the displacements"),
       Field("Seamless", &mvSpreadEffect::Seamless).Help("displaced reads wrap around the picture")});
  return c;
}

bool mvSpreadEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  frame::Frame f(source, target, progress);
  if (!f.Begin()) return f.Answer();
  f.Announce(f.Rows());
  SharedRandom.Seed(Seed);
  // 2 x range + 1 must fit the draw's 32-bit bound.
  const uint32_t rx = std::min<uint32_t>(RangeX, 0x7FFFFFFFu), ry = std::min<uint32_t>(RangeY, 0x7FFFFFFFu);
  const BoundedDraws drawX(2 * rx + 1), drawY(2 * ry + 1);
  const int32_t cols = f.Cols(), width = source.Width, height = source.Height;
  const int32_t chunkRows = static_cast<int32_t>(std::max<int64_t>(1, kChunkPixels / cols));
  frame::Buffer<int32_t> offsets[2];
  for (auto& o : offsets)
    if (!o.Allocate(2 * static_cast<int64_t>(std::min(chunkRows, f.Rows())) * cols)) return false;
  // The draws, x then y, pixel by pixel, row by row, for the chunk of rows
  // from `first`. They go on in a copy of the shared generator, which one
  // band at a time uses (the first band of each chunk draws the next chunk
  // while the other bands copy), and which the shared one takes over at
  // the end: the same words in the same order, whichever thread draws.
  mvRandom random = SharedRandom;
  auto draw = [&](int32_t first, int32_t* d) {
    const int64_t n = static_cast<int64_t>(std::min(chunkRows, f.Rows() - first)) * cols;
    for (int64_t i = 0; i < n; ++i, d += 2) {
      d[0] = static_cast<int32_t>(static_cast<int64_t>(drawX.Next(random)) - rx);
      d[1] = static_cast<int32_t>(static_cast<int64_t>(drawY.Next(random)) - ry);
    }
  };
  // A position moved by at most its side needs no division to come back
  // inside (the remainder of a wrapped one, the edge of a clamped one).
  auto inside = [&](int64_t c, int32_t n, uint32_t range) -> int32_t {
    if (range >= static_cast<uint32_t>(n)) return frame::EdgeIndex(c, n, Seamless);
    if (c < 0) return Seamless ? static_cast<int32_t>(c + n) : 0;
    if (c >= n) return Seamless ? static_cast<int32_t>(c - n) : n - 1;
    return static_cast<int32_t>(c);
  };
  const bool done = frame::WithPixelBytes(source.BytesPerPixel(), [&](auto bytes) {
    constexpr size_t B = decltype(bytes)::value;
    draw(0, offsets[0].Get());
    for (int32_t first = 0, chunk = 0; first < f.Rows(); first += chunkRows, chunk ^= 1) {
      const int32_t rows = std::min(chunkRows, f.Rows() - first), next = first + chunkRows;
      const int32_t* chunkOffsets = offsets[chunk].Get();
      const bool copied = f.ForSteps(rows, cols, [&](int64_t top, int64_t bottom) {
        if (top == 0 && next < f.Rows()) draw(next, offsets[chunk ^ 1].Get());
        for (int64_t row = top; row < bottom; ++row) {
          const int32_t y = f.A.Top + first + static_cast<int32_t>(row);
          const int32_t* offset = &chunkOffsets[2 * row * cols];
          uint8_t* out = target.Row(y) + static_cast<size_t>(f.A.Left) * B;
          for (int32_t x = f.A.Left; x < f.A.Right; ++x, out += B, offset += 2) {
            const int32_t sx = inside(static_cast<int64_t>(x) + offset[0], width, rx);
            const int32_t sy = inside(static_cast<int64_t>(y) + offset[1], height, ry);
            std::memcpy(out, source.Row(sy) + static_cast<size_t>(sx) * B, B);
          }
        }
        return true;
      });
      if (!copied) return false;
    }
    return true;
  });
  SharedRandom = random;
  return done;
}

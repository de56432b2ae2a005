#include "effects/geometric/turns.h"

#include <cstring>
#include <memory>
#include <type_traits>

#include "effects/frame.h"

namespace {

// Parameterless classes: clones start from the base defaults, and the stream
// holds only the size word 0.
template <class E>
const mvEffectClass& Parameterless(uint32_t id, const char* name) {
  static const mvEffectClass c = mvEffectClass::Make<E>(id, name, {}).NoBaseClone();
  return c;
}

// Pixels are moved whole, as N bytes, so every format is handled.
template <size_t N>
inline void CopyPixel(uint8_t* d, const uint8_t* s) {
  std::memcpy(d, s, N);
}

// Whole-picture quarter turn; leftTurn picks the direction. The turned
// picture's rows are the bands.
bool QuarterTurn(const mvPicture& src, mvPicture** result, mvProgress* progress, bool leftTurn) {
  if (result) *result = nullptr;
  if (!result || !src.Pixels) return false;
  const int32_t W = src.Width, H = src.Height;
  std::unique_ptr<mvPicture> out(new (std::nothrow) mvPicture);
  if (!out || !out->Create(H, W, src.ColorType, src.BitDepth, src.Channels)) return false;
  if (src.ColorType == ColorTypeIndexed && !out->CopyPaletteFrom(src)) return false;
  // The frame runs over the turned picture alone: one step per row of it.
  frame::Frame f(*out, *out, progress, frame::Pair::InPlace);
  if (!f.Begin()) return f.Answer();
  f.Announce(W);
  const uint8_t* const from = src.Pixels;
  uint8_t* const to = out->Pixels;
  const size_t fromStride = src.Stride, toStride = out->Stride, bpp = src.BytesPerPixel();
  const bool ok = f.ForRows([&](int32_t top, int32_t bottom) {
    for (int32_t r = top; r < bottom; ++r) {
      // Left turn: row r is source column W - 1 - r, top to bottom. Right
      // turn: row r is source column r, bottom to top. The column is read at
      // one stride; copying each pixel by a call measured faster here than
      // an inlined copy, whose loop let fewer of those reads overlap.
      const uint8_t* s = from + static_cast<size_t>(leftTurn ? W - 1 - r : r) * bpp;
      uint8_t* d = to + static_cast<size_t>(r) * toStride;
      for (int32_t c = 0; c < H; ++c, d += bpp)
        std::memcpy(d, s + static_cast<size_t>(leftTurn ? c : H - 1 - c) * fromStride, bpp);
    }
    return true;
  });
  if (!ok) return false;
  *result = out.release();
  return true;
}

// Target row y of the work area takes source row y, or the row as far from
// the area's foot as y is from its top; its columns are mirrored within the
// area when mirrorColumns is set.
bool Reorder(mvPicture& source, mvPicture& target, mvProgress* progress, bool mirrorRows, bool mirrorColumns) {
  frame::Frame f(source, target, progress);
  if (!f.Begin()) return f.Answer();
  f.Announce(f.Rows());
  const mvRect a = f.A;
  return frame::WithPixelBytes(source.BytesPerPixel(), [&](auto n) {
    constexpr size_t N = decltype(n)::value;
    return f.ForRows([&](int32_t top, int32_t bottom) {
      for (int32_t y = top; y < bottom; ++y) {
        const uint8_t* s = source.Row(mirrorRows ? a.Top + a.Bottom - 1 - y : y);
        uint8_t* d = target.Row(y) + static_cast<size_t>(a.Left) * N;
        if (!mirrorColumns) {
          std::memcpy(d, s + static_cast<size_t>(a.Left) * N, static_cast<size_t>(a.Right - a.Left) * N);
          continue;
        }
        for (int32_t x = a.Right - 1; x >= a.Left; --x, d += N) CopyPixel<N>(d, s + static_cast<size_t>(x) * N);
      }
      return true;
    });
  });
}

}  // namespace

const mvEffectClass& mvRotateLeftEffect::Describe() {
  return Parameterless<mvRotateLeftEffect>(514, "mvRotateLeftEffect");
}
const mvEffectClass& mvRotateRightEffect::Describe() {
  return Parameterless<mvRotateRightEffect>(515, "mvRotateRightEffect");
}
const mvEffectClass& mvRotate180Effect::Describe() {
  return Parameterless<mvRotate180Effect>(516, "mvRotate180Effect");
}
const mvEffectClass& mvFlipEffect::Describe() { return Parameterless<mvFlipEffect>(518, "mvFlipEffect"); }
const mvEffectClass& mvMirrorEffect::Describe() { return Parameterless<mvMirrorEffect>(519, "mvMirrorEffect"); }

bool mvRotateLeftEffect::Transform(mvPicture& source, mvPicture** result, mvProgress* progress) {
  return QuarterTurn(source, result, progress, true);
}

bool mvRotateRightEffect::Transform(mvPicture& source, mvPicture** result, mvProgress* progress) {
  return QuarterTurn(source, result, progress, false);
}

// The half turn, flip and mirror read other rows and columns than they
// write, so source and target must be two pictures.
bool mvRotate180Effect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  return Reorder(source, target, progress, true, true);
}

bool mvFlipEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  return Reorder(source, target, progress, true, false);
}

bool mvMirrorEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  return Reorder(source, target, progress, false, true);
}

void RegisterTurnEffects(mvEffectRegistry& registry) {
  registry.Add(mvRotateLeftEffect::Describe());
  registry.Add(mvRotateRightEffect::Describe());
  registry.Add(mvRotate180Effect::Describe());
  registry.Add(mvFlipEffect::Describe());
  registry.Add(mvMirrorEffect::Describe());
}

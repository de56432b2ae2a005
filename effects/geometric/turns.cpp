#include "effects/geometric/turns.h"

#include <cstring>
#include <memory>

namespace {

// Parameterless classes: clones start from the base defaults, and the stream
// holds only the size word 0.
template <class E>
const mvEffectClass& Parameterless(uint32_t id, const char* name) {
  static const mvEffectClass c = mvEffectClass::Make<E>(id, name, {}).NoBaseClone();
  return c;
}

// Whole-picture quarter turn; leftTurn picks the direction. Pixels are copied
// whole, so every format is handled.
bool QuarterTurn(const mvPicture& src, mvPicture** result, mvProgress* progress, bool leftTurn) {
  if (result) *result = nullptr;
  if (!result || !src.Pixels) return false;
  const int32_t W = src.Width, H = src.Height;
  std::unique_ptr<mvPicture> out(new (std::nothrow) mvPicture);
  if (!out || !out->Create(H, W, src.ColorType, src.BitDepth, src.Channels)) return false;
  if (src.ColorType == ColorTypeIndexed && !out->CopyPaletteFrom(src)) return false;
  if (progress) progress->SetMax(static_cast<uint32_t>(W - 1));
  const uint32_t bpp = src.BytesPerPixel();
  for (int32_t r = 0; r < W; ++r) {
    uint8_t* d = out->Row(r);
    if (leftTurn) {
      // Row r of the result is source column W - 1 - r, top to bottom.
      const uint8_t* s = src.Pixels + static_cast<size_t>(W - 1 - r) * bpp;
      for (int32_t c = 0; c < H; ++c, d += bpp) std::memcpy(d, s + static_cast<size_t>(c) * src.Stride, bpp);
    } else {
      // Row r of the result is source column r, bottom to top.
      const uint8_t* s = src.Pixels + static_cast<size_t>(r) * bpp;
      for (int32_t c = 0; c < H; ++c, d += bpp)
        std::memcpy(d, s + static_cast<size_t>(H - 1 - c) * src.Stride, bpp);
    }
    if (progress && !progress->SetPos(progress->Pos + 1)) return false;
  }
  *result = out.release();
  return true;
}

// The working region, limited to the picture so that a stray rectangle
// cannot send the copies outside the buffers.
bool Region(const mvPicture& p, mvRect& r) {
  r = p.Area();
  if (r.Left < 0) r.Left = 0;
  if (r.Top < 0) r.Top = 0;
  if (r.Right > p.Width) r.Right = p.Width;
  if (r.Bottom > p.Height) r.Bottom = p.Height;
  return r.Left < r.Right && r.Top < r.Bottom;
}

bool SameShape(const mvPicture& a, const mvPicture& b) {
  return a.Pixels && b.Pixels && a.Width == b.Width && a.Height == b.Height && a.BitsPerPixel == b.BitsPerPixel;
}

}  // namespace

const mvEffectClass& mvRotateLeftEffect::Describe() { return Parameterless<mvRotateLeftEffect>(514, "mvRotateLeftEffect"); }
const mvEffectClass& mvRotateRightEffect::Describe() { return Parameterless<mvRotateRightEffect>(515, "mvRotateRightEffect"); }
const mvEffectClass& mvRotate180Effect::Describe() { return Parameterless<mvRotate180Effect>(516, "mvRotate180Effect"); }
const mvEffectClass& mvFlipEffect::Describe() { return Parameterless<mvFlipEffect>(518, "mvFlipEffect"); }
const mvEffectClass& mvMirrorEffect::Describe() { return Parameterless<mvMirrorEffect>(519, "mvMirrorEffect"); }

bool mvRotateLeftEffect::Transform(mvPicture& source, mvPicture** result, mvProgress* progress) {
  return QuarterTurn(source, result, progress, true);
}

bool mvRotateRightEffect::Transform(mvPicture& source, mvPicture** result, mvProgress* progress) {
  return QuarterTurn(source, result, progress, false);
}

bool mvRotate180Effect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  mvRect a;
  if (!SameShape(source, target)) return false;
  if (!Region(source, a)) return true;
  const int32_t n = a.Bottom - a.Top;
  const uint32_t bpp = source.BytesPerPixel();
  if (progress) progress->SetMax(static_cast<uint32_t>(n - 1));
  for (int32_t i = 0; i < n; ++i) {
    const uint8_t* s = source.Row(a.Top + n - 1 - i);
    uint8_t* d = target.Row(a.Top + i) + static_cast<size_t>(a.Left) * bpp;
    for (int32_t x = a.Right - 1; x >= a.Left; --x, d += bpp) std::memcpy(d, s + static_cast<size_t>(x) * bpp, bpp);
    if (progress && !progress->SetPos(progress->Pos + 1)) return false;
  }
  return true;
}

bool mvFlipEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  mvRect a;
  if (!SameShape(source, target)) return false;
  if (!Region(source, a)) return true;
  const int32_t n = a.Bottom - a.Top;
  const uint32_t bpp = source.BytesPerPixel();
  const size_t bytes = static_cast<size_t>(a.Right - a.Left) * bpp;
  if (progress) progress->SetMax(static_cast<uint32_t>(n - 1));
  for (int32_t i = 0; i < n; ++i) {
    std::memcpy(target.Row(a.Top + i) + static_cast<size_t>(a.Left) * bpp,
                source.Row(a.Bottom - 1 - i) + static_cast<size_t>(a.Left) * bpp, bytes);
    if (progress && !progress->SetPos(progress->Pos + 1)) return false;
  }
  return true;
}

bool mvMirrorEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  mvRect a;
  if (!SameShape(source, target)) return false;
  if (!Region(source, a)) return true;
  const uint32_t bpp = source.BytesPerPixel();
  for (int32_t y = a.Top; y < a.Bottom; ++y) {
    const uint8_t* s = source.Row(y);
    uint8_t* d = target.Row(y) + static_cast<size_t>(a.Left) * bpp;
    for (int32_t x = a.Right - 1; x >= a.Left; --x, d += bpp) std::memcpy(d, s + static_cast<size_t>(x) * bpp, bpp);
    if (progress && !progress->SetPos(progress->Pos + 1)) return false;
  }
  return true;
}

void RegisterTurnEffects(mvEffectRegistry& registry) {
  registry.Add(mvRotateLeftEffect::Describe());
  registry.Add(mvRotateRightEffect::Describe());
  registry.Add(mvRotate180Effect::Describe());
  registry.Add(mvFlipEffect::Describe());
  registry.Add(mvMirrorEffect::Describe());
}

#include "core/sampler.h"

bool SampleBilinear(const mvPicture& p, double x, double y, void* target) {
  if (p.BitDepth == 16) return sampling::Clamped(p, x, y, p.Channels, static_cast<uint16_t*>(target));
  return sampling::Clamped(p, x, y, p.Channels, static_cast<uint8_t*>(target));
}

bool SampleBilinearWrap(const mvPicture& p, double x, double y, void* target) {
  if (p.BitDepth == 16)
    sampling::Wrapped(p, x, y, p.Channels, static_cast<uint16_t*>(target));
  else
    sampling::Wrapped(p, x, y, p.Channels, static_cast<uint8_t*>(target));
  return true;
}

mvSampler GetSampler(uint32_t colorType, uint32_t bitDepth, uint32_t channels) {
  if (colorType == ColorTypeIndexed || !IsValidFormat(colorType, bitDepth, channels)) return nullptr;
  return &SampleBilinear;
}

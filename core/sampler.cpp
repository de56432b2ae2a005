#include "core/sampler.h"

bool SampleBilinear(const mvPicture& p, double x, double y, void* target) {
  bool inside = false;
  sampling::ByFormat(p, [&](auto sample, auto ch) {
    using T = decltype(sample);
    inside = sampling::Clamped<T, decltype(ch)::value>(p, x, y, static_cast<T*>(target));
  });
  return inside;
}

bool SampleBilinearWrap(const mvPicture& p, double x, double y, void* target) {
  sampling::ByFormat(p, [&](auto sample, auto ch) {
    using T = decltype(sample);
    sampling::Wrapped<T, decltype(ch)::value>(p, x, y, static_cast<T*>(target));
  });
  return true;
}

mvSampler GetSampler(uint32_t colorType, uint32_t bitDepth, uint32_t channels) {
  if (colorType == ColorTypeIndexed || !IsValidFormat(colorType, bitDepth, channels)) return nullptr;
  return &SampleBilinear;
}

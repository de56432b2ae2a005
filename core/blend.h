#pragma once
#include <cstdint>

// The 18 blend modes. f(d, s) per sample for 1..13, whole pixels for 14..17.
enum : uint32_t {
  BlendNormal = 0,
  BlendMultiply,
  BlendDivide,
  BlendDifference,
  BlendAdd,
  BlendSubtract,
  BlendDarken,
  BlendLighten,
  BlendScreen,
  BlendSoftLight,
  BlendHardLight,
  BlendScreenProduct,
  BlendColorDodge,
  BlendColorBurn,
  BlendColor,
  BlendHue,
  BlendSaturation,
  BlendValue,
  BlendModeCount
};

// Rounding helpers for x >= 0.
inline uint32_t R255(uint32_t x) { return (x + 128 + ((x + 128) >> 8)) >> 8; }
inline uint32_t F255(uint32_t x) { return x / 255; }
inline uint64_t R65535(uint64_t x) { return (x + 32768 + ((x + 32768) >> 16)) >> 16; }
inline uint64_t F65535(uint64_t x) { return x / 65535; }

// Blends count source pixels onto the destination row in place.
// False only for mismatched colour types or depths, or opacity above 65535;
// unsupported mode/format combinations write nothing and answer true.
bool BlendRow(uint32_t mode, uint32_t dstChannels, uint32_t srcChannels, uint8_t* dst, uint32_t dstType,
              uint32_t dstDepth, const uint8_t* src, uint32_t srcType, uint32_t srcDepth, const uint8_t* srcPalette,
              uint32_t opacity, int32_t count);

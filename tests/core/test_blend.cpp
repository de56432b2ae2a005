// Row blending. Every expected value below was worked out by hand from the
// per-sample formulas and the weighting rules, not taken from the code.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/blend.h"
#include "core/picture.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Words = std::vector<uint16_t>;

// Blends a run of 8-bit pixels and hands back the destination.
Bytes Run8(uint32_t mode, uint32_t type, uint32_t dstChannels, Bytes dst, uint32_t srcChannels, const Bytes& src,
           uint32_t opacity) {
  const int32_t count = static_cast<int32_t>(dst.size() / dstChannels);
  EXPECT_EQ(src.size(), static_cast<size_t>(count) * srcChannels);
  EXPECT_TRUE(
      BlendRow(mode, dstChannels, srcChannels, dst.data(), type, 8, src.data(), type, 8, nullptr, opacity, count));
  return dst;
}

// The 16-bit counterpart; samples go through little-endian byte rows.
Words Run16(uint32_t mode, uint32_t type, uint32_t dstChannels, const Words& dst, uint32_t srcChannels,
            const Words& src, uint32_t opacity) {
  Bytes d(dst.size() * 2), s(src.size() * 2);
  for (size_t i = 0; i < dst.size(); ++i) StoreLE16(&d[2 * i], dst[i]);
  for (size_t i = 0; i < src.size(); ++i) StoreLE16(&s[2 * i], src[i]);
  const int32_t count = static_cast<int32_t>(dst.size() / dstChannels);
  EXPECT_TRUE(
      BlendRow(mode, dstChannels, srcChannels, d.data(), type, 16, s.data(), type, 16, nullptr, opacity, count));
  Words out(dst.size());
  for (size_t i = 0; i < out.size(); ++i) out[i] = LoadLE16(&d[2 * i]);
  return out;
}

// f(d, s) itself: opaque gray over opaque gray at full opacity.
uint32_t F8(uint32_t mode, uint8_t d, uint8_t s) { return Run8(mode, ColorTypeGray, 1, {d}, 1, {s}, 65535)[0]; }
uint32_t F16(uint32_t mode, uint16_t d, uint16_t s) { return Run16(mode, ColorTypeGray, 1, {d}, 1, {s}, 65535)[0]; }

Bytes Pattern(size_t n, uint32_t seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    b[i] = static_cast<uint8_t>(seed >> 16);
  }
  return b;
}

}  // namespace

TEST(BlendSample8, ArithmeticModes) {
  EXPECT_EQ(F8(BlendMultiply, 255, 77), 77u);
  EXPECT_EQ(F8(BlendMultiply, 128, 128), 64u);
  EXPECT_EQ(F8(BlendDivide, 1, 0), 255u);  // 256 / 1 clamped
  EXPECT_EQ(F8(BlendDivide, 200, 255), 200u);
  EXPECT_EQ(F8(BlendDivide, 50, 100), 126u);  // 12800 / 101
  EXPECT_EQ(F8(BlendDifference, 30, 100), 70u);
  EXPECT_EQ(F8(BlendAdd, 200, 100), 255u);
  EXPECT_EQ(F8(BlendSubtract, 30, 100), 0u);
  EXPECT_EQ(F8(BlendSubtract, 100, 30), 70u);
  EXPECT_EQ(F8(BlendDarken, 30, 100), 30u);
  EXPECT_EQ(F8(BlendLighten, 30, 100), 100u);
}

TEST(BlendSample8, ScreenAndSoftLight) {
  for (uint8_t s : std::initializer_list<uint8_t>{0, 1, 128, 254, 255}) EXPECT_EQ(F8(BlendScreen, 0, s), s);
  EXPECT_EQ(F8(BlendScreen, 255, 3), 255u);
  EXPECT_EQ(F8(BlendScreen, 3, 255), 255u);
  EXPECT_EQ(F8(BlendSoftLight, 128, 0), 64u);
  EXPECT_EQ(F8(BlendSoftLight, 128, 255), 192u);
  EXPECT_EQ(F8(BlendSoftLight, 100, 200), 135u);
}

TEST(BlendSample8, HardLightSwitchesAfter128) {
  EXPECT_EQ(F8(BlendHardLight, 255, 128), 255u);
  EXPECT_EQ(F8(BlendHardLight, 0, 128), 0u);  // first formula; the second would give 1
  EXPECT_EQ(F8(BlendHardLight, 100, 128), 100u);
  EXPECT_EQ(F8(BlendHardLight, 0, 129), 3u);  // second formula; the first would give 0
  EXPECT_EQ(F8(BlendHardLight, 100, 129), 102u);
}

TEST(BlendSample8, ScreenProductWraps) {
  EXPECT_EQ(F8(BlendScreenProduct, 200, 0), 58u);  // 2 * 157 = 314 wraps
  EXPECT_EQ(F8(BlendScreenProduct, 100, 0), 78u);
}

TEST(BlendSample8, DodgeAndBurnExtremes) {
  EXPECT_EQ(F8(BlendColorDodge, 0, 255), 0u);
  EXPECT_EQ(F8(BlendColorDodge, 1, 255), 255u);  // 256 clamped
  EXPECT_EQ(F8(BlendColorDodge, 77, 0), 77u);
  for (uint8_t d : std::initializer_list<uint8_t>{0, 100, 254}) EXPECT_EQ(F8(BlendColorBurn, d, 0), 0u);
  EXPECT_EQ(F8(BlendColorBurn, 255, 0), 255u);
  EXPECT_EQ(F8(BlendColorBurn, 77, 255), 77u);
  EXPECT_EQ(F8(BlendColorBurn, 200, 100), 116u);  // -139.4 truncates toward zero, not down to -140
}

TEST(BlendSample16, Counterparts) {
  EXPECT_EQ(F16(BlendMultiply, 65535, 12345), 12345u);
  EXPECT_EQ(F16(BlendDivide, 1, 0), 65535u);
  EXPECT_EQ(F16(BlendDivide, 100, 32767), 200u);
  EXPECT_EQ(F16(BlendScreen, 0, 4321), 4321u);
  EXPECT_EQ(F16(BlendHardLight, 65535, 32768), 65535u);
  EXPECT_EQ(F16(BlendHardLight, 0, 32768), 0u);
  EXPECT_EQ(F16(BlendHardLight, 0, 32769), 3u);
  EXPECT_EQ(F16(BlendScreenProduct, 51400, 0), 15092u);  // 80628 wraps modulo 65536
  EXPECT_EQ(F16(BlendColorDodge, 1, 65535), 65535u);
  EXPECT_EQ(F16(BlendColorDodge, 1000, 32768), 2000u);
  EXPECT_EQ(F16(BlendColorBurn, 65534, 0), 0u);
  EXPECT_EQ(F16(BlendColorBurn, 51400, 25700), 29492u);  // truncated toward zero
}

TEST(BlendWeights, OpacityJustBelowFull) {
  // 65534 gives k = 256 with source alpha but only 255 without.
  EXPECT_EQ(Run8(BlendNormal, ColorTypeRGB, 3, {0, 0, 0}, 3, {255, 255, 255}, 65534), (Bytes{254, 254, 254}));
  EXPECT_EQ(Run8(BlendNormal, ColorTypeRGB, 3, {0, 0, 0}, 4, {255, 255, 255, 255}, 65534), (Bytes{255, 255, 255}));
  EXPECT_EQ(Run8(BlendNormal, ColorTypeRGB, 4, {0, 0, 0, 0}, 3, {255, 255, 255}, 65534), (Bytes{254, 254, 254, 254}));
  EXPECT_EQ(Run8(BlendNormal, ColorTypeRGB, 4, {0, 0, 0, 0}, 4, {255, 255, 255, 255}, 65534),
            (Bytes{255, 255, 255, 255}));
}

TEST(BlendWeights, FaintOpacityRoundsKDown) {
  EXPECT_EQ(Run8(BlendNormal, ColorTypeGray, 1, {255}, 1, {0}, 255), (Bytes{255}));  // k = 0: nothing written
  EXPECT_EQ(Run8(BlendNormal, ColorTypeGray, 1, {255}, 1, {0}, 256), (Bytes{254}));  // k = 1
}

TEST(BlendWeights, PartialOpacityEveryAlphaCombination8) {
  // k = 128 (no source alpha) and k = 128 (source alpha, 128.5 rounded down).
  EXPECT_EQ(Run8(BlendNormal, ColorTypeRGB, 4, {10, 10, 10, 100}, 3, {250, 250, 250}, 32768),
            (Bytes{130, 130, 130, 177}));
  EXPECT_EQ(Run8(BlendNormal, ColorTypeRGB, 3, {10, 10, 10}, 4, {250, 250, 250, 100}, 32768), (Bytes{57, 57, 57}));
  // k = 156. Mode 0 weighs by the source alpha alone, mode 7 by min(da, sa).
  EXPECT_EQ(Run8(BlendNormal, ColorTypeGray, 2, {10, 50}, 2, {255, 200}, 40000), (Bytes{126, 147}));
  EXPECT_EQ(Run8(BlendLighten, ColorTypeGray, 2, {10, 50}, 2, {255, 200}, 40000), (Bytes{38, 74}));
}

TEST(BlendWeights, FullOpacityAlphaCombinations8) {
  EXPECT_EQ(Run8(BlendMultiply, ColorTypeRGB, 4, {200, 200, 0, 9}, 3, {100, 255, 7}, 65535), (Bytes{78, 200, 0, 255}));
  EXPECT_EQ(Run8(BlendMultiply, ColorTypeRGB, 3, {200, 200, 200}, 4, {100, 100, 100, 128}, 65535),
            (Bytes{138, 138, 138}));
  EXPECT_EQ(Run8(BlendNormal, ColorTypeRGB, 4, {1, 2, 3, 4}, 3, {9, 8, 7}, 65535), (Bytes{9, 8, 7, 255}));
}

TEST(BlendWeights, Sixteen) {
  EXPECT_EQ(Run16(BlendNormal, ColorTypeGray, 1, {0}, 1, {65535}, 32768), (Words{32768}));
  EXPECT_EQ(Run16(BlendNormal, ColorTypeGray, 2, {1000, 5000}, 1, {60000}, 30000), (Words{28008, 32711}));
  EXPECT_EQ(Run16(BlendNormal, ColorTypeGray, 2, {1000, 5000}, 2, {60000, 40000}, 30000), (Words{17485, 21914}));
  // Full opacity, both alphas: mode 1 is held to min(da, sa) = 20000.
  EXPECT_EQ(Run16(BlendMultiply, ColorTypeRGB, 4, {60000, 60000, 60000, 20000}, 4, {0, 0, 0, 65535}, 65535),
            (Words{41689, 41689, 41689, 33896}));
  EXPECT_EQ(Run16(BlendNormal, ColorTypeRGB, 4, {1, 2, 3, 4}, 4, {9, 8, 7, 0}, 65535), (Words{1, 2, 3, 4}));
  EXPECT_EQ(Run16(BlendNormal, ColorTypeRGB, 4, {1, 2, 3, 4}, 3, {9, 8, 7}, 65535), (Words{9, 8, 7, 65535}));
}

TEST(BlendAlpha, NormalOverRGBAAtFullOpacity) {
  EXPECT_EQ(Run8(BlendNormal, ColorTypeRGB, 4, {10, 20, 30, 40}, 4, {200, 100, 50, 0}, 65535), (Bytes{10, 20, 30, 40}));
  EXPECT_EQ(Run8(BlendNormal, ColorTypeRGB, 4, {10, 20, 30, 40}, 4, {200, 100, 50, 255}, 65535),
            (Bytes{200, 100, 50, 255}));
  // A transparent destination does not hold mode 0 back.
  EXPECT_EQ(Run8(BlendNormal, ColorTypeRGB, 4, {10, 20, 30, 0}, 4, {200, 100, 50, 255}, 65535),
            (Bytes{200, 100, 50, 255}));
}

TEST(BlendAlpha, PaintingModesNeverExceedDestinationAlpha) {
  // Multiply by black over white: the darkening 255 - d is exactly the weight a.
  for (uint32_t opacity : {65535u, 65534u, 40000u, 1000u}) {
    for (uint32_t da = 0; da <= 255; da += 15) {
      for (uint32_t sa = 0; sa <= 255; sa += 15) {
        const Bytes out = Run8(BlendMultiply, ColorTypeRGB, 4, {255, 255, 255, static_cast<uint8_t>(da)}, 4,
                               {0, 0, 0, static_cast<uint8_t>(sa)}, opacity);
        const uint32_t weight = 255u - out[0];
        const uint32_t limit = da < sa ? da : sa;
        EXPECT_LE(weight, limit) << "da " << da << " sa " << sa << " opacity " << opacity;
        if (opacity == 65535) {
          EXPECT_EQ(weight, limit);
        }
        EXPECT_GE(out[3], da);
      }
    }
  }
  EXPECT_EQ(Run8(BlendMultiply, ColorTypeRGB, 4, {200, 200, 200, 100}, 4, {0, 0, 0, 255}, 65535),
            (Bytes{121, 121, 121, 161}));
  EXPECT_EQ(Run8(BlendMultiply, ColorTypeRGB, 4, {200, 200, 200, 0}, 4, {0, 0, 0, 255}, 65535),
            (Bytes{200, 200, 200, 0}));
}

TEST(BlendWholePixel, RGB8Values) {
  EXPECT_EQ(Run8(BlendColor, ColorTypeRGB, 3, {128, 128, 128}, 3, {255, 0, 0}, 65535), (Bytes{255, 1, 1}));
  EXPECT_EQ(Run8(BlendColor, ColorTypeRGB, 3, {10, 200, 50}, 3, {90, 90, 90}, 65535), (Bytes{105, 105, 105}));
  EXPECT_EQ(Run8(BlendHue, ColorTypeRGB, 3, {0, 0, 255}, 3, {255, 0, 0}, 65535), (Bytes{255, 0, 0}));
  EXPECT_EQ(Run8(BlendHue, ColorTypeRGB, 3, {0, 0, 255}, 3, {90, 90, 90}, 65535), (Bytes{0, 0, 255}));
  EXPECT_EQ(Run8(BlendSaturation, ColorTypeRGB, 3, {255, 0, 0}, 3, {100, 50, 50}, 65535), (Bytes{255, 128, 128}));
  EXPECT_EQ(Run8(BlendSaturation, ColorTypeRGB, 3, {255, 0, 0}, 3, {90, 90, 90}, 65535), (Bytes{255, 255, 255}));
  EXPECT_EQ(Run8(BlendValue, ColorTypeRGB, 3, {255, 0, 0}, 3, {0, 0, 51}, 65535), (Bytes{51, 0, 0}));
  // The composed pixel is weighted like any f: a = min(255, 128).
  EXPECT_EQ(Run8(BlendValue, ColorTypeRGB, 4, {255, 0, 0, 255}, 4, {0, 0, 51, 128}, 65535), (Bytes{152, 0, 0, 255}));
}

TEST(BlendWholePixel, OtherFormatsUntouched) {
  for (uint32_t mode = BlendColor; mode <= BlendValue; ++mode) {
    EXPECT_EQ(Run8(mode, ColorTypeGray, 2, {10, 20, 30, 40}, 2, {200, 255, 90, 255}, 65535), (Bytes{10, 20, 30, 40}));
    EXPECT_EQ(Run16(mode, ColorTypeRGB, 4, {10, 20, 30, 40}, 3, {9000, 100, 7}, 65535), (Words{10, 20, 30, 40}));
    EXPECT_EQ(Run16(mode, ColorTypeGray, 1, {10, 20}, 1, {9000, 100}, 30000), (Words{10, 20}));
  }
}

TEST(BlendRow, OpacityZeroLeavesEveryModeUntouched) {
  struct Format {
    uint32_t type, depth, dstChannels, srcChannels;
  };
  const Format formats[] = {{ColorTypeRGB, 8, 4, 4},  {ColorTypeRGB, 8, 3, 4},   {ColorTypeGray, 8, 2, 1},
                            {ColorTypeRGB, 16, 4, 3}, {ColorTypeGray, 16, 1, 2}, {ColorTypeIndexed, 8, 2, 1}};
  const int32_t count = 7;
  for (const Format& f : formats) {
    const Bytes src = Pattern(count * f.srcChannels * f.depth / 8, 3);
    const Bytes before = Pattern(count * f.dstChannels * f.depth / 8, 7);
    for (uint32_t mode = 0; mode < BlendModeCount; ++mode) {
      Bytes dst = before;
      EXPECT_TRUE(BlendRow(mode, f.dstChannels, f.srcChannels, dst.data(), f.type, f.depth, src.data(), f.type, f.depth,
                           nullptr, 0, count));
      EXPECT_EQ(dst, before) << "mode " << mode;
    }
  }
}

TEST(BlendRow, RejectionsAndNoOps) {
  const Bytes src = Pattern(16, 1), before = Pattern(16, 2);
  Bytes dst = before;
  EXPECT_FALSE(
      BlendRow(BlendNormal, 4, 4, dst.data(), ColorTypeRGB, 8, src.data(), ColorTypeGray, 8, nullptr, 65535, 2));
  EXPECT_FALSE(
      BlendRow(BlendNormal, 4, 4, dst.data(), ColorTypeRGB, 8, src.data(), ColorTypeRGB, 16, nullptr, 65535, 2));
  EXPECT_FALSE(
      BlendRow(BlendNormal, 4, 4, dst.data(), ColorTypeRGB, 8, src.data(), ColorTypeRGB, 8, nullptr, 65536, 2));
  EXPECT_FALSE(BlendRow(99, 4, 4, dst.data(), ColorTypeRGB, 8, src.data(), ColorTypeRGB, 8, nullptr, 70000, 0));
  EXPECT_TRUE(
      BlendRow(BlendModeCount, 4, 4, dst.data(), ColorTypeRGB, 8, src.data(), ColorTypeRGB, 8, nullptr, 65535, 2));
  EXPECT_TRUE(BlendRow(BlendNormal, 4, 4, dst.data(), ColorTypeRGB, 8, src.data(), ColorTypeRGB, 8, nullptr, 65535, 0));
  EXPECT_TRUE(
      BlendRow(BlendNormal, 4, 4, dst.data(), ColorTypeRGB, 8, src.data(), ColorTypeRGB, 8, nullptr, 65535, -5));
  // Channel counts or depths no picture can have are left alone.
  EXPECT_TRUE(BlendRow(BlendNormal, 2, 4, dst.data(), ColorTypeRGB, 8, src.data(), ColorTypeRGB, 8, nullptr, 65535, 2));
  EXPECT_TRUE(
      BlendRow(BlendNormal, 3, 1, dst.data(), ColorTypeGray, 8, src.data(), ColorTypeGray, 8, nullptr, 65535, 2));
  EXPECT_TRUE(
      BlendRow(BlendNormal, 4, 4, dst.data(), ColorTypeRGB, 12, src.data(), ColorTypeRGB, 12, nullptr, 65535, 2));
  EXPECT_TRUE(BlendRow(BlendNormal, 1, 1, dst.data(), 7, 8, src.data(), 7, 8, nullptr, 65535, 2));
  EXPECT_EQ(dst, before);
}

TEST(BlendRow, StepsThroughRowsWithDifferentChannelCounts) {
  // Gray with alpha under plain gray, three pixels, k = 128.
  EXPECT_EQ(Run8(BlendNormal, ColorTypeGray, 2, {10, 100, 20, 0, 30, 255}, 1, {250, 0, 30}, 32768),
            (Bytes{130, 177, 10, 127, 30, 255}));
  // Opaque copy of RGB onto RGBA, and of a row onto itself.
  EXPECT_EQ(Run8(BlendNormal, ColorTypeRGB, 4, Bytes(8, 0), 3, {1, 2, 3, 4, 5, 6}, 65535),
            (Bytes{1, 2, 3, 255, 4, 5, 6, 255}));
  Bytes row = {1, 2, 3, 4, 5, 6};
  EXPECT_TRUE(BlendRow(BlendNormal, 3, 3, row.data(), ColorTypeRGB, 8, row.data(), ColorTypeRGB, 8, nullptr, 65535, 2));
  EXPECT_EQ(row, (Bytes{1, 2, 3, 4, 5, 6}));
}

TEST(BlendIndexed, CopiesFromHalfOpacity) {
  EXPECT_EQ(Run8(BlendNormal, ColorTypeIndexed, 1, {1, 2}, 1, {7, 8}, 32766), (Bytes{1, 2}));
  EXPECT_EQ(Run8(BlendNormal, ColorTypeIndexed, 1, {1, 2}, 1, {7, 8}, 32767), (Bytes{7, 8}));
  EXPECT_EQ(Run8(BlendNormal, ColorTypeIndexed, 2, {1, 9, 2, 9}, 1, {7, 8}, 32767), (Bytes{7, 255, 8, 255}));
  // Only mostly opaque source pixels are copied, with their alpha.
  EXPECT_EQ(Run8(BlendNormal, ColorTypeIndexed, 2, {1, 9, 2, 9}, 2, {5, 127, 6, 128}, 65535), (Bytes{1, 9, 6, 128}));
  EXPECT_EQ(Run8(BlendNormal, ColorTypeIndexed, 1, {1, 2}, 2, {5, 127, 6, 128}, 32767), (Bytes{1, 6}));
  EXPECT_EQ(Run8(BlendNormal, ColorTypeIndexed, 2, {1, 9, 2, 9}, 2, {5, 200, 6, 200}, 32766), (Bytes{1, 9, 2, 9}));
  // Indexes cannot be multiplied: other modes write nothing.
  EXPECT_EQ(Run8(BlendMultiply, ColorTypeIndexed, 1, {1, 2}, 1, {7, 8}, 65535), (Bytes{1, 2}));
}

#include <gtest/gtest.h>

#include "core/color.h"

TEST(Color, HSVPrimariesAndWrap) {
  double h, s, v;
  RGBToHSV(255, 0, 0, h, s, v);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(s, 1);
  EXPECT_EQ(v, 1);
  RGBToHSV(0, 0, 255, h, s, v);
  EXPECT_DOUBLE_EQ(h, 2.0 / 3.0);
  RGBToHSV(255, 0, 1, h, s, v);
  EXPECT_DOUBLE_EQ(h, 1 - 1.0 / 1530);
  RGBToHSV(90, 90, 90, h, s, v);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(s, 0);
}

TEST(Color, HSVThresholdsDifferByDepth) {
  double h, s, v;
  // One 16-bit step is far below 0.0001 yet still has a hue at 16 bits.
  RGB16ToHSV(1000, 1001, 1000, h, s, v);
  EXPECT_GT(s, 0);
  RGBToHSV(100, 100, 100, h, s, v);
  EXPECT_EQ(s, 0);
}

TEST(Color, HSVToRGBRoundsAndTruncates) {
  uint8_t r, g, b;
  HSVToRGB(1.0, 1, 1, r, g, b);
  EXPECT_EQ(int{r}, 255);
  EXPECT_EQ(int{g}, 0);
  EXPECT_EQ(int{b}, 0);
  HSVToRGB(0, 0, 0.5, r, g, b);
  EXPECT_EQ(int{r}, 128);  // 127.5 rounds up
  uint16_t R, G, B;
  HSVToRGB16(0, 0, 0.5, R, G, B);
  EXPECT_EQ(R, 32767);  // truncation, not rounding
}

TEST(Color, YCbCrDoubleAndClamp) {
  uint8_t r, g, b;
  YCbCrToRGB(1, 0, 0.5, r, g, b);
  EXPECT_EQ(r, 255);
  double y, cb, cr;
  RGBToYCbCr(255, 255, 255, y, cb, cr);
  YCbCrToRGB(y, cb, cr, r, g, b);
  EXPECT_EQ(r, 255);
  EXPECT_EQ(g, 255);
  EXPECT_EQ(b, 255);
}

TEST(Color, YCbCrIntegerConstants) {
  int32_t y, cb, cr;
  RGBToYCbCrInt(255, 255, 255, y, cb, cr);
  EXPECT_EQ(y, 255);
  EXPECT_EQ(cb, 0);
  EXPECT_EQ(cr, 0);
  RGBToYCbCrInt(255, 0, 0, y, cb, cr);
  EXPECT_EQ(y, (19672 * 255) >> 16);
  EXPECT_EQ(cb, (-11058 * 255) / 65536);  // truncates toward zero: -43
  EXPECT_EQ(cb, -43);
  EXPECT_EQ(cr, 127);
  uint8_t r, g, b;
  YCbCrIntToRGB(0, -128, 127, r, g, b);
  EXPECT_EQ(r, 178);  // (91881 * 127) / 65536
  EXPECT_EQ(b, 0);    // clamped
  RGB16ToYCbCrInt(65535, 65535, 65535, y, cb, cr);
  EXPECT_EQ(y, 65535);
  uint16_t R, G, B;
  YCbCrIntToRGB16(65535, 0, 32767, R, G, B);
  EXPECT_EQ(R, 65535);
}

TEST(Color, HSLDoubleRoundTripAndGray) {
  double h, s, l;
  RGBToHSL(255, 0, 0, h, s, l);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(s, 1);
  EXPECT_EQ(l, 0.5);
  uint8_t r, g, b;
  for (int v : {0, 17, 128, 200, 255}) {
    RGBToHSL(10, static_cast<uint8_t>(v), 250, h, s, l);
    HSLToRGB(h, s, l, r, g, b);
    EXPECT_EQ(r, 10);
    EXPECT_EQ(g, v);
    EXPECT_EQ(b, 250);
  }
}

TEST(Color, HSLIntegerEdges) {
  uint8_t h, s, l;
  RGBToHSLInt(255, 0, 0, h, s, l);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(s, 255);
  EXPECT_EQ(l, 128);
  uint8_t r, g, b;
  HSLIntToRGB(0, 255, 128, r, g, b);
  EXPECT_EQ(r, 255);
  EXPECT_EQ(g, 1);  // m1 = 128 / 127.5 - 1
  EXPECT_EQ(b, 1);
  // Hue 42 still rises, 43 sits at m2 (green channel ramps on H itself).
  uint8_t g42, g43;
  HSLIntToRGB(42, 255, 128, r, g42, b);
  HSLIntToRGB(43, 255, 128, r, g43, b);
  EXPECT_LT(g42, 255);
  EXPECT_EQ(g43, 255);
}

TEST(Color, TiedMaximaTakeFirstBranch) {
  double h, s, v;
  RGBToHSV(255, 255, 0, h, s, v);  // r <= g: max = g branch -> (b - r)/d + 2 = 1 -> 1/6
  EXPECT_DOUBLE_EQ(h, 1.0 / 6.0);
  EXPECT_DOUBLE_EQ(SaturationOf(255, 255, 0), 1.0);
  EXPECT_EQ(SaturationOf(0, 0, 0), 0.0);
}

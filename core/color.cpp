#include "core/color.h"

#include <cstdlib>

namespace {

// max and min in the fixed comparison order shared by HSV and HSL.
template <typename T>
void MaxMin(T r, T g, T b, T& mx, T& mn) {
  if (r <= g) {
    mx = (b < g) ? g : b;
    mn = (r < b) ? r : b;
  } else {
    mx = (b < r) ? r : b;
    mn = (g < b) ? g : b;
  }
}

double HueOf(double r, double g, double b, double mx, double delta) {
  double h;
  if (mx == r) h = (g - b) / delta;
  else if (mx == g) h = (b - r) / delta + 2;
  else h = (r - g) / delta + 4;
  return h / 6;
}

void HSVToRGBImpl(double h, double s, double v, double& r, double& g, double& b) {
  if (s == 0) {
    r = g = b = v;
    return;
  }
  double hh = 6 * h;
  if (hh == 6) hh = 0;
  int i = static_cast<int>(hh);
  double f = hh - i;
  double p = v * (1 - s);
  double q = v * (1 - f * s);
  double t = v * (1 - (1 - f) * s);
  switch (i) {
    case 0:
      r = v;
      g = t;
      b = p;
      break;
    case 1:
      r = q;
      g = v;
      b = p;
      break;
    case 2:
      r = p;
      g = v;
      b = t;
      break;
    case 3:
      r = p;
      g = q;
      b = v;
      break;
    case 4:
      r = t;
      g = p;
      b = v;
      break;
    default:
      r = v;
      g = p;
      b = q;
      break;
  }
}

uint8_t ClampByte(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }
uint16_t ClampWord(int32_t v) { return static_cast<uint16_t>(v < 0 ? 0 : (v > 65535 ? 65535 : v)); }

uint8_t ToByte(double x) { return static_cast<uint8_t>(RoundHalfUp(x * 255)); }

}  // namespace

void RGBToHSV(uint8_t R, uint8_t G, uint8_t B, double& h, double& s, double& v) {
  double r = R / 255.0, g = G / 255.0, b = B / 255.0;
  double mx, mn;
  MaxMin(r, g, b, mx, mn);
  double delta = mx - mn;
  v = mx;
  if (delta <= 0.0001) {
    h = 0;
    s = 0;
    return;
  }
  s = delta / mx;
  h = HueOf(r, g, b, mx, delta);
  if (h < 0) h += 1;
  else if (h > 1) h -= 1;
}

void RGB16ToHSV(uint16_t R, uint16_t G, uint16_t B, double& h, double& s, double& v) {
  double r = R / 65535.0, g = G / 65535.0, b = B / 65535.0;
  double mx, mn;
  MaxMin(r, g, b, mx, mn);
  double delta = mx - mn;
  v = mx;
  if (delta <= 0) {
    h = 0;
    s = 0;
    return;
  }
  s = delta / mx;
  h = HueOf(r, g, b, mx, delta);
  if (h < 0) h += 1;
  else if (h > 1) h -= 1;
}

void HSVToRGB(double h, double s, double v, uint8_t& R, uint8_t& G, uint8_t& B) {
  double r, g, b;
  HSVToRGBImpl(h, s, v, r, g, b);
  R = ToByte(r);
  G = ToByte(g);
  B = ToByte(b);
}

void HSVToRGB16(double h, double s, double v, uint16_t& R, uint16_t& G, uint16_t& B) {
  double r, g, b;
  HSVToRGBImpl(h, s, v, r, g, b);
  R = static_cast<uint16_t>(r * 65535);
  G = static_cast<uint16_t>(g * 65535);
  B = static_cast<uint16_t>(b * 65535);
}

void HSVToRGBDouble(double h, double s, double v, double& r, double& g, double& b) { HSVToRGBImpl(h, s, v, r, g, b); }

double SaturationOf(uint8_t r, uint8_t g, uint8_t b) {
  int mx = r, mn = r;
  if (g > mx) mx = g;
  if (b > mx) mx = b;
  if (g < mn) mn = g;
  if (b < mn) mn = b;
  if (mx == 0) return 0;
  return static_cast<double>(mx - mn) / mx;
}

void RGBToYCbCr(uint8_t R, uint8_t G, uint8_t B, double& y, double& cb, double& cr) {
  y = (0.299 * R + 0.587 * G + 0.114 * B) / 255;
  cb = (0.5 * B - (0.168736 * R + 0.331264 * G)) / 255;
  cr = (0.5 * R - 0.418688 * G - 0.081316 * B) / 255;
}

namespace {
uint8_t ClampRound(double x) {
  if (x < 0) return 0;
  if (x > 255) return 255;
  return static_cast<uint8_t>(RoundHalfUp(x));
}
}  // namespace

void YCbCrToRGB(double y, double cb, double cr, uint8_t& R, uint8_t& G, uint8_t& B) {
  R = ClampRound((y + 1.402 * cr) * 255);
  G = ClampRound((y - 0.344136 * cb - 0.714136 * cr) * 255);
  B = ClampRound((y + 1.772 * cb) * 255);
}

void RGBToYCbCrInt(uint8_t R, uint8_t G, uint8_t B, int32_t& y, int32_t& cb, int32_t& cr) {
  y = (19672 * R + 38621 * G + 7500 * B) >> 16;
  cb = (-11058 * R - 21710 * G + 32768 * B) / 65536;
  cr = (32768 * R - 27439 * G - 5329 * B) / 65536;
}

void RGB16ToYCbCrInt(uint16_t R, uint16_t G, uint16_t B, int32_t& y, int32_t& cb, int32_t& cr) {
  // The products of 16-bit samples exceed 32 bits; 64-bit keeps them exact.
  int64_t r = R, g = G, b = B;
  y = static_cast<int32_t>((19596 * r + 38470 * g + 7471 * b) >> 16);
  cb = static_cast<int32_t>((-11058 * r - 21710 * g + 32768 * b) / 65536);
  cr = static_cast<int32_t>((32768 * r - 27439 * g - 5329 * b) / 65536);
}

void YCbCrIntToRGB(int32_t y, int32_t cb, int32_t cr, uint8_t& R, uint8_t& G, uint8_t& B) {
  int64_t Y = y, Cb = cb, Cr = cr;
  R = ClampByte(static_cast<int32_t>((65536 * Y + 91881 * Cr) / 65536));
  G = ClampByte(static_cast<int32_t>((65536 * Y - 22553 * Cb - 46802 * Cr) / 65536));
  B = ClampByte(static_cast<int32_t>((65536 * Y + 116130 * Cb) / 65536));
}

void YCbCrIntToRGB16(int32_t y, int32_t cb, int32_t cr, uint16_t& R, uint16_t& G, uint16_t& B) {
  int64_t Y = y, Cb = cb, Cr = cr;
  R = ClampWord(static_cast<int32_t>((256 * Y + 359 * Cr) / 256));
  G = ClampWord(static_cast<int32_t>((256 * Y - 88 * Cb - 183 * Cr) / 256));
  B = ClampWord(static_cast<int32_t>((256 * Y + 453 * Cb) / 256));
}

void RGBToHSL(uint8_t R, uint8_t G, uint8_t B, double& h, double& s, double& l) {
  double r = R / 255.0, g = G / 255.0, b = B / 255.0;
  double mx, mn;
  MaxMin(r, g, b, mx, mn);
  l = (mn + mx) * 0.5;
  if (mx == mn) {
    h = 0;
    s = 0;
    return;
  }
  if (l > 0.5) s = (mx - mn) / (2 - mx - mn);
  else s = (mx - mn) / (mx + mn);
  h = HueOf(r, g, b, mx, mx - mn);
  if (h < 0) h += 1;
}

namespace {
double HSLChannel(double x, double m1, double m2) {
  if (x > 6) x -= 6;
  else if (x < 0) x += 6;
  if (x < 1) return m1 + (m2 - m1) * x;
  if (x < 3) return m2;
  if (x < 4) return m1 + (m2 - m1) * (4 - x);
  return m1;
}
}  // namespace

void HSLToRGB(double h, double s, double l, uint8_t& R, uint8_t& G, uint8_t& B) {
  double r, g, b;
  if (s == 0) {
    r = g = b = l;
  } else {
    double m2 = l <= 0.5 ? l * (1 + s) : l + s - l * s;
    double m1 = 2 * l - m2;
    double hh = 6 * h;
    r = HSLChannel(hh + 2, m1, m2);
    g = HSLChannel(hh, m1, m2);
    b = HSLChannel(hh - 2, m1, m2);
  }
  R = ToByte(r);
  G = ToByte(g);
  B = ToByte(b);
}

void RGBToHSLInt(uint8_t R, uint8_t G, uint8_t B, uint8_t& H, uint8_t& S, uint8_t& L) {
  int mx, mn;
  MaxMin<int>(R, G, B, mx, mn);
  double l = (mx + mn) * 0.5;
  double h = 0, s = 0;
  if (mx != mn) {
    int delta = mx - mn;
    if (l < 128) s = 255.0 * delta / (mx + mn);
    else s = 255.0 * delta / (511 - mx - mn);
    double hs;
    if (mx == R) hs = static_cast<double>(G - B) / delta;
    else if (mx == G) hs = static_cast<double>(B - R) / delta + 2;
    else hs = static_cast<double>(R - G) / delta + 4;
    h = 42.5 * hs;
    if (h < 0) h += 255;
    else if (h > 255) h -= 255;
  }
  H = static_cast<uint8_t>(RoundHalfUp(h));
  S = static_cast<uint8_t>(RoundHalfUp(s));
  L = static_cast<uint8_t>(RoundHalfUp(l));
}

namespace {
double HSLRamp(double h, double m1, double m2) {
  if (h < 0) h += 255;
  else if (h > 255) h -= 255;
  if (h < 43) return m1 + (h / 42.5) * (m2 - m1);
  if (h < 128) return m2;
  if (h < 170) return m1 + ((170 - h) / 42.5) * (m2 - m1);
  return m1;
}
}  // namespace

void HSLIntToRGB(uint8_t H, uint8_t S, uint8_t L, uint8_t& R, uint8_t& G, uint8_t& B) {
  if (S == 0) {
    R = G = B = L;
    return;
  }
  double l = L, s = S;
  double m2 = L < 128 ? l * (255 + s) / 65025 : (l + s - l * s / 255) / 255;
  double m1 = l / 127.5 - m2;
  double h = H;
  auto toByte = [](double v) {
    int32_t x = RoundHalfUp(v * 255);
    return static_cast<uint8_t>(x < 0 ? 0 : (x > 255 ? 255 : x));
  };
  R = toByte(HSLRamp(h + 85, m1, m2));
  G = toByte(HSLRamp(h, m1, m2));
  B = toByte(HSLRamp(h - 85, m1, m2));
}

#pragma once
#include <cstdint>

// Colour-model conversions. Two families live side by side: doubles in
// [0, 1] and integer forms on bytes; each caller names the one it uses.
// The comparison order that picks max, min and the hue sextant is fixed,
// because it decides the hue of colours with tied components.

void RGBToHSV(uint8_t r, uint8_t g, uint8_t b, double& h, double& s, double& v);
void RGB16ToHSV(uint16_t r, uint16_t g, uint16_t b, double& h, double& s, double& v);
void HSVToRGB(double h, double s, double v, uint8_t& r, uint8_t& g, uint8_t& b);
void HSVToRGB16(double h, double s, double v, uint16_t& r, uint16_t& g, uint16_t& b);
void HSVToRGBDouble(double h, double s, double v, double& r, double& g, double& b);
double SaturationOf(uint8_t r, uint8_t g, uint8_t b);

void RGBToYCbCr(uint8_t r, uint8_t g, uint8_t b, double& y, double& cb, double& cr);
void YCbCrToRGB(double y, double cb, double cr, uint8_t& r, uint8_t& g, uint8_t& b);

void RGBToYCbCrInt(uint8_t r, uint8_t g, uint8_t b, int32_t& y, int32_t& cb, int32_t& cr);
void RGB16ToYCbCrInt(uint16_t r, uint16_t g, uint16_t b, int32_t& y, int32_t& cb, int32_t& cr);
void YCbCrIntToRGB(int32_t y, int32_t cb, int32_t cr, uint8_t& r, uint8_t& g, uint8_t& b);
void YCbCrIntToRGB16(int32_t y, int32_t cb, int32_t cr, uint16_t& r, uint16_t& g, uint16_t& b);

void RGBToHSL(uint8_t r, uint8_t g, uint8_t b, double& h, double& s, double& l);
void HSLToRGB(double h, double s, double l, uint8_t& r, uint8_t& g, uint8_t& b);

void RGBToHSLInt(uint8_t r, uint8_t g, uint8_t b, uint8_t& h, uint8_t& s, uint8_t& l);
void HSLIntToRGB(uint8_t h, uint8_t s, uint8_t l, uint8_t& r, uint8_t& g, uint8_t& b);

// trunc(x + 0.5): the rounding used wherever a colour double becomes a byte.
inline int32_t RoundHalfUp(double x) { return static_cast<int32_t>(x + 0.5); }

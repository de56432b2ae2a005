#pragma once
#include <cstdint>
#include <memory>

#include "core/picture.h"

// Colours handed to a device: 0xRRGGBB.
inline constexpr uint32_t MakeRGB(uint32_t r, uint32_t g, uint32_t b) { return (r << 16) | (g << 8) | b; }

// Where the toolkit draws. The desktop program implements it on a QPainter;
// tests implement it on memory, so every drawing rule runs without a display.
class Device {
public:
  virtual ~Device() = default;
  virtual void FillRect(const mvRect& rect, uint32_t rgb) = 0;
  // A one-pixel outline just inside rect.
  virtual void FrameRect(const mvRect& rect, uint32_t rgb) = 0;
  // A one-pixel line from (x0, y0) up to, not including, (x1, y1).
  virtual void Line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t rgb) = 0;
  // The keyboard-focus indication for a cell.
  virtual void DrawFocusRect(const mvRect& rect) = 0;
  // A one-pixel outline just inside rect that inverts what is beneath.
  virtual void InvertFrame(const mvRect& rect) = 0;
  // Puts width x height pixels of 24-bit blue-green-red rows, top row first,
  // at (x, y).
  virtual void SetBits24(int32_t x, int32_t y, int32_t width, int32_t height, const uint8_t* bits, uint32_t stride) = 0;
};

// A device on a 24-bit red-green-blue memory picture; everything is clipped to it.
class MemoryDevice : public Device {
public:
  bool Create(int32_t width, int32_t height);
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  uint32_t Pixel(int32_t x, int32_t y) const;  // 0xRRGGBB; 0 outside

  void FillRect(const mvRect& rect, uint32_t rgb) override;
  void FrameRect(const mvRect& rect, uint32_t rgb) override;
  void Line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t rgb) override;
  void DrawFocusRect(const mvRect& rect) override;
  void InvertFrame(const mvRect& rect) override;
  void SetBits24(int32_t x, int32_t y, int32_t width, int32_t height, const uint8_t* bits, uint32_t stride) override;

  // Counts calls, so tests can see how drawing was cut into bands.
  int32_t SetBitsCalls = 0;

private:
  void Put(int32_t x, int32_t y, uint32_t rgb);
  uint32_t Get(int32_t x, int32_t y) const;
  std::unique_ptr<uint8_t[]> pixels_;
  int32_t width_ = 0;
  int32_t height_ = 0;
};

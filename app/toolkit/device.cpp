#include "app/toolkit/device.h"

#include <algorithm>
#include <new>

bool MemoryDevice::Create(int32_t width, int32_t height) {
  if (width < 1 || height < 1 || width > 65536 || height > 65536) return false;
  const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
  std::unique_ptr<uint8_t[]> pixels(new (std::nothrow) uint8_t[bytes]);
  if (!pixels) return false;
  std::fill(pixels.get(), pixels.get() + bytes, uint8_t{0});
  pixels_ = std::move(pixels);
  width_ = width;
  height_ = height;
  return true;
}

void MemoryDevice::Put(int32_t x, int32_t y, uint32_t rgb) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  uint8_t* p = pixels_.get() + (static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)) * 3;
  p[0] = static_cast<uint8_t>(rgb >> 16);
  p[1] = static_cast<uint8_t>(rgb >> 8);
  p[2] = static_cast<uint8_t>(rgb);
}

uint32_t MemoryDevice::Get(int32_t x, int32_t y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  const uint8_t* p =
      pixels_.get() + (static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)) * 3;
  return MakeRGB(p[0], p[1], p[2]);
}

uint32_t MemoryDevice::Pixel(int32_t x, int32_t y) const { return Get(x, y); }

void MemoryDevice::FillRect(const mvRect& rect, uint32_t rgb) {
  const int32_t left = std::max(rect.Left, 0), right = std::min(rect.Right, width_);
  const int32_t top = std::max(rect.Top, 0), bottom = std::min(rect.Bottom, height_);
  for (int32_t y = top; y < bottom; ++y)
    for (int32_t x = left; x < right; ++x) Put(x, y, rgb);
}

void MemoryDevice::FrameRect(const mvRect& rect, uint32_t rgb) {
  if (rect.Right <= rect.Left || rect.Bottom <= rect.Top) return;
  FillRect({rect.Left, rect.Top, rect.Right, rect.Top + 1}, rgb);
  FillRect({rect.Left, rect.Bottom - 1, rect.Right, rect.Bottom}, rgb);
  FillRect({rect.Left, rect.Top, rect.Left + 1, rect.Bottom}, rgb);
  FillRect({rect.Right - 1, rect.Top, rect.Right, rect.Bottom}, rgb);
}

void MemoryDevice::Line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t rgb) {
  // Only the axis-parallel lines the toolkit's users draw.
  if (y0 == y1) {
    FillRect({std::min(x0, x1 + 1), y0, std::max(x0 + 1, x1), y0 + 1}, rgb);
  } else if (x0 == x1) {
    FillRect({x0, std::min(y0, y1 + 1), x0 + 1, std::max(y0 + 1, y1)}, rgb);
  }
}

void MemoryDevice::DrawFocusRect(const mvRect& rect) { FrameRect(rect, MakeRGB(0, 0, 0)); }

void MemoryDevice::InvertFrame(const mvRect& rect) {
  if (rect.Right <= rect.Left || rect.Bottom <= rect.Top) return;
  auto invert = [&](int32_t x, int32_t y) { Put(x, y, Get(x, y) ^ 0xFFFFFFu); };
  for (int32_t x = rect.Left; x < rect.Right; ++x) {
    invert(x, rect.Top);
    if (rect.Bottom - 1 != rect.Top) invert(x, rect.Bottom - 1);
  }
  for (int32_t y = rect.Top + 1; y < rect.Bottom - 1; ++y) {
    invert(rect.Left, y);
    if (rect.Right - 1 != rect.Left) invert(rect.Right - 1, y);
  }
}

void MemoryDevice::SetBits24(int32_t x, int32_t y, int32_t width, int32_t height, const uint8_t* bits,
                             uint32_t stride) {
  ++SetBitsCalls;
  for (int32_t row = 0; row < height; ++row) {
    const uint8_t* p = bits + static_cast<size_t>(row) * stride;
    for (int32_t col = 0; col < width; ++col, p += 3) Put(x + col, y + row, MakeRGB(p[2], p[1], p[0]));
  }
}

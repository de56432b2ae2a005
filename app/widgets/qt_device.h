#pragma once
#include <QPainter>

#include "app/toolkit/device.h"

// The toolkit's drawing device on a QPainter.
class QtDevice : public Device {
public:
  explicit QtDevice(QPainter& painter) : painter_(painter) {}
  void FillRect(const mvRect& rect, uint32_t rgb) override;
  void FrameRect(const mvRect& rect, uint32_t rgb) override;
  void Line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t rgb) override;
  void DrawFocusRect(const mvRect& rect) override;
  void InvertFrame(const mvRect& rect) override;
  void SetBits24(int32_t x, int32_t y, int32_t width, int32_t height, const uint8_t* bits, uint32_t stride) override;

private:
  QPainter& painter_;
};

inline QRect ToQRect(const mvRect& r) { return QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top); }
inline mvRect ToRect(const QRect& r) { return mvRect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }

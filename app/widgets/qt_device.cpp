#include "app/widgets/qt_device.h"

#include <QImage>

namespace {
QColor ToColor(uint32_t rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }
}  // namespace

void QtDevice::FillRect(const mvRect& rect, uint32_t rgb) {
  if (rect.Right > rect.Left && rect.Bottom > rect.Top) painter_.fillRect(ToQRect(rect), ToColor(rgb));
}

void QtDevice::FrameRect(const mvRect& rect, uint32_t rgb) {
  if (rect.Right <= rect.Left || rect.Bottom <= rect.Top) return;
  FillRect({rect.Left, rect.Top, rect.Right, rect.Top + 1}, rgb);
  FillRect({rect.Left, rect.Bottom - 1, rect.Right, rect.Bottom}, rgb);
  FillRect({rect.Left, rect.Top, rect.Left + 1, rect.Bottom}, rgb);
  FillRect({rect.Right - 1, rect.Top, rect.Right, rect.Bottom}, rgb);
}

void QtDevice::Line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t rgb) {
  // The end point is not drawn, so joined lines do not overlap.
  if (y0 == y1) {
    FillRect({std::min(x0, x1 + 1), y0, std::max(x0 + 1, x1), y0 + 1}, rgb);
  } else if (x0 == x1) {
    FillRect({x0, std::min(y0, y1 + 1), x0 + 1, std::max(y0 + 1, y1)}, rgb);
  } else {
    painter_.save();
    painter_.setPen(ToColor(rgb));
    painter_.drawLine(x0, y0, x1, y1);
    painter_.restore();
  }
}

void QtDevice::DrawFocusRect(const mvRect& rect) {
  if (rect.Right - rect.Left < 2 || rect.Bottom - rect.Top < 2) return;
  painter_.save();
  painter_.setPen(QPen(Qt::black, 1, Qt::DotLine));
  painter_.setBrush(Qt::NoBrush);
  painter_.drawRect(rect.Left, rect.Top, rect.Right - rect.Left - 1, rect.Bottom - rect.Top - 1);
  painter_.restore();
}

void QtDevice::InvertFrame(const mvRect& rect) {
  if (rect.Right <= rect.Left || rect.Bottom <= rect.Top) return;
  painter_.save();
  painter_.setCompositionMode(QPainter::RasterOp_NotDestination);
  const int32_t w = rect.Right - rect.Left, h = rect.Bottom - rect.Top;
  painter_.fillRect(QRect(rect.Left, rect.Top, w, 1), Qt::black);
  if (h > 1) painter_.fillRect(QRect(rect.Left, rect.Bottom - 1, w, 1), Qt::black);
  if (h > 2) {
    painter_.fillRect(QRect(rect.Left, rect.Top + 1, 1, h - 2), Qt::black);
    if (w > 1) painter_.fillRect(QRect(rect.Right - 1, rect.Top + 1, 1, h - 2), Qt::black);
  }
  painter_.restore();
}

void QtDevice::SetBits24(int32_t x, int32_t y, int32_t width, int32_t height, const uint8_t* bits, uint32_t stride) {
  // Wraps the band without copying it; the painter converts as it draws.
  const QImage band(bits, width, height, static_cast<qsizetype>(stride), QImage::Format_BGR888);
  painter_.drawImage(x, y, band);
}

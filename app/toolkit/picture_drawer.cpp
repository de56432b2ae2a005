#include "app/toolkit/picture_drawer.h"

#include <algorithm>
#include <new>

uint8_t* PictureDrawer::buffer_ = nullptr;
int32_t PictureDrawer::instances_ = 0;

namespace {

constexpr uint32_t kCheckerWhite = 255;
constexpr uint32_t kCheckerGray = 224;
// Widest run whose 24-bit row still fits the buffer; wider parts are drawn in
// several columns of bands.
constexpr int32_t kMaxRunWidth = static_cast<int32_t>(PictureDrawer::kBufferSize / 3) & ~3;

inline uint32_t Blend8(uint32_t sample, uint32_t alpha, uint32_t checker) {
  return (sample * alpha + checker * (255 - alpha)) / 255;
}
inline uint32_t Blend16(uint32_t sampleHigh, uint32_t alpha, uint32_t checker) {
  return (sampleHigh * alpha + checker * (65535 - alpha)) / 65535;
}

}  // namespace

PictureDrawer::PictureDrawer() {
  if (instances_ == 0 || buffer_ == nullptr) buffer_ = new (std::nothrow) uint8_t[kBufferSize];
  ++instances_;
}

PictureDrawer::~PictureDrawer() {
  if (--instances_ == 0) {
    delete[] buffer_;
    buffer_ = nullptr;
  }
}

uint32_t PictureDrawer::Stride24(int32_t width) { return (static_cast<uint32_t>(width) * 24 + 31) / 8 & ~3u; }

int32_t PictureDrawer::RowsPerBand(int32_t width) {
  const uint32_t stride = Stride24(std::max(width, 1));
  return static_cast<int32_t>(kBufferSize / stride);
}

uint32_t PictureDrawer::Checker(int32_t x, int32_t y) const {
  const int32_t cw = std::max(CheckerWidth, 1), ch = std::max(CheckerHeight, 1);
  return ((x / cw + y / ch) & 1) ? kCheckerGray : kCheckerWhite;
}

// Converts count pixels of one picture row into blue-green-red; sourceX(i)
// gives the picture column of output pixel i. The format is dispatched once per row.
template <typename SourceX>
void PictureDrawer::ConvertRow(const mvPicture& picture, int32_t sourceY, int32_t count, SourceX sourceX,
                               uint8_t* out) const {
  const uint8_t* row = picture.Row(sourceY);
  const uint32_t channels = picture.Channels;
  const bool alpha = picture.HasAlpha();
  if (picture.ColorType == ColorTypeRGB && picture.BitDepth == 8) {
    for (int32_t i = 0; i < count; ++i, out += 3) {
      const int32_t x = sourceX(i);
      const uint8_t* p = row + static_cast<size_t>(x) * channels;
      if (alpha) {
        const uint32_t c = Checker(x, sourceY);
        out[0] = static_cast<uint8_t>(Blend8(p[2], p[3], c));
        out[1] = static_cast<uint8_t>(Blend8(p[1], p[3], c));
        out[2] = static_cast<uint8_t>(Blend8(p[0], p[3], c));
      } else {
        out[0] = p[2];
        out[1] = p[1];
        out[2] = p[0];
      }
    }
  } else if (picture.ColorType == ColorTypeRGB && picture.BitDepth == 16) {
    const uint16_t* samples = reinterpret_cast<const uint16_t*>(row);
    for (int32_t i = 0; i < count; ++i, out += 3) {
      const int32_t x = sourceX(i);
      const uint16_t* p = samples + static_cast<size_t>(x) * channels;
      if (alpha) {
        const uint32_t c = Checker(x, sourceY);
        out[0] = static_cast<uint8_t>(Blend16(p[2] >> 8, p[3], c));
        out[1] = static_cast<uint8_t>(Blend16(p[1] >> 8, p[3], c));
        out[2] = static_cast<uint8_t>(Blend16(p[0] >> 8, p[3], c));
      } else {
        out[0] = static_cast<uint8_t>(p[2] >> 8);
        out[1] = static_cast<uint8_t>(p[1] >> 8);
        out[2] = static_cast<uint8_t>(p[0] >> 8);
      }
    }
  } else if (picture.ColorType == ColorTypeGray) {
    const bool wide = picture.BitDepth == 16;
    for (int32_t i = 0; i < count; ++i, out += 3) {
      const int32_t x = sourceX(i);
      uint32_t v;
      if (wide) {
        const uint16_t* p = reinterpret_cast<const uint16_t*>(row) + static_cast<size_t>(x) * channels;
        if (alpha) {
          const uint32_t c = Checker(x, sourceY);
          v = Blend16(p[0] >> 8, p[1], (c * 77 + c * 151 + c * 28) / 256);
        } else {
          v = p[0] >> 8;
        }
      } else {
        const uint8_t* p = row + static_cast<size_t>(x) * channels;
        if (alpha) {
          const uint32_t c = Checker(x, sourceY);
          v = Blend8(p[0], p[1], (c * 77 + c * 151 + c * 28) / 256);
        } else {
          v = p[0];
        }
      }
      out[0] = out[1] = out[2] = static_cast<uint8_t>(v);
    }
  } else {
    // Indexed pictures show their palette colours; an index past the palette shows black.
    const mvPalette* palette = picture.Palette;
    for (int32_t i = 0; i < count; ++i, out += 3) {
      const uint32_t index = row[sourceX(i)];
      if (palette && palette->Entries && index < static_cast<uint32_t>(palette->Count)) {
        const uint8_t* e = palette->Entries + index * 4;
        out[0] = e[2];
        out[1] = e[1];
        out[2] = e[0];
      } else {
        out[0] = out[1] = out[2] = 0;
      }
    }
  }
}

void PictureDrawer::Draw(Device& device, int32_t x, int32_t y, int32_t sourceX, int32_t sourceY, int32_t width,
                         int32_t height, const mvPicture& picture) const {
  if (!buffer_ || picture.IsEmpty()) return;
  if (picture.ColorType == ColorTypeIndexed && picture.BitDepth != 8) return;
  // Only the part that lies inside the picture is drawn.
  if (sourceX < 0) {
    width += sourceX;
    x -= sourceX;
    sourceX = 0;
  }
  if (sourceY < 0) {
    height += sourceY;
    y -= sourceY;
    sourceY = 0;
  }
  if (sourceX >= picture.Width || sourceY >= picture.Height) return;
  width = std::min(width, picture.Width - sourceX);
  height = std::min(height, picture.Height - sourceY);
  if (width <= 0 || height <= 0) return;

  for (int32_t runX = 0; runX < width; runX += kMaxRunWidth) {
    const int32_t runWidth = std::min(kMaxRunWidth, width - runX);
    const uint32_t stride = Stride24(runWidth);
    const int32_t bandRows = std::min(RowsPerBand(runWidth), height);
    const int32_t firstX = sourceX + runX;
    for (int32_t bandY = 0; bandY < height; bandY += bandRows) {
      const int32_t rows = std::min(bandRows, height - bandY);
      for (int32_t r = 0; r < rows; ++r)
        ConvertRow(
            picture, sourceY + bandY + r, runWidth, [firstX](int32_t i) { return firstX + i; },
            buffer_ + static_cast<size_t>(r) * stride);
      device.SetBits24(x + runX, y + bandY, runWidth, rows, buffer_, stride);
    }
  }
}

// Output pixels destX ... destX + count - 1 of one scaled row, each the mean
// of its block of source rows y0 ... y1 - 1 (RGB, 8 bits, 3 or 4 channels).
void PictureDrawer::AverageRow(const mvPicture& picture, int32_t y0, int32_t y1, int32_t destX, int32_t count,
                               int32_t sourceX, int32_t sourceWidth, int32_t scaledWidth, uint8_t* out) const {
  const uint32_t channels = picture.Channels;
  for (int32_t i = 0; i < count; ++i, out += 3) {
    const int64_t dx = destX + i;
    const int32_t x0 = sourceX + static_cast<int32_t>(dx * sourceWidth / scaledWidth);
    int32_t x1 = sourceX + static_cast<int32_t>((dx + 1) * sourceWidth / scaledWidth);
    x1 = std::max(x1, x0 + 1);  // enlarging: every output pixel still reads one source pixel
    uint64_t sum[4] = {0, 0, 0, 0};
    for (int32_t yy = y0; yy < y1; ++yy) {
      const uint8_t* p = picture.Row(yy) + static_cast<size_t>(x0) * channels;
      for (int32_t xx = x0; xx < x1; ++xx, p += channels)
        for (uint32_t c = 0; c < channels; ++c) sum[c] += p[c];
    }
    const uint64_t n = static_cast<uint64_t>(x1 - x0) * static_cast<uint64_t>(y1 - y0);
    uint32_t r = static_cast<uint32_t>(sum[0] / n), g = static_cast<uint32_t>(sum[1] / n),
             b = static_cast<uint32_t>(sum[2] / n);
    if (channels == 4) {
      const uint32_t a = static_cast<uint32_t>(sum[3] / n);
      const uint32_t c = Checker(x0, y0);
      r = Blend8(r, a, c);
      g = Blend8(g, a, c);
      b = Blend8(b, a, c);
    }
    out[0] = static_cast<uint8_t>(b);
    out[1] = static_cast<uint8_t>(g);
    out[2] = static_cast<uint8_t>(r);
  }
}

void PictureDrawer::DrawScaled(Device& device, const mvRect& destination, const mvPicture& picture, int32_t sourceX,
                               int32_t sourceY, int32_t scaledWidth, int32_t scaledHeight, int32_t mode) const {
  if (!buffer_ || picture.IsEmpty() || scaledWidth <= 0 || scaledHeight <= 0) return;
  if (picture.ColorType == ColorTypeIndexed && picture.BitDepth != 8) return;
  if (sourceX < 0 || sourceY < 0 || sourceX >= picture.Width || sourceY >= picture.Height) return;
  const int32_t sourceWidth = picture.Width - sourceX, sourceHeight = picture.Height - sourceY;
  const int32_t left = std::max(destination.Left, 0), top = std::max(destination.Top, 0);
  const int32_t right = std::min(destination.Right, scaledWidth), bottom = std::min(destination.Bottom, scaledHeight);
  if (right <= left || bottom <= top) return;
  const bool average =
      mode == ModeAreaAverage && picture.ColorType == ColorTypeRGB && picture.BitDepth == 8 && picture.Channels >= 3;
  const int32_t width = right - left, height = bottom - top;

  for (int32_t runX = 0; runX < width; runX += kMaxRunWidth) {
    const int32_t runWidth = std::min(kMaxRunWidth, width - runX);
    const uint32_t stride = Stride24(runWidth);
    const int32_t bandRows = std::min(RowsPerBand(runWidth), height);
    const int32_t firstX = left + runX;
    for (int32_t bandY = 0; bandY < height; bandY += bandRows) {
      const int32_t rows = std::min(bandRows, height - bandY);
      for (int32_t r = 0; r < rows; ++r) {
        const int64_t dy = top + bandY + r;
        uint8_t* out = buffer_ + static_cast<size_t>(r) * stride;
        const int32_t y0 = sourceY + static_cast<int32_t>(dy * sourceHeight / scaledHeight);
        if (average) {
          int32_t y1 = sourceY + static_cast<int32_t>((dy + 1) * sourceHeight / scaledHeight);
          y1 = std::max(y1, y0 + 1);
          AverageRow(picture, y0, y1, firstX, runWidth, sourceX, sourceWidth, scaledWidth, out);
        } else {
          ConvertRow(
              picture, y0, runWidth,
              [=](int32_t i) {
                return sourceX + static_cast<int32_t>(static_cast<int64_t>(firstX + i) * sourceWidth / scaledWidth);
              },
              out);
        }
      }
      device.SetBits24(firstX, top + bandY, runWidth, rows, buffer_, stride);
    }
  }
}

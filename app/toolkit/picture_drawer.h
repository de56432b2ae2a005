#pragma once
#include <cstdint>

#include "app/toolkit/device.h"
#include "core/picture.h"

// Puts pictures of any format on a device, in bands of 24-bit rows converted
// through one buffer shared by every drawer, so drawing never allocates and a
// picture of any size draws with fixed memory. Pixels with alpha are shown
// over a checkerboard laid in picture coordinates.
class PictureDrawer {
public:
  static constexpr uint32_t kBufferSize = 0x40000;
  enum : int32_t { ModeNearest = 0, ModeInterpolate = 1, ModeAreaAverage = 2 };

  PictureDrawer();
  ~PictureDrawer();
  PictureDrawer(const PictureDrawer&) = delete;
  PictureDrawer& operator=(const PictureDrawer&) = delete;

  // False when the shared buffer could not be allocated; the drawer then draws nothing.
  bool IsValid() const { return buffer_ != nullptr; }

  // Draws the width x height part of picture at (sourceX, sourceY) unscaled at (x, y).
  void Draw(Device& device, int32_t x, int32_t y, int32_t sourceX, int32_t sourceY, int32_t width, int32_t height,
            const mvPicture& picture) const;

  // The part of the picture from (sourceX, sourceY) to its end, scaled to
  // scaledWidth x scaledHeight with its top-left at the device origin; only the
  // part inside destination is drawn. Mode 2 averages areas (RGB 8-bit pictures;
  // others fall back to mode 0), every other mode takes the nearest pixel.
  void DrawScaled(Device& device, const mvRect& destination, const mvPicture& picture, int32_t sourceX, int32_t sourceY,
                  int32_t scaledWidth, int32_t scaledHeight, int32_t mode) const;

  int32_t CheckerWidth = 32;
  int32_t CheckerHeight = 32;

  // Rows of 24-bit pixels of the given width that fit the buffer at once.
  static int32_t RowsPerBand(int32_t width);
  static uint32_t Stride24(int32_t width);

private:
  template <typename SourceX>
  void ConvertRow(const mvPicture& picture, int32_t sourceY, int32_t count, SourceX sourceX, uint8_t* out) const;
  void AverageRow(const mvPicture& picture, int32_t y0, int32_t y1, int32_t destX, int32_t count, int32_t sourceX,
                  int32_t sourceWidth, int32_t scaledWidth, uint8_t* out) const;
  uint32_t Checker(int32_t x, int32_t y) const;

  static uint8_t* buffer_;
  static int32_t instances_;
};

#include "app/toolkit/tiling.h"

#include <algorithm>
#include <new>
#include <vector>

void TileSize(int32_t width, int32_t height, int32_t columns, int32_t rows, int32_t maxSide, int32_t& tileWidth,
              int32_t& tileHeight) {
  tileWidth = std::max(width, 1);
  tileHeight = std::max(height, 1);
  const int64_t tiledWidth = static_cast<int64_t>(tileWidth) * std::max(columns, 1);
  const int64_t tiledHeight = static_cast<int64_t>(tileHeight) * std::max(rows, 1);
  if (maxSide < 1 || (tiledWidth <= maxSide && tiledHeight <= maxSide)) return;
  const double scale = std::min(static_cast<double>(maxSide) / static_cast<double>(tiledWidth),
                                static_cast<double>(maxSide) / static_cast<double>(tiledHeight));
  tileWidth = std::max(1, static_cast<int32_t>(static_cast<double>(tileWidth) * scale));
  tileHeight = std::max(1, static_cast<int32_t>(static_cast<double>(tileHeight) * scale));
}

namespace {

// The texture at tileWidth x tileHeight in RGB 8-bit with alpha: every output
// pixel averages the source pixels it covers, so the whole texture counts
// and no column or row is dropped at the edges where the tiles meet.
bool ReduceInto(mvPicture& out, const mvPicture& in, const std::function<bool()>& stop) {
  const int32_t w = in.Width, h = in.Height, tw = out.Width, th = out.Height;
  std::vector<uint64_t> sums;
  std::vector<uint8_t> converted;
  try {
    sums.assign(static_cast<size_t>(tw) * 4, 0);
    converted.resize(static_cast<size_t>(w) * 4);
  } catch (const std::bad_alloc&) {
    return false;
  }
  const bool direct = in.ColorType == ColorTypeRGB && in.BitDepth == 8 && in.Channels == 4;
  const uint8_t* palette = in.Palette ? in.Palette->Entries : nullptr;
  for (int32_t y = 0; y < th; ++y) {
    if (stop && stop()) return false;
    const int32_t y0 = static_cast<int32_t>(static_cast<int64_t>(y) * h / th);
    const int32_t y1 = std::max(y0 + 1, static_cast<int32_t>(static_cast<int64_t>(y + 1) * h / th));
    std::fill(sums.begin(), sums.end(), 0);
    for (int32_t sy = y0; sy < y1; ++sy) {
      const uint8_t* row = in.Row(sy);
      if (!direct) {
        ConvertRow(row, in.ColorType, in.BitDepth, in.Channels, converted.data(), ColorTypeRGB, 8, 4, palette, w);
        row = converted.data();
      }
      for (int32_t x = 0; x < tw; ++x) {
        const int32_t x0 = static_cast<int32_t>(static_cast<int64_t>(x) * w / tw);
        const int32_t x1 = std::max(x0 + 1, static_cast<int32_t>(static_cast<int64_t>(x + 1) * w / tw));
        uint64_t* sum = &sums[static_cast<size_t>(x) * 4];
        for (const uint8_t* p = row + 4 * x0; p < row + 4 * x1; p += 4) {
          sum[0] += p[0];
          sum[1] += p[1];
          sum[2] += p[2];
          sum[3] += p[3];
        }
      }
    }
    uint8_t* target = out.Row(y);
    for (int32_t x = 0; x < tw; ++x) {
      const int32_t x0 = static_cast<int32_t>(static_cast<int64_t>(x) * w / tw);
      const int32_t x1 = std::max(x0 + 1, static_cast<int32_t>(static_cast<int64_t>(x + 1) * w / tw));
      const uint64_t count = static_cast<uint64_t>(x1 - x0) * static_cast<uint64_t>(y1 - y0);
      for (int c = 0; c < 4; ++c)
        target[4 * x + c] =
            static_cast<uint8_t>((sums[static_cast<size_t>(x) * 4 + static_cast<size_t>(c)] + count / 2) / count);
    }
  }
  return true;
}

}  // namespace

std::unique_ptr<mvPicture> BuildTiledPicture(const mvPicture& texture, int32_t columns, int32_t rows, int32_t maxSide,
                                             const std::function<bool()>& stop) {
  if (texture.IsEmpty() || columns < 1 || rows < 1) return nullptr;
  int32_t tileWidth = 0, tileHeight = 0;
  TileSize(texture.Width, texture.Height, columns, rows, maxSide, tileWidth, tileHeight);
  const int64_t tiledWidth = static_cast<int64_t>(tileWidth) * columns;
  const int64_t tiledHeight = static_cast<int64_t>(tileHeight) * rows;
  if (tiledWidth > INT32_MAX || tiledHeight > INT32_MAX) return nullptr;
  const mvPicture* tile = &texture;
  std::unique_ptr<mvPicture> reduced;
  if (tileWidth != texture.Width || tileHeight != texture.Height) {
    reduced.reset(new (std::nothrow) mvPicture);
    if (!reduced || !reduced->Create(tileWidth, tileHeight, ColorTypeRGB, 8, 4) || !ReduceInto(*reduced, texture, stop))
      return nullptr;
    tile = reduced.get();
  }
  std::unique_ptr<mvPicture> tiled(new (std::nothrow) mvPicture);
  if (!tiled || !tiled->Create(static_cast<int32_t>(tiledWidth), static_cast<int32_t>(tiledHeight), ColorTypeRGB, 8, 4))
    return nullptr;
  for (int32_t r = 0; r < rows; ++r) {
    if (stop && stop()) return nullptr;
    for (int32_t c = 0; c < columns; ++c) CopyRect(*tiled, c * tileWidth, r * tileHeight, *tile, tileWidth, tileHeight);
  }
  return tiled;
}

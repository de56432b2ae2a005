#include "effects/filter/cells.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "core/random.h"
#include "effects/filter/families.h"
#include "effects/frame.h"

namespace {

// ---- pixelize ---------------------------------------------------------------

// Blocks start at the work area's corner; block rows first .. last.
template <class F>
void PixelizeBand(const mvPicture& src, mvPicture& dst, const mvRect& a, int64_t cw, int64_t ch, int64_t first,
                  int64_t last) {
  using S = typename F::Sample;
  for (int64_t b = first; b < last; ++b) {
    const int32_t y0 = static_cast<int32_t>(a.Top + b * ch);
    const int32_t y1 = static_cast<int32_t>(std::min<int64_t>(y0 + ch, a.Bottom));
    for (int64_t bx = a.Left; bx < a.Right; bx += cw) {
      const int32_t x0 = static_cast<int32_t>(bx);
      const int32_t x1 = static_cast<int32_t>(std::min<int64_t>(bx + cw, a.Right));
      uint64_t sum[4] = {0, 0, 0, 0};
      uint64_t alphaSum = 0;
      for (int32_t y = y0; y < y1; ++y) {
        const S* p = frame::PixelAt<F>(src, x0, y);
        for (int32_t x = x0; x < x1; ++x, p += F::kChannels) {
          if constexpr (F::kAlpha) {
            const uint64_t al = p[F::kChannels - 1];
            for (uint32_t c = 0; c < F::kColours; ++c) sum[c] += p[c] * al;
            alphaSum += al;
          } else {
            for (uint32_t c = 0; c < F::kChannels; ++c) sum[c] += p[c];
          }
        }
      }
      const uint64_t count = static_cast<uint64_t>(x1 - x0) * static_cast<uint64_t>(y1 - y0);
      S value[4] = {0, 0, 0, 0};
      if constexpr (F::kAlpha) {
        if (alphaSum != 0) {
          for (uint32_t c = 0; c < F::kColours; ++c) value[c] = static_cast<S>(sum[c] / alphaSum);
          value[F::kChannels - 1] = static_cast<S>(alphaSum / count);
        }
      } else {
        for (uint32_t c = 0; c < F::kChannels; ++c) value[c] = static_cast<S>(sum[c] / count);
      }
      for (int32_t y = y0; y < y1; ++y) {
        S* d = frame::PixelAt<F>(dst, x0, y);
        for (int32_t x = x0; x < x1; ++x, d += F::kChannels)
          for (uint32_t c = 0; c < F::kChannels; ++c) d[c] = value[c];
      }
    }
  }
}

// ---- mosaic -----------------------------------------------------------------

// 128-bit squares for point grids thrown far outside the picture by
// extreme cell sizes or jitter; ordinary grids use 64 bits.
__extension__ typedef __int128 WideDistance;

struct MosaicGrid {
  int64_t Rows = 0, Cols = 0;
  int64_t CellW = 1, CellH = 1;
  frame::Buffer<int64_t> X, Y;

  // The index of the nearest point of each pixel of area row y, x = 0 ..
  // w - 1, among the 3 x 3 grid cells around the pixel's own; the first of
  // equally near points (row by row) wins. Pixels share their candidates
  // along a cell's width, and each candidate its vertical distance.
  template <class D>
  void Nearest(int64_t y, int64_t w, int64_t* owner) const {
    const int64_t r0 = std::max<int64_t>(0, y / CellH - 1), r1 = std::min<int64_t>(Rows - 1, y / CellH + 1);
    int64_t index[9];
    D px[9], dy2[9];
    for (int64_t cx = 0, x0 = 0; x0 < w; ++cx, x0 += CellW) {
      const int64_t x1 = std::min(w, x0 + CellW);
      const int64_t c0 = std::max<int64_t>(0, cx - 1), c1 = std::min<int64_t>(Cols - 1, cx + 1);
      int n = 0;
      for (int64_t r = r0; r <= r1; ++r)
        for (int64_t c = c0; c <= c1; ++c, ++n) {
          index[n] = r * Cols + c;
          const D dy = static_cast<D>(Y[index[n]]) - static_cast<D>(y);
          px[n] = static_cast<D>(X[index[n]]);
          dy2[n] = dy * dy;
        }
      for (int64_t x = x0; x < x1; ++x) {
        int best = 0;
        D dx = px[0] - static_cast<D>(x);
        D bestDistance = dx * dx + dy2[0];
        for (int i = 1; i < n; ++i) {
          dx = px[i] - static_cast<D>(x);
          const D d = dx * dx + dy2[i];
          if (d < bestDistance) {
            best = i;
            bestDistance = d;
          }
        }
        owner[x] = index[best];
      }
    }
  }
};

// What the pixels of a cell add up to.
struct MosaicSums {
  uint64_t Sum[3] = {0, 0, 0};
  uint64_t AlphaSum = 0;
  uint64_t Count = 0;
};

struct MosaicCell {
  uint8_t Colour[4] = {0, 0, 0, 0};
  bool Empty = true;
};

// Gives two edge cells of a seamless mosaic one colour. A cell that owns no
// pixel takes the other's colour.
void MergeCells(MosaicCell& p, MosaicCell& q, bool alpha) {
  uint8_t out[4] = {0, 0, 0, 0};
  if (alpha) {
    const uint32_t a1 = p.Colour[3], a2 = q.Colour[3], sum = a1 + a2;
    if (sum != 0) {
      for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>((p.Colour[c] * a1 + q.Colour[c] * a2) / sum);
      out[3] = static_cast<uint8_t>(a1 != 0 && a2 != 0 ? sum / 2 : sum);
    }
  } else if (p.Empty != q.Empty) {
    std::memcpy(out, p.Empty ? q.Colour : p.Colour, 4);
  } else {
    for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>((p.Colour[c] + q.Colour[c]) >> 1);
  }
  std::memcpy(p.Colour, out, 4);
  std::memcpy(q.Colour, out, 4);
  p.Empty = q.Empty = p.Empty && q.Empty;
}

// Adds the pixels of rows top .. bottom to the sums of the cells they
// belong to. The band adds into its own sums first: integer sums give the
// same totals whatever the order the bands finish in.
template <uint32_t C, class D>
bool MosaicSumBand(const mvPicture& src, const mvRect& a, const MosaicGrid& grid, frame::Buffer<MosaicSums>& sums,
                   std::mutex& merge, int32_t top, int32_t bottom) {
  // The nearest point of a pixel lies in its own cell row or the next one
  // up or down.
  const int64_t r0 = std::max<int64_t>(0, (top - a.Top) / grid.CellH - 1);
  const int64_t r1 = std::min<int64_t>(grid.Rows - 1, (bottom - 1 - a.Top) / grid.CellH + 1);
  const int64_t base = r0 * grid.Cols;
  frame::Buffer<MosaicSums> local;
  frame::Buffer<int64_t> owner;
  if (!local.Allocate((r1 - r0 + 1) * grid.Cols) || !owner.Allocate(a.Right - a.Left)) return false;
  for (int32_t y = top; y < bottom; ++y) {
    const uint8_t* p = src.Row(y) + static_cast<size_t>(a.Left) * C;
    grid.Nearest<D>(y - a.Top, a.Right - a.Left, owner.Get());
    for (int32_t x = 0; x < a.Right - a.Left; ++x, p += C) {
      MosaicSums& s = local[owner[x] - base];
      if constexpr (C == 4) {
        const uint64_t al = p[3];
        for (int c = 0; c < 3; ++c) s.Sum[c] += p[c] * al;
        s.AlphaSum += al;
      } else {
        for (int c = 0; c < 3; ++c) s.Sum[c] += p[c];
      }
      ++s.Count;
    }
  }
  std::lock_guard<std::mutex> lock(merge);
  for (int64_t i = 0; i < local.Size; ++i) {
    MosaicSums& s = sums[base + i];
    for (int c = 0; c < 3; ++c) s.Sum[c] += local[i].Sum[c];
    s.AlphaSum += local[i].AlphaSum;
    s.Count += local[i].Count;
  }
  return true;
}

template <uint32_t C, class D>
bool MosaicPaint(frame::Frame& f, const MosaicGrid& grid, frame::Buffer<MosaicCell>& cells, uint32_t colorMode,
                 bool seamless) {
  constexpr bool kAlpha = C == 4;
  const mvPicture& src = f.Source;
  const mvRect a = f.A;
  const int64_t total = grid.Rows * grid.Cols;
  if (colorMode == 0) {
    frame::Buffer<MosaicSums> sums;
    std::mutex merge;
    if (!sums.Allocate(total)) return false;
    if (!f.ForRows(
            [&](int32_t top, int32_t bottom) { return MosaicSumBand<C, D>(src, a, grid, sums, merge, top, bottom); }))
      return false;
    for (int64_t i = 0; i < total; ++i) {
      const MosaicSums& s = sums[i];
      MosaicCell& cell = cells[i];
      cell.Empty = s.Count == 0;
      if (kAlpha) {
        if (s.AlphaSum != 0) {
          for (int c = 0; c < 3; ++c) cell.Colour[c] = static_cast<uint8_t>(s.Sum[c] / s.AlphaSum);
          cell.Colour[3] = static_cast<uint8_t>(s.AlphaSum / s.Count);
        }
      } else if (s.Count != 0) {
        for (int c = 0; c < 3; ++c) cell.Colour[c] = static_cast<uint8_t>(s.Sum[c] / s.Count);
      }
    }
  } else {
    for (int64_t i = 0; i < total; ++i) {
      const int32_t px = frame::ClampIndex(a.Left + grid.X[i], src.Width);
      const int32_t py = frame::ClampIndex(a.Top + grid.Y[i], src.Height);
      std::memcpy(cells[i].Colour, src.Row(py) + static_cast<size_t>(px) * C, C);
      cells[i].Empty = false;
    }
  }
  if (seamless) {
    for (int64_t r = 0; r < grid.Rows; ++r)
      MergeCells(cells[r * grid.Cols], cells[r * grid.Cols + grid.Cols - 1], kAlpha);
    for (int64_t c = 0; c < grid.Cols; ++c) MergeCells(cells[c], cells[(grid.Rows - 1) * grid.Cols + c], kAlpha);
  }
  return f.ForRows([&](int32_t top, int32_t bottom) {
    frame::Buffer<int64_t> owner;
    if (!owner.Allocate(a.Right - a.Left)) return false;
    for (int32_t y = top; y < bottom; ++y) {
      uint8_t* d = f.Target.Row(y) + static_cast<size_t>(a.Left) * C;
      grid.Nearest<D>(y - a.Top, a.Right - a.Left, owner.Get());
      for (int32_t x = 0; x < a.Right - a.Left; ++x, d += C) std::memcpy(d, cells[owner[x]].Colour, C);
    }
    return true;
  });
}

// ---- glass tile -------------------------------------------------------------

// Source positions of a tiled axis: each tile, centred on a multiple of the
// tile size, shows its surroundings at half scale.
void TileMap(frame::Buffer<int32_t>& out, int32_t count, uint32_t size, int32_t origin, int32_t n, bool wrap) {
  const int64_t tile = std::max<uint32_t>(size, 1);
  const int64_t half = tile / 2, odd = tile % 2;
  int64_t base = 0, i = 0;
  for (int32_t t = 0; t < count; ++t) {
    if (t > 0 && ++i == half) {
      base += tile;
      i = -(half + odd);
    }
    out[t] = frame::EdgeIndex(origin + base + 2 * i, n, wrap);
  }
}

}  // namespace

// ---- classes ----------------------------------------------------------------

const mvEffectClass& mvPixelizeEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvPixelizeEffect>(
      18, "mvPixelizeEffect",
      {Field("CellWidth", &mvPixelizeEffect::CellWidth).ZeroBecomesOne().Help("block width"),
       Field("CellHeight", &mvPixelizeEffect::CellHeight).ZeroBecomesOne().Help("block height")});
  return c;
}

const mvEffectClass& mvMosaicEffect::Describe() {
  static const mvEffectClass c =
      mvEffectClass::Make<mvMosaicEffect>(
          19, "mvMosaicEffect",
          {Field("Stagger", &mvMosaicEffect::Stagger).Help("1 shifts every odd row of cells by half a cell"),
           Field("ColorMode", &mvMosaicEffect::ColorMode)
               .Help("0: cells take their average colour; other values: the colour at the cell's point"),
           Field("CellWidth", &mvMosaicEffect::CellWidth).ZeroBecomesOne().Help("horizontal pitch of the points"),
           Field("CellHeight", &mvMosaicEffect::CellHeight).ZeroBecomesOne().Help("vertical pitch of the points"),
           Field("Jitter", &mvMosaicEffect::Jitter).Help("random displacement of the points, percent of a cell"),
           Field("Seed", &mvMosaicEffect::Seed).Help("seed of the point displacements"),
           Field("Seamless", &mvMosaicEffect::Seamless).Help("edge cells match so the texture tiles")})
          .InStreamOrder({"CellWidth", "CellHeight", "Stagger", "ColorMode", "Jitter", "Seed", "Seamless"});
  return c;
}

const mvEffectClass& mvGlassTileEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvGlassTileEffect>(
      29, "mvGlassTileEffect",
      {Field("TileWidth", &mvGlassTileEffect::TileWidth).ZeroBecomesOne().Help("tile width"),
       Field("TileHeight", &mvGlassTileEffect::TileHeight).ZeroBecomesOne().Help("tile height"),
       Field("Seamless", &mvGlassTileEffect::Seamless).Help("reads wrap around the picture")});
  return c;
}

bool mvPixelizeEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  frame::Frame f(source, target, progress);
  if (!f.Begin()) return f.Answer();
  // A zero size (possible only when set directly) means 1, as on loading.
  const int64_t cw = std::max<uint32_t>(CellWidth, 1), ch = std::max<uint32_t>(CellHeight, 1);
  // One progress step per row of blocks.
  const int64_t blockRows = (f.Rows() - 1) / ch + 1;
  f.Announce(blockRows);
  return f.Dispatch(frame::kRgbOrGray, [&](auto fmt) {
    return f.ForSteps(blockRows, std::min<int64_t>(ch, f.Rows()) * f.Cols(), [&](int64_t first, int64_t last) {
      PixelizeBand<decltype(fmt)>(source, target, f.A, cw, ch, first, last);
      return true;
    });
  });
}

bool mvMosaicEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  frame::Frame f(source, target, progress);
  if (!f.Begin()) return f.Answer();
  const int64_t rw = f.Cols(), rh = f.Rows();
  f.Announce(ColorMode == 0 ? 2 * rh : rh);
  SharedRandom.Seed(Seed);

  MosaicGrid grid;
  grid.CellW = std::max<uint32_t>(CellWidth, 1);
  grid.CellH = std::max<uint32_t>(CellHeight, 1);
  grid.Rows = (rh + grid.CellH - 1) / grid.CellH + 1;
  grid.Cols = (rw + grid.CellW - 1) / grid.CellW + 1;
  const int64_t total = grid.Rows * grid.Cols;
  // Jitter + 1 must fit the draw's 32-bit bound.
  const uint32_t spread = Jitter == 0xFFFFFFFFu ? Jitter : Jitter + 1;
  if ((frame::FormatOf(source) & frame::kAnyRgb8) == 0) {
    // Other formats are not painted, but the points are drawn all the same.
    for (int64_t i = 0; i < total; ++i) {
      SharedRandom.NextInt(spread);
      SharedRandom.NextInt(spread);
    }
    return true;
  }
  frame::Buffer<MosaicCell> cells;
  if (!grid.X.Allocate(total) || !grid.Y.Allocate(total) || !cells.Allocate(total)) return false;

  // Points are placed from the work area's top-left corner. The products
  // run in unsigned 64 bits: a cell size and jitter of up to 2^32 - 1 each
  // cannot overflow them.
  for (int64_t r = 0; r < grid.Rows; ++r) {
    const int64_t shift = (Stagger == 1 && (r % 2) == 1) ? grid.CellW / 2 : 0;
    for (int64_t c = 0; c < grid.Cols; ++c) {
      const uint64_t jx = SharedRandom.NextInt(spread);
      const uint64_t jy = SharedRandom.NextInt(spread);
      const int64_t i = r * grid.Cols + c;
      grid.X[i] = static_cast<int64_t>((static_cast<uint64_t>(grid.CellW - 1) * jx) / 100) + grid.CellW * c -
                  grid.CellW / 2 + shift;
      grid.Y[i] =
          static_cast<int64_t>((static_cast<uint64_t>(grid.CellH - 1) * jy) / 100) + grid.CellH * r - grid.CellH / 2;
    }
  }
  if (Seamless) {
    for (int64_t r = 0; r < grid.Rows; ++r) {
      const int64_t first = r * grid.Cols, last = first + grid.Cols - 1;
      grid.Y[first] = grid.Y[last] = (grid.Y[first] + grid.Y[last]) / 2;
    }
    for (int64_t c = 0; c < grid.Cols; ++c) {
      const int64_t first = c, last = (grid.Rows - 1) * grid.Cols + c;
      grid.X[first] = grid.X[last] = (grid.X[first] + grid.X[last]) / 2;
    }
  }
  int64_t far = 0;
  for (int64_t i = 0; i < total; ++i) far = std::max({far, std::abs(grid.X[i]), std::abs(grid.Y[i])});
  // 64-bit squared distances are exact while every coordinate stays below 2^30.
  const bool narrow = far < (int64_t{1} << 30) && rw < (int64_t{1} << 30) && rh < (int64_t{1} << 30);
  if (source.Channels == 4)
    return narrow ? MosaicPaint<4, int64_t>(f, grid, cells, ColorMode, Seamless)
                  : MosaicPaint<4, WideDistance>(f, grid, cells, ColorMode, Seamless);
  return narrow ? MosaicPaint<3, int64_t>(f, grid, cells, ColorMode, Seamless)
                : MosaicPaint<3, WideDistance>(f, grid, cells, ColorMode, Seamless);
}

bool mvGlassTileEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  frame::Frame f(source, target, progress);
  if (!f.Begin()) return f.Answer();
  f.Announce(f.Rows());
  frame::Buffer<int32_t> colMap, rowMap;
  if (!colMap.Allocate(f.Cols()) || !rowMap.Allocate(f.Rows())) return false;
  // Tile positions count from the work area's corner; the coordinate rule
  // then applies to the picture position, so reads stay inside the picture.
  TileMap(colMap, f.Cols(), TileWidth, f.A.Left, source.Width, Seamless);
  TileMap(rowMap, f.Rows(), TileHeight, f.A.Top, source.Height, Seamless);
  return frame::WithPixelBytes(source.BytesPerPixel(), [&](auto bytes) {
    constexpr size_t B = decltype(bytes)::value;
    const int32_t cols = f.Cols();
    const int32_t* columns = colMap.Get();
    return f.ForRows([&](int32_t top, int32_t bottom) {
      for (int32_t y = top; y < bottom; ++y) {
        const uint8_t* s = source.Row(rowMap[y - f.A.Top]);
        uint8_t* d = target.Row(y) + static_cast<size_t>(f.A.Left) * B;
        for (int32_t x = 0; x < cols; ++x, d += B) std::memcpy(d, s + static_cast<size_t>(columns[x]) * B, B);
      }
      return true;
    });
  });
}

void RegisterCellEffects(mvEffectRegistry& registry) {
  registry.Add(mvMedianEffect::Describe());
  registry.Add(mvMinimumEffect::Describe());
  registry.Add(mvMaximumEffect::Describe());
  registry.Add(mvSpreadEffect::Describe());
  registry.Add(mvPixelizeEffect::Describe());
  registry.Add(mvMosaicEffect::Describe());
  registry.Add(mvGlassTileEffect::Describe());
  registry.Add(mvWrapEffect::Describe());
}

#include "effects/filter/cells.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

#include "core/random.h"
#include "effects/filter/common_rows.h"
#include "effects/filter/families.h"

namespace {

// ---- small shared pieces ----------------------------------------------------

// A heap array whose allocation failure is an answer, not an exception.
template <class T>
struct Buffer {
  std::unique_ptr<T[]> Data;
  bool Allocate(int64_t count) {
    if (count < 0 || static_cast<uint64_t>(count) > SIZE_MAX / sizeof(T)) return false;
    Data.reset(new (std::nothrow) T[static_cast<size_t>(count == 0 ? 1 : count)]);
    return Data != nullptr;
  }
  T& operator[](int64_t i) { return Data[static_cast<size_t>(i)]; }
  const T& operator[](int64_t i) const { return Data[static_cast<size_t>(i)]; }
  T* Get() { return Data.get(); }
};

// Pixel format as template parameters: sample type, channel count, RGB or gray.
template <class T, uint32_t C, bool Rgb>
struct Fmt {
  using Sample = T;
  static constexpr uint32_t kChannels = C;
  static constexpr bool kAlpha = (C % 2) == 0;
  static constexpr uint32_t kColours = Rgb ? 3 : 1;
  static constexpr bool kRgb = Rgb;
  static constexpr bool kWide = sizeof(T) == 2;
};

bool IsRgbOrGray(const mvPicture& p) {
  return (p.ColorType == ColorTypeRGB || p.ColorType == ColorTypeGray) &&
         IsValidFormat(p.ColorType, p.BitDepth, p.Channels) &&
         p.BitsPerPixel == static_cast<int32_t>(p.BitDepth * p.Channels);
}

bool IsRgb8(const mvPicture& p) {
  return p.ColorType == ColorTypeRGB && p.BitDepth == 8 && (p.Channels == 3 || p.Channels == 4) &&
         p.BitsPerPixel == static_cast<int32_t>(8 * p.Channels);
}

// Runs fn with the format tag of an RGB or gray picture (check IsRgbOrGray first).
template <class Fn>
bool WithRgbOrGray(const mvPicture& p, Fn&& fn) {
  const bool wide = p.BitDepth == 16;
  if (p.ColorType == ColorTypeRGB) {
    if (p.Channels == 4) return wide ? fn(Fmt<uint16_t, 4, true>{}) : fn(Fmt<uint8_t, 4, true>{});
    return wide ? fn(Fmt<uint16_t, 3, true>{}) : fn(Fmt<uint8_t, 3, true>{});
  }
  if (p.Channels == 2) return wide ? fn(Fmt<uint16_t, 2, false>{}) : fn(Fmt<uint8_t, 2, false>{});
  return wide ? fn(Fmt<uint16_t, 1, false>{}) : fn(Fmt<uint8_t, 1, false>{});
}

// Runs fn with the pixel size as a constant, so whole-pixel copies compile to plain moves.
template <class Fn>
bool WithPixelBytes(uint32_t bytes, Fn&& fn) {
  switch (bytes) {
    case 1: return fn(std::integral_constant<size_t, 1>{});
    case 2: return fn(std::integral_constant<size_t, 2>{});
    case 3: return fn(std::integral_constant<size_t, 3>{});
    case 4: return fn(std::integral_constant<size_t, 4>{});
    case 6: return fn(std::integral_constant<size_t, 6>{});
    case 8: return fn(std::integral_constant<size_t, 8>{});
    default: return true;  // not a pixel size any picture format has
  }
}

template <class F>
const typename F::Sample* PixelAt(const mvPicture& p, int32_t x, int32_t y) {
  return reinterpret_cast<const typename F::Sample*>(p.Row(y)) + static_cast<size_t>(x) * F::kChannels;
}
template <class F>
typename F::Sample* PixelAt(mvPicture& p, int32_t x, int32_t y) {
  return reinterpret_cast<typename F::Sample*>(p.Row(y)) + static_cast<size_t>(x) * F::kChannels;
}

// Transparent pixels take no part in the rank and cell choices.
template <class F>
bool Visible(const typename F::Sample* p) {
  if constexpr (F::kAlpha) return p[F::kChannels - 1] != 0;
  else return true;
}

template <class F>
void CopyColour(typename F::Sample* d, const typename F::Sample* s) {
  for (uint32_t c = 0; c < F::kColours; ++c) d[c] = s[c];
}

// The median's key spreads 8-bit luminance over the whole 32-bit range.
template <class F>
uint32_t MedianKey(const typename F::Sample* p) {
  if constexpr (!F::kRgb) return p[0];
  else if constexpr (F::kWide) return p[0] * 19596u + p[1] * 38470u + p[2] * 7471u;
  else return p[0] * 5036060u + p[1] * 9886846u + p[2] * 1920103u;
}

template <class F>
uint32_t RankKey(const typename F::Sample* p) {
  if constexpr (!F::kRgb) return p[0];
  else if constexpr (F::kWide) return p[0] * 19596u + p[1] * 38470u + p[2] * 7471u;
  else return (p[0] * 19672u + p[1] * 38621u + p[2] * 7500u) >> 8;
}

// How a window position outside the picture is treated.
enum class Edge : uint8_t {
  Clamp,              // the nearest edge pixel
  Wrap,               // modulo the side
  Cut,                // left out
  CutLeftClampRight,  // left out before the start, the last pixel repeated after the end
};

// Picture coordinates of the positions from .. from + count - 1 along a side
// of n pixels; -1 marks a position that is left out.
bool EdgeMap(Buffer<int32_t>& out, int64_t from, int64_t count, int32_t n, Edge edge) {
  if (!out.Allocate(count)) return false;
  for (int64_t i = 0; i < count; ++i) {
    const int64_t c = from + i;
    int32_t v;
    switch (edge) {
      case Edge::Wrap: v = rows::WrapIndex(c, n); break;
      case Edge::Clamp: v = rows::ClampIndex(c, n); break;
      case Edge::Cut: v = (c < 0 || c >= n) ? -1 : static_cast<int32_t>(c); break;
      default: v = c < 0 ? -1 : rows::ClampIndex(c, n); break;
    }
    out[i] = v;
  }
  return true;
}

// Window radii are limited so that a hostile value cannot make a window
// whose size overflows or whose visit never ends in practice. A cut window
// reaching past every side already covers the whole picture, so the limit
// changes nothing there; clamped and wrapped windows this large only repeat
// pixels the picture already has.
constexpr int64_t kMinRadiusLimit = 64;
constexpr int64_t kMaxRadiusLimit = 16384;

int64_t LimitRadius(uint32_t radius, const mvPicture& p) {
  int64_t limit = std::max<int64_t>({kMinRadiusLimit, p.Width, p.Height});
  limit = std::min(limit, kMaxRadiusLimit);
  return std::min<int64_t>(radius, limit);
}

// The shared start of every Apply: same-shaped pictures and a non-empty
// region inside the picture. False with ok == false for a caller error,
// false with ok == true when there is nothing to do.
bool Begin(const mvPicture& source, const mvPicture& target, mvRect& area, bool& ok) {
  ok = rows::SameShape(source, target) && source.BitsPerPixel == target.BitsPerPixel;
  if (!ok) return false;
  return rows::ClipArea(source, area);
}

// ---- median -----------------------------------------------------------------

template <class S>
struct Candidate {
  uint32_t Key;
  const S* Pixel;
};

// Puts the entry with the k-th smallest key at a[k]: median of three to
// position l + 1, inward scans with strict comparisons, then the side
// holding k. The exact swaps matter: they decide which of several pixels
// with equal keys is chosen.
template <class C>
void SelectKth(C* a, int64_t n, int64_t k) {
  int64_t l = 0, r = n - 1;
  while (r - l + 1 > 2) {
    const int64_t m = (l + r) / 2;
    if (a[r].Key < a[l].Key) std::swap(a[l], a[r]);
    if (a[r].Key < a[m].Key) std::swap(a[m], a[r]);
    if (a[m].Key < a[l].Key) std::swap(a[l], a[m]);
    std::swap(a[m], a[l + 1]);
    const C pivot = a[l + 1];
    int64_t i = l + 1, j = r;
    for (;;) {
      // a[r] >= pivot and a[l] <= pivot stop both scans inside l..r.
      do ++i;
      while (a[i].Key < pivot.Key);
      do --j;
      while (a[j].Key > pivot.Key);
      if (j < i) break;
      std::swap(a[i], a[j]);
    }
    a[l + 1] = a[j];
    a[j] = pivot;
    if (j == k) return;
    if (j < k) l = j + 1;
    else r = j - 1;
  }
  if (r - l + 1 == 2 && a[r].Key < a[l].Key) std::swap(a[l], a[r]);
}

template <class F>
bool MedianKernel(const mvPicture& src, mvPicture& dst, const mvRect& a, int64_t r, bool wrap,
                  rows::RowProgress& steps) {
  using S = typename F::Sample;
  const int64_t side = 2 * r + 1;
  Buffer<int32_t> rowMap, colMap;
  const Edge edge = wrap ? Edge::Wrap : Edge::Cut;
  if (!EdgeMap(rowMap, a.Top - r, (a.Bottom - a.Top) + 2 * r, src.Height, edge) ||
      !EdgeMap(colMap, a.Left - r, (a.Right - a.Left) + 2 * r, src.Width, edge))
    return false;
  const int64_t most = wrap ? side * side : std::min<int64_t>(side, src.Height) * std::min<int64_t>(side, src.Width);
  Buffer<Candidate<S>> list;
  if (!list.Allocate(most)) return false;
  for (int32_t y = a.Top; y < a.Bottom; ++y) {
    const int32_t* rows = &rowMap[y - a.Top];
    for (int32_t x = a.Left; x < a.Right; ++x) {
      const int32_t* cols = &colMap[x - a.Left];
      int64_t n = 0;
      for (int64_t j = 0; j < side; ++j) {
        if (rows[j] < 0) continue;
        const S* line = reinterpret_cast<const S*>(src.Row(rows[j]));
        for (int64_t i = 0; i < side; ++i) {
          if (cols[i] < 0) continue;
          const S* p = line + static_cast<size_t>(cols[i]) * F::kChannels;
          if (!Visible<F>(p)) continue;
          list[n++] = Candidate<S>{MedianKey<F>(p), p};
        }
      }
      if (n == 0) continue;
      const int64_t k = (n - 1) / 2;
      SelectKth(list.Get(), n, k);
      CopyColour<F>(PixelAt<F>(dst, x, y), list[k].Pixel);
    }
    if (!steps.Step()) return false;
  }
  return true;
}

// ---- minimum and maximum ----------------------------------------------------

// The sliding window of the rank passes: a ring of entries, oldest first
// from Head. The winner is the earliest entry with the best key; it is only
// searched again when it leaves.
struct RankRing {
  Buffer<uint32_t> Key;
  Buffer<int32_t> Pos;
  Buffer<uint8_t> Valid;
  int64_t Size = 0;
  bool Allocate(int64_t n) {
    Size = n;
    return Key.Allocate(n) && Pos.Allocate(n) && Valid.Allocate(n);
  }
};

// Slides the window along one line (the whole picture line in `line`),
// giving `outputs` results; map[i .. i + ring.Size - 1] are the line
// positions of output i's window. put(i, pixel) writes a winner.
template <class F, bool Max, class Put>
void RankLine(const typename F::Sample* line, const int32_t* map, int64_t outputs, RankRing& ring, Put&& put) {
  using S = typename F::Sample;
  const int64_t n = ring.Size;
  auto better = [](uint32_t a, uint32_t b) { return Max ? a > b : a < b; };
  auto load = [&](int64_t slot, int32_t pos) {
    if (pos < 0) {
      ring.Valid[slot] = 0;
      return;
    }
    const S* p = line + static_cast<size_t>(pos) * F::kChannels;
    ring.Pos[slot] = pos;
    ring.Valid[slot] = Visible<F>(p) ? 1 : 0;
    ring.Key[slot] = RankKey<F>(p);
  };
  int64_t head = 0;
  auto scan = [&]() {
    int64_t best = -1;
    for (int64_t t = 0, s = head; t < n; ++t, s = (s + 1 == n ? 0 : s + 1))
      if (ring.Valid[s] && (best < 0 || better(ring.Key[s], ring.Key[best]))) best = s;
    return best;
  };
  for (int64_t j = 0; j < n; ++j) load(j, map[j]);
  int64_t winner = scan();
  for (int64_t i = 0; i < outputs; ++i) {
    if (i > 0) {
      const int64_t slot = head;
      const bool leaving = winner == slot;
      load(slot, map[i + n - 1]);
      head = head + 1 == n ? 0 : head + 1;
      if (leaving) winner = scan();
      else if (ring.Valid[slot] && (winner < 0 || better(ring.Key[slot], ring.Key[winner]))) winner = slot;
    }
    if (winner >= 0) put(i, line + static_cast<size_t>(ring.Pos[winner]) * F::kChannels);
  }
}

template <class F, bool Max>
bool RankKernel(const mvPicture& src, mvPicture& dst, const mvRect& a, int64_t r, bool wrap, mvProgress* progress) {
  using S = typename F::Sample;
  const Edge edge = wrap ? Edge::Wrap : Edge::CutLeftClampRight;
  const int64_t side = 2 * r + 1;
  Buffer<int32_t> colMap, rowMap;
  Buffer<S> column;
  RankRing ring;
  if (!EdgeMap(colMap, a.Left - r, (a.Right - a.Left) + 2 * r, src.Width, edge) ||
      !EdgeMap(rowMap, a.Top - r, (a.Bottom - a.Top) + 2 * r, src.Height, edge) ||
      !column.Allocate(static_cast<int64_t>(src.Height) * F::kChannels) || !ring.Allocate(side))
    return false;
  auto step = [&]() { return !progress || progress->SetPos(progress->Pos + 1); };

  // Pass one: along the rows of the source into the target.
  for (int32_t y = a.Top; y < a.Bottom; ++y) {
    S* out = PixelAt<F>(dst, a.Left, y);
    RankLine<F, Max>(reinterpret_cast<const S*>(src.Row(y)), colMap.Get(), a.Right - a.Left, ring,
                     [&](int64_t i, const S* p) { CopyColour<F>(out + static_cast<size_t>(i) * F::kChannels, p); });
    if (!step()) return false;
  }
  // Pass two: down the columns of the first pass's result. Each column is
  // copied out first, so the pass reads it as the first pass left it.
  for (int32_t x = a.Left; x < a.Right; ++x) {
    for (int32_t y = 0; y < src.Height; ++y)
      std::memcpy(column.Get() + static_cast<size_t>(y) * F::kChannels, PixelAt<F>(dst, x, y), sizeof(S) * F::kChannels);
    RankLine<F, Max>(column.Get(), rowMap.Get(), a.Bottom - a.Top, ring,
                     [&](int64_t i, const S* p) { CopyColour<F>(PixelAt<F>(dst, x, a.Top + static_cast<int32_t>(i)), p); });
    if (!step()) return false;
  }
  return true;
}

template <bool Max>
bool ApplyRank(mvPicture& source, mvPicture& target, mvProgress* progress, uint32_t radius, bool seamless) {
  mvRect a;
  bool ok;
  if (!Begin(source, target, a, ok)) return ok;
  if (progress) progress->SetMax(static_cast<uint32_t>((a.Right - a.Left - 1) + (a.Bottom - a.Top)));
  if (!IsRgbOrGray(source)) return true;
  const int64_t r = LimitRadius(radius, source);
  return WithRgbOrGray(source, [&](auto f) {
    return RankKernel<decltype(f), Max>(source, target, a, r, seamless, progress);
  });
}

// ---- pixelize ---------------------------------------------------------------

template <class F>
bool PixelizeKernel(const mvPicture& src, mvPicture& dst, const mvRect& a, int64_t cw, int64_t ch,
                    rows::RowProgress& steps) {
  using S = typename F::Sample;
  for (int64_t by = a.Top; by < a.Bottom; by += ch) {
    const int32_t y0 = static_cast<int32_t>(by);
    const int32_t y1 = static_cast<int32_t>(std::min<int64_t>(by + ch, a.Bottom));
    for (int64_t bx = a.Left; bx < a.Right; bx += cw) {
      const int32_t x0 = static_cast<int32_t>(bx);
      const int32_t x1 = static_cast<int32_t>(std::min<int64_t>(bx + cw, a.Right));
      uint64_t sum[4] = {0, 0, 0, 0};
      uint64_t alphaSum = 0;
      for (int32_t y = y0; y < y1; ++y) {
        const S* p = PixelAt<F>(src, x0, y);
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
        S* d = PixelAt<F>(dst, x0, y);
        for (int32_t x = x0; x < x1; ++x, d += F::kChannels)
          for (uint32_t c = 0; c < F::kChannels; ++c) d[c] = value[c];
      }
    }
    if (!steps.Step()) return false;
  }
  return true;
}

// ---- mosaic -----------------------------------------------------------------

// 128-bit squares for point grids thrown far outside the picture by
// extreme cell sizes or jitter; ordinary grids use 64 bits.
__extension__ typedef __int128 WideDistance;

struct MosaicGrid {
  int64_t Rows = 0, Cols = 0;
  int64_t CellW = 1, CellH = 1;
  Buffer<int64_t> X, Y;

  // The index of the nearest point among the 3 x 3 grid cells around the
  // pixel; the first of equally near points wins.
  template <class D>
  int64_t Nearest(int64_t x, int64_t y) const {
    const int64_t r0 = std::max<int64_t>(0, y / CellH - 1), r1 = std::min<int64_t>(Rows - 1, y / CellH + 1);
    const int64_t c0 = std::max<int64_t>(0, x / CellW - 1), c1 = std::min<int64_t>(Cols - 1, x / CellW + 1);
    int64_t best = -1;
    D bestDistance = 0;
    for (int64_t r = r0; r <= r1; ++r) {
      for (int64_t c = c0; c <= c1; ++c) {
        const int64_t i = r * Cols + c;
        const D dx = static_cast<D>(X[i]) - static_cast<D>(x);
        const D dy = static_cast<D>(Y[i]) - static_cast<D>(y);
        const D d = dx * dx + dy * dy;
        if (best < 0 || d < bestDistance) {
          best = i;
          bestDistance = d;
        }
      }
    }
    return best;
  }
};

struct MosaicCell {
  uint64_t Sum[3] = {0, 0, 0};
  uint64_t AlphaSum = 0;
  uint64_t Count = 0;
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

template <uint32_t C, class D>
bool MosaicPaint(const mvPicture& src, mvPicture& dst, const mvRect& a, const MosaicGrid& grid, Buffer<MosaicCell>& cells,
                 uint32_t colorMode, bool seamless, mvProgress* progress) {
  constexpr bool kAlpha = C == 4;
  auto step = [&]() { return !progress || progress->SetPos(progress->Pos + 1); };
  const int64_t total = grid.Rows * grid.Cols;
  if (colorMode == 0) {
    for (int32_t y = a.Top; y < a.Bottom; ++y) {
      const uint8_t* p = src.Row(y) + static_cast<size_t>(a.Left) * C;
      for (int32_t x = a.Left; x < a.Right; ++x, p += C) {
        MosaicCell& cell = cells[grid.Nearest<D>(x - a.Left, y - a.Top)];
        if (kAlpha) {
          const uint64_t al = p[3];
          for (int c = 0; c < 3; ++c) cell.Sum[c] += p[c] * al;
          cell.AlphaSum += al;
        } else {
          for (int c = 0; c < 3; ++c) cell.Sum[c] += p[c];
        }
        ++cell.Count;
      }
      if (!step()) return false;
    }
    for (int64_t i = 0; i < total; ++i) {
      MosaicCell& cell = cells[i];
      cell.Empty = cell.Count == 0;
      if (kAlpha) {
        if (cell.AlphaSum != 0) {
          for (int c = 0; c < 3; ++c) cell.Colour[c] = static_cast<uint8_t>(cell.Sum[c] / cell.AlphaSum);
          cell.Colour[3] = static_cast<uint8_t>(cell.AlphaSum / cell.Count);
        }
      } else if (cell.Count != 0) {
        for (int c = 0; c < 3; ++c) cell.Colour[c] = static_cast<uint8_t>(cell.Sum[c] / cell.Count);
      }
    }
  } else {
    for (int64_t i = 0; i < total; ++i) {
      const int32_t px = rows::ClampIndex(a.Left + grid.X[i], src.Width);
      const int32_t py = rows::ClampIndex(a.Top + grid.Y[i], src.Height);
      std::memcpy(cells[i].Colour, src.Row(py) + static_cast<size_t>(px) * C, C);
      cells[i].Empty = false;
    }
  }
  if (seamless) {
    for (int64_t r = 0; r < grid.Rows; ++r)
      MergeCells(cells[r * grid.Cols], cells[r * grid.Cols + grid.Cols - 1], kAlpha);
    for (int64_t c = 0; c < grid.Cols; ++c)
      MergeCells(cells[c], cells[(grid.Rows - 1) * grid.Cols + c], kAlpha);
  }
  for (int32_t y = a.Top; y < a.Bottom; ++y) {
    uint8_t* d = dst.Row(y) + static_cast<size_t>(a.Left) * C;
    for (int32_t x = a.Left; x < a.Right; ++x, d += C)
      std::memcpy(d, cells[grid.Nearest<D>(x - a.Left, y - a.Top)].Colour, C);
    if (!step()) return false;
  }
  return true;
}

// ---- glass tile -------------------------------------------------------------

// Source positions of a tiled axis: each tile, centred on a multiple of the
// tile size, shows its surroundings at half scale.
void TileMap(Buffer<int32_t>& out, int32_t count, uint32_t size, int32_t origin, int32_t n, bool wrap) {
  const int64_t tile = std::max<uint32_t>(size, 1);
  const int64_t half = tile / 2, odd = tile % 2;
  int64_t base = 0, i = 0;
  for (int32_t t = 0; t < count; ++t) {
    if (t > 0 && ++i == half) {
      base += tile;
      i = -(half + odd);
    }
    out[t] = rows::EdgeIndex(origin + base + 2 * i, n, wrap);
  }
}

// ---- wrap -------------------------------------------------------------------

// Smoothing radii past this only matter for wrapped windows, where they
// would overflow the sums; larger ones are limited to it.
constexpr int64_t kMaxSmoothness = 1 << 20;

// Where the window [x - s, x + s] of a line of n values lies, in terms of
// the line's prefix sums P(0..n): the sum is Rounds x P(n) + P(E1) - P(S1)
// + P(E2) - P(S2). A wrapped window may go round the line several times.
struct WindowPlan {
  int64_t S1 = 0, E1 = 0, S2 = 0, E2 = 0;
  int64_t Rounds = 0, Count = 0;
};

bool PlanWindows(Buffer<WindowPlan>& plans, int64_t n, int64_t s, bool wrap) {
  if (!plans.Allocate(n)) return false;
  for (int64_t x = 0; x < n; ++x) {
    WindowPlan& p = plans[x];
    if (!wrap) {
      p.S1 = std::max<int64_t>(0, x - s);
      p.E1 = std::min<int64_t>(n - 1, x + s) + 1;
      p.Count = p.E1 - p.S1;
      continue;
    }
    const int64_t length = 2 * s + 1;
    const int64_t rest = length % n;
    const int64_t start = rows::WrapIndex(x - s, static_cast<int32_t>(n));
    p.Rounds = length / n;
    p.Count = length;
    p.S1 = start;
    if (start + rest <= n) {
      p.E1 = start + rest;
    } else {
      p.E1 = n;
      p.E2 = start + rest - n;
    }
  }
  return true;
}

template <class Prefix>
int64_t WindowSum(const WindowPlan& p, Prefix&& prefix, int64_t n) {
  return p.Rounds * prefix(n) + (prefix(p.E1) - prefix(p.S1)) + (prefix(p.E2) - prefix(p.S2));
}

// Replaces each value of a w x h array by its mean over the (2s + 1)^2
// window, truncated toward zero; the window is cut at the array's edges or
// wraps around it. Prefix sums make the cost independent of s.
bool BoxAverage(int32_t* v, int32_t w, int32_t h, int64_t s, bool wrap) {
  s = wrap ? std::min(s, kMaxSmoothness) : std::min<int64_t>(s, std::max(w, h));
  Buffer<int64_t> down, prefix;
  Buffer<WindowPlan> across, along;
  if (!down.Allocate(static_cast<int64_t>(w) * h) || !prefix.Allocate(w + 1) || !PlanWindows(across, w, s, wrap) ||
      !PlanWindows(along, h, s, wrap))
    return false;
  // Row window sums, accumulated downward: row y of `down` sums rows 0..y.
  for (int32_t y = 0; y < h; ++y) {
    const int32_t* line = v + static_cast<size_t>(y) * w;
    int64_t* out = &down[static_cast<int64_t>(y) * w];
    prefix[0] = 0;
    for (int32_t x = 0; x < w; ++x) prefix[x + 1] = prefix[x] + line[x];
    auto p = [&](int64_t i) { return prefix[i]; };
    for (int32_t x = 0; x < w; ++x) out[x] = WindowSum(across[x], p, w) + (y > 0 ? out[x - w] : 0);
  }
  for (int32_t y = 0; y < h; ++y) {
    int32_t* line = v + static_cast<size_t>(y) * w;
    const WindowPlan& plan = along[y];
    for (int32_t x = 0; x < w; ++x) {
      auto column = [&](int64_t i) { return i == 0 ? 0 : down[(i - 1) * w + x]; };
      line[x] = static_cast<int32_t>(WindowSum(plan, column, h) / (across[x].Count * plan.Count));
    }
  }
  return true;
}

int32_t WrapLuma(const uint8_t* p) { return static_cast<int32_t>((p[0] * 19672u + p[1] * 38621u + p[2] * 7500u) >> 16); }

// The highlight for one pair of scaled slopes.
double Highlight(double gx, double gy, int32_t exponent) {
  const double n1 = std::sqrt(gx * gx + 4.0);
  const double t1x = 2.0 / n1, t1y = 0.0 / n1, t1z = gx / n1;
  const double n2 = std::sqrt(gy * gy + 4.0);
  const double t2x = 0.0 / n2, t2y = -2.0 / n2, t2z = gy / n2;
  const double nx = t2y * t1z - t2z * t1y;
  const double ny = t2z * t1x - t2x * t1z;
  const double nz = t2x * t1y - t2y * t1x;
  const double s3 = std::sqrt(3.0);
  const double lx = -1.0 / s3, ly = -1.0 / s3, lz = 1.0 / s3;
  const double dot = nx * lx + ny * ly + nz * lz;
  const double rz = (2.0 * dot) * nz - lz;
  return std::pow(rz, static_cast<double>(exponent));
}

}  // namespace

// ---- classes ----------------------------------------------------------------

const mvEffectClass& mvMedianEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvMedianEffect>(
      22, "mvMedianEffect",
      {Field("Radius", &mvMedianEffect::Radius).ZeroBecomesOne().Describe("window radius in pixels"),
       Field("Seamless", &mvMedianEffect::Seamless).Describe("the window wraps around the picture")});
  return c;
}

const mvEffectClass& mvMinimumEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvMinimumEffect>(
      23, "mvMinimumEffect",
      {Field("Radius", &mvMinimumEffect::Radius).ZeroBecomesOne().Describe("window radius in pixels"),
       Field("Seamless", &mvMinimumEffect::Seamless).Describe("the window wraps around the picture")});
  return c;
}

const mvEffectClass& mvMaximumEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvMaximumEffect>(
      24, "mvMaximumEffect",
      {Field("Radius", &mvMaximumEffect::Radius).ZeroBecomesOne().Describe("window radius in pixels"),
       Field("Seamless", &mvMaximumEffect::Seamless).Describe("the window wraps around the picture")});
  return c;
}

const mvEffectClass& mvSpreadEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvSpreadEffect>(
      25, "mvSpreadEffect",
      {Field("RangeX", &mvSpreadEffect::RangeX).ZeroBecomesOne().Describe("largest horizontal displacement"),
       Field("RangeY", &mvSpreadEffect::RangeY).ZeroBecomesOne().Describe("largest vertical displacement"),
       Field("Seed", &mvSpreadEffect::Seed).Describe("seed of the displacements"),
       Field("Seamless", &mvSpreadEffect::Seamless).Describe("displaced reads wrap around the picture")});
  return c;
}

const mvEffectClass& mvPixelizeEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvPixelizeEffect>(
      18, "mvPixelizeEffect",
      {Field("CellWidth", &mvPixelizeEffect::CellWidth).ZeroBecomesOne().Describe("block width"),
       Field("CellHeight", &mvPixelizeEffect::CellHeight).ZeroBecomesOne().Describe("block height")});
  return c;
}

const mvEffectClass& mvMosaicEffect::Describe() {
  static const mvEffectClass c =
      mvEffectClass::Make<mvMosaicEffect>(
          19, "mvMosaicEffect",
          {Field("Stagger", &mvMosaicEffect::Stagger).Describe("1 shifts every odd row of cells by half a cell"),
           Field("ColorMode", &mvMosaicEffect::ColorMode)
               .Describe("0: cells take their average colour; other values: the colour at the cell's point"),
           Field("CellWidth", &mvMosaicEffect::CellWidth).ZeroBecomesOne().Describe("horizontal pitch of the points"),
           Field("CellHeight", &mvMosaicEffect::CellHeight).ZeroBecomesOne().Describe("vertical pitch of the points"),
           Field("Jitter", &mvMosaicEffect::Jitter).Describe("random displacement of the points, percent of a cell"),
           Field("Seed", &mvMosaicEffect::Seed).Describe("seed of the point displacements"),
           Field("Seamless", &mvMosaicEffect::Seamless).Describe("edge cells match so the texture tiles")})
          .InStreamOrder({"CellWidth", "CellHeight", "Stagger", "ColorMode", "Jitter", "Seed", "Seamless"});
  return c;
}

const mvEffectClass& mvGlassTileEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvGlassTileEffect>(
      29, "mvGlassTileEffect",
      {Field("TileWidth", &mvGlassTileEffect::TileWidth).ZeroBecomesOne().Describe("tile width"),
       Field("TileHeight", &mvGlassTileEffect::TileHeight).ZeroBecomesOne().Describe("tile height"),
       Field("Seamless", &mvGlassTileEffect::Seamless).Describe("reads wrap around the picture")});
  return c;
}

const mvEffectClass& mvWrapEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvWrapEffect>(
      30, "mvWrapEffect",
      {Field("Relief", &mvWrapEffect::Relief).Describe("slope scale in tenths"),
       Field("Exponent", &mvWrapEffect::Exponent).Describe("power of the highlight"),
       Field("Smoothness", &mvWrapEffect::Smoothness).Describe("radius of the slope smoothing; 0 or less: none"),
       Field("Seamless", &mvWrapEffect::Seamless).Describe("reads and smoothing wrap around")});
  return c;
}

bool mvMedianEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  mvRect a;
  bool ok;
  if (!Begin(source, target, a, ok)) return ok;
  rows::RowProgress steps(progress, a.Bottom - a.Top);
  if (!IsRgbOrGray(source)) return true;
  const int64_t r = LimitRadius(Radius, source);
  return WithRgbOrGray(source, [&](auto f) { return MedianKernel<decltype(f)>(source, target, a, r, Seamless, steps); });
}

bool mvMinimumEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  return ApplyRank<false>(source, target, progress, Radius, Seamless);
}

bool mvMaximumEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  return ApplyRank<true>(source, target, progress, Radius, Seamless);
}

bool mvSpreadEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  mvRect a;
  bool ok;
  if (!Begin(source, target, a, ok)) return ok;
  rows::RowProgress steps(progress, a.Bottom - a.Top);
  SharedRandom.Seed(Seed);
  // 2 x range + 1 must fit the draw's 32-bit bound.
  const uint32_t rx = std::min<uint32_t>(RangeX, 0x7FFFFFFFu), ry = std::min<uint32_t>(RangeY, 0x7FFFFFFFu);
  const uint32_t nx = 2 * rx + 1, ny = 2 * ry + 1;
  return WithPixelBytes(source.BytesPerPixel(), [&](auto bytes) {
    constexpr size_t B = decltype(bytes)::value;
    for (int32_t y = a.Top; y < a.Bottom; ++y) {
      uint8_t* d = target.Row(y) + static_cast<size_t>(a.Left) * B;
      for (int32_t x = a.Left; x < a.Right; ++x, d += B) {
        const int64_t dx = static_cast<int64_t>(SharedRandom.NextInt(nx)) - rx;
        const int64_t dy = static_cast<int64_t>(SharedRandom.NextInt(ny)) - ry;
        const int32_t sx = rows::EdgeIndex(x + dx, source.Width, Seamless);
        const int32_t sy = rows::EdgeIndex(y + dy, source.Height, Seamless);
        std::memcpy(d, source.Row(sy) + static_cast<size_t>(sx) * B, B);
      }
      if (!steps.Step()) return false;
    }
    return true;
  });
}

bool mvPixelizeEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  mvRect a;
  bool ok;
  if (!Begin(source, target, a, ok)) return ok;
  // A zero size (possible only when set directly) means 1, as on loading.
  const int64_t cw = std::max<uint32_t>(CellWidth, 1), ch = std::max<uint32_t>(CellHeight, 1);
  // One progress step per row of blocks.
  rows::RowProgress steps(progress, static_cast<int32_t>((a.Bottom - a.Top - 1) / ch + 1));
  if (!IsRgbOrGray(source)) return true;
  return WithRgbOrGray(source, [&](auto f) { return PixelizeKernel<decltype(f)>(source, target, a, cw, ch, steps); });
}

bool mvMosaicEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  mvRect a;
  bool ok;
  if (!Begin(source, target, a, ok)) return ok;
  const int64_t rw = a.Right - a.Left, rh = a.Bottom - a.Top;
  if (progress) progress->SetMax(static_cast<uint32_t>(ColorMode == 0 ? 2 * rh - 1 : rh - 1));
  SharedRandom.Seed(Seed);

  MosaicGrid grid;
  grid.CellW = std::max<uint32_t>(CellWidth, 1);
  grid.CellH = std::max<uint32_t>(CellHeight, 1);
  grid.Rows = (rh + grid.CellH - 1) / grid.CellH + 1;
  grid.Cols = (rw + grid.CellW - 1) / grid.CellW + 1;
  const int64_t total = grid.Rows * grid.Cols;
  // Jitter + 1 must fit the draw's 32-bit bound.
  const uint32_t spread = Jitter == 0xFFFFFFFFu ? Jitter : Jitter + 1;
  const bool paint = IsRgb8(source);
  if (!paint) {
    // Other formats are not painted, but the points are drawn all the same.
    for (int64_t i = 0; i < total; ++i) {
      SharedRandom.NextInt(spread);
      SharedRandom.NextInt(spread);
    }
    return true;
  }
  Buffer<MosaicCell> cells;
  if (!grid.X.Allocate(total) || !grid.Y.Allocate(total) || !cells.Allocate(total)) return false;

  // Points are placed from the work area's top-left corner. The products
  // run in unsigned 64 bits: a cell size and jitter of up to 2^32 - 1 each
  // cannot overflow them.
  int64_t far = 0;
  for (int64_t r = 0; r < grid.Rows; ++r) {
    const int64_t shift = (Stagger == 1 && (r % 2) == 1) ? grid.CellW / 2 : 0;
    for (int64_t c = 0; c < grid.Cols; ++c) {
      const uint64_t jx = SharedRandom.NextInt(spread);
      const uint64_t jy = SharedRandom.NextInt(spread);
      const int64_t i = r * grid.Cols + c;
      grid.X[i] = static_cast<int64_t>((static_cast<uint64_t>(grid.CellW - 1) * jx) / 100) + grid.CellW * c -
                  grid.CellW / 2 + shift;
      grid.Y[i] = static_cast<int64_t>((static_cast<uint64_t>(grid.CellH - 1) * jy) / 100) + grid.CellH * r -
                  grid.CellH / 2;
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
  for (int64_t i = 0; i < total; ++i) far = std::max({far, std::abs(grid.X[i]), std::abs(grid.Y[i])});
  // 64-bit squared distances are exact while every coordinate stays below 2^30.
  const bool narrow = far < (int64_t{1} << 30) && rw < (int64_t{1} << 30) && rh < (int64_t{1} << 30);
  if (source.Channels == 4)
    return narrow ? MosaicPaint<4, int64_t>(source, target, a, grid, cells, ColorMode, Seamless, progress)
                  : MosaicPaint<4, WideDistance>(source, target, a, grid, cells, ColorMode, Seamless, progress);
  return narrow ? MosaicPaint<3, int64_t>(source, target, a, grid, cells, ColorMode, Seamless, progress)
                : MosaicPaint<3, WideDistance>(source, target, a, grid, cells, ColorMode, Seamless, progress);
}

bool mvGlassTileEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  mvRect a;
  bool ok;
  if (!Begin(source, target, a, ok)) return ok;
  rows::RowProgress steps(progress, a.Bottom - a.Top);
  Buffer<int32_t> colMap, rowMap;
  if (!colMap.Allocate(a.Right - a.Left) || !rowMap.Allocate(a.Bottom - a.Top)) return false;
  // Tile positions count from the work area's corner; the coordinate rule
  // then applies to the picture position, so reads stay inside the picture.
  TileMap(colMap, a.Right - a.Left, TileWidth, a.Left, source.Width, Seamless);
  TileMap(rowMap, a.Bottom - a.Top, TileHeight, a.Top, source.Height, Seamless);
  return WithPixelBytes(source.BytesPerPixel(), [&](auto bytes) {
    constexpr size_t B = decltype(bytes)::value;
    for (int32_t y = a.Top; y < a.Bottom; ++y) {
      const uint8_t* s = source.Row(rowMap[y - a.Top]);
      uint8_t* d = target.Row(y) + static_cast<size_t>(a.Left) * B;
      for (int32_t x = 0; x < a.Right - a.Left; ++x, d += B) std::memcpy(d, s + static_cast<size_t>(colMap[x]) * B, B);
      if (!steps.Step()) return false;
    }
    return true;
  });
}

bool mvWrapEffect::Apply(mvPicture& source, mvPicture& target, mvProgress*) {
  mvRect a;
  bool ok;
  if (!Begin(source, target, a, ok)) return ok;
  if (!IsRgb8(source)) return true;
  const int32_t w = a.Right - a.Left, h = a.Bottom - a.Top;
  const uint32_t C = source.Channels;
  Buffer<int32_t> colMap, rowMap, gradX, gradY;
  const Edge edge = Seamless ? Edge::Wrap : Edge::Clamp;
  const int64_t cells = static_cast<int64_t>(w) * h;
  if (!EdgeMap(colMap, a.Left - 1, w + 2, source.Width, edge) || !EdgeMap(rowMap, a.Top - 1, h + 2, source.Height, edge) ||
      !gradX.Allocate(cells) || !gradY.Allocate(cells))
    return false;
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* above = source.Row(rowMap[y]);
    const uint8_t* here = source.Row(rowMap[y + 1]);
    const uint8_t* below = source.Row(rowMap[y + 2]);
    for (int32_t x = 0; x < w; ++x) {
      const int64_t i = static_cast<int64_t>(y) * w + x;
      gradX[i] = WrapLuma(here + static_cast<size_t>(colMap[x + 2]) * C) - WrapLuma(here + static_cast<size_t>(colMap[x]) * C);
      const size_t column = static_cast<size_t>(colMap[x + 1]) * C;
      gradY[i] = WrapLuma(above + column) - WrapLuma(below + column);
    }
  }
  if (Smoothness > 0 && (!BoxAverage(gradX.Get(), w, h, Smoothness, Seamless) ||
                         !BoxAverage(gradY.Get(), w, h, Smoothness, Seamless)))
    return false;
  int32_t lo = gradX[0], hi = gradX[0];
  for (int64_t i = 0; i < cells; ++i) {
    lo = std::min({lo, gradX[i], gradY[i]});
    hi = std::max({hi, gradX[i], gradY[i]});
  }
  if (lo == hi) return true;

  // Slopes lie in lo..hi (at most -255..255), so the highlight is worked out
  // once per pair of slopes that occurs.
  const int64_t span = static_cast<int64_t>(hi) - lo + 1;
  Buffer<double> memo;
  Buffer<uint8_t> known;
  if (!memo.Allocate(span * span) || !known.Allocate(span * span)) return false;
  std::memset(known.Get(), 0, static_cast<size_t>(span * span));
  const double k = static_cast<double>(Relief) / 10.0;
  const double range = static_cast<double>(hi - lo);
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* d = target.Row(a.Top + y) + static_cast<size_t>(a.Left) * C;
    const uint8_t* s = source.Row(a.Top + y) + static_cast<size_t>(a.Left) * C;
    for (int32_t x = 0; x < w; ++x, d += C, s += C) {
      const int64_t i = static_cast<int64_t>(y) * w + x;
      const int64_t slot = (gradX[i] - lo) * span + (gradY[i] - lo);
      if (!known[slot]) {
        const double gx = k * static_cast<double>(gradX[i]) / range;
        const double gy = k * static_cast<double>(gradY[i]) / range;
        memo[slot] = Highlight(gx, gy, Exponent);
        known[slot] = 1;
      }
      const double lift = 255.0 * memo[slot];
      for (int c = 0; c < 3; ++c) {
        const double v = static_cast<double>(s[c]) + lift;
        // Infinite highlights (negative exponents at a zero base) saturate.
        d[c] = !(v >= 0.0) ? 0 : (v >= 255.0 ? 255 : static_cast<uint8_t>(v));
      }
    }
  }
  return true;
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

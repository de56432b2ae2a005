#include "effects/filter/rank.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <type_traits>
#include <utility>

#include "effects/frame.h"

namespace {

// Transparent pixels take no part in the rank choices.
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
  Wrap,               // modulo the side
  Cut,                // left out
  CutLeftClampRight,  // left out before the start, the last pixel repeated after the end
};

// Picture coordinates of the positions from .. from + count - 1 along a side
// of n pixels; -1 marks a position that is left out.
bool EdgeMap(frame::Buffer<int32_t>& out, int64_t from, int64_t count, int32_t n, Edge edge) {
  if (!out.Allocate(count)) return false;
  for (int64_t i = 0; i < count; ++i) {
    const int64_t c = from + i;
    if (edge == Edge::Wrap) out[i] = frame::WrapIndex(c, n);
    else if (c < 0 || (edge == Edge::Cut && c >= n)) out[i] = -1;
    else out[i] = frame::ClampIndex(c, n);
  }
  return true;
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

struct MedianPlan {
  int64_t R = 1;
  frame::Buffer<int32_t> RowMap, ColMap;  // window positions of the area, -1 where cut
  int64_t Most = 0;                       // candidates a window can hold
  // Cut windows at least as wide as the picture hold every column, in
  // order, wherever they stand: all windows of a row hold the same pixels
  // in the same order and so have one median, worked out once a row. When
  // they are also as tall, every window holds the whole picture.
  bool RowShared = false, AllShared = false;
};

// The scratch of one band's general path: the window's candidates in
// window order.
template <class S>
struct MedianList {
  frame::Buffer<Candidate<S>> List;
  frame::Buffer<uint32_t> Keys;
  bool Allocate(int64_t most) { return List.Allocate(most) && Keys.Allocate(most); }
};

// The median of the window of (x, y) the general way: every visible
// candidate in window order, then the k-th key. Only in 16-bit RGB can
// pixels of different colours share a key (no two of the 2^24 8-bit colours
// have the same key, and gray keys are the sample); there the selection
// above decides which of them is chosen, and it runs whenever the k-th key
// is shared by more than one colour.
template <class F>
const typename F::Sample* MedianChoice(const MedianPlan& plan, const mvPicture& src, const mvRect& a, int32_t x,
                                       int32_t y, MedianList<typename F::Sample>& scratch) {
  using S = typename F::Sample;
  const int64_t side = 2 * plan.R + 1;
  const int32_t* rows = &plan.RowMap[y - a.Top];
  const int32_t* cols = &plan.ColMap[x - a.Left];
  Candidate<S>* list = scratch.List.Get();
  int64_t n = 0;
  for (int64_t j = 0; j < side; ++j) {
    if (rows[j] < 0) continue;
    const S* line = frame::RowOf<F>(src, rows[j]);
    for (int64_t i = 0; i < side; ++i) {
      if (cols[i] < 0) continue;
      const S* p = line + static_cast<size_t>(cols[i]) * F::kChannels;
      if (!Visible<F>(p)) continue;
      list[n++] = Candidate<S>{MedianKey<F>(p), p};
    }
  }
  if (n == 0) return nullptr;
  const int64_t k = (n - 1) / 2;
  if constexpr (!(F::kRgb && F::kWide)) {
    std::nth_element(list, list + k, list + n,
                     [](const Candidate<S>& l, const Candidate<S>& r) { return l.Key < r.Key; });
    return list[k].Pixel;
  } else {
    uint32_t* keys = scratch.Keys.Get();
    for (int64_t i = 0; i < n; ++i) keys[i] = list[i].Key;
    std::nth_element(keys, keys + k, keys + n);
    const uint32_t key = keys[k];
    const S* chosen = nullptr;
    for (int64_t i = 0; i < n; ++i) {
      if (list[i].Key != key) continue;
      if (!chosen) chosen = list[i].Pixel;
      else if (std::memcmp(chosen, list[i].Pixel, sizeof(S) * F::kColours) != 0) {
        SelectKth(list, n, k);
        chosen = list[k].Pixel;
        break;
      }
    }
    return chosen;
  }
}

// Writes the median of the window of (x, y); a window without a visible
// pixel leaves the target as it was.
template <class F>
void MedianPixel(const MedianPlan& plan, const mvPicture& src, mvPicture& dst, const mvRect& a, int32_t x, int32_t y,
                 MedianList<typename F::Sample>& scratch) {
  if (const typename F::Sample* chosen = MedianChoice<F>(plan, src, a, x, y, scratch))
    CopyColour<F>(frame::PixelAt<F>(dst, x, y), chosen);
}

// ---- median: sorting networks -------------------------------------------------

// One comparator: the minimum to wire A and the maximum to wire B, or only
// one of them where the other is never read again.
struct NetOp {
  uint8_t A, B, Kind;
};
enum : uint8_t { kBoth, kMinOnly, kMaxOnly };

constexpr NetOp kSort3[] = {{0, 1, kBoth}, {1, 2, kBoth}, {0, 1, kBoth}};
constexpr NetOp kSort5[] = {{0, 1, kBoth}, {3, 4, kBoth}, {2, 4, kBoth}, {2, 3, kBoth}, {0, 3, kBoth},
                            {0, 2, kBoth}, {1, 4, kBoth}, {1, 3, kBoth}, {1, 2, kBoth}};

// The median of a 3 x 3 and a 5 x 5 window whose columns arrive sorted
// (wire column * side + rank): odd-even merges of the columns, less every
// comparator that cannot change the median and every value that can be
// proven not to be it, checked on every 0-1 input with sorted columns.
// Kinds: 0 both, 1 the minimum only, 2 the maximum only.
constexpr NetOp kMedian9[] = {{3, 6, 2}, {5, 8, 1}, {5, 6, 0}, {4, 7, 0}, {4, 5, 0}, {7, 6, 0},
                              {6, 0, 1}, {2, 5, 1}, {2, 6, 2}, {1, 4, 2}, {7, 4, 1}, {7, 6, 2}};
constexpr uint8_t kMedian9Out = 6;
constexpr NetOp kMedian25[] = {
    {15, 20, 0}, {19, 24, 0}, {19, 20, 0}, {17, 22, 0}, {17, 19, 0}, {22, 20, 0}, {16, 21, 0}, {18, 23, 0}, {18, 21, 0},
    {16, 17, 0}, {18, 19, 0}, {21, 22, 0}, {23, 20, 0}, {5, 10, 0},  {9, 14, 0},  {9, 10, 0},  {7, 12, 0},  {7, 9, 0},
    {12, 10, 0}, {6, 11, 0},  {8, 13, 0},  {8, 11, 0},  {6, 7, 0},   {8, 9, 0},   {11, 12, 0}, {13, 10, 0}, {5, 15, 2},
    {10, 20, 1}, {10, 15, 0}, {9, 19, 0},  {9, 10, 2},  {19, 15, 1}, {7, 17, 2},  {12, 22, 1}, {12, 17, 0}, {12, 10, 2},
    {17, 19, 0}, {6, 16, 2},  {14, 24, 1}, {14, 16, 0}, {11, 21, 0}, {11, 14, 2}, {21, 16, 1}, {8, 18, 2},  {13, 23, 1},
    {13, 18, 0}, {13, 14, 0}, {18, 21, 1}, {13, 10, 0}, {14, 17, 0}, {18, 19, 0}, {10, 0, 2},  {19, 4, 1},  {19, 0, 1},
    {17, 2, 1},  {17, 19, 2}, {14, 1, 2},  {18, 3, 1},  {13, 18, 2}, {18, 1, 1},  {18, 19, 2}};
constexpr uint8_t kMedian25Out = 19;

// Pixels a network runs on at once: every comparator is one loop over them,
// which the compiler turns into vector instructions.
constexpr int64_t kLanes = 64;

void Both(int32_t* __restrict a, int32_t* __restrict b) {
  for (int64_t k = 0; k < kLanes; ++k) {
    const int32_t u = a[k], v = b[k];
    const int32_t lo = std::min(u, v), hi = std::max(u, v);  // both before either store: vectorised
    a[k] = lo;
    b[k] = hi;
  }
}
void MinOnly(int32_t* __restrict a, const int32_t* __restrict b) {
  for (int64_t k = 0; k < kLanes; ++k) a[k] = std::min(a[k], b[k]);
}
void MaxOnly(const int32_t* __restrict a, int32_t* __restrict b) {
  for (int64_t k = 0; k < kLanes; ++k) b[k] = std::max(a[k], b[k]);
}

template <size_t N>
void Run(const NetOp (&ops)[N], int32_t (*wires)[kLanes]) {
  for (const NetOp& op : ops) {
    if (op.Kind == kBoth) Both(wires[op.A], wires[op.B]);
    else if (op.Kind == kMinOnly) MinOnly(wires[op.A], wires[op.B]);
    else MaxOnly(wires[op.A], wires[op.B]);
  }
}

void AndInto(uint8_t* __restrict acc, const uint8_t* __restrict v) {
  for (int64_t k = 0; k < kLanes; ++k) acc[k] = static_cast<uint8_t>(acc[k] & v[k]);
}

// pick[k] becomes colour[k] where key[k] is the median's key.
void PickColour(uint32_t* __restrict pick, const int32_t* __restrict key, const uint32_t* __restrict colour,
                const int32_t* __restrict median) {
  for (int64_t k = 0; k < kLanes; ++k) {
    const uint32_t c = colour[k], p = pick[k];
    pick[k] = key[k] == median[k] ? c : p;
  }
}

// Keys flipped into signed order, so that the comparisons are plain signed ones.
constexpr uint32_t kFlip = 0x80000000u;

// The network path of a band, for radius 1 and 2 in every format but 16-bit
// RGB: all windows of a row at once, from the keys of the window's rows with
// every column sorted first (a sorted column serves 2r + 1 windows). A
// window with a transparent or cut pixel takes the general path.
template <class F>
bool MedianNetworkBand(const MedianPlan& plan, const mvPicture& src, mvPicture& dst, const mvRect& a, int32_t top,
                       int32_t bottom) {
  using S = typename F::Sample;
  const int64_t side = 2 * plan.R + 1;
  const int64_t w = a.Right - a.Left, ext = w + 2 * plan.R;
  const int64_t outputs = (w + kLanes - 1) / kLanes * kLanes;
  const int64_t width = (outputs + side - 1 + kLanes - 1) / kLanes * kLanes;
  // Row slots of the window, a ring: keys, packed colours (RGB), visibility.
  frame::Buffer<int32_t> key, rank;
  frame::Buffer<uint32_t> colour;
  frame::Buffer<uint8_t> present, full;
  frame::Buffer<int32_t> median, wires;
  frame::Buffer<uint32_t> chosen;
  MedianList<S> scratch;
  if (!key.Allocate(side * width) || !rank.Allocate(side * width) || !colour.Allocate(F::kRgb ? side * width : 1) ||
      !present.Allocate(side * width) || !full.Allocate(width) || !median.Allocate(kLanes) ||
      !wires.Allocate(side * side * kLanes) || !chosen.Allocate(kLanes) || !scratch.Allocate(plan.Most))
    return false;
  auto load = [&](int64_t t) {
    const int64_t slot = t % side;
    int32_t* k = &key[slot * width];
    uint32_t* c = F::kRgb ? &colour[slot * width] : nullptr;
    uint8_t* v = &present[slot * width];
    const int32_t row = plan.RowMap[t];
    const S* line = row < 0 ? nullptr : frame::RowOf<F>(src, row);
    for (int64_t e = 0; e < width; ++e) {
      const int32_t col = e < ext ? plan.ColMap[e] : -1;
      if (!line || col < 0) {
        k[e] = 0;
        v[e] = 0;
        if constexpr (F::kRgb) c[e] = 0;
        continue;
      }
      const S* p = line + static_cast<size_t>(col) * F::kChannels;
      k[e] = static_cast<int32_t>(MedianKey<F>(p) ^ kFlip);
      v[e] = Visible<F>(p) ? 1 : 0;
      if constexpr (F::kRgb) c[e] = p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16);
    }
  };
  int32_t(*wire)[kLanes] = reinterpret_cast<int32_t(*)[kLanes]>(wires.Get());
  const int64_t first = top - a.Top;
  for (int64_t t = first; t < first + side - 1; ++t) load(t);
  for (int32_t y = top; y < bottom; ++y) {
    const int64_t t = y - a.Top;
    load(t + side - 1);
    // slot[j]: the ring slot of the window's row j, top first.
    int64_t slot[5];
    for (int64_t j = 0; j < side; ++j) slot[j] = (t + j) % side;
    // Columns whose window rows are all present, and the columns sorted.
    for (int64_t e0 = 0; e0 < width; e0 += kLanes) {
      std::memcpy(&full[e0], &present[slot[0] * width + e0], kLanes);
      for (int64_t j = 1; j < side; ++j) AndInto(&full[e0], &present[slot[j] * width + e0]);
      int32_t(*sorted)[kLanes] = wire;  // borrowed as scratch: side rows of kLanes
      for (int64_t j = 0; j < side; ++j) std::memcpy(sorted[j], &key[slot[j] * width + e0], sizeof sorted[j]);
      if (side == 3) Run(kSort3, sorted);
      else Run(kSort5, sorted);
      for (int64_t j = 0; j < side; ++j) std::memcpy(&rank[j * width + e0], sorted[j], sizeof sorted[j]);
    }
    for (int64_t x0 = 0; x0 < w; x0 += kLanes) {
      for (int64_t col = 0; col < side; ++col)
        for (int64_t r = 0; r < side; ++r)
          std::memcpy(wire[col * side + r], &rank[r * width + x0 + col], sizeof wire[0]);
      const int32_t* med;
      if (side == 3) {
        Run(kMedian9, wire);
        med = wire[kMedian9Out];
      } else {
        Run(kMedian25, wire);
        med = wire[kMedian25Out];
      }
      std::memcpy(median.Get(), med, sizeof(int32_t) * kLanes);
      if constexpr (F::kRgb) {
        // The colour of the key: each 8-bit colour has a key of its own.
        std::memset(chosen.Get(), 0, sizeof(uint32_t) * kLanes);
        for (int64_t j = 0; j < side; ++j)
          for (int64_t i = 0; i < side; ++i)
            PickColour(chosen.Get(), &key[slot[j] * width + x0 + i], &colour[slot[j] * width + x0 + i], median.Get());
      }
      const int64_t end = std::min<int64_t>(kLanes, w - x0);
      for (int64_t k = 0; k < end; ++k) {
        const int32_t x = a.Left + static_cast<int32_t>(x0 + k);
        bool whole = true;
        for (int64_t i = 0; i < side; ++i) whole = whole && full[x0 + k + i];
        if (!whole) {
          MedianPixel<F>(plan, src, dst, a, x, y, scratch);
          continue;
        }
        S* out = frame::PixelAt<F>(dst, x, y);
        if constexpr (F::kRgb) {
          const uint32_t c = chosen[k];
          out[0] = static_cast<S>(c & 255u);
          out[1] = static_cast<S>((c >> 8) & 255u);
          out[2] = static_cast<S>(c >> 16);
        } else {
          out[0] = static_cast<S>(static_cast<uint32_t>(median[k]) ^ kFlip);
        }
      }
    }
  }
  return true;
}

template <class F>
bool MedianBand(const MedianPlan& plan, const mvPicture& src, mvPicture& dst, const mvRect& a, int32_t top,
                int32_t bottom) {
  if constexpr (!(F::kRgb && F::kWide)) {
    if ((plan.R == 1 || plan.R == 2) && !plan.RowShared) return MedianNetworkBand<F>(plan, src, dst, a, top, bottom);
  }
  MedianList<typename F::Sample> scratch;
  if (!scratch.Allocate(plan.Most)) return false;
  for (int32_t y = top; y < bottom; ++y) {
    if (plan.RowShared) {
      if (const typename F::Sample* chosen = MedianChoice<F>(plan, src, a, a.Left, y, scratch))
        for (int32_t x = a.Left; x < a.Right; ++x) CopyColour<F>(frame::PixelAt<F>(dst, x, y), chosen);
      continue;
    }
    for (int32_t x = a.Left; x < a.Right; ++x) MedianPixel<F>(plan, src, dst, a, x, y, scratch);
  }
  return true;
}

// ---- minimum and maximum ----------------------------------------------------

// The winner of a window is the earliest of the pixels with the best key
// (window order: left to right, top to bottom). Both go into one number,
// the key above the position, so that the smallest (or largest) number of a
// window names its winner: positions count up for the minimum and down for
// the maximum. Narrow numbers hold a 16-bit key (every format but 16-bit
// RGB) and a position below 2^16 - 1; the others take 64 bits.
template <bool Max, bool Wide>
struct RankOrder {
  using T = std::conditional_t<Wide, int64_t, int32_t>;
  using U = std::make_unsigned_t<T>;
  static constexpr int kShift = Wide ? 32 : 16;
  static constexpr U kPositions = Wide ? 0xFFFFFFFFu : 0xFFFFu;
  static constexpr U kSign = U{1} << (8 * sizeof(T) - 1);
  // Never the number of a pixel: what a left-out or transparent one gets.
  static constexpr T kNone = Max ? std::numeric_limits<T>::min() : std::numeric_limits<T>::max();

  // Shifted into signed order, so that the comparisons are plain signed ones.
  static T Of(uint32_t key, int64_t position) {
    const U order = Max ? kPositions - static_cast<U>(position) : static_cast<U>(position);
    return static_cast<T>(((static_cast<U>(key) << kShift) | order) ^ kSign);
  }
  static int64_t Position(T v) {
    const U order = (static_cast<U>(v) ^ kSign) & kPositions;
    return static_cast<int64_t>(Max ? kPositions - order : order);
  }
  static T Best(T a, T b) { return Max ? std::max(a, b) : std::min(a, b); }
};

template <class O>
void BestInto(typename O::T* __restrict m, const typename O::T* __restrict other) {
  for (int64_t k = 0; k < kLanes; ++k) m[k] = O::Best(m[k], other[k]);
}

template <class O>
void BestOf(typename O::T* __restrict out, const typename O::T* __restrict a, const typename O::T* __restrict b) {
  for (int64_t k = 0; k < kLanes; ++k) out[k] = O::Best(a[k], b[k]);
}

// The best of every window of `side` numbers: windows of 2, 4, 8, ... by
// doubling, then two overlapping ones. v[0 .. n + side - 1) holds the
// numbers (n a multiple of kLanes, v and spare n + side - 1 + kLanes long);
// answers the array whose [0, n) holds the windows' best.
template <class O>
typename O::T* SlideBest(typename O::T* v, typename O::T* spare, int64_t n, int64_t side) {
  int64_t span = 1;
  while (2 * span <= side) {
    for (int64_t i = 0; i < n + side - 2 * span; i += kLanes) BestOf<O>(spare + i, v + i, v + i + span);
    std::swap(v, spare);
    span *= 2;
  }
  if (span == side) return v;
  for (int64_t i = 0; i < n; i += kLanes) BestOf<O>(spare + i, v + i, v + i + (side - span));
  return spare;
}

// Pass one: rows top .. bottom of the source into the target.
template <class F, class O>
bool RankRows(const mvPicture& src, mvPicture& dst, const mvRect& a, const frame::Buffer<int32_t>& colMap, int64_t side,
              int32_t top, int32_t bottom) {
  using S = typename F::Sample;
  using T = typename O::T;
  const int64_t w = a.Right - a.Left, ext = colMap.Size;
  const int64_t n = (w + kLanes - 1) / kLanes * kLanes;
  frame::Buffer<T> v, spare;
  if (!v.Allocate(n + side - 1 + kLanes) || !spare.Allocate(v.Size)) return false;
  for (int32_t y = top; y < bottom; ++y) {
    const S* line = frame::RowOf<F>(src, y);
    for (int64_t e = 0; e < v.Size; ++e) {
      const int32_t pos = e < ext ? colMap[e] : -1;
      const S* p = line + static_cast<size_t>(pos < 0 ? 0 : pos) * F::kChannels;
      v[e] = pos < 0 || !Visible<F>(p) ? O::kNone : O::Of(RankKey<F>(p), e);
    }
    const T* best = SlideBest<O>(v.Get(), spare.Get(), n, side);
    S* out = frame::PixelAt<F>(dst, a.Left, y);
    for (int64_t i = 0; i < w; ++i, out += F::kChannels)
      if (best[i] != O::kNone)
        CopyColour<F>(out, line + static_cast<size_t>(colMap[O::Position(best[i])]) * F::kChannels);
  }
  return true;
}

// Pass two: columns first .. last of the area, down the first pass's
// result. The rows the windows reach are copied out first, so the pass
// reads them as the first pass left them.
template <class F, class O>
bool RankColumns(mvPicture& dst, const mvRect& a, const frame::Buffer<int32_t>& rowMap, int64_t side, int64_t first,
                 int64_t last) {
  using S = typename F::Sample;
  using T = typename O::T;
  const int64_t cols = last - first, h = a.Bottom - a.Top;
  const int64_t lanes = (cols + kLanes - 1) / kLanes * kLanes;
  const int64_t ext = rowMap.Size;  // h + side - 1 window rows
  int32_t lo = dst.Height, hi = -1;
  for (int64_t t = 0; t < ext; ++t)
    if (rowMap[t] >= 0) {
      lo = std::min(lo, rowMap[t]);
      hi = std::max(hi, rowMap[t]);
    }
  if (hi < 0) return true;
  // v[t * lanes + c]: the number of window row t in column c.
  frame::Buffer<S> copy;
  frame::Buffer<T> v;
  if (!copy.Allocate(static_cast<int64_t>(hi - lo + 1) * cols * F::kChannels) || !v.Allocate(ext * lanes)) return false;
  auto copied = [&](int32_t y, int64_t c) { return &copy[(static_cast<int64_t>(y - lo) * cols + c) * F::kChannels]; };
  const int32_t left = a.Left + static_cast<int32_t>(first);
  for (int32_t y = lo; y <= hi; ++y)
    std::memcpy(copied(y, 0), frame::PixelAt<F>(dst, left, y), static_cast<size_t>(cols) * F::kChannels * sizeof(S));
  for (int64_t t = 0; t < ext; ++t) {
    T* row = &v[t * lanes];
    const int32_t y = rowMap[t];
    for (int64_t c = 0; c < lanes; ++c) {
      const S* p = y < 0 || c >= cols ? nullptr : copied(y, c);
      row[c] = p && Visible<F>(p) ? O::Of(RankKey<F>(p), t) : O::kNone;
    }
  }
  // As SlideBest, down the rows: each row of numbers takes the best of
  // itself and a later one, front to back, so it reads that one unchanged.
  int64_t span = 1;
  while (2 * span <= side) {
    for (int64_t t = 0; t < ext + 1 - 2 * span; ++t)
      for (int64_t c = 0; c < lanes; c += kLanes) BestInto<O>(&v[t * lanes + c], &v[(t + span) * lanes + c]);
    span *= 2;
  }
  if (span < side)
    for (int64_t t = 0; t < h; ++t)
      for (int64_t c = 0; c < lanes; c += kLanes) BestInto<O>(&v[t * lanes + c], &v[(t + side - span) * lanes + c]);
  for (int64_t t = 0; t < h; ++t) {
    S* out = frame::PixelAt<F>(dst, left, a.Top + static_cast<int32_t>(t));
    for (int64_t c = 0; c < cols; ++c, out += F::kChannels)
      if (v[t * lanes + c] != O::kNone) CopyColour<F>(out, copied(rowMap[O::Position(v[t * lanes + c])], c));
  }
  return true;
}

template <bool Max>
bool ApplyRank(mvPicture& source, mvPicture& target, mvProgress* progress, uint32_t radius, bool seamless) {
  frame::Frame f(source, target, progress);
  if (!f.Begin()) return f.Answer();
  // One step per row of the first pass, one per column of the second.
  f.Announce(static_cast<int64_t>(f.Cols()) + f.Rows());
  const int64_t r = frame::LimitRadius(radius, source);
  const int64_t side = 2 * r + 1;
  const Edge edge = seamless ? Edge::Wrap : Edge::CutLeftClampRight;
  frame::Buffer<int32_t> colMap, rowMap;
  return f.Dispatch(frame::kRgbOrGray, [&](auto fmt) {
    using F = decltype(fmt);
    if (!EdgeMap(colMap, f.A.Left - r, f.Cols() + 2 * r, source.Width, edge) ||
        !EdgeMap(rowMap, f.A.Top - r, f.Rows() + 2 * r, source.Height, edge))
      return false;
    auto run = [&](auto order) {
      using O = decltype(order);
      return f.ForRows([&](int32_t top, int32_t bottom) {
        return RankRows<F, O>(source, target, f.A, colMap, side, top, bottom);
      }) && f.ForSteps(f.Cols(), source.Height, [&](int64_t first, int64_t last) {
        return RankColumns<F, O>(target, f.A, rowMap, side, first, last);
      });
    };
    // Keys of 16-bit RGB, or positions past 16 bits, need the wide numbers.
    if constexpr (F::kRgb && F::kWide) return run(RankOrder<Max, true>{});
    else if (std::max(colMap.Size, rowMap.Size) >= 0xFFFF) return run(RankOrder<Max, true>{});
    else return run(RankOrder<Max, false>{});
  });
}

}  // namespace

// ---- classes ----------------------------------------------------------------

const mvEffectClass& mvMedianEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvMedianEffect>(
      22, "mvMedianEffect",
      {Field("Radius", &mvMedianEffect::Radius).ZeroBecomesOne().Help("window radius in pixels"),
       Field("Seamless", &mvMedianEffect::Seamless).Help("the window wraps around the picture")});
  return c;
}

const mvEffectClass& mvMinimumEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvMinimumEffect>(
      23, "mvMinimumEffect",
      {Field("Radius", &mvMinimumEffect::Radius).ZeroBecomesOne().Help("window radius in pixels"),
       Field("Seamless", &mvMinimumEffect::Seamless).Help("the window wraps around the picture")});
  return c;
}

const mvEffectClass& mvMaximumEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvMaximumEffect>(
      24, "mvMaximumEffect",
      {Field("Radius", &mvMaximumEffect::Radius).ZeroBecomesOne().Help("window radius in pixels"),
       Field("Seamless", &mvMaximumEffect::Seamless).Help("the window wraps around the picture")});
  return c;
}

bool mvMedianEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  frame::Frame f(source, target, progress);
  if (!f.Begin()) return f.Answer();
  f.Announce(f.Rows());
  MedianPlan plan;
  plan.R = frame::LimitRadius(Radius, source);
  const int64_t side = 2 * plan.R + 1;
  plan.Most = Seamless ? side * side : std::min<int64_t>(side, source.Height) * std::min<int64_t>(side, source.Width);
  const Edge edge = Seamless ? Edge::Wrap : Edge::Cut;
  plan.RowShared = !Seamless && plan.R >= source.Width - 1;
  plan.AllShared = plan.RowShared && plan.R >= source.Height - 1;
  return f.Dispatch(frame::kRgbOrGray, [&](auto fmt) {
    using F = decltype(fmt);
    using S = typename F::Sample;
    if (!EdgeMap(plan.RowMap, f.A.Top - plan.R, f.Rows() + 2 * plan.R, source.Height, edge) ||
        !EdgeMap(plan.ColMap, f.A.Left - plan.R, f.Cols() + 2 * plan.R, source.Width, edge))
      return false;
    if (!plan.AllShared)
      return f.ForRows(
          [&](int32_t top, int32_t bottom) { return MedianBand<F>(plan, source, target, f.A, top, bottom); });
    MedianList<S> scratch;
    if (!scratch.Allocate(plan.Most)) return false;
    const S* chosen = MedianChoice<F>(plan, source, f.A, f.A.Left, f.A.Top, scratch);
    return f.ForRows([&](int32_t top, int32_t bottom) {
      for (int32_t y = top; y < bottom && chosen; ++y)
        for (int32_t x = f.A.Left; x < f.A.Right; ++x) CopyColour<F>(frame::PixelAt<F>(target, x, y), chosen);
      return true;
    });
  });
}

bool mvMinimumEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  return ApplyRank<false>(source, target, progress, Radius, Seamless);
}

bool mvMaximumEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  return ApplyRank<true>(source, target, progress, Radius, Seamless);
}

#pragma once
// Pieces the motion blur and the edge filters share: rows unpacked into
// planes of doubles for passes the compiler vectorises.
#include <algorithm>
#include <cstdint>

#include "effects/frame.h"

namespace tiled {

constexpr double kPi = 3.141592653589793;

// A double about to become a sample: NaN and negatives give 0, large values
// the top of the range.
inline int64_t SampleFrom(double v, int64_t top) {
  if (!(v > 0)) return 0;
  if (v >= static_cast<double>(top)) return top;
  return static_cast<int64_t>(v);
}

// Loops over whole tiles of this many samples have a fixed trip count, which
// lets the compiler vectorise them at -O2.
constexpr int32_t kTile = 64;

// Columns per strip of the tiled passes: a band works strip by strip, so
// its unpacked rows stay small whatever the picture's width.
constexpr int64_t kStrip = 512;

// Rows unpacked into planes of doubles, one per colour channel and then
// alpha: the samples, or with Weighted the colour samples times alpha.
// Entry i of a row is column from + i under the edge rule (one strip and
// its margins); rows are padded by a tile. A ring of Slots rows holds the
// rows that one output row needs at once (row numbers from First on, read
// through the edge rule).
template <class F, bool Weighted>
class PlaneRows {
public:
  static constexpr uint32_t kPlanes = F::kColours + (F::kAlpha ? 1 : 0);
  // For strips of at most `count` columns.
  bool Allocate(int64_t count, int64_t slots) {
    Slots = slots;
    Stride = count + kTile;
    if (!Columns.Allocate(count) || !Store.Allocate(Slots * kPlanes * Stride) || !Loaded.Allocate(Slots)) return false;
    std::fill(Store.Get(), Store.Get() + Store.Size, 0.0);
    return true;
  }
  // Starts a strip: columns from .. from + count - 1, rows from `first` on.
  void Start(const mvPicture& src, int64_t from, int64_t count, bool wrap, int64_t first) {
    Count = count;
    First = first;
    Wrap = wrap;
    for (int64_t i = 0; i < count; ++i) Columns[i] = frame::EdgeIndex(from + i, src.Width, wrap);
    std::fill(Loaded.Get(), Loaded.Get() + Loaded.Size, INT64_MIN);
  }
  // Plane p of row t, t >= First.
  const double* Get(const mvPicture& src, int64_t t, uint32_t p) {
    const int64_t slot = (t - First) % Slots;
    if (Loaded[slot] != t) Unpack(src, frame::EdgeIndex(t, src.Height, Wrap), slot, t);
    return Plane(slot, p);
  }

private:
  double* Plane(int64_t slot, uint32_t p) { return Store.Get() + (slot * kPlanes + p) * Stride; }
  void Unpack(const mvPicture& src, int32_t y, int64_t slot, int64_t t) {
    constexpr uint32_t ch = F::kChannels;
    const typename F::Sample* row = frame::RowOf<F>(src, y);
    double* out[kPlanes];
    for (uint32_t p = 0; p < kPlanes; ++p) out[p] = Plane(slot, p);
    for (int64_t i = 0; i < Count; ++i) {
      const typename F::Sample* px = row + static_cast<size_t>(Columns[i]) * ch;
      const double al = F::kAlpha ? px[ch - 1] : 1;
      for (uint32_t c = 0; c < F::kColours; ++c) out[c][i] = Weighted ? static_cast<double>(px[c]) * al : px[c];
      if constexpr (F::kAlpha) out[F::kColours][i] = al;
    }
    Loaded[slot] = t;
  }

  frame::Buffer<int32_t> Columns;
  frame::Buffer<double> Store;
  frame::Buffer<int64_t> Loaded;
  int64_t Slots = 0, Stride = 0, First = 0, Count = 0;
  bool Wrap = false;
};

}  // namespace tiled

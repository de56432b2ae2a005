#pragma once
// Shared by the filter families: the work area, the two edge rules for
// neighbour reads, index tables and the per-row progress steps.
#include <cstdint>
#include <vector>

#include "core/picture.h"
#include "effects/effect.h"

namespace rows {

// The work area limited to the picture, so that a stray rectangle cannot
// send a loop outside the buffers. False when nothing is left to do.
inline bool ClipArea(const mvPicture& p, mvRect& r) {
  r = p.Area();
  if (r.Left < 0) r.Left = 0;
  if (r.Top < 0) r.Top = 0;
  if (r.Right > p.Width) r.Right = p.Width;
  if (r.Bottom > p.Height) r.Bottom = p.Height;
  return r.Left < r.Right && r.Top < r.Bottom;
}

// Source and target must share size and format before any row is touched.
inline bool SameShape(const mvPicture& a, const mvPicture& b) {
  return a.Pixels && b.Pixels && a.Width == b.Width && a.Height == b.Height && a.ColorType == b.ColorType &&
         a.BitDepth == b.BitDepth && a.Channels == b.Channels && a.Width > 0 && a.Height > 0;
}

// Seamless reads take the coordinate modulo the side (the non-negative
// remainder); the others stick to the nearest edge pixel. n must be > 0.
inline int32_t WrapIndex(int64_t c, int32_t n) {
  int64_t m = c % n;
  if (m < 0) m += n;
  return static_cast<int32_t>(m);
}
inline int32_t ClampIndex(int64_t c, int32_t n) {
  return c < 0 ? 0 : (c >= n ? n - 1 : static_cast<int32_t>(c));
}
inline int32_t EdgeIndex(int64_t c, int32_t n, bool wrap) { return wrap ? WrapIndex(c, n) : ClampIndex(c, n); }

// out[i] = EdgeIndex(from + i) for i = 0..count-1.
inline void IndexTable(std::vector<int32_t>& out, int64_t from, int64_t count, int32_t n, bool wrap) {
  out.resize(static_cast<size_t>(count));
  for (int64_t i = 0; i < count; ++i) out[static_cast<size_t>(i)] = EdgeIndex(from + i, n, wrap);
}

// The common progress frame: SetMax(rows - 1) up front, one step per row.
class RowProgress {
public:
  RowProgress(mvProgress* p, int32_t rowCount) : Sink(p) {
    if (Sink) Sink->SetMax(static_cast<uint32_t>(rowCount - 1));
  }
  // False when the sink asked to stop.
  bool Step() { return !Sink || Sink->SetPos(Sink->Pos + 1); }

private:
  mvProgress* Sink;
};

}  // namespace rows

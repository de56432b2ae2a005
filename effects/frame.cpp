#include "effects/frame.h"

namespace frame {

uint32_t FormatOf(const mvPicture& p) {
  if (p.BitsPerPixel != static_cast<int32_t>(p.BitDepth * p.Channels)) return 0;
  const bool wide = p.BitDepth == 16;
  if (p.BitDepth != 8 && !wide) return 0;
  if (p.ColorType == ColorTypeRGB) {
    if (p.Channels == 3) return wide ? kRgb16 : kRgb8;
    if (p.Channels == 4) return wide ? kRgba16 : kRgba8;
  } else if (p.ColorType == ColorTypeGray) {
    if (p.Channels == 1) return wide ? kGray16 : kGray8;
    if (p.Channels == 2) return wide ? kGrayA16 : kGrayA8;
  }
  return 0;
}

bool IndexTable(Buffer<int32_t>& out, int64_t from, int64_t count, int32_t n, bool wrap) {
  if (!out.Allocate(count)) return false;
  for (int64_t i = 0; i < count; ++i) out[i] = EdgeIndex(from + i, n, wrap);
  return true;
}

int64_t LimitRadius(uint32_t radius, const mvPicture& p) {
  constexpr int64_t kMinRadiusLimit = 64, kMaxRadiusLimit = 16384;
  const int64_t limit = std::min(std::max<int64_t>({kMinRadiusLimit, p.Width, p.Height}), kMaxRadiusLimit);
  return std::min<int64_t>(radius, limit);
}

bool Frame::Begin() {
  const mvPicture &s = Source, &t = Target;
  Fits = s.Pixels && t.Pixels && s.Width > 0 && s.Height > 0 && s.Width == t.Width && s.Height == t.Height &&
         s.ColorType == t.ColorType && s.BitDepth == t.BitDepth && s.Channels == t.Channels &&
         s.BitsPerPixel == t.BitsPerPixel && s.Stride == t.Stride && (PairRule == Pair::InPlace || &s != &t);
  if (!Fits) return false;
  // A stray work rectangle must not send a loop outside the buffers.
  A = s.Area();
  A.Left = std::max(A.Left, 0);
  A.Top = std::max(A.Top, 0);
  A.Right = std::min(A.Right, s.Width);
  A.Bottom = std::min(A.Bottom, s.Height);
  return A.Left < A.Right && A.Top < A.Bottom;
}

void Frame::Announce(int64_t steps) {
  if (!Progress || steps <= 0) return;
  Progress->SetMax(static_cast<uint32_t>(std::min<int64_t>(steps - 1, UINT32_MAX)));
  Announced = true;
}

int64_t Frame::BandSteps(int64_t steps, int64_t pixelsPerStep) {
  constexpr int64_t kBandPixels = 1 << 15, kMaxBands = 64;
  const int64_t bySize = (kBandPixels + std::max<int64_t>(pixelsPerStep, 1) - 1) / std::max<int64_t>(pixelsPerStep, 1);
  const int64_t byCount = (steps + kMaxBands - 1) / kMaxBands;
  return std::max<int64_t>({bySize, byCount, 1});
}

bool Frame::Stopped() const { return StopSeen || (Progress && Progress->StopRequested()); }

void Frame::Finished(int64_t steps) { Done.fetch_add(steps, std::memory_order_relaxed); }

// Runs on the calling thread only: the sink need not be thread-safe.
bool Frame::Report() {
  if (!Progress) return true;
  if (StopSeen) return false;  // a sink that said stop hears nothing more
  if (Announced) {
    const int64_t done = Done.load(std::memory_order_relaxed);
    while (Reported < done) {
      ++Reported;
      if (!Progress->SetPos(Progress->Pos + 1)) {
        StopSeen = true;
        return false;
      }
    }
  }
  if (Progress->StopRequested()) StopSeen = true;
  return !StopSeen;
}

bool Frame::RunBands(int64_t bands, const std::function<bool(int64_t)>& band) {
  if (Stopped()) return false;
  const bool ok = parallel::For(bands, band, [this] { return Report(); });
  // Steps finished by other threads after the last report.
  return Report() && ok;
}

}  // namespace frame

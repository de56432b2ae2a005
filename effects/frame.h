#pragma once
// The frame every effect's Apply runs in. It checks the picture pair, clips
// the work area, announces and reports progress, dispatches the pixel format
// once into a kernel templated on it, and cuts the area into bands that run
// on the thread pool. An effect is then its kernel: a function of a band of
// rows (or of other steps) that never sees threads, sinks or formats it does
// not handle.
//
//   bool mvSomeEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
//     frame::Frame f(source, target, progress);
//     if (!f.Begin()) return f.Answer();
//     f.Announce(f.Rows());
//     return f.Dispatch(frame::kRgbOrGray, [&](auto fmt) {
//       return f.ForRows([&](int32_t top, int32_t bottom) { return Kernel<decltype(fmt)>(...); });
//     });
//   }
//
// Bands depend on the area's size only, never on the thread count, and a
// kernel must give the same bits for a band whatever ran before it, so that
// one thread and many give the same picture.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

#include "core/parallel.h"
#include "core/picture.h"
#include "effects/effect.h"

namespace frame {

// ---- pixel formats ----------------------------------------------------------

// A pixel format as template parameters: sample type, channels, RGB or gray.
template <class T, uint32_t C, bool Rgb>
struct Fmt {
  using Sample = T;
  static constexpr uint32_t kChannels = C;
  static constexpr bool kAlpha = (C % 2) == 0;
  static constexpr uint32_t kColours = Rgb ? 3 : 1;
  static constexpr bool kRgb = Rgb;
  static constexpr bool kWide = sizeof(T) == 2;
  static constexpr uint32_t kMax = sizeof(T) == 2 ? 65535u : 255u;
};

// Sets of formats an effect handles; the others are left untouched and
// Apply answers true.
enum Formats : uint32_t {
  kRgb8 = 1u << 0,   // RGB, 8 bits, 3 channels
  kRgba8 = 1u << 1,  // RGB, 8 bits, 4 channels
  kRgb16 = 1u << 2,
  kRgba16 = 1u << 3,
  kGray8 = 1u << 4,   // gray, 8 bits, 1 channel
  kGrayA8 = 1u << 5,  // gray, 8 bits, 2 channels
  kGray16 = 1u << 6,
  kGrayA16 = 1u << 7,
  kAnyRgb8 = kRgb8 | kRgba8,
  kAnyRgb = kRgb8 | kRgba8 | kRgb16 | kRgba16,
  kAnyGray = kGray8 | kGrayA8 | kGray16 | kGrayA16,
  kAny8 = kRgb8 | kRgba8 | kGray8 | kGrayA8,
  kRgbOrGray = kAnyRgb | kAnyGray,
};

// The format bit of a picture; 0 for indexed and packed formats.
uint32_t FormatOf(const mvPicture& p);

// Runs fn(Fmt<...>{}) for the picture's format when it is in `formats`;
// answers true without calling fn otherwise.
template <class Fn>
bool Dispatch(const mvPicture& p, uint32_t formats, Fn&& fn) {
  const uint32_t f = FormatOf(p) & formats;
  switch (f) {
    case kRgb8: return fn(Fmt<uint8_t, 3, true>{});
    case kRgba8: return fn(Fmt<uint8_t, 4, true>{});
    case kRgb16: return fn(Fmt<uint16_t, 3, true>{});
    case kRgba16: return fn(Fmt<uint16_t, 4, true>{});
    case kGray8: return fn(Fmt<uint8_t, 1, false>{});
    case kGrayA8: return fn(Fmt<uint8_t, 2, false>{});
    case kGray16: return fn(Fmt<uint16_t, 1, false>{});
    case kGrayA16: return fn(Fmt<uint16_t, 2, false>{});
    default: return true;
  }
}

template <class F>
const typename F::Sample* RowOf(const mvPicture& p, int32_t y) {
  return reinterpret_cast<const typename F::Sample*>(p.Row(y));
}
template <class F>
typename F::Sample* RowOf(mvPicture& p, int32_t y) {
  return reinterpret_cast<typename F::Sample*>(p.Row(y));
}
template <class F>
const typename F::Sample* PixelAt(const mvPicture& p, int32_t x, int32_t y) {
  return RowOf<F>(p, y) + static_cast<size_t>(x) * F::kChannels;
}
template <class F>
typename F::Sample* PixelAt(mvPicture& p, int32_t x, int32_t y) {
  return RowOf<F>(p, y) + static_cast<size_t>(x) * F::kChannels;
}

// ---- neighbours beyond the edges --------------------------------------------

// Seamless reads take the coordinate modulo the side (the non-negative
// remainder); the others stick to the nearest edge pixel. n must be > 0.
inline int32_t WrapIndex(int64_t c, int32_t n) {
  int64_t m = c % n;
  if (m < 0) m += n;
  return static_cast<int32_t>(m);
}
inline int32_t ClampIndex(int64_t c, int32_t n) { return c < 0 ? 0 : (c >= n ? n - 1 : static_cast<int32_t>(c)); }
inline int32_t EdgeIndex(int64_t c, int32_t n, bool wrap) { return wrap ? WrapIndex(c, n) : ClampIndex(c, n); }

// ---- scratch ------------------------------------------------------------------

// A heap array whose allocation failure is an answer, not an exception.
template <class T>
struct Buffer {
  std::unique_ptr<T[]> Data;
  int64_t Size = 0;
  bool Allocate(int64_t count) {
    if (count < 0 || static_cast<uint64_t>(count) > SIZE_MAX / sizeof(T)) return false;
    Data.reset(new (std::nothrow) T[static_cast<size_t>(count == 0 ? 1 : count)]);
    Size = Data ? count : 0;
    return Data != nullptr;
  }
  T& operator[](int64_t i) { return Data[static_cast<size_t>(i)]; }
  const T& operator[](int64_t i) const { return Data[static_cast<size_t>(i)]; }
  T* Get() { return Data.get(); }
  const T* Get() const { return Data.get(); }
};

// out[i] = EdgeIndex(from + i) for i = 0..count-1; false when out of memory.
bool IndexTable(Buffer<int32_t>& out, int64_t from, int64_t count, int32_t n, bool wrap);

// Window radii beyond the picture's larger side (at least 64, at most 16384)
// only repeat edge or wrapped pixels; the cap keeps a hostile radius from
// making a window whose size overflows or whose visit never ends.
int64_t LimitRadius(uint32_t radius, const mvPicture& p);

// Runs fn(std::integral_constant<size_t, N>{}) for a picture format of N
// bytes per pixel (indexed included), so whole-pixel copies compile to plain
// moves; false for a size no format has.
template <class Fn>
bool WithPixelBytes(uint32_t bytes, Fn&& fn) {
  switch (bytes) {
    case 1: return fn(std::integral_constant<size_t, 1>{});
    case 2: return fn(std::integral_constant<size_t, 2>{});
    case 3: return fn(std::integral_constant<size_t, 3>{});
    case 4: return fn(std::integral_constant<size_t, 4>{});
    case 6: return fn(std::integral_constant<size_t, 6>{});
    case 8: return fn(std::integral_constant<size_t, 8>{});
    default: return false;
  }
}

// ---- the frame ------------------------------------------------------------------

// How the frame treats the picture pair.
enum class Pair : uint8_t {
  Distinct,  // neighbours are read: source and target must be two pictures
  InPlace,   // each pixel reads only itself: one picture may be both
};

class Frame {
public:
  Frame(mvPicture& source, mvPicture& target, mvProgress* progress, Pair pair = Pair::Distinct)
      : Source(source), Target(target), Progress(progress), PairRule(pair) {}

  // Checks the pair (one size and format; distinct unless in place) and
  // clips the work area to the picture. False when Apply should answer at
  // once, with Answer(): false for a pair that does not fit, true for an
  // empty area.
  bool Begin();
  bool Answer() const { return Fits; }

  // SetMax(steps - 1) on the sink; steps of 0 announce nothing.
  void Announce(int64_t steps);

  // Runs band(first, last) over [0, steps) in bands fixed by the area's
  // size (pixelsPerStep: the pixels one step touches), and reports one
  // SetPos per finished step when announced. False when a band answered
  // false (out of memory) or the sink asked to stop; the bands already
  // written stay written.
  template <class Fn>
  bool ForSteps(int64_t steps, int64_t pixelsPerStep, Fn&& band) {
    const int64_t per = BandSteps(steps, pixelsPerStep);
    const int64_t bands = (steps + per - 1) / per;
    return RunBands(bands, [&](int64_t b) {
      const int64_t first = b * per, last = std::min(steps, first + per);
      if (!band(first, last)) return false;
      Finished(last - first);
      return true;
    });
  }

  // ForSteps over the area's rows, one step per row: band(top, bottom) in
  // picture rows.
  template <class Fn>
  bool ForRows(Fn&& band) {
    return ForSteps(Rows(), Cols(), [&](int64_t first, int64_t last) {
      return band(A.Top + static_cast<int32_t>(first), A.Top + static_cast<int32_t>(last));
    });
  }

  // Dispatch on the source's format.
  template <class Fn>
  bool Dispatch(uint32_t formats, Fn&& fn) const {
    return frame::Dispatch(Source, formats, std::forward<Fn>(fn));
  }

  // True once the sink has asked to stop (also between bands of effects
  // that announce no steps).
  bool Stopped() const;

  int32_t Rows() const { return A.Bottom - A.Top; }
  int32_t Cols() const { return A.Right - A.Left; }

  mvPicture& Source;
  mvPicture& Target;
  mvProgress* Progress;
  mvRect A;  // the clipped work area

  // Steps per band for `steps` steps of `pixelsPerStep` pixels: about 32k
  // pixels a band at least, 64 bands at most.
  static int64_t BandSteps(int64_t steps, int64_t pixelsPerStep);

private:
  bool RunBands(int64_t bands, const std::function<bool(int64_t)>& band);
  void Finished(int64_t steps);
  bool Report();

  Pair PairRule;
  bool Fits = false;
  bool Announced = false;
  bool StopSeen = false;
  std::atomic<int64_t> Done{0};
  int64_t Reported = 0;
};

}  // namespace frame

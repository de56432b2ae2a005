#include "effects/geometric/distortions.h"

#include <cmath>
#include <cstring>
#include <type_traits>

#include "core/sampler.h"
#include "effects/frame.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// ---- kaleidoscope ----------------------------------------------------------

// One row of the mirror average in format F (a frame::Fmt; with alpha, the
// colours are weighted by it), of four positions or, kDiagonal, eight.
// rowOf2 holds the diagonal row r2 for every column. The picture's rows are
// reached from locals and each pixel is put together before it is stored:
// stores of bytes may alias anything, which would reload them all.
template <class F, bool kDiagonal>
void KaleidoscopeRow(const mvPicture& src, typename F::Sample* out, const mvRect& a, int32_t r, const int32_t* rowOf2) {
  using T = typename F::Sample;
  using Acc = std::conditional_t<sizeof(T) == 1, uint32_t, uint64_t>;
  constexpr uint32_t ch = F::kChannels;
  constexpr uint32_t kCount = kDiagonal ? 8 : 4;
  constexpr unsigned kShift = kDiagonal ? 3 : 2;
  const uint8_t* const pixels = src.Pixels;
  const size_t stride = src.Stride;
  auto row = [&](int64_t y) { return reinterpret_cast<const T*>(pixels + static_cast<size_t>(y) * stride); };
  const int32_t w = a.Right - a.Left, h = a.Bottom - a.Top;
  const T* rowA = row(a.Top + r);
  const T* rowB = row(a.Top + h - 1 - r);
  // r < h, so r * w / h < w; the product needs 64 bits on wide pictures.
  const int32_t c2 = static_cast<int32_t>(static_cast<int64_t>(r) * w / h);
  const size_t c2a = static_cast<size_t>(a.Left + c2) * ch, c2b = static_cast<size_t>(a.Left + w - 1 - c2) * ch;
  for (int32_t c = 0; c < w; ++c, out += ch) {
    const size_t xa = static_cast<size_t>(a.Left + c) * ch, xb = static_cast<size_t>(a.Left + w - 1 - c) * ch;
    const T* at[8] = {rowA + xa, rowA + xb, rowB + xa, rowB + xb};
    if constexpr (kDiagonal) {
      const T* rowC = row(a.Top + rowOf2[c]);
      const T* rowD = row(a.Top + h - 1 - rowOf2[c]);
      at[4] = rowC + c2a;
      at[5] = rowC + c2b;
      at[6] = rowD + c2a;
      at[7] = rowD + c2b;
    }
    // The samples of every position, each pixel read whole.
    T v[kCount][ch];
    sampling::Unrolled<kCount>([&](uint32_t k) { std::memcpy(v[k], at[k], sizeof v[k]); });
    T px[ch];
    if constexpr (!F::kAlpha) {
      sampling::Unrolled<ch>([&](uint32_t s) {
        Acc sum = 0;
        sampling::Unrolled<kCount>([&](uint32_t k) { sum += v[k][s]; });
        px[s] = static_cast<T>(sum >> kShift);
      });
    } else {
      constexpr uint32_t ac = ch - 1;
      Acc alpha = 0;
      sampling::Unrolled<kCount>([&](uint32_t k) { alpha += v[k][ac]; });
      if (alpha == 0) {
        for (uint32_t s = 0; s < ch; ++s) px[s] = 0;
      } else {
        sampling::Unrolled<ac>([&](uint32_t s) {
          Acc sum = 0;
          sampling::Unrolled<kCount>([&](uint32_t k) { sum += static_cast<Acc>(v[k][s]) * v[k][ac]; });
          px[s] = static_cast<T>(sum / alpha);
        });
        px[ac] = static_cast<T>(alpha >> kShift);
      }
    }
    std::memcpy(out, px, sizeof px);
  }
}

}  // namespace

// ---- classes ---------------------------------------------------------------

const mvEffectClass& mvCylinderEffect::Describe() {
  static const mvEffectClass c =
      mvEffectClass::Make<mvCylinderEffect>(528, "mvCylinderEffect",
                                            {Field("Vertical", &mvCylinderEffect::Vertical)
                                                 .NonZeroIsOne()
                                                 .Range(0, 1)
                                                 .Help("0 bends the columns, 1 bends the rows")});
  return c;
}

const mvEffectClass& mvSwirlEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvSwirlEffect>(
      530, "mvSwirlEffect",
      {Field("Angle", &mvSwirlEffect::Angle).Help("twist at the centre in degrees; negative turns the other way")});
  return c;
}

const mvEffectClass& mvSineWaveEffect::Describe() {
  static const mvEffectClass c =
      mvEffectClass::Make<mvSineWaveEffect>(
          532, "mvSineWaveEffect",
          {Field("RowAmplitude", &mvSineWaveEffect::RowAmplitude).Help("horizontal shift amplitude in pixels"),
           Field("RowPeriod", &mvSineWaveEffect::RowPeriod).Help("period of the horizontal shift in rows; 0: none"),
           Field("ColumnAmplitude", &mvSineWaveEffect::ColumnAmplitude).Help("vertical shift amplitude in pixels"),
           Field("ColumnPeriod", &mvSineWaveEffect::ColumnPeriod)
               .Help("period of the vertical shift in columns; 0: none"),
           Field("Seamless", &mvSineWaveEffect::Seamless).Help("wrap around the edges (RGB 8-bit)")})
          .EmptyStreamKeepsValues();
  return c;
}

const mvEffectClass& mvKaleidoscopeEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvKaleidoscopeEffect>(
      535, "mvKaleidoscopeEffect",
      {Field("Diagonal", &mvKaleidoscopeEffect::Diagonal).Help("0: four mirror images; other values: eight")});
  return c;
}

void FillCylinderTable(double* table, int32_t n, int32_t offset) {
  // Kept as the angle of the point above the chord rather than a closed-form
  // arc cosine: the two differ in the last bit for some widths, and that can
  // move a sample.
  for (int32_t i = 0; i < n; ++i) {
    const double d = n / 2.0 - i;
    double theta;
    if (d == 0) {
      theta = kPi / 2;
    } else {
      theta = std::atan(std::sqrt(static_cast<double>(static_cast<int64_t>(i) * (n - i))) / d);
      if (theta < 0) theta += kPi;
    }
    table[i] = theta * n / kPi + offset;
  }
}

bool mvCylinderEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  frame::Frame f(source, target, progress);
  if (!f.Begin()) return f.Answer();
  const bool vertical = Vertical != 0;
  // Indexed pictures have no interpolating sampler and stay as they are.
  return f.Dispatch(frame::kRgbOrGray, [&](auto fmt) {
    using F = decltype(fmt);
    using T = typename F::Sample;
    const mvRect& a = f.A;
    const int32_t n = vertical ? f.Rows() : f.Cols();
    frame::Buffer<double> table;
    if (!table.Allocate(n)) return false;
    FillCylinderTable(table.Get(), n, vertical ? a.Top : a.Left);
    f.Announce(f.Rows());
    return f.ForRows([&](int32_t top, int32_t bottom) {
      for (int32_t y = top; y < bottom; ++y) {
        T* out = frame::PixelAt<F>(target, a.Left, y);
        if (vertical) {
          const double sy = table[y - a.Top];
          for (int32_t x = a.Left; x < a.Right; ++x, out += F::kChannels)
            sampling::Clamped<T, F::kChannels>(source, x, sy, out);
        } else {
          for (int32_t x = a.Left; x < a.Right; ++x, out += F::kChannels)
            sampling::Clamped<T, F::kChannels>(source, table[x - a.Left], y, out);
        }
      }
      return true;
    });
  });
}

bool mvSwirlEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  frame::Frame f(source, target, progress);
  if (!f.Begin()) return f.Answer();
  const mvRect& a = f.A;
  const int32_t w = f.Cols(), h = f.Rows();
  // The sums are formed in 64 bits: two clipped edges can exceed 32.
  const double cx = static_cast<double>(static_cast<int64_t>(a.Left) + a.Right - 1) / 2;
  const double cy = static_cast<double>(static_cast<int64_t>(a.Top) + a.Bottom - 1) / 2;
  const double rw = (w - 1) / 2.0, rh = (h - 1) / 2.0;
  const double R = rw > rh ? rw : rh;
  double sx = 1, sy = 1;
  if (h < w) sy = static_cast<double>(w) / h;
  if (w < h) sx = static_cast<double>(h) / w;
  const double A = Angle * kPi / 180;
  const double R2 = R * R;
  return f.Dispatch(frame::kRgbOrGray, [&](auto fmt) {
    using F = decltype(fmt);
    using T = typename F::Sample;
    f.Announce(h);
    return f.ForRows([&](int32_t top, int32_t bottom) {
      // Columns as far right of the centre as others are left of it have
      // the same distance, so the same turn: each cosine and sine serves
      // both, for half the calls.
      frame::Buffer<double> turn;
      if (!turn.Allocate(2 * int64_t{w})) return false;
      for (int32_t y = top; y < bottom; ++y) {
        const double dy = (y - cy) * sy;
        for (int32_t i = 0; i <= w - 1 - i; ++i) {
          const double dx = (a.Left + i - cx) * sx;
          // Also skips everything when R is 0 (one pixel wide or high), so
          // r / R below never divides by zero.
          if (dx * dx + dy * dy >= R2) continue;
          const double r = std::sqrt(dx * dx + dy * dy);
          const double t = 1 - r / R;
          const double phi = A * (t * t);
          turn[2 * i] = std::cos(phi);
          turn[2 * i + 1] = std::sin(phi);
        }
        T* out = frame::PixelAt<F>(target, a.Left, y);
        for (int32_t i = 0; i < w; ++i, out += F::kChannels) {
          const double dx = (a.Left + i - cx) * sx;
          if (dx * dx + dy * dy >= R2) continue;
          const int32_t m = std::min(i, w - 1 - i);
          const double c = turn[2 * m], s = turn[2 * m + 1];
          sampling::Clamped<T, F::kChannels>(source, (dx * c - dy * s) / sx + cx, (dx * s + dy * c) / sy + cy, out);
        }
      }
      return true;
    });
  });
}

namespace {

// Shift per position p = first .. first + count - 1: amplitude × sin(2π p /
// period) + |amplitude|, so never negative; all zero for period 0. The
// amplitude's magnitude is taken in floating point, where the most negative
// value has one.
void FillShiftTable(double* table, int32_t first, int32_t count, int32_t amplitude, int32_t period) {
  const double amp = amplitude;
  for (int32_t i = 0; i < count; ++i) {
    const int32_t p = first + i;
    table[i] = period == 0 ? 0.0 : amp * std::sin(2 * kPi * p / period) + std::fabs(amp);
  }
}

// The wrapping sampler truncates toward zero, so left of column 0 (and
// above row 0) it pairs the wrong columns: -0.5 reads between columns 0 and
// 1, not between the last and the first. The shifts only ever move reads to
// the left and up, so folding those positions into the picture first keeps
// the edges of a seamless texture continuous. Positions inside are passed on
// unchanged.
template <class T, uint32_t Ch>
inline void SampleWrapFolded(const mvPicture& p, double x, double y, T* out) {
  if (x < 0) x = std::fmod(x, p.Width) + p.Width;
  if (y < 0) y = std::fmod(y, p.Height) + p.Height;
  sampling::Wrapped<T, Ch>(p, x, y, out);
}

}  // namespace

bool mvSineWaveEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  frame::Frame f(source, target, progress);
  if (!f.Begin()) return f.Answer();
  const mvRect& a = f.A;
  const int32_t w = f.Cols(), h = f.Rows();
  return f.Dispatch(frame::kRgbOrGray, [&](auto fmt) {
    using F = decltype(fmt);
    using T = typename F::Sample;
    // Seamless waves wrap on 8-bit RGB; the other formats clamp.
    const bool wrap = Seamless && F::kRgb && !F::kWide;
    frame::Buffer<double> columnShift, rowShift;
    if (!columnShift.Allocate(w) || !rowShift.Allocate(h)) return false;
    FillShiftTable(columnShift.Get(), a.Left, w, ColumnAmplitude, ColumnPeriod);
    FillShiftTable(rowShift.Get(), a.Top, h, RowAmplitude, RowPeriod);
    f.Announce(h);
    return f.ForRows([&](int32_t top, int32_t bottom) {
      for (int32_t y = top; y < bottom; ++y) {
        T* out = frame::PixelAt<F>(target, a.Left, y);
        const double shiftX = rowShift[y - a.Top];
        for (int32_t x = a.Left; x < a.Right; ++x, out += F::kChannels) {
          const double sx = x - shiftX, sy = y - columnShift[x - a.Left];
          if (wrap) SampleWrapFolded<T, F::kChannels>(source, sx, sy, out);
          else sampling::Clamped<T, F::kChannels>(source, sx, sy, out);
        }
      }
      return true;
    });
  });
}

bool mvKaleidoscopeEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  frame::Frame f(source, target, progress);
  if (!f.Begin()) return f.Answer();
  const int32_t w = f.Cols(), h = f.Rows();
  // Averaging palette indices would give unrelated colours: indexed
  // pictures are not dispatched.
  return f.Dispatch(frame::kRgbOrGray, [&](auto fmt) {
    using F = decltype(fmt);
    frame::Buffer<int32_t> rowOf2;
    if (Diagonal != 0) {
      if (!rowOf2.Allocate(w)) return false;
      // c < w, so c * h / w < h.
      for (int32_t c = 0; c < w; ++c) rowOf2[c] = static_cast<int32_t>(static_cast<int64_t>(c) * h / w);
    }
    f.Announce(h);
    return f.ForRows([&](int32_t top, int32_t bottom) {
      for (int32_t y = top; y < bottom; ++y) {
        auto* out = frame::PixelAt<F>(target, f.A.Left, y);
        if (Diagonal != 0) KaleidoscopeRow<F, true>(source, out, f.A, y - f.A.Top, rowOf2.Get());
        else KaleidoscopeRow<F, false>(source, out, f.A, y - f.A.Top, nullptr);
      }
      return true;
    });
  });
}

void RegisterDistortionEffects(mvEffectRegistry& registry) {
  registry.Add(mvCylinderEffect::Describe());
  registry.Add(mvSwirlEffect::Describe());
  registry.Add(mvSineWaveEffect::Describe());
  registry.Add(mvKaleidoscopeEffect::Describe());
}

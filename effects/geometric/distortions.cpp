#include "effects/geometric/distortions.h"

#include <cmath>
#include <memory>
#include <new>
#include <type_traits>

#include "core/sampler.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// The working region, limited to the picture so that a stray rectangle
// cannot send reads or writes outside the buffers. False when it is empty.
bool Region(const mvPicture& p, mvRect& r) {
  r = p.Area();
  if (r.Left < 0) r.Left = 0;
  if (r.Top < 0) r.Top = 0;
  if (r.Right > p.Width) r.Right = p.Width;
  if (r.Bottom > p.Height) r.Bottom = p.Height;
  return r.Left < r.Right && r.Top < r.Bottom;
}

// Source and target must be distinct pictures of one size and format, or
// the row pointers of one would not fit the other.
bool SameShape(const mvPicture& a, const mvPicture& b) {
  return a.Pixels && b.Pixels && &a != &b && a.Width == b.Width && a.Height == b.Height &&
         a.ColorType == b.ColorType && a.BitDepth == b.BitDepth && a.Channels == b.Channels &&
         a.Stride == b.Stride;
}

inline uint8_t* PixelAt(mvPicture& p, int32_t x, int32_t y, uint32_t bpp) {
  return p.Row(y) + static_cast<size_t>(x) * bpp;
}

// Checks the stop request after a row.
inline bool RowDone(mvProgress* progress) { return !progress || progress->SetPos(progress->Pos + 1); }

template <class T>
std::unique_ptr<T[]> Table(int32_t n) {
  return std::unique_ptr<T[]>(new (std::nothrow) T[static_cast<size_t>(n)]);
}

// ---- kaleidoscope ----------------------------------------------------------

// One row of the mirror average. T is the sample type; kAlpha weights the
// colours by alpha. cols holds c2 and w - 1 - c2 for this row, rowOf2 the
// diagonal row r2 for every column (null for four positions).
template <class T, bool kAlpha>
void KaleidoscopeRow(const mvPicture& src, T* out, const mvRect& a, int32_t r, const int32_t* rowOf2) {
  using Acc = std::conditional_t<sizeof(T) == 1, uint32_t, uint64_t>;
  const uint32_t ch = src.Channels;
  const int32_t w = a.Right - a.Left, h = a.Bottom - a.Top;
  const int32_t count = rowOf2 ? 8 : 4;
  const unsigned shift = rowOf2 ? 3 : 2;
  const T* rowA = reinterpret_cast<const T*>(src.Row(a.Top + r));
  const T* rowB = reinterpret_cast<const T*>(src.Row(a.Top + h - 1 - r));
  // r < h, so r * w / h < w; the product needs 64 bits on wide pictures.
  const int32_t c2 = static_cast<int32_t>(static_cast<int64_t>(r) * w / h);
  const size_t c2a = static_cast<size_t>(a.Left + c2) * ch, c2b = static_cast<size_t>(a.Left + w - 1 - c2) * ch;
  const T* at[8];
  for (int32_t c = 0; c < w; ++c, out += ch) {
    const size_t xa = static_cast<size_t>(a.Left + c) * ch, xb = static_cast<size_t>(a.Left + w - 1 - c) * ch;
    at[0] = rowA + xa;
    at[1] = rowA + xb;
    at[2] = rowB + xa;
    at[3] = rowB + xb;
    if (rowOf2) {
      const T* rowC = reinterpret_cast<const T*>(src.Row(a.Top + rowOf2[c]));
      const T* rowD = reinterpret_cast<const T*>(src.Row(a.Top + h - 1 - rowOf2[c]));
      at[4] = rowC + c2a;
      at[5] = rowC + c2b;
      at[6] = rowD + c2a;
      at[7] = rowD + c2b;
    }
    if constexpr (!kAlpha) {
      for (uint32_t s = 0; s < ch; ++s) {
        Acc sum = 0;
        for (int32_t k = 0; k < count; ++k) sum += at[k][s];
        out[s] = static_cast<T>(sum >> shift);
      }
    } else {
      const uint32_t ac = ch - 1;
      Acc alpha = 0;
      for (int32_t k = 0; k < count; ++k) alpha += at[k][ac];
      if (alpha == 0) {
        for (uint32_t s = 0; s < ch; ++s) out[s] = 0;
        continue;
      }
      for (uint32_t s = 0; s < ac; ++s) {
        Acc sum = 0;
        for (int32_t k = 0; k < count; ++k) sum += static_cast<Acc>(at[k][s]) * at[k][ac];
        out[s] = static_cast<T>(sum / alpha);
      }
      out[ac] = static_cast<T>(alpha >> shift);
    }
  }
}

template <class T, bool kAlpha>
bool Kaleidoscope(const mvPicture& src, mvPicture& dst, const mvRect& a, const int32_t* rowOf2,
                  mvProgress* progress) {
  const uint32_t bpp = src.BytesPerPixel();
  for (int32_t r = 0; r < a.Bottom - a.Top; ++r) {
    T* out = reinterpret_cast<T*>(PixelAt(dst, a.Left, a.Top + r, bpp));
    KaleidoscopeRow<T, kAlpha>(src, out, a, r, rowOf2);
    if (!RowDone(progress)) return false;
  }
  return true;
}

}  // namespace

// ---- classes ---------------------------------------------------------------

const mvEffectClass& mvCylinderEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvCylinderEffect>(
      528, "mvCylinderEffect",
      {Field("Vertical", &mvCylinderEffect::Vertical)
           .NonZeroIsOne()
           .Range(0, 1)
           .Describe("0 bends the columns, 1 bends the rows")});
  return c;
}

const mvEffectClass& mvSwirlEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvSwirlEffect>(
      530, "mvSwirlEffect",
      {Field("Angle", &mvSwirlEffect::Angle).Describe("twist at the centre in degrees; negative turns the other way")});
  return c;
}

const mvEffectClass& mvSineWaveEffect::Describe() {
  static const mvEffectClass c =
      mvEffectClass::Make<mvSineWaveEffect>(
          532, "mvSineWaveEffect",
          {Field("RowAmplitude", &mvSineWaveEffect::RowAmplitude).Describe("horizontal shift amplitude in pixels"),
           Field("RowPeriod", &mvSineWaveEffect::RowPeriod).Describe("period of the horizontal shift in rows; 0: none"),
           Field("ColumnAmplitude", &mvSineWaveEffect::ColumnAmplitude)
               .Describe("vertical shift amplitude in pixels"),
           Field("ColumnPeriod", &mvSineWaveEffect::ColumnPeriod)
               .Describe("period of the vertical shift in columns; 0: none"),
           Field("Seamless", &mvSineWaveEffect::Seamless).Describe("wrap around the edges (RGB 8-bit)")})
          .EmptyStreamKeepsValues();
  return c;
}

const mvEffectClass& mvKaleidoscopeEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvKaleidoscopeEffect>(
      535, "mvKaleidoscopeEffect",
      {Field("Diagonal", &mvKaleidoscopeEffect::Diagonal).Describe("0: four mirror images; other values: eight")});
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
  mvRect a;
  if (!SameShape(source, target)) return false;
  const mvSampler sample = GetSampler(source.ColorType, source.BitDepth, source.Channels);
  if (!sample || !Region(source, a)) return true;
  const bool vertical = Vertical != 0;
  const int32_t n = vertical ? a.Bottom - a.Top : a.Right - a.Left;
  std::unique_ptr<double[]> table = Table<double>(n);
  if (!table) return false;
  FillCylinderTable(table.get(), n, vertical ? a.Top : a.Left);
  const uint32_t bpp = source.BytesPerPixel();
  if (progress) progress->SetMax(static_cast<uint32_t>(a.Bottom - a.Top - 1));
  for (int32_t y = a.Top; y < a.Bottom; ++y) {
    uint8_t* out = PixelAt(target, a.Left, y, bpp);
    if (vertical) {
      const double sy = table[y - a.Top];
      for (int32_t x = a.Left; x < a.Right; ++x, out += bpp) sample(source, x, sy, out);
    } else {
      for (int32_t x = a.Left; x < a.Right; ++x, out += bpp) sample(source, table[x - a.Left], y, out);
    }
    if (!RowDone(progress)) return false;
  }
  return true;
}

bool mvSwirlEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  mvRect a;
  if (!SameShape(source, target)) return false;
  const mvSampler sample = GetSampler(source.ColorType, source.BitDepth, source.Channels);
  if (!sample || !Region(source, a)) return true;
  const int32_t w = a.Right - a.Left, h = a.Bottom - a.Top;
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
  const uint32_t bpp = source.BytesPerPixel();
  if (progress) progress->SetMax(static_cast<uint32_t>(h - 1));
  for (int32_t y = a.Top; y < a.Bottom; ++y) {
    uint8_t* out = PixelAt(target, a.Left, y, bpp);
    const double dy = (y - cy) * sy;
    for (int32_t x = a.Left; x < a.Right; ++x, out += bpp) {
      const double dx = (x - cx) * sx;
      // Also skips everything when R is 0 (one pixel wide or high), so r / R
      // below never divides by zero.
      if (dx * dx + dy * dy >= R2) continue;
      const double r = std::sqrt(dx * dx + dy * dy);
      const double t = 1 - r / R;
      const double phi = A * (t * t);
      const double c = std::cos(phi), s = std::sin(phi);
      sample(source, (dx * c - dy * s) / sx + cx, (dx * s + dy * c) / sy + cy, out);
    }
    if (!RowDone(progress)) return false;
  }
  return true;
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
bool SampleWrapFolded(const mvPicture& p, double x, double y, void* target) {
  if (x < 0) x = std::fmod(x, p.Width) + p.Width;
  if (y < 0) y = std::fmod(y, p.Height) + p.Height;
  return SampleBilinearWrap(p, x, y, target);
}

}  // namespace

bool mvSineWaveEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  mvRect a;
  if (!SameShape(source, target)) return false;
  mvSampler sample = GetSampler(source.ColorType, source.BitDepth, source.Channels);
  if (!sample || !Region(source, a)) return true;
  if (Seamless && source.ColorType == ColorTypeRGB && source.BitDepth == 8 &&
      (source.Channels == 3 || source.Channels == 4))
    sample = &SampleWrapFolded;
  const int32_t w = a.Right - a.Left, h = a.Bottom - a.Top;
  std::unique_ptr<double[]> columnShift = Table<double>(w);
  std::unique_ptr<double[]> rowShift = Table<double>(h);
  if (!columnShift || !rowShift) return false;
  FillShiftTable(columnShift.get(), a.Left, w, ColumnAmplitude, ColumnPeriod);
  FillShiftTable(rowShift.get(), a.Top, h, RowAmplitude, RowPeriod);
  const uint32_t bpp = source.BytesPerPixel();
  if (progress) progress->SetMax(static_cast<uint32_t>(h - 1));
  for (int32_t y = a.Top; y < a.Bottom; ++y) {
    uint8_t* out = PixelAt(target, a.Left, y, bpp);
    const double shiftX = rowShift[y - a.Top];
    for (int32_t x = a.Left; x < a.Right; ++x, out += bpp)
      sample(source, x - shiftX, y - columnShift[x - a.Left], out);
    if (!RowDone(progress)) return false;
  }
  return true;
}

bool mvKaleidoscopeEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  mvRect a;
  if (!SameShape(source, target)) return false;
  // Averaging palette indices would give unrelated colours.
  if (source.ColorType == ColorTypeIndexed || !Region(source, a)) return true;
  const int32_t w = a.Right - a.Left, h = a.Bottom - a.Top;
  std::unique_ptr<int32_t[]> rowOf2;
  if (Diagonal != 0) {
    rowOf2 = Table<int32_t>(w);
    if (!rowOf2) return false;
    // c < w, so c * h / w < h.
    for (int32_t c = 0; c < w; ++c) rowOf2[c] = static_cast<int32_t>(static_cast<int64_t>(c) * h / w);
  }
  if (progress) progress->SetMax(static_cast<uint32_t>(h - 1));
  const bool alpha = source.HasAlpha();
  if (source.BitDepth == 16)
    return alpha ? Kaleidoscope<uint16_t, true>(source, target, a, rowOf2.get(), progress)
                 : Kaleidoscope<uint16_t, false>(source, target, a, rowOf2.get(), progress);
  return alpha ? Kaleidoscope<uint8_t, true>(source, target, a, rowOf2.get(), progress)
               : Kaleidoscope<uint8_t, false>(source, target, a, rowOf2.get(), progress);
}

void RegisterDistortionEffects(mvEffectRegistry& registry) {
  registry.Add(mvCylinderEffect::Describe());
  registry.Add(mvSwirlEffect::Describe());
  registry.Add(mvSineWaveEffect::Describe());
  registry.Add(mvKaleidoscopeEffect::Describe());
}

#include "effects/render/patterns.h"

#include <algorithm>
#include <cmath>

#include "core/random.h"
#include "effects/render/paint.h"

using render::ByDepth;
using render::ClipArea;
using render::ColorOver;
using render::PaintColor;
using render::SameLayout;
using render::ToPictureColor;

namespace {

// Where the patterns paint: the clipped area and the pixel layout.
struct Canvas {
  mvRect A;
  uint32_t Colours = 3;
  uint32_t Channels = 4;
  bool HasAlpha = true;
};

bool Prepare(const mvPicture& source, const mvPicture& target, bool rgbOnly, Canvas& c) {
  if (!SameLayout(source, target) || !render::IsPaintable(target)) return false;
  if (rgbOnly && target.ColorType != ColorTypeRGB) return false;
  c.Colours = target.ColorType == ColorTypeGray ? 1 : 3;
  c.Channels = target.Channels;
  if (c.Channels != c.Colours && c.Channels != c.Colours + 1) return false;
  c.HasAlpha = c.Channels == c.Colours + 1;
  return ClipArea(source, c.A);
}

// Colour-over on pixels [x0, x1) of row y, reading the source row and
// writing the destination row (the random dots pass the same picture twice).
template <class T, uint32_t Max>
void OverSpan(const mvPicture& source, mvPicture& target, const Canvas& cv, int32_t y, int64_t x0, int64_t x1,
              const PaintColor& c, uint64_t alpha) {
  const T* s = reinterpret_cast<const T*>(source.Row(y)) + static_cast<size_t>(x0) * cv.Channels;
  T* d = reinterpret_cast<T*>(target.Row(y)) + static_cast<size_t>(x0) * cv.Channels;
  for (int64_t x = x0; x < x1; ++x, s += cv.Channels, d += cv.Channels)
    ColorOver<T, Max>(s, d, cv.Colours, cv.HasAlpha, c.S, alpha);
}

// Calls fn(a, b) for every run [a, b) of `width` pixels starting at
// start + k * pitch (k = 0, 1, ...) clipped to [lo, hi). Runs wholly before
// lo are skipped arithmetically, so far-away offsets cost nothing.
template <class Fn>
void ForEachRun(int64_t start, int64_t width, int64_t pitch, int64_t lo, int64_t hi, Fn&& fn) {
  if (width < 1 || pitch < 1) return;
  if (start + width <= lo) start += ((lo - (start + width)) / pitch + 1) * pitch;
  for (int64_t a = start; a < hi; a += pitch) {
    const int64_t b = std::min(a + width, hi);
    const int64_t from = std::max(a, lo);
    if (from < b) fn(from, b);
  }
}

}  // namespace

// ---- checker -----------------------------------------------------------------

const mvEffectClass& mvCheckerEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvCheckerEffect>(
      137, "mvCheckerEffect",
      {Field("Color1", &mvCheckerEffect::Color1).Describe("colour of the top-left cell"),
       Field("Color2", &mvCheckerEffect::Color2).Describe("colour of the other cells"),
       Field("CellWidth", &mvCheckerEffect::CellWidth).Describe("cell width in pixels"),
       Field("CellHeight", &mvCheckerEffect::CellHeight).Describe("cell height in pixels")});
  return c;
}

bool mvCheckerEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  Canvas cv;
  if (!Prepare(source, target, false, cv)) return true;
  const PaintColor c1 = ToPictureColor(target, Color1);
  const PaintColor c2 = ToPictureColor(target, Color2);
  if (!c1.Ok || !c2.Ok) return true;
  // Cells narrower than a pixel cannot exist; they are taken as one pixel.
  const int64_t cw = std::max<int64_t>(CellWidth, 1);
  const int64_t ch = std::max<int64_t>(CellHeight, 1);
  const int32_t H = cv.A.Bottom - cv.A.Top;
  bool ok = true;
  ByDepth(target.BitDepth, [&]<class T, uint32_t Max>() {
    if (progress) progress->SetMax(static_cast<uint32_t>((H - 1) / ch));
    for (int64_t cellTop = cv.A.Top, row = 0; cellTop < cv.A.Bottom; cellTop += ch, ++row) {
      const int64_t cellBottom = std::min<int64_t>(cellTop + ch, cv.A.Bottom);
      for (int64_t y = cellTop; y < cellBottom; ++y) {
        int64_t col = 0;
        ForEachRun(cv.A.Left, cw, cw, cv.A.Left, cv.A.Right, [&](int64_t a, int64_t b) {
          const PaintColor& c = ((row + col) & 1) == 0 ? c1 : c2;
          OverSpan<T, Max>(source, target, cv, static_cast<int32_t>(y), a, b, c, c.Alpha);
          ++col;
        });
      }
      if (progress && !progress->SetPos(progress->Pos + 1)) {
        ok = false;
        return;
      }
    }
  });
  return ok;
}

// ---- parallel lines --------------------------------------------------------------

const mvEffectClass& mvParallelLinesEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvParallelLinesEffect>(
      135, "mvParallelLinesEffect",
      {Field("Color", &mvParallelLinesEffect::Color).Describe("stripe colour"),
       Field("Vertical", &mvParallelLinesEffect::Vertical).Describe("non-zero: vertical stripes"),
       Field("LineWidth", &mvParallelLinesEffect::LineWidth).Describe("stripe thickness"),
       Field("Gap", &mvParallelLinesEffect::Gap).Describe("space between stripes"),
       Field("Offset", &mvParallelLinesEffect::Offset).Describe("position of the first stripe")});
  return c;
}

bool mvParallelLinesEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  Canvas cv;
  if (!Prepare(source, target, false, cv)) return true;
  const PaintColor c = ToPictureColor(target, Color);
  if (!c.Ok) return true;
  // Stripes thinner than a pixel paint nothing; a negative gap would make
  // stripes run backwards, so it counts as no gap.
  const int64_t width = LineWidth;
  if (width < 1) return true;
  const int64_t pitch = width + std::max<int64_t>(Gap, 0);
  const int64_t H = cv.A.Bottom - cv.A.Top;
  bool ok = true;
  ByDepth(target.BitDepth, [&]<class T, uint32_t Max>() {
    if (Vertical != 0) {
      if (progress) progress->SetMax(static_cast<uint32_t>(H - 1));
      for (int32_t y = cv.A.Top; y < cv.A.Bottom; ++y) {
        ForEachRun(int64_t{cv.A.Left} + Offset, width, pitch, cv.A.Left, cv.A.Right,
                   [&](int64_t a, int64_t b) { OverSpan<T, Max>(source, target, cv, y, a, b, c, c.Alpha); });
        if (progress && !progress->SetPos(progress->Pos + 1)) {
          ok = false;
          return;
        }
      }
      return;
    }
    if (progress) {
      const int64_t last = (H - Offset - 1) / pitch;
      progress->SetMax(static_cast<uint32_t>(std::clamp<int64_t>(last, 0, 0xFFFFFFFF)));
    }
    ForEachRun(int64_t{cv.A.Top} + Offset, width, pitch, cv.A.Top, cv.A.Bottom, [&](int64_t a, int64_t b) {
      if (!ok) return;
      for (int64_t y = a; y < b; ++y)
        OverSpan<T, Max>(source, target, cv, static_cast<int32_t>(y), cv.A.Left, cv.A.Right, c, c.Alpha);
      if (progress && !progress->SetPos(progress->Pos + 1)) ok = false;
    });
  });
  return ok;
}

// ---- grid ------------------------------------------------------------------------

const mvEffectClass& mvGridEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvGridEffect>(
      136, "mvGridEffect",
      {Field("Color", &mvGridEffect::Color).Describe("line colour"),
       Field("LineWidth", &mvGridEffect::LineWidth).Describe("line thickness"),
       Field("CellWidth", &mvGridEffect::CellWidth).Describe("space between vertical lines"),
       Field("CellHeight", &mvGridEffect::CellHeight).Describe("space between horizontal lines"),
       Field("OffsetX", &mvGridEffect::OffsetX).Describe("position of the first vertical line"),
       Field("OffsetY", &mvGridEffect::OffsetY).Describe("rows above the first horizontal line")});
  return c;
}

bool mvGridEffect::Apply(mvPicture& source, mvPicture& target, mvProgress*) {
  Canvas cv;
  if (!Prepare(source, target, false, cv)) return true;
  const PaintColor c = ToPictureColor(target, Color);
  if (!c.Ok) return true;
  const int64_t width = LineWidth;
  if (width < 1) return true;  // lines thinner than a pixel paint nothing
  // Negative cell sizes count as 0 (lines touching), negative leading rows as none.
  const int64_t pitchX = width + std::max<int64_t>(CellWidth, 0);
  const int64_t pitchY = width + std::max<int64_t>(CellHeight, 0);
  const int64_t leading = std::max<int64_t>(OffsetY, 0);
  ByDepth(target.BitDepth, [&]<class T, uint32_t Max>() {
    for (int32_t y = cv.A.Top; y < cv.A.Bottom; ++y) {
      const int64_t rel = int64_t{y} - cv.A.Top;
      if (rel >= leading && (rel - leading) % pitchY < width) {
        OverSpan<T, Max>(source, target, cv, y, cv.A.Left, cv.A.Right, c, c.Alpha);
        continue;
      }
      ForEachRun(int64_t{cv.A.Left} + OffsetX, width, pitchX, cv.A.Left, cv.A.Right,
                 [&](int64_t a, int64_t b) { OverSpan<T, Max>(source, target, cv, y, a, b, c, c.Alpha); });
    }
  });
  return true;
}

// ---- dots ------------------------------------------------------------------------

const mvEffectClass& mvDotsEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvDotsEffect>(
      133, "mvDotsEffect",
      {Field("Color", &mvDotsEffect::Color).Describe("dot colour"),
       Field("Square", &mvDotsEffect::Square).Describe("non-zero: square dots"),
       Field("DotSize", &mvDotsEffect::DotSize).Describe("dot diameter in pixels"),
       Field("Gap", &mvDotsEffect::Gap).Describe("space between dots"),
       Field("OffsetX", &mvDotsEffect::OffsetX).Describe("left of the first dot's box"),
       Field("OffsetY", &mvDotsEffect::OffsetY).Describe("top of the first dot's box"),
       Field("Staggered", &mvDotsEffect::Staggered).Describe("non-zero: every second row shifted by half a pitch"),
       Field("Antialias", &mvDotsEffect::Antialias).Describe("soft edge on round dots")});
  return c;
}

namespace {

// One lattice dot: box at (bx, by), size D, clipped to the area.
template <class T, uint32_t Max>
void PaintDot(const mvPicture& source, mvPicture& target, const Canvas& cv, int64_t bx, int64_t by, int64_t size,
              bool square, bool antialias, const PaintColor& c) {
  const int64_t x0 = std::max<int64_t>(bx, cv.A.Left), x1 = std::min<int64_t>(bx + size, cv.A.Right);
  const int64_t y0 = std::max<int64_t>(by, cv.A.Top), y1 = std::min<int64_t>(by + size, cv.A.Bottom);
  if (x0 >= x1 || y0 >= y1) return;
  if (square) {
    for (int64_t y = y0; y < y1; ++y) OverSpan<T, Max>(source, target, cv, static_cast<int32_t>(y), x0, x1, c, c.Alpha);
    return;
  }
  const double centre = static_cast<double>(size - 1) / 2;
  const double outer = centre + 0.5;
  for (int64_t y = y0; y < y1; ++y) {
    const T* s = reinterpret_cast<const T*>(source.Row(static_cast<int32_t>(y))) + static_cast<size_t>(x0) * cv.Channels;
    T* d = reinterpret_cast<T*>(target.Row(static_cast<int32_t>(y))) + static_cast<size_t>(x0) * cv.Channels;
    const double dy = static_cast<double>(y - by) - centre;
    for (int64_t x = x0; x < x1; ++x, s += cv.Channels, d += cv.Channels) {
      const double dx = static_cast<double>(x - bx) - centre;
      const double d2 = dx * dx + dy * dy;
      if (!antialias) {
        if (d2 < centre * centre + 0.5) ColorOver<T, Max>(s, d, cv.Colours, cv.HasAlpha, c.S, c.Alpha);
        continue;
      }
      const double dist = std::sqrt(d2);
      if (dist >= outer) continue;
      uint64_t a = c.Alpha;
      // The rim fades with the distance past the solid core.
      if (dist > centre - 0.5) a = static_cast<uint64_t>(static_cast<double>(c.Alpha) * (outer - dist));
      ColorOver<T, Max>(s, d, cv.Colours, cv.HasAlpha, c.S, a);
    }
  }
}

}  // namespace

bool mvDotsEffect::Apply(mvPicture& source, mvPicture& target, mvProgress*) {
  Canvas cv;
  if (!Prepare(source, target, true, cv)) return true;
  const PaintColor c = ToPictureColor(target, Color);
  if (!c.Ok) return true;
  // Dots smaller than a pixel paint nothing; a lattice whose pitch is not
  // positive would never advance, so it paints nothing either.
  const int64_t size = DotSize;
  const int64_t gap = Gap;
  const int64_t pitch = size + gap;
  if (size < 1 || pitch < 1) return true;
  const bool square = Square != 0 || size < 3;
  const int64_t left = cv.A.Left, top = cv.A.Top;
  ByDepth(target.BitDepth, [&]<class T, uint32_t Max>() {
    auto paintRow = [&](int64_t y, int64_t xStart) {
      // Boxes wholly left of the area are skipped arithmetically.
      int64_t x = xStart;
      if (x + size <= left) x += ((left - (x + size)) / pitch + 1) * pitch;
      for (; x < cv.A.Right; x += pitch) PaintDot<T, Max>(source, target, cv, x, y, size, square, Antialias, c);
    };
    if (Staggered == 0) {
      int64_t y = top + OffsetY;
      if (y + size <= top) y += ((top - (y + size)) / pitch + 1) * pitch;
      for (; y < cv.A.Bottom; y += pitch) paintRow(y, left + OffsetX);
      return;
    }
    // Staggered rows advance about half a pitch each: row j sits at
    // y0 + j * size + ((gap - size) * j) / 2. Rows wholly above the area are
    // skipped by a safe lower bound on their index.
    const int64_t y0 = top + OffsetY;
    int64_t j = 0;
    if (y0 + size < top) j = std::max<int64_t>(0, 2 * (top - y0 - size - 2) / pitch - 1);
    for (;; ++j) {
      const int64_t y = y0 + j * size + ((gap - size) * j) / 2;
      if (y >= cv.A.Bottom) break;
      if (y + size <= top) continue;
      const int64_t xStart = (j & 1) == 0 ? left + OffsetX : left + OffsetX + size + (gap - size) / 2;
      paintRow(y, xStart);
    }
  });
  return true;
}

// ---- random dots ---------------------------------------------------------------

const mvEffectClass& mvRandomDotsEffect::Describe() {
  static const mvEffectClass c =
      mvEffectClass::Make<mvRandomDotsEffect>(
          134, "mvRandomDotsEffect",
          {Field("Square", &mvRandomDotsEffect::Square).Describe("non-zero: square dots"),
           Field("Color", &mvRandomDotsEffect::Color).Describe("dot colour"),
           Field("AlphaVariation", &mvRandomDotsEffect::AlphaVariation).Describe("alpha varies by up to this either way"),
           Field("DotSize", &mvRandomDotsEffect::DotSize).Describe("nominal dot diameter"),
           Field("SizeVariation", &mvRandomDotsEffect::SizeVariation).Describe("size varies by up to this either way"),
           Field("Density", &mvRandomDotsEffect::Density).Describe("dots per 100 * DotSize^2 positions"),
           Field("Seed", &mvRandomDotsEffect::Seed).Describe("seed of the placement sequence"),
           Field("Seamless", &mvRandomDotsEffect::Seamless).Flag(0).Describe("dots wrap around the edges"),
           Field("Spare", &mvRandomDotsEffect::Spare).Flag(1).Describe("kept, not used")})
          .InStreamOrder({"Color", "Square", "AlphaVariation", "DotSize", "SizeVariation", "Density", "Seed",
                          "Seamless", "Spare"});
  return c;
}

namespace {

// The largest dot size whose draw bound 100 * size^2 fits an unsigned word.
constexpr int64_t kMaxRandomDotSize = 6553;

}  // namespace

bool mvRandomDotsEffect::Apply(mvPicture& source, mvPicture& target, mvProgress*) {
  Canvas cv;
  if (!Prepare(source, target, true, cv) || target.BitDepth != 8) return true;
  const PaintColor c = ToPictureColor(target, Color);
  if (!c.Ok) return true;
  SharedRandom.Seed(static_cast<uint32_t>(Seed));
  // A dot size outside 1 .. 6553 has no draw bound that fits 32 bits (and a
  // size below 1 no dot); nothing is placed.
  const int64_t size = DotSize;
  if (size < 1 || size > kMaxRandomDotSize) return true;
  const uint32_t bound = static_cast<uint32_t>(100 * size * size);
  // Negative variations count as none (no draw), like a zero. More than ten
  // coats of dots, or sizes varying by more than ten dot sizes, only paint
  // the same pixels over and over (the cost grew with the square of the
  // picture); generated textures stay within both.
  const int64_t sizeVar = std::min<int64_t>(std::max<int32_t>(SizeVariation, 0), 10 * size);
  const int64_t density = std::min<int64_t>(Density, 1000);
  const int64_t alphaVar = std::max<int32_t>(AlphaVariation, 0);
  const int64_t W = target.Width, H = target.Height;
  const int64_t left = cv.A.Left, top = cv.A.Top, right = cv.A.Right, bottom = cv.A.Bottom;
  // Candidates cover the area plus one dot above and to the left of it; a
  // dot wider than the picture counts as one picture side there, so the
  // work stays bounded by the picture whatever DotSize says.
  const int64_t yFrom = Seamless ? 0 : top - std::min(size, H) + 1;
  const int64_t xFrom = Seamless ? 0 : left - std::min(size, W) + 1;
  const uint32_t ch = cv.Channels;

  auto paint = [&](int64_t bx, int64_t by, int64_t s, uint64_t alpha) {
    const bool square = Square != 0 || s < 3;
    const double centre = static_cast<double>(s - 1) / 2;
    const double limit = centre * centre + 0.5;
    // A box larger than the picture would wrap onto itself; it is limited to
    // one picture side in seamless mode, to the area otherwise.
    int64_t i0 = 0, i1 = s, j0 = 0, j1 = s;
    if (Seamless) {
      i1 = std::min(s, W);
      j1 = std::min(s, H);
    } else {
      i0 = std::max<int64_t>(0, left - bx);
      i1 = std::min(s, right - bx);
      j0 = std::max<int64_t>(0, top - by);
      j1 = std::min(s, bottom - by);
    }
    for (int64_t j = j0; j < j1; ++j) {
      const int64_t y = Seamless ? (by + j) % H : by + j;
      uint8_t* row = target.Row(static_cast<int32_t>(y));
      for (int64_t i = i0; i < i1; ++i) {
        if (!square) {
          const double dx = static_cast<double>(i) - centre, dy = static_cast<double>(j) - centre;
          if (!(dx * dx + dy * dy < limit)) continue;
        }
        const int64_t x = Seamless ? (bx + i) % W : bx + i;
        uint8_t* p = row + static_cast<size_t>(x) * ch;
        ColorOver<uint8_t, 255>(p, p, cv.Colours, cv.HasAlpha, c.S, alpha);
      }
    }
  };

  for (int64_t y = yFrom; y < bottom; ++y) {
    for (int64_t x = xFrom; x < right; ++x) {
      const uint32_t r = SharedRandom.NextInt(bound);
      if (int64_t{r} >= density) continue;
      int64_t s = size;
      if (sizeVar != 0) {
        s += int64_t{SharedRandom.NextInt(static_cast<uint32_t>(2 * sizeVar + 1))} - sizeVar;
        if (s < 1) s = 1;
      }
      int64_t alpha = c.Alpha;
      if (alphaVar != 0) {
        alpha = alpha - alphaVar + int64_t{SharedRandom.NextInt(static_cast<uint32_t>(2 * alphaVar + 1))};
        alpha = std::clamp<int64_t>(alpha, 1, 255);
      }
      if (x + s > left && y + s > top) paint(x, y, s, static_cast<uint64_t>(alpha));
    }
  }
  return true;
}

void RegisterPatternEffects(mvEffectRegistry& registry) {
  registry.Add(mvDotsEffect::Describe());
  registry.Add(mvRandomDotsEffect::Describe());
  registry.Add(mvParallelLinesEffect::Describe());
  registry.Add(mvGridEffect::Describe());
  registry.Add(mvCheckerEffect::Describe());
}

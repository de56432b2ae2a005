#include "effects/render/patterns.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/parallel.h"
#include "core/random.h"
#include "effects/frame.h"
#include "effects/render/paint.h"

using render::ColorOver;
using render::PaintColor;
using render::ToPictureColor;

namespace {

// Colour-over on pixels [x0, x1) of row y, reading the source row and
// writing the target row.
template <class F>
void OverSpan(const mvPicture& source, mvPicture& target, int32_t y, int64_t x0, int64_t x1, const PaintColor& c,
              uint64_t alpha) {
  const auto* s = frame::PixelAt<F>(source, static_cast<int32_t>(x0), y);
  auto* d = frame::PixelAt<F>(target, static_cast<int32_t>(x0), y);
  if (alpha == F::kMax) {
    render::FillSpan<F>(d, x1 - x0, c.S);
    return;
  }
  for (int64_t x = x0; x < x1; ++x, s += F::kChannels, d += F::kChannels) ColorOver<F>(s, d, c.S, alpha);
}

// The first of the runs [start + k * pitch, + width) (k = 0, 1, ...) that
// ends after lo: runs wholly before lo are skipped arithmetically, so
// far-away offsets cost nothing.
inline int64_t FirstRun(int64_t start, int64_t width, int64_t pitch, int64_t lo) {
  if (start + width <= lo) start += ((lo - (start + width)) / pitch + 1) * pitch;
  return start;
}

// Calls fn(a, b) for every run [a, b) of `width` pixels starting at
// start + k * pitch (k = 0, 1, ...) clipped to [lo, hi).
template <class Fn>
void ForEachRun(int64_t start, int64_t width, int64_t pitch, int64_t lo, int64_t hi, Fn&& fn) {
  if (width < 1 || pitch < 1) return;
  for (int64_t a = FirstRun(start, width, pitch, lo); a < hi; a += pitch) {
    const int64_t b = std::min(a + width, hi);
    const int64_t from = std::max(a, lo);
    if (from < b) fn(from, b);
  }
}

// The paint colour in the target's form, or one colour that has none (the
// picture is then left as it is).
inline bool Colour(const mvPicture& p, const mvColor& c, PaintColor& out) {
  out = ToPictureColor(p, c);
  return out.Ok;
}

}  // namespace

// ---- checker -----------------------------------------------------------------

const mvEffectClass& mvCheckerEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvCheckerEffect>(
      137, "mvCheckerEffect",
      {Field("Color1", &mvCheckerEffect::Color1).Help("colour of the top-left cell"),
       Field("Color2", &mvCheckerEffect::Color2).Help("colour of the other cells"),
       Field("CellWidth", &mvCheckerEffect::CellWidth).Help("cell width in pixels"),
       Field("CellHeight", &mvCheckerEffect::CellHeight).Help("cell height in pixels")});
  return c;
}

bool mvCheckerEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  frame::Frame f(source, target, progress, frame::Pair::InPlace);
  if (!f.Begin()) return f.Answer();
  PaintColor c1, c2;
  if (!Colour(target, Color1, c1) || !Colour(target, Color2, c2)) return true;
  // Cells narrower than a pixel cannot exist; they are taken as one pixel.
  const int64_t cw = std::max<int64_t>(CellWidth, 1);
  const int64_t ch = std::max<int64_t>(CellHeight, 1);
  const int64_t cellRows = (f.Rows() - 1) / ch + 1;
  return f.Dispatch(frame::kRgbOrGray, [&](auto fmt) {
    using F = decltype(fmt);
    // One step per row of cells.
    f.Announce(cellRows);
    return f.ForSteps(cellRows, ch * f.Cols(), [&](int64_t first, int64_t last) {
      for (int64_t row = first; row < last; ++row) {
        const int64_t cellTop = f.A.Top + row * ch, cellBottom = std::min<int64_t>(cellTop + ch, f.A.Bottom);
        for (int64_t y = cellTop; y < cellBottom; ++y) {
          int64_t col = 0;
          ForEachRun(f.A.Left, cw, cw, f.A.Left, f.A.Right, [&](int64_t a, int64_t b) {
            const PaintColor& c = ((row + col) & 1) == 0 ? c1 : c2;
            OverSpan<F>(source, target, static_cast<int32_t>(y), a, b, c, c.Alpha);
            ++col;
          });
        }
      }
      return true;
    });
  });
}

// ---- parallel lines --------------------------------------------------------------

const mvEffectClass& mvParallelLinesEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvParallelLinesEffect>(
      135, "mvParallelLinesEffect",
      {Field("Color", &mvParallelLinesEffect::Color).Help("stripe colour"),
       Field("Vertical", &mvParallelLinesEffect::Vertical).Help("non-zero: vertical stripes"),
       Field("LineWidth", &mvParallelLinesEffect::LineWidth).Help("stripe thickness"),
       Field("Gap", &mvParallelLinesEffect::Gap).Help("space between stripes"),
       Field("Offset", &mvParallelLinesEffect::Offset).Help("position of the first stripe")});
  return c;
}

bool mvParallelLinesEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  frame::Frame f(source, target, progress, frame::Pair::InPlace);
  if (!f.Begin()) return f.Answer();
  PaintColor c;
  if (!Colour(target, Color, c)) return true;
  // Stripes thinner than a pixel paint nothing; a negative gap would make
  // stripes run backwards, so it counts as no gap.
  const int64_t width = LineWidth;
  if (width < 1) return true;
  const int64_t pitch = width + std::max<int64_t>(Gap, 0);
  const mvRect& a = f.A;
  return f.Dispatch(frame::kRgbOrGray, [&](auto fmt) {
    using F = decltype(fmt);
    if (Vertical != 0) {
      f.Announce(f.Rows());
      return f.ForRows([&](int32_t top, int32_t bottom) {
        for (int32_t y = top; y < bottom; ++y)
          ForEachRun(int64_t{a.Left} + Offset, width, pitch, a.Left, a.Right,
                     [&](int64_t x0, int64_t x1) { OverSpan<F>(source, target, y, x0, x1, c, c.Alpha); });
        return true;
      });
    }
    // One step per stripe painted; the announced count is the one the
    // offset gives, clipped to what a step counter holds.
    const int64_t last = (int64_t{f.Rows()} - Offset - 1) / pitch;
    f.Announce(std::clamp<int64_t>(last, 0, 0xFFFFFFFF) + 1);
    const int64_t first = FirstRun(int64_t{a.Top} + Offset, width, pitch, a.Top);
    const int64_t stripes = first < a.Bottom ? (a.Bottom - first + pitch - 1) / pitch : 0;
    return f.ForSteps(stripes, width * f.Cols(), [&](int64_t k0, int64_t k1) {
      for (int64_t k = k0; k < k1; ++k) {
        const int64_t y0 = first + k * pitch;
        for (int64_t y = std::max<int64_t>(y0, a.Top), y1 = std::min<int64_t>(y0 + width, a.Bottom); y < y1; ++y)
          OverSpan<F>(source, target, static_cast<int32_t>(y), a.Left, a.Right, c, c.Alpha);
      }
      return true;
    });
  });
}

// ---- grid ------------------------------------------------------------------------

const mvEffectClass& mvGridEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvGridEffect>(
      136, "mvGridEffect",
      {Field("Color", &mvGridEffect::Color).Help("line colour"),
       Field("LineWidth", &mvGridEffect::LineWidth).Help("line thickness"),
       Field("CellWidth", &mvGridEffect::CellWidth).Help("space between vertical lines"),
       Field("CellHeight", &mvGridEffect::CellHeight).Help("space between horizontal lines"),
       Field("OffsetX", &mvGridEffect::OffsetX).Help("position of the first vertical line"),
       Field("OffsetY", &mvGridEffect::OffsetY).Help("rows above the first horizontal line")});
  return c;
}

bool mvGridEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  frame::Frame f(source, target, progress, frame::Pair::InPlace);
  if (!f.Begin()) return f.Answer();
  PaintColor c;
  if (!Colour(target, Color, c)) return true;
  const int64_t width = LineWidth;
  if (width < 1) return true;  // lines thinner than a pixel paint nothing
  // Negative cell sizes count as 0 (lines touching), negative leading rows as none.
  const int64_t pitchX = width + std::max<int64_t>(CellWidth, 0);
  const int64_t pitchY = width + std::max<int64_t>(CellHeight, 0);
  const int64_t leading = std::max<int64_t>(OffsetY, 0);
  const mvRect& a = f.A;
  return f.Dispatch(frame::kRgbOrGray, [&](auto fmt) {
    using F = decltype(fmt);
    return f.ForRows([&](int32_t top, int32_t bottom) {
      for (int32_t y = top; y < bottom; ++y) {
        const int64_t rel = int64_t{y} - a.Top;
        if (rel >= leading && (rel - leading) % pitchY < width) {
          OverSpan<F>(source, target, y, a.Left, a.Right, c, c.Alpha);
          continue;
        }
        ForEachRun(int64_t{a.Left} + OffsetX, width, pitchX, a.Left, a.Right,
                   [&](int64_t x0, int64_t x1) { OverSpan<F>(source, target, y, x0, x1, c, c.Alpha); });
      }
      return true;
    });
  });
}

// ---- dots ------------------------------------------------------------------------

const mvEffectClass& mvDotsEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvDotsEffect>(
      133, "mvDotsEffect",
      {Field("Color", &mvDotsEffect::Color).Help("dot colour"),
       Field("Square", &mvDotsEffect::Square).Help("non-zero: square dots"),
       Field("DotSize", &mvDotsEffect::DotSize).Help("dot diameter in pixels"),
       Field("Gap", &mvDotsEffect::Gap).Help("space between dots"),
       Field("OffsetX", &mvDotsEffect::OffsetX).Help("left of the first dot's box"),
       Field("OffsetY", &mvDotsEffect::OffsetY).Help("top of the first dot's box"),
       Field("Staggered", &mvDotsEffect::Staggered).Help("non-zero: every second row shifted by half a pitch"),
       Field("Antialias", &mvDotsEffect::Antialias).Help("soft edge on round dots")});
  return c;
}

namespace {

// One lattice dot: box at (bx, by), size D, clipped to columns [left,
// right) and rows [top, bottom).
template <class F>
void PaintDot(const mvPicture& source, mvPicture& target, const mvRect& clip, int64_t bx, int64_t by, int64_t size,
              bool square, bool antialias, const PaintColor& c) {
  const int64_t x0 = std::max<int64_t>(bx, clip.Left), x1 = std::min<int64_t>(bx + size, clip.Right);
  const int64_t y0 = std::max<int64_t>(by, clip.Top), y1 = std::min<int64_t>(by + size, clip.Bottom);
  if (x0 >= x1 || y0 >= y1) return;
  if (square) {
    for (int64_t y = y0; y < y1; ++y) OverSpan<F>(source, target, static_cast<int32_t>(y), x0, x1, c, c.Alpha);
    return;
  }
  const double centre = static_cast<double>(size - 1) / 2;
  const double outer = centre + 0.5;
  for (int64_t y = y0; y < y1; ++y) {
    const auto* s = frame::PixelAt<F>(source, static_cast<int32_t>(x0), static_cast<int32_t>(y));
    auto* d = frame::PixelAt<F>(target, static_cast<int32_t>(x0), static_cast<int32_t>(y));
    const double dy = static_cast<double>(y - by) - centre;
    for (int64_t x = x0; x < x1; ++x, s += F::kChannels, d += F::kChannels) {
      const double dx = static_cast<double>(x - bx) - centre;
      const double d2 = dx * dx + dy * dy;
      if (!antialias) {
        if (d2 < centre * centre + 0.5) ColorOver<F>(s, d, c.S, c.Alpha);
        continue;
      }
      const double dist = std::sqrt(d2);
      if (dist >= outer) continue;
      uint64_t a = c.Alpha;
      // The rim fades with the distance past the solid core.
      if (dist > centre - 0.5) a = static_cast<uint64_t>(static_cast<double>(c.Alpha) * (outer - dist));
      ColorOver<F>(s, d, c.S, a);
    }
  }
}

}  // namespace

bool mvDotsEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  frame::Frame f(source, target, progress, frame::Pair::InPlace);
  if (!f.Begin()) return f.Answer();
  PaintColor c;
  if (!(frame::FormatOf(target) & frame::kAnyRgb) || !Colour(target, Color, c)) return true;
  // Dots smaller than a pixel paint nothing; a lattice whose pitch is not
  // positive would never advance, so it paints nothing either.
  const int64_t size = DotSize;
  const int64_t gap = Gap;
  const int64_t pitch = size + gap;
  if (size < 1 || pitch < 1) return true;
  const bool square = Square != 0 || size < 3;
  // The lattice hangs from the area's top left corner; each band of rows
  // paints the parts of the dots that fall in it.
  const int64_t left = f.A.Left, top = f.A.Top;
  return f.Dispatch(frame::kAnyRgb, [&](auto fmt) {
    using F = decltype(fmt);
    return f.ForRows([&](int32_t bandTop, int32_t bandBottom) {
      const mvRect clip{f.A.Left, bandTop, f.A.Right, bandBottom};
      auto paintRow = [&](int64_t y, int64_t xStart) {
        // Boxes wholly left of the area are skipped arithmetically.
        int64_t x = xStart;
        if (x + size <= left) x += ((left - (x + size)) / pitch + 1) * pitch;
        for (; x < clip.Right; x += pitch) PaintDot<F>(source, target, clip, x, y, size, square, Antialias, c);
      };
      if (Staggered == 0) {
        int64_t y = top + OffsetY;
        if (y + size <= bandTop) y += ((bandTop - (y + size)) / pitch + 1) * pitch;
        for (; y < bandBottom; y += pitch) paintRow(y, left + OffsetX);
        return true;
      }
      // Staggered rows advance about half a pitch each: row j sits at
      // y0 + j * size + ((gap - size) * j) / 2. Rows wholly above the band
      // are skipped by a safe lower bound on their index.
      const int64_t y0 = top + OffsetY;
      int64_t j = 0;
      if (y0 + size < bandTop) j = std::max<int64_t>(0, 2 * (bandTop - y0 - size - 2) / pitch - 1);
      for (;; ++j) {
        const int64_t y = y0 + j * size + ((gap - size) * j) / 2;
        if (y >= bandBottom) break;
        if (y + size <= bandTop) continue;
        const int64_t xStart = (j & 1) == 0 ? left + OffsetX : left + OffsetX + size + (gap - size) / 2;
        paintRow(y, xStart);
      }
      return true;
    });
  });
}

// ---- random dots ---------------------------------------------------------------

const mvEffectClass& mvRandomDotsEffect::Describe() {
  static const mvEffectClass c =
      mvEffectClass::Make<mvRandomDotsEffect>(
          134, "mvRandomDotsEffect",
          {Field("Square", &mvRandomDotsEffect::Square).Help("non-zero: square dots"),
           Field("Color", &mvRandomDotsEffect::Color).Help("dot colour"),
           Field("AlphaVariation", &mvRandomDotsEffect::AlphaVariation).Help("alpha varies by up to this either way"),
           Field("DotSize", &mvRandomDotsEffect::DotSize).Help("nominal dot diameter"),
           Field("SizeVariation", &mvRandomDotsEffect::SizeVariation).Help("size varies by up to this either way"),
           Field("Density", &mvRandomDotsEffect::Density).Help("dots per 100 * DotSize^2 positions"),
           Field("Seed", &mvRandomDotsEffect::Seed).Help("seed of the placement sequence"),
           Field("Seamless", &mvRandomDotsEffect::Seamless).Flag(0).Help("dots wrap around the edges"),
           Field("Spare", &mvRandomDotsEffect::Spare).Flag(1).Help("kept, not used")})
          .InStreamOrder({"Color", "Square", "AlphaVariation", "DotSize", "SizeVariation", "Density", "Seed",
                          "Seamless", "Spare"});
  return c;
}

namespace {

// The largest dot size whose draw bound 100 * size^2 fits an unsigned word.
constexpr int64_t kMaxRandomDotSize = 6553;

// A dot as drawn: box corner, size and alpha.
struct Dot {
  int64_t X, Y, Size;
  uint32_t Alpha;
};

// Dots drawn before they are painted, at most, whatever the density; and the
// candidates a part of the drawing takes, so that drawing one part and
// painting the one before go on together.
constexpr int64_t kDotsPerPass = 1 << 16;
constexpr int64_t kCandidatesPerPart = 1 << 18;

}  // namespace

bool mvRandomDotsEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  frame::Frame f(source, target, progress, frame::Pair::InPlace);
  if (!f.Begin()) return f.Answer();
  PaintColor c;
  if (!(frame::FormatOf(target) & frame::kAnyRgb8) || !Colour(target, Color, c)) return true;
  mvRandom& random = SharedRandom;
  random.Seed(static_cast<uint32_t>(Seed));
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
  const int64_t left = f.A.Left, top = f.A.Top, right = f.A.Right, bottom = f.A.Bottom;
  // Candidates cover the area plus one dot above and to the left of it; a
  // dot wider than the picture counts as one picture side there, so the
  // work stays bounded by the picture whatever DotSize says.
  const int64_t yFrom = Seamless ? 0 : top - std::min(size, H) + 1;
  const int64_t xFrom = Seamless ? 0 : left - std::min(size, W) + 1;
  // Dots that wrap reach every row of the picture; the others stay in the area.
  const int64_t rowFrom = Seamless ? 0 : top, rowTo = Seamless ? H : bottom;

  return f.Dispatch(frame::kAnyRgb8, [&](auto fmt) {
    using F = decltype(fmt);
    // Paints the rows [t, b) of one dot; a band of rows paints its part of
    // every dot in drawing order, which is the order each pixel sees.
    auto paint = [&](const Dot& dot, int64_t t, int64_t b) {
      const int64_t s = dot.Size, bx = dot.X, by = dot.Y;
      const bool square = Square != 0 || s < 3;
      const double centre = static_cast<double>(s - 1) / 2;
      const double limit = centre * centre + 0.5;
      // Colour-over on columns [x0, x1) of a row.
      auto over = [&](typename F::Sample* row, int64_t x0, int64_t x1) {
        auto* p = row + x0 * F::kChannels;
        if (dot.Alpha == F::kMax) {
          render::FillSpan<F>(p, x1 - x0, c.S);
          return;
        }
        for (; x0 < x1; ++x0, p += F::kChannels) ColorOver<F>(p, p, c.S, dot.Alpha);
      };
      auto rows = [&](int64_t j0, int64_t j1, int64_t i0, int64_t i1) {
        for (int64_t j = j0; j < j1; ++j) {
          int64_t from = i0, to = i1;
          if (!square) {
            // Inside is dx^2 + dy^2 < limit, which holds on one run of the
            // row, symmetric about the centre; its first column is found by
            // bisection.
            const double dy = static_cast<double>(j) - centre;
            auto inside = [&](int64_t i) {
              const double dx = static_cast<double>(i) - centre;
              return dx * dx + dy * dy < limit;
            };
            int64_t lo = 0, hi = (s - 1) / 2;
            if (!inside(hi)) continue;
            while (lo < hi) {
              const int64_t m = lo + (hi - lo) / 2;
              if (inside(m)) hi = m;
              else lo = m + 1;
            }
            from = std::max(from, lo);
            to = std::min(to, s - lo);
          }
          if (from >= to) continue;
          auto* row = frame::RowOf<F>(target, static_cast<int32_t>(Seamless ? (by + j) % H : by + j));
          const int64_t x0 = bx + from, x1 = bx + to;
          // Wrapped columns run past the right edge at most once.
          if (Seamless && x1 > W) {
            over(row, std::min(x0, W), W);
            over(row, std::max(x0, W) - W, x1 - W);
          } else {
            over(row, x0, x1);
          }
        }
      };
      // A box larger than the picture would wrap onto itself; it is limited to
      // one picture side in seamless mode, to the area otherwise.
      if (Seamless) {
        const int64_t j1 = std::min(s, H), i1 = std::min(s, W);
        rows(std::max<int64_t>(0, t - by), std::min(j1, b - by), 0, i1);
        rows(std::max<int64_t>(0, t + H - by), std::min(j1, b + H - by), 0, i1);
      } else {
        rows(std::max<int64_t>(0, t - by), std::min(s, b - by), std::max<int64_t>(0, left - bx),
             std::min(s, right - bx));
      }
    };
    // The dots come in parts: while the pool paints one part, one of its
    // threads draws the next from a copy of the source, in order, so the
    // draws stay one sequence whatever the thread count.
    struct Part {
      frame::Buffer<Dot> Dots;
      int64_t Count = 0, Largest = 0;
    } parts[2];
    if (!parts[0].Dots.Allocate(kDotsPerPass) || !parts[1].Dots.Allocate(kDotsPerPass)) return false;
    mvRandom drawing = random;
    int64_t y = yFrom, x = xFrom;
    // Draws candidates until the part is full or, at the end of a row,
    // holds the draws of kCandidatesPerPart candidates.
    auto draw = [&](Part& part) {
      part.Count = part.Largest = 0;
      for (int64_t drawn = 0; y < bottom && drawn < kCandidatesPerPart; ++y, x = xFrom) {
        for (; x < right; ++x, ++drawn) {
          if (part.Count == kDotsPerPass) return;
          const uint32_t r = drawing.NextInt(bound);
          if (int64_t{r} >= density) continue;
          int64_t s = size;
          if (sizeVar != 0) {
            s += int64_t{drawing.NextInt(static_cast<uint32_t>(2 * sizeVar + 1))} - sizeVar;
            if (s < 1) s = 1;
          }
          int64_t alpha = c.Alpha;
          if (alphaVar != 0) {
            alpha = alpha - alphaVar + int64_t{drawing.NextInt(static_cast<uint32_t>(2 * alphaVar + 1))};
            alpha = std::clamp<int64_t>(alpha, 1, 255);
          }
          if (x + s > left && y + s > top) {
            part.Dots[part.Count++] = Dot{x, y, s, static_cast<uint32_t>(alpha)};
            part.Largest = std::max(part.Largest, s);
          }
        }
      }
    };
    // Paints band b of a part's rows. Dots come top row first, so a band
    // needs those whose top lies less than the largest size above it, or,
    // when they wrap, as far above the foot of the picture.
    const int64_t perBand = frame::Frame::BandSteps(rowTo - rowFrom, W);
    const int64_t bands = (rowTo - rowFrom + perBand - 1) / perBand;
    auto paintBand = [&](const Part& part, int64_t band) {
      const int64_t t = rowFrom + band * perBand, b = std::min(rowTo, t + perBand);
      const Dot* first = part.Dots.Get();
      const Dot* end = first + part.Count;
      auto from = [&](int64_t row) {
        return std::partition_point(first, end, [row](const Dot& d) { return d.Y < row; }) - first;
      };
      const int64_t reach = Seamless ? std::min(part.Largest, H) : part.Largest;
      int64_t i0 = from(t - reach + 1), i1 = from(b);
      if (Seamless) {
        const int64_t wrapped = from(t + H - reach + 1);
        if (wrapped <= i1) {
          i1 = part.Count;
        } else {
          for (int64_t i = i0; i < i1; ++i) paint(part.Dots[i], t, b);
          i0 = wrapped;
          i1 = part.Count;
        }
      }
      for (int64_t i = i0; i < i1; ++i) paint(part.Dots[i], t, b);
    };
    draw(parts[0]);
    for (int cur = 0; parts[cur].Count > 0 || y < bottom; cur = 1 - cur) {
      Part& next = parts[1 - cur];
      next.Count = 0;
      const bool more = y < bottom;
      const int64_t tasks = (parts[cur].Count > 0 ? bands : 0) + 1;
      const bool ok = parallel::For(
          tasks,
          [&](int64_t i) {
            if (i == tasks - 1) {
              if (more) draw(next);
            } else {
              paintBand(parts[cur], i);
            }
            return true;
          },
          [&] { return !f.Stopped(); });
      if (!ok || f.Stopped()) return false;
    }
    // The thread's source ends where drawing in one sequence leaves it.
    random = drawing;
    return true;
  });
}

void RegisterPatternEffects(mvEffectRegistry& registry) {
  registry.Add(mvDotsEffect::Describe());
  registry.Add(mvRandomDotsEffect::Describe());
  registry.Add(mvParallelLinesEffect::Describe());
  registry.Add(mvGridEffect::Describe());
  registry.Add(mvCheckerEffect::Describe());
}

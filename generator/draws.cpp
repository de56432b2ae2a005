#include "generator/draws.h"

#include <algorithm>
#include <climits>

#include "effects/filter/cells.h"
#include "effects/filter/edges.h"
#include "effects/filter/motion_blur.h"
#include "effects/geometric/distortions.h"
#include "effects/render/fill.h"
#include "effects/render/patterns.h"

namespace {

// A divisor of a cell side: 1 when the side has none.
int32_t DivisorOrOne(mvRandom& random, int32_t n, bool evenQuotientOnly) {
  const int32_t d = RandomDivisor(random, n, evenQuotientOnly);
  return d == 0 ? 1 : d;
}

struct CellSides {
  int32_t Width, Height;
};

CellSides DrawCellSides(mvRandom& random, int32_t width, int32_t height, bool seamless, bool evenQuotientOnly) {
  if (seamless) {
    const int32_t w = DivisorOrOne(random, width, evenQuotientOnly);
    return {w, DivisorOrOne(random, height, evenQuotientOnly)};
  }
  const auto w = static_cast<int32_t>(1 + random.NextInt(10));
  return {w, static_cast<int32_t>(1 + random.NextInt(10))};
}

// Size and gap of a seamless repeat of period n along a side (none: 1 and 1).
struct Repeat {
  int32_t Size, Gap;
};

Repeat SplitPeriod(mvRandom& random, int32_t n, uint32_t sizeRange) {
  if (n <= 2) return {1, 1};
  const auto size = static_cast<int32_t>(1 + random.NextInt(sizeRange));
  return {size, n - size};
}

}  // namespace

std::vector<int32_t> ListDivisors(int32_t n, bool evenQuotientOnly) {
  std::vector<int32_t> list;
  for (int32_t d = 2; d <= n / 2; ++d)
    if (n % d == 0 && (!evenQuotientOnly || (n / d) % 2 == 0)) list.push_back(d);
  return list;
}

int32_t RandomDivisor(mvRandom& random, int32_t n, bool evenQuotientOnly) {
  const std::vector<int32_t> list = ListDivisors(n, evenQuotientOnly);
  if (list.empty()) return 0;
  if (list.size() == 1) return list[0];
  return list[random.NextInt(static_cast<uint32_t>(list.size()))];
}

uint8_t RandomLevel(mvRandom& random) { return static_cast<uint8_t>(255 * random.NextInt(32) / 31); }

mvColor DrawLayerColor(mvRandom& random, bool opaque) {
  const uint8_t r = RandomLevel(random);
  const uint8_t g = RandomLevel(random);
  const uint8_t b = RandomLevel(random);
  const uint8_t a = opaque ? 255 : static_cast<uint8_t>(8 * (8 + random.NextInt(16)));
  return mvColor::RGBA8(r, g, b, a);
}

void DrawCheckerCells(mvRandom& random, int32_t width, int32_t height, bool seamless, mvCheckerEffect& checker) {
  // Even quotients: a whole number of cell pairs, so the colours alternate across the seams.
  const CellSides c = DrawCellSides(random, width, height, seamless, true);
  checker.CellWidth = c.Width;
  checker.CellHeight = c.Height;
}

void DrawPixelCells(mvRandom& random, int32_t width, int32_t height, bool seamless, mvPixelizeEffect& pixelize) {
  const CellSides c = DrawCellSides(random, width, height, seamless, false);
  pixelize.CellWidth = static_cast<uint32_t>(c.Width);
  pixelize.CellHeight = static_cast<uint32_t>(c.Height);
}

void DrawMosaicCells(mvRandom& random, int32_t width, int32_t height, bool seamless, mvMosaicEffect& mosaic) {
  const CellSides c = DrawCellSides(random, width, height, seamless, false);
  // Staggered rows only line up across the seam when the cells fit exactly.
  mosaic.Stagger = (width % c.Width == 0 && height % c.Height == 0 && random.NextInt(4) != 0) ? 1 : 0;
  mosaic.CellWidth = static_cast<uint32_t>(c.Width);
  mosaic.CellHeight = static_cast<uint32_t>(c.Height);
}

void DrawGridCells(mvRandom& random, int32_t width, int32_t height, bool seamless, mvGridEffect& grid) {
  int32_t line = 1, cellWidth, cellHeight;
  if (seamless) {
    // The cell plus its line is the divisor, so the lines repeat at the seams.
    cellWidth = DivisorOrOne(random, width, false);
    cellHeight = DivisorOrOne(random, height, false);
    if (cellWidth > 1 && cellHeight > 1) {
      line = static_cast<int32_t>(1 + random.NextInt(static_cast<uint32_t>(std::min(cellWidth, cellHeight) - 1)));
      cellWidth -= line;
      cellHeight -= line;
    }
  } else {
    line = static_cast<int32_t>(1 + random.NextInt(4));
    cellWidth = static_cast<int32_t>(1 + random.NextInt(10));
    cellHeight = static_cast<int32_t>(1 + random.NextInt(10));
  }
  grid.LineWidth = line;
  grid.CellWidth = cellWidth;
  grid.CellHeight = cellHeight;
}

void DrawDotLattice(mvRandom& random, int32_t width, bool seamless, mvDotsEffect& dots) {
  dots.Staggered = static_cast<int32_t>(random.NextInt(2));
  if (seamless) {
    const int32_t n = RandomDivisor(random, width, false);
    // A staggered dot must leave room for its neighbour half a period over.
    const Repeat r =
        SplitPeriod(random, n, dots.Staggered == 0 ? static_cast<uint32_t>(n - 1) : static_cast<uint32_t>(n / 2));
    dots.DotSize = r.Size;
    dots.Gap = r.Gap;
  } else {
    dots.DotSize = static_cast<int32_t>(1 + random.NextInt(20));
    dots.Gap = static_cast<int32_t>(1 + random.NextInt(10));
  }
}

void DrawLineSpacing(mvRandom& random, int32_t width, int32_t height, bool seamless, mvParallelLinesEffect& lines) {
  if (seamless) {
    const int32_t n = RandomDivisor(random, lines.Vertical != 0 ? width : height, false);
    const Repeat r = SplitPeriod(random, n, static_cast<uint32_t>(n - 1));
    lines.LineWidth = r.Size;
    lines.Gap = r.Gap;
  } else {
    lines.LineWidth = static_cast<int32_t>(1 + random.NextInt(10));
    lines.Gap = static_cast<int32_t>(1 + random.NextInt(10));
  }
}

void DrawBandPeriod(mvRandom& random, int32_t width, int32_t height, bool seamless, uint32_t fallbackSteps,
                    mvGradientPatternEffect& bands) {
  if (seamless) {
    const int32_t side = bands.Direction == 0 ? height : width;
    std::vector<int32_t> list = ListDivisors(side, bands.Sawtooth == 0);
    if (list.empty()) {
      bands.Period = 2;
    } else if (list.size() == 1) {
      bands.Period = list[0];
    } else {
      // Half the side as a period gives one band up and one down: too coarse.
      // The index is drawn even when one divisor remains.
      if (list.back() == side / 2) list.pop_back();
      bands.Period = list[random.NextInt(static_cast<uint32_t>(list.size()))];
    }
  } else if (bands.Direction == 2) {
    // 64 bits: the sum of two large sides must not overflow.
    const int64_t n = (static_cast<int64_t>(width) + height) / 2 + 4;
    const auto range = static_cast<uint32_t>(std::min<int64_t>(n, INT32_MAX));
    bands.Period = n <= 0 ? 0 : static_cast<int32_t>(random.NextInt(range));
  } else {
    const int32_t d = RandomDivisor(random, bands.Direction == 0 ? height : width, false);
    bands.Period = d != 0 ? d : static_cast<int32_t>(4 + 2 * random.NextInt(fallbackSteps));
  }
}

bool DrawGlassTiles(mvRandom& random, int32_t width, int32_t height, mvGlassTileEffect& glass) {
  int32_t w = RandomDivisor(random, width, false);
  int32_t h = RandomDivisor(random, height, false);
  if (w == 0 || h == 0) return false;
  // Large tiles are split further so the glass effect stays visible.
  if (w > 32) {
    const int32_t d = RandomDivisor(random, w, false);
    if (d != 0) w = d;
  }
  if (h > 32) {
    const int32_t d = RandomDivisor(random, h, false);
    if (d != 0) h = d;
  }
  glass.TileWidth = static_cast<uint32_t>(w);
  glass.TileHeight = static_cast<uint32_t>(h);
  return true;
}

bool DrawSineWaves(mvRandom& random, int32_t width, int32_t height, mvSineWaveEffect& sine) {
  // The row period counts rows and the column period columns, so each must
  // divide the side it runs along for a seamless texture to tile.
  const int32_t rowPeriod = RandomDivisor(random, height, false);
  if (rowPeriod == 0) return false;
  int32_t columnPeriod;
  if (width % rowPeriod == 0 && random.NextInt(2) == 0) columnPeriod = rowPeriod;
  else columnPeriod = RandomDivisor(random, width, false);
  if (columnPeriod == 0) return false;
  const auto rowAmplitude = static_cast<int32_t>(1 + random.NextInt(10));
  const int32_t columnAmplitude = random.NextInt(2) == 1 ? static_cast<int32_t>(1 + random.NextInt(10)) : rowAmplitude;
  sine.RowAmplitude = rowAmplitude;
  sine.RowPeriod = rowPeriod;
  sine.ColumnAmplitude = columnAmplitude;
  sine.ColumnPeriod = columnPeriod;
  return true;
}

void DrawSwirlAngle(mvRandom& random, mvSwirlEffect& swirl) {
  int32_t angle = static_cast<int32_t>(45 * (8 + random.NextInt(9)));
  if (random.NextInt(2) == 0) angle = -angle;
  swirl.Angle = angle;
}

void DrawMotionBlurPath(mvRandom& random, mvMotionBlurEffect& blur) {
  const uint32_t a = random.NextInt(3);
  blur.Angle = a == 0 ? 0 : (a == 1 ? 90 : static_cast<int32_t>(random.NextInt(360)));
  blur.Sigma = 3 + random.NextInt(8);
}

#pragma once
// Named random draws shared by the generator and the variation maker. Each
// one draws a group of fields exactly as both need it, in the order the
// golden hashes pin down, from the random source the caller passes. Where the
// two knowingly differ, the difference is a parameter.
#include <cstdint>
#include <vector>

#include "core/picture.h"
#include "core/random.h"

class mvCheckerEffect;
class mvDotsEffect;
class mvGlassTileEffect;
class mvGradientPatternEffect;
class mvGridEffect;
class mvMosaicEffect;
class mvMotionBlurEffect;
class mvParallelLinesEffect;
class mvPixelizeEffect;
class mvSineWaveEffect;
class mvSwirlEffect;

// Divisors d of n with 2 <= d <= n / 2 (and n / d even when asked), ascending.
std::vector<int32_t> ListDivisors(int32_t n, bool evenQuotientOnly);
// One of those divisors drawn from random: 0 when there is none, the only one
// without a draw, else the one at index NextInt(count).
int32_t RandomDivisor(mvRandom& random, int32_t n, bool evenQuotientOnly);
// Red, green, blue of 32 evenly spaced levels each: 255 * NextInt(32) / 31.
uint8_t RandomLevel(mvRandom& random);

// Three levels, then the alpha: 255 when opaque, else 64..184 in steps of 8.
mvColor DrawLayerColor(mvRandom& random, bool opaque);

// Cell sides of checkers, pixels and mosaics, and the grid's cells and line
// width. On seamless textures the cells are divisors of the sides (1 where a
// side has none), so whole cells meet at the seams; otherwise 1..10.
void DrawCheckerCells(mvRandom& random, int32_t width, int32_t height, bool seamless, mvCheckerEffect& checker);
void DrawPixelCells(mvRandom& random, int32_t width, int32_t height, bool seamless, mvPixelizeEffect& pixelize);
void DrawGridCells(mvRandom& random, int32_t width, int32_t height, bool seamless, mvGridEffect& grid);
// The cells and then the stagger, which needs cells that fit the sides exactly.
void DrawMosaicCells(mvRandom& random, int32_t width, int32_t height, bool seamless, mvMosaicEffect& mosaic);

// Staggered, then dot size and gap; a seamless lattice repeats along the width.
void DrawDotLattice(mvRandom& random, int32_t width, bool seamless, mvDotsEffect& dots);
// Line width and gap; a seamless spacing divides the side the stripes repeat
// along (the width for vertical stripes, any non-zero Vertical).
void DrawLineSpacing(mvRandom& random, int32_t width, int32_t height, bool seamless, mvParallelLinesEffect& lines);

// When a non-seamless band's side has no divisor, the period falls back to
// 4 + 2 * NextInt(steps). The variation maker has always offered one period
// more than the generator; both keep their own so neither's draws move.
constexpr uint32_t kGeneratorBandFallbackSteps = 8;
constexpr uint32_t kVariationBandFallbackSteps = 9;
// The period of bands whose Direction and Sawtooth are already set.
void DrawBandPeriod(mvRandom& random, int32_t width, int32_t height, bool seamless, uint32_t fallbackSteps,
                    mvGradientPatternEffect& bands);

// Tile sides from the divisors of the sides, both drawn before giving up;
// large tiles are split once more. False, the tiles untouched, when a side
// has no divisor.
bool DrawGlassTiles(mvRandom& random, int32_t width, int32_t height, mvGlassTileEffect& glass);

// Periods, then amplitudes: the row period from the divisors of the height,
// the column period equal to it (when the width is a multiple) or from the
// divisors of the width, so the shifts repeat where a seamless texture wraps.
// False, the waves untouched, when a side has no divisor.
bool DrawSineWaves(mvRandom& random, int32_t width, int32_t height, mvSineWaveEffect& sine);

// 360..720 degrees in steps of 45, either way round.
void DrawSwirlAngle(mvRandom& random, mvSwirlEffect& swirl);
// Horizontal, vertical or any angle; sigma 3..10.
void DrawMotionBlurPath(mvRandom& random, mvMotionBlurEffect& blur);

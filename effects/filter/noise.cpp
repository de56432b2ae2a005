#include "effects/filter/noise.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "core/color.h"
#include "core/random.h"
#include "effects/filter/families.h"
#include "effects/frame.h"

namespace {

constexpr double kInvPi = 0.3183098861837907;

// Amplitudes work as magnitudes; the most negative word would not have one
// in 32 bits, and 2A + 1 must still fit the draw's 32-bit range.
uint32_t Magnitude(int32_t v) {
  int64_t m = v < 0 ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
  return m > INT32_MAX ? static_cast<uint32_t>(INT32_MAX) : static_cast<uint32_t>(m);
}

int64_t ClampTo(int64_t v, int64_t hi) { return v < 0 ? 0 : (v > hi ? hi : v); }

// A double that is about to become an integer sample offset: far gaussian
// tails times huge amplitudes must not overflow the conversion.
int64_t TruncSafe(double v) {
  if (!(v == v)) return 0;
  if (v > 1e15) return static_cast<int64_t>(1e15);
  if (v < -1e15) return static_cast<int64_t>(-1e15);
  return static_cast<int64_t>(v);
}

// ---- the effect's own random numbers ------------------------------------------

// The twister of mvRandom (same seeding, same words), drawing many words at
// a time: the twist and the tempering then run as loops the compiler
// vectorises, which matters when a picture takes tens of millions of draws.
class Twister {
public:
  explicit Twister(uint32_t seed) {
    State[0] = seed;
    for (uint32_t i = 1; i < kN; ++i) State[i] = 1812433253u * (State[i - 1] ^ (State[i - 1] >> 30)) + i;
  }
  // The next `count` words into out. Answers a bound on them: the largest
  // word of every block of words they came from.
  uint32_t Draw(uint32_t* out, int64_t count) {
    uint32_t high = 0;
    while (count > 0) {
      if (Index == kN) Twist();
      const int64_t take = std::min<int64_t>(count, kN - Index);
      std::memcpy(out, Tempered + Index, static_cast<size_t>(take) * sizeof(uint32_t));
      high = std::max(high, BlockHigh);
      Index += take;
      out += take;
      count -= take;
    }
    return high;
  }
  uint32_t Next() {
    uint32_t w;
    Draw(&w, 1);
    return w;
  }

private:
  static constexpr int64_t kN = 624, kM = 397;
  static uint32_t Temper(uint32_t y) {
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;
    return y;
  }
  static uint32_t Mix(uint32_t self, uint32_t next, uint32_t far) {
    const uint32_t y = (self & 0x80000000u) | (next & 0x7FFFFFFFu);
    return far ^ (y >> 1) ^ ((0u - (y & 1u)) & 0x9908B0DFu);
  }
  // The words past the end wrap to the front, which the first loop has
  // already renewed; split so that no index needs a remainder and the long
  // loops have trip counts in whole vectors.
  void Twist() {
    for (int64_t i = 0; i < 224; ++i) State[i] = Mix(State[i], State[i + 1], State[i + kM]);
    for (int64_t i = 224; i < kN - kM; ++i) State[i] = Mix(State[i], State[i + 1], State[i + kM]);
    for (int64_t i = kN - kM; i < kN - 1; ++i) State[i] = Mix(State[i], State[i + 1], State[i + kM - kN]);
    State[kN - 1] = Mix(State[kN - 1], State[0], State[kM - 1]);
    uint32_t high = 0;
    for (int64_t k = 0; k < kN; ++k) {
      const uint32_t t = Temper(State[k]);
      Tempered[k] = t;
      high = high > t ? high : t;
    }
    BlockHigh = high;
    Index = 0;
  }

  uint32_t State[kN];
  uint32_t Tempered[kN];
  uint32_t BlockHigh = 0;
  int64_t Index = kN;
};

// ---- what a run draws -------------------------------------------------------------

// Term kinds in the order a pixel draws them; gray pictures have only the
// value term.
enum Kind { kHue = 0, kSaturation = 1, kValue = 2, kAlpha = 3 };

// One run's draws: every chosen pixel draws its active colour terms in kind
// order, then the alpha term when its alpha is not 0. A uniform term is one
// NextInt(2A + 1); a gaussian term is one Box-Muller deviate of two words.
struct NoisePlan {
  bool Gaussian = false;
  uint32_t Density = 100;
  uint32_t Amp[4] = {0, 0, 0, 0};
  uint32_t Span[4] = {0, 0, 0, 0};        // 2A + 1
  uint32_t Limit[4] = {0, 0, 0, 0};       // the largest word NextInt(Span) accepts
  uint32_t Lowest = UINT32_MAX;           // the smallest limit of an active kind
  uint64_t Reciprocal[4] = {0, 0, 0, 0};  // for Remainder by Span
  int32_t Kinds[3] = {0, 0, 0};
  int32_t ColourTerms = 0;
  bool AlphaTerm = false;  // the picture has alpha and its amplitude is not 0
  // Uniform terms of common amplitudes by table, indexed by the word's
  // remainder: the colour model's quotients and the gray sample offsets.
  frame::Buffer<double> ModelTable[3];
  frame::Buffer<int64_t> GrayTable;

  NoisePlan(uint32_t density, const uint32_t (&amp)[4], bool gaussian, bool rgb, bool alpha, int64_t m)
      : Gaussian(gaussian), Density(density) {
    for (int k = 0; k < 4; ++k) {
      Amp[k] = amp[k];
      Span[k] = 2 * amp[k] + 1;
      // As mvRandom::NextInt: words above the last whole multiple of the span are drawn again.
      if (Span[k] <= 0x80000000u) {
        uint32_t r = (0x80000000u % Span[k]) * 2;
        if (r >= Span[k]) r -= Span[k];
        Limit[k] = 0xFFFFFFFFu - r;
      } else {
        Limit[k] = Span[k] - 1;
      }
    }
    for (int k = rgb ? kHue : kValue; k <= kValue; ++k)
      if (Amp[k]) Kinds[ColourTerms++] = k;
    AlphaTerm = alpha && Amp[kAlpha] != 0;
    for (int i = 0; i < ColourTerms; ++i) Lowest = std::min(Lowest, Limit[Kinds[i]]);
    if (AlphaTerm) Lowest = std::min(Lowest, Limit[kAlpha]);
    for (int k = 0; k < 4; ++k) Reciprocal[k] = UINT64_MAX / Span[k] + 1;
    constexpr uint32_t kMaxTable = 1 << 16;
    if (Gaussian) return;
    const double scale[3] = {360, 100, 100};
    for (int k = rgb ? kHue : kValue; rgb && k <= kValue; ++k)
      if (Amp[k] && Span[k] <= kMaxTable && ModelTable[k].Allocate(Span[k]))
        for (int64_t j = 0; j < Span[k]; ++j) ModelTable[k][j] = static_cast<double>(Amp[k] - j) / scale[k];
    if (!rgb && Amp[kValue] && Span[kValue] <= kMaxTable && GrayTable.Allocate(Span[kValue]))
      for (int64_t j = 0; j < Span[kValue]; ++j) GrayTable[j] = ((Amp[kValue] - j) * m) / 100;
  }
  // word % Span[kind], by multiplying: exact for every 32-bit word and span.
  uint32_t Remainder(uint32_t word, int32_t kind) const {
    __extension__ typedef unsigned __int128 Wide;
    const uint64_t low = Reciprocal[kind] * word;
    return static_cast<uint32_t>((static_cast<Wide>(low) * Span[kind]) >> 64);
  }
  bool Masked() const { return Density != 100; }
  int64_t WordsPerTerm() const { return Gaussian ? 2 : 1; }
  int64_t MostTermsPerPixel() const { return ColourTerms + (AlphaTerm ? 1 : 0); }
};

// A stretch of rows whose numbers are drawn together, before the bands that
// use them run.
struct Chunk {
  int32_t Top = 0, Bottom = 0;
  int64_t FirstTerm = 0;           // terms of the chunks before: the gaussian's phase
  frame::Buffer<uint8_t> Chosen;   // per pixel, when the density test draws
  frame::Buffer<int64_t> RowTerm;  // the first term of each row, then the end
  frame::Buffer<uint32_t> Words;   // uniform: the accepted word of each term; gaussian: two per term
  int64_t Terms() const { return RowTerm[Bottom - Top]; }
};

// Words drawn per chunk at most: 4 MB of scratch, twice over while one chunk
// is drawn and the other is worked on.
constexpr int64_t kChunkWords = 1 << 20;

// The density test, one draw from the shared source per pixel of the chunk
// in row order. The shared source is one per thread: this runs on the thread
// that called Apply.
void DrawChosen(const NoisePlan& n, Chunk& c, int32_t cols) {
  const int64_t count = static_cast<int64_t>(c.Bottom - c.Top) * cols;
  for (int64_t i = 0; i < count; ++i) c.Chosen[i] = SharedRandom.NextInt(100) < n.Density ? 1 : 0;
}

// Visits the pixels of the chunk's row r that draw, with the number of terms each draws.
template <class F, class Fn>
void ForDrawingPixels(const NoisePlan& n, const Chunk& c, const mvPicture& src, const mvRect& a, int32_t r,
                      Fn&& visit) {
  const int32_t cols = a.Right - a.Left;
  const typename F::Sample* s = frame::PixelAt<F>(src, a.Left, c.Top + r);
  const uint8_t* chosen = n.Masked() ? &c.Chosen[static_cast<int64_t>(r) * cols] : nullptr;
  for (int32_t i = 0; i < cols; ++i, s += F::kChannels) {
    if (chosen && !chosen[i]) continue;
    const bool alphaTerm = F::kAlpha && n.AlphaTerm && s[F::kChannels - 1] != 0;
    visit(alphaTerm);
  }
}

// Lays out the chunk's terms and draws their words, in the order the pixels
// draw them.
template <class F>
void DrawChunk(const NoisePlan& n, Twister& rng, const mvPicture& src, const mvRect& a, Chunk& c) {
  const int32_t rows = c.Bottom - c.Top, cols = a.Right - a.Left;
  const bool regular = !n.Masked() && !n.AlphaTerm;
  int64_t t = 0;
  for (int32_t r = 0; r < rows; ++r) {
    c.RowTerm[r] = t;
    if (regular) t += static_cast<int64_t>(cols) * n.ColourTerms;
    else ForDrawingPixels<F>(n, c, src, a, r, [&](bool alphaTerm) { t += n.ColourTerms + (alphaTerm ? 1 : 0); });
  }
  c.RowTerm[rows] = t;
  uint32_t* w = c.Words.Get();
  if (n.Gaussian) {
    rng.Draw(w, 2 * t);
    return;
  }
  // A uniform term takes one word unless the word is past its kind's limit,
  // which happens about once in hundreds of millions of draws for common
  // amplitudes: draw one word per term, and only when a block of words held
  // one that could have been refused, draw the chunk again word by word as
  // NextInt would.
  const Twister before = rng;
  if (rng.Draw(w, t) <= n.Lowest) return;
  rng = before;
  int64_t j = 0;
  auto term = [&](int32_t kind) {
    uint32_t x;
    do x = rng.Next();
    while (x > n.Limit[kind]);
    w[j++] = x;
  };
  for (int32_t r = 0; r < rows; ++r)
    ForDrawingPixels<F>(n, c, src, a, r, [&](bool alphaTerm) {
      for (int32_t k = 0; k < n.ColourTerms; ++k) term(n.Kinds[k]);
      if (alphaTerm) term(kAlpha);
    });
}

// mvGaussian's deviate (sigma 1) from its two words; the even deviates of a
// run take the cosine branch, the odd ones the sine.
double GaussianOf(uint32_t w1, uint32_t w2, bool sine) {
  double u1 = static_cast<double>(w1) / 4294967295.0;
  const double u2 = static_cast<double>(w2) / 4294967295.0;
  if (u1 <= 0.0) u1 = std::numeric_limits<double>::denorm_min();
  const double r = std::sqrt(-2.0 * std::log(u1));
  const double theta = 6.283185307179586 * u2;
  return sine ? r * std::sin(theta) : r * std::cos(theta);
}

// Reads the terms of one row in order and turns them into the values the
// pixels add.
template <bool Gaussian>
class Terms {
public:
  Terms(const NoisePlan& n, const Chunk& c, int32_t r) : N(n), W(c.Words.Get()), J(c.RowTerm[r]), First(c.FirstTerm) {}
  // For a model component in 0..1; scale is 360 for hue, 100 for the others.
  double Model(int32_t kind, double scale) {
    if constexpr (Gaussian) {
      return ((Gauss() * kInvPi) * N.Amp[kind]) / scale;
    } else {
      const uint32_t j = N.Remainder(W[J++], kind);
      if (N.ModelTable[kind].Data) return N.ModelTable[kind][j];
      return static_cast<double>(static_cast<int64_t>(N.Amp[kind]) - j) / scale;
    }
  }
  // In sample units (alpha).
  int64_t Sample(int32_t kind) {
    if constexpr (Gaussian) return TruncSafe((Gauss() * kInvPi) * N.Amp[kind]);
    else return Uniform(kind);
  }
  // For a gray sample: the amplitude is a percentage of full scale m.
  int64_t Gray(int32_t kind, int64_t m) {
    if constexpr (Gaussian) {
      return TruncSafe(((Gauss() * kInvPi) * static_cast<double>(N.Amp[kind] * m)) / 100);
    } else {
      const uint32_t j = N.Remainder(W[J++], kind);
      if (N.GrayTable.Data) return N.GrayTable[j];
      return ((static_cast<int64_t>(N.Amp[kind]) - j) * m) / 100;
    }
  }

private:
  int64_t Uniform(int32_t kind) { return static_cast<int64_t>(N.Amp[kind]) - N.Remainder(W[J++], kind); }
  double Gauss() {
    const int64_t j = J++;
    return GaussianOf(W[2 * j], W[2 * j + 1], ((First + j) & 1) != 0);
  }
  const NoisePlan& N;
  const uint32_t* W;
  int64_t J;
  int64_t First;
};

// ---- the pixel work ---------------------------------------------------------

// The colour-model conversions of core/color.h are written out below for
// tiles of pixels, with the same operations in the same order (the hue of
// tied components depends on it). 8-bit samples take their 0..1 value from
// a table of the same quotients.
struct ByteUnits {
  double V[256];
  ByteUnits() {
    for (int i = 0; i < 256; ++i) V[i] = i / 255.0;
  }
};
const ByteUnits kByteUnits;

// Pixels go through the colour model a tile at a time, two at once in
// vectors of two doubles: each lane computes exactly what the per-pixel
// formulas compute, in the same order, and both sides of every choice are
// computed and masked, so that noise does not keep mispredicting branches.
// (The compilers lower these vectors to SSE2 on x86-64 and to scalar code
// where there is none; either gives the same bits.)
constexpr int32_t kTile = 64;
typedef double Lanes __attribute__((vector_size(16)));
typedef int64_t LaneInts __attribute__((vector_size(16)));

inline Lanes Load(const double* p) {
  Lanes v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void Store(double* p, Lanes v) { std::memcpy(p, &v, sizeof v); }
inline Lanes Splat(double x) { return Lanes{x, x}; }
// std::max and std::min: (a < b) ? b : a and (b < a) ? b : a.
inline Lanes Max(Lanes a, Lanes b) { return a < b ? b : a; }
inline Lanes Min(Lanes a, Lanes b) { return b < a ? b : a; }
inline void StoreInts(int32_t* p, Lanes v) {
  const LaneInts i = __builtin_convertvector(v, LaneInts);
  p[0] = static_cast<int32_t>(i[0]);
  p[1] = static_cast<int32_t>(i[1]);
}

// The model values of a tile: hue, saturation and value (or lightness).
struct ModelTile {
  double H[kTile], S[kTile], V[kTile];
};

// The hue of the fixed comparison order: red, then green, then blue. g - b
// is never -0, so adding 0 for red leaves its quotient as it was.
inline Lanes HueOf(Lanes r, Lanes g, Lanes b, Lanes mx, Lanes delta) {
  const LaneInts isR = mx == r, isG = mx == g;
  const Lanes num = isR ? g - b : (isG ? b - r : r - g);
  const Lanes base = isR ? Splat(0) : (isG ? Splat(2) : Splat(4));
  return (num / delta + base) / Splat(6);
}

// 8-bit colours count a spread of at most 0.0001 as gray; 16-bit ones only none.
template <bool Wide>
void ToHSVTile(const double* red, const double* green, const double* blue, ModelTile& m) {
  for (int32_t k = 0; k < kTile; k += 2) {
    const Lanes r = Load(red + k), g = Load(green + k), b = Load(blue + k);
    const Lanes mx = Max(Max(r, g), b), mn = Min(Min(r, g), b);
    const Lanes delta = mx - mn;
    Lanes hue = HueOf(r, g, b, mx, delta);
    hue = hue < 0 ? hue + Splat(1) : (hue > 1 ? hue - Splat(1) : hue);
    const LaneInts gray = Wide ? delta <= 0 : delta <= 0.0001;
    Store(m.V + k, mx);
    Store(m.H + k, gray ? Splat(0) : hue);
    Store(m.S + k, gray ? Splat(0) : delta / mx);
  }
}

void ToHSLTile(const double* red, const double* green, const double* blue, ModelTile& m) {
  for (int32_t k = 0; k < kTile; k += 2) {
    const Lanes r = Load(red + k), g = Load(green + k), b = Load(blue + k);
    const Lanes mx = Max(Max(r, g), b), mn = Min(Min(r, g), b);
    const Lanes l = (mn + mx) * Splat(0.5);
    Lanes hue = HueOf(r, g, b, mx, mx - mn);
    hue = hue < 0 ? hue + Splat(1) : hue;
    const Lanes sat = (mx - mn) / (l > 0.5 ? Splat(2) - mx - mn : mx + mn);
    const LaneInts gray = mx == mn;
    Store(m.V + k, l);
    Store(m.H + k, gray ? Splat(0) : hue);
    Store(m.S + k, gray ? Splat(0) : sat);
  }
}

// Samples of the colour, 0..M.
template <bool Wide>
void FromHSVTile(const ModelTile& m, int32_t (&out)[3][kTile]) {
  for (int32_t k = 0; k < kTile; k += 2) {
    const Lanes v = Load(m.V + k), s = Load(m.S + k);
    Lanes hh = Splat(6) * Load(m.H + k);
    hh = hh == 6 ? Splat(0) : hh;
    // The sextant trunc(hh), hh in [0, 6), as the count of steps passed.
    const LaneInts c1 = hh >= 1, c2 = hh >= 2, c3 = hh >= 3, c4 = hh >= 4, c5 = hh >= 5;
    const Lanes one = Splat(1), zero = Splat(0);
    const Lanes i = (c1 ? one : zero) + (c2 ? one : zero) + (c3 ? one : zero) + (c4 ? one : zero) + (c5 ? one : zero);
    const Lanes f = hh - i;
    const Lanes p = v * (one - s);
    const Lanes q = v * (one - f * s);
    const Lanes t = v * (one - (one - f) * s);
    // Sextants 0..5 take (v,t,p) (q,v,p) (p,v,t) (p,q,v) (t,p,v) (v,p,q).
    Lanes r = (c1 & ~c2) ? q : ((c2 & ~c4) ? p : ((c4 & ~c5) ? t : v));
    Lanes g = ~c1 ? t : (~c3 ? v : (~c4 ? q : p));
    Lanes b = ~c2 ? p : (~c3 ? t : (~c5 ? v : q));
    const LaneInts gray = s == 0;
    r = gray ? v : r;
    g = gray ? v : g;
    b = gray ? v : b;
    if constexpr (Wide) {
      StoreInts(out[0] + k, r * Splat(65535));
      StoreInts(out[1] + k, g * Splat(65535));
      StoreInts(out[2] + k, b * Splat(65535));
    } else {
      StoreInts(out[0] + k, r * Splat(255) + Splat(0.5));
      StoreInts(out[1] + k, g * Splat(255) + Splat(0.5));
      StoreInts(out[2] + k, b * Splat(255) + Splat(0.5));
    }
  }
}

inline Lanes HSLChannel(Lanes x, Lanes m1, Lanes m2) {
  x = x > 6 ? x - Splat(6) : (x < 0 ? x + Splat(6) : x);
  return x < 1 ? m1 + (m2 - m1) * x : (x < 3 ? m2 : (x < 4 ? m1 + (m2 - m1) * (Splat(4) - x) : m1));
}

void FromHSLTile(const ModelTile& m, int32_t (&out)[3][kTile]) {
  for (int32_t k = 0; k < kTile; k += 2) {
    const Lanes l = Load(m.V + k), s = Load(m.S + k);
    const Lanes m2 = l <= 0.5 ? l * (Splat(1) + s) : l + s - l * s;
    const Lanes m1 = Splat(2) * l - m2;
    const Lanes hh = Splat(6) * Load(m.H + k);
    const LaneInts gray = s == 0;
    StoreInts(out[0] + k, (gray ? l : HSLChannel(hh + Splat(2), m1, m2)) * Splat(255) + Splat(0.5));
    StoreInts(out[1] + k, (gray ? l : HSLChannel(hh, m1, m2)) * Splat(255) + Splat(0.5));
    StoreInts(out[2] + k, (gray ? l : HSLChannel(hh - Splat(2), m1, m2)) * Splat(255) + Splat(0.5));
  }
}

// Adds the terms: the hue wraps by a whole turn, the others are held to 0..1.
void AddTermsTile(const NoisePlan& n, ModelTile& m, const ModelTile& t) {
  if (n.Amp[kHue]) {
    LaneInts far = {0, 0};
    for (int32_t k = 0; k < kTile; k += 2) {
      Lanes h = Load(m.H + k) + Load(t.H + k);
      h = h < 0 ? h + Splat(1) : (h > 1 ? h - Splat(1) : h);
      far |= (h < 0) | (h > 1);
      Store(m.H + k, h);
    }
    // A term beyond a full turn (amplitudes above 360 or a far gaussian
    // tail) is brought back into 0..1 as well.
    if (far[0] | far[1])
      for (int32_t k = 0; k < kTile; ++k)
        if (m.H[k] < 0 || m.H[k] > 1) m.H[k] -= std::floor(m.H[k]);
  }
  if (n.Amp[kSaturation])
    for (int32_t k = 0; k < kTile; k += 2) Store(m.S + k, Min(Max(Load(m.S + k) + Load(t.S + k), Splat(0)), Splat(1)));
  if (n.Amp[kValue])
    for (int32_t k = 0; k < kTile; k += 2) Store(m.V + k, Min(Max(Load(m.V + k) + Load(t.V + k), Splat(0)), Splat(1)));
}

template <class F, bool HSL, bool Gaussian>
void ColourRows(const NoisePlan& n, const Chunk& c, const mvPicture& source, mvPicture& target, const mvRect& a,
                int32_t top, int32_t bottom) {
  using T = typename F::Sample;
  constexpr int64_t M = F::kMax;
  constexpr uint32_t ch = F::kChannels;
  const int32_t cols = a.Right - a.Left;
  for (int32_t y = top; y < bottom; ++y) {
    const int32_t r = y - c.Top;
    Terms<Gaussian> terms(n, c, r);
    const uint8_t* chosen = n.Masked() ? &c.Chosen[static_cast<int64_t>(r) * cols] : nullptr;
    const T* s = frame::PixelAt<F>(source, a.Left, y);
    T* d = frame::PixelAt<F>(target, a.Left, y);
    if constexpr (!F::kRgb) {
      for (int32_t i = 0; i < cols; ++i, s += ch, d += ch) {
        if (chosen && !chosen[i]) continue;
        int64_t g = s[0];
        if (n.Amp[kValue]) g = ClampTo(g + terms.Gray(kValue, M), M);
        d[0] = static_cast<T>(g);
        if constexpr (F::kAlpha) {
          int64_t al = s[1];
          // A fully transparent pixel stays transparent.
          if (n.AlphaTerm && al != 0) al = ClampTo(al + terms.Sample(kAlpha), M);
          d[1] = static_cast<T>(al);
        }
      }
    } else {
      for (int32_t x0 = 0; x0 < cols; x0 += kTile, s += kTile * ch, d += kTile * ch) {
        const int32_t count = std::min(kTile, cols - x0);
        double red[kTile] = {}, green[kTile] = {}, blue[kTile] = {};
        ModelTile model, term;
        int64_t alpha[kTile];
        // The pixels' samples and their terms, drawn in pixel order.
        for (int32_t k = 0; k < count; ++k) {
          const T* px = s + static_cast<size_t>(k) * ch;
          // 16-bit samples are divided by full scale below, two at a time.
          red[k] = F::kWide ? px[0] : kByteUnits.V[px[0]];
          green[k] = F::kWide ? px[1] : kByteUnits.V[px[1]];
          blue[k] = F::kWide ? px[2] : kByteUnits.V[px[2]];
          if (chosen && !chosen[x0 + k]) continue;
          if (n.Amp[kHue]) term.H[k] = terms.Model(kHue, 360);
          if (n.Amp[kSaturation]) term.S[k] = terms.Model(kSaturation, 100);
          if (n.Amp[kValue]) term.V[k] = terms.Model(kValue, 100);
          if constexpr (F::kAlpha) {
            int64_t al = px[ch - 1];
            // A fully transparent pixel stays transparent.
            if (n.AlphaTerm && al != 0) al = ClampTo(al + terms.Sample(kAlpha), M);
            alpha[k] = al;
          }
        }
        for (int32_t k = count; k < kTile; ++k) term.H[k] = term.S[k] = term.V[k] = 0;
        if constexpr (F::kWide)
          for (int32_t k = 0; k < kTile; k += 2) {
            Store(red + k, Load(red + k) / Splat(65535.0));
            Store(green + k, Load(green + k) / Splat(65535.0));
            Store(blue + k, Load(blue + k) / Splat(65535.0));
          }
        if constexpr (HSL) ToHSLTile(red, green, blue, model);
        else ToHSVTile<F::kWide>(red, green, blue, model);
        AddTermsTile(n, model, term);
        int32_t out[3][kTile];
        if constexpr (HSL) FromHSLTile(model, out);
        else FromHSVTile<F::kWide>(model, out);
        for (int32_t k = 0; k < count; ++k) {
          if (chosen && !chosen[x0 + k]) continue;
          T* o = d + static_cast<size_t>(k) * ch;
          o[0] = static_cast<T>(out[0][k]);
          o[1] = static_cast<T>(out[1][k]);
          o[2] = static_cast<T>(out[2][k]);
          if constexpr (F::kAlpha) o[3] = static_cast<T>(alpha[k]);
        }
      }
    }
  }
}

// Draws chunk by chunk: the first band of each chunk also draws the next
// one, in order, while the other bands of the chunk run beside it.
template <class F, bool HSL>
bool RunNoise(frame::Frame& f, const NoisePlan& n, uint32_t seed) {
  const mvRect a = f.A;
  const int32_t rows = f.Rows(), cols = f.Cols();
  const int64_t wordsPerRow =
      std::max<int64_t>(1, static_cast<int64_t>(cols) * n.MostTermsPerPixel() * n.WordsPerTerm());
  const int32_t chunkRows = static_cast<int32_t>(std::clamp<int64_t>(kChunkWords / wordsPerRow, 1, rows));
  const int32_t chunks = (rows + chunkRows - 1) / chunkRows;
  Chunk chunk[2];
  for (int b = 0; b < (chunks > 1 ? 2 : 1); ++b)
    if (!chunk[b].Chosen.Allocate(n.Masked() ? static_cast<int64_t>(chunkRows) * cols : 0) ||
        !chunk[b].RowTerm.Allocate(chunkRows + 1) || !chunk[b].Words.Allocate(chunkRows * wordsPerRow))
      return false;
  Twister rng(seed);
  auto start = [&](Chunk& c, int32_t k, int64_t firstTerm) {
    c.Top = a.Top + k * chunkRows;
    c.Bottom = std::min(a.Bottom, c.Top + chunkRows);
    c.FirstTerm = firstTerm;
    if (n.Masked()) DrawChosen(n, c, cols);
  };
  start(chunk[0], 0, 0);
  DrawChunk<F>(n, rng, f.Source, a, chunk[0]);
  for (int32_t k = 0; k < chunks; ++k) {
    const Chunk& cur = chunk[k % 2];
    Chunk& next = chunk[(k + 1) % 2];
    const bool more = k + 1 < chunks;
    if (more) start(next, k + 1, cur.FirstTerm + cur.Terms());
    const bool done = f.ForSteps(cur.Bottom - cur.Top, cols, [&](int64_t first, int64_t last) {
      if (first == 0 && more) DrawChunk<F>(n, rng, f.Source, a, next);
      const int32_t top = cur.Top + static_cast<int32_t>(first), bottom = cur.Top + static_cast<int32_t>(last);
      if (n.Gaussian) ColourRows<F, HSL, true>(n, cur, f.Source, f.Target, a, top, bottom);
      else ColourRows<F, HSL, false>(n, cur, f.Source, f.Target, a, top, bottom);
      return true;
    });
    if (!done) return false;
  }
  return true;
}

struct NoiseSettings {
  uint32_t Density;
  uint32_t Amp[4];  // hue, saturation, value or lightness, alpha
};

bool ColorNoise(const NoiseSettings& s, uint32_t seed, bool gaussian, bool hsl, mvPicture& source, mvPicture& target,
                mvProgress* progress) {
  // Each pixel reads only itself: the picture may be its own target.
  frame::Frame f(source, target, progress, frame::Pair::InPlace);
  if (!f.Begin()) return f.Answer();
  f.Announce(f.Rows());
  const uint32_t formats = hsl ? frame::kAnyRgb8 : frame::kRgbOrGray;
  return f.Dispatch(formats, [&](auto fmt) {
    using F = decltype(fmt);
    const NoisePlan n(s.Density, s.Amp, gaussian, F::kRgb, F::kAlpha, F::kMax);
    if constexpr (F::kRgb && !F::kWide)
      if (hsl) return RunNoise<F, true>(f, n, seed);
    return RunNoise<F, false>(f, n, seed);
  });
}

template <class F>
void Remap(const uint16_t* table, const mvPicture& source, mvPicture& target, const mvRect& a, int32_t top,
           int32_t bottom) {
  using T = typename F::Sample;
  constexpr uint32_t ch = F::kChannels;
  constexpr int32_t kTop = static_cast<int32_t>(F::kMax);
  for (int32_t y = top; y < bottom; ++y) {
    const T* s = frame::PixelAt<F>(source, a.Left, y);
    T* d = frame::PixelAt<F>(target, a.Left, y);
    for (int32_t x = a.Left; x < a.Right; ++x, s += ch, d += ch) {
      if constexpr (F::kRgb) {
        int32_t lum, cb, cr;
        if constexpr (!F::kWide) RGBToYCbCrInt(s[0], s[1], s[2], lum, cb, cr);
        else RGB16ToYCbCrInt(s[0], s[1], s[2], lum, cb, cr);
        lum = table[lum < 0 ? 0 : (lum > kTop ? kTop : lum)];
        if constexpr (!F::kWide) YCbCrIntToRGB(lum, cb, cr, d[0], d[1], d[2]);
        else YCbCrIntToRGB16(lum, cb, cr, d[0], d[1], d[2]);
      } else {
        d[0] = static_cast<T>(table[s[0]]);
      }
      if constexpr (F::kAlpha) d[ch - 1] = s[ch - 1];
    }
  }
}

}  // namespace

const mvEffectClass& mvHSVNoiseEffect::Describe() {
  using E = mvHSVNoiseEffect;
  static const mvEffectClass c = mvEffectClass::Make<E>(
      1, "mvHSVNoiseEffect",
      {Field("Density", &E::Density).Clamp(1, 100).Help("percentage of pixels that receive noise"),
       Field("Seed", &E::Seed).Help("seed of the effect's own random numbers"),
       Field("HueAmount", &E::HueAmount).Help("hue amplitude in degrees"),
       Field("SaturationAmount", &E::SaturationAmount).Help("saturation amplitude in percent"),
       Field("ValueAmount", &E::ValueAmount).Help("value (or gray) amplitude in percent"),
       Field("AlphaAmount", &E::AlphaAmount).Help("alpha amplitude in sample units"),
       Field("Gaussian", &E::Gaussian).Help("gaussian instead of uniform noise")});
  return c;
}

const mvEffectClass& mvHSLNoiseEffect::Describe() {
  using E = mvHSLNoiseEffect;
  static const mvEffectClass c = mvEffectClass::Make<E>(
      33, "mvHSLNoiseEffect",
      {Field("Density", &E::Density).Clamp(1, 100).Help("percentage of pixels that receive noise"),
       Field("Seed", &E::Seed).Help("seed of the effect's own random numbers"),
       Field("HueAmount", &E::HueAmount).Help("hue amplitude in degrees"),
       Field("SaturationAmount", &E::SaturationAmount).Help("saturation amplitude in percent"),
       Field("LightnessAmount", &E::LightnessAmount).Help("lightness amplitude in percent"),
       Field("AlphaAmount", &E::AlphaAmount).Help("alpha amplitude in sample units"),
       Field("Gaussian", &E::Gaussian).Help("gaussian instead of uniform noise")});
  return c;
}

const mvEffectClass& mvHistogramNoiseEffect::Describe() {
  using E = mvHistogramNoiseEffect;
  static const mvEffectClass c =
      mvEffectClass::Make<E>(4, "mvHistogramNoiseEffect",
                             {Field("Seed", &E::Seed).Help("seed given to the shared random numbers"),
                              Field("Amount", &E::Amount).Help("amplitude of the per-level offsets in percent")});
  return c;
}

bool mvHSVNoiseEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  const NoiseSettings n{
      Density, {Magnitude(HueAmount), Magnitude(SaturationAmount), Magnitude(ValueAmount), Magnitude(AlphaAmount)}};
  return ColorNoise(n, Seed, Gaussian, false, source, target, progress);
}

bool mvHSLNoiseEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  const NoiseSettings n{
      Density, {Magnitude(HueAmount), Magnitude(SaturationAmount), Magnitude(LightnessAmount), Magnitude(AlphaAmount)}};
  return ColorNoise(n, Seed, Gaussian, true, source, target, progress);
}

bool mvHistogramNoiseEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  // Each pixel reads only itself: the picture may be its own target.
  frame::Frame f(source, target, progress, frame::Pair::InPlace);
  const bool any = f.Begin();
  if (!any && !f.Answer()) return false;
  if (any) f.Announce(f.Rows());
  const int64_t M = source.BitDepth == 16 ? 65535 : 255;
  frame::Buffer<uint16_t> table;
  if (!table.Allocate(M + 1)) return false;
  // The table is drawn for every run, so the shared source always ends in the
  // same state after this effect.
  SharedRandom.Seed(Seed);
  int64_t amp = (static_cast<int64_t>(Magnitude(Amount)) * M) / 100;
  if (amp > INT32_MAX) amp = INT32_MAX;  // keeps 2a + 1 within one 32-bit draw
  const uint32_t span = static_cast<uint32_t>(2 * amp + 1);
  for (int64_t v = 0; v <= M; ++v) {
    const int64_t r = SharedRandom.NextInt(span);
    table[v] = static_cast<uint16_t>(ClampTo(v + r - amp, M));
  }
  if (!any) return true;
  return f.Dispatch(frame::kRgbOrGray, [&](auto fmt) {
    return f.ForRows([&](int32_t top, int32_t bottom) {
      Remap<decltype(fmt)>(table.Get(), source, target, f.A, top, bottom);
      return true;
    });
  });
}

void RegisterNoiseEffects(mvEffectRegistry& registry) {
  registry.Add(mvHSVNoiseEffect::Describe());
  registry.Add(mvHSLNoiseEffect::Describe());
  registry.Add(mvHistogramNoiseEffect::Describe());
}

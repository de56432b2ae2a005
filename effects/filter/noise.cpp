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

// The pixels are noise to the branch predictor, and a mispredicted test of
// a quotient stalls every pixel behind it; so the choices below compute
// each candidate and pick one without a branch. Pick stores both and loads
// one by index, which compilers do not turn back into a branch.
template <class V>
inline V Pick(bool c, V a, V b) {
  const V v[2] = {b, a};
  return v[c];
}

// One hue correction by a whole turn; a term beyond a full turn (amplitudes
// above 360 or a far gaussian tail) is brought back into 0..1 as well, since
// the colour conversions expect a hue there.
inline double WrapHue(double h) {
  h = Pick(h < 0, h + 1, Pick(h > 1, h - 1, h));
  if (h < 0 || h > 1) h -= std::floor(h);
  return h;
}

// v < 0 ? 0 : (v > 1 ? 1 : v), NaN kept, as max and min.
inline double Clamp01(double v) { return std::min(std::max(v, 0.0), 1.0); }

// ---- colour models ---------------------------------------------------------------

// The conversions of core/color.h, written out here so that they inline into
// the pixel loop, with the same operations in the same order (the hue of
// tied components depends on it). 8-bit samples take their 0..1 value from
// a table of the same quotients.
struct ByteUnits {
  double V[256];
  ByteUnits() {
    for (int i = 0; i < 256; ++i) V[i] = i / 255.0;
  }
};
const ByteUnits kByteUnits;

template <class T>
double UnitOf(T v) {
  if constexpr (sizeof(T) == 1)
    return kByteUnits.V[v];
  else
    return v / 65535.0;
}

// max and min are the values the fixed comparison order picks (tied
// components are equal); the hue then tests the components in that order.
inline double Hue(double r, double g, double b, double mx, double delta) {
  const int k = mx == r ? 0 : (mx == g ? 1 : 2);
  const double num[3] = {g - b, b - r, r - g};
  // num / delta is never -0, so adding 0 for red leaves it as it was.
  return (num[k] / delta + 2.0 * k) / 6;
}

// 8-bit colours count a spread of at most 0.0001 as gray; 16-bit ones only none.
template <class T>
inline void ToHSV(T R, T G, T B, double& h, double& s, double& v) {
  const double r = UnitOf(R), g = UnitOf(G), b = UnitOf(B);
  const double mx = std::max(std::max(r, g), b), mn = std::min(std::min(r, g), b);
  const double delta = mx - mn;
  v = mx;
  const bool gray = sizeof(T) == 1 ? delta <= 0.0001 : delta <= 0;
  double hue = Hue(r, g, b, mx, delta);
  hue = Pick(hue < 0, hue + 1, Pick(hue > 1, hue - 1, hue));
  h = Pick(gray, 0.0, hue);
  s = Pick(gray, 0.0, delta / mx);
}

template <class T>
inline void FromHSV(double h, double s, double v, T& R, T& G, T& B) {
  double hh = 6 * h;
  hh = Pick(hh == 6, 0.0, hh);
  const int i = static_cast<int>(hh);
  const double f = hh - i;
  const double p = v * (1 - s);
  const double q = v * (1 - f * s);
  const double t = v * (1 - (1 - f) * s);
  // Sextants 0..5 take (v,t,p) (q,v,p) (p,v,t) (p,q,v) (t,p,v) (v,p,q);
  // any other index the last; a gray (s == 0) takes v thrice.
  const double vals[4] = {v, p, q, t};
  static constexpr uint8_t kR[7] = {0, 2, 1, 1, 3, 0, 0}, kG[7] = {3, 0, 0, 2, 1, 1, 0}, kB[7] = {1, 1, 3, 0, 0, 2, 0};
  int k = static_cast<unsigned>(i) > 5 ? 5 : i;
  k = s == 0 ? 6 : k;
  const double r = vals[kR[k]], g = vals[kG[k]], b = vals[kB[k]];
  if constexpr (sizeof(T) == 1) {
    R = static_cast<T>(static_cast<int32_t>(r * 255 + 0.5));
    G = static_cast<T>(static_cast<int32_t>(g * 255 + 0.5));
    B = static_cast<T>(static_cast<int32_t>(b * 255 + 0.5));
  } else {
    R = static_cast<T>(r * 65535);
    G = static_cast<T>(g * 65535);
    B = static_cast<T>(b * 65535);
  }
}

inline void ToHSL(uint8_t R, uint8_t G, uint8_t B, double& h, double& s, double& l) {
  const double r = UnitOf(R), g = UnitOf(G), b = UnitOf(B);
  const double mx = std::max(std::max(r, g), b), mn = std::min(std::min(r, g), b);
  l = (mn + mx) * 0.5;
  const bool gray = mx == mn;
  const double den[2] = {mx + mn, 2 - mx - mn};
  const double sat = (mx - mn) / den[l > 0.5];
  double hue = Hue(r, g, b, mx, mx - mn);
  hue = Pick(hue < 0, hue + 1, hue);
  h = Pick(gray, 0.0, hue);
  s = Pick(gray, 0.0, sat);
}

inline double HSLChannel(double x, double m1, double m2) {
  x = Pick(x > 6, x - 6, Pick(x < 0, x + 6, x));
  // Below 1, below 3, below 4, else (NaN too).
  const int k = 3 - (x < 4) - (x < 3) - (x < 1);
  const double vals[4] = {m1 + (m2 - m1) * x, m2, m1 + (m2 - m1) * (4 - x), m1};
  return vals[k];
}

inline void FromHSL(double h, double s, double l, uint8_t& R, uint8_t& G, uint8_t& B) {
  const double m2 = Pick(l <= 0.5, l * (1 + s), l + s - l * s);
  const double m1 = 2 * l - m2;
  const double hh = 6 * h;
  const bool gray = s == 0;
  const double r = Pick(gray, l, HSLChannel(hh + 2, m1, m2));
  const double g = Pick(gray, l, HSLChannel(hh, m1, m2));
  const double b = Pick(gray, l, HSLChannel(hh - 2, m1, m2));
  R = static_cast<uint8_t>(static_cast<int32_t>(r * 255 + 0.5));
  G = static_cast<uint8_t>(static_cast<int32_t>(g * 255 + 0.5));
  B = static_cast<uint8_t>(static_cast<int32_t>(b * 255 + 0.5));
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
  uint32_t Span[4] = {0, 0, 0, 0};   // 2A + 1
  uint32_t Limit[4] = {0, 0, 0, 0};  // the largest word NextInt(Span) accepts
  uint32_t Lowest = UINT32_MAX;      // the smallest limit of an active kind
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
  int64_t FirstTerm = 0;          // terms of the chunks before: the gaussian's phase
  frame::Buffer<uint8_t> Chosen;  // per pixel, when the density test draws
  frame::Buffer<int64_t> RowTerm; // the first term of each row, then the end
  frame::Buffer<uint32_t> Words;  // uniform: the accepted word of each term; gaussian: two per term
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
    if (regular)
      t += static_cast<int64_t>(cols) * n.ColourTerms;
    else
      ForDrawingPixels<F>(n, c, src, a, r, [&](bool alphaTerm) { t += n.ColourTerms + (alphaTerm ? 1 : 0); });
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
    if constexpr (Gaussian)
      return TruncSafe((Gauss() * kInvPi) * N.Amp[kind]);
    else
      return Uniform(kind);
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
    for (int32_t i = 0; i < cols; ++i, s += ch, d += ch) {
      if (chosen && !chosen[i]) continue;
      if constexpr (F::kRgb) {
        double h, sat, v;
        if constexpr (HSL)
          ToHSL(s[0], s[1], s[2], h, sat, v);
        else
          ToHSV(s[0], s[1], s[2], h, sat, v);
        if (n.Amp[kHue]) h = WrapHue(h + terms.Model(kHue, 360));
        if (n.Amp[kSaturation]) sat = Clamp01(sat + terms.Model(kSaturation, 100));
        if (n.Amp[kValue]) v = Clamp01(v + terms.Model(kValue, 100));
        if constexpr (HSL)
          FromHSL(h, sat, v, d[0], d[1], d[2]);
        else
          FromHSV(h, sat, v, d[0], d[1], d[2]);
      } else {
        int64_t g = s[0];
        if (n.Amp[kValue]) g = ClampTo(g + terms.Gray(kValue, M), M);
        d[0] = static_cast<T>(g);
      }
      if constexpr (F::kAlpha) {
        int64_t al = s[ch - 1];
        // A fully transparent pixel stays transparent.
        if (n.AlphaTerm && al != 0) al = ClampTo(al + terms.Sample(kAlpha), M);
        d[ch - 1] = static_cast<T>(al);
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
  const int64_t wordsPerRow = std::max<int64_t>(1, static_cast<int64_t>(cols) * n.MostTermsPerPixel() * n.WordsPerTerm());
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
      if (n.Gaussian)
        ColourRows<F, HSL, true>(n, cur, f.Source, f.Target, a, top, bottom);
      else
        ColourRows<F, HSL, false>(n, cur, f.Source, f.Target, a, top, bottom);
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

bool ColorNoise(const NoiseSettings& s, uint32_t seed, bool gaussian, bool hsl, mvPicture& source,
                mvPicture& target, mvProgress* progress) {
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
        if constexpr (!F::kWide)
          RGBToYCbCrInt(s[0], s[1], s[2], lum, cb, cr);
        else
          RGB16ToYCbCrInt(s[0], s[1], s[2], lum, cb, cr);
        lum = table[lum < 0 ? 0 : (lum > kTop ? kTop : lum)];
        if constexpr (!F::kWide)
          YCbCrIntToRGB(lum, cb, cr, d[0], d[1], d[2]);
        else
          YCbCrIntToRGB16(lum, cb, cr, d[0], d[1], d[2]);
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
      {Field("Density", &E::Density).Clamp(1, 100).Describe("percentage of pixels that receive noise"),
       Field("Seed", &E::Seed).Describe("seed of the effect's own random numbers"),
       Field("HueAmount", &E::HueAmount).Describe("hue amplitude in degrees"),
       Field("SaturationAmount", &E::SaturationAmount).Describe("saturation amplitude in percent"),
       Field("ValueAmount", &E::ValueAmount).Describe("value (or gray) amplitude in percent"),
       Field("AlphaAmount", &E::AlphaAmount).Describe("alpha amplitude in sample units"),
       Field("Gaussian", &E::Gaussian).Describe("gaussian instead of uniform noise")});
  return c;
}

const mvEffectClass& mvHSLNoiseEffect::Describe() {
  using E = mvHSLNoiseEffect;
  static const mvEffectClass c = mvEffectClass::Make<E>(
      33, "mvHSLNoiseEffect",
      {Field("Density", &E::Density).Clamp(1, 100).Describe("percentage of pixels that receive noise"),
       Field("Seed", &E::Seed).Describe("seed of the effect's own random numbers"),
       Field("HueAmount", &E::HueAmount).Describe("hue amplitude in degrees"),
       Field("SaturationAmount", &E::SaturationAmount).Describe("saturation amplitude in percent"),
       Field("LightnessAmount", &E::LightnessAmount).Describe("lightness amplitude in percent"),
       Field("AlphaAmount", &E::AlphaAmount).Describe("alpha amplitude in sample units"),
       Field("Gaussian", &E::Gaussian).Describe("gaussian instead of uniform noise")});
  return c;
}

const mvEffectClass& mvHistogramNoiseEffect::Describe() {
  using E = mvHistogramNoiseEffect;
  static const mvEffectClass c = mvEffectClass::Make<E>(
      4, "mvHistogramNoiseEffect",
      {Field("Seed", &E::Seed).Describe("seed given to the shared random numbers"),
       Field("Amount", &E::Amount).Describe("amplitude of the per-level offsets in percent")});
  return c;
}

bool mvHSVNoiseEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  const NoiseSettings n{Density,
                        {Magnitude(HueAmount), Magnitude(SaturationAmount), Magnitude(ValueAmount), Magnitude(AlphaAmount)}};
  return ColorNoise(n, Seed, Gaussian, false, source, target, progress);
}

bool mvHSLNoiseEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  const NoiseSettings n{Density, {Magnitude(HueAmount), Magnitude(SaturationAmount), Magnitude(LightnessAmount),
                                  Magnitude(AlphaAmount)}};
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

#include "effects/render/cloud.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <utility>
#include <vector>

#include "core/parallel.h"
#include "core/random.h"
#include "effects/frame.h"
#include "effects/render/paint.h"

// ---- cloud -----------------------------------------------------------------------

const mvEffectClass& mvCloudEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvCloudEffect>(
      138, "mvCloudEffect",
      {Field("Color1", &mvCloudEffect::Color1).Help("colour where the noise is 1"),
       Field("Color2", &mvCloudEffect::Color2).Help("colour where the noise is 0"),
       Field("Seamless", &mvCloudEffect::Seamless).Flag(0).Help("the noise lattice wraps so the result tiles"),
       Field("Turbulence", &mvCloudEffect::Turbulence).Flag(1).Help("octaves summed as absolute values"),
       Field("Detail", &mvCloudEffect::Detail).Help("number of octaves minus one"),
       Field("ScaleX", &mvCloudEffect::ScaleX).Help("lattice cells across, in tenths"),
       Field("ScaleY", &mvCloudEffect::ScaleY).Help("lattice cells down, in tenths"),
       Field("Seed", &mvCloudEffect::Seed).NotStreamed().NotCompared().Help("seed of the noise tables")});
  return c;
}

namespace {

// Octaves above this add less than 2^-30 each while their lattice coordinates
// would run out of integer range; the octave count is limited to it.
constexpr int32_t kMaxCloudDetail = 30;

// Two-dimensional gradient noise over a 64-entry permutation.
struct CloudNoise {
  int32_t P[64];
  double Gx[64], Gy[64];
  bool Seamless = false;
  int64_t Px = 1, Py = 1;

  void Build(mvRandom& random) {
    for (int32_t i = 0; i < 64; ++i) P[i] = i;
    for (int32_t i = 0; i < 32; ++i) {
      const uint32_t a = random.Next() & 63;
      const uint32_t b = random.Next() & 63;
      std::swap(P[a], P[b]);
    }
    for (int32_t i = 0; i < 64; ++i) {
      double gx, gy, len2;
      do {
        gx = 2 * (random.Next() / 4294967295.0) - 1;
        gy = 2 * (random.Next() / 4294967295.0) - 1;
        len2 = gx * gx + gy * gy;
      } while (!(len2 > 0 && len2 <= 1));
      const double len = std::sqrt(len2);
      Gx[i] = gx / len;
      Gy[i] = gy / len;
    }
  }

  static double S(double t) { return (2 * std::fabs(t) - 3) * (t * t) + 1; }
};

// One lattice axis of one octave at one position: the distances to the two
// lattice lines around it (d0 = frac, d1 = frac - 1), their falloffs, and
// the parts of the permutation index the two lines give. Along x these are
// the lines' own indexes (mod 64); along y, the permutation of the row.
struct Axis {
  double D0, D1, S0, S1;
  int32_t I0, I1;
};

// The axis of position t at octave frequency f; wrap > 0 is the lattice
// period of a seamless noise at this octave.
inline Axis AxisAt(double t, int64_t f, int64_t wrap, const int32_t* permutation) {
  const double T = t * static_cast<double>(f);
  const double fl = std::floor(T);
  const int64_t l = static_cast<int64_t>(fl);
  Axis a;
  a.D0 = T - fl;
  a.D1 = a.D0 - 1;
  a.S0 = CloudNoise::S(a.D0);
  a.S1 = CloudNoise::S(a.D1);
  // Lattice coordinates are taken mod 64 as two's complement bits, which
  // the sum that indexes the permutation keeps.
  const int64_t l0 = wrap > 0 ? l % wrap : l, l1 = wrap > 0 ? (l + 1) % wrap : l + 1;
  if (permutation) {
    a.I0 = permutation[l0 & 63];
    a.I1 = permutation[l1 & 63];
  } else {
    a.I0 = static_cast<int32_t>(l0 & 63);
    a.I1 = static_cast<int32_t>(l1 & 63);
  }
  return a;
}

// Gray of a colour taken at 8 bits.
uint32_t Gray8(const mvColor& c) {
  uint8_t raw[4] = {};
  if (!ConvertColor(ColorTypeRGB, c, 8, 4, raw)) return 0;
  return (77u * raw[0] + 151u * raw[1] + 28u * raw[2]) >> 8;
}

}  // namespace

bool mvCloudEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  frame::Frame f(source, target, progress, frame::Pair::InPlace);
  if (!f.Begin()) return f.Answer();
  if (!(frame::FormatOf(target) & frame::kRgbOrGray)) return true;
  const bool gray = target.ColorType == ColorTypeGray;
  const render::PaintColor p1 = render::ToPictureColor(target, Color1);
  const render::PaintColor p2 = render::ToPictureColor(target, Color2);
  if (!p1.Ok || !p2.Ok) return true;
  uint64_t c1[3], c2[3];
  if (gray) {
    const uint32_t scale = target.BitDepth == 16 ? 257 : 1;
    c1[0] = Gray8(Color1) * scale;
    c2[0] = Gray8(Color2) * scale;
  } else {
    for (int i = 0; i < 3; ++i) {
      c1[i] = p1.S[i];
      c2[i] = p2.S[i];
    }
  }
  const uint64_t a1 = p1.Alpha, a2 = p2.Alpha;

  mvRandom& random = SharedRandom;
  random.Seed(Seed);
  CloudNoise noise;
  double sx, sy;
  if (!Seamless) {
    sx = ScaleX / 10.0;
    sy = ScaleY / 10.0;
  } else {
    sx = std::ceil(ScaleX / 10.0);
    sy = std::ceil(ScaleY / 10.0);
    noise.Seamless = true;
    // A period below one cell cannot wrap anything; it is taken as one.
    noise.Px = std::max<int64_t>(static_cast<int64_t>(sx), 1);
    noise.Py = std::max<int64_t>(static_cast<int64_t>(sy), 1);
  }
  noise.Build(random);
  const int32_t octaves = std::max(std::min(Detail, kMaxCloudDetail), -1) + 1;
  const int32_t W = f.Cols(), H = f.Rows();

  // The x axis of every column at every octave: a row's pixels differ only
  // in it.
  frame::Buffer<Axis> columns;
  if (octaves > 0 && !columns.Allocate(int64_t{W} * octaves)) return false;
  for (int32_t o = 0; o < octaves; ++o) {
    const int64_t fr = int64_t{1} << o;
    for (int32_t i = 0; i < W; ++i) {
      const double u = static_cast<double>(i) / W;
      columns[int64_t{o} * W + i] = AxisAt(sx * u, fr, Seamless ? noise.Px * fr : 0, nullptr);
    }
  }

  return f.Dispatch(frame::kRgbOrGray, [&](auto fmt) {
    using F = decltype(fmt);
    using T = typename F::Sample;
    constexpr uint64_t M = F::kMax;
    constexpr uint32_t ch = F::kChannels, colours = F::kColours;
    f.Announce(H);
    return f.ForRows([&](int32_t top, int32_t bottom) {
      frame::Buffer<double> sums;
      frame::Buffer<Axis> rows;
      if (!sums.Allocate(W) || !rows.Allocate(octaves)) return false;
      for (int32_t y = top; y < bottom; ++y) {
        const int32_t j = y - f.A.Top;
        const double v = static_cast<double>(j) / H;
        for (int32_t o = 0; o < octaves; ++o) {
          const int64_t fr = int64_t{1} << o;
          rows[o] = AxisAt(sy * v, fr, Seamless ? noise.Py * fr : 0, noise.P);
        }
        for (int32_t i = 0; i < W; ++i) sums[i] = 0;
        for (int32_t o = 0; o < octaves; ++o) {
          const Axis& r = rows[o];
          const Axis* col = columns.Get() + int64_t{o} * W;
          // Dividing by the octave's power of two is exact, as is
          // multiplying by its inverse: the two give the same bits.
          const double inverse = 1.0 / static_cast<double>(int64_t{1} << o);
          for (int32_t i = 0; i < W; ++i) {
            const Axis& c = col[i];
            // Corners (0, 0), (1, 0), (0, 1), (1, 1), summed in that order.
            const int32_t h00 = noise.P[(r.I0 + c.I0) & 63], h10 = noise.P[(r.I0 + c.I1) & 63];
            const int32_t h01 = noise.P[(r.I1 + c.I0) & 63], h11 = noise.P[(r.I1 + c.I1) & 63];
            const double k00 = (c.D0 * noise.Gx[h00] + r.D0 * noise.Gy[h00]) * c.S0 * r.S0;
            const double k10 = (c.D1 * noise.Gx[h10] + r.D0 * noise.Gy[h10]) * c.S1 * r.S0;
            const double k01 = (c.D0 * noise.Gx[h01] + r.D1 * noise.Gy[h01]) * c.S0 * r.S1;
            const double k11 = (c.D1 * noise.Gx[h11] + r.D1 * noise.Gy[h11]) * c.S1 * r.S1;
            double n = (k00 + k10 + k01 + k11) * inverse;
            if (Turbulence) n = std::fabs(n);
            sums[i] += n;
          }
        }
        const T* s = frame::PixelAt<F>(f.Source, f.A.Left, y);
        T* d = frame::PixelAt<F>(f.Target, f.A.Left, y);
        for (int32_t i = 0; i < W; ++i, s += ch, d += ch) {
          const double sum = sums[i];
          const double value = Turbulence ? sum : (sum + 0.94) * 0.526;
          // Noise can overshoot its nominal range; k is held to it so the
          // colour cannot wrap.
          const double kd = std::floor(value * static_cast<double>(M));
          const uint64_t k = kd <= 0 ? 0 : (kd >= static_cast<double>(M) ? M : static_cast<uint64_t>(kd));
          const uint64_t a = (a2 * (M - k) + a1 * k) / M;
          if constexpr (!F::kAlpha) {
            for (uint32_t c = 0; c < colours; ++c) {
              const uint64_t S = (c2[c] * (M - k) + c1[c] * k) * a;
              d[c] = static_cast<T>((s[c] * (M - a) + S / M) / M);
            }
          } else {
            const uint64_t sa = s[colours];
            for (uint32_t c = 0; c < colours; ++c) {
              const uint64_t S = (c2[c] * (M - k) + c1[c] * k) * a;
              d[c] = static_cast<T>((s[c] * sa * (M - a) + S) / (M * M));
            }
            d[colours] = static_cast<T>((M - sa) * a / M + sa);
          }
        }
      }
      return true;
    });
  });
}

// ---- plasma ----------------------------------------------------------------------

const mvEffectClass& mvPlasmaEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvPlasmaEffect>(
      139, "mvPlasmaEffect",
      {Field("Seed", &mvPlasmaEffect::Seed).Help("seed of all random draws"),
       Field("Roughness", &mvPlasmaEffect::Roughness).ZeroBecomesOne().Help("displacement strength in tenths"),
       Field("Grayscale", &mvPlasmaEffect::Grayscale).Flag(0).Help("random values are gray"),
       Field("Seamless", &mvPlasmaEffect::Seamless).Flag(1).Help("right and bottom edges continue the left and top")});
  return c;
}

namespace {

// Levels deeper than this cannot occur: every level halves a side of at
// most 2^31 pixels.
constexpr int32_t kPlasmaLevels = 64;

// The displacement draws of a plasma in order. The subdivision reads the
// pixels its earlier steps wrote, so it runs on one thread; but every pass
// of it draws NextInt(bound of the pass) a number of times its rectangle
// alone decides, so the draws can be made ahead, in order, by another
// thread of the pool while the pixels are worked. Whichever thread needs
// the next chunk and finds it missing makes it, so one thread alone (or a
// helper that never starts) still gets every draw in sequence.
class PlasmaDraws {
public:
  struct Pass {
    int64_t Count;   // draws in the pass
    uint32_t Bound;  // NextInt bound of the pass
  };

  PlasmaDraws(const mvRandom& random, std::vector<Pass> passes) : Random(random), Passes(std::move(passes)) {
    for (const Pass& p : Passes) Total += p.Count;
    Chunks = (Total + kChunk - 1) / kChunk;
  }

  bool Allocate() { return Ring.Allocate(kRing * kChunk); }

  // The next draw; the subdivision's thread only.
  uint32_t Next() {
    if (At == Last) Advance();
    return *At++;
  }

  // Makes chunks ahead while the subdivision runs; returns when all are
  // made, when the subdivision has ended, or when the ring is full before
  // the subdivision has started (it may be waiting for this very thread).
  void Help() {
    std::unique_lock<std::mutex> lock(Mutex);
    for (;;) {
      const int64_t made = Made.load(std::memory_order_relaxed);
      if (made == Chunks || Ended) return;
      if (made - Used >= kRing) {
        if (!Started && !Freed.wait_for(lock, std::chrono::milliseconds(2), [&] { return Started || Ended; })) return;
        Freed.wait(lock, [&] { return Made.load(std::memory_order_relaxed) - Used < kRing || Ended; });
        continue;
      }
      MakeLocked();
    }
  }

  void Start() {
    std::lock_guard<std::mutex> lock(Mutex);
    Started = true;
    Freed.notify_all();
  }
  // Ends the helper; answers the source as the draws leave it.
  const mvRandom& Finish() {
    std::lock_guard<std::mutex> lock(Mutex);
    Ended = true;
    Freed.notify_all();
    return Random;
  }

private:
  static constexpr int64_t kChunk = 1 << 14, kRing = 16;

  // Kept out of line so that Next stays small enough to inline.
  [[gnu::noinline]] void Advance() {
    {
      std::lock_guard<std::mutex> lock(Mutex);
      if (Current >= 0) Used = Current + 1;
      Freed.notify_all();
      ++Current;
      if (Made.load(std::memory_order_acquire) <= Current) MakeLocked();
    }
    uint32_t* chunk = Ring.Get() + (Current % kRing) * kChunk;
    At = chunk;
    Last = chunk + std::min(kChunk, Total - Current * kChunk);
  }

  // Makes the next chunk in order; the mutex is held.
  void MakeLocked() {
    const int64_t c = Made.load(std::memory_order_relaxed);
    uint32_t* out = Ring.Get() + (c % kRing) * kChunk;
    const int64_t n = std::min(kChunk, Total - c * kChunk);
    for (int64_t i = 0; i < n;) {
      while (Left == 0) Left = Passes[static_cast<size_t>(++PassIndex)].Count;
      const uint32_t bound = Passes[static_cast<size_t>(PassIndex)].Bound;
      const int64_t run = std::min(Left, n - i);
      for (uint32_t *o = out + i, *end = o + run; o != end; ++o) *o = Random.NextInt(bound);
      i += run;
      Left -= run;
    }
    Made.store(c + 1, std::memory_order_release);
  }

  mvRandom Random;
  std::vector<Pass> Passes;
  int64_t Total = 0, Chunks = 0;
  frame::Buffer<uint32_t> Ring;
  // Producing side, under the mutex.
  std::mutex Mutex;
  std::condition_variable Freed;
  std::atomic<int64_t> Made{0};
  int64_t Used = 0, Left = 0, PassIndex = -1;
  bool Started = false, Ended = false;
  // Consuming side.
  int64_t Current = -1;
  uint32_t *At = nullptr, *Last = nullptr;
};

template <class F>
class Plasma {
public:
  using T = typename F::Sample;

  Plasma(mvPicture& p, bool grayscale, bool seamless, int32_t roughness)
      : Pic(p), Gray(F::kColours == 1 || grayscale), Seamless(seamless) {
    // The displacement range of each level, evaluated in doubles left to
    // right and limited so that range + 1 is a valid draw bound (a negative
    // roughness displaces nothing).
    for (int32_t level = 1; level < kPlasmaLevels; ++level) {
      const double r = static_cast<double>(F::kMax + 1) / (2.0 * level) * roughness / 10;
      Range[level] = r <= 0 ? 0 : (r >= 4294967294.0 ? 4294967294 : static_cast<int64_t>(r));
    }
  }

  struct Px {
    int64_t S[3] = {0, 0, 0};
  };

  // Seeds the corners, middles and centre of the area from the source.
  void Seed(const mvRect& a, mvRandom& random) {
    const int32_t x0 = a.Left, y0 = a.Top, x1 = a.Right - 1, y1 = a.Bottom - 1;
    const int32_t mx = x0 + (x1 - x0) / 2, my = y0 + (y1 - y0) / 2;
    auto value = [&] {
      Px v;
      const int64_t scale = F::kWide ? 257 : 1;
      if (Gray) {
        const int64_t s = (random.Next() & 255) * scale;
        v.S[0] = v.S[1] = v.S[2] = s;
      } else {
        for (int i = 0; i < 3; ++i) v.S[i] = (random.Next() & 255) * scale;
      }
      return v;
    };
    if (!Seamless) {
      const int32_t at[9][2] = {{x0, y0}, {x1, y0}, {x0, y1}, {x1, y1}, {mx, my},
                                {x0, my}, {x1, my}, {mx, y0}, {mx, y1}};
      for (const auto& p : at) Put(p[0], p[1], value());
    } else {
      const Px corner = value();
      Put(x0, y0, corner);
      Put(x1, y0, corner);
      Put(x0, y1, corner);
      Put(x1, y1, corner);
      Put(mx, my, value());
      const Px side = value();
      Put(x0, my, side);
      Put(x1, my, side);
      const Px edge = value();
      Put(mx, y0, edge);
      Put(mx, y1, edge);
    }
  }

  // The passes of the subdivision with their draws: pass d splits the area
  // into 4^d cells of level d (cells of one side's intervals by the other's);
  // a cell draws two displacements for each side it has and one for its
  // centre unless it is a single pixel, each one draw for gray values and
  // three for colours. The passes go on while the last cell of the last
  // one is at least three pixels on a side.
  std::vector<PlasmaDraws::Pass> Passes(const mvRect& a) const {
    std::vector<PlasmaDraws::Pass> passes;
    // Interval lengths along each side with their counts; at most two
    // lengths occur at any depth.
    std::vector<std::pair<int64_t, int64_t>> xs{{a.Right - 1 - a.Left, 1}}, ys{{a.Bottom - 1 - a.Top, 1}};
    int64_t lastX = xs[0].first, lastY = ys[0].first;
    auto split = [](const std::vector<std::pair<int64_t, int64_t>>& in) {
      std::vector<std::pair<int64_t, int64_t>> out;
      auto add = [&](int64_t length, int64_t count) {
        for (auto& o : out)
          if (o.first == length) {
            o.second += count;
            return;
          }
        out.emplace_back(length, count);
      };
      for (const auto& [length, count] : in) {
        add(length / 2, count);
        add(length - length / 2, count);
      }
      return out;
    };
    auto sides = [](const std::vector<std::pair<int64_t, int64_t>>& v) {
      int64_t n = 0;
      for (const auto& [length, count] : v) n += length > 0 ? count : 0;
      return n;
    };
    const int64_t perDisplace = Gray ? 1 : 3;
    for (int32_t depth = 1;; ++depth) {
      xs = split(xs);
      ys = split(ys);
      lastX -= lastX / 2;
      lastY -= lastY / 2;
      const int64_t cells = int64_t{1} << depth;  // per side
      const int64_t ax = sides(xs), ay = sides(ys);
      const int64_t displaces = 2 * ax * cells + 2 * ay * cells + (cells * cells - (cells - ax) * (cells - ay));
      passes.push_back({displaces * perDisplace, static_cast<uint32_t>(Range[depth] + 1)});
      const bool more = !(lastX == 0 && lastY == 0) && !(lastX < 3 && lastY < 3);
      if (!more) break;
    }
    return passes;
  }

  // Runs the passes, drawing from draws when given, else from random as it
  // goes (one thread: the draws then overlap the pixel work's waits); false
  // when the sink asked to stop between two passes.
  bool Run(const mvRect& a, PlasmaDraws* draws, mvRandom& random, const frame::Frame& f) {
    Draws = draws;
    Random = &random;
    const int32_t x0 = a.Left, y0 = a.Top, x1 = a.Right - 1, y1 = a.Bottom - 1;
    for (int32_t depth = 1; Subdivide(x0, y0, x1, y1, depth, 0); ++depth)
      if (f.Stopped()) return false;
    return true;
  }

private:
  Px Get(int32_t x, int32_t y) const {
    const T* p = frame::PixelAt<F>(Pic, x, y);
    Px v;
    for (uint32_t i = 0; i < F::kColours; ++i) v.S[i] = p[i];
    return v;
  }
  void Put(int32_t x, int32_t y, const Px& v) {
    T* p = frame::PixelAt<F>(Pic, x, y);
    for (uint32_t i = 0; i < F::kColours; ++i) p[i] = static_cast<T>(v.S[i]);
    if constexpr (F::kAlpha) p[F::kColours] = static_cast<T>(F::kMax);
  }
  static Px Average(const Px& a, const Px& b) {
    Px v;
    for (int i = 0; i < 3; ++i) v.S[i] = (a.S[i] + b.S[i]) >> 1;
    return v;
  }
  Px Displace(Px v, int32_t level) {
    const int64_t half = Range[level] / 2;
    const uint32_t bound = static_cast<uint32_t>(Range[level] + 1);
    auto shift = [&](int64_t s) {
      const uint32_t r = Draws ? Draws->Next() : Random->NextInt(bound);
      return std::clamp<int64_t>(s - half + int64_t{r}, 0, F::kMax);
    };
    if (Gray) {
      const int64_t s = shift(v.S[0]);
      v.S[0] = v.S[1] = v.S[2] = s;
    } else {
      for (int i = 0; i < 3; ++i) v.S[i] = shift(v.S[i]);
    }
    return v;
  }

  bool Subdivide(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t depth, int32_t level) {
    if (x0 >= x1 && y0 >= y1) return false;
    const int32_t mx = x0 + (x1 - x0) / 2, my = y0 + (y1 - y0) / 2;
    if (depth > 0) {
      Subdivide(x0, y0, mx, my, depth - 1, level + 1);
      Subdivide(x0, my, mx, y1, depth - 1, level + 1);
      Subdivide(mx, y0, x1, my, depth - 1, level + 1);
      return Subdivide(mx, my, x1, y1, depth - 1, level + 1);
    }
    const Px c00 = Get(x0, y0), c01 = Get(x0, y1), c10 = Get(x1, y0), c11 = Get(x1, y1);
    if (x0 != x1) {
      Put(x0, my, Displace(Average(c00, c01), level));
      const Px right = Seamless && x1 == Pic.Width - 1 ? Get(0, my) : Average(c10, c11);
      Put(x1, my, Displace(right, level));
    }
    if (y0 != y1) {
      const Px bottom = Seamless && y1 == Pic.Height - 1 ? Get(mx, 0) : Average(c01, c11);
      Put(mx, y1, Displace(bottom, level));
      Put(mx, y0, Displace(Average(c00, c10), level));
    }
    if (!(x0 == x1 && y0 == y1)) Put(mx, my, Displace(Average(Average(c00, c11), Average(c01, c10)), level));
    return !(x1 - x0 < 3 && y1 - y0 < 3);
  }

  mvPicture& Pic;
  bool Gray, Seamless;
  int64_t Range[kPlasmaLevels] = {};
  PlasmaDraws* Draws = nullptr;
  mvRandom* Random = nullptr;
};

}  // namespace

bool mvPlasmaEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  frame::Frame f(source, target, progress, frame::Pair::InPlace);
  if (!f.Begin()) return f.Answer();
  // Seed points need two distinct columns and rows.
  if (!(frame::FormatOf(target) & frame::kRgbOrGray) || f.Cols() < 2 || f.Rows() < 2) return true;
  mvRandom& random = SharedRandom;
  random.Seed(Seed);
  return f.Dispatch(frame::kRgbOrGray, [&](auto fmt) {
    Plasma<decltype(fmt)> plasma(target, Grayscale, Seamless, Roughness);
    plasma.Seed(f.A, random);
    if (parallel::ThreadCount() == 1) return plasma.Run(f.A, nullptr, random, f);
    PlasmaDraws draws(random, plasma.Passes(f.A));
    if (!draws.Allocate()) return false;
    bool ok = true;
    // Task 0 works the pixels, task 1 draws ahead.
    parallel::For(2, [&](int64_t task) {
      if (task == 1) {
        draws.Help();
        return true;
      }
      draws.Start();
      ok = plasma.Run(f.A, &draws, random, f);
      draws.Finish();
      return true;
    });
    // The thread's source ends where drawing in one sequence leaves it.
    random = draws.Finish();
    return ok;
  });
}

void RegisterCloudEffects(mvEffectRegistry& registry) {
  registry.Add(mvCloudEffect::Describe());
  registry.Add(mvPlasmaEffect::Describe());
}

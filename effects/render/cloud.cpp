#include "effects/render/cloud.h"

#include <algorithm>
#include <cmath>

#include "core/random.h"
#include "effects/render/paint.h"

using render::ByDepth;
using render::ClipArea;
using render::SameLayout;

// ---- cloud -----------------------------------------------------------------------

const mvEffectClass& mvCloudEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvCloudEffect>(
      138, "mvCloudEffect",
      {Field("Color1", &mvCloudEffect::Color1).Describe("colour where the noise is 1"),
       Field("Color2", &mvCloudEffect::Color2).Describe("colour where the noise is 0"),
       Field("Seamless", &mvCloudEffect::Seamless).Flag(0).Describe("the noise lattice wraps so the result tiles"),
       Field("Turbulence", &mvCloudEffect::Turbulence).Flag(1).Describe("octaves summed as absolute values"),
       Field("Detail", &mvCloudEffect::Detail).Describe("number of octaves minus one"),
       Field("ScaleX", &mvCloudEffect::ScaleX).Describe("lattice cells across, in tenths"),
       Field("ScaleY", &mvCloudEffect::ScaleY).Describe("lattice cells down, in tenths"),
       Field("Seed", &mvCloudEffect::Seed).NotStreamed().NotCompared().Describe("seed of the noise tables")});
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

  void Build() {
    for (int32_t i = 0; i < 64; ++i) P[i] = i;
    for (int32_t i = 0; i < 32; ++i) {
      const uint32_t a = SharedRandom.Next() & 63;
      const uint32_t b = SharedRandom.Next() & 63;
      std::swap(P[a], P[b]);
    }
    for (int32_t i = 0; i < 64; ++i) {
      double gx, gy, len2;
      do {
        gx = 2 * (SharedRandom.Next() / 4294967295.0) - 1;
        gy = 2 * (SharedRandom.Next() / 4294967295.0) - 1;
        len2 = gx * gx + gy * gy;
      } while (!(len2 > 0 && len2 <= 1));
      const double len = std::sqrt(len2);
      Gx[i] = gx / len;
      Gy[i] = gy / len;
    }
  }

  static double S(double t) { return (2 * std::fabs(t) - 3) * (t * t) + 1; }

  double Corner(int64_t lx, int64_t ly, int32_t a, int32_t b, double fx, double fy, int64_t f) const {
    int64_t h;
    if (Seamless) {
      const int64_t row = (ly + b) % (Py * f);
      const int64_t col = (lx + a) % (Px * f);
      h = P[(P[row & 63] + col) & 63];
    } else {
      h = P[(P[(ly + b) & 63] + lx + a) & 63];
    }
    const double dx = fx - a, dy = fy - b;
    return (dx * Gx[h] + dy * Gy[h]) * S(dx) * S(dy);
  }

  double Noise(int64_t f, double x, double y) const {
    const double X = x * static_cast<double>(f), Y = y * static_cast<double>(f);
    const double flx = std::floor(X), fly = std::floor(Y);
    const int64_t lx = static_cast<int64_t>(flx), ly = static_cast<int64_t>(fly);
    const double fx = X - flx, fy = Y - fly;
    const double sum = Corner(lx, ly, 0, 0, fx, fy, f) + Corner(lx, ly, 1, 0, fx, fy, f) +
                       Corner(lx, ly, 0, 1, fx, fy, f) + Corner(lx, ly, 1, 1, fx, fy, f);
    return sum / static_cast<double>(f);
  }
};

// Gray of a colour taken at 8 bits.
uint32_t Gray8(const mvColor& c) {
  uint8_t raw[4] = {};
  if (!ConvertColor(ColorTypeRGB, c, 8, 4, raw)) return 0;
  return (77u * raw[0] + 151u * raw[1] + 28u * raw[2]) >> 8;
}

}  // namespace

bool mvCloudEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  if (!SameLayout(source, target) || !render::IsPaintable(target)) return true;
  mvRect area;
  if (!ClipArea(source, area)) return true;
  const bool gray = target.ColorType == ColorTypeGray;
  const uint32_t colours = gray ? 1 : 3;
  const uint32_t ch = target.Channels;
  if (ch != colours && ch != colours + 1) return true;
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

  SharedRandom.Seed(Seed);
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
  noise.Build();
  const int32_t detail = std::min(Detail, kMaxCloudDetail);
  const int32_t W = area.Right - area.Left, H = area.Bottom - area.Top;

  bool ok = true;
  ByDepth(target.BitDepth, [&]<class T, uint32_t Max>() {
    constexpr uint64_t M = Max;
    if (progress) progress->SetMax(static_cast<uint32_t>(H - 1));
    for (int32_t j = 0; j < H; ++j) {
      const double v = static_cast<double>(j) / H;
      const T* s = reinterpret_cast<const T*>(source.Row(area.Top + j)) + static_cast<size_t>(area.Left) * ch;
      T* d = reinterpret_cast<T*>(target.Row(area.Top + j)) + static_cast<size_t>(area.Left) * ch;
      for (int32_t i = 0; i < W; ++i, s += ch, d += ch) {
        const double u = static_cast<double>(i) / W;
        const double x = sx * u, y = sy * v;
        double sum = 0;
        for (int32_t o = 0; o <= detail; ++o) {
          double n = noise.Noise(int64_t{1} << o, x, y);
          if (Turbulence) n = std::fabs(n);
          sum += n;
        }
        const double value = Turbulence ? sum : (sum + 0.94) * 0.526;
        // Noise can overshoot its nominal range; k is held to it so the
        // colour cannot wrap.
        const double kd = std::floor(value * static_cast<double>(M));
        const uint64_t k = kd <= 0 ? 0 : (kd >= static_cast<double>(M) ? M : static_cast<uint64_t>(kd));
        const uint64_t a = (a2 * (M - k) + a1 * k) / M;
        if (ch == colours) {
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
      if (progress && !progress->SetPos(progress->Pos + 1)) {
        ok = false;
        return;
      }
    }
  });
  return ok;
}

// ---- plasma ----------------------------------------------------------------------

const mvEffectClass& mvPlasmaEffect::Describe() {
  static const mvEffectClass c = mvEffectClass::Make<mvPlasmaEffect>(
      139, "mvPlasmaEffect",
      {Field("Seed", &mvPlasmaEffect::Seed).Describe("seed of all random draws"),
       Field("Roughness", &mvPlasmaEffect::Roughness).ZeroBecomesOne().Describe("displacement strength in tenths"),
       Field("Grayscale", &mvPlasmaEffect::Grayscale).Flag(0).Describe("random values are gray"),
       Field("Seamless", &mvPlasmaEffect::Seamless).Flag(1).Describe("right and bottom edges continue the left and top")});
  return c;
}

namespace {

template <class T, uint32_t Max>
class Plasma {
public:
  Plasma(mvPicture& p, bool grayscale, bool seamless, int32_t roughness)
      : Pic(p), Colours(p.ColorType == ColorTypeGray ? 1 : 3), Ch(p.Channels), HasAlpha(p.HasAlpha()),
        Grayscale(grayscale), Seamless(seamless), Roughness(roughness) {}

  struct Px {
    int64_t S[3] = {0, 0, 0};
  };

  Px Get(int32_t x, int32_t y) const {
    const T* p = reinterpret_cast<const T*>(Pic.Row(y)) + static_cast<size_t>(x) * Ch;
    Px v;
    for (uint32_t i = 0; i < Colours; ++i) v.S[i] = p[i];
    return v;
  }
  void Put(int32_t x, int32_t y, const Px& v) {
    T* p = reinterpret_cast<T*>(Pic.Row(y)) + static_cast<size_t>(x) * Ch;
    for (uint32_t i = 0; i < Colours; ++i) p[i] = static_cast<T>(v.S[i]);
    if (HasAlpha) p[Colours] = static_cast<T>(Max);
  }
  static Px Average(const Px& a, const Px& b) {
    Px v;
    for (int i = 0; i < 3; ++i) v.S[i] = (a.S[i] + b.S[i]) >> 1;
    return v;
  }
  Px RandomValue() {
    Px v;
    const int64_t scale = Max == 65535 ? 257 : 1;
    if (Colours == 1 || Grayscale) {
      const int64_t s = (SharedRandom.Next() & 255) * scale;
      v.S[0] = v.S[1] = v.S[2] = s;
    } else {
      for (int i = 0; i < 3; ++i) v.S[i] = (SharedRandom.Next() & 255) * scale;
    }
    return v;
  }
  Px Displace(Px v, int32_t level) const {
    // Evaluated in doubles left to right; limited so that range + 1 is a
    // valid draw bound (a negative roughness displaces nothing).
    const double r = static_cast<double>(Max == 65535 ? 65536 : 256) / (2.0 * level) * Roughness / 10;
    const int64_t range = r <= 0 ? 0 : (r >= 4294967294.0 ? 4294967294 : static_cast<int64_t>(r));
    const uint32_t bound = static_cast<uint32_t>(range + 1);
    auto shift = [&](int64_t s) {
      return std::clamp<int64_t>(s - range / 2 + int64_t{SharedRandom.NextInt(bound)}, 0, Max);
    };
    if (Colours == 1 || Grayscale) {
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

  void Run(const mvRect& a) {
    const int32_t x0 = a.Left, y0 = a.Top, x1 = a.Right - 1, y1 = a.Bottom - 1;
    const int32_t mx = x0 + (x1 - x0) / 2, my = y0 + (y1 - y0) / 2;
    if (!Seamless) {
      const int32_t at[9][2] = {{x0, y0}, {x1, y0}, {x0, y1}, {x1, y1}, {mx, my},
                                {x0, my}, {x1, my}, {mx, y0}, {mx, y1}};
      for (const auto& p : at) Put(p[0], p[1], RandomValue());
    } else {
      const Px corner = RandomValue();
      Put(x0, y0, corner);
      Put(x1, y0, corner);
      Put(x0, y1, corner);
      Put(x1, y1, corner);
      Put(mx, my, RandomValue());
      const Px side = RandomValue();
      Put(x0, my, side);
      Put(x1, my, side);
      const Px edge = RandomValue();
      Put(mx, y0, edge);
      Put(mx, y1, edge);
    }
    for (int32_t depth = 1; Subdivide(x0, y0, x1, y1, depth, 0); ++depth) {
    }
  }

private:
  mvPicture& Pic;
  uint32_t Colours, Ch;
  bool HasAlpha, Grayscale, Seamless;
  int32_t Roughness;
};

}  // namespace

bool mvPlasmaEffect::Apply(mvPicture& source, mvPicture& target, mvProgress*) {
  if (!SameLayout(source, target) || !render::IsPaintable(target)) return true;
  mvRect area;
  if (!ClipArea(source, area)) return true;
  const uint32_t colours = target.ColorType == ColorTypeGray ? 1 : 3;
  if (target.Channels != colours && target.Channels != colours + 1) return true;
  // Seed points need two distinct columns and rows.
  if (area.Left >= area.Right - 1 || area.Top >= area.Bottom - 1) return true;
  SharedRandom.Seed(Seed);
  ByDepth(target.BitDepth, [&]<class T, uint32_t Max>() {
    Plasma<T, Max>(target, Grayscale, Seamless, Roughness).Run(area);
  });
  return true;
}

void RegisterCloudEffects(mvEffectRegistry& registry) {
  registry.Add(mvCloudEffect::Describe());
  registry.Add(mvPlasmaEffect::Describe());
}

#include "effects/filter/edges.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "effects/filter/families.h"
#include "effects/filter/motion_blur.h"
#include "effects/filter/tiled_rows.h"
#include "effects/frame.h"

namespace {

using namespace tiled;

// ---- edge detection ----------------------------------------------------------

// Source rows unpacked for one band: one row of doubles per colour channel
// (whole numbers, so sums of them are exact), extended by the edge rule to
// one column either side of the area (entry i is column Left - 1 + i) and
// padded to whole tiles, transparent pixels read as 0.
// Three slots hold the rows above, at and below the current one, so each
// source row is unpacked about once per band.
template <class F>
class UnpackedRows {
public:
  bool Allocate(const mvPicture& src, const mvRect& a, bool wrap) {
    const int32_t rw = a.Right - a.Left;
    Stride = (rw + kTile - 1) / kTile * kTile + 2;
    if (!frame::IndexTable(Columns, static_cast<int64_t>(a.Left) - 1, rw + 2, src.Width, wrap) ||
        !Store.Allocate(3 * static_cast<int64_t>(F::kColours) * Stride))
      return false;
    std::fill(Store.Get(), Store.Get() + Store.Size, 0);
    return true;
  }
  // The unpacked row y of colour channel c; `keep` names rows that must stay loaded.
  const double* Get(const mvPicture& src, int32_t y, uint32_t c, const int32_t (&keep)[3]) {
    int slot = -1;
    for (int k = 0; k < 3; ++k)
      if (Loaded[k] == y) slot = k;
    if (slot < 0) {
      for (int k = 0; k < 3 && slot < 0; ++k)
        if (Loaded[k] != keep[0] && Loaded[k] != keep[1] && Loaded[k] != keep[2]) slot = k;
      Unpack(src, y, slot);
    }
    return Plane(slot, c);
  }

private:
  double* Plane(int slot, uint32_t c) { return Store.Get() + (static_cast<int64_t>(slot) * F::kColours + c) * Stride; }
  void Unpack(const mvPicture& src, int32_t y, int slot) {
    constexpr uint32_t ch = F::kChannels;
    const typename F::Sample* row = frame::RowOf<F>(src, y);
    double* out[3];
    for (uint32_t c = 0; c < F::kColours; ++c) out[c] = Plane(slot, c);
    for (int64_t i = 0; i < Columns.Size; ++i) {
      const typename F::Sample* px = row + static_cast<size_t>(Columns[i]) * ch;
      const bool clear = F::kAlpha && px[ch - 1] == 0;
      for (uint32_t c = 0; c < F::kColours; ++c) out[c][i] = clear ? 0 : px[c];
    }
    Loaded[slot] = y;
  }

  frame::Buffer<int32_t> Columns;
  frame::Buffer<double> Store;
  int64_t Stride = 0;
  int32_t Loaded[3] = {-1, -1, -1};
};

// Gradient magnitudes of one tile into out: up, mid and down start one
// column left of the tile's first pixel. Every sum and square is a whole
// number well inside a double's exact range, so these are the bits of the
// integer sum taken to double.
template <bool Roberts>
inline void EdgeTile(const double* up, const double* mid, const double* down, double amount, double top,
                     double (&out)[kTile]) {
  for (int32_t k = 0; k < kTile; ++k) {
    double gx, gy;
    if constexpr (Roberts) {
      gx = mid[k + 1] - down[k + 2];
      gy = mid[k + 2] - down[k + 1];
    } else {
      gx = up[k] - up[k + 2] + 2 * (mid[k] - mid[k + 2]) + down[k] - down[k + 2];
      gy = up[k] + 2 * up[k + 1] + up[k + 2] - down[k] - 2 * down[k + 1] - down[k + 2];
    }
    double v = std::sqrt(gx * gx + gy * gy) * amount / 100;
    v = v > 0 ? v : 0;
    v = v < top ? v : top;
    out[k] = v;
  }
}

template <class F, bool Roberts>
bool EdgeBand(const mvPicture& src, mvPicture& dst, const mvRect& a, int32_t top, int32_t bottom, bool wrap,
              uint32_t amount, bool invert) {
  using T = typename F::Sample;
  constexpr int32_t M = static_cast<int32_t>(F::kMax);
  UnpackedRows<F> rows;
  if (!rows.Allocate(src, a, wrap)) return false;
  const int32_t rw = a.Right - a.Left;
  for (int32_t y = top; y < bottom; ++y) {
    const int32_t keep[3] = {Roberts ? y : frame::EdgeIndex(static_cast<int64_t>(y) - 1, src.Height, wrap), y,
                             frame::EdgeIndex(static_cast<int64_t>(y) + 1, src.Height, wrap)};
    for (uint32_t c = 0; c < F::kColours; ++c) {
      const double* up = rows.Get(src, keep[0], c, keep);
      const double* mid = rows.Get(src, keep[1], c, keep);
      const double* down = rows.Get(src, keep[2], c, keep);
      T* d = frame::PixelAt<F>(dst, a.Left, y) + c;
      for (int32_t x0 = 0; x0 < rw; x0 += kTile) {
        double out[kTile];
        EdgeTile<Roberts>(up + x0, mid + x0, down + x0, amount, M, out);
        const int32_t n = std::min(kTile, rw - x0);
        for (int32_t k = 0; k < n; ++k, d += F::kChannels) {
          const int32_t v = static_cast<int32_t>(out[k]);
          *d = static_cast<T>(invert ? M - v : v);
        }
      }
    }
  }
  return true;
}

// ---- neon ------------------------------------------------------------------

// Coefficients of the fourth-order recursive first-derivative filter, and
// the per-term factors that stand in for samples beyond either line end.
struct NeonFilter {
  double A[5], B[5], G[5];  // causal input, feedback, anti-causal input
  double EdgeBefore[5], EdgeAfter[5];
};

NeonFilter MakeNeonFilter(uint32_t radius) {
  const double a0 = 0.6472, a1 = 4.531, c0 = -0.6494, c1 = -0.9557;
  const double b0 = 1.527, b1 = 1.516, w0 = 0.6719, w1 = 2.072;
  const double sigma = (static_cast<double>(radius) + 1) / std::sqrt(2 * std::log(255.0));
  const double E0 = std::exp(-b0 / sigma), E1 = std::exp(-b1 / sigma);
  const double C0 = std::cos(w0 / sigma), S0 = std::sin(w0 / sigma);
  const double C1 = std::cos(w1 / sigma), S1 = std::sin(w1 / sigma);
  const double E0s = E0 * E0, E1s = E1 * E1;
  NeonFilter f;
  f.A[0] = -0.0022;
  f.A[1] = E1 * (c1 * S1 - 0.645 * C1) + E0 * (a1 * S0 - -0.6516 * C0);
  f.A[2] = 2 * E0 * E1 * (f.A[0] * C1 * C0 - a1 * C1 * S0 - c1 * C0 * S1) + c0 * E0s + a0 * E1s;
  f.A[3] = E1 * E0s * (c1 * S1 - c0 * C1) + E0 * E1s * (a1 * S0 - a0 * C0);
  f.A[4] = 0;
  f.B[0] = 0;
  f.B[1] = -2 * E1 * C1 - 2 * E0 * C0;
  f.B[2] = 4 * C1 * C0 * E0 * E1 + E1s + E0s;
  f.B[3] = -2 * C0 * E0 * E1s - 2 * C1 * E1 * E0s;
  f.B[4] = E0s * E1s;
  f.G[0] = 0;
  for (int k = 1; k <= 4; ++k) f.G[k] = f.B[k] * f.A[0] - f.A[k];
  const double den = 1 + f.B[1] + f.B[2] + f.B[3] + f.B[4];
  const double gainPlus = (f.A[0] + f.A[1] + f.A[2] + f.A[3] + f.A[4]) / den;
  const double gainMinus = (f.G[1] + f.G[2] + f.G[3] + f.G[4]) / den;
  for (int k = 0; k <= 4; ++k) {
    f.EdgeBefore[k] = f.A[k] - f.B[k] * gainPlus;
    f.EdgeAfter[k] = f.G[k] - f.B[k] * gainMinus;
  }
  return f;
}

// Lines run side by side in lanes: sample i of lane l is at x[i * kLanes + l].
// Each lane is its own line, with the same sums in the same order as one
// line alone; the lanes give the compiler independent work to vectorise
// while each recursion waits for its previous outputs.
constexpr int64_t kLanes = 8;

// Filters x[0..n-1] causally into yp and anti-causally into ym; a term that
// reaches past an end uses that end's replacement and drops its feedback.
void NeonLanes(const NeonFilter& f, const double* x, int64_t n, double* yp, double* ym) {
  constexpr int64_t L = kLanes;
  // The first and last four samples reach past an end; the others run the
  // same sums without the end tests, in the same order.
  const int64_t head = n < 4 ? n : 4;
  for (int64_t i = 0; i < head; ++i)
    for (int64_t l = 0; l < L; ++l) {
      double in = f.A[0] * x[i * L + l];
      double fb = 0;
      for (int k = 1; k <= 4; ++k) {
        if (i - k >= 0) {
          in += f.A[k] * x[(i - k) * L + l];
          fb += f.B[k] * yp[(i - k) * L + l];
        } else {
          in += f.EdgeBefore[k] * x[l];
        }
      }
      yp[i * L + l] = in - fb;
    }
  // Coefficients in locals and each step's outputs first into a local
  // array: nothing the loop stores can then change what it reads, and the
  // lane loops vectorise.
  const double a0 = f.A[0], a1 = f.A[1], a2 = f.A[2], a3 = f.A[3], a4 = f.A[4];
  const double b1 = f.B[1], b2 = f.B[2], b3 = f.B[3], b4 = f.B[4];
  const double g1 = f.G[1], g2 = f.G[2], g3 = f.G[3], g4 = f.G[4];
  for (int64_t i = head; i < n; ++i) {
    const double* xi = x + i * L;
    double* y = yp + i * L;
    double out[L];
    for (int64_t l = 0; l < L; ++l) {
      double in = a0 * xi[l];
      in += a1 * xi[l - L];
      in += a2 * xi[l - 2 * L];
      in += a3 * xi[l - 3 * L];
      in += a4 * xi[l - 4 * L];
      double fb = 0;
      fb += b1 * y[l - L];
      fb += b2 * y[l - 2 * L];
      fb += b3 * y[l - 3 * L];
      fb += b4 * y[l - 4 * L];
      out[l] = in - fb;
    }
    for (int64_t l = 0; l < L; ++l) y[l] = out[l];
  }
  const int64_t tail = n - 4 > 0 ? n - 4 : 0;
  for (int64_t i = n - 1; i >= tail; --i)
    for (int64_t l = 0; l < L; ++l) {
      double in = 0, fb = 0;
      for (int k = 1; k <= 4; ++k) {
        const double term = i + k < n ? f.G[k] * x[(i + k) * L + l] : f.EdgeAfter[k] * x[(n - 1) * L + l];
        in = k == 1 ? term : in + term;
        if (i + k < n) fb += f.B[k] * ym[(i + k) * L + l];
      }
      ym[i * L + l] = in - fb;
    }
  for (int64_t i = tail - 1; i >= 0; --i) {
    const double* xi = x + i * L;
    double* y = ym + i * L;
    double out[L];
    for (int64_t l = 0; l < L; ++l) {
      double in = g1 * xi[l + L];
      in += g2 * xi[l + 2 * L];
      in += g3 * xi[l + 3 * L];
      in += g4 * xi[l + 4 * L];
      double fb = 0;
      fb += b1 * y[l + L];
      fb += b2 * y[l + 2 * L];
      fb += b3 * y[l + 3 * L];
      fb += b4 * y[l + 4 * L];
      out[l] = in - fb;
    }
    for (int64_t l = 0; l < L; ++l) y[l] = out[l];
  }
}

// kLanes lines of one sample each, `len` long, and their filtered results.
// With wrap each line is filtered as part of its periodic extension (pad
// samples either side) so that both ends meet.
class NeonBlock {
public:
  bool Allocate(int64_t len, int64_t pad) {
    Len = len;
    Pad = pad;
    const int64_t n = (len + 2 * pad) * kLanes;
    return X.Allocate(n) && Yp.Allocate(n) && Ym.Allocate(n) && Result.Allocate(len * kLanes);
  }
  // The kLanes samples at position i, lane by lane.
  double* At(int64_t i) { return X.Get() + (Pad + i) * kLanes; }
  // Filters every lane; Out(i) then holds the results at position i as 0..255.
  void Run(const NeonFilter& f) {
    for (int64_t i = 0; i < Pad; ++i)
      for (int64_t l = 0; l < kLanes; ++l) {
        X[i * kLanes + l] = At(Len - Pad + i)[l];
        X[(Pad + Len + i) * kLanes + l] = At(i)[l];
      }
    NeonLanes(f, X.Get(), Len + 2 * Pad, Yp.Get(), Ym.Get());
    // SampleFrom(trunc(v)) is SampleFrom(v): both give 0 below 1 and 255 from 255 up.
    for (int64_t i = 0; i < Len; ++i) {
      const double* yp = Yp.Get() + (Pad + i) * kLanes;
      const double* ym = Ym.Get() + (Pad + i) * kLanes;
      int32_t out[kLanes];
      for (int64_t l = 0; l < kLanes; ++l) {
        double v = yp[l] + ym[l];
        v = v > 0 ? v : 0;
        v = v < 255 ? v : 255;
        out[l] = static_cast<int32_t>(v);
      }
      uint8_t* r = Result.Get() + i * kLanes;
      for (int64_t l = 0; l < kLanes; ++l) r[l] = static_cast<uint8_t>(out[l]);
    }
  }
  const uint8_t* Out(int64_t i) const { return Result.Get() + i * kLanes; }

private:
  frame::Buffer<double> X, Yp, Ym;
  frame::Buffer<uint8_t> Result;
  int64_t Len = 0, Pad = 0;
};

// Both passes for pictures of kCh 8-bit channels; an alpha channel (the last
// of an even count) is doubled rather than filtered.
template <uint32_t kCh>
bool NeonPasses(frame::Frame& f, const NeonFilter& nf, uint32_t amount, int64_t padV, int64_t padH) {
  constexpr bool kAlpha = kCh % 2 == 0;
  constexpr uint32_t kFiltered = kAlpha ? kCh - 1 : kCh;
  const mvPicture& source = f.Source;
  mvPicture& target = f.Target;
  const mvRect a = f.A;
  const int64_t rw = a.Right - a.Left, rh = a.Bottom - a.Top;
  auto doubled = [](int32_t al) { return al * 2 > 255 ? 255 : al * 2; };

  // Pass one: columns of the source into the target, kLanes neighbouring
  // columns at a time (a band's last block repeats its last column in the
  // lanes past the band, whose results are dropped).
  const bool columnsDone = f.ForSteps(rw, rh, [&](int64_t first, int64_t last) {
    NeonBlock block[kFiltered];
    for (uint32_t c = 0; c < kFiltered; ++c)
      if (!block[c].Allocate(rh, padV)) return false;
    for (int64_t col = first; col < last; col += kLanes) {
      const int64_t lanes = std::min(kLanes, last - col);
      size_t offset[kLanes];
      for (int64_t l = 0; l < kLanes; ++l) offset[l] = static_cast<size_t>(std::min(l, lanes - 1)) * kCh;
      for (int64_t i = 0; i < rh; ++i) {
        const uint8_t* s = source.Row(a.Top + static_cast<int32_t>(i)) + static_cast<size_t>(a.Left + col) * kCh;
        for (uint32_t c = 0; c < kFiltered; ++c) {
          double* x = block[c].At(i);
          for (int64_t l = 0; l < kLanes; ++l) x[l] = s[offset[l] + c];
        }
      }
      for (uint32_t c = 0; c < kFiltered; ++c) block[c].Run(nf);
      for (int64_t i = 0; i < rh; ++i) {
        const uint8_t* s = source.Row(a.Top + static_cast<int32_t>(i)) + static_cast<size_t>(a.Left + col) * kCh;
        uint8_t* d = target.Row(a.Top + static_cast<int32_t>(i)) + static_cast<size_t>(a.Left + col) * kCh;
        for (int64_t l = 0; l < lanes; ++l, d += kCh, s += kCh) {
          for (uint32_t c = 0; c < kFiltered; ++c) d[c] = block[c].Out(i)[l];
          if constexpr (kAlpha) d[kCh - 1] = static_cast<uint8_t>(doubled(s[kCh - 1]));
        }
      }
    }
    return true;
  });
  if (!columnsDone) return false;
  // The last step combines both passes per sample: a table over the two
  // 8-bit results holds the same quotient for each pair.
  frame::Buffer<uint8_t> combined;
  if (!combined.Allocate(256 * 256)) return false;
  for (int32_t v = 0; v < 256; ++v)
    for (int32_t h = 0; h < 256; ++h) {
      const double mag = std::sqrt(static_cast<double>(v * v + h * h));
      combined[v * 256 + h] = static_cast<uint8_t>(SampleFrom(mag * amount / 100, 255));
    }
  // Pass two: rows of the source, kLanes rows at a time, combined with pass
  // one's result.
  return f.ForRows([&](int32_t top, int32_t bottom) {
    NeonBlock block[kFiltered];
    for (uint32_t c = 0; c < kFiltered; ++c)
      if (!block[c].Allocate(rw, padH)) return false;
    for (int32_t y0 = top; y0 < bottom; y0 += static_cast<int32_t>(kLanes)) {
      const int32_t lanes = static_cast<int32_t>(std::min<int64_t>(kLanes, bottom - y0));
      for (int32_t l = 0; l < static_cast<int32_t>(kLanes); ++l) {
        const uint8_t* s = source.Row(y0 + std::min(l, lanes - 1)) + static_cast<size_t>(a.Left) * kCh;
        for (int64_t i = 0; i < rw; ++i, s += kCh)
          for (uint32_t c = 0; c < kFiltered; ++c) block[c].At(i)[l] = s[c];
      }
      for (uint32_t c = 0; c < kFiltered; ++c) block[c].Run(nf);
      for (int32_t l = 0; l < lanes; ++l) {
        const uint8_t* s = source.Row(y0 + l) + static_cast<size_t>(a.Left) * kCh;
        uint8_t* d = target.Row(y0 + l) + static_cast<size_t>(a.Left) * kCh;
        for (int64_t i = 0; i < rw; ++i, s += kCh, d += kCh) {
          for (uint32_t c = 0; c < kFiltered; ++c) d[c] = combined[d[c] * 256 + block[c].Out(i)[l]];
          if constexpr (kAlpha) d[kCh - 1] = combined[d[kCh - 1] * 256 + doubled(s[kCh - 1])];
        }
      }
    }
    return true;
  });
}

// ---- emboss -----------------------------------------------------------------

// Windows wider than this only add edge or wrapped copies; the cap keeps the
// sums of 16-bit alpha-weighted samples inside 64 bits.
constexpr uint32_t kMaxEmbossDepth = 1u << 28;

// The positions of a window t = lo .. lo+len-1 of a line of n samples under
// the edge rule, as (index, how often it is read); at most n entries.
std::vector<std::pair<int32_t, int64_t>> WindowReads(int64_t lo, int64_t len, int32_t n, bool wrap) {
  std::vector<std::pair<int32_t, int64_t>> out;
  if (len <= 0) return out;
  const int64_t hi = lo + len - 1;
  if (wrap) {
    const int64_t full = len / n, rem = len % n;
    if (full > 0)
      for (int32_t i = 0; i < n; ++i) out.emplace_back(i, full);
    for (int64_t t = 0; t < rem; ++t) {
      const int32_t i = frame::WrapIndex(lo + t, n);
      if (full > 0) out[static_cast<size_t>(i)].second += 1;
      else out.emplace_back(i, 1);
    }
    return out;
  }
  const int64_t below = (hi < 0 ? hi : -1) - lo + 1;  // reads of t < 0
  if (below > 0) out.emplace_back(0, below);
  const int64_t first = lo < 0 ? 0 : lo, last = hi > n - 1 ? n - 1 : hi;
  for (int64_t t = first; t <= last; ++t) {
    if (t == 0 && below > 0) {
      out[0].second += 1;
      continue;
    }
    out.emplace_back(static_cast<int32_t>(t), 1);
  }
  const int64_t above = hi - (lo > n ? lo : n) + 1;  // reads of t >= n
  if (above > 0) {
    if (!out.empty() && out.back().first == n - 1) out.back().second += above;
    else out.emplace_back(n - 1, above);
  }
  return out;
}

struct EmbossSetup {
  int64_t Depth;
  int64_t Amount;
  bool UseV, NegV, UseH, PosH, Gray;
  bool Wrap;
};

// (amount * v) / den truncated toward zero, exact for any operands: 64-bit
// when the product fits, 128-bit otherwise.
inline int64_t ScaledQuotient(int64_t amount, int64_t v, int64_t den1, int64_t den2) {
  int64_t num, den;
  if (!__builtin_mul_overflow(amount, v, &num) && !__builtin_mul_overflow(den1, den2, &den)) return num / den;
  __extension__ typedef __int128 Wide;
  const Wide q = (static_cast<Wide>(amount) * v) / (static_cast<Wide>(den1) * den2);
  // |q| is far beyond any sample range here; keep it in 64 bits for clamping.
  if (q > INT64_MAX / 2) return INT64_MAX / 2;
  if (q < -(INT64_MAX / 2)) return -(INT64_MAX / 2);
  return static_cast<int64_t>(q);
}

// Depths up to this take the tiled path below; deeper windows slide.
constexpr int64_t kTiledEmbossDepth = 8;

// Whether the tiled path's doubles give the bits of the integer quotients:
// every numerator |amount * v| plus its denominator stays below 2^52, where
// sums, products and truncated quotients of whole numbers are exact.
template <class F>
bool EmbossTiles(const EmbossSetup& e) {
  const double M = F::kMax;
  const double reads = static_cast<double>((e.UseV ? 2 * e.Depth : 0) + (e.UseH ? 2 * e.Depth : 0));
  const double weight = F::kAlpha ? M * M : M;
  const double den = (F::kAlpha ? M * reads : 1.0) * static_cast<double>(e.Depth) * 100;
  return e.Depth <= kTiledEmbossDepth && static_cast<double>(e.Amount) * weight * reads + den < 4503599627370496.0;
}

// The same sums as the sliding windows, taken straight in tiles of whole
// numbers held in doubles, and the quotients in doubles (see EmbossTiles).
template <class F>
bool EmbossBandTiled(const EmbossSetup& e, const mvPicture& src, mvPicture& dst, const mvRect& a, int32_t top,
                     int32_t bottom) {
  using T = typename F::Sample;
  constexpr uint32_t nc = F::kColours, ch = F::kChannels, kPlanes = PlaneRows<F, true>::kPlanes;
  constexpr int32_t M = static_cast<int32_t>(F::kMax), kMid = M / 2 + 1;
  const int64_t d = e.Depth;
  const int32_t rw = a.Right - a.Left;
  // Rows y - d .. y + d, each from d columns left of a strip to d right of it.
  PlaneRows<F, true> rows;
  if (!rows.Allocate(kStrip + 2 * d, 2 * d + 1)) return false;
  // Signs of the two differences: 0 for a direction not used.
  const double sv = e.UseV ? (e.NegV ? -1.0 : 1.0) : 0.0, sh = e.UseH ? (e.PosH ? 1.0 : -1.0) : 0.0;
  const double amount = static_cast<double>(e.Amount), scale = static_cast<double>(d * 100);
  const double reads = static_cast<double>((e.UseV ? 2 * d : 0) + (e.UseH ? 2 * d : 0));
  // A quotient beyond these ends gives 0 or M either way; inside them its
  // truncation fits an int32.
  constexpr double kLow = -kMid - 1.0, kHigh = M - kMid + 1.0;
  for (int32_t s0 = 0; s0 < rw; s0 += static_cast<int32_t>(kStrip)) {
    const int32_t s1 = static_cast<int32_t>(std::min<int64_t>(rw, s0 + kStrip));
    rows.Start(src, a.Left + s0 - d, s1 - s0 + 2 * d, e.Wrap, top - d);
    for (int32_t y = top; y < bottom; ++y) {
      for (int32_t x0 = s0; x0 < s1; x0 += kTile) {
        T* o = frame::PixelAt<F>(dst, a.Left + x0, y);
        double sum[kPlanes][kTile];  // colours: the signed differences; alpha: the sum of all reads
        for (uint32_t p = 0; p < kPlanes; ++p) {
          const bool alpha = F::kAlpha && p == nc;
          double vert[kTile] = {}, horiz[kTile] = {};
          if (e.UseV)
            for (int64_t j = 1; j <= d; ++j) {
              const double* above = rows.Get(src, y - j, p) + d + (x0 - s0);
              const double* below = rows.Get(src, y + j, p) + d + (x0 - s0);
              if (alpha)
                for (int32_t k = 0; k < kTile; ++k) vert[k] += below[k] + above[k];
              else
                for (int32_t k = 0; k < kTile; ++k) vert[k] += below[k] - above[k];
            }
          if (e.UseH) {
            const double* mid = rows.Get(src, y, p) + d + (x0 - s0);
            for (int64_t j = 1; j <= d; ++j) {
              const double* before = mid - j;
              const double* after = mid + j;
              if (alpha)
                for (int32_t k = 0; k < kTile; ++k) horiz[k] += after[k] + before[k];
              else
                for (int32_t k = 0; k < kTile; ++k) horiz[k] += after[k] - before[k];
            }
          }
          if (alpha)
            for (int32_t k = 0; k < kTile; ++k) sum[p][k] = vert[k] + horiz[k];
          else
            for (int32_t k = 0; k < kTile; ++k) sum[p][k] = sv * vert[k] + sh * horiz[k];
        }
        int32_t res[nc][kTile], alphaOut[kTile];
        for (uint32_t c = 0; c < nc; ++c)
          for (int32_t k = 0; k < kTile; ++k) {
            const double den = F::kAlpha ? sum[nc][k] * scale : scale;
            double q = (amount * sum[c][k]) / den;
            q = q > kLow ? q : kLow;
            q = q < kHigh ? q : kHigh;
            const int32_t r = static_cast<int32_t>(q) + kMid;
            res[c][k] = r < 0 ? 0 : (r > M ? M : r);
          }
        if constexpr (nc == 3)
          if (e.Gray)
            for (int32_t k = 0; k < kTile; ++k)
              res[0][k] = res[1][k] = res[2][k] = (res[1][k] * 151 + res[0][k] * 77 + res[2][k] * 28) >> 8;
        if constexpr (F::kAlpha)
          for (int32_t k = 0; k < kTile; ++k) alphaOut[k] = static_cast<int32_t>(sum[nc][k] / reads);
        const int32_t n = std::min(kTile, s1 - x0);
        for (int32_t k = 0; k < n; ++k, o += ch) {
          if (F::kAlpha && sum[nc][k] == 0) {
            for (uint32_t c = 0; c < ch; ++c) o[c] = 0;
            continue;
          }
          for (uint32_t c = 0; c < nc; ++c) o[c] = static_cast<T>(res[c][k]);
          if constexpr (F::kAlpha) o[nc] = static_cast<T>(alphaOut[k]);
        }
      }
    }
  }
  return true;
}

// One band of rows: the vertical windows start afresh at the band's top, so
// a band's sums (integers) do not depend on the bands before it.
template <class F>
bool EmbossBand(const EmbossSetup& e, const mvPicture& src, mvPicture& dst, const mvRect& a, int32_t top,
                int32_t bottom) {
  using T = typename F::Sample;
  constexpr int64_t M = sizeof(T) == 1 ? 255 : 65535;
  constexpr int64_t kMid = sizeof(T) == 1 ? 128 : 32768;
  const int32_t W = src.Width, H = src.Height;
  const uint32_t ch = src.Channels;
  const uint32_t nc = src.ColorType == ColorTypeRGB ? 3 : 1;
  const bool hasAlpha = src.HasAlpha();
  const uint32_t ach = ch - 1;
  const uint32_t planes = nc + (hasAlpha ? 1 : 0);  // colour sums, then the alpha sum
  const int64_t d = e.Depth;
  const int32_t rw = a.Right - a.Left;
  const int64_t reads = (e.UseV ? 2 * d : 0) + (e.UseH ? 2 * d : 0);

  // What a read contributes to each plane: samples weighted by their alpha.
  auto load = [&](const T* px, int64_t* v) {
    const int64_t al = hasAlpha ? px[ach] : 1;
    for (uint32_t c = 0; c < nc; ++c) v[c] = static_cast<int64_t>(px[c]) * al;
    if (hasAlpha) v[nc] = al;
  };
  auto addTimes = [&](const T* px, int64_t times, int64_t* acc) {
    int64_t v[4];
    load(px, v);
    for (uint32_t p = 0; p < planes; ++p) acc[p] += v[p] * times;
  };

  // Vertical windows slide down each column: sums above (rows y-d..y-1) and
  // below (y+1..y+d) per column and plane.
  std::vector<int64_t> above(static_cast<size_t>(rw) * planes, 0), below(above.size(), 0);
  if (e.UseV) {
    for (auto [row, times] : WindowReads(static_cast<int64_t>(top) - d, d, H, e.Wrap)) {
      const T* r = frame::RowOf<F>(src, row);
      for (int32_t x = 0; x < rw; ++x)
        addTimes(r + static_cast<size_t>(a.Left + x) * ch, times, &above[static_cast<size_t>(x) * planes]);
    }
    for (auto [row, times] : WindowReads(static_cast<int64_t>(top) + 1, d, H, e.Wrap)) {
      const T* r = frame::RowOf<F>(src, row);
      for (int32_t x = 0; x < rw; ++x)
        addTimes(r + static_cast<size_t>(a.Left + x) * ch, times, &below[static_cast<size_t>(x) * planes]);
    }
  }
  // Column positions the horizontal windows enter and leave by.
  frame::Buffer<int32_t> leaveBefore, enterAfter;
  if (e.UseH && (!frame::IndexTable(leaveBefore, static_cast<int64_t>(a.Left) - d, rw, W, e.Wrap) ||
                 !frame::IndexTable(enterAfter, static_cast<int64_t>(a.Left) + 1 + d, rw, W, e.Wrap)))
    return false;
  auto leftWindow = WindowReads(static_cast<int64_t>(a.Left) - d, d, W, e.Wrap);
  auto rightWindow = WindowReads(static_cast<int64_t>(a.Left) + 1, d, W, e.Wrap);

  for (int32_t y = top; y < bottom; ++y) {
    const T* s = frame::RowOf<F>(src, y);
    T* out = frame::RowOf<F>(dst, y);
    int64_t lb[4] = {0, 0, 0, 0}, la[4] = {0, 0, 0, 0};
    if (e.UseH) {
      for (auto [col, times] : leftWindow) addTimes(s + static_cast<size_t>(col) * ch, times, lb);
      for (auto [col, times] : rightWindow) addTimes(s + static_cast<size_t>(col) * ch, times, la);
    }
    for (int32_t i = 0; i < rw; ++i) {
      const int32_t x = a.Left + i;
      int64_t v[4] = {0, 0, 0, 0};
      if (e.UseV) {
        const int64_t* ab = &above[static_cast<size_t>(i) * planes];
        const int64_t* be = &below[static_cast<size_t>(i) * planes];
        for (uint32_t c = 0; c < nc; ++c) v[c] += e.NegV ? ab[c] - be[c] : be[c] - ab[c];
        if (hasAlpha) v[nc] += ab[nc] + be[nc];
      }
      if (e.UseH) {
        for (uint32_t c = 0; c < nc; ++c) v[c] += e.PosH ? la[c] - lb[c] : lb[c] - la[c];
        if (hasAlpha) v[nc] += lb[nc] + la[nc];
      }
      T* o = out + static_cast<size_t>(x) * ch;
      int64_t res[3];
      if (hasAlpha && v[nc] == 0) {
        for (uint32_t c = 0; c < ch; ++c) o[c] = 0;
      } else {
        for (uint32_t c = 0; c < nc; ++c) {
          const int64_t q =
              hasAlpha ? ScaledQuotient(e.Amount, v[c], v[nc], d * 100) : ScaledQuotient(e.Amount, v[c], d, 100);
          const int64_t r = q + kMid;
          res[c] = r < 0 ? 0 : (r > M ? M : r);
        }
        if (nc == 3 && e.Gray) res[0] = res[1] = res[2] = (res[1] * 151 + res[0] * 77 + res[2] * 28) >> 8;
        for (uint32_t c = 0; c < nc; ++c) o[c] = static_cast<T>(res[c]);
        // The mean alpha of the samples read: an opaque picture stays opaque.
        if (hasAlpha) o[ach] = static_cast<T>(v[nc] / reads);
      }
      // Slide the horizontal windows one column on.
      if (e.UseH && i + 1 < rw) {
        int64_t t[4];
        load(s + static_cast<size_t>(leaveBefore[i]) * ch, t);
        for (uint32_t p = 0; p < planes; ++p) lb[p] -= t[p];
        load(s + static_cast<size_t>(x) * ch, t);
        for (uint32_t p = 0; p < planes; ++p) lb[p] += t[p];
        load(s + static_cast<size_t>(frame::EdgeIndex(static_cast<int64_t>(x) + 1, W, e.Wrap)) * ch, t);
        for (uint32_t p = 0; p < planes; ++p) la[p] -= t[p];
        load(s + static_cast<size_t>(enterAfter[i]) * ch, t);
        for (uint32_t p = 0; p < planes; ++p) la[p] += t[p];
      }
    }
    // Slide the vertical windows one row down.
    if (e.UseV && y + 1 < bottom) {
      const T* leave = frame::RowOf<F>(src, frame::EdgeIndex(static_cast<int64_t>(y) - d, H, e.Wrap));
      const T* next = frame::RowOf<F>(src, frame::EdgeIndex(static_cast<int64_t>(y) + 1, H, e.Wrap));
      const T* enter = frame::RowOf<F>(src, frame::EdgeIndex(static_cast<int64_t>(y) + 1 + d, H, e.Wrap));
      for (int32_t i = 0; i < rw; ++i) {
        const size_t px = static_cast<size_t>(a.Left + i) * ch;
        int64_t* ab = &above[static_cast<size_t>(i) * planes];
        int64_t* be = &below[static_cast<size_t>(i) * planes];
        int64_t t[4];
        load(leave + px, t);
        for (uint32_t p = 0; p < planes; ++p) ab[p] -= t[p];
        load(s + px, t);
        for (uint32_t p = 0; p < planes; ++p) ab[p] += t[p];
        load(next + px, t);
        for (uint32_t p = 0; p < planes; ++p) be[p] -= t[p];
        load(enter + px, t);
        for (uint32_t p = 0; p < planes; ++p) be[p] += t[p];
      }
    }
  }
  return true;
}

}  // namespace

// ---- classes ------------------------------------------------------------------

const mvEffectClass& mvEdgeDetectionEffect::Describe() {
  using E = mvEdgeDetectionEffect;
  static const mvEffectClass c =
      mvEffectClass::Make<E>(15, "mvEdgeDetectionEffect",
                             {Field("Operator", &E::Operator).Range(0, 1).Help("0 Sobel, 1 Roberts cross"),
                              Field("Amount", &E::Amount).ZeroBecomesOne().NotCompared().Help("gain in percent"),
                              Field("Invert", &E::Invert).Help("invert the result"),
                              Field("Seamless", &E::Seamless).Help("wrap around the picture edges")});
  return c;
}

const mvEffectClass& mvNeonEffect::Describe() {
  using E = mvNeonEffect;
  static const mvEffectClass c = mvEffectClass::Make<E>(
      16, "mvNeonEffect",
      {Field("Radius", &E::Radius).ZeroBecomesOne().Help("size of the smoothing"),
       Field("Amount", &E::Amount).ZeroBecomesOne().Help("gain in percent"),
       Field("Seamless", &E::Seamless).Help("filter every line as part of its periodic extension")});
  return c;
}

const mvEffectClass& mvEmbossEffect::Describe() {
  using E = mvEmbossEffect;
  static const mvEffectClass c = mvEffectClass::Make<E>(
      17, "mvEmbossEffect",
      {Field("Depth", &E::Depth).ZeroBecomesOne().Help("pixels summed on each side"),
       Field("Amount", &E::Amount).ZeroBecomesOne().Help("gain in percent"),
       Field("Direction", &E::Direction).Range(0, 7).Help("light direction 0..7"),
       Field("ColorRelief", &E::ColorRelief).NonZero().Help("keep three colour reliefs instead of one gray"),
       Field("Seamless", &E::Seamless).NonZero().Help("wrap around the picture edges")});
  return c;
}

bool mvEdgeDetectionEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  frame::Frame f(source, target, progress);
  if (!f.Begin()) return f.Answer();
  f.Announce(f.Rows());
  // Only 0 and 1 are operators; anything else is read as the default Sobel.
  const bool roberts = Operator == 1;
  return f.Dispatch(frame::kRgbOrGray, [&](auto fmt) {
    using F = decltype(fmt);
    return f.ForRows([&](int32_t top, int32_t bottom) {
      return roberts ? EdgeBand<F, true>(source, target, f.A, top, bottom, Seamless, Amount, Invert)
                     : EdgeBand<F, false>(source, target, f.A, top, bottom, Seamless, Amount, Invert);
    });
  });
}

bool mvNeonEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  // No steps are announced: the two passes are reported as none.
  frame::Frame f(source, target, progress);
  if (!f.Begin()) return f.Answer();
  if (source.BitDepth != 8) return true;
  const NeonFilter nf = MakeNeonFilter(Radius);
  // Periodic extension length: enough for the filter's response to die out.
  auto padFor = [&](int64_t len) -> int64_t {
    if (!Seamless) return 0;
    const uint64_t reach = 16 * (static_cast<uint64_t>(Radius) + 1);
    return static_cast<uint64_t>(len) < reach ? len : static_cast<int64_t>(reach);
  };
  switch (source.Channels) {
    case 1: return NeonPasses<1>(f, nf, Amount, padFor(f.Rows()), padFor(f.Cols()));
    case 2: return NeonPasses<2>(f, nf, Amount, padFor(f.Rows()), padFor(f.Cols()));
    case 3: return NeonPasses<3>(f, nf, Amount, padFor(f.Rows()), padFor(f.Cols()));
    case 4: return NeonPasses<4>(f, nf, Amount, padFor(f.Rows()), padFor(f.Cols()));
    default: return true;
  }
}

bool mvEmbossEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  frame::Frame f(source, target, progress);
  if (!f.Begin()) return f.Answer();
  f.Announce(f.Rows());
  EmbossSetup e;
  e.Depth = Depth == 0 ? 1 : (Depth > kMaxEmbossDepth ? kMaxEmbossDepth : Depth);
  e.Amount = Amount;
  // Directions outside 0..7 follow the same rules as written for 0..7.
  e.UseV = Direction != 3 && Direction != 4;
  e.NegV = Direction > 4;
  e.UseH = Direction != 1 && Direction != 6;
  e.PosH = Direction == 0 || Direction == 3 || Direction == 5;
  e.Gray = !ColorRelief;
  e.Wrap = Seamless;
  return f.Dispatch(frame::kRgbOrGray, [&](auto fmt) {
    using F = decltype(fmt);
    const bool tiled = EmbossTiles<F>(e);
    return f.ForRows([&](int32_t top, int32_t bottom) {
      return tiled ? EmbossBandTiled<F>(e, source, target, f.A, top, bottom)
                   : EmbossBand<F>(e, source, target, f.A, top, bottom);
    });
  });
}

void RegisterEdgeEffects(mvEffectRegistry& registry) {
  registry.Add(mvMotionBlurEffect::Describe());
  registry.Add(mvEdgeDetectionEffect::Describe());
  registry.Add(mvNeonEffect::Describe());
  registry.Add(mvEmbossEffect::Describe());
}

#include "effects/filter/motion_blur.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "effects/filter/tiled_rows.h"
#include "effects/frame.h"

namespace {

using namespace tiled;

// ---- motion blur -------------------------------------------------------------

// Streaks longer than this would only repeat edge or wrapped pixels for
// ever; the cap keeps a hostile Distance from allocating or looping without end.
constexpr uint32_t kMaxBlurDistance = 65535;

struct BlurPlan {
  size_t Taps = 0;               // 2 * Distance + 1
  std::vector<double> W;         // weight of tap i
  std::vector<int32_t> Dx, Dy;   // offsets of tap i: every tap, or up to the last active one
  std::vector<int32_t> Active;   // taps with a non-zero weight, in order
  int32_t StepX = 0, StepY = 0;  // the offsets' direction along the streak: -1, 0 (constant) or 1
};

// Whether a clamped coordinate c of a streak moving in direction step reads
// the same pixel for every later tap.
inline bool Stuck(int64_t c, int32_t n, int32_t step) { return step == 0 || (step > 0 ? c >= n - 1 : c <= 0); }

// everyTap: the offsets of all taps are needed (formats whose alpha is the
// plain mean of every tap), not only those of the taps with weight.
BlurPlan MakeBlurPlan(uint32_t distance, int32_t angle, uint32_t sigmaField, bool everyTap) {
  BlurPlan p;
  const uint32_t dist = distance == 0 ? 1 : (distance > kMaxBlurDistance ? kMaxBlurDistance : distance);
  const uint32_t sig = sigmaField < 1 ? 1 : (sigmaField > 10 ? 10 : sigmaField);
  const int32_t n = static_cast<int32_t>(2 * dist + 1);
  p.Taps = static_cast<size_t>(n);
  const double s = sig;
  const double denom = s * 2.5066282746310002;
  const double spread = 18 * (s * s);
  double total = 0;
  // exp is exactly 0 below about -745.13: from the first tap whose least
  // exponent is below -746 on, every weight is 0 and adds nothing to the
  // total, so a long streak does not pay for them.
  int32_t weighted = n;
  for (int32_t k = 0; k < n; ++k) {
    const double first = 3.0 * k;
    if (-(first * first) / spread < -746.0) {
      weighted = k;
      break;
    }
    double w = 0;
    for (int32_t j = 0; j < 3; ++j) {
      const double x = 3.0 * k + j;
      const double term = std::exp(-(x * x) / spread) / denom;
      w = j == 0 ? term : w + term;
    }
    p.W.push_back(w);
    total += w;
  }
  p.W.resize(static_cast<size_t>(everyTap ? n : weighted));
  for (double& w : p.W) w = w / total;
  const double theta = static_cast<double>(360 - static_cast<int64_t>(angle)) * kPi / 180;
  const double ex = std::trunc(n * std::sin(theta));
  const double ey = std::trunc(n * std::cos(theta));
  // With at least three taps one of ex, ey is at least 2, so L > 0.
  const double len = std::sqrt(ex * ex + ey * ey);
  // i * e / len truncated moves one way only as i grows.
  p.StepX = ex > 0 ? 1 : (ex < 0 ? -1 : 0);
  p.StepY = ey > 0 ? 1 : (ey < 0 ? -1 : 0);
  p.Dx.resize(p.W.size());
  p.Dy.resize(p.W.size());
  for (int32_t i = 0; i < static_cast<int32_t>(p.W.size()); ++i) {
    p.Dx[static_cast<size_t>(i)] = static_cast<int32_t>(i * ex / len);
    p.Dy[static_cast<size_t>(i)] = static_cast<int32_t>(i * ey / len);
    if (p.W[static_cast<size_t>(i)] > 0) p.Active.push_back(i);
  }
  return p;
}

// Taps deeper than this many rows apart take the per-pixel path alone.
constexpr int64_t kBlurRows = 32;

// One band of rows. Columns whose taps all fall inside the picture go in
// tiles over rows unpacked once per band, each lane summing its taps in the
// order a single pixel does; the columns near the sides, where the edge
// rule picks the taps, go pixel by pixel.
template <class F>
bool BlurBand(const BlurPlan& plan, const mvPicture& src, mvPicture& dst, const mvRect& a, int32_t top, int32_t bottom,
              bool wrap) {
  using T = typename F::Sample;
  [[maybe_unused]] constexpr int64_t M = F::kMax;
  constexpr uint32_t ch = F::kChannels, nc = F::kColours;
  [[maybe_unused]] constexpr uint32_t ach = ch - 1;
  constexpr bool hasAlpha = F::kAlpha;
  // 8-bit RGB rounds and weights by alpha; the others truncate and, with
  // alpha, divide by the plain mean alpha of all taps.
  constexpr bool rounded = F::kRgb && !F::kWide;
  constexpr bool meanAlpha = hasAlpha && !rounded;
  const int32_t W = src.Width, H = src.Height;
  const size_t n = plan.Taps;
  const double taps = static_cast<double>(n);

  // Writes one pixel from its sums (plain: the sum of every tap's alpha).
  auto put = [&](T* d, const double* sum, double alphaSum, double plain) {
    if constexpr (!hasAlpha) {
      for (uint32_t c = 0; c < nc; ++c) d[c] = static_cast<T>(SampleFrom(rounded ? sum[c] + 0.5 : sum[c], M));
    } else if constexpr (!meanAlpha) {
      if (alphaSum == 0) {
        for (uint32_t c = 0; c < ch; ++c) d[c] = 0;
        return;
      }
      for (uint32_t c = 0; c < nc; ++c) d[c] = static_cast<T>(SampleFrom(sum[c] / alphaSum + 0.5, 255));
      d[ach] = static_cast<T>(SampleFrom(alphaSum + 0.5, 255));
    } else {
      const double mean = plain / taps;
      if (mean == 0) return;
      // Uneven alphas can push the quotient past full scale; it is limited
      // rather than left to wrap.
      for (uint32_t c = 0; c < nc; ++c) d[c] = static_cast<T>(SampleFrom(sum[c] / mean, M));
      d[ach] = static_cast<T>(SampleFrom(mean, M));
    }
  };

  // The taps read: those of non-zero weight, and every tap where the plain
  // alpha sum counts them all. Zero-weight taps past the end of a long
  // streak would otherwise cost as many row lookups as the streak is long.
  // The offsets move one way along the streak, so the first and last taps
  // read bound them all.
  const size_t lastRead = meanAlpha ? n - 1 : (plan.Active.empty() ? 0 : static_cast<size_t>(plan.Active.back()));
  const int32_t minDx = std::min({0, plan.Dx[0], plan.Dx[lastRead]}),
                maxDx = std::max({0, plan.Dx[0], plan.Dx[lastRead]});
  const int32_t minDy = std::min({0, plan.Dy[0], plan.Dy[lastRead]}),
                maxDy = std::max({0, plan.Dy[0], plan.Dy[lastRead]});
  // The columns whose taps all fall inside the picture.
  const int32_t lo = std::max(a.Left, -minDx), hi = std::max(lo, std::min(a.Right, W - maxDx));
  const bool tiled = hi - lo >= kTile && static_cast<int64_t>(maxDy) - minDy < kBlurRows;
  PlaneRows<F, false> rows;
  if (tiled && !rows.Allocate(kStrip + maxDx - minDx, static_cast<int64_t>(maxDy) - minDy + 1)) return false;

  std::vector<const T*> rowAt(lastRead + 1);
  auto column = [&](int32_t x, size_t i) -> size_t {
    int64_t c = static_cast<int64_t>(x) + plan.Dx[i];
    if (c < 0 || c >= W) c = frame::EdgeIndex(c, W, wrap);
    return static_cast<size_t>(c) * ch;
  };
  for (int32_t y = top; y < bottom; ++y) {
    // Clamped, the taps from the first one stuck at a top or bottom row on
    // all read that row (lastRow); their rows are not looked up one by one.
    size_t lastRow = lastRead;
    for (size_t i = 0; i <= lastRead; ++i) {
      const int64_t t = static_cast<int64_t>(y) + plan.Dy[i];
      rowAt[i] = frame::RowOf<F>(src, frame::EdgeIndex(t, H, wrap));
      if (meanAlpha && !wrap && Stuck(t, H, plan.StepY)) {
        lastRow = i;
        break;
      }
    }
    auto pixels = [&](int32_t from, int32_t to) {
      T* d = frame::PixelAt<F>(dst, from, y);
      for (int32_t x = from; x < to; ++x, d += ch) {
        double sum[3] = {0, 0, 0}, alphaSum = 0;
        uint64_t plain = 0;
        for (int32_t i : plan.Active) {
          const T* s = rowAt[std::min(static_cast<size_t>(i), lastRow)] + column(x, static_cast<size_t>(i));
          const double w = plan.W[static_cast<size_t>(i)];
          if constexpr (!hasAlpha) {
            for (uint32_t c = 0; c < nc; ++c) sum[c] += w * s[c];
          } else {
            const double al = s[ach];
            if (s[ach] == 0) continue;
            for (uint32_t c = 0; c < nc; ++c) sum[c] += (w * s[c]) * al;
            alphaSum += w * al;
          }
        }
        if constexpr (meanAlpha) {
          for (size_t i = 0; i < n; ++i) {
            // Past both ends of a clamped streak every further tap reads the
            // same pixel: they are counted at once rather than one by one.
            if (!wrap && Stuck(static_cast<int64_t>(x) + plan.Dx[i], W, plan.StepX) &&
                Stuck(static_cast<int64_t>(y) + plan.Dy[i], H, plan.StepY)) {
              plain += (n - i) * uint64_t{rowAt[std::min(i, lastRow)][column(x, i) + ach]};
              break;
            }
            plain += rowAt[std::min(i, lastRow)][column(x, i) + ach];
          }
        }
        put(d, sum, alphaSum, static_cast<double>(plain));
      }
    };
    if (tiled) {
      pixels(a.Left, lo);
      pixels(hi, a.Right);
    } else {
      pixels(a.Left, a.Right);
    }
  }
  for (int32_t s0 = lo; tiled && s0 < hi; s0 += static_cast<int32_t>(kStrip)) {
    const int32_t s1 = static_cast<int32_t>(std::min<int64_t>(hi, s0 + kStrip));
    // The strip's columns and all their taps' columns, inside the picture.
    const int32_t from = s0 + minDx;
    rows.Start(src, from, s1 - s0 + maxDx - minDx, wrap, static_cast<int64_t>(top) + minDy);
    for (int32_t y = top; y < bottom; ++y)
      for (int32_t x0 = s0; x0 < s1; x0 += kTile) {
        double sum[nc][kTile] = {}, alphaSum[kTile] = {}, plain[kTile] = {};
        // A transparent tap adds (w * s) * 0 = +0 to each sum, which leaves
        // it as it is, so no tap needs skipping here.
        for (int32_t i : plan.Active) {
          const int64_t t = static_cast<int64_t>(y) + plan.Dy[static_cast<size_t>(i)];
          const int32_t at = x0 + plan.Dx[static_cast<size_t>(i)] - from;
          const double w = plan.W[static_cast<size_t>(i)];
          if constexpr (!hasAlpha) {
            for (uint32_t c = 0; c < nc; ++c) {
              const double* s = rows.Get(src, t, c) + at;
              for (int32_t k = 0; k < kTile; ++k) sum[c][k] += w * s[k];
            }
          } else {
            const double* al = rows.Get(src, t, nc) + at;
            for (uint32_t c = 0; c < nc; ++c) {
              const double* s = rows.Get(src, t, c) + at;
              for (int32_t k = 0; k < kTile; ++k) sum[c][k] += (w * s[k]) * al[k];
            }
            for (int32_t k = 0; k < kTile; ++k) alphaSum[k] += w * al[k];
          }
        }
        if constexpr (meanAlpha)
          for (size_t i = 0; i < n; ++i) {
            const double* al = rows.Get(src, static_cast<int64_t>(y) + plan.Dy[i], nc) + x0 + plan.Dx[i] - from;
            for (int32_t k = 0; k < kTile; ++k) plain[k] += al[k];
          }
        T* d = frame::PixelAt<F>(dst, x0, y);
        const int32_t count = std::min(kTile, s1 - x0);
        for (int32_t k = 0; k < count; ++k, d += ch) {
          double px[3];
          for (uint32_t c = 0; c < nc; ++c) px[c] = sum[c][k];
          put(d, px, alphaSum[k], plain[k]);
        }
      }
  }
  return true;
}

}  // namespace

const mvEffectClass& mvMotionBlurEffect::Describe() {
  using E = mvMotionBlurEffect;
  static const mvEffectClass c = mvEffectClass::Make<E>(
      8, "mvMotionBlurEffect",
      {Field("Distance", &E::Distance).ZeroBecomesOne().Help("the streak has 2 x Distance + 1 taps"),
       Field("Angle", &E::Angle).Help("direction in degrees"),
       Field("Sigma", &E::Sigma).Clamp(1, 10).Help("spread of the tap weights"),
       Field("Seamless", &E::Seamless).Help("wrap around the picture edges")});
  return c;
}

bool mvMotionBlurEffect::Apply(mvPicture& source, mvPicture& target, mvProgress* progress) {
  frame::Frame f(source, target, progress);
  if (!f.Begin()) return f.Answer();
  f.Announce(f.Rows());
  return f.Dispatch(frame::kRgbOrGray, [&](auto fmt) {
    using F = decltype(fmt);
    // As in BlurBand: formats with alpha other than 8-bit RGB count every tap's alpha.
    const BlurPlan plan = MakeBlurPlan(Distance, Angle, Sigma, F::kAlpha && !(F::kRgb && !F::kWide));
    return f.ForRows([&](int32_t top, int32_t bottom) {
      return BlurBand<decltype(fmt)>(plan, source, target, f.A, top, bottom, Seamless);
    });
  });
}

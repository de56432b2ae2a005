// What any one field can cost: every registered effect, each field at its
// extreme values (after the load rule, as a stream or recipe could leave
// it), must run within a few times its run at typical values on the same
// picture. A hostile file must not turn a small picture into minutes of work.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "core/limits.h"
#include "effects/effect.h"
#include "effects/fields.h"
#include "tests/effects/pictures.h"

namespace {

constexpr int kSide = 64;
// The gradient map builds its table of every luminance key only on pictures
// of a quarter of the 255,001 keys or more; its walk runs on such a picture.
constexpr int kTableSide = 256;
constexpr double kTimes = 8;  // "a few times" the typical run
// Below this a run counts as quick whatever the ratio: the machine is shared
// and noisy, and unoptimised sanitized builds are slow throughout.
#if defined(NDEBUG) && !defined(__SANITIZE_ADDRESS__)
constexpr double kFloorMs = 3;
#else
constexpr double kFloorMs = 15;
#endif

// Fields whose cost grows with their value up to a bound of their own, past
// what "a few times" allows; the factor still catches a cost without bound.
struct Allowance {
  const char* Effect;
  const char* Field;
  double Times;
};
// The streak's taps of non-zero weight stop growing at about 39 x Sigma + 1,
// some ten times the default streak.
// The oil paint's window is not bounded yet: it grows with Radius up to the
// picture's larger side (hundreds of times the typical run); 0 skips it.
constexpr Allowance kAllowances[] = {{"mvMotionBlurEffect", "Distance", 40}, {"mvOilPaintEffect", "Radius", 0}};

GradientSegment Segment(int i, int n) {
  GradientSegment s;
  s.Left = static_cast<double>(i) / n;
  s.Right = static_cast<double>(i + 1) / n;
  s.Middle = (s.Left + s.Right) / 2;
  s.BlendFunction = i % 5;
  s.ColoringType = i % 3;
  s.LeftColor[0] = static_cast<uint8_t>(i * 37);
  s.RightColor[1] = static_cast<uint8_t>(i * 91);
  return s;
}

void SetGradient(mvGradient& g, int segments) {
  g.Clear();
  for (int i = 0; i < segments; ++i) ASSERT_TRUE(g.AppendSegment(Segment(i, segments)));
}

// The extreme values of a field, each as a setter.
std::vector<std::pair<std::string, std::function<void(mvEffect&)>>> Extremes(const FieldInfo& f) {
  std::vector<std::pair<std::string, std::function<void(mvEffect&)>>> out;
  if (f.Type == FieldType::Int || f.Type == FieldType::UInt) {
    std::vector<int64_t> raw = {0, 1};
    if (f.Type == FieldType::Int) {
      raw.insert(raw.end(), {-1, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()});
    } else {
      raw.insert(raw.end(), {65535, std::numeric_limits<uint32_t>::max()});
    }
    if (f.HasRange) raw.insert(raw.end(), {f.Lo, f.Hi});
    for (int64_t v : raw) {
      const int64_t loaded = ApplyLoadRule(f, v);
      out.emplace_back(std::to_string(loaded), [&f, loaded](mvEffect& e) {
        if (f.Type == FieldType::Int) f.Of<int32_t>(e) = static_cast<int32_t>(loaded);
        else f.Of<uint32_t>(e) = static_cast<uint32_t>(loaded);
      });
    }
  } else if (f.Type == FieldType::Double) {
    for (double v :
         {0.0, -1.0, 1e300, -1e300, std::numeric_limits<double>::max(), std::numeric_limits<double>::lowest()})
      out.emplace_back(std::to_string(v), [&f, v](mvEffect& e) { f.Of<double>(e) = v; });
  } else if (f.Type == FieldType::Bool) {
    out.emplace_back("flipped", [&f](mvEffect& e) { f.Of<bool>(e) = !f.Of<bool>(e); });
  } else if (f.Type == FieldType::Gradient) {
    out.emplace_back(std::to_string(limits::kMaxGradientSegments) + " segments",
                     [&f](mvEffect& e) { SetGradient(f.Of<mvGradient>(e), limits::kMaxGradientSegments); });
  }
  return out;
}

// The quicker of two runs on a copy of the picture, in milliseconds.
double RunMs(mvEffect& e, const mvPicture& picture) {
  double best = std::numeric_limits<double>::infinity();
  for (int i = 0; i < 2; ++i) {
    mvPicture copy(picture);
    const auto start = std::chrono::steady_clock::now();
    ApplyTo(e, copy);
    best = std::min(best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

TEST(EffectCosts, NoFieldValueCostsMoreThanAFewTypicalRuns) {
  const mvPicture small = testpics::Noise(kSide, kSide, {ColorTypeRGB, 8, 4}, 5);
  const mvPicture large = testpics::Noise(kTableSide, kTableSide, {ColorTypeRGB, 8, 4}, 6);
  for (const mvEffectClass* c : RegisteredEffects()) {
    const mvPicture& picture = c->Name == "mvGradientMapEffect" ? large : small;
    // Typical: the defaults, with a gradient of a dozen segments where there is one.
    std::unique_ptr<mvEffect> typical(c->Create());
    for (const FieldInfo& f : c->Fields)
      if (f.Type == FieldType::Gradient) SetGradient(f.Of<mvGradient>(*typical), 12);
    const double typicalMs = RunMs(*typical, picture);
    for (const FieldInfo& f : c->Fields) {
      double times = kTimes;
      for (const Allowance& a : kAllowances)
        if (c->Name == a.Effect && f.Name == a.Field) times = a.Times;
      if (times == 0) continue;
      for (const auto& [label, set] : Extremes(f)) {
        std::unique_ptr<mvEffect> e(typical->Clone());
        set(*e);
        const double ms = RunMs(*e, picture);
        EXPECT_LE(ms, times * typicalMs + kFloorMs)
            << c->Name << " " << f.Name << " = " << label << ": " << ms << " ms, typical " << typicalMs << " ms";
      }
    }
  }
}

}  // namespace

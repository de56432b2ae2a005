// The contract every registered effect keeps, walked over the registry and
// the field table instead of being written once per family: on every picture
// format and at the boundary values of every field (each alone and all of
// them together), an effect finishes and answers true, leaves the pixels
// outside the work area alone, gives the same pixels on a second run and on
// 1 or 3 threads, and stops when the progress sink says so, after which the
// sink hears nothing more.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "core/parallel.h"
#include "core/random.h"
#include "effects/fields.h"
#include "effects/frame.h"
#include "tests/effects/pictures.h"

namespace {

using namespace testpics;

GradientSegment Segment(double l, double m, double r, int32_t blend, int32_t colouring, uint8_t alpha = 255) {
  GradientSegment s;
  s.Left = l;
  s.Middle = m;
  s.Right = r;
  s.LeftColor[3] = alpha;
  s.BlendFunction = blend;
  s.ColoringType = colouring;
  return s;
}

std::vector<mvGradient> Gradients() {
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  const std::vector<std::vector<GradientSegment>> tables = {
      {},
      {Segment(0, 0.5, 1, 0, 0)},
      // Every blend function and colouring, gaps, a point segment, a middle
      // outside its segment, values a stream may carry but no editor makes.
      {Segment(0, 0.1, 0.2, 1, 1, 0), Segment(0.2, 0.2, 0.2, 2, 2), Segment(0.3, 0.9, 0.5, 3, 0, 128),
       Segment(0.6, 0.7, 1, 4, 1), Segment(0.9, 0.95, 1e-300, 255, 255)},
      {Segment(-1, 1e300, -1e300, 3, 2), Segment(nan, nan, nan, 1, 1), Segment(-inf, 0, inf, 2, 0)},
  };
  std::vector<mvGradient> out;
  for (const auto& t : tables) {
    mvGradient g;
    for (const GradientSegment& s : t) g.AppendSegment(s);
    out.push_back(g);
  }
  return out;
}

std::vector<mvColor> Colours() {
  mvColor gray16;
  gray16.ColorType = ColorTypeGray;
  gray16.BitDepth = 16;
  gray16.Channels = 2;
  gray16.SetSample(0, 40000);
  gray16.SetSample(1, 30000);
  mvColor indexed;
  indexed.ColorType = ColorTypeIndexed;
  indexed.Channels = 1;
  indexed.Samples[0] = 7;
  return {mvColor::RGB8(200, 100, 50),
          mvColor::RGBA8(10, 250, 90, 0),
          mvColor::RGBA8(255, 255, 255, 128),
          mvColor(65535, 0, 32768, 65535),
          mvColor::Gray8(77),
          gray16,
          indexed};
}

// One value of one field, held by an otherwise default effect of the class;
// the field's traits copy it over and name it.
struct Choice {
  const FieldInfo* Field;
  std::shared_ptr<const mvEffect> Holder;
  void Set(mvEffect& e) const { TraitsOf(Field->Type).Copy(*Field, *Holder, e); }
  std::string Label() const { return Field->Name + "=" + TraitsOf(Field->Type).ToText(*Field, *Holder); }
};

// The values of one field: for integers the type's ends, 0, -1, 1, the
// default and the declared range with its neighbours, each as the field's
// load rule hands it to the effect; booleans both ways; doubles 0, -1,
// huge, tiny and not finite; colours in several formats; gradients empty
// and with odd segments.
std::vector<Choice> Choices(const mvEffectClass& c, const FieldInfo& f) {
  std::vector<Choice> out;
  auto add = [&](auto value) {
    std::shared_ptr<mvEffect> e(c.Create());
    f.Of<decltype(value)>(*e) = value;
    out.push_back({&f, std::move(e)});
  };
  switch (f.Type) {
    case FieldType::Int:
    case FieldType::UInt: {
      const bool sign = f.Type == FieldType::Int;
      std::unique_ptr<mvEffect> made(c.Create());
      const int64_t typical = sign ? int64_t{f.Of<int32_t>(*made)} : int64_t{f.Of<uint32_t>(*made)};
      std::vector<int64_t> raw = {sign ? INT32_MIN : 0, sign ? INT32_MAX : UINT32_MAX, 0, -1, 1, typical};
      if (f.HasRange) raw.insert(raw.end(), {f.Lo, f.Hi, f.Lo - 1, f.Hi + 1});
      std::vector<int64_t> seen;
      for (int64_t v : raw) {
        v = ApplyLoadRule(f, sign ? int64_t{static_cast<int32_t>(v)} : int64_t{static_cast<uint32_t>(v)});
        if (std::find(seen.begin(), seen.end(), v) != seen.end()) continue;
        seen.push_back(v);
        if (sign) add(static_cast<int32_t>(v));
        else add(static_cast<uint32_t>(v));
      }
      break;
    }
    case FieldType::Bool:
      add(false);
      add(true);
      break;
    case FieldType::Double:
      for (double v : {0.0, -1.0, 1e300, 1e-300, std::numeric_limits<double>::quiet_NaN(),
                       -std::numeric_limits<double>::infinity()})
        add(v);
      break;
    case FieldType::Color:
      for (const mvColor& v : Colours()) add(v);
      break;
    case FieldType::Gradient:
      for (const mvGradient& v : Gradients()) add(v);
      break;
  }
  return out;
}

// The effects one class is tried as: its defaults, each field at each of its
// values with the others at their defaults, and every field at once at its
// k-th value for each k.
struct Case {
  std::string Label;
  std::unique_ptr<mvEffect> Effect;
};

std::vector<Case> Cases(const mvEffectClass& c) {
  std::vector<Case> out;
  out.push_back({"defaults", std::unique_ptr<mvEffect>(c.Create())});
  std::vector<std::vector<Choice>> all;
  size_t most = 0;
  for (const FieldInfo& f : c.Fields) {
    all.push_back(Choices(c, f));
    most = std::max(most, all.back().size());
    for (const Choice& choice : all.back()) {
      std::unique_ptr<mvEffect> e(c.Create());
      choice.Set(*e);
      out.push_back({choice.Label(), std::move(e)});
    }
  }
  for (size_t k = 0; all.size() > 1 && k < most; ++k) {
    std::unique_ptr<mvEffect> e(c.Create());
    std::string label = "together:";
    for (const auto& choices : all) {
      const Choice& choice = choices[k % choices.size()];
      choice.Set(*e);
      label += " " + choice.Label();
    }
    out.push_back({label, std::move(e)});
  }
  return out;
}

// Noise with some fully transparent and some fully opaque pixels, which
// kernels treat apart; the work area, when given, is set on it.
mvPicture Input(int32_t w, int32_t h, const Format& f, const mvRect* area) {
  mvPicture p = Noise(w, h, f, static_cast<uint32_t>(w * 7 + h) + f.Channels);
  if (f.Channels % 2 == 0 && f.Type != ColorTypeIndexed)
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; x += 3) {
        uint8_t* px = p.Row(y) + static_cast<size_t>(x) * p.BytesPerPixel() + (f.Channels - 1) * f.Depth / 8;
        std::memset(px, (x + y) % 2 ? 0 : 0xFF, f.Depth / 8);
      }
  if (area) {
    p.HasWorkRect = 1;
    p.WorkRect = *area;
  }
  return p;
}

// A sink that counts, can say stop at a chosen step or ask to stop from the
// start, and notes whether it was called after it said stop.
struct Sink : mvProgress {
  int64_t StopAt = -1;  // SetPos calls answered true before the first false; -1 never
  bool AskStop = false;
  int64_t Calls = 0;
  uint32_t Max = 0;
  bool Announced = false, Said = false, HeardAfter = false;
  void SetMax(uint32_t last) override {
    HeardAfter |= Said;
    Announced = true;
    Max = last;
  }
  bool SetPos(uint32_t pos) override {
    HeardAfter |= Said;
    Pos = pos;
    if (Calls++ == StopAt) Said = true;
    return !Said;
  }
  bool StopRequested() const override { return AskStop; }
};

struct Run {
  bool Answer = false;
  mvPicture Out;
};

// One application as ApplyTo makes it (a transform hands back a new
// picture), on a given thread count, from a fixed shared random state.
Run Apply(mvEffect& e, const mvPicture& input, int threads, Sink* sink) {
  parallel::SetThreadCount(threads);
  SharedRandom.Seed(12345);
  Run r;
  mvPicture source(input);
  if (e.IsTransform()) {
    mvPicture* result = nullptr;
    r.Answer = e.Transform(source, &result, sink);
    if (result) r.Out.MoveFrom(*result);
    delete result;
  } else {
    mvPicture target(input);
    r.Answer = e.Apply(source, target, sink);
    r.Out.MoveFrom(target);
  }
  return r;
}

bool Same(const Run& a, const Run& b) {
  return a.Answer == b.Answer && a.Out.IsEmpty() == b.Out.IsEmpty() && (a.Out.IsEmpty() || SamePixels(a.Out, b.Out));
}

// True when every pixel outside the area is as in the input.
bool OutsideKept(const mvPicture& out, const mvPicture& in, const mvRect& a) {
  const size_t bpp = in.BytesPerPixel();
  for (int32_t y = 0; y < in.Height; ++y)
    for (int32_t x = 0; x < in.Width; ++x)
      if ((x < a.Left || x >= a.Right || y < a.Top || y >= a.Bottom) &&
          std::memcmp(Px(out, x, y), Px(in, x, y), bpp) != 0)
        return false;
  return true;
}

// Seamless random dots wrap over the whole picture by their rule, past the
// work area; every other effect keeps to the area.
bool MayWriteOutside(const mvEffect& e) {
  const FieldInfo* seamless = e.Class().Find("Seamless");
  return e.Class().Name == "mvRandomDotsEffect" && seamless && seamless->Of<bool>(e);
}

// An integer field by name, whatever its type.
int64_t IntField(const mvEffect& e, const char* name) {
  const FieldInfo& f = *e.Class().Find(name);
  return f.Type == FieldType::Int ? int64_t{f.Of<int32_t>(e)} : int64_t{f.Of<uint32_t>(e)};
}

// The steps an effect at its defaults reports for a work area of w x h (in
// a picture w0 wide): one per row, but where its rule counts other units.
int64_t DefaultSteps(const mvEffect& e, int64_t w, int64_t h, int64_t w0) {
  const std::string& n = e.Class().Name;
  if (n == "mvRotateLeftEffect" || n == "mvRotateRightEffect") return w0;  // rows of the turned picture
  if (n == "mvMinimumEffect" || n == "mvMaximumEffect") return w + h;      // rows, then columns
  if (n == "mvCheckerEffect" || n == "mvPixelizeEffect")
    return (h + IntField(e, "CellHeight") - 1) / IntField(e, "CellHeight");
  if (n == "mvMosaicEffect") return IntField(e, "ColorMode") == 0 ? 2 * h : h;
  if (n == "mvParallelLinesEffect" && IntField(e, "Vertical") == 0)
    return (h - IntField(e, "Offset") - 1) / (IntField(e, "LineWidth") + IntField(e, "Gap")) + 1;
  return h;
}

std::string Name(const Format& f) {
  return std::string(f.Type == ColorTypeRGB ? "rgb" : (f.Type == ColorTypeGray ? "gray" : "indexed")) +
         std::to_string(f.Depth) + "x" + std::to_string(f.Channels);
}

// The checks on one picture: finished with true, outside untouched, the
// same again on 3 threads, stopped by a false answer (at the middle step)
// with silence afterwards, and stopped by a stop request from the start.
void Check(mvEffect& e, const mvPicture& input, const std::string& where, bool defaults = false) {
  SCOPED_TRACE(e.Class().Name + " " + where);
  Sink counting;
  const Run first = Apply(e, input, 1, &counting);
  EXPECT_TRUE(first.Answer);
  EXPECT_TRUE(counting.Calls == 0 || (counting.Announced && counting.Calls <= int64_t{counting.Max} + 1))
      << counting.Calls << " steps reported, " << counting.Max << " announced as the last";
  if (defaults && counting.Calls > 0) {
    const mvRect a = input.Area();
    const int64_t w = std::min(a.Right, input.Width) - std::max(a.Left, 0);
    const int64_t h = std::min(a.Bottom, input.Height) - std::max(a.Top, 0);
    const int64_t steps = DefaultSteps(e, w, h, input.Width);
    EXPECT_EQ(counting.Calls, steps) << "steps reported";
    EXPECT_EQ(int64_t{counting.Max} + 1, steps) << "steps announced";
  }
  if (!e.IsTransform() && first.Answer && !MayWriteOutside(e)) {
    EXPECT_TRUE(OutsideKept(first.Out, input, input.Area())) << "pixels outside the work area changed";
  }
  EXPECT_TRUE(Same(first, Apply(e, input, 3, nullptr))) << "a second run on 3 threads differs";
  if (counting.Calls > 0) {
    Sink stop;
    stop.StopAt = counting.Calls / 2;
    EXPECT_FALSE(Apply(e, input, 3, &stop).Answer) << "went on after step " << stop.StopAt << " said stop";
    EXPECT_FALSE(stop.HeardAfter) << "the sink heard from the effect after it said stop";
  }
  const bool worked = e.IsTransform() || !SamePixels(first.Out, input);
  if (worked) {
    Sink ask;
    ask.AskStop = true;
    EXPECT_FALSE(Apply(e, input, 3, &ask).Answer) << "ran to the end although asked to stop";
    EXPECT_EQ(ask.Calls, 0) << "reported steps although asked to stop";
  }
}

}  // namespace

// Every effect, every format, every boundary value, on a 7 x 5 work area of
// a larger picture (so reads beyond the area stay inside the picture) and on
// a small picture whose area reaches as far past its edges as a rectangle
// can. The pictures are small because the walk makes thousands of runs,
// some at the most a field allows.
TEST(EffectContract, EveryEffectFormatAndBoundaryValue) {
  ASSERT_FALSE(RegisteredEffects().empty());
  const mvRect inner{3, 2, 10, 7}, stray{INT32_MIN, 1, INT32_MAX, INT32_MAX};
  for (const mvEffectClass* c : RegisteredEffects()) {
    const std::vector<Case> cases = Cases(*c);
    for (const Format& f : kAllFormats) {
      const mvPicture within = Input(13, 10, f, &inner), past = Input(6, 5, f, &stray);
      for (const Case& k : cases) {
        Check(*k.Effect, within, Name(f) + " " + k.Label, k.Label == "defaults");
        Check(*k.Effect, past, Name(f) + " past the edges " + k.Label, k.Label == "defaults");
      }
    }
  }
  parallel::SetThreadCount(0);
}

// The same on a picture of several bands at the defaults and every field's
// values together, where threads really share the work and a stop lands
// between bands.
TEST(EffectContract, SeveralBandsOnOneAndThreeThreads) {
  const mvRect area{1, 2, 262, 268};
  ASSERT_LT(frame::Frame::BandSteps(266, 261) * 2, 266) << "the picture should make three bands";
  for (const mvEffectClass* c : RegisteredEffects()) {
    std::unique_ptr<mvEffect> e(c->Create());
    for (const Format& f : kAllFormats) Check(*e, Input(263, 270, f, &area), Name(f) + " several bands", true);
  }
  parallel::SetThreadCount(0);
}

#include "bench/typical.h"

#include <charconv>
#include <cstring>

#include "effects/gradient.h"
#include "recipe/recipe.h"

namespace bench {

mvPicture NoisePicture(int32_t width, int32_t height) {
  mvPicture p;
  if (!p.Create(width, height, ColorTypeRGB, 8, 4)) return p;
  uint32_t seed = 99;
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* r = p.Row(y);
    for (int32_t i = 0; i < width * 4; ++i) {
      seed = seed * 1664525u + 1013904223u;
      r[i] = (i & 3) == 3 ? 255 : static_cast<uint8_t>(seed >> 24);
    }
  }
  return p;
}

// The generator's draws at their middle values, seamless (its default), and
// the settings the older per-family benchmarks kept. Classes left out run
// at their defaults.
const std::vector<Typical>& TypicalSettings() {
  static const std::vector<Typical> kTable = {
      {"mvHSVNoiseEffect", "uniform", "HueAmount=25 SaturationAmount=20 ValueAmount=30 Seed=7"},
      {"mvHSVNoiseEffect", "gaussian", "HueAmount=25 SaturationAmount=20 ValueAmount=30 Seed=7 Gaussian=true"},
      {"mvHSLNoiseEffect", "uniform", "HueAmount=20 LightnessAmount=10 Seed=7"},
      {"mvHistogramNoiseEffect", "9", "Amount=9 Seed=7"},
      {"mvMotionBlurEffect", "0deg", "Angle=0 Sigma=7 Seamless=true"},
      {"mvMotionBlurEffect", "90deg", "Angle=90 Sigma=7 Seamless=true"},
      {"mvMotionBlurEffect", "137deg", "Angle=137 Sigma=7 Seamless=true"},
      {"mvEdgeDetectionEffect", "sobel", "Amount=100 Seamless=true"},
      {"mvNeonEffect", "r3", "Radius=3 Amount=140 Seamless=true"},
      {"mvEmbossEffect", "d1", "Depth=1 Amount=190 Direction=2 Seamless=true"},
      {"mvEmbossEffect", "d2", "Depth=2 Amount=190 Direction=2 Seamless=true"},
      {"mvPixelizeEffect", "10x10", "CellWidth=10 CellHeight=10"},
      {"mvMosaicEffect", "average", "CellWidth=8 CellHeight=8 Stagger=1 ColorMode=0 Jitter=50 Seed=777 Seamless=true"},
      {"mvMosaicEffect", "point", "CellWidth=8 CellHeight=8 Stagger=1 ColorMode=1 Jitter=50 Seed=777 Seamless=true"},
      {"mvMedianEffect", "r1", "Radius=1 Seamless=true"},
      {"mvMedianEffect", "r2", "Radius=2 Seamless=true"},
      {"mvMinimumEffect", "r1", "Radius=1 Seamless=true"},
      {"mvMinimumEffect", "r2", "Radius=2 Seamless=true"},
      {"mvMaximumEffect", "r1", "Radius=1 Seamless=true"},
      {"mvMaximumEffect", "r2", "Radius=2 Seamless=true"},
      {"mvSpreadEffect", "3x3", "RangeX=3 RangeY=3 Seed=12345 Seamless=true"},
      {"mvGlassTileEffect", "32", "TileWidth=32 TileHeight=32 Seamless=true"},
      {"mvWrapEffect", "typical", "Relief=180 Exponent=6 Smoothness=2 Seamless=true"},
      {"mvFillEffect", "translucent", "Color=10,20,30,200"},
      {"mvGradientEffect", "radial", "Shape=2"},
      {"mvGradientEffect", "mirrored", "Shape=3"},
      {"mvGradientPatternEffect", "rings", "Direction=2"},
      {"mvGradientPatternEffect", "bands", "Direction=0 Period=64"},
      {"mvDotsEffect", "antialiased", "DotSize=12 Gap=4 Antialias=true"},
      {"mvRandomDotsEffect", "typical", "Seed=3 DotSize=10 Density=100 AlphaVariation=50 Seamless=true"},
      {"mvParallelLinesEffect", "4+12", "LineWidth=4 Gap=12"},
      {"mvGridEffect", "2+30", "LineWidth=2 CellWidth=30 CellHeight=30"},
      {"mvCheckerEffect", "64", "Color1=0,0,0,128 CellWidth=64 CellHeight=64"},
      {"mvCloudEffect", "d4", "Seed=7 Detail=4 Seamless=true"},
      {"mvCloudEffect", "d6", "Seed=7 Detail=6 Seamless=true"},
      {"mvPlasmaEffect", "typical", "Seed=7 Roughness=25 Seamless=true"},
      {"mvOilPaintEffect", "r2", "Radius=2 Seamless=true"},
      {"mvOilPaintEffect", "r3", "Radius=3 Seamless=true"},
      {"mvWatercolorEffect", "r2", "Radius=2 Seamless=true"},
      {"mvWatercolorEffect", "r3", "Radius=3 Seamless=true"},
      {"mvGradientMapEffect", "11", "Segments=11"},
      // One curved segment through HSV, the costliest colouring per pixel.
      {"mvGradientMapEffect", "hsv-sine",
       R"(Gradient=[{"BlendFunction":2,"ColoringType":1,"LeftColor":[255,0,0,255]}])"},
      {"mvCylinderEffect", "columns", "Vertical=0"},
      {"mvCylinderEffect", "rows", "Vertical=1"},
      {"mvSwirlEffect", "360", "Angle=360"},
      {"mvSwirlEffect", "540", "Angle=540"},
      {"mvSineWaveEffect", "seamless", "RowAmplitude=6 RowPeriod=128 ColumnAmplitude=4 ColumnPeriod=256 Seamless=true"},
      {"mvSineWaveEffect", "plain", "RowAmplitude=6 RowPeriod=128 ColumnAmplitude=4 ColumnPeriod=256"},
      {"mvKaleidoscopeEffect", "four", "Diagonal=0"},
      {"mvKaleidoscopeEffect", "eight", "Diagonal=1"},
  };
  return kTable;
}

std::vector<std::string> SplitWords(const char* text) {
  std::vector<std::string> words;
  std::string word;
  for (const char* c = text;; ++c) {
    if (*c == ' ' || *c == '\0') {
      if (!word.empty()) words.push_back(word);
      word.clear();
      if (*c == '\0') break;
    } else {
      word += *c;
    }
  }
  return words;
}

namespace {

// Evenly spaced linear RGB segments with colours from a fixed sequence, as
// the generator's gradient maps are.
mvGradient GeneratedGradient(int32_t segments) {
  mvGradient g;
  uint32_t seed = 5;
  auto level = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<uint8_t>(255 * ((seed >> 24) % 32) / 31);
  };
  double left = 0;
  for (int32_t j = 0; j < segments; ++j) {
    GradientSegment s;
    s.Left = left;
    s.Right = static_cast<double>(j + 1) / segments;
    s.Middle = (s.Left + s.Right) / 2;
    for (int c = 0; c < 3; ++c) {
      s.LeftColor[c] = level();
      s.RightColor[c] = level();
    }
    g.AppendSegment(s);
    left = s.Right;
  }
  return g;
}

}  // namespace

std::unique_ptr<mvEffect> MakeEffect(const std::string& cls, const std::vector<std::string>& params,
                                     std::string& error) {
  const mvEffectClass* c = FindEffectClass(cls);
  if (!c) {
    error = "no effect class \"" + cls + "\"";
    return nullptr;
  }
  std::unique_ptr<mvEffect> e(c->Create());
  if (!e) {
    error = "out of memory";
    return nullptr;
  }
  for (const std::string& p : params) {
    const size_t eq = p.find('=');
    if (eq == std::string::npos) {
      error = "\"" + p + "\" is not FIELD=VALUE";
      return nullptr;
    }
    const std::string name = p.substr(0, eq), value = p.substr(eq + 1);
    if (name == "Segments" && c->Find("Gradient")) {
      int32_t n = 0;
      const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
      if (ec != std::errc() || end != value.data() + value.size() || n < 1 || n > 1000) {
        error = "Segments must be 1..1000";
        return nullptr;
      }
      c->Find("Gradient")->Of<mvGradient>(*e) = GeneratedGradient(n);
      continue;
    }
    const FieldInfo* f = c->Find(name);
    if (!f) {
      error = c->Name + " has no field \"" + name + "\"";
      return nullptr;
    }
    if (!SetFieldFromText(*e, *f, value, error)) return nullptr;
  }
  return e;
}

bool ApplyOnce(mvEffect& effect, mvPicture& source, mvPicture& target) {
  if (!effect.IsTransform()) return effect.Apply(source, target, nullptr);
  mvPicture* result = nullptr;
  const bool ok = effect.Transform(source, &result, nullptr);
  delete result;
  return ok;
}

}  // namespace bench

// The random texture generator: a render stage of one or more painted layers,
// then a filter stage of filters and distortions. Every draw comes from
// GeneratorRandom in a fixed order; the same state, parameters and size give
// the same texture bit for bit, so the order below is part of the contract.
#include <algorithm>
#include <memory>

#include "core/color.h"
#include "effects/filter/cells.h"
#include "effects/filter/edges.h"
#include "effects/filter/noise.h"
#include "effects/filter/painterly.h"
#include "effects/geometric/distortions.h"
#include "effects/render/cloud.h"
#include "effects/render/fill.h"
#include "effects/render/patterns.h"
#include "generator/draws.h"
#include "generator/generator.h"

namespace {

class Generator {
public:
  explicit Generator(mvPictureLayer& layer)
      : Layer(layer), R(GeneratorRandom), P(GeneratorParameters), W(layer.Width), H(layer.Height) {}

  bool Run() {
    LayerColor1 = mvColor();
    LayerColor2 = mvColor();
    FlatAreas = false;
    const int32_t layers = 1 + static_cast<int32_t>(U(static_cast<uint32_t>(std::max(P.RenderLevel, 1))));
    for (int32_t i = 0; i < layers;) {
      DrawLayerColors(i);
      const uint32_t kind = i == 0 ? U(7) : U(11);
      Outcome o = RenderKind(kind, i);
      if (o == Outcome::Failed) return false;
      if (o == Outcome::Done) ++i;
    }
    return FilterStage();
  }

private:
  enum class Outcome { Done, Refused, Failed };

  uint32_t U(uint32_t n) { return R.NextInt(n); }
  uint32_t N() { return R.Next(); }
  double D() { return R.NextDouble(); }

  // Appends and applies; a failure deletes the effect and ends the texture.
  bool Add(mvEffect* effect) {
    if (!effect) return false;
    if (!Layer.AddEffect(effect, true)) {
      delete effect;
      return false;
    }
    return true;
  }
  Outcome AddOutcome(mvEffect* effect) { return Add(effect) ? Outcome::Done : Outcome::Failed; }

  // ---- layer colours -----------------------------------------------------------

  static void RGBA(const mvColor& c, uint8_t out[4]) {
    if (!ConvertColor(ColorTypeRGB, c, 8, 4, out)) out[0] = out[1] = out[2] = 0, out[3] = 255;
  }

  mvColor Shifted(const mvColor& base, int32_t i) {
    uint8_t b[4];
    RGBA(base, b);
    double y, cb, cr;
    RGBToYCbCr(b[0], b[1], b[2], y, cb, cr);
    const double t = 0.1 + 0.5 * D();
    if (b[0] >= 64 || b[1] >= 64 || b[2] >= 64) {
      if (U(2) == 1)
        y = y - t;
      else
        y = y + t;
    } else {
      y = y + t;
    }
    uint8_t r, g, bl;
    YCbCrToRGB(y, cb, cr, r, g, bl);
    const uint8_t a = i == 0 ? 255 : static_cast<uint8_t>(8 * U(24));
    return mvColor::RGBA8(r, g, bl, a);
  }

  void DrawLayerColors(int32_t i) {
    if (U(10) < 9) {
      LayerColor1 = DrawLayerColor(R, i == 0);
    } else {
      LayerColor1 = Shifted(LayerColor1, i);
    }
    LayerColor2 = Shifted(LayerColor1, i);
  }

  // Pattern kinds pass only as often as the geometric level allows.
  bool PatternAccepted() {
    if (P.GeometricLevel == 0) return false;
    return static_cast<int64_t>(U(5)) < P.GeometricLevel;
  }
  bool BandsAccepted() {
    if (P.GeometricLevel == 0) return false;
    return static_cast<int64_t>(U(5)) < 2 * static_cast<int64_t>(P.GeometricLevel);
  }

  // ---- render stage ------------------------------------------------------------

  Outcome RenderKind(uint32_t k, int32_t i) {
    switch (k) {
      case 0: return FillAndNoise(i);
      case 1: {
        auto* e = new mvGradientEffect;
        e->Color1 = LayerColor1;
        e->Color2 = LayerColor2;
        e->Shape = P.Seamless ? 3 + U(2) : U(5);
        FlatAreas = false;
        return AddOutcome(e);
      }
      case 2: return Bands();
      case 3: {
        if (!PatternAccepted()) return Outcome::Refused;
        auto* e = new mvCheckerEffect;
        e->Color1 = LayerColor1;
        e->Color2 = LayerColor2;
        DrawCheckerCells(R, W, H, P.Seamless, *e);
        if (i == 0) FlatAreas = true;
        return AddOutcome(e);
      }
      case 4: {
        auto* e = new mvCloudEffect;
        e->Color1 = LayerColor1;
        e->Color2 = LayerColor2;
        e->Seamless = P.Seamless;
        e->Detail = static_cast<int32_t>(U(5));
        e->ScaleX = static_cast<int32_t>(10 * (1 + U(4)));
        e->ScaleY = static_cast<int32_t>(10 * (1 + U(4)));
        e->Seed = N();
        FlatAreas = false;
        return AddOutcome(e);
      }
      case 5: return Plasma(i);
      case 6: return BlendedPlasma(i);
      case 7: {
        if (!PatternAccepted()) return Outcome::Refused;
        auto* e = new mvDotsEffect;
        e->Color = LayerColor1;
        e->Square = static_cast<int32_t>(U(2));
        DrawDotLattice(R, W, P.Seamless, *e);
        e->Antialias = true;
        return AddOutcome(e);
      }
      case 8: {
        if (!PatternAccepted()) return Outcome::Refused;
        auto* e = new mvRandomDotsEffect;
        e->Color = LayerColor1;
        e->Square = static_cast<int32_t>(U(2));
        e->AlphaVariation = static_cast<int32_t>(10 * U(11));
        e->DotSize = static_cast<int32_t>(4 + U(20));
        e->SizeVariation = static_cast<int32_t>(10 * U(5));
        e->Density = static_cast<int32_t>(50 + U(101));
        e->Seed = static_cast<int32_t>(N());
        e->Seamless = P.Seamless;
        return AddOutcome(e);
      }
      case 9: {
        if (!PatternAccepted()) return Outcome::Refused;
        auto* e = new mvParallelLinesEffect;
        e->Color = LayerColor1;
        e->Vertical = static_cast<int32_t>(U(2));
        DrawLineSpacing(R, W, H, P.Seamless, *e);
        return AddOutcome(e);
      }
      default: {
        if (!PatternAccepted()) return Outcome::Refused;
        auto* e = new mvGridEffect;
        e->Color = LayerColor1;
        DrawGridCells(R, W, H, P.Seamless, *e);
        return AddOutcome(e);
      }
    }
  }

  Outcome FillAndNoise(int32_t i) {
    if (i == 0 || U(2) == 0) {
      auto* fill = new mvFillEffect;
      fill->Color = LayerColor1;
      if (!Add(fill)) return Outcome::Failed;
    }
    uint32_t m = U(3) == 0 ? 4 : 1 + U(7);
    const bool gaussian = U(2) == 0;
    int32_t vb = gaussian || m == 4 ? 10 : 5;
    if (i == 0) {
      m |= 4;
      vb = 10;
    }
    const int32_t sb = gaussian || m == 2 ? 10 : 5;
    auto* noise = new mvHSVNoiseEffect;
    noise->Density = 100;
    noise->HueAmount = (m & 1) ? static_cast<int32_t>(10 + U(30)) : 0;
    noise->SaturationAmount = (m & 2) ? sb + static_cast<int32_t>(U(20)) : 0;
    noise->ValueAmount = (m & 4) ? vb + static_cast<int32_t>(U(40)) : 0;
    noise->Seed = N();
    noise->Gaussian = gaussian;
    noise->AlphaAmount = 0;
    mvEffect* last = noise;
    if (P.Seamless && U(3) == 0) {
      if (!Add(noise)) return Outcome::Failed;
      auto* blur = new mvMotionBlurEffect;
      DrawMotionBlurPath(R, *blur);
      blur->Seamless = true;
      last = blur;
    }
    FlatAreas = false;
    return AddOutcome(last);
  }

  Outcome Bands() {
    if (!BandsAccepted()) return Outcome::Refused;
    auto* e = new mvGradientPatternEffect;
    e->Color1 = LayerColor1;
    e->Color2 = LayerColor2;
    e->Sawtooth = U(3) == 2 ? 1 : 0;
    e->Direction = P.Seamless ? U(2) : U(3);
    DrawBandPeriod(R, W, H, P.Seamless, kGeneratorBandFallbackSteps, *e);
    FlatAreas = false;
    return AddOutcome(e);
  }

  Outcome Plasma(int32_t i) {
    auto* plasma = new mvPlasmaEffect;
    plasma->Seed = N();
    plasma->Roughness = static_cast<int32_t>(1 + U(50));
    plasma->Grayscale = U(4) == 0;
    plasma->Seamless = P.Seamless;
    if (i > 0) plasma->Opacity = 257 * (64 + U(128));
    FlatAreas = false;
    if (i > 0 || U(4) == 3) return AddOutcome(plasma);
    if (!Add(plasma)) return Outcome::Failed;
    if (P.FilterLevel != 0 && U(3) == 2) {
      auto* pixelize = new mvPixelizeEffect;
      DrawPixelCells(R, W, H, P.Seamless, *pixelize);
      FlatAreas = true;
      return AddOutcome(pixelize);
    }
    auto* kaleidoscope = new mvKaleidoscopeEffect;
    kaleidoscope->Diagonal = U(2);
    return AddOutcome(kaleidoscope);
  }

  Outcome BlendedPlasma(int32_t i) {
    static constexpr uint32_t kModes[8] = {1, 3, 4, 5, 8, 9, 10, 12};
    uint8_t base[4] = {0, 0, 0, 255};
    if (i == 0) {
      auto* fill = new mvFillEffect;
      fill->Color = LayerColor1;
      if (!Add(fill)) return Outcome::Failed;
      RGBA(LayerColor1, base);
    }
    auto* plasma = new mvPlasmaEffect;
    uint32_t mode = kModes[U(8)];
    if (i == 0) {
      const bool dark = base[0] < 80 && base[1] < 80 && base[2] < 80;
      const bool light = base[0] > 224 && base[1] > 224 && base[2] > 224;
      // Modes that would leave a near-black or near-white base unchanged are redrawn.
      auto unsuitable = [&](uint32_t md) {
        return ((md == 1 || md == 5 || md == 9 || md == 12) && dark) ||
               ((md == 4 || md == 8 || md == 9 || md == 12) && light);
      };
      while (unsuitable(mode)) mode = kModes[U(8)];
    }
    plasma->BlendMode = mode;
    plasma->Seed = N();
    plasma->Roughness = static_cast<int32_t>(1 + U(50));
    plasma->Grayscale = U(4) <= 2;
    plasma->Seamless = P.Seamless;
    FlatAreas = false;
    return AddOutcome(plasma);
  }

  // ---- filter stage ------------------------------------------------------------

  bool FilterStage() {
    if (P.FilterLevel < 1) return true;
    int32_t n = static_cast<int32_t>(U(static_cast<uint32_t>(P.FilterLevel) + 1));
    if (n == 0 && FlatAreas) n = 1;
    int64_t prev = -1;
    for (int32_t i = 0; i < n;) {
      uint32_t k = U(17);
      while (k == prev) k = U(17);
      prev = k;
      Outcome o = FilterChoice(k, i);
      if (o == Outcome::Failed) return false;
      if (o == Outcome::Done) ++i;
    }
    return true;
  }

  bool StrongDistortionRefused() {
    if (static_cast<int64_t>(U(5)) >= static_cast<int64_t>(P.GeometricLevel) + 2) return true;
    return U(static_cast<uint32_t>(2 * static_cast<int64_t>(P.FilterLevel))) != 0;
  }

  bool RecipeHolds(uint32_t typeId) const {
    for (int32_t j = 0; j < Layer.Effects.Count(); ++j)
      if (Layer.Effects[j]->GetTypeID() == typeId) return true;
    return false;
  }

  bool OnlyCloudsAndPlasmas() const {
    for (int32_t j = 0; j < Layer.Effects.Count(); ++j) {
      const uint32_t id = Layer.Effects[j]->GetTypeID();
      if (id != 138 && id != 139) return false;
    }
    return true;
  }

  Outcome FilterChoice(uint32_t k, int32_t i) {
    switch (k) {
      case 0: {
        if (StrongDistortionRefused()) return Outcome::Refused;
        auto* e = new mvCylinderEffect;
        e->Vertical = U(2);
        return AddOutcome(e);
      }
      case 1: {
        if (StrongDistortionRefused()) return Outcome::Refused;
        auto* e = new mvSwirlEffect;
        DrawSwirlAngle(R, *e);
        FlatAreas = false;
        return AddOutcome(e);
      }
      case 2: {
        auto* e = new mvSineWaveEffect;
        if (!DrawSineWaves(R, W, H, *e)) {
          delete e;
          return Outcome::Refused;
        }
        e->Seamless = P.Seamless;
        return AddOutcome(e);
      }
      case 3: {
        auto* e = new mvHSLNoiseEffect;
        const uint32_t m = 1 + U(7);
        const int32_t base = (m == 1 || m == 2 || m == 4) ? 10 : 1;
        e->HueAmount = (m & 1) ? base + static_cast<int32_t>(U(20)) : 0;
        e->SaturationAmount = (m & 2) ? base + static_cast<int32_t>(U(10)) : 0;
        e->LightnessAmount = (m & 4) ? base + static_cast<int32_t>(U(10)) : 0;
        e->Seed = N();
        e->Gaussian = U(2) == 0;
        e->Density = 100;
        e->AlphaAmount = 0;
        FlatAreas = false;
        return AddOutcome(e);
      }
      case 4: {
        if (FlatAreas) return Outcome::Refused;
        auto* e = new mvHistogramNoiseEffect;
        e->Seed = N();
        e->Amount = static_cast<int32_t>(4 + U(10));
        return AddOutcome(e);
      }
      case 5: {
        auto* e = new mvWatercolorEffect;
        e->Radius = 1 + U(3);
        e->Seamless = P.Seamless;
        FlatAreas = false;
        return AddOutcome(e);
      }
      case 6: {
        if (DetailLevel(Layer) < 20) return Outcome::Refused;
        mvEffect* made;
        if (U(2) == 0) {
          auto* e = new mvEdgeDetectionEffect;
          e->Amount = 20 * (5 + U(6));
          e->Invert = U(2) == 0;
          e->Seamless = P.Seamless;
          if (U(2) == 0) {
            static constexpr uint32_t kInverted[3] = {1, 3, 9}, kPlain[3] = {3, 5, 9};
            e->BlendMode = e->Invert ? kInverted[U(3)] : kPlain[U(3)];
          }
          made = e;
        } else {
          auto* e = new mvNeonEffect;
          e->Radius = 2 + U(4);
          e->Amount = 20 * (5 + U(6));
          e->Seamless = P.Seamless;
          made = e;
        }
        FlatAreas = false;
        return AddOutcome(made);
      }
      case 7: {
        auto* e = new mvEmbossEffect;
        e->Direction = static_cast<int32_t>(U(6));
        e->Depth = 1 + U(2);
        e->Amount = 10 * (10 + U(20));
        e->ColorRelief = false;
        e->Seamless = P.Seamless;
        e->BlendMode = 10;
        FlatAreas = false;
        return AddOutcome(e);
      }
      case 8: {
        if (FlatAreas) return Outcome::Refused;
        auto* e = new mvMedianEffect;
        e->Radius = 1 + U(2);
        e->Seamless = P.Seamless;
        return AddOutcome(e);
      }
      case 9: {
        auto* e = new mvMinimumEffect;
        e->Radius = 1 + U(2);
        e->Seamless = P.Seamless;
        return AddOutcome(e);
      }
      case 10: {
        auto* e = new mvMaximumEffect;
        e->Radius = 1 + U(2);
        e->Seamless = P.Seamless;
        return AddOutcome(e);
      }
      case 11: {
        auto* e = new mvSpreadEffect;
        e->RangeX = 1 + U(5);
        e->RangeY = 1 + U(5);
        e->Seed = N();
        e->Seamless = P.Seamless;
        FlatAreas = false;
        return AddOutcome(e);
      }
      case 12: {
        auto* e = new mvGlassTileEffect;
        if (!DrawGlassTiles(R, W, H, *e)) {
          delete e;
          return Outcome::Refused;
        }
        e->Seamless = P.Seamless;
        FlatAreas = false;
        return AddOutcome(e);
      }
      case 13: {
        auto* e = new mvOilPaintEffect;
        e->Radius = 1 + U(3);
        e->Seamless = P.Seamless;
        FlatAreas = false;
        return AddOutcome(e);
      }
      case 14: {
        auto* e = new mvWrapEffect;
        e->Relief = static_cast<int32_t>(15 * U(24));
        e->Exponent = static_cast<int32_t>(3 + U(8));
        e->Smoothness = static_cast<int32_t>(1 + U(3));
        e->Seamless = P.Seamless;
        FlatAreas = false;
        return AddOutcome(e);
      }
      case 15: {
        if (i != 0 || !OnlyCloudsAndPlasmas()) return Outcome::Refused;
        auto* e = new mvMosaicEffect;
        DrawMosaicCells(R, W, H, P.Seamless, *e);
        e->ColorMode = U(2);
        e->Jitter = 10 * (1 + U(10));
        e->Seed = N();
        e->Seamless = P.Seamless;
        return AddOutcome(e);
      }
      default: return GradientMap();
    }
  }

  // Lowest and highest luminance level of the visible pixels; -1 when none.
  void LuminanceRange(int32_t& lowest, int32_t& highest) const {
    uint32_t table[256] = {};
    mvRect a = Layer.Area();
    a.Left = std::max(a.Left, 0);
    a.Top = std::max(a.Top, 0);
    a.Right = std::min(a.Right, Layer.Width);
    a.Bottom = std::min(a.Bottom, Layer.Height);
    const uint32_t ch = Layer.Channels;
    const bool alpha = Layer.HasAlpha();
    for (int32_t y = a.Top; y < a.Bottom; ++y) {
      const uint8_t* row = Layer.Row(y);
      for (int32_t x = a.Left; x < a.Right; ++x) {
        if (Layer.BitDepth == 8) {
          const uint8_t* p = row + static_cast<size_t>(x) * ch;
          if (alpha && p[ch - 1] == 0) continue;
          if (Layer.ColorType == ColorTypeRGB)
            ++table[(19672u * p[0] + 38621u * p[1] + 7500u * p[2]) >> 16];
          else if (Layer.ColorType == ColorTypeGray)
            ++table[p[0]];
        } else {
          const uint16_t* p = reinterpret_cast<const uint16_t*>(row) + static_cast<size_t>(x) * ch;
          if (alpha && p[ch - 1] == 0) continue;
          if (Layer.ColorType == ColorTypeRGB)
            ++table[std::min<uint64_t>(255, (77ull * p[0] + 150ull * p[1] + 29ull * p[2]) >> 16)];
          else if (Layer.ColorType == ColorTypeGray)
            ++table[p[0] >> 8];
        }
      }
    }
    lowest = highest = -1;
    for (int32_t v = 0; v < 256; ++v)
      if (table[v]) {
        lowest = v;
        break;
      }
    for (int32_t v = 255; v >= 0; --v)
      if (table[v]) {
        highest = v;
        break;
      }
  }

  Outcome GradientMap() {
    if (FlatAreas || RecipeHolds(271)) return Outcome::Refused;
    int32_t lowest, highest;
    LuminanceRange(lowest, highest);
    if (highest - lowest < 128) return Outcome::Refused;
    const int32_t s = static_cast<int32_t>(2 + U(11));
    mvGradient gradient;
    std::vector<GradientSegment> segments(static_cast<size_t>(s));
    double left = 0;
    for (int32_t j = 0; j < s; ++j) {
      GradientSegment& g = segments[static_cast<size_t>(j)];
      g.Left = left;
      g.Right = static_cast<double>(j + 1) / s;
      g.Middle = (g.Left + g.Right) / 2;
      g.LeftColor[3] = g.RightColor[3] = 255;
      g.BlendFunction = 0;
      g.ColoringType = 0;
      left = g.Right;
    }
    if (U(3) < 2) {
      const uint32_t m = U(4);
      const double h0 = D();
      const double s0 = D();
      const double q = 0.5 + 0.5 * D();
      const double r = (m & 1) ? D() : 0;
      for (int32_t j = 0; j < s; ++j) {
        GradientSegment& g = segments[static_cast<size_t>(j)];
        const double v = D();
        const double leftL = std::max(0.0, (j * q - 0.5 * v) / s);
        double h = h0;
        if (m & 1) {
          h = h0 + (D() - 0.5) * r;
          if (h < 0)
            h += 1;
          else if (h > 1)
            h -= 1;
        }
        double sat = s0;
        if (m & 2) sat = std::clamp(s0 + 0.1 * (D() - 0.5), 0.0, 1.0);
        HSLToRGB(h, sat, leftL, g.LeftColor[0], g.LeftColor[1], g.LeftColor[2]);
        const double u = D();
        const double rightL = std::min(1.0, ((j + 1) * q + 0.5 * u) / s);
        HSLToRGB(h, sat, rightL, g.RightColor[0], g.RightColor[1], g.RightColor[2]);
      }
    } else {
      uint8_t c[3];
      for (uint8_t& x : c) x = RandomLevel(R);
      for (int32_t j = 0; j < s; ++j) {
        GradientSegment& g = segments[static_cast<size_t>(j)];
        std::copy(c, c + 3, g.LeftColor);
        for (uint8_t& x : c) x = RandomLevel(R);
        std::copy(c, c + 3, g.RightColor);
      }
    }
    for (const GradientSegment& g : segments)
      if (!gradient.AppendSegment(g)) return Outcome::Failed;
    auto* e = new mvGradientMapEffect;
    e->Gradient = gradient;
    return AddOutcome(e);
  }

  mvPictureLayer& Layer;
  mvRandom& R;
  const GeneratorParametersT& P;
  const int32_t W, H;
  mvColor LayerColor1, LayerColor2;
  bool FlatAreas = false;
};

}  // namespace

bool GenerateTexture(mvPictureLayer& layer) {
  if (!layer.Pixels) return false;
  Generator g(layer);
  return g.Run();
}

#include <algorithm>
#include <cctype>
#include <charconv>

#include "effects/effect.h"

namespace {

struct TypeName {
  uint32_t Id;
  const char* Name;
};

// Every identifier of the effect library with its class name, including the
// classes this program does not build (523 is unassigned).
constexpr TypeName kTypeTable[] = {{1, "mvHSVNoiseEffect"},
                                   {2, "mvRGBNoiseEffect"},
                                   {3, "mvYCbCrNoiseEffect"},
                                   {4, "mvHistogramNoiseEffect"},
                                   {5, "mvConvolveEffect"},
                                   {6, "mvBlurEffect"},
                                   {7, "mvGaussianBlurEffect"},
                                   {8, "mvMotionBlurEffect"},
                                   {9, "mvRadialBlurEffect"},
                                   {10, "mvRotationBlurEffect"},
                                   {11, "mvWindEffect"},
                                   {12, "mvSharpenEffect"},
                                   {13, "mvSmoothingEffect"},
                                   {14, "mvEdgeEffect"},
                                   {15, "mvEdgeDetectionEffect"},
                                   {16, "mvNeonEffect"},
                                   {17, "mvEmbossEffect"},
                                   {18, "mvPixelizeEffect"},
                                   {19, "mvMosaicEffect"},
                                   {20, "mvHalfToneEffect"},
                                   {21, "mvAverageEffect"},
                                   {22, "mvMedianEffect"},
                                   {23, "mvMinimumEffect"},
                                   {24, "mvMaximumEffect"},
                                   {25, "mvSpreadEffect"},
                                   {26, "mvSoftglowEffect"},
                                   {27, "mvPhotocopyEffect"},
                                   {28, "mvChromeEffect"},
                                   {29, "mvGlassTileEffect"},
                                   {30, "mvWrapEffect"},
                                   {31, "mvDropShadowEffect"},
                                   {32, "mvSeamlessEffect"},
                                   {33, "mvHSLNoiseEffect"},
                                   {128, "mvFillEffect"},
                                   {129, "mvFillGradientEffect"},
                                   {130, "mvGradientEffect"},
                                   {131, "mvGradientPatternEffect"},
                                   {132, "mvTextEffect"},
                                   {133, "mvDotsEffect"},
                                   {134, "mvRandomDotsEffect"},
                                   {135, "mvParallelLinesEffect"},
                                   {136, "mvGridEffect"},
                                   {137, "mvCheckerEffect"},
                                   {138, "mvCloudEffect"},
                                   {139, "mvPlasmaEffect"},
                                   {140, "mvGeometricalPatternEffect"},
                                   {192, "mvOilPaintEffect"},
                                   {193, "mvWatercolorEffect"},
                                   {194, "mvPencilEffect"},
                                   {195, "mvPenSketchEffect"},
                                   {196, "mvWoodcutEffect"},
                                   {197, "mvEngraveEffect"},
                                   {198, "mvStampEffect"},
                                   {256, "mvGrayscaleEffect"},
                                   {257, "mvColorizeEffect"},
                                   {258, "mvSepiaEffect"},
                                   {259, "mvDuoToneEffect"},
                                   {260, "mvUnifyColorsEffect"},
                                   {261, "mvNegativeEffect"},
                                   {262, "mvHSVNegativeEffect"},
                                   {263, "mvSoralizationEffect"},
                                   {264, "mvPosterizeEffect"},
                                   {265, "mvBinaryEffect"},
                                   {266, "mvDiffuseBinaryEffect"},
                                   {267, "mvBayerBinaryEffect"},
                                   {268, "mvRandomDitherBinaryEffect"},
                                   {269, "mvAdaptiveBinaryEffect"},
                                   {270, "mvRGBThresholdEffect"},
                                   {271, "mvGradientMapEffect"},
                                   {272, "mvReplaceColorEffect"},
                                   {273, "mvBlackThresholdEffect"},
                                   {274, "mvWhiteThresholdEffect"},
                                   {275, "mvBrightnessToHueEffect"},
                                   {276, "mvSwapRGBEffect"},
                                   {277, "mvBrightnessToOpacityEffect"},
                                   {278, "mvThresholdAlphaEffect"},
                                   {279, "mvFlattenEffect"},
                                   {280, "mvEnhanceColorsEffect"},
                                   {281, "mvBrightnessContrastEffect"},
                                   {282, "mvRGBBalanceEffect"},
                                   {283, "mvGammaCorrectionEffect"},
                                   {284, "mvLevelsEffect"},
                                   {285, "mvCurvesEffect"},
                                   {286, "mvEqualizeEffect"},
                                   {287, "mvNormalizeEffect"},
                                   {288, "mvStretchRGBEffect"},
                                   {289, "mvStretchHSVEffect"},
                                   {512, "mvResizeEffect"},
                                   {513, "mvCropEffect"},
                                   {514, "mvRotateLeftEffect"},
                                   {515, "mvRotateRightEffect"},
                                   {516, "mvRotate180Effect"},
                                   {517, "mvRotateEffect"},
                                   {518, "mvFlipEffect"},
                                   {519, "mvMirrorEffect"},
                                   {520, "mvPolarEffect"},
                                   {521, "mvScrollEffect"},
                                   {522, "mvSliceEffect"},
                                   {524, "mvDisplaceMapEffect"},
                                   {525, "mvCircleEffect"},
                                   {526, "mvSphereEffect"},
                                   {527, "mvLenzEffect"},
                                   {528, "mvCylinderEffect"},
                                   {529, "mvPerspectiveEffect"},
                                   {530, "mvSwirlEffect"},
                                   {531, "mvImplodeEffect"},
                                   {532, "mvSineWaveEffect"},
                                   {533, "mvWaveRingsEffect"},
                                   {534, "mvRippleEffect"},
                                   {535, "mvKaleidoscopeEffect"}};

struct Registry {
  std::vector<const mvEffectClass*> Classes;
  Registry() {
    mvEffectRegistry r;
    RegisterRenderEffects(r);
    RegisterFilterEffects(r);
    RegisterGeometricEffects(r);
    Classes = std::move(r.Classes);
    std::sort(Classes.begin(), Classes.end(),
              [](const mvEffectClass* a, const mvEffectClass* b) { return a->TypeId < b->TypeId; });
  }
};

const Registry& TheRegistry() {
  static const Registry registry;
  return registry;
}

bool SameLetters(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

const std::vector<const mvEffectClass*>& RegisteredEffects() { return TheRegistry().Classes; }

const mvEffectClass* FindEffectClass(uint32_t typeId) {
  for (const mvEffectClass* c : RegisteredEffects())
    if (c->TypeId == typeId) return c;
  return nullptr;
}

const mvEffectClass* FindEffectClass(std::string_view nameOrId) {
  uint32_t id = 0;
  auto [end, ec] = std::from_chars(nameOrId.data(), nameOrId.data() + nameOrId.size(), id);
  if (ec == std::errc() && end == nameOrId.data() + nameOrId.size()) return FindEffectClass(id);
  for (const mvEffectClass* c : RegisteredEffects()) {
    std::string_view n = c->Name;
    if (SameLetters(n, nameOrId)) return c;
    // Short names: "Cloud" or "cloud" for mvCloudEffect.
    if (n.size() > 8 && n.substr(0, 2) == "mv" && n.substr(n.size() - 6) == "Effect" &&
        SameLetters(n.substr(2, n.size() - 8), nameOrId))
      return c;
  }
  return nullptr;
}

std::string_view EffectTypeName(uint32_t typeId) {
  for (const TypeName& t : kTypeTable)
    if (t.Id == typeId) return t.Name;
  return {};
}

mvEffect* CreateEffect(uint32_t typeId) {
  if (EffectTypeName(typeId).empty()) return nullptr;
  const mvEffectClass* c = FindEffectClass(typeId);
  return c && c->Create ? c->Create() : nullptr;
}

std::unique_ptr<mvEffect> MakeEffect(uint32_t typeId) { return std::unique_ptr<mvEffect>(CreateEffect(typeId)); }

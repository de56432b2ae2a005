// Per-effect golden hashes: every registered class at its defaults and every
// effect the generator makes (with the parameters it draws), applied to noise
// pictures of every format, odd sizes, more than one band and a work
// rectangle. A faster kernel must leave every line as it is. Set
// ORVELLE_GOLDEN_UPDATE=1 to rewrite effects.txt after an intended change
// (and say in the commit why the pixels moved).
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "generator/generator.h"
#include "recipe/recipe.h"

namespace {

std::string Hex(const unsigned char* md, unsigned len) {
  std::string hex;
  char b[3];
  for (unsigned i = 0; i < len; ++i) {
    std::snprintf(b, sizeof b, "%02x", md[i]);
    hex += b;
  }
  return hex;
}

struct Digest {
  EVP_MD_CTX* Ctx = EVP_MD_CTX_new();
  Digest() { EVP_DigestInit_ex(Ctx, EVP_sha256(), nullptr); }
  ~Digest() { EVP_MD_CTX_free(Ctx); }
  void Add(const void* data, size_t size) { EVP_DigestUpdate(Ctx, data, size); }
  void Add(const mvPicture& p) {
    const size_t row = static_cast<size_t>(p.Width) * p.BytesPerPixel();
    for (int32_t y = 0; y < p.Height; ++y) Add(p.Row(y), row);
  }
  std::string Hex() {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned len = 0;
    EVP_DigestFinal_ex(Ctx, md, &len);
    return ::Hex(md, len);
  }
};

struct Input {
  int32_t Width, Height;
  uint32_t Type, Depth, Channels;
  bool WorkRect;
};
// Every format at an odd size; RGBA 8-bit also over several bands and with
// a work rectangle.
constexpr Input kInputs[] = {{67, 43, ColorTypeRGB, 8, 3, false},     {67, 43, ColorTypeRGB, 8, 4, false},
                             {67, 43, ColorTypeRGB, 16, 3, false},    {67, 43, ColorTypeRGB, 16, 4, false},
                             {67, 43, ColorTypeGray, 8, 1, false},    {67, 43, ColorTypeGray, 8, 2, false},
                             {67, 43, ColorTypeGray, 16, 1, false},   {67, 43, ColorTypeGray, 16, 2, false},
                             {67, 43, ColorTypeIndexed, 8, 1, false}, {257, 170, ColorTypeRGB, 8, 4, false},
                             {67, 43, ColorTypeRGB, 8, 4, true}};

mvPicture NoiseInput(const Input& in, uint32_t seed) {
  mvPicture p;
  EXPECT_TRUE(p.Create(in.Width, in.Height, in.Type, in.Depth, in.Channels));
  mvRandom r;
  r.Seed(seed);
  for (size_t i = 0; i < p.ByteSize(); ++i) p.Pixels[i] = static_cast<uint8_t>(r.Next() >> 24);
  // Some fully transparent and some fully opaque pixels, which several
  // kernels treat apart.
  if (in.Channels % 2 == 0 && in.Type != ColorTypeIndexed)
    for (int32_t y = 0; y < p.Height; ++y)
      for (int32_t x = 0; x < p.Width; x += 5) {
        uint8_t* px = p.Row(y) + static_cast<size_t>(x) * p.BytesPerPixel() + (in.Channels - 1) * in.Depth / 8;
        const uint8_t v = (x + y) % 2 ? 0 : 255;
        for (uint32_t b = 0; b < in.Depth / 8; ++b) px[b] = v;
      }
  if (in.WorkRect) {
    p.HasWorkRect = 1;
    p.WorkRect = {5, 7, 60, 40};
  }
  return p;
}

// Settings the generator makes rarely or never, and edge values that take
// other paths through the kernels: class, then field=value pairs.
const std::vector<std::vector<std::string>> kExtra = {
    {"mvMosaicEffect", "CellWidth=8", "CellHeight=6", "Jitter=50", "Stagger=1", "ColorMode=0", "Seamless=1"},
    {"mvMosaicEffect", "CellWidth=5", "CellHeight=9", "Jitter=100", "ColorMode=1"},
    {"mvMosaicEffect", "CellWidth=12", "CellHeight=12", "Jitter=20", "ColorMode=2", "Seamless=1"},
    {"mvNeonEffect", "Radius=3", "Amount=150", "Seamless=1"},
    {"mvNeonEffect", "Radius=1", "Amount=60"},
    {"mvSwirlEffect", "Angle=360"},
    {"mvSwirlEffect", "Angle=-725"},
    {"mvCylinderEffect", "Vertical=1"},
    {"mvMotionBlurEffect", "Distance=5", "Angle=30", "Sigma=2", "Seamless=1"},
    {"mvMotionBlurEffect", "Distance=3", "Angle=-135"},
    {"mvPixelizeEffect", "CellWidth=3", "CellHeight=5"},
    {"mvMedianEffect", "Radius=1", "Seamless=1"},
    {"mvMedianEffect", "Radius=2"},
    {"mvMedianEffect", "Radius=4", "Seamless=1"},
    {"mvMinimumEffect", "Radius=2", "Seamless=1"},
    {"mvMaximumEffect", "Radius=3"},
    {"mvSpreadEffect", "RangeX=3", "RangeY=3", "Seed=9", "Seamless=1"},
    {"mvOilPaintEffect", "Radius=2", "Seamless=1"},
    {"mvOilPaintEffect", "Radius=3"},
    {"mvWatercolorEffect", "Radius=2", "Amount=5", "Seamless=1"},
    {"mvWrapEffect", "Relief=30", "Exponent=8", "Smoothness=2", "Seamless=1"},
    {"mvWrapEffect", "Relief=10", "Exponent=-3", "Smoothness=0"},
    {"mvEmbossEffect", "Depth=3", "Amount=250", "Direction=5", "ColorRelief=1", "Seamless=1"},
    {"mvEdgeDetectionEffect", "Operator=1", "Amount=300", "Invert=1", "Seamless=1"},
    {"mvHSVNoiseEffect", "Density=60", "HueAmount=40", "SaturationAmount=30", "ValueAmount=20", "AlphaAmount=30",
     "Gaussian=1"},
    {"mvHSLNoiseEffect", "HueAmount=400", "SaturationAmount=30", "LightnessAmount=20", "AlphaAmount=10"},
    {"mvKaleidoscopeEffect", "Diagonal=1"},
    {"mvSineWaveEffect", "RowAmplitude=-7", "RowPeriod=13", "ColumnAmplitude=4", "ColumnPeriod=0", "Seamless=1"},
    {"mvCloudEffect", "Detail=9", "ScaleX=40", "ScaleY=7", "Turbulence=1", "Seamless=1", "Seed=12"},
    {"mvPlasmaEffect", "Roughness=9", "Grayscale=1", "Seamless=1", "Seed=5"},
    {"mvRandomDotsEffect", "DotSize=7", "SizeVariation=50", "Density=40", "AlphaVariation=60", "Seamless=1"},
};

std::unique_ptr<mvEffect> Made(const std::vector<std::string>& spec) {
  const mvEffectClass* c = FindEffectClass(spec[0]);
  EXPECT_TRUE(c) << spec[0];
  if (!c) return nullptr;
  std::unique_ptr<mvEffect> e(c->Create());
  for (size_t i = 1; i < spec.size(); ++i) {
    const size_t eq = spec[i].find('=');
    const FieldInfo* f = c->Find(spec[i].substr(0, eq));
    std::string error;
    EXPECT_TRUE(f && SetFieldFromText(*e, *f, spec[i].substr(eq + 1), error)) << spec[0] << " " << spec[i] << error;
  }
  return e;
}

std::vector<std::unique_ptr<mvEffect>> Instances() {
  std::vector<std::unique_ptr<mvEffect>> effects;
  for (const mvEffectClass* c : RegisteredEffects()) effects.emplace_back(c->Create());
  for (const auto& spec : kExtra) effects.push_back(Made(spec));
  mvRandom random;
  random.Seed(2024);
  for (bool seamless : {true, false}) {
    const GeneratorParametersT params{5, 5, 5, seamless};
    for (int t = 0; t < 40; ++t) {
      mvPictureLayer layer;
      EXPECT_TRUE(layer.Create(64, 64, ColorTypeRGB, 8, 4));
      EXPECT_TRUE(GenerateTexture(layer, random, params));
      for (int32_t i = 0; i < layer.Effects.Count(); ++i) effects.emplace_back(layer.Effects[i]->Clone());
    }
  }
  return effects;
}

}  // namespace

TEST(EffectGolden, EveryEffectMatchesReferenceHashes) {
  std::vector<std::string> lines;
  for (const auto& e : Instances()) {
    const std::string params = EffectToJson(*e).dump();
    Digest id;
    id.Add(params.data(), params.size());
    Digest pixels;
    uint32_t seed = 1;
    for (const Input& in : kInputs) {
      mvPicture picture = NoiseInput(in, seed++);
      ApplyTo(*e, picture);
      pixels.Add(picture);
    }
    lines.push_back(e->Class().Name + " " + id.Hex().substr(0, 16) + " " + pixels.Hex());
  }
  const std::string path = std::string(ORVELLE_GOLDEN_DIR) + "/effects.txt";
  if (std::getenv("ORVELLE_GOLDEN_UPDATE")) {
    std::ofstream out(path);
    out << "# class sha256(effect json)[0..16] sha256(pixels of every input)\n";
    for (const std::string& l : lines) out << l << "\n";
    GTEST_SKIP() << "rewrote " << path;
  }
  std::ifstream in(path);
  std::vector<std::string> expected;
  std::string line;
  while (std::getline(in, line))
    if (!line.empty() && line[0] != '#') expected.push_back(line);
  ASSERT_EQ(expected.size(), lines.size()) << "effects.txt does not list the same effects";
  int mismatches = 0;
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i] != expected[i]) {
      ++mismatches;
      ADD_FAILURE() << "expected " << expected[i] << "\n     got " << lines[i];
    }
  EXPECT_EQ(mismatches, 0);
}

// Golden hashes: fixed seeds, levels and sizes must give the same recipes
// and pixels forever, with any compiler and optimisation level. Set
// ORVELLE_GOLDEN_UPDATE=1 to rewrite the hash files after an intended change
// (and say in the commit which lines moved and why).
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/parallel.h"
#include "generator/generator.h"
#include "recipe/recipe.h"

namespace {

struct Case {
  uint32_t Seed;
  int32_t Render, Filter, Geometric;
  bool Seamless;
  int32_t Width, Height, Count;
};

std::string Sha256(const void* data, size_t size) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  EVP_Digest(data, size, md, &len, EVP_sha256(), nullptr);
  std::string hex;
  char b[3];
  for (unsigned i = 0; i < len; ++i) {
    std::snprintf(b, sizeof b, "%02x", md[i]);
    hex += b;
  }
  return hex;
}

// The pixels without the spare bytes at row ends.
std::string PixelHash(const mvPicture& p) {
  std::string bytes;
  const size_t row = static_cast<size_t>(p.Width) * p.BytesPerPixel();
  for (int32_t y = 0; y < p.Height; ++y) bytes.append(reinterpret_cast<const char*>(p.Row(y)), row);
  return Sha256(bytes.data(), bytes.size());
}

// The recipe and the pixels.
std::string Hashes(const mvPictureLayer& p, bool seamless) {
  const std::string recipe = RecipeToJson(p, seamless).dump();
  return Sha256(recipe.data(), recipe.size()) + " " + PixelHash(p);
}

std::vector<Case> ReadCases() {
  std::vector<Case> cases;
  std::ifstream in(std::string(ORVELLE_GOLDEN_DIR) + "/cases.txt");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream s(line);
    Case c{};
    int seamless;
    char x;
    s >> c.Seed >> c.Render >> c.Filter >> c.Geometric >> seamless >> c.Width >> x >> c.Height >> c.Count;
    c.Seamless = seamless != 0;
    cases.push_back(c);
  }
  return cases;
}

// Compares the lines with the file (reporting every mismatch), or rewrites
// the file in update mode.
void CheckAgainst(const char* file, const char* header, const std::vector<std::string>& lines) {
  const std::string path = std::string(ORVELLE_GOLDEN_DIR) + "/" + file;
  if (std::getenv("ORVELLE_GOLDEN_UPDATE")) {
    std::ofstream out(path);
    out << header << "\n";
    for (const std::string& l : lines) out << l << "\n";
    GTEST_SKIP() << "rewrote " << path;
  }
  std::ifstream in(path);
  std::vector<std::string> expected;
  std::string line;
  while (std::getline(in, line))
    if (!line.empty() && line[0] != '#') expected.push_back(line);
  ASSERT_EQ(expected.size(), lines.size()) << file << " does not match cases.txt";
  int mismatches = 0;
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i] != expected[i]) {
      ++mismatches;
      ADD_FAILURE() << file << ": expected " << expected[i] << "\n     got " << lines[i];
    }
  EXPECT_EQ(mismatches, 0);
}

// Every texture of every case, generated in order from the case's seed.
template <class Visit>
void ForEachTexture(Visit visit) {
  const std::vector<Case> cases = ReadCases();
  ASSERT_FALSE(cases.empty());
  for (size_t ci = 0; ci < cases.size(); ++ci) {
    const Case& c = cases[ci];
    mvRandom random;
    random.Seed(c.Seed);
    const GeneratorParametersT params{c.Render, c.Filter, c.Geometric, c.Seamless};
    for (int32_t t = 0; t < c.Count; ++t) {
      mvPictureLayer layer;
      ASSERT_TRUE(layer.Create(c.Width, c.Height, ColorTypeRGB, 8, 4));
      ASSERT_TRUE(GenerateTexture(layer, random, params));
      visit(c, t, std::to_string(ci) + " " + std::to_string(t), layer);
    }
  }
}

}  // namespace

// The hash line of every golden texture, generated on `threads` threads.
std::vector<std::string> GoldenLines(int threads, std::set<uint32_t>& types) {
  parallel::SetThreadCount(threads);
  std::vector<std::string> lines;
  ForEachTexture([&](const Case& c, int32_t, const std::string& name, const mvPictureLayer& layer) {
    for (int32_t i = 0; i < layer.Effects.Count(); ++i) types.insert(layer.Effects[i]->GetTypeID());
    lines.push_back(name + " " + Hashes(layer, c.Seamless));
    // The recipe alone gives the same pixels: nothing is applied unrecorded.
    mvPictureLayer again(layer);
    ASSERT_TRUE(again.Render());
    EXPECT_EQ(Hashes(again, c.Seamless), Hashes(layer, c.Seamless)) << name;
  });
  parallel::SetThreadCount(0);
  return lines;
}

TEST(Golden, GeneratedTexturesMatchReferenceHashes) {
  std::set<uint32_t> types;
  const std::vector<std::string> lines = GoldenLines(1, types);
  CheckAgainst("hashes.txt", "# case texture sha256(recipe json) sha256(pixels)", lines);
  // The table is chosen so that every render kind and filter choice is made.
  for (uint32_t id :
       {128u, 1u,   8u,   130u, 131u, 137u, 138u, 139u, 18u, 535u, 133u, 134u, 135u, 136u,  // render stage
        528u, 530u, 532u, 33u,  4u,   193u, 15u,  16u,  17u, 22u,  23u,  24u,  25u,  29u,
        192u, 30u,  19u,  271u})  // filter stage
    EXPECT_TRUE(types.count(id)) << "no case makes effect " << id;
  // The same bits on any number of threads.
  for (int threads : {2, 5}) EXPECT_EQ(GoldenLines(threads, types), lines) << threads << " threads";
}

// Every effect the generator makes, with the parameters it draws, and every
// class at its defaults, gives the same bits on one thread and on many, on
// a picture whose rows and columns do not divide evenly into bands.
TEST(Golden, EveryEffectIsThreadCountInvariant) {
  std::vector<std::unique_ptr<mvEffect>> effects;
  for (const mvEffectClass* c : RegisteredEffects()) effects.emplace_back(c->Create());
  mvRandom random;
  random.Seed(77);
  for (bool seamless : {true, false}) {
    const GeneratorParametersT params{5, 5, 5, seamless};
    for (int t = 0; t < 24; ++t) {
      mvPictureLayer layer;
      ASSERT_TRUE(layer.Create(48, 40, ColorTypeRGB, 8, 4));
      ASSERT_TRUE(GenerateTexture(layer, random, params));
      for (int32_t i = 0; i < layer.Effects.Count(); ++i) effects.emplace_back(layer.Effects[i]->Clone());
    }
  }
  mvPicture source;
  ASSERT_TRUE(source.Create(301, 203, ColorTypeRGB, 8, 4));
  mvRandom noise;
  noise.Seed(5);
  for (size_t i = 0; i < source.ByteSize(); ++i) source.Pixels[i] = static_cast<uint8_t>(noise.Next() >> 24);
  for (const auto& e : effects) {
    ASSERT_TRUE(e);
    std::string first;
    for (int threads : {1, 2, 5}) {
      parallel::SetThreadCount(threads);
      mvPicture picture(source);
      ApplyTo(*e, picture);
      const std::string hash = PixelHash(picture);
      if (threads == 1) first = hash;
      else EXPECT_EQ(hash, first) << e->Class().Name << " on " << threads << " threads";
    }
  }
  parallel::SetThreadCount(0);
}

// Variations of every golden texture, from one VariationRandom per case:
// three of the whole texture, each from the texture itself as the variations
// command makes them, then each effect varied alone so that every rule of the
// variation maker the generator's recipes reach is pinned down.
TEST(Golden, VariationsMatchReferenceHashes) {
  std::vector<std::string> lines;
  mvRandom random;
  ForEachTexture([&](const Case& c, int32_t texture, const std::string& name, const mvPictureLayer& layer) {
    if (texture == 0) random.Seed(c.Seed);
    std::string whole, alone;
    for (int v = 0; v < 3; ++v) {
      std::unique_ptr<mvPictureLayer> copy(layer.Clone());
      ASSERT_TRUE(copy && MakeVariation(*copy, random, c.Seamless));
      whole += Hashes(*copy, c.Seamless);
    }
    for (int32_t i = 0; i < layer.Effects.Count(); ++i) {
      mvPictureLayer one;
      ASSERT_TRUE(one.Create(c.Width, c.Height, ColorTypeRGB, 8, 4));
      ASSERT_TRUE(one.AddEffect(layer.Effects[i]->Clone(), false));
      ASSERT_TRUE(MakeVariation(one, random, c.Seamless));
      alone += RecipeToJson(one, c.Seamless).dump();
    }
    lines.push_back(name + " " + Sha256(whole.data(), whole.size()) + " " + Sha256(alone.data(), alone.size()));
  });
  CheckAgainst("variations.txt",
               "# case texture sha256(three variations' hashes) sha256(recipes of each effect varied alone)", lines);
}

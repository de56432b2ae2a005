// The effect framework: ApplyTo, the factory, the declared-field machinery
// (walked over every registered class), samplers and layers.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "core/sampler.h"
#include "effects/effect.h"
#include "effects/layer.h"

namespace {

// A test-only effect: paints every pixel of the source's area a fixed colour
// and counts its runs.
class PaintEffect : public mvEffectOf<PaintEffect> {
public:
  static const mvEffectClass& Describe() {
    static const mvEffectClass c = mvEffectClass::Make<PaintEffect>(
        900000, "PaintEffect",
        {Field("Value", &PaintEffect::Value).Clamp(0, 255), Field("Shade", &PaintEffect::Shade),
         Field("Ratio", &PaintEffect::Ratio), Field("Tint", &PaintEffect::Tint).NotCompared(),
         Field("Wrap", &PaintEffect::Wrap).Flag(0), Field("Keep", &PaintEffect::Keep).Flag(1),
         Field("Hidden", &PaintEffect::Hidden).NotStreamed()});
    return c;
  }
  bool Apply(mvPicture& source, mvPicture& target, mvProgress*) override {
    ++Runs;
    mvRect a = source.Area();
    target.Fill(&a, mvColor::RGBA8(static_cast<uint8_t>(Value), 0, 0, 255));
    return true;
  }
  uint32_t Value = 200;
  int32_t Shade = -3;
  double Ratio = 0.25;
  mvColor Tint = mvColor::RGB8(1, 2, 3);
  bool Wrap = true;
  bool Keep = false;
  uint32_t Hidden = 7;
  static inline int Runs = 0;
};

mvPicture Solid(int w, int h, uint8_t r, uint8_t a = 255) {
  mvPicture p;
  EXPECT_TRUE(p.Create(w, h, ColorTypeRGB, 8, 4));
  p.Fill(nullptr, mvColor::RGBA8(r, 10, 20, a));
  return p;
}

std::vector<uint8_t> Saved(const mvEffect& e) {
  mvMemoryStream s;
  EXPECT_TRUE(e.Save(s));
  return s.Data;
}

}  // namespace

TEST(ApplyTo, OpacityZeroRunsEffectButKeepsPicture) {
  PaintEffect e;
  e.Opacity = 0;
  e.BlendMode = 3;
  mvPicture p = Solid(4, 4, 50);
  mvPicture before(p);
  int runs = PaintEffect::Runs;
  EXPECT_TRUE(ApplyTo(e, p));
  EXPECT_EQ(PaintEffect::Runs, runs + 1);
  EXPECT_EQ(std::memcmp(p.Pixels, before.Pixels, p.ByteSize()), 0);
}

TEST(ApplyTo, FullOpacityModeZeroGivesEffectOutput) {
  PaintEffect e;
  mvPicture p = Solid(3, 2, 50);
  EXPECT_TRUE(ApplyTo(e, p));
  uint8_t px[4];
  p.GetPixel(2, 1, px);
  EXPECT_EQ(px[0], 200);
}

TEST(ApplyTo, PartialOpacityBlendsResultOverPicture) {
  PaintEffect e;
  e.Value = 250;
  e.Opacity = 32768;  // k = floor(32768 * 257 / 65535) = 128 with source alpha
  mvPicture p = Solid(2, 2, 50);
  EXPECT_TRUE(ApplyTo(e, p));
  uint8_t px[4];
  p.GetPixel(0, 0, px);
  // a = (255 * 128) >> 8 = 127; d = (250 * 127 + 50 * 128) / 255 = 149
  EXPECT_EQ(px[0], 149);
}

TEST(ApplyTo, TransformReplacesPicture) {
  mvPicture p;
  ASSERT_TRUE(p.Create(64, 32, ColorTypeRGB, 8, 4));
  p.Clear(nullptr);
  uint8_t mark[4] = {9, 8, 7, 6};
  p.SetPixel(63, 0, mark);  // top-right corner
  auto turn = MakeEffect(514);
  ASSERT_TRUE(turn);
  EXPECT_TRUE(ApplyTo(*turn, p));
  EXPECT_EQ(p.Width, 32);
  EXPECT_EQ(p.Height, 64);
  uint8_t px[4];
  p.GetPixel(0, 0, px);  // a left turn brings the last column to the first row
  EXPECT_EQ(px[0], 9);
}

TEST(Factory, IdentifierTable) {
  EXPECT_EQ(CreateEffect(523), nullptr);
  EXPECT_EQ(CreateEffect(0), nullptr);
  EXPECT_EQ(CreateEffect(1000), nullptr);
  auto e = MakeEffect(514);
  ASSERT_TRUE(e);
  EXPECT_EQ(e->GetTypeID(), 514u);
  EXPECT_EQ(e->Opacity, 65535u);
  EXPECT_EQ(e->BlendMode, 0u);
  EXPECT_EQ(EffectTypeName(271), "mvGradientMapEffect");
  EXPECT_EQ(EffectTypeName(523), "");
  EXPECT_EQ(FindEffectClass("rotateleft"), FindEffectClass(514));
  EXPECT_EQ(FindEffectClass("mvRotateLeftEffect"), FindEffectClass("514"));
  // Every built class sits under its own identifier and name in the table,
  // and the factory makes that class for it.
  for (const mvEffectClass* c : RegisteredEffects()) {
    EXPECT_EQ(EffectTypeName(c->TypeId), c->Name);
    auto made = MakeEffect(c->TypeId);
    ASSERT_TRUE(made) << c->Name;
    EXPECT_EQ(&made->Class(), c);
    EXPECT_EQ(made->GetTypeID(), c->TypeId);
  }
}

TEST(Fields, StreamLayoutFlagsAndOmittedFields) {
  PaintEffect e;
  std::vector<uint8_t> b = Saved(e);
  // size word, Value, Shade, Ratio (8), Tint (8), flags word; Hidden not written
  ASSERT_EQ(b.size(), 4u + 4 + 4 + 8 + 8 + 4);
  EXPECT_EQ(b[0], 28);
  EXPECT_EQ(b[28], 1);  // Wrap is bit 0, Keep bit 1
  PaintEffect f;
  f.Hidden = 99;
  mvMemoryStream s(b);
  ASSERT_TRUE(f.Load(s));
  EXPECT_EQ(f.Hidden, 99u);                          // not streamed: kept
  EXPECT_EQ(f.Tint, mvColor(257, 514, 771, 65535));  // colours come back as RGBA 16-bit
}

TEST(Fields, LoadClampsAndRejectsWrongSize) {
  PaintEffect e;
  e.Value = 1000;  // out of range in memory; Load brings it into range
  std::vector<uint8_t> b = Saved(e);
  PaintEffect f;
  mvMemoryStream s(b);
  ASSERT_TRUE(f.Load(s));
  EXPECT_EQ(f.Value, 255u);
  b[0] = 24;
  PaintEffect g;
  g.Value = 5;
  mvMemoryStream bad(b);
  EXPECT_FALSE(g.Load(bad));
  EXPECT_EQ(g.Value, 5u);
}

TEST(Fields, IsEqualSkipsUncomparedAndCloneCopiesBase) {
  PaintEffect a;
  a.Tint = mvColor::RGB8(9, 9, 9);
  a.Opacity = 100;
  a.BlendMode = 4;
  std::unique_ptr<mvEffect> c(a.Clone());
  EXPECT_EQ(c->Opacity, 100u);
  EXPECT_EQ(c->BlendMode, 4u);
  PaintEffect b;
  EXPECT_TRUE(a.IsEqual(b));  // only Tint differs, which is not compared
  b.Shade = 0;
  EXPECT_FALSE(a.IsEqual(b));
}

// Every registered class gets the same round trips and failure checks.
TEST(Registry, EveryEffectRoundTripsAndRejectsBadStreams) {
  ASSERT_FALSE(RegisteredEffects().empty());
  for (const mvEffectClass* c : RegisteredEffects()) {
    SCOPED_TRACE(c->Name);
    std::unique_ptr<mvEffect> e(CreateEffect(c->TypeId));
    ASSERT_TRUE(e);
    // An empty gradient has no stream form; give gradients one segment.
    for (const FieldInfo& f : c->Fields)
      if (f.Type == FieldType::Gradient) f.Of<mvGradient>(*e).AppendSegment(GradientSegment{});
    EXPECT_EQ(e->GetTypeID(), c->TypeId);
    EXPECT_EQ(&e->Class(), c);
    std::unique_ptr<mvEffect> clone(e->Clone());
    ASSERT_TRUE(clone);
    EXPECT_TRUE(clone->IsEqual(*e));
    std::vector<uint8_t> bytes = Saved(*e);
    ASSERT_GE(bytes.size(), 4u);
    std::unique_ptr<mvEffect> loaded(CreateEffect(c->TypeId));
    mvMemoryStream s(bytes);
    ASSERT_TRUE(loaded->Load(s));
    // Colours come back as RGBA 16-bit, so compare stream forms, and check
    // that a loaded effect equals its own reload.
    EXPECT_EQ(Saved(*loaded), bytes);
    std::unique_ptr<mvEffect> again(CreateEffect(c->TypeId));
    mvMemoryStream s2(bytes);
    ASSERT_TRUE(again->Load(s2));
    EXPECT_TRUE(again->IsEqual(*loaded));
    // Truncated streams fail and leave the effect as it was.
    for (size_t cut = 0; cut + 1 < bytes.size(); ++cut) {
      std::vector<uint8_t> part(bytes.begin(), bytes.begin() + static_cast<long>(cut));
      mvMemoryStream t(part);
      std::unique_ptr<mvEffect> victim(e->Clone());
      if (cut >= 4 && bytes[0] == 0 && bytes[1] == 0 && bytes[2] == 0 && bytes[3] == 0) break;
      EXPECT_FALSE(victim->Load(t)) << "cut at " << cut;
      EXPECT_EQ(Saved(*victim), bytes);
    }
    // Wrong size words fail (variable-size streams check only a lower bound).
    if (c->MinSizeWord == 0) {
      for (uint32_t word : {1u, 3u, 4u, 8u, 12u, 16u, 20u, 24u, 28u, 32u, 36u, 40u, 0xFFFFFFFFu}) {
        uint32_t real =
            uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
        if (word == real) continue;
        std::vector<uint8_t> w = bytes;
        std::memcpy(w.data(), &word, 4);
        mvMemoryStream t(w);
        std::unique_ptr<mvEffect> victim(e->Clone());
        EXPECT_FALSE(victim->Load(t)) << "size word " << word;
      }
    }
  }
}

TEST(Registry, ParameterlessTurnsKeepFreshBaseFieldsOnClone) {
  auto e = MakeEffect(516);
  e->Opacity = 5;
  e->BlendMode = 2;
  std::unique_ptr<mvEffect> c(e->Clone());
  EXPECT_EQ(c->Opacity, 65535u);
  EXPECT_EQ(c->BlendMode, 0u);
  EXPECT_EQ(Saved(*e), std::vector<uint8_t>(4, 0));
}

TEST(Sampler, EdgesAndRanges) {
  mvPicture p;
  ASSERT_TRUE(p.Create(8, 2, ColorTypeRGB, 8, 3));
  for (int x = 0; x < 8; ++x)
    for (int y = 0; y < 2; ++y) {
      uint8_t px[3] = {static_cast<uint8_t>(x * 10), static_cast<uint8_t>(y * 100), 7};
      p.SetPixel(x, y, px);
    }
  uint8_t out[3];
  ASSERT_TRUE(SampleBilinear(p, 0, 0, out));
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 0);
  ASSERT_TRUE(SampleBilinear(p, 7, 1, out));  // right and bottom neighbours clamp
  EXPECT_EQ(out[0], 70);
  EXPECT_EQ(out[1], 100);
  EXPECT_TRUE(SampleBilinear(p, -1, 0, out));
  EXPECT_FALSE(SampleBilinear(p, -1.0001, 0, out));
  EXPECT_TRUE(SampleBilinear(p, 7.5, 0, out));
  EXPECT_FALSE(SampleBilinear(p, 8, 0, out));
  ASSERT_TRUE(SampleBilinearWrap(p, -0.5, 0, out));  // columns 0 and 1
  EXPECT_EQ(out[0], 5);
  ASSERT_TRUE(SampleBilinearWrap(p, 7.5, 0, out));  // columns 7 and 0
  EXPECT_EQ(out[0], 35);
  EXPECT_EQ(GetSampler(ColorTypeIndexed, 8, 1), nullptr);
  EXPECT_NE(GetSampler(ColorTypeGray, 16, 2), nullptr);
}

TEST(Sampler, AlphaWeighted) {
  mvPicture p;
  ASSERT_TRUE(p.Create(2, 1, ColorTypeRGB, 8, 4));
  uint8_t clear[4] = {0, 0, 0, 0}, red[4] = {255, 0, 0, 255};
  p.SetPixel(0, 0, clear);
  p.SetPixel(1, 0, red);
  uint8_t out[4];
  ASSERT_TRUE(SampleBilinear(p, 0.5, 0, out));
  EXPECT_EQ(out[0], 255);  // pure red, not darkened by the transparent neighbour
  EXPECT_EQ(out[3], 127);
  p.SetPixel(1, 0, clear);
  ASSERT_TRUE(SampleBilinear(p, 0.5, 0, out));
  EXPECT_EQ(out[0] | out[1] | out[2] | out[3], 0);
}

TEST(Layer, RenderWithQuarterTurnEndsInTurnedSize) {
  mvPictureLayer layer;
  ASSERT_TRUE(layer.Create(6, 4, ColorTypeRGB, 8, 4));
  PaintEffect* paint = new PaintEffect;
  ASSERT_TRUE(layer.AddEffect(paint, true));
  ASSERT_TRUE(layer.AddEffect(CreateEffect(515), true));
  EXPECT_EQ(layer.Width, 4);
  EXPECT_EQ(layer.Height, 6);
  ASSERT_TRUE(layer.Render());  // starts again from 6 x 4, ends 4 x 6
  EXPECT_EQ(layer.Width, 4);
  EXPECT_EQ(layer.Height, 6);
  std::unique_ptr<mvPictureLayer> copy(layer.Clone());
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->Effects.Count(), 2);
  EXPECT_NE(copy->Effects[0], layer.Effects[0]);
  ASSERT_TRUE(layer.Create(3, 3, ColorTypeRGB, 8, 4));  // empties the recipe
  EXPECT_EQ(layer.Effects.Count(), 0);
  EXPECT_EQ(layer.Source, nullptr);
}

TEST(Layer, FailedApplyTakesEffectBackOut) {
  mvPictureLayer layer;
  ASSERT_TRUE(layer.Create(3, 3, ColorTypeRGB, 8, 4));
  struct Wrapper : mvEffectOf<Wrapper> {
    static const mvEffectClass& Describe() {
      static const mvEffectClass c = mvEffectClass::Make<Wrapper>(900001, "Wrapper", {});
      return c;
    }
    bool Apply(mvPicture&, mvPicture&, mvProgress*) override { return false; }
  } bad;
  EXPECT_FALSE(layer.AddEffect(&bad, true));
  EXPECT_EQ(layer.Effects.Count(), 0);
}

TEST(Layer, EffectListStartsAt16AndDoubles) {
  EffectList list;
  ASSERT_TRUE(list.Append(CreateEffect(519)));
  EXPECT_EQ(list.Capacity(), 16);
  for (int i = 1; i < 33; ++i) ASSERT_TRUE(list.Append(CreateEffect(519)));
  EXPECT_EQ(list.Capacity(), 64);
  std::unique_ptr<mvEffect> stray(CreateEffect(518));
  EXPECT_FALSE(list.Insert(-1, stray.get()));
  EXPECT_FALSE(list.Insert(list.Count() + 1, stray.get()));
  ASSERT_TRUE(list.Insert(0, stray.release()));
  EXPECT_EQ(list[0]->GetTypeID(), 518u);
  while (list.Count() > 0) list.RemoveAt(0);
  EXPECT_EQ(list.Capacity(), 0);
}

// A recipe render reports one rising position over all its effects and ends
// with false, at once, when the sink asks to stop.
TEST(Layer, RenderShareProgressAndStop) {
  mvPictureLayer layer;
  ASSERT_TRUE(layer.Create(8, 8, ColorTypeRGB, 8, 4));
  ASSERT_TRUE(layer.AddEffect(CreateEffect(128), false));  // fill: one step per row
  ASSERT_TRUE(layer.AddEffect(CreateEffect(518), false));  // flip: one step per row
  std::vector<uint32_t> seen;
  uint32_t max = 0;
  mvCallbackProgress all([&](uint32_t pos, uint32_t m) {
    seen.push_back(pos);
    max = m;
    return true;
  });
  ASSERT_TRUE(layer.Render(&all));
  EXPECT_EQ(max, 1999u);
  ASSERT_FALSE(seen.empty());
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_LT(seen[i - 1], seen[i]);
  EXPECT_GE(seen.back(), 1000u);
  int calls = 0;
  mvCallbackProgress stop([&](uint32_t, uint32_t) { return ++calls < 3; });
  EXPECT_FALSE(layer.Render(&stop));
  EXPECT_EQ(calls, 3);
}

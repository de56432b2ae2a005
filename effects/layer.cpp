#include "effects/layer.h"

#include <algorithm>
#include <cstring>
#include <new>

void TextProperties::Set(const std::string& key, const std::string& value) {
  auto it = std::lower_bound(Items.begin(), Items.end(), key,
                             [](const auto& item, const std::string& k) { return item.first < k; });
  if (it != Items.end() && it->first == key) it->second = value;
  else Items.insert(it, {key, value});
}

const std::string* TextProperties::Get(const std::string& key) const {
  auto it = std::lower_bound(Items.begin(), Items.end(), key,
                             [](const auto& item, const std::string& k) { return item.first < k; });
  return it != Items.end() && it->first == key ? &it->second : nullptr;
}

bool TextProperties::Remove(const std::string& key) {
  auto it = std::lower_bound(Items.begin(), Items.end(), key,
                             [](const auto& item, const std::string& k) { return item.first < k; });
  if (it == Items.end() || it->first != key) return false;
  Items.erase(it);
  return true;
}

bool EffectList::Insert(int32_t index, mvEffect* effect) {
  if (!effect || index < 0 || index > Count()) return false;
  try {
    // The array starts at 16 entries and doubles when full.
    if (Items.size() == Items.capacity()) Items.reserve(Items.empty() ? 16 : Items.capacity() * 2);
    Items.insert(Items.begin() + index, effect);
  } catch (...) {
    return false;
  }
  return true;
}

mvEffect* EffectList::Detach(int32_t index) {
  if (index < 0 || index >= Count()) return nullptr;
  mvEffect* e = Items[static_cast<size_t>(index)];
  Items.erase(Items.begin() + index);
  if (Items.empty()) Items.shrink_to_fit();  // the last removal releases the storage
  return e;
}

void EffectList::RemoveAt(int32_t index) { delete Detach(index); }

void EffectList::Clear() {
  while (!Items.empty()) {
    delete Items.back();
    Items.pop_back();
  }
  Items.shrink_to_fit();
}

mvLayer::mvLayer(const mvLayer& o)
    : mvPicture(o),
      X(o.X),
      Y(o.Y),
      Visible(o.Visible),
      BlendMode(o.BlendMode),
      Opacity(o.Opacity),
      TextProperties(o.TextProperties) {}

mvPictureLayer::mvPictureLayer(const mvPictureLayer& o) : mvLayer(o), BaseWidth(o.BaseWidth), BaseHeight(o.BaseHeight) {
  for (int32_t i = 0; i < o.Effects.Count(); ++i) {
    mvEffect* e = o.Effects[i]->Clone();
    if (!e || !Effects.Append(e)) {
      delete e;
      break;
    }
  }
  if (o.Source) Source.reset(new (std::nothrow) mvPicture(*o.Source));
}

mvPictureLayer::~mvPictureLayer() {
  Source.reset();
  Effects.Clear();
}

mvPictureLayer* mvPictureLayer::Clone() const {
  mvPictureLayer* copy = new (std::nothrow) mvPictureLayer(*this);
  if (!copy) return nullptr;
  // A copy that lost its pixels or part of its recipe is no copy.
  if ((Pixels && !copy->Pixels) || copy->Effects.Count() != Effects.Count() || (Source && !copy->Source)) {
    delete copy;
    return nullptr;
  }
  return copy;
}

bool mvPictureLayer::Create(int32_t width, int32_t height, uint32_t colorType, uint32_t bitDepth, uint32_t channels) {
  if (!mvPicture::Create(width, height, colorType, bitDepth, channels)) return false;
  BaseWidth = width;
  BaseHeight = height;
  Effects.Clear();
  Source.reset();
  return true;
}

bool mvPictureLayer::ConvertFormat(uint32_t colorType, uint32_t bitDepth, uint32_t channels) {
  if (colorType == ColorType && bitDepth == BitDepth && channels == Channels) return true;
  if (Source) {
    const bool loses = (colorType != ColorType && !(ColorType == ColorTypeGray && colorType == ColorTypeRGB)) ||
                       bitDepth < BitDepth || channels < Channels;
    if (loses && !Source->ConvertFormat(colorType, bitDepth, channels)) return false;
  }
  if (!mvPicture::Create(BaseWidth, BaseHeight, colorType, bitDepth, channels)) return false;
  return Render();
}

namespace {

// Gives effect `index` of `count` its share of an outer sink's steps, so a
// whole recipe reports one rising position however its effects count theirs.
class RecipeStepProgress : public mvProgress {
public:
  static constexpr uint32_t kStepsPerEffect = 1000;

  RecipeStepProgress(mvProgress& outer, int32_t index)
      : Outer(outer), Base(static_cast<uint32_t>(index) * kStepsPerEffect) {}
  void SetMax(uint32_t last) override {
    Max = last;
    Pos = 0;
  }
  bool SetPos(uint32_t pos) override {
    Pos = pos;
    const uint64_t share = std::min<uint64_t>(pos, Max) * (kStepsPerEffect - 1) / (static_cast<uint64_t>(Max) + 1);
    const uint32_t overall = Base + static_cast<uint32_t>(share);
    if (overall != Outer.Pos && !Outer.SetPos(overall)) Stopped = true;
    return !Stopped;
  }
  bool StopRequested() const override { return Stopped || Outer.StopRequested(); }
  bool Stopped = false;

private:
  mvProgress& Outer;
  uint32_t Base;
  uint32_t Max = 0;
};

}  // namespace

bool mvPictureLayer::Render(mvProgress* progress) {
  if (Width != BaseWidth || Height != BaseHeight || !Pixels) {
    if (!mvPicture::Create(BaseWidth, BaseHeight, ColorType, BitDepth, Channels)) return false;
  }
  if (Source) CopyRect(*this, 0, 0, *Source, Source->Width, Source->Height);
  else std::memset(Pixels, 0, ByteSize());
  if (!progress) {
    for (int32_t i = 0; i < Effects.Count(); ++i)
      if (Effects[i]->Enabled) ApplyTo(*Effects[i], *this);  // a failing effect is skipped
    return true;
  }
  const uint64_t steps = static_cast<uint64_t>(Effects.Count()) * RecipeStepProgress::kStepsPerEffect;
  progress->SetMax(static_cast<uint32_t>(std::min<uint64_t>(steps, UINT32_MAX) - (steps > 0 ? 1 : 0)));
  progress->Pos = 0;
  for (int32_t i = 0; i < Effects.Count(); ++i) {
    if (!Effects[i]->Enabled) continue;
    RecipeStepProgress share(*progress, i);
    ApplyTo(*Effects[i], *this, &share);  // a failing effect is skipped, as without a sink
    if (share.StopRequested()) return false;
  }
  return true;
}

bool mvPictureLayer::AddEffect(mvEffect* effect, bool apply) {
  if (!Effects.Append(effect)) return false;
  if (apply && effect->Enabled && !ApplyTo(*effect, *this)) {
    Effects.Detach(Effects.Count() - 1);
    return false;
  }
  return true;
}

#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/picture.h"
#include "effects/effect.h"

// Sorted (key, value) text pairs; keys compare case-sensitively.
class TextProperties {
public:
  void Set(const std::string& key, const std::string& value);
  const std::string* Get(const std::string& key) const;
  bool Remove(const std::string& key);
  void Clear() { Items.clear(); }
  size_t Size() const { return Items.size(); }
  const std::vector<std::pair<std::string, std::string>>& All() const { return Items; }

private:
  std::vector<std::pair<std::string, std::string>> Items;
};

// The ordered, owning list of effects that made a texture.
class EffectList {
public:
  EffectList() = default;
  EffectList(const EffectList&) = delete;
  EffectList& operator=(const EffectList&) = delete;
  ~EffectList() { Clear(); }

  int32_t Count() const { return static_cast<int32_t>(Items.size()); }
  mvEffect* operator[](int32_t i) const { return Items[static_cast<size_t>(i)]; }
  // Inserts at index 0..Count; the list owns the effect from now on. False
  // for another index or when the list cannot grow (the caller keeps the effect).
  bool Insert(int32_t index, mvEffect* effect);
  bool Append(mvEffect* effect) { return Insert(Count(), effect); }
  // Takes the effect out without deleting it; null for a bad index.
  mvEffect* Detach(int32_t index);
  // Takes the effect out and deletes it.
  void RemoveAt(int32_t index);
  // Deletes every effect, last first.
  void Clear();
  int32_t Capacity() const { return static_cast<int32_t>(Items.capacity()); }

private:
  std::vector<mvEffect*> Items;
};

using TextureRecipe = EffectList;

class mvLayer : public mvPicture {
public:
  mvLayer() = default;
  mvLayer(const mvLayer& other);
  virtual int32_t LayerKind() const = 0;

  int32_t X = 0;
  int32_t Y = 0;
  uint8_t Visible = 1;
  uint32_t BlendMode = 0;
  uint32_t Opacity = 65535;
  ::TextProperties TextProperties;
};

// A texture: a picture that remembers the recipe that made it.
class mvPictureLayer : public mvLayer {
public:
  mvPictureLayer() = default;
  mvPictureLayer(const mvPictureLayer& other);  // deep; an effect that fails to clone leaves the recipe short
  ~mvPictureLayer() override;

  bool Create(int32_t width, int32_t height, uint32_t colorType, uint32_t bitDepth, uint32_t channels) override;
  bool ConvertFormat(uint32_t colorType, uint32_t bitDepth, uint32_t channels) override;
  int32_t LayerKind() const override { return 0; }
  virtual mvPictureLayer* Clone() const;
  // Rebuilds the picture from Source (or zeros) and the recipe. With a sink,
  // the recipe's effects share its steps (SetMax is announced once) and a
  // stop it asks for ends the render with false; without one, an effect
  // that fails is skipped.
  virtual bool Render(mvProgress* progress = nullptr);
  // Appends the effect (owned from now on) and applies it when asked (a
  // disabled one never is); when the application fails the effect is taken
  // out again and the caller keeps it.
  bool AddEffect(mvEffect* effect, bool apply);

  int32_t BaseWidth = 0;
  int32_t BaseHeight = 0;
  EffectList Effects;
  std::unique_ptr<mvPicture> Source;
};

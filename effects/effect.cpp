#include "effects/effect.h"

#include "effects/fields.h"

#include <algorithm>
#include <cstring>
#include <new>

// ---- declarations ----------------------------------------------------------

const FieldInfo* mvEffectClass::Find(std::string_view name) const {
  int i = IndexOf(name);
  return i < 0 ? nullptr : &Fields[static_cast<size_t>(i)];
}

int mvEffectClass::IndexOf(std::string_view name) const {
  for (size_t i = 0; i < Fields.size(); ++i)
    if (Fields[i].Name == name) return static_cast<int>(i);
  return -1;
}

mvEffectClass& mvEffectClass::InStreamOrder(std::initializer_list<const char*> names) {
  StreamOrder.clear();
  for (const char* n : names) StreamOrder.push_back(IndexOf(n));
  return *this;
}

namespace {

// One item of a parameter stream: a field, or a flags word packing several.
struct StreamItem {
  int Field = -1;          // index of a plain field
  std::vector<int> Flags;  // indexes of the fields packed into one word
};

std::vector<StreamItem> StreamLayout(const mvEffectClass& c) {
  std::vector<int> order = c.StreamOrder;
  if (order.empty())
    for (size_t i = 0; i < c.Fields.size(); ++i) order.push_back(static_cast<int>(i));
  std::vector<StreamItem> items;
  int flagsItem = -1;
  for (int i : order) {
    if (i < 0 || static_cast<size_t>(i) >= c.Fields.size()) continue;
    const FieldInfo& f = c.Fields[static_cast<size_t>(i)];
    if (!f.Streamed) continue;
    if (f.FlagBit >= 0) {
      if (flagsItem < 0) {
        flagsItem = static_cast<int>(items.size());
        items.push_back({});
      }
      items[static_cast<size_t>(flagsItem)].Flags.push_back(i);
    } else {
      items.push_back({i, {}});
    }
  }
  return items;
}

uint32_t FieldStreamSize(const FieldInfo& f, const mvEffect& e) { return TraitsOf(f.Type).StreamSize(f, e); }

bool HasVariableSize(const mvEffectClass& c) {
  for (const FieldInfo& f : c.Fields)
    if (f.Streamed && f.Type == FieldType::Gradient) return true;
  return false;
}

}  // namespace

// ---- generic operations ----------------------------------------------------

bool mvEffect::Transform(mvPicture&, mvPicture** result, mvProgress*) {
  if (result) *result = nullptr;
  return false;
}

mvEffect* mvEffect::Clone() const {
  const mvEffectClass& c = Class();
  mvEffect* e = c.Create ? c.Create() : nullptr;
  if (!e) return nullptr;
  try {
    for (const FieldInfo& f : c.Fields) TraitsOf(f.Type).Copy(f, *this, *e);
  } catch (...) {
    delete e;
    return nullptr;
  }
  if (c.CloneBaseFields) {
    e->Opacity = Opacity;
    e->BlendMode = BlendMode;
  }
  // Whether the effect takes part is the recipe's, not the class's: always kept.
  e->Enabled = Enabled;
  return e;
}

bool mvEffect::IsEqual(const mvEffect& other) const {
  const mvEffectClass& c = Class();
  if (&other.Class() != &c) return false;
  for (const FieldInfo& f : c.Fields)
    if (f.Compared && !TraitsOf(f.Type).Equal(f, *this, other)) return false;
  return true;
}

bool mvEffect::Save(mvFileStream& stream) const {
  const mvEffectClass& c = Class();
  const std::vector<StreamItem> items = StreamLayout(c);
  uint64_t size = 0;
  for (const StreamItem& it : items)
    size += it.Field >= 0 ? FieldStreamSize(c.Fields[static_cast<size_t>(it.Field)], *this) : 4;
  if (size > 0) size = static_cast<uint64_t>(static_cast<int64_t>(size) + c.SizeWordAdjust);
  if (size > 0xFFFFFFFFu || !stream.WriteU32(static_cast<uint32_t>(size))) return false;
  for (const StreamItem& it : items) {
    if (it.Field < 0) {
      uint32_t word = 0;
      for (int i : it.Flags) {
        const FieldInfo& f = c.Fields[static_cast<size_t>(i)];
        bool on = f.Type == FieldType::Bool ? f.Of<bool>(*this) : f.Of<uint32_t>(*this) != 0;
        if (on) word |= 1u << f.FlagBit;
      }
      if (!stream.WriteU32(word)) return false;
      continue;
    }
    const FieldInfo& f = c.Fields[static_cast<size_t>(it.Field)];
    if (!TraitsOf(f.Type).Write(f, *this, stream)) return false;
  }
  return true;
}

bool mvEffect::Load(mvFileStream& stream) {
  const mvEffectClass& c = Class();
  uint32_t sizeWord;
  if (!stream.ReadU32(sizeWord)) return false;
  if (sizeWord == 0 && c.AcceptEmptyStream) return true;
  const std::vector<StreamItem> items = StreamLayout(c);
  if (HasVariableSize(c)) {
    if (sizeWord < c.MinSizeWord) return false;
  } else {
    uint32_t size = 0;
    for (const StreamItem& it : items)
      size += it.Field >= 0 ? FieldStreamSize(c.Fields[static_cast<size_t>(it.Field)], *this) : 4;
    if (sizeWord != size) return false;
  }
  // Read into a scratch copy, so a short read leaves this effect unchanged.
  std::unique_ptr<mvEffect> scratch(Clone());
  if (!scratch) return false;
  for (const StreamItem& it : items) {
    if (it.Field < 0) {
      uint32_t word;
      if (!stream.ReadU32(word)) return false;
      for (int i : it.Flags) {
        const FieldInfo& f = c.Fields[static_cast<size_t>(i)];
        bool on = (word >> f.FlagBit) & 1u;
        if (f.Type == FieldType::Bool) f.Of<bool>(*scratch) = on;
        else f.Of<uint32_t>(*scratch) = on ? 1 : 0;
      }
      continue;
    }
    const FieldInfo& f = c.Fields[static_cast<size_t>(it.Field)];
    if (!TraitsOf(f.Type).Read(f, *scratch, stream)) return false;
  }
  for (const FieldInfo& f : c.Fields) TraitsOf(f.Type).Copy(f, *scratch, *this);
  return true;
}

// ---- ApplyTo ---------------------------------------------------------------

bool ApplyTo(mvEffect& effect, mvPicture& picture, mvProgress* progress) {
  if (!effect.IsTransform()) {
    mvPicture copy(picture);
    if (!copy.Pixels || (picture.Palette && !copy.Palette)) return false;  // out of memory
    if (effect.Opacity == 65535 && effect.BlendMode == 0) return effect.Apply(copy, picture, progress);
    if (!effect.Apply(picture, copy, progress)) return false;
    if (effect.Opacity != 0)
      BlendRect(picture, 0, 0, copy, 0, 0, copy.Width, copy.Height, effect.BlendMode, effect.Opacity);
    return true;
  }
  mvPicture* result = nullptr;
  if (!effect.Transform(picture, &result, progress) || !result) {
    delete result;
    return false;
  }
  std::unique_ptr<mvPicture> owned(result);
  picture.MoveFrom(*owned);
  return true;
}

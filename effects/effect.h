#pragma once
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/picture.h"
#include "effects/gradient.h"
#include "effects/stream.h"

// ---- progress --------------------------------------------------------------

// Progress sink: SetMax announces the last step, SetPos reports one and
// answers false to ask the effect to stop.
class mvProgress {
public:
  virtual ~mvProgress() = default;
  virtual void SetMax(uint32_t last) = 0;
  virtual bool SetPos(uint32_t pos) = 0;
  // Asked between bands of work, also by effects that report no steps, so
  // that a stop takes effect within one band of any effect.
  virtual bool StopRequested() const { return false; }
  uint32_t Pos = 0;
};

// A sink that just counts and calls an optional callback with (pos, max);
// the callback answers false to cancel.
class mvCallbackProgress : public mvProgress {
public:
  using Callback = std::function<bool(uint32_t pos, uint32_t max)>;
  explicit mvCallbackProgress(Callback cb = {}) : OnStep(std::move(cb)) {}
  void SetMax(uint32_t last) override {
    Max = last;
    Pos = 0;
  }
  bool SetPos(uint32_t pos) override {
    Pos = pos;
    return OnStep ? OnStep(pos, Max) : true;
  }
  uint32_t Max = 0;
  Callback OnStep;
};

// ---- field declarations ----------------------------------------------------

class mvEffect;

enum class FieldType : uint8_t { Int, UInt, Bool, Double, Color, Gradient };

// How Load brings a streamed value into range.
enum class LoadRule : uint8_t {
  AsRead,          // stored as read
  Bit0,            // booleans: bit 0 of the word
  NonZero,         // booleans: any non-zero word is true
  NonZeroIsOne,    // integers: any non-zero word becomes 1
  ZeroBecomesOne,  // integers: 0 becomes 1
  Clamp,           // integers: limited to [Lo, Hi]
};

// One parameter of an effect class, declared once: everything else (clone,
// compare, stream, JSON, command line, listing) is derived from it.
struct FieldInfo {
  std::string Name;
  FieldType Type = FieldType::Int;
  LoadRule Rule = LoadRule::AsRead;
  int64_t Lo = 0, Hi = 0;  // Clamp bounds; also the valid range when HasRange
  bool HasRange = false;   // recipe/command-line values outside [Lo, Hi] are refused
  bool Compared = true;    // IsEqual compares it
  bool Streamed = true;    // Save/Load carry it
  int FlagBit = -1;        // >= 0: packed as this bit of one shared flags word
  std::string HelpText;    // what the field means, for listings, tool tips and --help
  std::function<void*(mvEffect&)> Access;

  // Modifiers, chained in the declaration.
  FieldInfo& Rule_(LoadRule r) {
    Rule = r;
    return *this;
  }
  FieldInfo& Bit0() {
    Rule = LoadRule::Bit0;
    return *this;
  }
  FieldInfo& NonZero() {
    Rule = LoadRule::NonZero;
    return *this;
  }
  FieldInfo& NonZeroIsOne() {
    Rule = LoadRule::NonZeroIsOne;
    return *this;
  }
  FieldInfo& ZeroBecomesOne() {
    Rule = LoadRule::ZeroBecomesOne;
    return *this;
  }
  FieldInfo& Clamp(int64_t lo, int64_t hi) {
    Rule = LoadRule::Clamp;
    Lo = lo;
    Hi = hi;
    HasRange = true;
    return *this;
  }
  FieldInfo& Range(int64_t lo, int64_t hi) {
    Lo = lo;
    Hi = hi;
    HasRange = true;
    return *this;
  }
  FieldInfo& NotCompared() {
    Compared = false;
    return *this;
  }
  FieldInfo& NotStreamed() {
    Streamed = false;
    return *this;
  }
  FieldInfo& Flag(int bit) {
    FlagBit = bit;
    return *this;
  }
  FieldInfo& Help(std::string text) {
    HelpText = std::move(text);
    return *this;
  }

  template <class T>
  T& Of(mvEffect& e) const {
    return *static_cast<T*>(Access(e));
  }
  template <class T>
  const T& Of(const mvEffect& e) const {
    return *static_cast<const T*>(Access(const_cast<mvEffect&>(e)));
  }
};

namespace detail {
template <class T>
constexpr FieldType FieldTypeOf();
template <>
constexpr FieldType FieldTypeOf<int32_t>() {
  return FieldType::Int;
}
template <>
constexpr FieldType FieldTypeOf<uint32_t>() {
  return FieldType::UInt;
}
template <>
constexpr FieldType FieldTypeOf<bool>() {
  return FieldType::Bool;
}
template <>
constexpr FieldType FieldTypeOf<double>() {
  return FieldType::Double;
}
template <>
constexpr FieldType FieldTypeOf<mvColor>() {
  return FieldType::Color;
}
template <>
constexpr FieldType FieldTypeOf<mvGradient>() {
  return FieldType::Gradient;
}
}  // namespace detail

// Declares a field from a member pointer: Field("Radius", &mvMedianEffect::Radius).ZeroBecomesOne()
template <class E, class T>
FieldInfo Field(std::string name, T E::*member) {
  FieldInfo f;
  f.Name = std::move(name);
  f.Type = detail::FieldTypeOf<T>();
  if constexpr (std::is_same_v<T, bool>) f.Rule = LoadRule::Bit0;
  f.Access = [member](mvEffect& e) -> void* { return &(static_cast<E&>(e).*member); };
  return f;
}

// Everything the framework knows about one effect class.
struct mvEffectClass {
  uint32_t TypeId = 0;
  std::string Name;
  std::vector<FieldInfo> Fields;
  // Stream order as indexes into Fields; a packed flags word is written at
  // the position of its first flag field. Empty: declaration order.
  std::vector<int> StreamOrder;
  bool CloneBaseFields = true;     // false: a clone starts with Opacity 65535, mode 0
  bool AcceptEmptyStream = false;  // a size word of 0 loads nothing and succeeds
  int32_t SizeWordAdjust = 0;      // added to the true payload size when writing it
  uint32_t MinSizeWord = 0;        // variable-size streams: the least size word accepted
  std::function<mvEffect*()> Create;
  // Checks spanning several fields; answers an error text or empty.
  std::function<std::string(const mvEffect&)> Validate;

  const FieldInfo* Find(std::string_view name) const;
  int IndexOf(std::string_view name) const;

  // Class-level modifiers, chained after Make.
  mvEffectClass& InStreamOrder(std::initializer_list<const char*> names);
  mvEffectClass& NoBaseClone() {
    CloneBaseFields = false;
    return *this;
  }
  mvEffectClass& EmptyStreamKeepsValues() {
    AcceptEmptyStream = true;
    return *this;
  }

  template <class E>
  static mvEffectClass Make(uint32_t id, std::string name, std::vector<FieldInfo> fields) {
    mvEffectClass c;
    c.TypeId = id;
    c.Name = std::move(name);
    c.Fields = std::move(fields);
    c.Create = []() -> mvEffect* { return new (std::nothrow) E(); };
    return c;
  }
};

// ---- the effect interface --------------------------------------------------

class mvEffect {
public:
  mvEffect() = default;
  virtual ~mvEffect() = default;

  virtual uint32_t GetTypeID() const { return Class().TypeId; }
  virtual bool Apply(mvPicture& source, mvPicture& destination, mvProgress* progress) = 0;
  virtual bool IsTransform() const { return false; }
  virtual bool Transform(mvPicture& source, mvPicture** result, mvProgress* progress);
  virtual mvEffect* Clone() const;
  virtual bool IsEqual(const mvEffect& other) const;
  virtual bool Load(mvFileStream& stream);
  virtual bool Save(mvFileStream& stream) const;
  virtual bool Accepts(uint32_t, uint32_t) const { return true; }

  virtual const mvEffectClass& Class() const = 0;

  uint32_t Opacity = 65535;
  uint32_t BlendMode = 0;
  // A disabled effect stays in its recipe but is not applied when the recipe
  // is rendered (recipe files: "enabled": false).
  bool Enabled = true;
};

// Base for concrete effects: ties the class to its declaration, which the
// derived class provides as `static const mvEffectClass& Describe();`.
template <class Derived>
class mvEffectOf : public mvEffect {
public:
  const mvEffectClass& Class() const override { return Derived::Describe(); }
};

// Applies an effect to a picture: in place at full opacity in mode 0,
// otherwise blends the effect's result over the picture; transforms replace
// the picture. The progress sink, when given, is handed to the effect.
bool ApplyTo(mvEffect& effect, mvPicture& picture, mvProgress* progress = nullptr);

// ---- factory ---------------------------------------------------------------

// A new default effect for a type identifier; null for identifiers not in the
// table and for classes that are not built.
mvEffect* CreateEffect(uint32_t typeId);
std::unique_ptr<mvEffect> MakeEffect(uint32_t typeId);

// Every built effect class, by type identifier.
const std::vector<const mvEffectClass*>& RegisteredEffects();
const mvEffectClass* FindEffectClass(uint32_t typeId);
const mvEffectClass* FindEffectClass(std::string_view nameOrId);
// The class name the identifier table gives, or empty for unknown identifiers.
std::string_view EffectTypeName(uint32_t typeId);

class mvEffectRegistry {
public:
  void Add(const mvEffectClass& c) { Classes.push_back(&c); }
  std::vector<const mvEffectClass*> Classes;
};

// Each family registers its classes explicitly (no self-registering statics,
// which a static library's linker may drop).
void RegisterRenderEffects(mvEffectRegistry& registry);
void RegisterFilterEffects(mvEffectRegistry& registry);
void RegisterGeometricEffects(mvEffectRegistry& registry);

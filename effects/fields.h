#pragma once
// What a field's type decides, declared once per type: how a value is
// copied and compared, its size and form in the parameter stream, its JSON
// form in recipe files, its text form on the command line and in listings,
// and the type's name. The effect operations (Clone, IsEqual, Save, Load),
// recipe files, `--param`, `orvelle-cli effects` and the editor all go
// through these blocks, so a new field type touches one block here.
#include <cstdint>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "effects/effect.h"

struct FieldTraits {
  const char* TypeName;
  void (*Copy)(const FieldInfo& f, const mvEffect& from, mvEffect& to);
  bool (*Equal)(const FieldInfo& f, const mvEffect& a, const mvEffect& b);
  // Bytes in the parameter stream.
  uint32_t (*StreamSize)(const FieldInfo& f, const mvEffect& e);
  bool (*Write)(const FieldInfo& f, const mvEffect& e, mvFileStream& stream);
  // Reads one value and brings it into range by the field's load rule.
  bool (*Read)(const FieldInfo& f, mvEffect& e, mvFileStream& stream);
  nlohmann::json (*ToJson)(const FieldInfo& f, const mvEffect& e);
  // Refuses values out of the field's range with a reason (why); the load
  // rule then applies as for the stream.
  bool (*FromJson)(const FieldInfo& f, mvEffect& e, const nlohmann::json& v, std::string& why);
  bool (*FromText)(const FieldInfo& f, mvEffect& e, std::string_view text, std::string& why);
  std::string (*ToText)(const FieldInfo& f, const mvEffect& e);
};

const FieldTraits& TraitsOf(FieldType type);

// The one normalising rule for integer values, from a stream or from
// outside: non-zero becomes 1, 0 becomes 1, or clamped, as declared.
int64_t ApplyLoadRule(const FieldInfo& f, int64_t v);

// A JSON integer within [lo, hi]; false with a reason otherwise.
bool ReadJsonInteger(const nlohmann::json& v, int64_t lo, int64_t hi, int64_t& out, std::string& why);

// The forms other layers use by name.
nlohmann::json FieldToJson(const mvEffect& effect, const FieldInfo& field);
bool SetFieldFromText(mvEffect& effect, const FieldInfo& field, std::string_view text, std::string& error);
std::string FieldValueText(const mvEffect& effect, const FieldInfo& field);
std::string FieldTypeName(FieldType type);
// "clamped to 1..100", "0 becomes 1", "bit 0", ... or empty.
std::string FieldRuleText(const FieldInfo& field);

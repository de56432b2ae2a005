#include "effects/fields.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "core/limits.h"
#include "effects/json_input.h"

using nlohmann::json;

namespace {

// ---- helpers shared by several types -------------------------------------------

int64_t IntLo(const FieldInfo& f) {
  if (f.HasRange) return f.Lo;
  return f.Type == FieldType::Int ? std::numeric_limits<int32_t>::min() : 0;
}
int64_t IntHi(const FieldInfo& f) {
  if (f.HasRange) return f.Hi;
  return f.Type == FieldType::Int ? std::numeric_limits<int32_t>::max() : std::numeric_limits<uint32_t>::max();
}

// Integers on the command line: decimal or 0x hexadecimal, with a sign.
bool ParseInt64(std::string_view t, int64_t& v) {
  const bool neg = !t.empty() && t[0] == '-';
  if (!t.empty() && (t[0] == '-' || t[0] == '+')) t.remove_prefix(1);
  int base = 10;
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    base = 16;
    t.remove_prefix(2);
  }
  uint64_t u = 0;
  auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), u, base);
  if (t.empty() || ec != std::errc() || end != t.data() + t.size() || u > (1ull << 62)) return false;
  v = neg ? -static_cast<int64_t>(u) : static_cast<int64_t>(u);
  return true;
}

bool ParseJsonValue(std::string_view text, json& doc, std::string& why) {
  if (NestingTooDeep(text)) {
    why = "nested too deeply";
    return false;
  }
  return ParseJsonText(text, doc, why);
}

bool ReadDouble(const json& v, double& d, std::string& why) {
  if (!v.is_number()) {
    why = "must be a number";
    return false;
  }
  d = v.get<double>();
  if (!std::isfinite(d)) {
    why = "must be finite";
    return false;
  }
  return true;
}

// ---- one block per type -----------------------------------------------------------

// Signed and unsigned 32-bit integers: one word in the stream.
template <class T>
struct IntegerField {
  static void Copy(const FieldInfo& f, const mvEffect& from, mvEffect& to) { f.Of<T>(to) = f.Of<T>(from); }
  static bool Equal(const FieldInfo& f, const mvEffect& a, const mvEffect& b) { return f.Of<T>(a) == f.Of<T>(b); }
  static uint32_t StreamSize(const FieldInfo&, const mvEffect&) { return 4; }
  static bool Write(const FieldInfo& f, const mvEffect& e, mvFileStream& s) {
    return s.WriteU32(static_cast<uint32_t>(f.Of<T>(e)));
  }
  static bool Read(const FieldInfo& f, mvEffect& e, mvFileStream& s) {
    uint32_t w;
    if (!s.ReadU32(w)) return false;
    f.Of<T>(e) = static_cast<T>(ApplyLoadRule(f, static_cast<T>(w)));
    return true;
  }
  static json ToJson(const FieldInfo& f, const mvEffect& e) { return f.Of<T>(e); }
  static bool FromJson(const FieldInfo& f, mvEffect& e, const json& v, std::string& why) {
    int64_t n;
    if (!ReadJsonInteger(v, IntLo(f), IntHi(f), n, why)) return false;
    f.Of<T>(e) = static_cast<T>(ApplyLoadRule(f, n));
    return true;
  }
  static bool FromText(const FieldInfo& f, mvEffect& e, std::string_view text, std::string& why) {
    int64_t v;
    if (!ParseInt64(text, v)) {
      why = "must be an integer, got \"" + std::string(text) + "\"";
      return false;
    }
    return FromJson(f, e, json(v), why);
  }
  static std::string ToText(const FieldInfo& f, const mvEffect& e) { return std::to_string(f.Of<T>(e)); }
};

// Booleans: one word, 1 or 0; read as bit 0 or as any non-zero word.
struct BoolField {
  static void Copy(const FieldInfo& f, const mvEffect& from, mvEffect& to) { f.Of<bool>(to) = f.Of<bool>(from); }
  static bool Equal(const FieldInfo& f, const mvEffect& a, const mvEffect& b) { return f.Of<bool>(a) == f.Of<bool>(b); }
  static uint32_t StreamSize(const FieldInfo&, const mvEffect&) { return 4; }
  static bool Write(const FieldInfo& f, const mvEffect& e, mvFileStream& s) {
    return s.WriteU32(f.Of<bool>(e) ? 1 : 0);
  }
  static bool Read(const FieldInfo& f, mvEffect& e, mvFileStream& s) {
    uint32_t w;
    if (!s.ReadU32(w)) return false;
    f.Of<bool>(e) = f.Rule == LoadRule::NonZero ? w != 0 : (w & 1u) != 0;
    return true;
  }
  static json ToJson(const FieldInfo& f, const mvEffect& e) { return f.Of<bool>(e); }
  static bool FromJson(const FieldInfo& f, mvEffect& e, const json& v, std::string& why) {
    if (!v.is_boolean()) {
      why = "must be true or false";
      return false;
    }
    f.Of<bool>(e) = v.get<bool>();
    return true;
  }
  static bool FromText(const FieldInfo& f, mvEffect& e, std::string_view text, std::string& why) {
    std::string t(text);
    for (char& ch : t) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (t == "1" || t == "true" || t == "yes" || t == "on") {
      f.Of<bool>(e) = true;
    } else if (t == "0" || t == "false" || t == "no" || t == "off") {
      f.Of<bool>(e) = false;
    } else {
      why = "must be true or false, got \"" + std::string(text) + "\"";
      return false;
    }
    return true;
  }
  static std::string ToText(const FieldInfo& f, const mvEffect& e) { return f.Of<bool>(e) ? "true" : "false"; }
};

// Doubles: eight raw bytes in the stream; finite numbers from outside.
struct DoubleField {
  static void Copy(const FieldInfo& f, const mvEffect& from, mvEffect& to) { f.Of<double>(to) = f.Of<double>(from); }
  // Bitwise, so that a NaN read from a file still equals its own clone.
  static bool Equal(const FieldInfo& f, const mvEffect& a, const mvEffect& b) {
    // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison)
    return std::memcmp(&f.Of<double>(a), &f.Of<double>(b), sizeof(double)) == 0;
  }
  static uint32_t StreamSize(const FieldInfo&, const mvEffect&) { return 8; }
  static bool Write(const FieldInfo& f, const mvEffect& e, mvFileStream& s) {
    uint8_t b[8];
    std::memcpy(b, &f.Of<double>(e), 8);
    return s.WriteAll(8, b);
  }
  static bool Read(const FieldInfo& f, mvEffect& e, mvFileStream& s) {
    uint8_t b[8];
    if (!s.ReadAll(8, b)) return false;
    std::memcpy(&f.Of<double>(e), b, 8);
    return true;
  }
  static json ToJson(const FieldInfo& f, const mvEffect& e) {
    const double d = f.Of<double>(e);
    return std::isfinite(d) ? json(d) : json(nullptr);
  }
  static bool FromJson(const FieldInfo& f, mvEffect& e, const json& v, std::string& why) {
    return ReadDouble(v, f.Of<double>(e), why);
  }
  static bool FromText(const FieldInfo& f, mvEffect& e, std::string_view text, std::string& why) {
    const std::string t(text);
    char* end = nullptr;
    errno = 0;
    const double d = std::strtod(t.c_str(), &end);
    if (t.empty() || end != t.c_str() + t.size() || errno == ERANGE || !std::isfinite(d)) {
      why = "must be a finite number, got \"" + t + "\"";
      return false;
    }
    f.Of<double>(e) = d;
    return true;
  }
  static std::string ToText(const FieldInfo& f, const mvEffect& e) { return ToJson(f, e).dump(); }
};

// Colours: RGBA at 16 bits in the stream; {"format": [...], "samples": [...]}
// in JSON; #rrggbb[aa], r,g,b[,a] or that JSON on the command line.
struct ColorField {
  static void Copy(const FieldInfo& f, const mvEffect& from, mvEffect& to) { f.Of<mvColor>(to) = f.Of<mvColor>(from); }
  static bool Equal(const FieldInfo& f, const mvEffect& a, const mvEffect& b) {
    return f.Of<mvColor>(a) == f.Of<mvColor>(b);
  }
  static uint32_t StreamSize(const FieldInfo&, const mvEffect&) { return 8; }
  static bool Write(const FieldInfo& f, const mvEffect& e, mvFileStream& s) {
    uint8_t raw[8] = {};
    // A colour with no RGB form (indexed) is written as transparent black.
    ConvertColor(ColorTypeRGB, f.Of<mvColor>(e), 16, 4, raw);
    return s.WriteAll(8, raw);
  }
  static bool Read(const FieldInfo& f, mvEffect& e, mvFileStream& s) {
    uint8_t b[8];
    if (!s.ReadAll(8, b)) return false;
    f.Of<mvColor>(e) = mvColor(LoadLE16(b), LoadLE16(b + 2), LoadLE16(b + 4), LoadLE16(b + 6));
    return true;
  }
  static json ToJson(const FieldInfo& f, const mvEffect& e) {
    const mvColor& c = f.Of<mvColor>(e);
    json samples = json::array();
    for (uint32_t i = 0; i < c.Channels && i < 4; ++i) samples.push_back(c.Sample(static_cast<int>(i)));
    return json{{"format", {c.ColorType, c.BitDepth, c.Channels}}, {"samples", samples}};
  }
  static bool FromJson(const FieldInfo& f, mvEffect& e, const json& v, std::string& why) {
    return ReadColor(v, f.Of<mvColor>(e), why);
  }
  static bool ReadColor(const json& v, mvColor& c, std::string& why) {
    if (!v.is_object() || !v.contains("format") || !v.contains("samples")) {
      why = "must be an object with \"format\" and \"samples\"";
      return false;
    }
    const json& fmt = v["format"];
    const json& samples = v["samples"];
    if (!fmt.is_array() || fmt.size() != 3) {
      why = "format must be [ColorType, BitDepth, Channels]";
      return false;
    }
    int64_t t, d, ch;
    if (!ReadJsonInteger(fmt[0], 0, 2, t, why) || !ReadJsonInteger(fmt[1], 8, 16, d, why) ||
        !ReadJsonInteger(fmt[2], 1, 4, ch, why) ||
        !IsValidFormat(static_cast<uint32_t>(t), static_cast<uint32_t>(d), static_cast<uint32_t>(ch))) {
      why = "format is not a valid [ColorType, BitDepth, Channels]";
      return false;
    }
    if (!samples.is_array() || samples.size() != static_cast<size_t>(ch)) {
      why = "samples must list " + std::to_string(ch) + " values";
      return false;
    }
    mvColor out;
    out.ColorType = static_cast<uint32_t>(t);
    out.BitDepth = static_cast<uint32_t>(d);
    out.Channels = static_cast<uint32_t>(ch);
    for (size_t i = 0; i < samples.size(); ++i) {
      int64_t s;
      if (!ReadJsonInteger(samples[i], 0, d == 16 ? 65535 : 255, s, why)) {
        why = "sample " + std::to_string(i) + " " + why;
        return false;
      }
      out.SetSample(static_cast<int>(i), static_cast<uint32_t>(s));
    }
    c = out;
    return true;
  }
  static bool FromText(const FieldInfo& f, mvEffect& e, std::string_view t, std::string& why) {
    mvColor& c = f.Of<mvColor>(e);
    if (!t.empty() && t[0] == '{') {
      json doc;
      if (!ParseJsonValue(t, doc, why)) {
        why = "is not a valid colour: " + why;
        return false;
      }
      return ReadColor(doc, c, why);
    }
    std::vector<int64_t> v;
    if (!t.empty() && t[0] == '#') {
      t.remove_prefix(1);
      if (t.size() != 6 && t.size() != 8) {
        why = "must be #rrggbb or #rrggbbaa";
        return false;
      }
      for (size_t i = 0; i < t.size(); i += 2) {
        unsigned x;
        auto [end, ec] = std::from_chars(t.data() + i, t.data() + i + 2, x, 16);
        if (ec != std::errc() || end != t.data() + i + 2) {
          why = "has a bad hex digit";
          return false;
        }
        v.push_back(x);
      }
    } else {
      size_t start = 0;
      while (start <= t.size()) {
        const size_t comma = t.find(',', start);
        const std::string_view part =
            t.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        int64_t x;
        if (!ParseInt64(part, x) || x < 0 || x > 255) {
          why = "must be r,g,b[,a] with values 0..255, or #rrggbb[aa]";
          return false;
        }
        v.push_back(x);
        if (comma == std::string_view::npos) break;
        start = comma + 1;
      }
      if (v.size() != 3 && v.size() != 4) {
        why = "must have 3 or 4 values";
        return false;
      }
    }
    c = v.size() == 4
            ? mvColor::RGBA8(static_cast<uint8_t>(v[0]), static_cast<uint8_t>(v[1]), static_cast<uint8_t>(v[2]),
                             static_cast<uint8_t>(v[3]))
            : mvColor::RGB8(static_cast<uint8_t>(v[0]), static_cast<uint8_t>(v[1]), static_cast<uint8_t>(v[2]));
    return true;
  }
  static std::string ToText(const FieldInfo& f, const mvEffect& e) {
    const mvColor& c = f.Of<mvColor>(e);
    std::string s = c.ColorType == ColorTypeGray ? "gray" : (c.ColorType == ColorTypeIndexed ? "index" : "rgb");
    s += c.BitDepth == 16 ? "16(" : "(";
    for (uint32_t i = 0; i < c.Channels; ++i) s += (i ? "," : "") + std::to_string(c.Sample(static_cast<int>(i)));
    return s + ")";
  }
};

// Gradients: a block of their own in the stream; a list of segments in JSON
// and on the command line.
struct GradientField {
  static void Copy(const FieldInfo& f, const mvEffect& from, mvEffect& to) {
    f.Of<mvGradient>(to) = f.Of<mvGradient>(from);
  }
  static bool Equal(const FieldInfo& f, const mvEffect& a, const mvEffect& b) {
    return f.Of<mvGradient>(a) == f.Of<mvGradient>(b);
  }
  static uint32_t StreamSize(const FieldInfo& f, const mvEffect& e) { return f.Of<mvGradient>(e).BlockSize(); }
  static bool Write(const FieldInfo& f, const mvEffect& e, mvFileStream& s) { return f.Of<mvGradient>(e).SaveBlock(s); }
  static bool Read(const FieldInfo& f, mvEffect& e, mvFileStream& s) { return f.Of<mvGradient>(e).LoadBlock(s); }
  static json ToJson(const FieldInfo& f, const mvEffect& e) {
    json list = json::array();
    for (const GradientSegment& s : f.Of<mvGradient>(e).Segments)
      list.push_back(json{{"Left", s.Left},
                          {"Middle", s.Middle},
                          {"Right", s.Right},
                          {"LeftColor", {s.LeftColor[0], s.LeftColor[1], s.LeftColor[2], s.LeftColor[3]}},
                          {"RightColor", {s.RightColor[0], s.RightColor[1], s.RightColor[2], s.RightColor[3]}},
                          {"BlendFunction", s.BlendFunction},
                          {"ColoringType", s.ColoringType}});
    return list;
  }
  static bool ReadRGBA(const json& v, uint8_t out[4], std::string& why) {
    if (!v.is_array() || v.size() != 4) {
      why = "must be [r, g, b, a]";
      return false;
    }
    for (size_t i = 0; i < 4; ++i) {
      int64_t s;
      if (!ReadJsonInteger(v[i], 0, 255, s, why)) return false;
      out[i] = static_cast<uint8_t>(s);
    }
    return true;
  }
  static bool ReadSegment(const json& s, GradientSegment& seg, std::string& why) {
    if (!s.is_object()) {
      why = "must be an object";
      return false;
    }
    static const char* kKeys[] = {"Left",       "Middle",        "Right",       "LeftColor",
                                  "RightColor", "BlendFunction", "ColoringType"};
    for (auto it = s.begin(); it != s.end(); ++it)
      if (std::none_of(std::begin(kKeys), std::end(kKeys), [&](const char* k) { return it.key() == k; })) {
        why = "has unknown key \"" + it.key() + "\"";
        return false;
      }
    if ((s.contains("Left") && !ReadDouble(s["Left"], seg.Left, why)) ||
        (s.contains("Middle") && !ReadDouble(s["Middle"], seg.Middle, why)) ||
        (s.contains("Right") && !ReadDouble(s["Right"], seg.Right, why)) ||
        (s.contains("LeftColor") && !ReadRGBA(s["LeftColor"], seg.LeftColor, why)) ||
        (s.contains("RightColor") && !ReadRGBA(s["RightColor"], seg.RightColor, why)))
      return false;
    int64_t n;
    if (s.contains("BlendFunction")) {
      if (!ReadJsonInteger(s["BlendFunction"], 0, 4, n, why)) {
        why = "BlendFunction " + why;
        return false;
      }
      seg.BlendFunction = static_cast<int32_t>(n);
    }
    if (s.contains("ColoringType")) {
      if (!ReadJsonInteger(s["ColoringType"], 0, 2, n, why)) {
        why = "ColoringType " + why;
        return false;
      }
      seg.ColoringType = static_cast<int32_t>(n);
    }
    return true;
  }
  static bool FromJson(const FieldInfo& f, mvEffect& e, const json& v, std::string& why) {
    if (!v.is_array()) {
      why = "must be a list of segments";
      return false;
    }
    if (v.size() > static_cast<size_t>(limits::kMaxGradientSegments)) {
      why = "has " + std::to_string(v.size()) + " segments; at most " + std::to_string(limits::kMaxGradientSegments) +
            " are allowed";
      return false;
    }
    mvGradient out;
    for (size_t i = 0; i < v.size(); ++i) {
      GradientSegment seg;
      if (!ReadSegment(v[i], seg, why)) {
        why = "segment " + std::to_string(i) + " " + why;
        return false;
      }
      out.AppendSegment(seg);
    }
    f.Of<mvGradient>(e) = std::move(out);
    return true;
  }
  static bool FromText(const FieldInfo& f, mvEffect& e, std::string_view text, std::string& why) {
    json doc;
    if (!ParseJsonValue(text, doc, why)) {
      why = "must be a JSON list of segments (" + why + ")";
      return false;
    }
    return FromJson(f, e, doc, why);
  }
  static std::string ToText(const FieldInfo& f, const mvEffect& e) { return ToJson(f, e).dump(); }
};

template <class B>
constexpr FieldTraits Block(const char* name) {
  return {name,     &B::Copy,   &B::Equal,    &B::StreamSize, &B::Write,
          &B::Read, &B::ToJson, &B::FromJson, &B::FromText,   &B::ToText};
}

// In FieldType's order.
constexpr FieldTraits kTraits[] = {
    Block<IntegerField<int32_t>>("int32"),
    Block<IntegerField<uint32_t>>("uint32"),
    Block<BoolField>("bool"),
    Block<DoubleField>("double"),
    Block<ColorField>("color"),
    Block<GradientField>("gradient"),
};
static_assert(std::size(kTraits) == static_cast<size_t>(FieldType::Gradient) + 1, "one block per field type");

}  // namespace

const FieldTraits& TraitsOf(FieldType type) { return kTraits[static_cast<size_t>(type)]; }

int64_t ApplyLoadRule(const FieldInfo& f, int64_t v) {
  switch (f.Rule) {
    case LoadRule::NonZeroIsOne: return v != 0 ? 1 : 0;
    case LoadRule::ZeroBecomesOne: return v == 0 ? 1 : v;
    case LoadRule::Clamp: return std::clamp(v, f.Lo, f.Hi);
    default: return v;
  }
}

bool ReadJsonInteger(const json& v, int64_t lo, int64_t hi, int64_t& out, std::string& why) {
  if (v.is_number_unsigned()) {
    const uint64_t u = v.get<uint64_t>();
    if (u > static_cast<uint64_t>(hi) || (lo > 0 && u < static_cast<uint64_t>(lo))) {
      why = "is " + std::to_string(u) + ", outside " + std::to_string(lo) + ".." + std::to_string(hi);
      return false;
    }
    out = static_cast<int64_t>(u);
    return true;
  }
  if (v.is_number_integer()) {
    const int64_t s = v.get<int64_t>();
    if (s < lo || s > hi) {
      why = "is " + std::to_string(s) + ", outside " + std::to_string(lo) + ".." + std::to_string(hi);
      return false;
    }
    out = s;
    return true;
  }
  why = "must be an integer";
  return false;
}

json FieldToJson(const mvEffect& effect, const FieldInfo& field) { return TraitsOf(field.Type).ToJson(field, effect); }

bool SetFieldFromText(mvEffect& effect, const FieldInfo& field, std::string_view text, std::string& error) {
  std::string why;
  if (TraitsOf(field.Type).FromText(field, effect, text, why)) return true;
  error = field.Name + " " + why;
  return false;
}

std::string FieldValueText(const mvEffect& effect, const FieldInfo& field) {
  return TraitsOf(field.Type).ToText(field, effect);
}

std::string FieldTypeName(FieldType type) { return TraitsOf(type).TypeName; }

std::string FieldRuleText(const FieldInfo& f) {
  std::string parts;
  auto add = [&parts](const std::string& s) { parts += (parts.empty() ? "" : "; ") + s; };
  if (f.Rule == LoadRule::Bit0) add("bit 0 of the word");
  if (f.Rule == LoadRule::NonZero || f.Rule == LoadRule::NonZeroIsOne) add("non-zero becomes 1");
  if (f.Rule == LoadRule::ZeroBecomesOne) add("0 becomes 1");
  if (f.Rule == LoadRule::Clamp) add("clamped to " + std::to_string(f.Lo) + ".." + std::to_string(f.Hi));
  if (f.HasRange && f.Rule != LoadRule::Clamp) add("range " + std::to_string(f.Lo) + ".." + std::to_string(f.Hi));
  if (f.FlagBit >= 0) add("flags bit " + std::to_string(f.FlagBit));
  if (!f.Streamed) add("not in the parameter stream");
  if (!f.Compared) add("not compared");
  return parts;
}

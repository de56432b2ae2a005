#include "effects/json_input.h"

#include <new>
#include <vector>

using nlohmann::json;

bool NestingTooDeep(std::string_view text) {
  int depth = 0;
  bool inString = false, escaped = false;
  for (char ch : text) {
    if (inString) {
      if (escaped) escaped = false;
      else if (ch == '\\') escaped = true;
      else if (ch == '"') inString = false;
      continue;
    }
    if (ch == '"') inString = true;
    else if (ch == '[' || ch == '{') {
      if (++depth > 32) return true;
    } else if (ch == ']' || ch == '}') --depth;
  }
  return false;
}

namespace {

// Builds the document like json::parse, but remembers where in it the
// parser is, so that an error (a number beyond a double's range, say) can
// name the effect and field it sits in.
class TrackingParser {
public:
  using Dom = nlohmann::detail::json_sax_dom_parser<json>;
  explicit TrackingParser(json& doc) : Builder(doc, false) {}

  bool null() { return Scalar(Builder.null()); }
  bool boolean(bool v) { return Scalar(Builder.boolean(v)); }
  bool number_integer(json::number_integer_t v) { return Scalar(Builder.number_integer(v)); }
  bool number_unsigned(json::number_unsigned_t v) { return Scalar(Builder.number_unsigned(v)); }
  bool number_float(json::number_float_t v, const std::string& text) { return Scalar(Builder.number_float(v, text)); }
  bool string(std::string& v) { return Scalar(Builder.string(v)); }
  bool binary(json::binary_t& v) { return Scalar(Builder.binary(v)); }
  bool start_object(std::size_t n) {
    Levels.push_back({false, 0, {}});
    return Builder.start_object(n);
  }
  bool key(std::string& k) {
    Levels.back().Key = k;
    return Builder.key(k);
  }
  bool end_object() {
    Levels.pop_back();
    return Scalar(Builder.end_object());
  }
  bool start_array(std::size_t n) {
    Levels.push_back({true, 0, {}});
    return Builder.start_array(n);
  }
  bool end_array() {
    Levels.pop_back();
    return Scalar(Builder.end_array());
  }
  bool parse_error(std::size_t position, const std::string& token, const nlohmann::detail::exception& e) {
    const std::string shown = token.size() > 40 ? token.substr(0, 40) + "..." : token;
    if (e.id == 406)  // a number a double cannot hold
      Message = Place() + "the number " + shown + " is out of range";
    else Message = Place() + "not valid JSON at byte " + std::to_string(position) + " (" + e.what() + ")";
    return false;
  }

  std::string Message;

private:
  struct Level {
    bool Array;
    size_t Index;
    std::string Key;
  };

  bool Scalar(bool ok) {
    if (!Levels.empty() && Levels.back().Array) ++Levels.back().Index;
    return ok;
  }

  // "effect 2, field Angle: " for a recipe's effects[2].params.Angle, and so on.
  std::string Place() const {
    std::string where;
    size_t i = 0;
    if (Levels.size() >= 2 && !Levels[0].Array && Levels[0].Key == "effects" && Levels[1].Array) {
      where = "effect " + std::to_string(Levels[1].Index);
      i = 2;
    }
    if (i + 1 < Levels.size() && !Levels[i].Array && Levels[i].Key == "params") {
      where += (where.empty() ? "" : ", ") + std::string("field ") + Levels[i + 1].Key;
      i += 2;
      for (; i < Levels.size(); ++i)
        where += Levels[i].Array ? "[" + std::to_string(Levels[i].Index) + "]" : "." + Levels[i].Key;
    } else {
      for (; i < Levels.size(); ++i) {
        where += where.empty() ? "" : " ";
        where += Levels[i].Array ? "[" + std::to_string(Levels[i].Index) + "]" : Levels[i].Key;
      }
    }
    return where.empty() ? std::string() : where + ": ";
  }

  Dom Builder;
  std::vector<Level> Levels;
};

}  // namespace

bool ParseJsonText(std::string_view text, json& doc, std::string& why) {
  json parsed;
  try {
    TrackingParser parser(parsed);
    if (!json::sax_parse(text, &parser)) {
      why = parser.Message.empty() ? std::string("not valid JSON") : parser.Message;
      return false;
    }
  } catch (const std::bad_alloc&) {
    why = "not enough memory";
    return false;
  } catch (const std::exception& e) {
    why = std::string("not valid JSON (") + e.what() + ")";
    return false;
  }
  doc = std::move(parsed);
  return true;
}

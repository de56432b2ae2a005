#pragma once
// JSON from outside: parsed without exceptions and without unbounded
// recursion, with a message that names the place of a fault.
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

// Deeper nesting than any recipe has is refused before parsing, so that
// parsing and destroying the document cannot recurse without bound.
bool NestingTooDeep(std::string_view text);

// Parses text; false with a message ("effect 2, field Angle: the number
// 1e400 is out of range") when it is not valid JSON. Never throws.
bool ParseJsonText(std::string_view text, nlohmann::json& doc, std::string& why);

#pragma once
#include <nlohmann/json.hpp>

#include "effects/effect.h"

// Every built effect with its id, class name, whether it changes the size,
// and its fields (name, type, default, range, load rule, help): what
// `orvelle-cli effects --json` prints and the Python module's effects() answers.
nlohmann::json EffectClassJson(const mvEffectClass& effectClass);
nlohmann::json EffectListJson();

#pragma once
#include <pybind11/pybind11.h>

#include <nlohmann/json.hpp>

// Recipes and effects cross between Python and the recipe code as JSON values,
// so a dict is read exactly as the same text in a file would be.

// dicts, lists, tuples, str, int, float, bool and None (numpy scalars too).
// ValueError, naming `what`, for anything JSON cannot hold: other types,
// non-string keys, NaN or infinity, nesting deeper than any recipe.
nlohmann::json JsonFromPython(pybind11::handle value, const char* what);
pybind11::object PythonFromJson(const nlohmann::json& value);

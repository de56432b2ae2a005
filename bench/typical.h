#pragma once
// What the benchmarks and the peer timer share: the noise picture every
// effect is timed on, the settings the generator typically draws for each
// effect, and one timed application.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/picture.h"
#include "effects/effect.h"

namespace bench {

// Opaque RGBA 8-bit noise, the worst case for searches and caches and the
// format of every texture.
mvPicture NoisePicture(int32_t width, int32_t height);

// One benchmark case: a class, a short label and its fields as the command
// line's FIELD=VALUE words. Segments=N builds the gradient map's gradient
// the way the generator does (N even, linear RGB segments).
struct Typical {
  const char* Class;
  const char* Label;
  const char* Params;
};
const std::vector<Typical>& TypicalSettings();

// A new effect of the class (name or type id) with the words applied; null
// and a message when a class, field or value is unknown.
std::unique_ptr<mvEffect> MakeEffect(const std::string& cls, const std::vector<std::string>& params,
                                     std::string& error);
std::vector<std::string> SplitWords(const char* text);

// Applies the effect from source into target (transforms make and drop a
// new picture); false when it failed.
bool ApplyOnce(mvEffect& effect, mvPicture& source, mvPicture& target);

}  // namespace bench

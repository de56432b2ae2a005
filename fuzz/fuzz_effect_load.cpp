// An effect's binary parameter stream: the first byte picks the class, the
// rest is the stream. A load that succeeds must save and load again.
#include <cstdint>
#include <memory>
#include <vector>

#include "effects/effect.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const auto& classes = RegisteredEffects();
  const mvEffectClass& c = *classes[data[0] % classes.size()];
  std::unique_ptr<mvEffect> effect(c.Create());
  if (!effect) return 0;
  mvMemoryStream in(std::vector<uint8_t>(data + 1, data + size));
  if (!effect->Load(in)) return 0;
  mvMemoryStream out;
  if (!effect->Save(out)) __builtin_trap();
  std::unique_ptr<mvEffect> again(c.Create());
  mvMemoryStream back(out.Data);
  if (!again->Load(back)) __builtin_trap();
  std::unique_ptr<mvEffect> copy(effect->Clone());
  return 0;
}

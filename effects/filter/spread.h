#pragma once
#include <cstdint>

#include "effects/effect.h"

class mvRandom;

// Moves every pixel by a random offset of at most RangeX, RangeY.
class mvSpreadEffect : public mvEffectOf<mvSpreadEffect> {
public:
  static const mvEffectClass& Describe();
  bool Apply(mvPicture& source, mvPicture& target, mvProgress* progress) override;
  uint32_t RangeX = 3;
  uint32_t RangeY = 3;
  uint32_t Seed = 1;
  bool Seamless = false;
};

// mvRandom::NextInt(n) for one n, drawn many times: the same words taken
// from the generator, the same rejections and the same results, with the
// bound and the division worked out once.
class BoundedDraws {
public:
  explicit BoundedDraws(uint32_t n);
  uint32_t Next(mvRandom& random) const;

private:
  uint32_t N, Limit;
  uint64_t Reciprocal;
};

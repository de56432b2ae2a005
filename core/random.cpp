#include "core/random.h"

#include <chrono>
#include <cmath>
#include <limits>

mvRandom VariationRandom;
thread_local mvRandom SharedRandom;

mvRandom::mvRandom() : State{}, Index(0) {}

void mvRandom::Seed(uint32_t s) {
  State[0] = s;
  for (uint32_t i = 1; i < 624; ++i) State[i] = 1812433253u * (State[i - 1] ^ (State[i - 1] >> 30)) + i;
  Index = 624;
}

uint32_t mvRandom::Next() {
  if (Index == 624) {
    for (int i = 0; i < 624; ++i) {
      uint32_t y = (State[i] & 0x80000000u) | (State[(i + 1) % 624] & 0x7FFFFFFFu);
      State[i] = State[(i + 397) % 624] ^ (y >> 1) ^ ((y & 1u) ? 0x9908B0DFu : 0u);
    }
    Index = 0;
  }
  uint32_t y = State[Index++];
  y ^= y >> 11;
  y ^= (y << 7) & 0x9D2C5680u;
  y ^= (y << 15) & 0xEFC60000u;
  y ^= y >> 18;
  return y;
}

uint32_t mvRandom::NextInt(uint32_t n) {
  if (n == 0) return 0;
  uint32_t limit;
  if (n <= 0x80000000u) {
    uint32_t r = (0x80000000u % n) * 2;
    if (r >= n) r -= n;
    limit = 0xFFFFFFFFu - r;
  } else {
    limit = n - 1;
  }
  uint32_t x;
  do x = Next();
  while (x > limit);
  return x % n;
}

double mvRandom::NextDouble() { return static_cast<double>(Next()) / 4294967295.0; }

double mvGaussian::Next() {
  double u1 = Generator->NextDouble();
  double u2 = Generator->NextDouble();
  // ln(0) would make the magnitude infinite; the smallest positive double keeps it finite.
  if (u1 <= 0.0) u1 = std::numeric_limits<double>::denorm_min();
  double r = Sigma * std::sqrt(-2.0 * std::log(u1));
  double theta = 6.283185307179586 * u2;
  if (Phase == 0) {
    Phase = 1;
    return r * std::cos(theta);
  }
  Phase = 0;
  return r * std::sin(theta);
}

uint32_t TickCount() {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
  return static_cast<uint32_t>(ms);
}

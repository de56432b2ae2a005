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

void mvRandom::Regenerate() {
  // The in-place update split where (i + 1) and (i + 397) wrap, so that no
  // word needs a remainder: words 0..226 read words 397..623 not yet
  // updated, words 227..623 read words 0..396 already updated.
  constexpr uint32_t kUpper = 0x80000000u, kLower = 0x7FFFFFFFu, kMatrix = 0x9908B0DFu;
  auto mix = [](uint32_t y) { return (y >> 1) ^ ((0u - (y & 1u)) & kMatrix); };
  int i = 0;
  for (; i < 624 - 397; ++i) State[i] = State[i + 397] ^ mix((State[i] & kUpper) | (State[i + 1] & kLower));
  for (; i < 623; ++i) State[i] = State[i - (624 - 397)] ^ mix((State[i] & kUpper) | (State[i + 1] & kLower));
  State[623] = State[396] ^ mix((State[623] & kUpper) | (State[0] & kLower));
  Index = 0;
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
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
                .count();
  return static_cast<uint32_t>(ms);
}

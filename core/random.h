#pragma once
#include <cstdint>

// MT19937 with the standard seeding routine. The output sequence is part of
// the texture contract: the same seed must give the same draws forever.
class mvRandom {
public:
  mvRandom();  // all-zero state, index 0: yields zeros until seeded
  void Seed(uint32_t s);
  // Inline: the generator and the seeded effects draw millions of words.
  uint32_t Next() {
    if (Index >= 624) Regenerate();
    uint32_t y = State[Index++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;
    return y;
  }
  // Unbiased integer in [0, n) by rejection; 0 without drawing when n is 0.
  uint32_t NextInt(uint32_t n);
  // x / 4294967295.0 of one draw: both 0 and 1 are possible.
  double NextDouble();

private:
  // The whole state anew, words 0 to 623 in place and in order.
  void Regenerate();
  uint32_t State[624];
  int32_t Index;
};

// Normal deviates by Box-Muller, two uniform draws per call, alternating the
// cosine and sine branches.
class mvGaussian {
public:
  explicit mvGaussian(mvRandom* generator, double sigma = 1.0) : Generator(generator), Sigma(sigma) {}
  double Next();

  mvRandom* Generator;
  double Sigma;
  int32_t Phase = 0;
};

// Process-wide sources: the variation maker's, which the desktop program
// seeds once and draws from across runs, and the one seeded effects restart
// from their own seed at every run. The latter is one per thread: effects may
// run on several threads at once (a batch on the desktop program's worker
// while a preview renders), and each run seeds it first, so every thread sees
// the draws a single thread would. The generator draws from a source its
// caller passes in, seeded per batch.
extern mvRandom VariationRandom;
extern thread_local mvRandom SharedRandom;

// Milliseconds of a monotonic clock, truncated to 32 bits (the start-up seed).
uint32_t TickCount();

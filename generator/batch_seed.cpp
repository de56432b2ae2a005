#include "generator/batch_seed.h"

uint32_t TextureSeed(uint32_t batchSeed, uint32_t index) {
  uint64_t z = ((uint64_t{batchSeed} << 32) | index) + 0x9E3779B97F4A7C15u;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return static_cast<uint32_t>((z ^ (z >> 31)) >> 32);
}

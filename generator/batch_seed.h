#pragma once
#include <cstdint>

// Seeds of a shardable batch. By default a batch is one stream: the generator
// is seeded once and texture k is made from the draws left after textures
// 1..k-1, as the desktop program does. With per-texture seeds texture i is
// made alone from its own seed, so any range of a batch can be made on any
// machine, in any order, and gives the same files.
//
// The seed of texture i (1-based) of batch seed S is the first output of
// SplitMix64 started from the state S * 2^32 + i, cut to its high 32 bits:
//   z = (S << 32 | i) + 0x9E3779B97F4A7C15
//   z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9
//   z = (z ^ (z >> 27)) * 0x94D049BB133111EB
//   seed = (z ^ (z >> 31)) >> 32
// The function is part of the texture contract: files made by it must be made
// again, so it never changes. A texture made from seed T alone is texture 1 of
// a default batch seeded with T.
uint32_t TextureSeed(uint32_t batchSeed, uint32_t index);

// Indexes run from 1 up to this, so a range fits 32 bits.
inline constexpr uint32_t kMaxTextureIndex = 0xFFFFFFFFu;

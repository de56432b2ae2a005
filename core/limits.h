#pragma once
// The limits every entry point shares: the desktop program's panel, the
// command line and recipe files check the same numbers, so a value one of
// them accepts is never refused by another.
#include <cstdint>
#include <cstdlib>

namespace limits {

inline constexpr int32_t kMinSide = 1;
inline constexpr int32_t kMaxSide = 5000;  // texture width and height
inline constexpr int32_t kMinBatch = 1;
inline constexpr int32_t kMaxBatch = 1000;  // textures per Generate
// Textures per orvelle-cli generate with per-texture seeds: each is made and
// written alone, so a long run holds no more than a short one.
inline constexpr int32_t kMaxSeededBatch = 1000000;
inline constexpr int32_t kMinVariations = 2;  // the unchanged texture and at least one variation
inline constexpr int32_t kMaxVariations = 1000;
inline constexpr int32_t kMinScale = 2;  // re-render factors of the Resize command
inline constexpr int32_t kMaxScale = 10;
inline constexpr int32_t kMinRenderLevel = 1;  // generator levels: render 1..5, filter and geometric 0..5
inline constexpr int32_t kMaxLevel = 5;

// What a recipe may ask for. None of these can matter for a texture of at
// most kMaxSide x kMaxSide, and each keeps the work a file can cause bounded.
inline constexpr int32_t kMaxEffectsPerRecipe = 1000;
inline constexpr int32_t kMaxGradientSegments = 1024;

// Pixels a decoded image may have, whatever its header claims. The
// environment variable ORVELLE_MAX_PIXELS changes it (a positive integer);
// it is read once, on first use.
inline constexpr int64_t kDefaultMaxPixels = int64_t{1} << 28;
inline int64_t MaxPixels() {
  static const int64_t value = [] {
    const char* text = std::getenv("ORVELLE_MAX_PIXELS");
    if (!text || !*text) return kDefaultMaxPixels;
    char* end = nullptr;
    const long long n = std::strtoll(text, &end, 10);
    return (*end == '\0' && n > 0) ? static_cast<int64_t>(n) : kDefaultMaxPixels;
  }();
  return value;
}

inline bool SideValid(int64_t side) { return side >= kMinSide && side <= kMaxSide; }
inline bool SizeValid(int64_t width, int64_t height) { return SideValid(width) && SideValid(height); }

}  // namespace limits

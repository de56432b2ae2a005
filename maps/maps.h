#pragma once
// Height and normal maps of a texture, for 3D surfaces: they tile the way
// the texture does (wrapped at the edges of a seamless texture, clamped
// otherwise) and are made in bands on the thread pool, the same bits on any
// thread count.
#include <cstdint>

#include "core/picture.h"

namespace maps {

struct MapOptions {
  // Radius in pixels of the smoothing of the heights (three box passes,
  // close to a gaussian); 0: none.
  int32_t HeightBlur = 0;
  // Steepness of the normals: the height slope per pixel (heights 0..1) is
  // multiplied by Strength and by SlopeScale.
  double Strength = 2.0;
  // A re-render F times larger spreads every slope over F times as many
  // pixels; callers pass F here so that the normals look the same at any
  // size.
  double SlopeScale = 1.0;
  bool DirectX = false;  // green points down (the other common convention)
  bool Wrap = false;     // read across the edges: the maps of a seamless texture tile
};

// Limits of the options given from outside.
inline constexpr int32_t kMaxHeightBlur = 1000;
inline constexpr double kMaxStrength = 1000.0;

// The texture's luminance (the generator's weights 19672, 38621, 7500 over
// 65536, of the colour flattened onto white as a saved picture is), blurred
// when asked and stretched to the full range, as a 16-bit gray picture. A
// flat texture gives mid-gray. False when out of memory or the texture is not
// 8-bit RGB or gray.
bool MakeHeightMap(const mvPicture& texture, const MapOptions& options, mvPicture& height);

// Tangent-space normals from a 16-bit gray height map with the Sobel
// gradient, as 8-bit RGB: (128, 128, 255) is flat; red grows to the right,
// green upward (downward with DirectX).
bool MakeNormalMap(const mvPicture& height, const MapOptions& options, mvPicture& normal);

// An 8-bit gray copy of a 16-bit height map (the top byte, rounded).
bool HeightTo8Bit(const mvPicture& height16, mvPicture& height8);

}  // namespace maps

#pragma once
#include <cstdint>
#include <functional>
#include <memory>

#include "core/picture.h"

// The picture the tiling preview shows: the texture columns x rows times, as
// RGB 8-bit with alpha. Above maxSide in either direction the texture is first
// reduced by area averaging so that the tiled picture fits, so a 5000 x 5000
// texture costs a bounded picture and time rather than 15000 x 15000 pixels.
// Null when memory runs out or stop answers true (asked between rows).
std::unique_ptr<mvPicture> BuildTiledPicture(const mvPicture& texture, int32_t columns, int32_t rows, int32_t maxSide,
                                             const std::function<bool()>& stop = {});

// The size one tile takes in that picture: the texture's, or reduced with
// its proportions kept (never below one pixel).
void TileSize(int32_t width, int32_t height, int32_t columns, int32_t rows, int32_t maxSide, int32_t& tileWidth,
              int32_t& tileHeight);

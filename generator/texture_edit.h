#pragma once
#include <cstdint>
#include <memory>

#include "effects/layer.h"

// The turn and flip commands edit a texture's recipe: the step that undoes
// the command is looked for from the last effect back and taken out when it
// is there; otherwise the command's own effect is appended and applied.
// False (recipe and picture unchanged) when memory runs out.
enum class TurnCommand { RotateRight, RotateLeft, Rotate180, FlipVertical, FlipHorizontal };
bool TurnOrFlip(mvPictureLayer& texture, TurnCommand command);

// A new texture of width x height with clones of the source's recipe,
// rendered at the new size; null when it cannot be made or the progress
// sink asked to stop.
std::unique_ptr<mvPictureLayer> RerenderTexture(const mvPictureLayer& source, int32_t width, int32_t height,
                                                mvProgress* progress = nullptr);

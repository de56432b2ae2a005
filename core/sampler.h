#pragma once
#include "core/picture.h"

// Reads a picture at a real position (pixel centres at integer coordinates)
// with bilinear interpolation, writing Channels samples of its format.
using mvSampler = bool (*)(const mvPicture& picture, double x, double y, void* target);

// Clamps at the edges; refuses positions outside [-1, Width) x [-1, Height).
bool SampleBilinear(const mvPicture& picture, double x, double y, void* target);
// Wraps around the edges (RGB 8-bit, 3 or 4 channels); always writes.
bool SampleBilinearWrap(const mvPicture& picture, double x, double y, void* target);
// The clamping sampler for a format, or null for indexed formats.
mvSampler GetSampler(uint32_t colorType, uint32_t bitDepth, uint32_t channels);

#pragma once
#include "codecs/bmp.h"
#include "codecs/codec.h"
#include "codecs/jpeg.h"
#include "codecs/png.h"

// The process-wide codecs, alive for the whole run.
extern mvBMPCodec BMPCodec;
extern mvJPEGCodec JPEGCodec;
extern mvPNGCodec PNGCodec;

// The process-wide codec whose extension list holds path's extension
// (compared ignoring case); null when none does.
mvCodec* CodecForPath(const char* path);

// Reads an image file, choosing the codec by the file's first bytes and,
// when none claims them, by the extension. 2 when the file cannot be opened,
// 6 when no codec fits.
int32_t LoadImageFile(const char* path, mvImage& image, mvProgress* progress = nullptr);

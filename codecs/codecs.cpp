#include "codecs/codecs.h"

#include <cerrno>
#include <cstring>
#include <strings.h>

mvBMPCodec BMPCodec;
mvJPEGCodec JPEGCodec;
mvPNGCodec PNGCodec;

namespace {

mvCodec* const kCodecs[] = {&BMPCodec, &JPEGCodec, &PNGCodec};

}  // namespace

mvCodec* CodecForPath(const char* path) {
  if (!path) return nullptr;
  const char* slash = std::strrchr(path, '/');
  const char* dot = std::strrchr(slash ? slash : path, '.');
  if (!dot || !dot[1]) return nullptr;
  for (mvCodec* codec : kCodecs)
    for (const char* ext = codec->GetExtensions(); *ext; ext += std::strlen(ext) + 1)
      if (strcasecmp(ext, dot + 1) == 0) return codec;
  return nullptr;
}

int32_t LoadImageFile(const char* path, mvImage& image, mvProgress* progress) {
  if (!path) return kCodecCannotOpen;
  mvFileStream probe;
  if (!probe.OpenForRead(path)) return errno == EINVAL ? kCodecNotAFile : kCodecCannotOpen;
  uint8_t head[16];
  uint32_t count = 0;
  while (count < sizeof(head)) {
    const uint32_t n = probe.Read(sizeof(head) - count, head + count);
    if (n == 0) break;
    count += n;
  }
  probe.Close();
  mvCodec* codec = nullptr;
  for (mvCodec* candidate : kCodecs)
    if (candidate->IsFormat(head, count)) codec = candidate;
  // JPEG files without a JFIF marker first (camera files) are still JPEG.
  if (!codec) codec = CodecForPath(path);
  if (!codec) return kCodecWrongFormat;
  mvFileStream stream;
  if (!stream.OpenForRead(path)) return kCodecCannotOpen;
  return codec->ReadImage(stream, image, progress);
}

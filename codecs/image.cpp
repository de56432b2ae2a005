#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "codecs/codec.h"

#include <cerrno>

int64_t PixelsPerMetre(uint32_t unit, int32_t value) {
  switch (unit) {
    case kResolutionInch: return static_cast<int64_t>(value) * 10000 / 254;
    case kResolutionCentimetre: return static_cast<int64_t>(value) * 100;
    case kResolutionMetre: return value;
    default: return 0;
  }
}

// ---- mvImage ---------------------------------------------------------------

mvImage::mvImage() = default;

mvImage::~mvImage() {
  TextProperties.Clear();
  // Layers were added bottom first; they go top first.
  for (size_t i = Layers.size(); i > 0; --i) delete Layers[i - 1];
  Layers.clear();
  CurrentLayer = nullptr;
  Picture.Free();
}

bool mvImage::Create(int32_t width, int32_t height, uint32_t colorType, uint32_t bitDepth, uint32_t channels) {
  if (!Picture.Create(width, height, colorType, bitDepth, channels)) return false;
  Width = width;
  Height = height;
  ColorType = colorType;
  BitDepth = bitDepth;
  Channels = channels;
  TextProperties.Clear();
  CurrentLayer = nullptr;
  return true;
}

bool mvImage::CreateFrom(const mvPicture& source) {
  if (source.IsEmpty()) return false;
  if (!Create(source.Width, source.Height, source.ColorType, source.BitDepth, source.Channels)) return false;
  const size_t rowBytes = static_cast<size_t>(source.Width) * source.BytesPerPixel();
  for (int32_t y = 0; y < source.Height; ++y) std::memcpy(Picture.Row(y), source.Row(y), rowBytes);
  if (source.Palette && Picture.Palette) Picture.CopyPaletteFrom(source);
  return true;
}

bool mvImage::AddLayer(mvLayer* layer) {
  if (!layer) return false;
  try {
    if (Layers.capacity() == 0) Layers.reserve(16);
    Layers.push_back(layer);
  } catch (...) {
    return false;
  }
  return true;
}

bool mvImage::RemoveLayer(mvLayer* layer) {
  for (size_t i = 0; i < Layers.size(); ++i) {
    if (Layers[i] != layer) continue;
    Layers.erase(Layers.begin() + static_cast<std::ptrdiff_t>(i));
    if (CurrentLayer == layer) CurrentLayer = nullptr;
    return true;
  }
  return false;
}

void mvImage::Flatten() {
  if (Picture.IsEmpty()) return;
  if (HasBackground) Picture.Fill(nullptr, Background);
  else Picture.Clear(nullptr);
  for (mvLayer* layer : Layers) {
    if (!layer || !layer->Visible || layer->Opacity == 0 || layer->IsEmpty()) continue;
    // 64-bit so that layers placed far away cannot wrap into view.
    const int64_t left = layer->X, top = layer->Y;
    const int64_t right = left + layer->Width, bottom = top + layer->Height;
    if (right <= 0 || bottom <= 0 || left >= Picture.Width || top >= Picture.Height) continue;
    BlendRect(Picture, layer->X, layer->Y, *layer, 0, 0, layer->Width, layer->Height, layer->BlendMode, layer->Opacity);
  }
}

// ---- mvCodec ---------------------------------------------------------------

int32_t mvCodec::ReadImage(mvFileStream&, mvImage&, mvProgress*) { return kCodecNotSupported; }
int32_t mvCodec::WriteImage(mvFileStream&, mvImage&, mvProgress*) { return kCodecNotSupported; }
bool mvCodec::IsFormat(const uint8_t*, uint32_t) const { return false; }
bool mvCodec::SetOption(const char*, const char*) { return false; }

std::vector<std::string> mvCodec::ExtensionList() const {
  std::vector<std::string> list;
  for (const char* p = GetExtensions(); p && *p; p += std::strlen(p) + 1) list.emplace_back(p);
  return list;
}

// ---- saving ----------------------------------------------------------------

int32_t StageImageFile(mvCodec& codec, const char* path, mvImage& image, mvStagedFile& staged) {
  if (!path || !*path) return kCodecCannotOpen;
  try {
    const int fd = staged.Begin(path);
    if (fd < 0) return errno == EISDIR || errno == EINVAL ? kCodecNotAFile : kCodecCannotOpen;
    // The codecs write through a stream of their own on the same file; a
    // device or pipe target stays open meanwhile so that its reader is kept.
    mvFileStream stream;
    const std::string& where = staged.Direct() ? staged.Target() : staged.Temporary();
    const bool opened = stream.OpenForWrite(where.c_str());
    stream.SyncOnFlush = staged.NeedsSync();
    staged.Finish(fd);
    if (!opened) {
      staged.Discard();
      return kCodecCannotOpen;
    }
    int32_t result = codec.WriteImage(stream, image, nullptr);
    // A full disk may only show when the data reaches it.
    if (result == kCodecOK && staged.NeedsSync() && !stream.Flush()) result = kCodecWriteFailed;
    stream.Close();
    if (result != kCodecOK) staged.Discard();
    return result;
  } catch (const std::bad_alloc&) {
    staged.Discard();
    return kCodecOutOfMemory;
  }
}

int32_t SaveImageFile(mvCodec& codec, const char* path, mvImage& image) {
  mvStagedFile staged;
  const int32_t result = StageImageFile(codec, path, image, staged);
  if (result != kCodecOK) return result;
  return staged.Commit() ? kCodecOK : kCodecCannotOpen;
}

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
  if (HasBackground)
    Picture.Fill(nullptr, Background);
  else
    Picture.Clear(nullptr);
  for (mvLayer* layer : Layers) {
    if (!layer || !layer->Visible || layer->Opacity == 0 || layer->IsEmpty()) continue;
    // 64-bit so that layers placed far away cannot wrap into view.
    const int64_t left = layer->X, top = layer->Y;
    const int64_t right = left + layer->Width, bottom = top + layer->Height;
    if (right <= 0 || bottom <= 0 || left >= Picture.Width || top >= Picture.Height) continue;
    BlendRect(Picture, layer->X, layer->Y, *layer, 0, 0, layer->Width, layer->Height, layer->BlendMode,
              layer->Opacity);
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

namespace {

// Writes straight into path: used for targets that are not regular files
// (a device or a pipe has no old contents to protect and cannot be renamed over).
int32_t SaveDirect(mvCodec& codec, const char* path, mvImage& image) {
  mvFileStream stream;
  if (!stream.OpenForWrite(path)) return kCodecCannotOpen;
  const int32_t result = codec.WriteImage(stream, image, nullptr);
  stream.Close();
  return result;
}

void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);  // best effort: the rename is already done
  ::close(fd);
}

}  // namespace

int32_t SaveImageFile(mvCodec& codec, const char* path, mvImage& image) {
  if (!path || !*path) return kCodecCannotOpen;
  std::string target;
  try {
    target = path;
    struct stat info;
    if (::lstat(path, &info) == 0 && S_ISLNK(info.st_mode)) {
      // Replace the file the link points to, not the link itself.
      if (char* real = ::realpath(path, nullptr)) {
        target = real;
        std::free(real);
      }
    }
    mode_t mode;
    if (::stat(target.c_str(), &info) == 0) {
      if (S_ISDIR(info.st_mode)) return kCodecCannotOpen;
      if (!S_ISREG(info.st_mode)) return SaveDirect(codec, target.c_str(), image);
      mode = info.st_mode & 07777;
    } else {
      // A new file gets the permissions a plain create would give it; the
      // program is single-threaded, so reading the mask this way is safe.
      const mode_t mask = ::umask(0);
      ::umask(mask);
      mode = 0666 & ~mask;
    }

    const size_t slash = target.rfind('/');
    if (slash + 1 == target.size()) return kCodecCannotOpen;  // names a folder
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    // A short fixed name: the target's own name plus a suffix could exceed NAME_MAX.
    std::string temp = (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) +
                       ".orvelle-save-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return kCodecCannotOpen;
    ::fchmod(fd, mode);
    ::close(fd);

    int32_t result;
    {
      mvFileStream stream;
      if (!stream.OpenForWrite(temp.c_str())) {
        ::unlink(temp.c_str());
        return kCodecCannotOpen;
      }
      result = codec.WriteImage(stream, image, nullptr);
      // A full disk may only show when the data reaches it.
      if (result == kCodecOK && !stream.Flush()) result = kCodecWriteFailed;
      stream.Close();
    }
    if (result != kCodecOK) {
      ::unlink(temp.c_str());
      return result;
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
      ::unlink(temp.c_str());
      return kCodecCannotOpen;
    }
    SyncFolder(folder);
    return kCodecOK;
  } catch (...) {
    return kCodecOutOfMemory;
  }
}

#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/atomic_file.h"
#include "core/limits.h"
#include "core/picture.h"
#include "effects/effect.h"
#include "effects/layer.h"
#include "effects/stream.h"

// Result codes shared by every codec.
enum : int32_t {
  kCodecOK = 0,
  kCodecOutOfMemory = 1,
  kCodecCannotOpen = 2,
  kCodecReadFailed = 3,  // read failed or the data ended early
  kCodecWriteFailed = 4,
  kCodecNotSupported = 5,
  kCodecWrongFormat = 6,
  kCodecInvalidHeader = 7,
  kCodecCannotCreate = 8,  // the picture cannot be created
  kCodecCancelled = 9,
  kCodecLibraryError = 10,
  kCodecNotAFile = 11,  // the path names a folder, a device or a pipe
};

// Readers refuse to allocate pictures beyond these, whatever a header claims:
// a hostile 4-byte width must not become a multi-gigabyte allocation. The
// pixel budget is limits::MaxPixels() (ORVELLE_MAX_PIXELS).
inline constexpr int64_t kMaxReadDimension = 1000000;
inline bool FitsReadLimits(int64_t width, int64_t height) {
  return width > 0 && height > 0 && width <= kMaxReadDimension && height <= kMaxReadDimension &&
         width * height <= limits::MaxPixels();
}

// Resolution units of an image.
enum : uint32_t { kResolutionNone = 0, kResolutionInch = 1, kResolutionCentimetre = 2, kResolutionMetre = 3 };

// Pixels per metre for a resolution in the given unit (0 for no unit),
// rounded toward zero; kept in 64 bits so callers decide how to clamp.
int64_t PixelsPerMetre(uint32_t unit, int32_t value);

// The document handed to codecs: the flattened picture they store, its
// layers, resolution and text properties.
class mvImage {
public:
  mvImage();
  mvImage(const mvImage&) = delete;
  mvImage& operator=(const mvImage&) = delete;
  ~mvImage();

  bool Create(int32_t width, int32_t height, uint32_t colorType, uint32_t bitDepth, uint32_t channels);
  // Creates the picture in the format of source and copies its pixels and palette.
  bool CreateFrom(const mvPicture& source);

  // The image owns an added layer until it is removed again; false when the
  // list cannot grow (the caller keeps the layer).
  bool AddLayer(mvLayer* layer);
  // Takes the layer out without deleting it; false when it is not in the list.
  bool RemoveLayer(mvLayer* layer);
  int32_t LayerCount() const { return static_cast<int32_t>(Layers.size()); }
  mvLayer* Layer(int32_t i) const { return Layers[static_cast<size_t>(i)]; }

  // Background (or zeros), then every visible, non-transparent layer that
  // overlaps the picture, bottom first.
  void Flatten();

  void SetTextProperty(const std::string& key, const std::string& value) { TextProperties.Set(key, value); }
  const std::string* GetTextProperty(const std::string& key) const { return TextProperties.Get(key); }

  int32_t Width = 0;
  int32_t Height = 0;
  uint32_t ColorType = ColorTypeRGB;
  uint32_t BitDepth = 8;
  uint32_t Channels = 4;
  uint32_t ResolutionUnit = kResolutionNone;
  int32_t XResolution = 0;
  int32_t YResolution = 0;
  bool HasBackground = true;
  mvColor Background = mvColor::RGB8(255, 255, 255);
  mvPicture Picture;
  std::vector<mvLayer*> Layers;
  mvLayer* CurrentLayer = nullptr;
  ::TextProperties TextProperties;
  int32_t SourceHint = 0;  // 2 when the file was run-length encoded
};

class mvCodec {
public:
  virtual ~mvCodec() = default;
  virtual const char* GetName() const = 0;
  virtual const char* GetDescription() const = 0;
  // Texts one after another, each ended by '\0', the list ended by an empty
  // text; the first is the default extension.
  virtual const char* GetExtensions() const = 0;
  virtual int32_t GetCapabilities() const = 0;
  virtual int32_t ReadImage(mvFileStream& stream, mvImage& image, mvProgress* progress);
  virtual int32_t WriteImage(mvFileStream& stream, mvImage& image, mvProgress* progress);
  virtual bool IsFormat(const uint8_t* bytes, uint32_t count) const;
  virtual bool SetOption(const char* name, const char* value);

  // The extensions as a list (helper over GetExtensions).
  std::vector<std::string> ExtensionList() const;
};

// Writes the image to path with the codec. The file appears only when the
// whole write succeeded: the data goes to a temporary file in the same folder
// that replaces path at the end, so a failed save never destroys a file that
// was already there. A device or FIFO is written directly, never replaced.
// 2 when the file cannot be created or replaced, 11 when path is a folder or
// a special file that cannot be written.
int32_t SaveImageFile(mvCodec& codec, const char* path, mvImage& image);
// The same, stopping before the rename: the caller commits staged (together
// with other files) or discards it.
int32_t StageImageFile(mvCodec& codec, const char* path, mvImage& image, mvStagedFile& staged);

#include "codecs/png.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <png.h>
#include <zlib.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace {

// Library errors jump back into the codec; warnings stay quiet.
void ErrorFn(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void WarningFn(png_structp, png_const_charp) {}

// The stream and what went wrong with it: a failed read or write is told
// apart from damaged data.
struct Io {
  mvFileStream* Stream;
  int32_t Failure = kCodecOK;
};

void WriteFn(png_structp png, png_bytep data, size_t length) {
  auto* io = static_cast<Io*>(png_get_io_ptr(png));
  while (length > 0) {
    const uint32_t part = static_cast<uint32_t>(std::min<size_t>(length, 1u << 30));
    if (!io->Stream->WriteAll(part, data)) {
      io->Failure = kCodecWriteFailed;
      png_error(png, "Write Error");
    }
    data += part;
    length -= part;
  }
}

// Pipes cannot be synced; SaveImageFile checks the flush that matters.
void FlushFn(png_structp png) { static_cast<Io*>(png_get_io_ptr(png))->Stream->Flush(); }

void ReadFn(png_structp png, png_bytep data, size_t length) {
  auto* io = static_cast<Io*>(png_get_io_ptr(png));
  while (length > 0) {
    const uint32_t part = static_cast<uint32_t>(std::min<size_t>(length, 1u << 30));
    if (!io->Stream->ReadAll(part, data)) {
      io->Failure = kCodecReadFailed;
      png_error(png, "Read Error");
    }
    data += part;
    length -= part;
  }
}

// No single allocation of a legitimate read comes near this (the widest row
// we accept is 8 MB); refusing more stops a forged chunk length from making
// the library clear a gigabyte before it notices that the data is missing.
constexpr png_alloc_size_t kMaxReadAllocation = png_alloc_size_t{64} << 20;

png_voidp ReadMalloc(png_structp, png_alloc_size_t size) {
  return size <= kMaxReadAllocation ? std::malloc(size) : nullptr;
}
void ReadFree(png_structp, png_voidp p) { std::free(p); }

uint32_t ClampPhys(int64_t v) { return static_cast<uint32_t>(std::clamp<int64_t>(v, 0, PNG_UINT_31_MAX)); }

struct WriteJob {
  png_structp Png;
  png_infop Info;
  const mvPNGCodec* Codec;
  mvImage* Image;
  mvProgress* Progress;
  png_text Texts[4];
  int TextCount;
  uint8_t* Row;  // freed by the caller, also after a library error
  Io Out;
};

// Nothing with a destructor lives in this frame: a library error jumps back
// into it from deep inside the library.
int32_t Compress(WriteJob& job) {
  png_structp png = job.Png;
  png_infop info = job.Info;
  if (setjmp(png_jmpbuf(png))) return job.Out.Failure != kCodecOK ? job.Out.Failure : kCodecLibraryError;
  const mvPicture& picture = job.Image->Picture;
  const mvImage& image = *job.Image;

  png_set_compression_level(png, job.Codec->CompressionLevel);
  // Indexed pictures with alpha have no palette form (alpha would have to be
  // per palette entry); they are written as RGBA instead, losing nothing.
  const bool expandIndexed = picture.ColorType == ColorTypeIndexed && picture.Channels == 2;
  int colorType;
  if (picture.ColorType == ColorTypeRGB)
    colorType = picture.Channels == 4 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
  else if (picture.ColorType == ColorTypeGray)
    colorType = picture.Channels == 2 ? PNG_COLOR_TYPE_GRAY_ALPHA : PNG_COLOR_TYPE_GRAY;
  else colorType = expandIndexed ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_PALETTE;
  png_set_IHDR(png, info, static_cast<png_uint_32>(picture.Width), static_cast<png_uint_32>(picture.Height),
               static_cast<int>(picture.BitDepth), colorType,
               job.Codec->Interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);

  if (image.ResolutionUnit != kResolutionNone)
    png_set_pHYs(png, info, ClampPhys(PixelsPerMetre(image.ResolutionUnit, image.XResolution)),
                 ClampPhys(PixelsPerMetre(image.ResolutionUnit, image.YResolution)), PNG_RESOLUTION_METER);

  if (colorType == PNG_COLOR_TYPE_PALETTE) {
    png_color entries[256] = {};
    const mvPalette* palette = picture.Palette;
    for (int i = 0; palette && palette->Entries && i < std::min(palette->Count, 256); ++i) {
      entries[i].red = palette->Entries[4 * i];
      entries[i].green = palette->Entries[4 * i + 1];
      entries[i].blue = palette->Entries[4 * i + 2];
    }
    png_set_PLTE(png, info, entries, 256);
  }
  if (job.TextCount > 0) png_set_text(png, info, job.Texts, job.TextCount);

  png_write_info(png, info);
  // Our 16-bit samples are little-endian words; the file wants them big-endian.
  if (picture.BitDepth == 16) png_set_swap(png);
  const int passes = job.Codec->Interlace ? png_set_interlace_handling(png) : 1;
  if (job.Progress) {
    const uint64_t last = static_cast<uint64_t>(picture.Height) * static_cast<uint64_t>(passes) - 1;
    job.Progress->SetMax(static_cast<uint32_t>(std::min<uint64_t>(last, UINT32_MAX)));
  }
  if (expandIndexed) {
    job.Row = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(picture.Width) * 4));
    if (!job.Row) return kCodecOutOfMemory;
  }
  const uint8_t* paletteEntries = picture.Palette ? picture.Palette->Entries : nullptr;
  for (int pass = 0; pass < passes; ++pass) {
    for (int32_t y = 0; y < picture.Height; ++y) {
      const uint8_t* row = picture.Row(y);
      if (expandIndexed) {
        ConvertRow(row, ColorTypeIndexed, 8, 2, job.Row, ColorTypeRGB, 8, 4, paletteEntries, picture.Width);
        row = job.Row;
      }
      png_write_row(png, row);
      if (job.Progress) job.Progress->SetPos(job.Progress->Pos + 1);
    }
  }
  png_write_end(png, info);
  return kCodecOK;
}

struct ReadJob {
  png_structp Png;
  png_infop Info;
  mvImage* Image;
  mvProgress* Progress;
  Io In;
  uint64_t FileBytes;  // after the signature; 0 when the stream cannot tell
};

// Deflate turns at most 1032 bytes into one (a 258-byte match in two bits).
constexpr uint64_t kMaxInflateRatio = 1032;

int32_t Decompress(ReadJob& job) {
  png_structp png = job.Png;
  png_infop info = job.Info;
  if (setjmp(png_jmpbuf(png))) return job.In.Failure != kCodecOK ? job.In.Failure : kCodecLibraryError;
  png_set_sig_bytes(png, 8);
  // Bounds on what the library itself may allocate for a hostile file.
  png_set_user_limits(png, static_cast<png_uint_32>(kMaxReadDimension), static_cast<png_uint_32>(kMaxReadDimension));
  png_set_chunk_malloc_max(png, 8u << 20);
  png_read_info(png, info);

  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colorType = 0, interlace = 0;
  png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, &interlace, nullptr, nullptr);
  if (!FitsReadLimits(width, height)) return kCodecCannotCreate;
  // The compressed rows must be able to hold the picture the header claims:
  // a small file that does not is cut short, and is refused before the
  // picture is allocated.
  const uint64_t rawBytes = uint64_t{height} * (png_get_rowbytes(png, info) + 1);
  if (job.FileBytes != 0 && rawBytes / kMaxInflateRatio > job.FileBytes) return kCodecReadFailed;

  // Map every PNG variant onto one of our formats: sub-byte samples widen to
  // 8 bits, transparency chunks become an alpha channel, 16-bit stays 16-bit
  // (swapped to our byte order), and palettes stay palettes when they can.
  const bool hasTrns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  uint32_t ourType, channels;
  bool keepPalette = false;
  switch (colorType) {
    case PNG_COLOR_TYPE_PALETTE:
      if (hasTrns) {
        png_set_palette_to_rgb(png);
        png_set_tRNS_to_alpha(png);
        ourType = ColorTypeRGB;
        channels = 4;
      } else {
        if (bitDepth < 8) png_set_packing(png);
        ourType = ColorTypeIndexed;
        channels = 1;
        keepPalette = true;
      }
      break;
    case PNG_COLOR_TYPE_GRAY:
      if (bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
      if (hasTrns) png_set_tRNS_to_alpha(png);
      ourType = ColorTypeGray;
      channels = hasTrns ? 2 : 1;
      break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      ourType = ColorTypeGray;
      channels = 2;
      break;
    case PNG_COLOR_TYPE_RGB:
      if (hasTrns) png_set_tRNS_to_alpha(png);
      ourType = ColorTypeRGB;
      channels = hasTrns ? 4 : 3;
      break;
    case PNG_COLOR_TYPE_RGB_ALPHA:
      ourType = ColorTypeRGB;
      channels = 4;
      break;
    default: return kCodecNotSupported;
  }
  const uint32_t depth = bitDepth == 16 ? 16 : 8;
  if (depth == 16) png_set_swap(png);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);

  mvImage& image = *job.Image;
  if (!image.Create(static_cast<int32_t>(width), static_cast<int32_t>(height), ourType, depth, channels))
    return kCodecCannotCreate;
  mvPicture& picture = image.Picture;
  // The transformations above must give exactly our row layout; anything
  // else would make libpng write past the end of a row.
  if (png_get_rowbytes(png, info) != static_cast<size_t>(width) * picture.BytesPerPixel() ||
      png_get_channels(png, info) != channels || png_get_bit_depth(png, info) != depth)
    return kCodecNotSupported;

  if (keepPalette) {
    png_colorp entries = nullptr;
    int count = 0;
    if (png_get_PLTE(png, info, &entries, &count) && entries)
      for (int i = 0; i < std::min(count, 256); ++i)
        picture.SetPaletteEntry(i, entries[i].red, entries[i].green, entries[i].blue);
  }
  image.SourceHint = 0;
  image.ResolutionUnit = kResolutionNone;
  image.XResolution = image.YResolution = 0;
  png_uint_32 xRes = 0, yRes = 0;
  int unit = 0;
  if (png_get_pHYs(png, info, &xRes, &yRes, &unit) && unit == PNG_RESOLUTION_METER) {
    image.ResolutionUnit = kResolutionMetre;
    image.XResolution = static_cast<int32_t>(std::min<png_uint_32>(xRes, INT32_MAX));
    image.YResolution = static_cast<int32_t>(std::min<png_uint_32>(yRes, INT32_MAX));
  }

  // Interlaced passes land in place ("sparkle"), so the picture is zeroed first.
  picture.Clear(nullptr);
  if (job.Progress) {
    const uint64_t last = static_cast<uint64_t>(height) * static_cast<uint64_t>(passes) - 1;
    job.Progress->SetMax(static_cast<uint32_t>(std::min<uint64_t>(last, UINT32_MAX)));
  }
  for (int pass = 0; pass < passes; ++pass) {
    for (png_uint_32 y = 0; y < height; ++y) {
      png_read_row(png, picture.Row(static_cast<int32_t>(y)), nullptr);
      if (job.Progress && !job.Progress->SetPos(job.Progress->Pos + 1)) return kCodecCancelled;
    }
  }
  png_read_end(png, info);

  png_textp texts = nullptr;
  int textCount = 0;
  png_get_text(png, info, &texts, &textCount);
  for (int i = 0; texts && i < textCount; ++i) {
    const char* key = texts[i].key;
    const char* property = nullptr;
    if (std::strcmp(key, "Comment") == 0 || std::strcmp(key, "Description") == 0) property = "COMMENT";
    else if (std::strcmp(key, "Title") == 0) property = "TITLE";
    else if (std::strcmp(key, "Author") == 0) property = "AUTHOR";
    else if (std::strcmp(key, kRecipeKeyword) == 0) property = kRecipeProperty;
    // International text keeps its length in a field of its own.
    const size_t length =
        texts[i].compression >= PNG_ITXT_COMPRESSION_NONE ? texts[i].itxt_length : texts[i].text_length;
    if (property && texts[i].text) image.SetTextProperty(property, std::string(texts[i].text, length));
  }
  return kCodecOK;
}

}  // namespace

bool mvPNGCodec::IsFormat(const uint8_t* bytes, uint32_t count) const {
  return bytes && count >= 4 && bytes[0] == 0x89 && bytes[1] == 'P' && bytes[2] == 'N' && bytes[3] == 'G';
}

int32_t mvPNGCodec::WriteImage(mvFileStream& stream, mvImage& image, mvProgress* progress) {
  if (image.Picture.IsEmpty()) return kCodecNotSupported;
  WriteJob job{};
  job.Codec = this;
  job.Image = &image;
  job.Progress = progress;
  // The text chunks point into the image's own strings, which outlive the write.
  static const struct {
    const char* Property;
    const char* Keyword;
  } kTexts[4] = {{"COMMENT", "Comment"}, {"TITLE", "Title"}, {"AUTHOR", "Author"}, {kRecipeProperty, kRecipeKeyword}};
  for (int i = 0; i < 4; ++i) {
    const std::string* value = image.GetTextProperty(kTexts[i].Property);
    if (!value) continue;
    png_text& text = job.Texts[job.TextCount++];
    // The comment may be compressed, title and author stay plain, and the
    // recipe is compressed international text (JSON is UTF-8).
    if (i == 3) text.compression = PNG_ITXT_COMPRESSION_zTXt;
    else text.compression = i == 0 && CompressedComment ? PNG_TEXT_COMPRESSION_zTXt : PNG_TEXT_COMPRESSION_NONE;
    text.key = const_cast<char*>(kTexts[i].Keyword);
    text.text = const_cast<char*>(value->c_str());
    text.text_length = value->size();
  }

  job.Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, ErrorFn, WarningFn);
  if (!job.Png) return kCodecLibraryError;
  job.Info = png_create_info_struct(job.Png);
  if (!job.Info) {
    png_destroy_write_struct(&job.Png, nullptr);
    return kCodecLibraryError;
  }
  job.Out.Stream = &stream;
  png_set_write_fn(job.Png, &job.Out, WriteFn, FlushFn);
  const int32_t result = Compress(job);
  std::free(job.Row);
  png_destroy_write_struct(&job.Png, &job.Info);
  return result;
}

int32_t mvPNGCodec::ReadImage(mvFileStream& stream, mvImage& image, mvProgress* progress) {
  uint8_t signature[8];
  if (!stream.ReadAll(8, signature)) return kCodecReadFailed;
  if (png_sig_cmp(signature, 0, 8) != 0) return kCodecWrongFormat;
  ReadJob job{};
  job.Image = &image;
  job.Progress = progress;
  job.Png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, ErrorFn, WarningFn, nullptr, ReadMalloc, ReadFree);
  if (!job.Png) return kCodecLibraryError;
  job.Info = png_create_info_struct(job.Png);
  if (!job.Info) {
    png_destroy_read_struct(&job.Png, nullptr, nullptr);
    return kCodecLibraryError;
  }
  job.In.Stream = &stream;
  uint64_t bytes = 0;
  if (stream.BytesLeft(bytes)) job.FileBytes = bytes;
  png_set_read_fn(job.Png, &job.In, ReadFn);
  const int32_t result = Decompress(job);
  png_destroy_read_struct(&job.Png, &job.Info, nullptr);
  return result;
}

namespace {

uint32_t BigEndian32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// Reads exactly count bytes; false at the end of the file or on an error.
bool ReadExactly(int fd, void* buffer, size_t count) {
  auto* p = static_cast<uint8_t*>(buffer);
  while (count > 0) {
    const ssize_t got = ::read(fd, p, count);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    p += got;
    count -= static_cast<size_t>(got);
  }
  return true;
}

// Inflates a zlib stream, refusing output beyond maxBytes.
PNGTextResult Inflate(const uint8_t* data, size_t size, size_t maxBytes, std::string& out) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return PNGTextResult::CannotRead;
  std::unique_ptr<z_stream, int (*)(z_streamp)> guard(&z, inflateEnd);
  z.next_in = const_cast<Bytef*>(data);
  z.avail_in = static_cast<uInt>(size);
  out.clear();
  char chunk[16384];
  for (;;) {
    z.next_out = reinterpret_cast<Bytef*>(chunk);
    z.avail_out = sizeof chunk;
    const int r = inflate(&z, Z_NO_FLUSH);
    if (r != Z_OK && r != Z_STREAM_END) return PNGTextResult::Damaged;
    const size_t produced = sizeof chunk - z.avail_out;
    if (out.size() + produced > maxBytes) return PNGTextResult::TooLarge;
    out.append(chunk, produced);
    if (r == Z_STREAM_END) return PNGTextResult::Found;
    if (produced == 0 && z.avail_in == 0) return PNGTextResult::Damaged;
  }
}

// The text of one text chunk when its keyword matches; NoChunk otherwise.
PNGTextResult ChunkText(const char* type, const std::vector<uint8_t>& d, const char* keyword, size_t maxBytes,
                        std::string& text) {
  const size_t keyLength = std::strlen(keyword);
  if (d.size() < keyLength + 1 || std::memcmp(d.data(), keyword, keyLength) != 0 || d[keyLength] != 0)
    return PNGTextResult::NoChunk;
  size_t at = keyLength + 1;
  if (std::memcmp(type, "tEXt", 4) == 0) {
    if (d.size() - at > maxBytes) return PNGTextResult::TooLarge;
    text.assign(reinterpret_cast<const char*>(d.data() + at), d.size() - at);
    return PNGTextResult::Found;
  }
  if (std::memcmp(type, "zTXt", 4) == 0) {
    if (at >= d.size() || d[at] != 0) return PNGTextResult::Damaged;  // compression method 0 only
    return Inflate(d.data() + at + 1, d.size() - at - 1, maxBytes, text);
  }
  // iTXt: compression flag and method, then language tag and translated
  // keyword, each ended by a zero byte.
  if (d.size() < at + 2) return PNGTextResult::Damaged;
  const bool compressed = d[at] != 0;
  if (compressed && d[at + 1] != 0) return PNGTextResult::Damaged;
  at += 2;
  for (int field = 0; field < 2; ++field) {
    const auto end = std::find(d.begin() + static_cast<std::ptrdiff_t>(at), d.end(), uint8_t{0});
    if (end == d.end()) return PNGTextResult::Damaged;
    at = static_cast<size_t>(end - d.begin()) + 1;
  }
  if (compressed) return Inflate(d.data() + at, d.size() - at, maxBytes, text);
  if (d.size() - at > maxBytes) return PNGTextResult::TooLarge;
  text.assign(reinterpret_cast<const char*>(d.data() + at), d.size() - at);
  return PNGTextResult::Found;
}

}  // namespace

PNGTextResult ReadPNGText(const char* path, const char* keyword, size_t maxBytes, std::string& text) {
  // Non-blocking, so that a FIFO cannot hang the open; only regular files.
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return PNGTextResult::CannotRead;
  std::unique_ptr<int, void (*)(int*)> closer(new int(fd), [](int* f) {
    ::close(*f);
    delete f;
  });
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return PNGTextResult::CannotRead;
  uint8_t signature[8];
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (!ReadExactly(fd, signature, 8) || std::memcmp(signature, kSignature, 8) != 0) return PNGTextResult::NotPNG;
  const uint64_t fileSize = static_cast<uint64_t>(info.st_size);
  uint64_t position = 8;
  for (;;) {
    uint8_t head[8];
    if (!ReadExactly(fd, head, 8)) return PNGTextResult::Damaged;  // no IEND
    const uint32_t length = BigEndian32(head);
    const char* type = reinterpret_cast<const char*>(head + 4);
    position += 8;
    if (length > 0x7FFFFFFFu || position + length + 4 > fileSize) return PNGTextResult::Damaged;
    if (std::memcmp(type, "IEND", 4) == 0) return PNGTextResult::NoChunk;
    const bool textChunk =
        std::memcmp(type, "tEXt", 4) == 0 || std::memcmp(type, "zTXt", 4) == 0 || std::memcmp(type, "iTXt", 4) == 0;
    // A compressed text chunk holding more than 1032 times its size is not
    // one of ours; nor is a chunk far larger than the text we take.
    if (!textChunk || length > maxBytes + 4096) {
      if (::lseek(fd, static_cast<off_t>(length) + 4, SEEK_CUR) < 0) return PNGTextResult::CannotRead;
      position += uint64_t{length} + 4;
      continue;
    }
    std::vector<uint8_t> data(length);
    uint8_t crc[4];
    if ((length > 0 && !ReadExactly(fd, data.data(), length)) || !ReadExactly(fd, crc, 4))
      return PNGTextResult::Damaged;
    position += uint64_t{length} + 4;
    uLong sum = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
    sum = crc32(sum, data.data(), static_cast<uInt>(length));
    if (sum != BigEndian32(crc)) return PNGTextResult::Damaged;
    const PNGTextResult r = ChunkText(type, data, keyword, maxBytes, text);
    if (r != PNGTextResult::NoChunk) return r;
  }
}

#include "codecs/bmp.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {

void PutLE16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void PutLE32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}
uint32_t GetLE16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8; }
uint32_t GetLE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

int32_t ClampToInt32(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

// ---- writing rows ----------------------------------------------------------

using PackRow = void (*)(const uint8_t* src, uint8_t* dst, int32_t width, uint32_t channels);

void PackRgb8(const uint8_t* src, uint8_t* dst, int32_t width, uint32_t channels) {
  for (int32_t x = 0; x < width; ++x, src += channels, dst += 3) {
    dst[0] = src[2];
    dst[1] = src[1];
    dst[2] = src[0];
  }
}
// 16-bit samples are little-endian: the high byte is the second of each pair.
void PackRgb16(const uint8_t* src, uint8_t* dst, int32_t width, uint32_t channels) {
  for (int32_t x = 0; x < width; ++x, src += 2 * channels, dst += 3) {
    dst[0] = src[5];
    dst[1] = src[3];
    dst[2] = src[1];
  }
}
void PackFirst8(const uint8_t* src, uint8_t* dst, int32_t width, uint32_t channels) {
  for (int32_t x = 0; x < width; ++x, src += channels) dst[x] = src[0];
}
void PackFirst16(const uint8_t* src, uint8_t* dst, int32_t width, uint32_t channels) {
  for (int32_t x = 0; x < width; ++x, src += 2 * channels) dst[x] = src[1];
}

// ---- reading rows ----------------------------------------------------------

using UnpackRow = void (*)(const uint8_t* src, uint8_t* dst, int32_t width);

void Unpack1(const uint8_t* src, uint8_t* dst, int32_t width) {
  for (int32_t x = 0; x < width; ++x) dst[x] = static_cast<uint8_t>((src[x >> 3] >> (7 - (x & 7))) & 1);
}
void Unpack4(const uint8_t* src, uint8_t* dst, int32_t width) {
  for (int32_t x = 0; x < width; ++x) dst[x] = static_cast<uint8_t>((x & 1) ? src[x >> 1] & 15 : src[x >> 1] >> 4);
}
void Unpack8(const uint8_t* src, uint8_t* dst, int32_t width) { std::memcpy(dst, src, static_cast<size_t>(width)); }
void Unpack24(const uint8_t* src, uint8_t* dst, int32_t width) {
  for (int32_t x = 0; x < width; ++x, src += 3, dst += 4) {
    dst[0] = src[2];
    dst[1] = src[1];
    dst[2] = src[0];
    dst[3] = 255;
  }
}
// Pixels of 16 and 32 bits hold each channel in a run of bits named by a
// mask: the file's bit-field masks, or without them 5-5-5 (top bit unused)
// and blue, green, red, alpha bytes. A channel of n bits widens to 8 by
// repeating its bits from the top, so 0 stays 0 and the largest value is 255
// (5-bit 16 becomes 132, 6-bit 32 becomes 130): every 5-5-5 file reads as it
// always did, and the same pixels stored with or without masks read the
// same. A channel wider than 8 bits keeps its top 8. A colour without a mask
// reads 0, alpha without a mask 255.
struct BitFields {
  struct Channel {
    uint32_t Shift = 0;
    uint32_t Mask = 0;  // after the shift; at most 8 bits
    uint8_t Widened[256] = {};
  };
  Channel Channels[4];  // red, green, blue, alpha
};

bool ContiguousMask(uint32_t mask) {
  const uint32_t low = mask == 0 ? 0 : mask >> std::countr_zero(mask);
  return (low & (low + 1)) == 0;
}

void SetUpBitFields(BitFields& fields, const uint32_t (&masks)[4]) {
  for (uint32_t c = 0; c < 4; ++c) {
    BitFields::Channel& channel = fields.Channels[c];
    const uint32_t mask = masks[c];
    if (mask == 0) {
      channel.Widened[0] = c == 3 ? 255 : 0;
      continue;
    }
    uint32_t shift = static_cast<uint32_t>(std::countr_zero(mask));
    uint32_t bits = static_cast<uint32_t>(std::popcount(mask));
    if (bits > 8) {
      shift += bits - 8;
      bits = 8;
    }
    channel.Shift = shift;
    channel.Mask = (1u << bits) - 1;
    for (uint32_t v = 0; v <= channel.Mask; ++v) {
      uint32_t repeated = 0, filled = 0;
      for (; filled < 8; filled += bits) repeated = repeated << bits | v;
      channel.Widened[v] = static_cast<uint8_t>(repeated >> (filled - 8));
    }
  }
}

template <uint32_t kBytes>
void UnpackFields(const uint8_t* src, uint8_t* dst, int32_t width, const BitFields& fields) {
  const BitFields::Channel& r = fields.Channels[0];
  const BitFields::Channel& g = fields.Channels[1];
  const BitFields::Channel& b = fields.Channels[2];
  const BitFields::Channel& a = fields.Channels[3];
  for (int32_t x = 0; x < width; ++x, src += kBytes, dst += 4) {
    const uint32_t v = kBytes == 2 ? GetLE16(src) : GetLE32(src);
    dst[0] = r.Widened[(v >> r.Shift) & r.Mask];
    dst[1] = g.Widened[(v >> g.Shift) & g.Mask];
    dst[2] = b.Widened[(v >> b.Shift) & b.Mask];
    dst[3] = a.Widened[(v >> a.Shift) & a.Mask];
  }
}

// The common 32-bit layout (blue, green, red, alpha bytes) copied byte by
// byte: the same result as UnpackFields<4>, which takes about a quarter
// longer on large pictures.
void UnpackBgra(const uint8_t* src, uint8_t* dst, int32_t width) {
  for (int32_t x = 0; x < width; ++x, src += 4, dst += 4) {
    dst[0] = src[2];
    dst[1] = src[1];
    dst[2] = src[0];
    dst[3] = src[3];
  }
}

// How run-length data ended.
enum class RunEnd { Complete, Truncated };

// Decodes 8-bit or 4-bit runs, bottom row first; with a null picture it only
// walks the data (to learn whether it is complete before a picture is
// allocated). Some writers code each row over its padded width (the row's
// bytes rounded up to four), so a run that reaches into that padding is
// drawn up to the picture's edge; a run that would leave the padded row
// ends the decoding quietly, keeping what was drawn so far. Data that stops
// before the end-of-bitmap mark or the last row is truncated.
// NOLINTNEXTLINE(readability-function-cognitive-complexity): the escapes of the format in one loop
RunEnd DecodeRuns(const std::vector<uint8_t>& data, int64_t width, int64_t height, mvPicture* picture, bool fourBit) {
  const int64_t padded = fourBit ? (width + 7) / 8 * 8 : (width + 3) / 4 * 4;
  size_t at = 0;
  auto next = [&](uint8_t& b) {
    if (at == data.size()) return false;
    b = data[at++];
    return true;
  };
  int64_t x = 0;
  int64_t row = height - 1;
  // Running out of data once every row is done is a complete bitmap whose
  // writer left out the end mark.
  const auto ended = [&] { return row < 0 ? RunEnd::Complete : RunEnd::Truncated; };
  for (;;) {
    uint8_t count, value;
    if (!next(count) || !next(value)) return ended();
    if (count > 0) {  // a run of count pixels
      if (row < 0 || x + count > padded) return RunEnd::Complete;
      const int64_t drawn = std::min<int64_t>(count, width - std::min(x, width));
      if (picture && drawn > 0) {
        uint8_t* p = picture->Row(static_cast<int32_t>(row)) + x;
        if (!fourBit) std::memset(p, value, static_cast<size_t>(drawn));
        else
          for (int64_t i = 0; i < drawn; ++i) p[i] = static_cast<uint8_t>((i & 1) ? value & 15 : value >> 4);
      }
      x += count;
    } else if (value == 0) {  // end of line
      x = 0;
      --row;
    } else if (value == 1) {  // end of bitmap
      return RunEnd::Complete;
    } else if (value == 2) {  // delta
      uint8_t dx, dy;
      if (!next(dx) || !next(dy)) return ended();
      if (x + dx > padded || row - dy < 0) return RunEnd::Complete;
      x += dx;
      row -= dy;
    } else {  // value literal pixels, padded to an even byte count
      const uint32_t n = value;
      if (row < 0 || x + n > padded) return RunEnd::Complete;
      // Pixels past the picture's edge (in the padding) are read and dropped.
      const int64_t drawn = std::min<int64_t>(n, width - std::min(x, width));
      uint8_t* p = picture && drawn > 0 ? picture->Row(static_cast<int32_t>(row)) + x : nullptr;
      const uint32_t bytes = fourBit ? (n + 1) / 2 : n;
      for (uint32_t i = 0; i < bytes; ++i) {
        uint8_t b;
        if (!next(b)) return ended();
        if (!p) continue;
        if (!fourBit) {
          if (i < drawn) p[i] = b;
        } else {
          if (2 * i < drawn) p[2 * i] = b >> 4;
          if (2 * i + 1 < drawn) p[2 * i + 1] = b & 15;
        }
      }
      if (bytes & 1) {
        uint8_t pad;
        if (!next(pad)) return ended();
      }
      x += n;
    }
  }
}

// Reads the run-length data (at most limit bytes, never more than the file
// holds) into memory.
bool ReadRunData(mvFileStream& stream, uint64_t limit, std::vector<uint8_t>& data) {
  uint64_t left = 0;
  if (stream.BytesLeft(left)) limit = std::min(limit, left);
  uint8_t buffer[4096];
  while (limit > 0) {
    const uint32_t got = stream.Read(static_cast<uint32_t>(std::min<uint64_t>(sizeof(buffer), limit)), buffer);
    if (got == 0) break;
    data.insert(data.end(), buffer, buffer + got);
    limit -= got;
  }
  return true;
}

}  // namespace

bool mvBMPCodec::IsFormat(const uint8_t* bytes, uint32_t count) const {
  return bytes && count >= 2 && bytes[0] == 'B' && bytes[1] == 'M';
}

int32_t mvBMPCodec::WriteImage(mvFileStream& stream, mvImage& image, mvProgress* progress) {
  const mvPicture& picture = image.Picture;
  if (picture.IsEmpty()) return kCodecNotSupported;
  PackRow pack;
  uint32_t bits;
  if (picture.ColorType == ColorTypeRGB) {
    bits = 24;
    pack = picture.BitDepth == 16 ? PackRgb16 : PackRgb8;
  } else {
    bits = 8;
    pack = picture.BitDepth == 16 ? PackFirst16 : PackFirst8;
  }
  const int32_t width = picture.Width, height = picture.Height;
  const uint64_t stride = (static_cast<uint64_t>(width) * bits + 31) / 32 * 4;
  const uint32_t table = bits == 8 ? 1024 : 0;
  const uint64_t fileSize = 54 + table + stride * static_cast<uint64_t>(height);
  // The format's size fields are 32-bit; a larger bitmap cannot be described.
  if (fileSize > UINT32_MAX) return kCodecNotSupported;

  uint8_t header[54 + 1024] = {};
  header[0] = 'B';
  header[1] = 'M';
  PutLE32(header + 2, static_cast<uint32_t>(fileSize));
  PutLE32(header + 10, 54 + table);
  uint8_t* info = header + 14;
  PutLE32(info + 0, 40);
  PutLE32(info + 4, static_cast<uint32_t>(width));
  PutLE32(info + 8, static_cast<uint32_t>(TopDown ? -height : height));
  PutLE16(info + 12, 1);
  PutLE16(info + 14, bits);
  const int32_t xRes = ClampToInt32(PixelsPerMetre(image.ResolutionUnit, image.XResolution));
  const int32_t yRes = ClampToInt32(PixelsPerMetre(image.ResolutionUnit, image.YResolution));
  PutLE32(info + 24, static_cast<uint32_t>(xRes));
  PutLE32(info + 28, static_cast<uint32_t>(yRes));
  if (bits == 8) {
    uint8_t* entry = header + 54;
    const uint8_t* palette = picture.Palette ? picture.Palette->Entries : nullptr;
    for (int i = 0; i < 256; ++i, entry += 4) {
      if (picture.ColorType == ColorTypeIndexed && palette && i < picture.Palette->Count) {
        entry[0] = palette[4 * i + 2];
        entry[1] = palette[4 * i + 1];
        entry[2] = palette[4 * i + 0];
      } else if (picture.ColorType != ColorTypeIndexed) {
        entry[0] = entry[1] = entry[2] = static_cast<uint8_t>(i);
      }
    }
  }
  if (!stream.WriteAll(54 + table, header)) return kCodecWriteFailed;

  // Padding bytes stay zero: calloc once, rows overwrite only the pixel part.
  uint8_t* row = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(stride), 1));
  if (!row) return kCodecOutOfMemory;
  if (progress) progress->SetMax(static_cast<uint32_t>(height - 1));
  int32_t result = kCodecOK;
  for (int32_t i = 0; i < height; ++i) {
    const int32_t y = TopDown ? i : height - 1 - i;
    pack(picture.Row(y), row, width, picture.Channels);
    if (!stream.WriteAll(static_cast<uint32_t>(stride), row)) {
      result = kCodecWriteFailed;
      break;
    }
    if (progress && !progress->SetPos(progress->Pos + 1)) {
      result = kCodecCancelled;
      break;
    }
  }
  std::free(row);
  return result;
}

// NOLINTNEXTLINE(readability-function-cognitive-complexity): header checks in file order
int32_t mvBMPCodec::ReadImage(mvFileStream& stream, mvImage& image, mvProgress* progress) {
  uint8_t fileHeader[14];
  if (!stream.ReadAll(14, fileHeader)) return kCodecReadFailed;
  if (fileHeader[0] != 'B' || fileHeader[1] != 'M') return kCodecWrongFormat;
  const uint32_t dataOffset = GetLE32(fileHeader + 10);

  uint32_t headerSize;
  if (!stream.ReadU32(headerSize)) return kCodecReadFailed;
  int64_t width, height;
  uint32_t planes, bitCount, compression = 0, imageSize = 0, colorsUsed = 0;
  int32_t xRes = 0, yRes = 0;
  uint32_t masks[4] = {};  // red, green, blue, alpha
  const bool core = headerSize == 12;
  // The longer information headers other programs write begin with the
  // 40-byte one; 52 and 56 bytes add the colour and alpha masks, 108 and 124
  // colour space data this reader has no use for.
  if (headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 108 || headerSize == 124) {
    uint8_t h[120];
    if (!stream.ReadAll(headerSize - 4, h)) return kCodecReadFailed;
    width = static_cast<int32_t>(GetLE32(h + 0));
    height = static_cast<int32_t>(GetLE32(h + 4));
    planes = GetLE16(h + 8);
    bitCount = GetLE16(h + 10);
    compression = GetLE32(h + 12);
    imageSize = GetLE32(h + 16);
    xRes = static_cast<int32_t>(GetLE32(h + 20));
    yRes = static_cast<int32_t>(GetLE32(h + 24));
    colorsUsed = GetLE32(h + 28);
    for (uint32_t i = 0; i < 4 && 40 + 4 * (i + 1) <= headerSize; ++i) masks[i] = GetLE32(h + 36 + 4 * i);
  } else if (core) {
    uint8_t h[8];
    if (!stream.ReadAll(8, h)) return kCodecReadFailed;
    width = GetLE16(h + 0);
    height = GetLE16(h + 2);
    planes = GetLE16(h + 4);
    bitCount = GetLE16(h + 6);
  } else {
    return kCodecNotSupported;
  }

  // Compression 3 is bit fields, 6 bit fields with alpha.
  const bool bitFields = compression == 3 || compression == 6;
  const bool valid = width > 0 && height != 0 && planes == 1 && (compression != 2 || bitCount == 4) &&
                     (compression != 1 || bitCount == 8) && (!bitFields || bitCount == 16 || bitCount == 32) &&
                     (bitCount > 8 || colorsUsed <= (1u << bitCount));
  if (!valid) return kCodecInvalidHeader;
  const bool knownBits =
      bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 || bitCount == 24 || bitCount == 32;
  if (!knownBits || (compression > 3 && compression != 6)) return kCodecNotSupported;

  const bool topDown = height < 0;
  const int64_t rows = topDown ? -height : height;  // 64-bit: -INT32_MIN must not overflow
  if (!FitsReadLimits(width, rows)) return kCodecCannotCreate;
  const bool indexed = bitCount <= 8;
  const bool runLength = compression == 1 || compression == 2;

  // After a 40-byte header the masks follow it: three, or four with alpha.
  // Then the colour table: colours-used entries when the pixel offset leaves
  // room for no more, else one for every value of the bit depth.
  const uint32_t maskBytes = bitFields && headerSize == 40 ? (compression == 6 ? 16 : 12) : 0;
  const uint32_t entrySize = core ? 3 : 4;
  const uint64_t tableStart = 14 + static_cast<uint64_t>(headerSize) + maskBytes;
  uint32_t tableCount = 0;
  if (indexed) {
    tableCount = 1u << bitCount;
    if (!core && colorsUsed != 0 && dataOffset >= tableStart + 4 * static_cast<uint64_t>(colorsUsed) &&
        dataOffset < tableStart + 4 * static_cast<uint64_t>(tableCount))
      tableCount = colorsUsed;
  }
  // Pixels that would begin inside the headers, masks or table mean a
  // damaged file; a gap before them (other programs leave room for alignment
  // or colour profiles there) is skipped.
  const uint64_t tableEnd = tableStart + static_cast<uint64_t>(entrySize) * tableCount;
  if (dataOffset < tableEnd) return kCodecReadFailed;

  if (maskBytes != 0) {
    uint8_t m[16];
    if (!stream.ReadAll(maskBytes, m)) return kCodecReadFailed;
    for (uint32_t i = 0; i < maskBytes / 4; ++i) masks[i] = GetLE32(m + 4 * i);
  }
  static constexpr uint32_t kPlain16[4] = {0x7C00, 0x03E0, 0x001F, 0};
  static constexpr uint32_t kBgra[4] = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
  BitFields fields;
  UnpackRow unpack = bitCount == 1 ? Unpack1 : bitCount == 4 ? Unpack4 : bitCount == 8 ? Unpack8 : Unpack24;
  if (bitCount == 16 || bitCount == 32) {
    if (!bitFields) std::copy_n(bitCount == 16 ? kPlain16 : kBgra, 4, masks);
    for (uint32_t mask : masks)
      if (!ContiguousMask(mask) || (bitCount == 16 && mask > 0xFFFF)) return kCodecInvalidHeader;
    SetUpBitFields(fields, masks);
    unpack = std::equal(masks, masks + 4, kBgra) ? UnpackBgra : nullptr;
  }

  uint8_t table[256 * 4];
  if (indexed && !stream.ReadAll(tableCount * entrySize, table)) return kCodecReadFailed;
  const uint64_t gap = dataOffset - tableEnd;
  if (gap > 0) {
    uint64_t left = 0;
    if ((stream.BytesLeft(left) && left < gap) || !stream.Skip(gap)) return kCodecReadFailed;
  }

  // The pixel data is checked against what the file holds before the picture
  // is allocated: a small file must not claim a huge picture.
  std::vector<uint8_t> runs;
  const uint64_t stride = (static_cast<uint64_t>(width) * bitCount + 31) / 32 * 4;
  try {
    if (runLength) {
      ReadRunData(stream, imageSize != 0 ? imageSize : UINT64_MAX, runs);
      if (runs.empty()) return kCodecInvalidHeader;
      if (DecodeRuns(runs, width, rows, nullptr, compression == 2) == RunEnd::Truncated) return kCodecReadFailed;
    } else {
      // The last row's padding may be missing; its pixels may not.
      const uint64_t needed =
          stride * static_cast<uint64_t>(rows - 1) + (static_cast<uint64_t>(width) * bitCount + 7) / 8;
      uint64_t left = 0;
      if (stream.BytesLeft(left) && left < needed) return kCodecReadFailed;
    }
  } catch (const std::bad_alloc&) {
    return kCodecOutOfMemory;
  }

  if (!image.Create(static_cast<int32_t>(width), static_cast<int32_t>(rows), indexed ? ColorTypeIndexed : ColorTypeRGB,
                    8, indexed ? 1 : 4))
    return kCodecCannotCreate;
  mvPicture& picture = image.Picture;
  image.SourceHint = runLength ? 2 : 0;
  if (xRes != 0 || yRes != 0) {
    image.ResolutionUnit = kResolutionMetre;
    image.XResolution = xRes;
    image.YResolution = yRes;
  } else {
    image.ResolutionUnit = kResolutionNone;
    image.XResolution = image.YResolution = 0;
  }
  if (indexed) {
    for (uint32_t i = 0; i < tableCount; ++i) {
      const uint8_t* e = table + i * entrySize;
      picture.SetPaletteEntry(static_cast<int32_t>(i), e[2], e[1], e[0]);
    }
  }

  if (runLength) {
    picture.Clear(nullptr);
    DecodeRuns(runs, width, rows, &picture, compression == 2);
    return kCodecOK;
  }

  uint8_t* row = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(stride)));
  if (!row) return kCodecOutOfMemory;
  // A file that ends early leaves the rows it did not reach black, never
  // uninitialised memory.
  picture.Clear(nullptr);
  if (progress) progress->SetMax(static_cast<uint32_t>(rows - 1));
  int32_t result = kCodecOK;
  for (int64_t i = 0; i < rows; ++i) {
    if (!stream.ReadAll(static_cast<uint32_t>(stride), row)) {
      result = kCodecReadFailed;
      break;
    }
    const int64_t y = topDown ? i : rows - 1 - i;
    uint8_t* dst = picture.Row(static_cast<int32_t>(y));
    if (unpack) unpack(row, dst, static_cast<int32_t>(width));
    else (bitCount == 16 ? UnpackFields<2> : UnpackFields<4>)(row, dst, static_cast<int32_t>(width), fields);
    if (progress && !progress->SetPos(progress->Pos + 1)) {
      result = kCodecCancelled;
      break;
    }
  }
  std::free(row);
  return result;
}

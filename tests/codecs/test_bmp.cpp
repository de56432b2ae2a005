#include <climits>
#include <gtest/gtest.h>

#include "tests/codecs/helpers.h"

namespace {

std::vector<uint8_t> WriteBmp(mvImage& image, bool topDown = false) {
  mvBMPCodec codec;
  codec.TopDown = topDown;
  mvMemoryStream stream;
  EXPECT_EQ(codec.WriteImage(stream, image, nullptr), kCodecOK);
  return stream.Data;
}

int32_t ReadBmp(const std::vector<uint8_t>& bytes, mvImage& image, mvProgress* progress = nullptr) {
  mvMemoryStream stream(bytes);
  return BMPCodec.ReadImage(stream, image, progress);
}

void Put32(std::vector<uint8_t>& b, std::initializer_list<uint32_t> values) {
  for (uint32_t v : values)
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// File and information headers; the caller appends table and pixels.
struct Layout {
  int32_t W = 1, H = 1;
  uint32_t Bits = 24, Compression = 0, ColorsUsed = 0;
  uint32_t Offset = 0;  // 0: right after header, masks and full table
  uint32_t ImageSize = 0;
  uint32_t HeaderSize = 40;
  std::vector<uint32_t> Masks = {};  // inside a longer header, after a 40-byte one
};

std::vector<uint8_t> Header(const Layout& l) {
  const uint32_t masksAfter = l.HeaderSize == 40 ? 4 * static_cast<uint32_t>(l.Masks.size()) : 0;
  const uint32_t offset = l.Offset ? l.Offset : 14 + l.HeaderSize + masksAfter + (l.Bits <= 8 ? 4u << l.Bits : 0);
  std::vector<uint8_t> b = {'B', 'M'};
  Put32(b, {0, 0, offset, l.HeaderSize, static_cast<uint32_t>(l.W), static_cast<uint32_t>(l.H), 1 | l.Bits << 16,
            l.Compression, l.ImageSize, 2835, 2835, l.ColorsUsed, 0});
  for (uint32_t m : l.Masks) Put32(b, {m});
  b.resize(std::max<size_t>(b.size(), 14 + l.HeaderSize));
  return b;
}

// The colours of the first row, through the palette for indexed pictures.
std::vector<uint8_t> FirstRowColors(const mvImage& image) {
  const mvPicture& p = image.Picture;
  std::vector<uint8_t> colors;
  for (int32_t x = 0; x < p.Width; ++x) {
    const bool indexed = p.ColorType == ColorTypeIndexed;
    const uint8_t* c = indexed ? p.Palette->Entries + 4 * p.Row(0)[x] : p.Row(0) + 4 * x;
    colors.insert(colors.end(), c, c + (indexed ? 3 : 4));
  }
  return colors;
}

void AppendGrayTable(std::vector<uint8_t>& b, int entries) {
  for (int i = 0; i < entries; ++i) b.insert(b.end(), {uint8_t(i), uint8_t(i), uint8_t(i), 0});
}

// 3 x 2, 5-6-5 behind a 124-byte header, the pixels 6 bytes after it.
std::vector<uint8_t> MaskedWithGap() {
  auto b = Header({.W = 3,
                   .H = 2,
                   .Bits = 16,
                   .Compression = 3,
                   .Offset = 138 + 6,
                   .HeaderSize = 124,
                   .Masks = {0xF800, 0x07E0, 0x1F, 0}});
  b.resize(b.size() + 6 + 16, 0x55);
  return b;
}

}  // namespace

TEST(BmpWrite, ThreeByTwoRgbIs78BytesBottomUp) {
  mvImage image;
  MakeTexture(image, 3, 2);  // RGBA: the alpha must be dropped
  const auto b = WriteBmp(image);
  ASSERT_EQ(b.size(), 78u);
  // "BM", file size, reserved, pixel offset; header size, width, height, planes and bits, the rest 0.
  EXPECT_EQ(LE16(b, 0), 0x4D42u);
  const uint32_t kFields[] = {78, 0, 54, 40, 3, 2, 1 | 24 << 16, 0, 0, 0, 0, 0, 0};
  for (size_t i = 0; i < std::size(kFields); ++i) EXPECT_EQ(LE32(b, 2 + 4 * i), kFields[i]) << i;
  // First stored row is the bottom one, blue-green-red, then 3 padding bytes.
  for (int32_t row = 0; row < 2; ++row)
    for (size_t x = 0; x < 3; ++x) {
      const uint8_t* src = image.Picture.Row(1 - row) + 4 * x;
      const size_t at = 54 + 12 * static_cast<size_t>(row) + 3 * x;
      EXPECT_EQ(b[at], src[2]);
      EXPECT_EQ(b[at + 1], src[1]);
      EXPECT_EQ(b[at + 2], src[0]);
    }
  EXPECT_EQ(b[63], 0);
  EXPECT_EQ(b[77], 0);
}

TEST(BmpWrite, GrayIsEightBitWithRampTable) {
  mvImage image;
  ASSERT_TRUE(image.Create(5, 3, ColorTypeGray, 8, 2));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) {
      image.Picture.Row(y)[2 * x] = static_cast<uint8_t>(10 * y + x);
      image.Picture.Row(y)[2 * x + 1] = 9;
    }
  const auto b = WriteBmp(image);
  ASSERT_EQ(b.size(), 1078u + 8 * 3);
  EXPECT_EQ(LE32(b, 10), 1078u);
  EXPECT_EQ(LE32(b, 2), 1078u + 24);
  EXPECT_EQ(LE16(b, 28), 8u);
  for (uint32_t i = 0; i < 256; ++i) EXPECT_EQ(LE32(b, 54 + 4 * i), i * 0x010101u) << i;
  EXPECT_EQ(b[1078], 20);  // bottom row first
  EXPECT_EQ(b[1078 + 4], 24);
  EXPECT_EQ(b[1078 + 16], 0);
}

TEST(BmpWrite, TopDownIndexed16BitAndResolution) {
  mvImage image;
  ASSERT_TRUE(image.Create(2, 2, ColorTypeIndexed, 8, 1));
  image.Picture.SetPaletteEntry(1, 10, 20, 30);
  image.Picture.Row(0)[0] = 1;
  image.ResolutionUnit = kResolutionInch;
  image.XResolution = 72;
  image.YResolution = 300;
  auto b = WriteBmp(image, true);
  EXPECT_EQ(static_cast<int32_t>(LE32(b, 22)), -2);
  EXPECT_EQ(LE32(b, 38), 2834u);
  EXPECT_EQ(LE32(b, 42), 11811u);
  EXPECT_EQ(LE32(b, 58), 0x0A141Eu);  // entry 1 as blue, green, red
  EXPECT_EQ(b[1078], 1);              // first row first

  mvImage deep;
  ASSERT_TRUE(deep.Create(1, 1, ColorTypeRGB, 16, 3));
  const uint16_t px[3] = {0x1234, 0x5678, 0x9ABC};
  std::memcpy(deep.Picture.Row(0), px, 6);
  deep.ResolutionUnit = kResolutionCentimetre;
  deep.XResolution = deep.YResolution = 40;
  b = WriteBmp(deep);
  EXPECT_EQ(LE32(b, 38), 4000u);
  EXPECT_EQ(b[54], 0x9A);
  EXPECT_EQ(b[55], 0x56);
  EXPECT_EQ(b[56], 0x12);
}

TEST(BmpWrite, FailuresAndCancel) {
  mvImage image;
  MakeTexture(image, 7, 5);
  for (size_t limit : {0u, 10u, 54u, 60u, 100u}) {
    mvMemoryStream stream;
    stream.WriteLimit = limit;
    EXPECT_EQ(BMPCodec.WriteImage(stream, image, nullptr), kCodecWriteFailed) << limit;
  }
  mvCallbackProgress progress([](uint32_t pos, uint32_t max) {
    EXPECT_EQ(max, 4u);
    return pos < 2;
  });
  mvMemoryStream stream;
  EXPECT_EQ(BMPCodec.WriteImage(stream, image, &progress), kCodecCancelled);
  mvImage empty;
  EXPECT_EQ(BMPCodec.WriteImage(stream, empty, nullptr), kCodecNotSupported);
}

TEST(BmpRead, RoundTripsRgbGrayAndTopDown) {
  mvImage image;
  MakeTexture(image, 5, 3);
  image.ResolutionUnit = kResolutionMetre;
  image.XResolution = 1000;
  image.YResolution = 2000;
  for (bool topDown : {false, true}) {
    mvImage back;
    ASSERT_EQ(ReadBmp(WriteBmp(image, topDown), back), kCodecOK);
    ASSERT_EQ(back.Picture.Width, 5);
    ASSERT_EQ(back.Picture.Height, 3);
    EXPECT_EQ(back.Picture.ColorType, ColorTypeRGB);
    EXPECT_EQ(back.Picture.Channels, 4u);
    EXPECT_EQ(back.ResolutionUnit, kResolutionMetre);
    EXPECT_EQ(back.YResolution, 2000);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x) {
        const uint8_t* a = image.Picture.Row(y) + 4 * x;
        const uint8_t* c = back.Picture.Row(y) + 4 * x;
        EXPECT_EQ(std::vector<uint8_t>(c, c + 4), (std::vector<uint8_t>{a[0], a[1], a[2], 255}));
      }
  }
  mvImage gray, back;
  ASSERT_TRUE(gray.Create(3, 2, ColorTypeGray, 8, 1));
  gray.Picture.Row(1)[2] = 77;
  ASSERT_EQ(ReadBmp(WriteBmp(gray), back), kCodecOK);
  EXPECT_EQ(back.Picture.ColorType, ColorTypeIndexed);
  EXPECT_EQ(back.Picture.Row(1)[2], 77);
  EXPECT_EQ(back.Picture.Palette->Entries[4 * 77 + 1], 77);
}

TEST(BmpRead, LowBitDepthsAndCoreHeader) {
  // 1-bit, 10 x 1: most significant bit first.
  auto b = Header({.W = 10, .Bits = 1, .ColorsUsed = 2});
  b.insert(b.end(), {0, 0, 0, 0, 255, 255, 255, 0});
  b.insert(b.end(), {0xA0, 0x40, 0, 0});
  mvImage image;
  ASSERT_EQ(ReadBmp(b, image), kCodecOK);
  EXPECT_EQ(std::vector<uint8_t>(image.Picture.Row(0), image.Picture.Row(0) + 10),
            (std::vector<uint8_t>{1, 0, 1, 0, 0, 0, 0, 0, 0, 1}));

  // Core header, 24-bit, two rows bottom-up.
  b = {'B', 'M'};
  Put32(b, {0, 0, 26, 12, 1 | 2 << 16, 1 | 24 << 16});  // width, height, planes, bits
  b.insert(b.end(), {1, 2, 3, 0, 4, 5, 6, 0});
  ASSERT_EQ(ReadBmp(b, image), kCodecOK);
  EXPECT_EQ(image.Picture.Row(1)[0], 3);
  EXPECT_EQ(image.Picture.Row(0)[2], 4);
}

TEST(BmpRead, MaskedPixelsOfEveryHeaderKind) {
  // Two pixels per file, top-down; channels widen by repeating their bits.
  const uint32_t k565[] = {0xF800, 0x07E0, 0x001F, 0};
  const struct {
    uint32_t HeaderSize, Bits, Compression;
    std::vector<uint32_t> Masks, Pixels;
    std::vector<uint8_t> Rgba;  // both pixels
  } kCases[] = {
      // Without bit fields: 5-5-5 with the top bit unused, and blue, green, red, alpha bytes.
      {40, 16, 0, {}, {31 << 10 | 16 << 5 | 1, 0x8000}, {255, 132, 8, 255, 0, 0, 0, 255}},
      {40, 32, 0, {}, {0x281E140A, 0}, {30, 20, 10, 40, 0, 0, 0, 0}},
      // A longer header's masks count only with bit fields.
      {124, 16, 0, {k565, k565 + 4}, {31 << 10, 0}, {255, 0, 0, 255, 0, 0, 0, 255}},
      {124, 24, 0, {0xFF, 0xFF00, 0xFF0000, 0}, {0x0A141E, 0}, {10, 20, 30, 255, 0, 0, 0, 255}},
      // 5-6-5: 6-bit 32 becomes 130; 5-bit 3 becomes 24.
      {124, 16, 3, {k565, k565 + 4}, {0xFFFF, 16u << 11 | 32 << 5 | 3}, {255, 255, 255, 255, 132, 130, 24, 255}},
      {108, 16, 3, {0x7C00, 0x03E0, 0x001F, 0x8000}, {0x801F, 0x7FFF}, {0, 0, 255, 255, 255, 255, 255, 0}},
      {124, 16, 3, {0x0F00, 0x00F0, 0x000F, 0xF000}, {0x1234, 0xF00F}, {34, 51, 68, 17, 0, 0, 255, 255}},
      {124, 32, 3, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, {0x80102030, 0}, {16, 32, 48, 128, 0, 0, 0, 0}},
      // After a 40-byte header: three masks leave alpha opaque, four (compression 6) carry it.
      {40, 16, 3, {k565, k565 + 3}, {0x07E0, 0}, {0, 255, 0, 255, 0, 0, 0, 255}},
      {40, 32, 3, {0xFF0000, 0xFF00, 0xFF}, {0x80102030, 0}, {16, 32, 48, 255, 0, 0, 0, 255}},
      {40, 32, 6, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}, {0x80102030, 0}, {48, 32, 16, 128, 0, 0, 0, 0}},
      // Wider than 8 bits keeps the top 8; a 2-bit alpha of 2 is 170; no red mask reads 0.
      {56,
       32,
       3,
       {0x3FF00000, 0x000FFC00, 0x3FF, 0xC0000000},
       {2u << 30 | 1023 << 20 | 512 << 10 | 3, 0},
       {255, 128, 0, 170, 0, 0, 0, 0}},
      {52, 16, 3, {0, 0x03E0, 0x001F}, {0xFFFF, 0}, {0, 255, 255, 255, 0, 0, 0, 255}},
  };
  for (const auto& c : kCases) {
    auto b = Header(
        {.W = 2, .H = -1, .Bits = c.Bits, .Compression = c.Compression, .HeaderSize = c.HeaderSize, .Masks = c.Masks});
    for (uint32_t v : c.Pixels)
      for (uint32_t i = 0; i < c.Bits / 8; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    b.resize(b.size() + (c.Bits == 24 ? 2 : 0));  // the row's padding
    mvImage image;
    ASSERT_EQ(ReadBmp(b, image), kCodecOK) << c.HeaderSize << " " << c.Bits << " " << c.Compression;
    EXPECT_EQ(FirstRowColors(image), c.Rgba) << c.HeaderSize << " " << c.Bits << " " << c.Compression;
  }
}

TEST(BmpRead, ColorTableAndPixelOffset) {
  // Every file is one row; table entry i is red 9i, green 8i, blue 7i; the
  // gap is filled with a byte no pixel or entry holds, so reading from the
  // wrong place shows.
  const struct {
    Layout L;
    uint32_t TableEntries, Gap;
    std::vector<uint8_t> Pixels;
    int32_t Result;
    std::vector<uint8_t> Color;
  } kCases[] = {
      {{.Offset = 54 + 6}, 0, 6, {1, 2, 3, 0}, kCodecOK, {3, 2, 1, 255}},
      {{.Bits = 32, .Compression = 3, .Offset = 138 + 2, .HeaderSize = 124, .Masks = {0xFF0000, 0xFF00, 0xFF, 0}},
       0,
       2,
       {1, 2, 3, 4},
       kCodecOK,
       {3, 2, 1, 255}},
      // A table of the colours used right before the pixels (high nibble first); a short table, then a gap;
      // a full table, then a gap.
      {{.W = 2, .Bits = 4, .ColorsUsed = 3, .Offset = 54 + 12}, 3, 0, {0x21, 0, 0, 0}, kCodecOK, {18, 16, 14, 9, 8, 7}},
      {{.Bits = 8, .ColorsUsed = 2, .Offset = 138 + 8 + 4, .HeaderSize = 124}, 2, 4, {1, 0, 0, 0}, kCodecOK, {9, 8, 7}},
      {{.Bits = 4, .ColorsUsed = 2, .Offset = 54 + 64 + 4}, 16, 4, {0x10, 0, 0, 0}, kCodecOK, {9, 8, 7}},
      {{.Bits = 8, .Compression = 1, .Offset = 54 + 1024 + 3}, 256, 3, {1, 1, 0, 1}, kCodecOK, {9, 8, 7}},
      // Pixels inside the header, the masks or the table; a gap past the end.
      {{.Offset = 53}, 0, 0, {1, 2, 3, 0}, kCodecReadFailed, {}},
      {{.Offset = 1}, 0, 0, {1, 2, 3, 0}, kCodecReadFailed, {}},
      // Bit fields with no room for the masks: what stands there is pixels, not masks.
      {{.Bits = 16, .Compression = 3, .Offset = 54, .Masks = {0x001F001F, 0x001F001F, 0x001F001F}},
       0,
       0,
       {},
       kCodecReadFailed,
       {}},
      {{.Bits = 4, .ColorsUsed = 3, .Offset = 54 + 8}, 2, 0, {0, 0, 0, 0}, kCodecReadFailed, {}},
      {{.Offset = 54 + 100}, 0, 0, {1, 2, 3, 0}, kCodecReadFailed, {}},
  };
  for (const auto& c : kCases) {
    auto b = Header(c.L);
    for (uint32_t i = 0; i < c.TableEntries; ++i)
      b.insert(b.end(), {uint8_t(i * 7), uint8_t(i * 8), uint8_t(i * 9), 0});
    b.resize(b.size() + c.Gap, 0xEE);
    b.insert(b.end(), c.Pixels.begin(), c.Pixels.end());
    mvImage image;
    ASSERT_EQ(ReadBmp(b, image), c.Result) << c.L.Offset;
    if (c.Result == kCodecOK) {
      EXPECT_EQ(FirstRowColors(image), c.Color) << c.L.Offset;
    }
  }
}

TEST(BmpRead, RunLengthEscapesAndSafeStops) {
  // Each file's rows, top first.
  const struct {
    Layout L;
    std::vector<uint8_t> Data;
    std::vector<std::vector<uint8_t>> Rows;
    int32_t SourceHint;
  } kDecoded[] = {
      // 8-bit, 4 x 3: run, end of line, delta, literal, end of bitmap.
      {{.W = 4, .H = 3, .Bits = 8, .Compression = 1},
       {3, 9, 0, 0,        // bottom row: 9 9 9 ., end of line
        0, 2, 1, 1,        // delta one right, one up: (1, top row)
        0, 3, 5, 6, 7, 0,  // literal 5 6 7, padded
        0, 1, 2, 99},      // end of bitmap; the run after it is ignored
       {{0, 5, 6, 7}, {0, 0, 0, 0}, {9, 9, 9, 0}},
       2},
      // 4-bit runs alternate nibbles; a literal of 3 takes 2 bytes.
      {{.W = 5, .Bits = 4, .Compression = 2}, {2, 0x12, 0, 3, 0xAB, 0xC0, 0, 1}, {{1, 2, 10, 11, 12}}, -1},
      // Rows coded over their padded width (as some writers do for odd widths):
      // runs and literals into the padding draw up to the picture's edge.
      {{.W = 7, .H = 2, .Bits = 8, .Compression = 1},
       {8, 3, 0, 0, 0, 8, 1, 2, 3, 4, 5, 6, 7, 8, 0, 1},
       {{1, 2, 3, 4, 5, 6, 7}, std::vector<uint8_t>(7, 3)},
       -1},
      {{.W = 5, .Bits = 4, .Compression = 2}, {8, 0x45, 0, 1}, {{4, 5, 4, 5, 4}}, -1},
  };
  mvImage image;
  std::vector<uint8_t> b;
  for (const auto& c : kDecoded) {
    SCOPED_TRACE(testing::PrintToString(c.Data));
    b = Header(c.L);
    AppendGrayTable(b, 1 << c.L.Bits);
    b.insert(b.end(), c.Data.begin(), c.Data.end());
    ASSERT_EQ(ReadBmp(b, image), kCodecOK);
    if (c.SourceHint >= 0) {
      EXPECT_EQ(image.SourceHint, c.SourceHint);
    }
    for (size_t y = 0; y < c.Rows.size(); ++y) {
      const uint8_t* row = image.Picture.Row(static_cast<int32_t>(y));
      EXPECT_EQ(std::vector<uint8_t>(row, row + c.Rows[y].size()), c.Rows[y]) << y;
    }
  }

  // Runs past the row end, deltas out of the picture and too many lines
  // stop the decoding without touching memory outside the picture; data
  // that ends before the end mark or the last row is damage.
  const struct {
    std::vector<uint8_t> Data;
    int32_t Result;
  } kCases[] = {
      {{5, 1}, kCodecOK},                                // run longer than the row
      {{0, 2, 200, 0, 1, 1}, kCodecOK},                  // delta past the right edge
      {{0, 2, 0, 9, 1, 1}, kCodecOK},                    // delta above the top
      {{0, 0, 0, 0, 0, 0, 0, 0, 2, 2}, kCodecOK},        // lines past the top, then a run
      {{0, 200, 1, 2}, kCodecOK},                        // literal longer than the row and the data
      {{4, 1, 0, 0, 4, 2, 0, 0, 4, 3, 0, 0}, kCodecOK},  // every row, no end mark
      {{2}, kCodecReadFailed},                           // data ends inside a pair
      {{4, 1, 0, 0, 4, 2}, kCodecReadFailed},            // data ends with a row to go
      {{0, 3, 1, 2}, kCodecReadFailed},                  // data ends inside a literal
      {{0, 2, 1}, kCodecReadFailed},                     // data ends inside a delta
  };
  for (const auto& c : kCases) {
    b = Header({.W = 4, .H = 3, .Bits = 8, .Compression = 1});
    AppendGrayTable(b, 256);
    b.insert(b.end(), c.Data.begin(), c.Data.end());
    EXPECT_EQ(ReadBmp(b, image), c.Result) << testing::PrintToString(c.Data);
  }
  // Nothing after the table: invalid.
  b = Header({.W = 4, .H = 3, .Bits = 8, .Compression = 1});
  AppendGrayTable(b, 256);
  EXPECT_EQ(ReadBmp(b, image), kCodecInvalidHeader);
  // The header's image size bounds the data read.
  b = Header({.W = 4, .Bits = 8, .Compression = 1, .ImageSize = 4});
  AppendGrayTable(b, 256);
  b.insert(b.end(), {2, 5, 0, 1, 2, 6});
  ASSERT_EQ(ReadBmp(b, image), kCodecOK);
  EXPECT_EQ(image.Picture.Row(0)[2], 0);
}

TEST(BmpRead, HeaderRulesGiveTheirCodes) {
  mvImage image;
  auto b = Header({});
  b[0] = 'X';
  EXPECT_EQ(ReadBmp(b, image), kCodecWrongFormat);
  b = Header({});
  b[26] = 2;  // planes
  EXPECT_EQ(ReadBmp(b, image), kCodecInvalidHeader);
  const struct {
    Layout L;
    int32_t Code;
  } kCases[] = {
      {{.W = 0}, kCodecInvalidHeader},
      {{.W = -1}, kCodecInvalidHeader},
      {{.H = 0}, kCodecInvalidHeader},
      {{.Bits = 4, .Compression = 1}, kCodecInvalidHeader},
      {{.Bits = 8, .Compression = 2}, kCodecInvalidHeader},
      {{.Bits = 24, .Compression = 3}, kCodecInvalidHeader},
      {{.Bits = 8, .Compression = 6}, kCodecInvalidHeader},
      {{.Bits = 4, .ColorsUsed = 17}, kCodecInvalidHeader},
      // Masks with holes, or beyond a 16-bit pixel.
      {{.Bits = 32, .Compression = 3, .Masks = {0xFF0000, 0xF0F0, 0xFF}}, kCodecInvalidHeader},
      {{.Bits = 16, .Compression = 3, .HeaderSize = 124, .Masks = {0x1F0000, 0x07E0, 0x1F, 0}}, kCodecInvalidHeader},
      {{.Bits = 16, .Compression = 6, .Masks = {0x7C00, 0x03E0, 0x1F, 0x8001}}, kCodecInvalidHeader},
      {{.Bits = 3}, kCodecNotSupported},
      {{.Bits = 0}, kCodecNotSupported},
      {{.Compression = 4}, kCodecNotSupported},
      {{.Compression = 5, .HeaderSize = 124}, kCodecNotSupported},
      {{.HeaderSize = 64}, kCodecNotSupported},
      {{.HeaderSize = 16}, kCodecNotSupported},
      {{.W = INT32_MAX, .H = INT32_MAX}, kCodecCannotCreate},
      {{.H = INT32_MIN}, kCodecCannotCreate},
      {{.W = 100000, .H = 100000, .Bits = 8}, kCodecCannotCreate},
  };
  for (const auto& c : kCases) {
    b = Header(c.L);
    b.resize(b.size() + 64);
    EXPECT_EQ(ReadBmp(b, image), c.Code) << c.L.W << "x" << c.L.H << " bits " << c.L.Bits << " comp " << c.L.Compression
                                         << " header " << c.L.HeaderSize;
  }
}

TEST(BmpRead, TruncatedFilesAndCancel) {
  mvImage image;
  MakeTexture(image, 9, 4);
  const auto rgb = WriteBmp(image);
  mvImage gray;
  ASSERT_TRUE(gray.Create(9, 4, ColorTypeGray, 8, 1));
  const auto indexed = WriteBmp(gray);
  const auto masked = MaskedWithGap();
  for (const auto* file : {&rgb, &indexed, &masked}) {
    for (size_t n = 0; n < file->size(); ++n) {
      const std::vector<uint8_t> part(file->begin(), file->begin() + static_cast<std::ptrdiff_t>(n));
      mvImage back;
      const int32_t code = ReadBmp(part, back);
      EXPECT_EQ(code, kCodecReadFailed) << n;
    }
  }
  mvCallbackProgress progress([](uint32_t pos, uint32_t) { return pos < 3; });
  mvImage back;
  EXPECT_EQ(ReadBmp(rgb, back, &progress), kCodecCancelled);
}

TEST(BmpRead, MutatedFilesNeverCrash) {
  mvImage image;
  MakeTexture(image, 6, 5);
  mvImage gray;
  ASSERT_TRUE(gray.Create(6, 5, ColorTypeGray, 8, 1));
  auto rle = Header({.W = 6, .H = 5, .Bits = 8, .Compression = 1});
  AppendGrayTable(rle, 256);
  rle.insert(rle.end(), {6, 1, 0, 0, 0, 4, 1, 2, 3, 4, 0, 2, 1, 1, 3, 9, 0, 1});
  uint32_t state = 12345;
  for (const auto& seed : {WriteBmp(image), WriteBmp(gray), rle, MaskedWithGap()}) {
    for (int round = 0; round < 300; ++round) {
      auto b = seed;
      for (int k = 0; k < 4; ++k) {
        state = state * 1103515245u + 12345u;
        const size_t at = (state >> 8) % std::min<size_t>(b.size(), 80);  // mostly the headers
        state = state * 1103515245u + 12345u;
        b[at] = static_cast<uint8_t>(state >> 16);
      }
      mvImage back;
      ReadBmp(b, back);
    }
  }
}

TEST(BmpRead, SmallFilesClaimingHugePicturesAreRefusedBeforeAllocating) {
  // 8000 x 8000 from a few bytes: cut-short pixel rows, run-length data
  // that stops after one line, a run-length file whose data ends at once.
  auto rows = Header({.W = 8000, .H = 8000});
  rows.resize(rows.size() + 100, 7);
  auto runs = Header({.W = 8000, .H = 8000, .Bits = 8, .Compression = 1});
  AppendGrayTable(runs, 256);
  runs.insert(runs.end(), {255, 1, 0, 0});
  for (const auto& file : {rows, runs}) {
    mvImage image;
    EXPECT_EQ(ReadBmp(file, image), kCodecReadFailed);
    EXPECT_TRUE(image.Picture.IsEmpty());
  }
}

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

void Put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

// File and information headers; the caller appends table and pixels.
std::vector<uint8_t> Header(int32_t w, int32_t h, uint32_t bits, uint32_t compression = 0, uint32_t colorsUsed = 0,
                            uint32_t offset = 0, uint32_t imageSize = 0) {
  std::vector<uint8_t> b = {'B', 'M'};
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, offset ? offset : 54 + (bits <= 8 ? 4u << bits : 0));
  Put32(b, 40);
  Put32(b, static_cast<uint32_t>(w));
  Put32(b, static_cast<uint32_t>(h));
  Put16(b, 1);
  Put16(b, bits);
  Put32(b, compression);
  Put32(b, imageSize);
  Put32(b, 2835);
  Put32(b, 2835);
  Put32(b, colorsUsed);
  Put32(b, 0);
  return b;
}

void AppendGrayTable(std::vector<uint8_t>& b, int entries) {
  for (int i = 0; i < entries; ++i) b.insert(b.end(), {uint8_t(i), uint8_t(i), uint8_t(i), 0});
}

}  // namespace

TEST(BmpWrite, ThreeByTwoRgbIs78BytesBottomUp) {
  mvImage image;
  MakeTexture(image, 3, 2);  // RGBA: the alpha must be dropped
  const auto b = WriteBmp(image);
  ASSERT_EQ(b.size(), 78u);
  EXPECT_EQ(b[0], 'B');
  EXPECT_EQ(b[1], 'M');
  EXPECT_EQ(LE32(b, 2), 78u);
  EXPECT_EQ(LE32(b, 6), 0u);
  EXPECT_EQ(LE32(b, 10), 54u);
  EXPECT_EQ(LE32(b, 14), 40u);
  EXPECT_EQ(LE32(b, 18), 3u);
  EXPECT_EQ(LE32(b, 22), 2u);
  EXPECT_EQ(LE16(b, 26), 1u);
  EXPECT_EQ(LE16(b, 28), 24u);
  for (size_t at : {30, 34, 38, 42, 46, 50}) EXPECT_EQ(LE32(b, at), 0u) << at;
  // First stored row is the bottom one, blue-green-red, then 3 padding bytes.
  for (int row = 0; row < 2; ++row)
    for (int x = 0; x < 3; ++x) {
      const uint8_t* src = image.Picture.Row(1 - row) + 4 * x;
      const size_t at = 54 + 12 * row + 3 * x;
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
  for (int i = 0; i < 256; ++i) EXPECT_EQ(LE32(b, 54 + 4 * i), uint32_t(i) * 0x010101u) << i;
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
  for (size_t limit : {0, 10, 54, 60, 100}) {
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

TEST(BmpRead, LowBitDepthsCoreHeaderAndSixteenBit) {
  // 1-bit, 10 x 1: most significant bit first; colours-used is ignored for 1 bit.
  auto b = Header(10, 1, 1, 0, 2, 62);
  b.insert(b.end(), {0, 0, 0, 0, 255, 255, 255, 0});
  b.insert(b.end(), {0xA0, 0x40, 0, 0});
  mvImage image;
  ASSERT_EQ(ReadBmp(b, image), kCodecOK);
  EXPECT_EQ(std::vector<uint8_t>(image.Picture.Row(0), image.Picture.Row(0) + 10),
            (std::vector<uint8_t>{1, 0, 1, 0, 0, 0, 0, 0, 0, 1}));

  // 4-bit with a 3-entry table right before the pixels.
  b = Header(3, 1, 4, 0, 3, 54 + 12);
  b.insert(b.end(), {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0});
  b.insert(b.end(), {0x21, 0x00, 0, 0});
  ASSERT_EQ(ReadBmp(b, image), kCodecOK);
  EXPECT_EQ(image.Picture.Row(0)[0], 2);
  EXPECT_EQ(image.Picture.Row(0)[1], 1);
  EXPECT_EQ(image.Picture.Palette->Entries[8], 9);  // entry 2 red

  // Core header, 24-bit, two rows bottom-up.
  b = {'B', 'M'};
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, 26);
  Put32(b, 12);
  Put16(b, 1);
  Put16(b, 2);
  Put16(b, 1);
  Put16(b, 24);
  b.insert(b.end(), {1, 2, 3, 0, 4, 5, 6, 0});
  ASSERT_EQ(ReadBmp(b, image), kCodecOK);
  EXPECT_EQ(image.Picture.Row(1)[0], 3);
  EXPECT_EQ(image.Picture.Row(0)[2], 4);

  // 32-bit keeps the fourth byte as alpha; 16-bit is 5-5-5.
  b = Header(1, -1, 32);
  b.insert(b.end(), {10, 20, 30, 40});
  ASSERT_EQ(ReadBmp(b, image), kCodecOK);
  EXPECT_EQ(std::vector<uint8_t>(image.Picture.Row(0), image.Picture.Row(0) + 4),
            (std::vector<uint8_t>{30, 20, 10, 40}));
  b = Header(2, 1, 16);
  Put16(b, 31 << 10 | 16 << 5 | 1);
  Put16(b, 0x8000);
  ASSERT_EQ(ReadBmp(b, image), kCodecOK);
  EXPECT_EQ(std::vector<uint8_t>(image.Picture.Row(0), image.Picture.Row(0) + 8),
            (std::vector<uint8_t>{255, 132, 8, 255, 0, 0, 0, 255}));
}

TEST(BmpRead, RunLengthEscapesAndSafeStops) {
  // 8-bit, 4 x 3: run, end of line, delta, literal, end of bitmap.
  auto b = Header(4, 3, 8, 1, 0, 54 + 1024);
  AppendGrayTable(b, 256);
  b.insert(b.end(), {3, 9, 0, 0,            // bottom row: 9 9 9 ., end of line
                     0, 2, 1, 1,            // delta one right, one up: (1, top row)
                     0, 3, 5, 6, 7, 0,      // literal 5 6 7, padded
                     0, 1, 2, 99});         // end of bitmap; the run after it is ignored
  mvImage image;
  ASSERT_EQ(ReadBmp(b, image), kCodecOK);
  EXPECT_EQ(image.SourceHint, 2);
  const uint8_t* bottom = image.Picture.Row(2);
  const uint8_t* top = image.Picture.Row(0);
  EXPECT_EQ(std::vector<uint8_t>(bottom, bottom + 4), (std::vector<uint8_t>{9, 9, 9, 0}));
  EXPECT_EQ(std::vector<uint8_t>(top, top + 4), (std::vector<uint8_t>{0, 5, 6, 7}));

  // 4-bit runs alternate nibbles; a literal of 3 takes 2 bytes.
  b = Header(5, 1, 4, 2, 0, 54 + 64);
  AppendGrayTable(b, 16);
  b.insert(b.end(), {2, 0x12, 0, 3, 0xAB, 0xC0, 0, 1});
  ASSERT_EQ(ReadBmp(b, image), kCodecOK);
  EXPECT_EQ(std::vector<uint8_t>(image.Picture.Row(0), image.Picture.Row(0) + 5),
            (std::vector<uint8_t>{1, 2, 10, 11, 12}));

  // Runs past the row end, deltas out of the picture and too many lines
  // stop the decoding without touching memory outside the picture; data
  // that ends before the end mark or the last row is damage.
  const struct {
    std::vector<uint8_t> Data;
    int32_t Result;
  } kCases[] = {
      {{5, 1}, kCodecOK},                          // run longer than the row
      {{0, 2, 200, 0, 1, 1}, kCodecOK},            // delta past the right edge
      {{0, 2, 0, 9, 1, 1}, kCodecOK},              // delta above the top
      {{0, 0, 0, 0, 0, 0, 0, 0, 2, 2}, kCodecOK},  // lines past the top, then a run
      {{0, 200, 1, 2}, kCodecOK},                  // literal longer than the row and the data
      {{4, 1, 0, 0, 4, 2, 0, 0, 4, 3, 0, 0}, kCodecOK},  // every row, no end mark
      {{2}, kCodecReadFailed},                     // data ends inside a pair
      {{4, 1, 0, 0, 4, 2}, kCodecReadFailed},      // data ends with a row to go
      {{0, 3, 1, 2}, kCodecReadFailed},            // data ends inside a literal
      {{0, 2, 1}, kCodecReadFailed},               // data ends inside a delta
  };
  for (const auto& c : kCases) {
    b = Header(4, 3, 8, 1, 0, 54 + 1024);
    AppendGrayTable(b, 256);
    b.insert(b.end(), c.Data.begin(), c.Data.end());
    EXPECT_EQ(ReadBmp(b, image), c.Result) << testing::PrintToString(c.Data);
  }
  // Nothing after the table: invalid.
  b = Header(4, 3, 8, 1, 0, 54 + 1024);
  AppendGrayTable(b, 256);
  EXPECT_EQ(ReadBmp(b, image), kCodecInvalidHeader);
  // The header's image size bounds the data read.
  b = Header(4, 1, 8, 1, 0, 54 + 1024, 4);
  AppendGrayTable(b, 256);
  b.insert(b.end(), {2, 5, 0, 1, 2, 6});
  ASSERT_EQ(ReadBmp(b, image), kCodecOK);
  EXPECT_EQ(image.Picture.Row(0)[2], 0);
}

TEST(BmpRead, HeaderRulesGiveTheirCodes) {
  mvImage image;
  auto b = Header(1, 1, 24);
  b[0] = 'X';
  EXPECT_EQ(ReadBmp(b, image), kCodecWrongFormat);
  b = Header(1, 1, 24);
  b[14] = 108;  // a newer header kind
  EXPECT_EQ(ReadBmp(b, image), kCodecNotSupported);
  struct Case {
    int32_t w, h;
    uint32_t bits, compression, colorsUsed;
    int32_t code;
  };
  const Case cases[] = {
      {0, 1, 24, 0, 0, kCodecInvalidHeader},   {-1, 1, 24, 0, 0, kCodecInvalidHeader},
      {1, 0, 24, 0, 0, kCodecInvalidHeader},   {1, 1, 4, 1, 0, kCodecInvalidHeader},
      {1, 1, 8, 2, 0, kCodecInvalidHeader},    {1, 1, 24, 3, 0, kCodecInvalidHeader},
      {1, 1, 4, 0, 17, kCodecInvalidHeader},   {1, 1, 3, 0, 0, kCodecNotSupported},
      {1, 1, 24, 4, 0, kCodecNotSupported},    {1, 1, 32, 3, 0, kCodecNotSupported},
      {1, 1, 0, 0, 0, kCodecNotSupported},     {INT32_MAX, INT32_MAX, 24, 0, 0, kCodecCannotCreate},
      {1, INT32_MIN, 24, 0, 0, kCodecCannotCreate}, {100000, 100000, 8, 0, 0, kCodecCannotCreate},
  };
  for (const Case& c : cases) {
    b = Header(c.w, c.h, c.bits, c.compression, c.colorsUsed);
    b.resize(b.size() + 64);
    EXPECT_EQ(ReadBmp(b, image), c.code) << c.w << "x" << c.h << " bits " << c.bits << " comp " << c.compression;
  }
  b = Header(1, 1, 24);
  b[26] = 2;  // planes
  EXPECT_EQ(ReadBmp(b, image), kCodecInvalidHeader);
}

TEST(BmpRead, TruncatedFilesAndCancel) {
  mvImage image;
  MakeTexture(image, 9, 4);
  const auto rgb = WriteBmp(image);
  mvImage gray;
  ASSERT_TRUE(gray.Create(9, 4, ColorTypeGray, 8, 1));
  const auto indexed = WriteBmp(gray);
  for (const auto* file : {&rgb, &indexed}) {
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
  auto rle = Header(6, 5, 8, 1, 0, 54 + 1024);
  AppendGrayTable(rle, 256);
  rle.insert(rle.end(), {6, 1, 0, 0, 0, 4, 1, 2, 3, 4, 0, 2, 1, 1, 3, 9, 0, 1});
  uint32_t state = 12345;
  for (const auto& seed : {WriteBmp(image), WriteBmp(gray), rle}) {
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
  auto rows = Header(8000, 8000, 24);
  rows.resize(rows.size() + 100, 7);
  auto runs = Header(8000, 8000, 8, 1);
  AppendGrayTable(runs, 256);
  runs.insert(runs.end(), {255, 1, 0, 0});
  for (const auto& file : {rows, runs}) {
    mvImage image;
    EXPECT_EQ(ReadBmp(file, image), kCodecReadFailed);
    EXPECT_TRUE(image.Picture.IsEmpty());
  }
}

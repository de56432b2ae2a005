#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/picture.h"

namespace {
mvPicture Make(int w, int h, uint32_t type, uint32_t depth, uint32_t ch) {
  mvPicture p;
  EXPECT_TRUE(p.Create(w, h, type, depth, ch));
  p.Clear(nullptr);
  return p;
}
}  // namespace

TEST(Picture, StrideRoundsRowsToFourBytes) {
  EXPECT_EQ(Make(1, 1, ColorTypeRGB, 8, 3).Stride, 4u);
  EXPECT_EQ(Make(3, 1, ColorTypeRGB, 8, 3).Stride, 12u);
  EXPECT_EQ(Make(5, 1, ColorTypeGray, 16, 1).Stride, 12u);
  EXPECT_EQ(Make(7, 2, ColorTypeGray, 8, 1).Stride, 8u);
  EXPECT_EQ(Make(3, 1, ColorTypeRGB, 16, 4).BitsPerPixel, 64);
}

TEST(Picture, FailedCreateLeavesPictureIntact) {
  mvPicture p = Make(4, 4, ColorTypeRGB, 8, 4);
  p.Fill(nullptr, mvColor::RGBA8(1, 2, 3, 4));
  uint8_t* before = p.Pixels;
  EXPECT_FALSE(p.Create(0, 10, ColorTypeRGB, 8, 4));
  EXPECT_FALSE(p.Create(10, -1, ColorTypeRGB, 8, 4));
  EXPECT_FALSE(p.Create(4, 4, ColorTypeRGB, 8, 2));
  EXPECT_FALSE(p.Create(4, 4, ColorTypeGray, 8, 3));
  EXPECT_FALSE(p.Create(4, 4, ColorTypeIndexed, 16, 1));
  EXPECT_FALSE(p.Create(0x7FFFFFFF, 0x7FFFFFFF, ColorTypeRGB, 16, 4));  // too large to allocate
  EXPECT_EQ(p.Pixels, before);
  EXPECT_EQ(p.Width, 4);
  uint8_t px[4];
  p.GetPixel(3, 3, px);
  EXPECT_EQ(px[3], 4);
}

TEST(Picture, ConvertFormat) {
  mvPicture p = Make(2, 1, ColorTypeRGB, 8, 3);
  uint8_t red[3] = {255, 0, 0};
  p.SetPixel(0, 0, red);
  uint8_t* buf = p.Pixels;
  EXPECT_TRUE(p.ConvertFormat(ColorTypeRGB, 8, 3));
  EXPECT_EQ(p.Pixels, buf);
  EXPECT_FALSE(p.ConvertFormat(ColorTypeIndexed, 8, 1));
  mvPicture g8(p), g16(p);
  ASSERT_TRUE(g8.ConvertFormat(ColorTypeGray, 8, 1));
  EXPECT_EQ(g8.Pixels[0], 76);
  ASSERT_TRUE(g16.ConvertFormat(ColorTypeGray, 16, 2));
  EXPECT_EQ(LoadLE16(g16.Pixels), 19595);
  EXPECT_EQ(LoadLE16(g16.Pixels + 2), 65535);  // alpha added as max
}

TEST(Picture, DepthScaling) {
  uint8_t s8[1] = {1};
  uint8_t d16[2];
  ConvertRow(s8, ColorTypeGray, 8, 1, d16, ColorTypeGray, 16, 1, nullptr, 1);
  EXPECT_EQ(LoadLE16(d16), 257);
  uint8_t s16[2];
  StoreLE16(s16, 511);
  uint8_t d8[1];
  ConvertRow(s16, ColorTypeGray, 16, 1, d8, ColorTypeGray, 8, 1, nullptr, 1);
  EXPECT_EQ(d8[0], 1);
  s8[0] = 255;
  ConvertRow(s8, ColorTypeGray, 8, 1, d16, ColorTypeGray, 16, 1, nullptr, 1);
  EXPECT_EQ(LoadLE16(d16), 65535);
}

TEST(Picture, IndexedToGrayTableMatchesDirect) {
  mvPicture p;
  ASSERT_TRUE(p.Create(300, 1, ColorTypeIndexed, 8, 1));
  for (int i = 0; i < 256; ++i)
    p.SetPaletteEntry(i, static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 7));
  for (int x = 0; x < 300; ++x) p.Pixels[x] = static_cast<uint8_t>(x * 13);
  std::vector<uint8_t> longRun(600), shortRun(2);
  ConvertRow(p.Pixels, ColorTypeIndexed, 8, 1, longRun.data(), ColorTypeGray, 16, 1, p.Palette->Entries, 300);
  for (size_t x = 0; x < 300; ++x) {
    ConvertRow(p.Pixels + x, ColorTypeIndexed, 8, 1, shortRun.data(), ColorTypeGray, 16, 1, p.Palette->Entries, 1);
    ASSERT_EQ(LoadLE16(&longRun[2 * x]), LoadLE16(shortRun.data())) << x;
  }
  const uint8_t* e = p.Palette->Entries + 4 * 13;
  EXPECT_EQ(LoadLE16(&longRun[2]), (19672u * e[0] + 38621u * e[1] + 7500u * e[2]) >> 8);
}

TEST(Picture, FillClipsAndClearZeroesSpareBytes) {
  mvPicture p = Make(3, 2, ColorTypeRGB, 8, 3);  // 9 bytes used of 12 per row
  std::memset(p.Pixels, 0xAB, p.ByteSize());
  p.Clear(nullptr);
  for (size_t i = 0; i < p.ByteSize(); ++i) ASSERT_EQ(p.Pixels[i], 0);
  mvRect outside{10, 10, 20, 20};
  p.Fill(&outside, mvColor::RGB8(9, 9, 9));
  for (size_t i = 0; i < p.ByteSize(); ++i) ASSERT_EQ(p.Pixels[i], 0);
  mvRect left{-5, 0, 1, 1};
  p.Fill(&left, mvColor::RGB8(9, 8, 7));
  EXPECT_EQ(p.Pixels[0], 9);
  EXPECT_EQ(p.Pixels[3], 0);
}

TEST(Picture, IndexedClearRules) {
  mvPicture p = Make(2, 2, ColorTypeIndexed, 8, 1);
  p.Pixels[0] = 5;
  mvRect r{0, 0, 2, 2};
  p.Clear(&r);  // an RGB colour has no indexed form
  EXPECT_EQ(p.Pixels[0], 5);
  p.Clear(nullptr);
  EXPECT_EQ(p.Pixels[0], 0);
}

TEST(Picture, CopyRectNegativeOffsetSkipsSourceColumns) {
  mvPicture src = Make(6, 1, ColorTypeGray, 8, 1);
  for (int x = 0; x < 6; ++x) src.Pixels[x] = static_cast<uint8_t>(10 + x);
  mvPicture dst = Make(6, 1, ColorTypeGray, 8, 1);
  CopyRect(dst, -3, 0, src, 6, 1);
  EXPECT_EQ(dst.Pixels[0], 13);
  EXPECT_EQ(dst.Pixels[2], 15);
  EXPECT_EQ(dst.Pixels[3], 0);
}

TEST(Picture, BlendRectOntoIndexedRefusesOtherModes) {
  mvPicture dst = Make(2, 2, ColorTypeIndexed, 8, 1);
  mvPicture src = Make(2, 2, ColorTypeRGB, 8, 4);
  src.Fill(nullptr, mvColor::RGBA8(200, 0, 0, 255));
  dst.Pixels[0] = 7;
  EXPECT_FALSE(BlendRect(dst, 0, 0, src, 0, 0, 2, 2, 1, 65535));
  EXPECT_TRUE(BlendRect(dst, 0, 0, src, 0, 0, 2, 2, 0, 65535));
  EXPECT_EQ(dst.Pixels[0], 7);
}

TEST(Picture, BlendRectConvertsAndClips) {
  mvPicture dst = Make(4, 4, ColorTypeRGB, 8, 4);
  mvPicture src = Make(4, 4, ColorTypeGray, 8, 1);
  src.Fill(nullptr, mvColor::Gray8(100));
  EXPECT_TRUE(BlendRect(dst, -2, -2, src, 0, 0, 4, 4, 0, 65535));
  uint8_t px[4];
  dst.GetPixel(1, 1, px);
  EXPECT_EQ(px[0], 100);
  EXPECT_EQ(px[3], 255);
  dst.GetPixel(2, 2, px);
  EXPECT_EQ(px[0], 0);
  EXPECT_TRUE(BlendRect(dst, 100, 100, src, 0, 0, 4, 4, 0, 65535));  // nothing to do
}

TEST(Picture, CopyAndMoveCarryWorkRectAndPalette) {
  mvPicture p = Make(3, 3, ColorTypeIndexed, 8, 2);
  p.SetPaletteEntry(4, 1, 2, 3);
  EXPECT_FALSE(p.SetPaletteEntry(256, 1, 2, 3));
  p.HasWorkRect = 1;
  p.WorkRect = {1, 1, 2, 2};
  mvPicture c(p);
  EXPECT_NE(c.Palette, p.Palette);
  EXPECT_EQ(c.Palette->Entries[16], 1);
  EXPECT_EQ(c.WorkRect.Right, 2);
  mvPicture m;
  m.MoveFrom(c);
  EXPECT_EQ(c.Pixels, nullptr);
  EXPECT_EQ(c.Palette, nullptr);
  EXPECT_TRUE(m.HasWorkRect);
  EXPECT_EQ(m.Palette->Entries[18], 3);
}

TEST(Picture, ConvertColorRules) {
  uint8_t out[8];
  ASSERT_TRUE(ConvertColor(ColorTypeGray, mvColor::RGB8(255, 0, 0), 8, 2, out));
  EXPECT_EQ(out[0], 76);
  EXPECT_EQ(out[1], 255);
  ASSERT_TRUE(ConvertColor(ColorTypeRGB, mvColor(65535, 256, 0, 32768), 8, 4, out));
  EXPECT_EQ(out[0], 255);
  EXPECT_EQ(out[1], 1);
  EXPECT_EQ(out[3], 128);
  EXPECT_FALSE(ConvertColor(ColorTypeIndexed, mvColor::RGB8(1, 2, 3), 8, 1, out));
  mvColor idx;
  idx.ColorType = ColorTypeIndexed;
  idx.Channels = 1;
  idx.Samples[0] = 9;
  EXPECT_FALSE(ConvertColor(ColorTypeRGB, idx, 8, 3, out));
  ASSERT_TRUE(ConvertColor(ColorTypeIndexed, idx, 8, 2, out));
  EXPECT_EQ(out[0], 9);
  EXPECT_EQ(out[1], 255);
}

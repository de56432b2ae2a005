#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "app/toolkit/picture_drawer.h"
#include "app/toolkit/tiling.h"

namespace {

constexpr uint32_t kWhite = 0xFFFFFF, kGray = 0xE0E0E0;

mvPicture MakePicture(int32_t w, int32_t h, uint32_t type, uint32_t depth, uint32_t channels) {
  mvPicture p;
  EXPECT_TRUE(p.Create(w, h, type, depth, channels));
  std::fill(p.Pixels, p.Pixels + p.ByteSize(), uint8_t{0});
  return p;
}

TEST(ThumbnailDrawer, TransparentPictureShowsTheCheckerboardInPictureCoordinates) {
  PictureDrawer drawer;
  ASSERT_TRUE(drawer.IsValid());
  mvPicture p = MakePicture(64, 64, ColorTypeRGB, 8, 4);
  MemoryDevice device;
  ASSERT_TRUE(device.Create(64, 64));
  drawer.Draw(device, 0, 0, 0, 0, 64, 64, p);
  for (int32_t y = 0; y < 64; ++y)
    for (int32_t x = 0; x < 64; ++x)
      ASSERT_EQ(device.Pixel(x, y), ((x / 32 + y / 32) % 2) ? kGray : kWhite) << x << "," << y;
  // From picture (16, 16) on, of a gray picture: the squares stay where the picture has them.
  mvPicture gray = MakePicture(64, 64, ColorTypeGray, 16, 2);
  drawer.Draw(device, 0, 0, 16, 16, 40, 40, gray);
  EXPECT_EQ(device.Pixel(15, 15), kWhite);  // picture (31, 31)
  EXPECT_EQ(device.Pixel(16, 15), kGray);   // picture (32, 31)
  EXPECT_EQ(device.Pixel(16, 16), kWhite);  // picture (32, 32)
}

TEST(ThumbnailDrawer, ConvertsEveryFormat) {
  const struct {
    uint32_t Depth, Channels;
    std::vector<uint16_t> Samples;  // bytes for 8 bits, words for 16
    uint32_t Shown;
  } kCases[] = {
      {8, 3, {10, 20, 30}, 0x0A141Eu},
      // Half-transparent red over white: (200 x 128 + 255 x 127) / 255.
      {8, 4, {200, 0, 0, 128}, MakeRGB((200 * 128 + 255 * 127) / 255, 127, 127)},
      {16, 3, {0x12FF, 0x3400, 0xFF01}, 0x1234FFu},
      {8, 2, {0, 255}, 0u},
  };
  PictureDrawer drawer;
  MemoryDevice device;
  ASSERT_TRUE(device.Create(1, 1));
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.Depth << " bits, " << c.Channels << " channels");
    mvPicture p = MakePicture(1, 1, c.Channels == 2 ? ColorTypeGray : ColorTypeRGB, c.Depth, c.Channels);
    for (size_t i = 0; i < c.Samples.size(); ++i) {
      if (c.Depth == 8) p.Pixels[i] = static_cast<uint8_t>(c.Samples[i]);
      else std::memcpy(p.Pixels + 2 * i, &c.Samples[i], 2);
    }
    drawer.Draw(device, 0, 0, 0, 0, 1, 1, p);
    EXPECT_EQ(device.Pixel(0, 0), c.Shown);
  }
}

TEST(ThumbnailDrawer, WidePicturesDrawInBandsOfTheSharedBuffer) {
  PictureDrawer drawer;
  EXPECT_EQ(PictureDrawer::Stride24(1), 4u);
  EXPECT_EQ(PictureDrawer::Stride24(1000), 3000u);
  EXPECT_EQ(PictureDrawer::RowsPerBand(1000), 87);
  mvPicture p = MakePicture(1000, 200, ColorTypeRGB, 8, 3);
  p.Pixels[p.Stride * 199 + 999 * 3] = 77;
  MemoryDevice device;
  ASSERT_TRUE(device.Create(1000, 200));
  drawer.Draw(device, 0, 0, 0, 0, 1000, 200, p);
  EXPECT_EQ(device.SetBitsCalls, 3);
  EXPECT_EQ(device.Pixel(999, 199), 0x4D0000u);
}

TEST(ThumbnailDrawer, DrawClipsToThePicture) {
  PictureDrawer drawer;
  mvPicture p = MakePicture(10, 10, ColorTypeRGB, 8, 3);
  std::fill(p.Pixels, p.Pixels + p.ByteSize(), uint8_t{255});
  MemoryDevice device;
  ASSERT_TRUE(device.Create(30, 30));
  drawer.Draw(device, 5, 5, -2, 8, 100, 100, p);  // only picture columns 0..9, rows 8..9
  EXPECT_EQ(device.Pixel(7, 5), kWhite);
  EXPECT_EQ(device.Pixel(16, 6), kWhite);
  EXPECT_EQ(device.Pixel(17, 5), 0u);
  EXPECT_EQ(device.Pixel(7, 7), 0u);
}

TEST(ThumbnailDrawer, NearestNeighbourEnlarges) {
  PictureDrawer drawer;
  mvPicture p = MakePicture(2, 1, ColorTypeRGB, 8, 3);
  p.Pixels[0] = 255;  // red, then black
  MemoryDevice device;
  ASSERT_TRUE(device.Create(8, 2));
  drawer.DrawScaled(device, {0, 0, 8, 2}, p, 0, 0, 8, 2, PictureDrawer::ModeNearest);
  for (int32_t x = 0; x < 8; ++x) EXPECT_EQ(device.Pixel(x, 1), x < 4 ? 0xFF0000u : 0u) << x;
  // From a scroll position: the part from column 1 on fills the width.
  drawer.DrawScaled(device, {0, 0, 8, 2}, p, 1, 0, 8, 2, PictureDrawer::ModeNearest);
  EXPECT_EQ(device.Pixel(0, 0), 0u);
}

TEST(ThumbnailDrawer, AreaAverageReducesToTheBlockMean) {
  PictureDrawer drawer;
  mvPicture p = MakePicture(4, 2, ColorTypeRGB, 8, 4);
  for (int32_t x = 0; x < 4; ++x) {
    for (int32_t y = 0; y < 2; ++y) {
      uint8_t* px = p.Row(y) + x * 4;
      px[0] = static_cast<uint8_t>(x * 10 + y);  // red varies, fully opaque
      px[3] = 255;
    }
  }
  MemoryDevice device;
  ASSERT_TRUE(device.Create(2, 1));
  drawer.DrawScaled(device, {0, 0, 2, 1}, p, 0, 0, 2, 1, PictureDrawer::ModeAreaAverage);
  EXPECT_EQ(device.Pixel(0, 0), MakeRGB((0 + 1 + 10 + 11) / 4, 0, 0));
  EXPECT_EQ(device.Pixel(1, 0), MakeRGB((20 + 21 + 30 + 31) / 4, 0, 0));
}

TEST(ThumbnailDrawer, TheBufferLivesWhileAnyDrawerDoes) {
  auto first = std::make_unique<PictureDrawer>();
  PictureDrawer second;
  first.reset();
  EXPECT_TRUE(second.IsValid());
  mvPicture p = MakePicture(2, 2, ColorTypeRGB, 8, 3);
  MemoryDevice device;
  ASSERT_TRUE(device.Create(2, 2));
  second.Draw(device, 0, 0, 0, 0, 2, 2, p);
  EXPECT_EQ(device.SetBitsCalls, 1);
}

TEST(TiledPicture, SmallTexturesRepeatAndLargeOnesAreAveragedToFit) {
  // Columns alternate 0 and 200 in red, rows 10 and 30 in green.
  mvPicture texture = MakePicture(100, 50, ColorTypeRGB, 8, 4);
  for (int32_t y = 0; y < 50; ++y)
    for (int32_t x = 0; x < 100; ++x) {
      uint8_t* p = texture.Row(y) + 4 * x;
      p[0] = x % 2 ? 200 : 0;
      p[1] = y % 2 ? 30 : 10;
      p[3] = 255;
    }
  std::unique_ptr<mvPicture> tiled = BuildTiledPicture(texture, 3, 3, 4096);
  ASSERT_NE(tiled, nullptr);
  EXPECT_EQ(tiled->Width, 300);
  EXPECT_EQ(tiled->Height, 150);
  EXPECT_EQ(std::memcmp(tiled->Row(57) + 4 * 201, texture.Row(7) + 4, 4 * 99), 0);

  // Above the limit: tiles of half the size, each pixel the mean of the 2 x 2 it covers.
  tiled = BuildTiledPicture(texture, 3, 3, 150);
  ASSERT_NE(tiled, nullptr);
  EXPECT_EQ(tiled->Width, 150);
  EXPECT_EQ(tiled->Height, 75);
  for (int32_t y = 0; y < 75; ++y)
    for (int32_t x = 0; x < 150; ++x) {
      const uint8_t* p = tiled->Row(y) + 4 * x;
      ASSERT_EQ(p[0], 100) << x << "," << y;
      ASSERT_EQ(p[1], 20) << x << "," << y;
      ASSERT_EQ(p[3], 255);
    }
  // Proportions stay, and a stop request ends the work with nothing.
  int32_t w = 0, h = 0;
  TileSize(5000, 1000, 3, 3, 4096, w, h);
  EXPECT_EQ(w, 1365);
  EXPECT_EQ(h, 273);
  EXPECT_EQ(BuildTiledPicture(texture, 3, 3, 150, [] { return true; }), nullptr);
}

}  // namespace

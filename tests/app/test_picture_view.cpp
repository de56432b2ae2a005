#include <gtest/gtest.h>

#include "tests/app/toolkit_fakes.h"

namespace {

struct View {
  View(int32_t w, int32_t h) {
    EXPECT_TRUE(picture.Create(w, h, ColorTypeRGB, 8, 4));
    std::fill(picture.Pixels, picture.Pixels + picture.ByteSize(), uint8_t{255});
    view.SetHost(&host);
    view.SetPicture(&picture);
    host.AllRepaints = 0;
  }
  mvPicture picture;
  FakeViewHost host;
  PictureView view;
};

TEST(PictureView, LargePictureGetsBothBarsOverThePictureRange) {
  View v(300, 300);
  EXPECT_EQ(v.host.Horizontal.Min, 0);
  EXPECT_EQ(v.host.Horizontal.Max, 299);
  EXPECT_EQ(v.host.Vertical.Max, 299);
  EXPECT_EQ(v.host.Horizontal.Page, 200 - 17);  // less the vertical bar's width
  EXPECT_EQ(v.host.Vertical.Page, 200 - 15);    // less the horizontal bar's height
  EXPECT_EQ(v.view.ClientWidth(), 183);
  EXPECT_EQ(v.view.ClientHeight(), 185);
  // In a 200 x 200 area one bar can call for the other.
  const struct {
    int32_t W, H;
    bool Horizontal, Vertical;
  } kCases[] = {
      {300, 300, true, true},   {190, 300, true, true},  // the vertical bar leaves 183 for 190 columns
      {300, 190, true, true},                            // the horizontal bar leaves 185 for 190 rows
      {190, 190, false, false}, {300, 100, true, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.W << " x " << c.H);
    View bars(c.W, c.H);
    EXPECT_EQ(bars.host.Horizontal.Needed(), c.Horizontal);
    EXPECT_EQ(bars.host.Vertical.Needed(), c.Vertical);
    EXPECT_EQ(bars.host.Horizontal.Visible, c.Horizontal);
    EXPECT_EQ(bars.host.Vertical.Visible, c.Vertical);
  }
}

TEST(PictureView, ZoomIsClampedAndNotifiedOnlyWithAPicture) {
  PictureView empty;
  FakeViewHost host;
  empty.SetHost(&host);
  empty.SetZoom(5000);
  EXPECT_EQ(empty.Zoom(), 1000);
  EXPECT_TRUE(host.Notifications.empty());
  View v(300, 300);
  v.view.SetZoom(1);
  EXPECT_EQ(v.view.Zoom(), 10);
  EXPECT_EQ(v.host.Notifications, std::vector<int32_t>({1}));
  EXPECT_FALSE(v.host.Vertical.Visible);  // 300 pixels at 10 % fit
  v.view.SetZoom(10);
  EXPECT_EQ(v.host.Notifications.size(), 1u);
}

TEST(PictureView, ScrollStepsFollowTheZoom) {
  View v(1000, 1000);
  EXPECT_EQ(v.view.LineStep(), 1);
  v.view.SetZoom(50);
  EXPECT_EQ(v.view.LineStep(), 2);
  EXPECT_EQ(v.view.VisibleWidth(), 366);  // ceil(183 x 100 / 50)
  v.view.OnVScroll(ScrollLineDown, 0);
  EXPECT_EQ(v.view.ScrollY(), 2);
  v.view.OnHScroll(ScrollPageDown, 0);
  EXPECT_EQ(v.view.ScrollX(), 366);
  v.view.OnVScroll(ScrollBottom, 0);
  EXPECT_EQ(v.view.ScrollY(), 1000 - v.view.VisibleHeight());
  v.view.OnHScroll(ScrollThumbTrack, -5);
  EXPECT_EQ(v.view.ScrollX(), 0);
  v.view.SetZoom(30);
  EXPECT_EQ(v.view.LineStep(), 4);  // (30 + 99) / 30
}

TEST(PictureView, ContentsMoveOnlyAtWholeMultiplesOf100) {
  View v(1000, 1000);
  v.view.OnVScroll(ScrollLineDown, 0);
  EXPECT_EQ(v.host.Scrolls, (std::vector<std::pair<int32_t, int32_t>>{{0, -1}}));
  v.view.SetZoom(200);
  v.host.AllRepaints = 0;
  v.view.OnHScroll(ScrollLineDown, 0);
  EXPECT_EQ(v.host.Scrolls.back(), (std::pair<int32_t, int32_t>{-2, 0}));
  v.view.OnHScroll(ScrollPageDown, 0);  // a page is the client width: repaint
  EXPECT_EQ(v.host.AllRepaints, 1);
  v.view.SetZoom(150);
  v.host.AllRepaints = 0;
  v.view.OnVScroll(ScrollLineDown, 0);
  EXPECT_EQ(v.host.AllRepaints, 1);
}

TEST(PictureView, WheelScrollsAndZooms) {
  View v(1000, 1000);
  v.view.OnWheel(-120, false, false);
  EXPECT_EQ(v.view.ScrollY(), v.view.WheelStep);
  v.view.OnWheel(120, false, false);
  EXPECT_EQ(v.view.ScrollY(), 0);
  v.view.OnWheel(-240, true, false);
  EXPECT_EQ(v.view.ScrollX(), 2 * v.view.WheelStep);
  v.view.OnWheel(120, true, true);  // away from the user: smaller
  EXPECT_EQ(v.view.Zoom(), 100 - v.view.ZoomStep);
  v.view.OnWheel(-30, true, true);  // a fraction of a notch still counts once
  EXPECT_EQ(v.view.Zoom(), 100);
}

TEST(PictureView, KeysScrollOtherKeysGoToTheHandler) {
  struct Keys : PictureViewHandler {
    explicit Keys(int32_t* last) : last_(last) {}
    void KeyDown(int32_t key) override { *last_ = key; }
    int32_t* last_;
  };
  View v(1000, 1000);
  int32_t last = 0;
  v.view.SetHandler(std::make_unique<Keys>(&last));
  v.view.OnKeyDown(KeyRight, 0);
  v.view.OnKeyDown(KeyDown, 0);
  EXPECT_EQ(v.view.ScrollX(), 1);
  EXPECT_EQ(v.view.ScrollY(), 1);
  v.view.OnKeyDown(KeyEnd, 0);
  EXPECT_EQ(v.view.ScrollY(), 1000 - v.view.VisibleHeight());
  v.view.OnKeyDown(KeyOther, 'Q');
  EXPECT_EQ(last, 'Q');
}

TEST(PictureView, ResizeClampsThePositions) {
  View v(300, 300);
  v.view.OnVScroll(ScrollBottom, 0);
  EXPECT_EQ(v.view.ScrollY(), 115);
  v.host.AreaWidth = v.host.AreaHeight = 400;
  v.view.OnSize();
  EXPECT_EQ(v.view.ScrollY(), 0);
  EXPECT_FALSE(v.host.Vertical.Visible);
}

TEST(PictureView, PaintFillsAroundThePictureAndOutlinesTheWorkArea) {
  View v(50, 40);
  v.picture.HasWorkRect = 1;
  v.picture.WorkRect = {10, 10, 20, 20};
  PictureDrawer drawer;
  MemoryDevice device;
  ASSERT_TRUE(device.Create(200, 200));
  v.view.Paint(device, drawer, {0, 0, 200, 200});
  EXPECT_EQ(device.Pixel(49, 39), 0xFFFFFFu);
  EXPECT_EQ(device.Pixel(50, 0), v.view.Background);
  EXPECT_EQ(device.Pixel(0, 40), v.view.Background);
  EXPECT_EQ(device.Pixel(10, 10), 0u);  // white inverted
  EXPECT_EQ(device.Pixel(15, 15), 0xFFFFFFu);
  v.view.SetZoom(200);
  v.view.Paint(device, drawer, {0, 0, 200, 200});
  EXPECT_EQ(device.Pixel(99, 79), 0xFFFFFFu);
  EXPECT_EQ(device.Pixel(100, 79), v.view.Background);
  EXPECT_EQ(device.Pixel(20, 20), 0u);
  EXPECT_EQ(device.Pixel(39, 39), 0u);
  EXPECT_EQ(device.Pixel(21, 21), 0xFFFFFFu);
  // Without a picture only the background.
  PictureView empty;
  empty.Paint(device, drawer, {0, 0, 10, 10});
  EXPECT_EQ(device.Pixel(5, 5), empty.Background);
}

}  // namespace

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include "app/widgets/list_box_widget.h"
#include "app/widgets/picture_view_widget.h"

namespace {

// An item that opens a real pop-up menu on a right press, as the forms' items do.
struct MenuItem : ListBoxItem {
  void Draw(Device& device, const mvRect& cell) override { device.FillRect(cell, Selected ? 0x0000FF : 0xFFFFFF); }
  void OnContextMenu(int32_t, int32_t) override {
    if (notifications) notificationsBeforeMenu = static_cast<int>(notifications->count());
    QMenu menu;
    menu.addAction("Save...");
    // exec blocks until the menu closes; close it once it is up.
    QTimer::singleShot(0, [&menu] { menu.close(); });
    menu.exec(QCursor::pos());
    ++menusOpened;
  }
  QSignalSpy* notifications = nullptr;
  int notificationsBeforeMenu = -1;
  int menusOpened = 0;
};

struct ListFixture {
  explicit ListFixture(int count) {
    list.List().SetCellSize(132, 132);
    for (int i = 0; i < count; ++i) {
      items.push_back(new MenuItem);
      items.back()->notifications = &spy;
      list.List().InsertAt(i, items.back());
    }
  }
  // Makes the viewport (without bars) width x height and shows the list.
  void Show(int width, int height) {
    const int frame = 2 * list.frameWidth();
    list.resize(width + frame, height + frame);
    list.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&list));
  }
  QPoint CellCentre(int index) {
    const mvRect r = list.List().CellRect(index);
    return QPoint((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
  }

  ListBoxWidget list;
  QSignalSpy spy{&list, &ListBoxWidget::notification};
  std::vector<MenuItem*> items;
};

TEST(ListBoxWidget, ColumnsFollowTheWidthAndTheBarsTheRows) {
  ListFixture f(12);
  f.Show(500, 300);
  ListBox& list = f.list.List();
  EXPECT_EQ(list.Columns(), 3);
  EXPECT_TRUE(f.list.verticalScrollBar()->isVisible());
  EXPECT_EQ(f.list.verticalScrollBar()->maximum(), 2);  // rows 0 ... 3, two visible
  EXPECT_FALSE(f.list.horizontalScrollBar()->isVisible());
  EXPECT_EQ(list.ClientWidth(), f.list.viewport()->width());
  f.list.verticalScrollBar()->setValue(1);
  EXPECT_EQ(list.TopRow(), 1);
  const int firstVisible = list.TopRow() * list.Columns();
  f.list.resize(700 + 2 * f.list.frameWidth(), f.list.height());
  EXPECT_EQ(list.Columns(), 5);
  const int row = firstVisible / list.Columns();
  EXPECT_GE(row, list.TopRow());
  EXPECT_LT(row, list.TopRow() + list.VisibleRows());
}

TEST(ListBoxWidget, ClicksReachTheListAndTheMenuOpensAfterTheNotification) {
  ListFixture f(4);
  f.Show(500, 400);
  QTest::mouseClick(f.list.viewport(), Qt::LeftButton, {}, f.CellCentre(1));
  EXPECT_EQ(f.list.List().GetSelection(), 1);
  // Below the last item: deselected, told once.
  f.spy.clear();
  QTest::mouseClick(f.list.viewport(), Qt::LeftButton, {}, QPoint(20, 300));
  EXPECT_EQ(f.list.List().GetSelection(), -1);
  ASSERT_EQ(f.spy.count(), 1);
  EXPECT_EQ(f.spy.at(0).at(0).toInt(), 1);
  // A right press selects and notifies, then opens the item's real menu.
  f.spy.clear();
  QTest::mouseClick(f.list.viewport(), Qt::RightButton, {}, f.CellCentre(2));
  EXPECT_EQ(f.list.List().GetSelection(), 2);
  EXPECT_EQ(f.items[2]->menusOpened, 1);
  EXPECT_EQ(f.items[2]->notificationsBeforeMenu, 1);
  // Again on the single selected, focused item: the menu without a notification.
  f.spy.clear();
  QTest::mouseClick(f.list.viewport(), Qt::RightButton, {}, f.CellCentre(2));
  EXPECT_EQ(f.items[2]->menusOpened, 2);
  EXPECT_EQ(f.spy.count(), 0);
}

TEST(ListBoxWidget, WheelScrollsOneRowAndArrowsMoveTheSelection) {
  ListFixture f(30);
  f.Show(500, 300);
  for (int delta : {-1, -120, -960}) {
    const int before = f.list.List().TopRow();
    QWheelEvent wheel(QPointF(10, 10), f.list.viewport()->mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(f.list.viewport(), &wheel);
    EXPECT_EQ(f.list.List().TopRow(), before + 1) << delta;
    EXPECT_EQ(f.list.verticalScrollBar()->value(), before + 1);
  }
  f.list.setFocus();
  QTest::keyClick(&f.list, Qt::Key_Right);
  EXPECT_EQ(f.list.List().GetSelection(), 1);
  EXPECT_EQ(f.spy.count(), 1);
}

mvPicture TransparentPicture(int size) {
  mvPicture p;
  EXPECT_TRUE(p.Create(size, size, ColorTypeRGB, 8, 4));
  std::fill(p.Pixels, p.Pixels + p.ByteSize(), uint8_t{0});
  return p;
}

TEST(PictureViewWidget, LargePictureShowsBothBars) {
  mvPicture picture = TransparentPicture(300);
  PictureViewWidget view;
  const int frame = 2 * view.frameWidth();
  view.resize(200 + frame, 200 + frame);
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  view.SetPicture(&picture);
  const int extent = view.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &view);
  EXPECT_TRUE(view.horizontalScrollBar()->isVisible());
  EXPECT_TRUE(view.verticalScrollBar()->isVisible());
  EXPECT_EQ(view.View().VerticalBar().Max, 299);
  EXPECT_EQ(view.View().HorizontalBar().Max, 299);
  EXPECT_EQ(view.View().VerticalBar().Page, 200 - extent);
  EXPECT_EQ(view.verticalScrollBar()->pageStep(), 200 - extent);
  EXPECT_EQ(view.verticalScrollBar()->maximum(), 299 - (200 - extent) + 1);
  EXPECT_EQ(view.viewport()->width(), view.View().ClientWidth());
  EXPECT_EQ(view.viewport()->height(), view.View().ClientHeight());
  view.verticalScrollBar()->setValue(40);
  EXPECT_EQ(view.View().ScrollY(), 40);
}

TEST(PictureViewWidget, TransparentPictureDrawsTheCheckerboard) {
  mvPicture picture = TransparentPicture(64);
  PictureViewWidget view;
  view.resize(120, 120);
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  view.SetPicture(&picture);
  const QImage shot = view.viewport()->grab().toImage();
  EXPECT_EQ(shot.pixelColor(5, 5), QColor(255, 255, 255));
  EXPECT_EQ(shot.pixelColor(40, 5), QColor(224, 224, 224));
  EXPECT_EQ(shot.pixelColor(5, 40), QColor(224, 224, 224));
  EXPECT_EQ(shot.pixelColor(40, 40), QColor(255, 255, 255));
  const uint32_t background = view.View().Background;
  EXPECT_EQ(shot.pixelColor(70, 10), QColor((background >> 16) & 255, (background >> 8) & 255, background & 255));
}

TEST(PictureViewWidget, ShiftCtrlWheelZoomsAndNotifies) {
  mvPicture picture = TransparentPicture(64);
  PictureViewWidget view;
  QSignalSpy spy(&view, &PictureViewWidget::notification);
  view.resize(120, 120);
  view.SetPicture(&picture);
  QWheelEvent wheel(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, 120), Qt::NoButton,
                    Qt::ShiftModifier | Qt::ControlModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(view.viewport(), &wheel);
  EXPECT_EQ(view.View().Zoom(), 90);
  ASSERT_EQ(spy.count(), 1);
  EXPECT_EQ(spy.at(0).at(0).toInt(), 1);
}

}  // namespace

int main(int argc, char** argv) {
  // Test discovery runs this binary without the test environment.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

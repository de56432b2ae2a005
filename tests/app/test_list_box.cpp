#include <gtest/gtest.h>

#include "tests/app/toolkit_fakes.h"

namespace {

// A grid list of count 132 x 132 thumbnails in a client area of width x height.
struct Grid {
  Grid(int32_t count, int32_t width, int32_t height, uint32_t style = ListBox::StyleGrid) : list(style) {
    list.SetHost(&host);
    list.OnSize(width, height);
    list.SetCellSize(132, 132);
    for (int32_t i = 0; i < count; ++i) {
      items.push_back(new FakeItem(&log));
      list.InsertAt(i, items.back());
    }
    host.Log = &log;
    host.Reset();
  }
  FakeItem& item(int32_t i) { return *items[static_cast<size_t>(i)]; }
  // The centre of item i's cell in client coordinates.
  void Click(int32_t i, bool right = false, bool shift = false, bool ctrl = false) {
    const mvRect r = list.CellRect(i);
    list.OnMouseDown((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2, right, shift, ctrl);
  }
  bool FirstVisibleInView(int32_t index) const {
    const int32_t row = index / list.Columns();
    return row >= list.TopRow() && row < list.TopRow() + list.VisibleRows();
  }

  FakeListHost host;
  ListBox list;
  std::vector<FakeItem*> items;
  std::vector<std::string> log;
};

TEST(ListBox, WideningKeepsTheFirstVisibleItemInView) {
  for (int32_t top = 0; top <= 2; ++top) {
    Grid g(12, 500, 300);
    EXPECT_EQ(g.list.Columns(), 3);
    EXPECT_EQ(g.list.VisibleRows(), 2);
    g.list.ScrollToRow(top);
    ASSERT_EQ(g.list.TopRow(), top);
    const int32_t first = top * 3;
    g.list.OnSize(700, 300);
    EXPECT_EQ(g.list.Columns(), 5);
    EXPECT_TRUE(g.FirstVisibleInView(first)) << "top row was " << top;
    EXPECT_LE(g.list.TopRow(), g.list.MaxTopRow());
    EXPECT_GE(g.host.AllRepaints, 1);
    EXPECT_EQ(g.host.Vertical.Max, 2);  // 12 items in rows of 5
  }
}

TEST(ListBox, ClickBelowTheLastItemDeselectsAllAndNotifies) {
  Grid g(12, 500, 800);
  g.Click(4);
  EXPECT_EQ(g.list.GetSelection(), 4);
  g.host.Reset();
  g.list.OnMouseDown(10, 4 * 132 + 10, false, false, false);
  EXPECT_EQ(g.list.GetSelection(), -1);
  EXPECT_EQ(g.list.SelectedCount(), 0);
  EXPECT_EQ(g.host.Notifications, std::vector<int32_t>({1}));
  // A right press on empty space also tells the parent so.
  g.host.Reset();
  g.list.OnMouseDown(10, 4 * 132 + 10, true, false, false);
  EXPECT_EQ(g.host.Notifications, std::vector<int32_t>({1, 3}));
  // Beyond the last column is empty space too.
  g.host.Reset();
  g.list.OnMouseDown(3 * 132 + 5, 10, false, false, false);
  EXPECT_EQ(g.host.Notifications, std::vector<int32_t>({1}));
}

TEST(ListBox, KeepOneKeepsTheSelectionOnEmptySpace) {
  Grid g(5, 500, 800, ListBox::StyleGrid | ListBox::StyleKeepOne);
  g.Click(1);
  g.list.OnMouseDown(10, 700, false, false, false);
  EXPECT_EQ(g.list.GetSelection(), 1);
  // Nor can Ctrl take away the last selected item.
  g.Click(1, false, false, true);
  EXPECT_EQ(g.list.GetSelection(), 1);
}

TEST(ListBox, RightClickSelectsNotifiesThenOpensTheMenuAndOnTheSelectionOnlyOpensIt) {
  Grid g(12, 500, 800);
  g.Click(2);
  g.log.clear();
  const mvRect r = g.list.CellRect(5);
  g.list.OnMouseDown(r.Left + 7, r.Top + 9, true, false, false);
  EXPECT_EQ(g.list.GetSelection(), 5);
  EXPECT_EQ(g.list.Focus(), 5);
  EXPECT_EQ(g.log, std::vector<std::string>({"notify 1", "menu 5"}));
  EXPECT_EQ(g.item(5).MenuX, 7);
  EXPECT_EQ(g.item(5).MenuY, 9);
  // Again on the single selected, focused item: the menu alone; a left press there does nothing.
  g.log.clear();
  g.host.Reset();
  g.Click(5, true);
  EXPECT_EQ(g.log, std::vector<std::string>({"menu 5"}));
  g.Click(5);
  EXPECT_TRUE(g.host.Notifications.empty());
  EXPECT_EQ(g.list.GetSelection(), 5);
}

TEST(ListBox, ContextKeyOpensTheMenuOfTheFocusedOrSelectedItem) {
  Grid g(12, 500, 300);  // two rows visible
  // Nothing selected: the focus item becomes the selection first.
  g.list.OnContextKey();
  EXPECT_EQ(g.log, std::vector<std::string>({"notify 1", "menu 0"}));
  EXPECT_EQ(g.item(0).MenuX, 66);
  EXPECT_EQ(g.item(0).MenuY, 66);
  // A selection far down is scrolled into view and offered.
  g.list.SelectOnly(10);
  EXPECT_EQ(g.list.GetSelection(), 10);
  EXPECT_EQ(g.list.Focus(), 10);
  EXPECT_TRUE(g.FirstVisibleInView(10));
  g.log.clear();
  g.list.OnContextKey();
  EXPECT_EQ(g.log, std::vector<std::string>({"menu 10"}));
  // An empty list offers nothing.
  Grid empty(0, 500, 300);
  empty.list.OnContextKey();
  EXPECT_TRUE(empty.log.empty());
}

TEST(ListBox, RightClickKeepsASelectionOfSeveral) {
  Grid g(6, 500, 800, ListBox::StyleGrid | ListBox::StyleMultiSelect);
  g.Click(1);
  g.Click(4, false, true, false);  // Shift: 1 ... 4
  EXPECT_EQ(g.list.SelectedCount(), 4);
  g.Click(2, true);
  EXPECT_EQ(g.list.SelectedCount(), 4);
  EXPECT_EQ(g.item(2).Menus, 1);
  g.Click(5, false, false, true);  // Ctrl adds in a multi-select list
  EXPECT_EQ(g.list.SelectedCount(), 5);
  g.Click(5);  // a plain left press leaves just that one
  EXPECT_EQ(g.list.GetSelection(), 5);
}

TEST(ListBox, RefusedLeftPressChangesNothing) {
  Grid g(3, 500, 800);
  g.item(1).AcceptClick = false;
  g.Click(1);
  EXPECT_EQ(g.list.SelectedCount(), 0);
  EXPECT_EQ(g.list.Focus(), 0);
  EXPECT_TRUE(g.host.Notifications.empty());
}

TEST(ListBox, RemovingKeepsTheFocusInRangeAndEmptyingResetsIt) {
  // The focus item goes: the focus moves to the first.
  Grid g(6, 500, 800);
  g.Click(3);
  std::unique_ptr<ListBoxItem> removed(g.list.RemoveAt(3));
  ASSERT_EQ(removed.get(), g.items[3]);
  EXPECT_EQ(removed->List, nullptr);
  EXPECT_EQ(removed->Index, -1);
  EXPECT_EQ(g.list.Focus(), 0);
  EXPECT_EQ(g.list.SelectedCount(), 0);
  EXPECT_EQ(g.list.Item(3), g.items[4]);
  EXPECT_EQ(g.items[4]->Index, 3);
  EXPECT_EQ(g.list.RemoveAt(5), nullptr);
  EXPECT_EQ(g.list.RemoveAt(-1), nullptr);
  // One before it goes: the focus stays on its item, and Space does not reach past the end.
  Grid before(4, 500, 800);
  before.Click(3);
  delete before.list.RemoveAt(0);
  EXPECT_EQ(before.list.Focus(), 2);
  EXPECT_EQ(before.list.Item(2), before.items[3]);
  before.list.OnKeyDown(KeySpace, false);
  EXPECT_EQ(before.list.GetSelection(), 2);
  // All go: no focus and no bars.
  for (int32_t i = 2; i >= 0; --i) delete before.list.RemoveAt(i);
  EXPECT_EQ(before.list.Focus(), -1);
  EXPECT_EQ(before.list.Capacity(), 0);
  EXPECT_FALSE(before.host.Vertical.Visible);
  EXPECT_FALSE(before.host.Horizontal.Visible);
}

TEST(ListBox, ArrowsStopAtTheEdgesOfASingleSelectGrid) {
  Grid g(12, 500, 800);
  g.Click(11);
  g.host.Reset();
  g.list.OnKeyDown(KeyRight, false);
  g.list.OnKeyDown(KeyDown, false);
  EXPECT_EQ(g.list.Focus(), 11);
  EXPECT_TRUE(g.host.Notifications.empty());
  g.Click(10);
  g.host.Reset();
  g.list.OnKeyDown(KeyDown, false);
  EXPECT_EQ(g.list.Focus(), 10);
  EXPECT_TRUE(g.host.Notifications.empty());
  g.list.OnKeyDown(KeyUp, false);
  EXPECT_EQ(g.list.Focus(), 7);
  EXPECT_EQ(g.list.GetSelection(), 7);
  EXPECT_EQ(g.host.Notifications, std::vector<int32_t>({1}));
  g.Click(0);
  g.list.OnKeyDown(KeyLeft, false);
  g.list.OnKeyDown(KeyUp, false);
  EXPECT_EQ(g.list.Focus(), 0);
}

TEST(ListBox, ArrowsScrollTheNewFocusIntoView) {
  Grid g(12, 500, 140);  // one visible row
  g.Click(1);
  g.list.OnKeyDown(KeyDown, false);
  EXPECT_EQ(g.list.TopRow(), 1);
  g.list.OnKeyDown(KeyUp, false);
  EXPECT_EQ(g.list.TopRow(), 0);
}

TEST(ListBox, SpaceSelectsTheFocusItemOnce) {
  Grid g(4, 500, 800);
  g.list.OnKeyDown(KeySpace, false);
  EXPECT_EQ(g.list.GetSelection(), 0);
  EXPECT_EQ(g.host.Notifications, std::vector<int32_t>({1}));
  g.host.Reset();
  g.list.OnKeyDown(KeySpace, false);
  EXPECT_TRUE(g.host.Notifications.empty());
}

TEST(ListBox, AnyWheelAmountScrollsExactlyOneRow) {
  Grid g(30, 500, 300);  // 10 rows, 2 visible
  for (int32_t delta : {-1, -120, -720, -100000}) {
    const int32_t before = g.list.TopRow();
    g.list.OnWheel(delta);
    EXPECT_EQ(g.list.TopRow(), before + 1) << delta;
  }
  for (int32_t delta : {1, 120, 960}) {
    const int32_t before = g.list.TopRow();
    g.list.OnWheel(delta);
    EXPECT_EQ(g.list.TopRow(), before - 1) << delta;
  }
  g.list.ScrollToRow(0);
  g.list.OnWheel(120);
  EXPECT_EQ(g.list.TopRow(), 0);
}

TEST(ListBox, ShortScrollsMoveTheContentsLongOnesRepaint) {
  Grid g(30, 500, 300);
  g.list.ScrollToRow(1);
  EXPECT_EQ(g.host.Scrolls, (std::vector<std::pair<int32_t, int32_t>>{{0, -132}}));
  EXPECT_EQ(g.host.AllRepaints, 0);
  EXPECT_EQ(g.host.Vertical.Pos, 1);
  g.list.ScrollToRow(3);
  EXPECT_EQ(g.host.AllRepaints, 1);
  g.list.OnKeyDown(KeyEnd, false);
  EXPECT_EQ(g.list.TopRow(), 8);
  g.list.OnVScroll(ScrollPageUp, 0);
  EXPECT_EQ(g.list.TopRow(), 6);
  g.list.OnVScroll(ScrollThumbTrack, 99);
  EXPECT_EQ(g.list.TopRow(), 8);
  g.list.OnKeyDown(KeyHome, false);
  EXPECT_EQ(g.list.TopRow(), 0);
}

TEST(ListBox, ScrollBarsFollowTheGrid) {
  Grid g(12, 500, 300);
  EXPECT_TRUE(g.host.Vertical.Visible);
  EXPECT_EQ(g.host.Vertical.Max, 3);
  EXPECT_EQ(g.host.Vertical.Page, 2);
  EXPECT_TRUE(g.host.Vertical.Needed());
  EXPECT_FALSE(g.host.Horizontal.Needed());  // 132 fits in 500
  // A single wide column scrolls sideways.
  g.list.OnSize(100, 300);
  EXPECT_EQ(g.list.Columns(), 1);
  EXPECT_TRUE(g.host.Horizontal.Needed());
  EXPECT_EQ(g.host.Horizontal.Max, 131);
  EXPECT_EQ(g.host.Horizontal.Page, 100);
  g.list.OnHScroll(ScrollPageDown, 0);
  EXPECT_EQ(g.list.HorizontalPosition(), 32);  // clamped to 132 - 100
}

TEST(ListBox, AppendingRepaintsOnlyTheNewCell) {
  Grid g(4, 500, 800);
  ASSERT_TRUE(g.list.InsertAt(4, new FakeItem));
  EXPECT_EQ(g.host.AllRepaints, 0);
  ASSERT_EQ(g.host.Rects.size(), 1u);
  EXPECT_EQ(g.host.Rects[0].Left, 132);
  EXPECT_EQ(g.host.Rects[0].Top, 132);
  g.host.Reset();
  ASSERT_TRUE(g.list.InsertAt(0, new FakeItem));
  EXPECT_EQ(g.host.AllRepaints, 1);
  EXPECT_EQ(g.list.Item(1), g.items[0]);
  EXPECT_EQ(g.items[0]->Index, 1);
}

TEST(ListBox, InsertRejectsBadIndexesAndForeignItems) {
  Grid g(2, 500, 800);
  FakeItem item;
  EXPECT_FALSE(g.list.InsertAt(3, &item));
  EXPECT_FALSE(g.list.InsertAt(-1, &item));
  EXPECT_FALSE(g.list.InsertAt(0, nullptr));
  EXPECT_FALSE(g.list.InsertAt(0, g.items[1]));  // already in a list
  EXPECT_EQ(g.list.Count(), 2);
}

TEST(ListBox, CapacityMovesInStepsOf32AndClearDeletesItems) {
  ListBox list;
  bool destroyed = false;
  ASSERT_TRUE(list.InsertAt(0, new FakeItem(nullptr, &destroyed)));
  EXPECT_EQ(list.Capacity(), 32);
  for (int i = 1; i < 33; ++i) list.InsertAt(i, new FakeItem);
  EXPECT_EQ(list.Capacity(), 64);
  delete list.RemoveAt(32);
  EXPECT_EQ(list.Capacity(), 32);
  list.Clear();
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Focus(), -1);
  EXPECT_EQ(list.Capacity(), 0);
}

TEST(ListBox, HitTestAndCellRectangles) {
  Grid g(12, 500, 300);
  g.list.ScrollToRow(1);
  EXPECT_EQ(g.list.HitTest(0, 0), 3);
  EXPECT_EQ(g.list.HitTest(140, 140), 7);
  EXPECT_EQ(g.list.HitTest(396, 10), -1);  // right of the third column
  EXPECT_EQ(g.list.HitTest(-1, 10), -1);
  EXPECT_EQ(g.list.HitTest(10, 3 * 132), -1);  // row 4 does not exist
  const mvRect r = g.list.CellRect(7);
  EXPECT_EQ(r.Left, 132);
  EXPECT_EQ(r.Top, 132);
  EXPECT_EQ(r.Right, 264);
  EXPECT_EQ(r.Bottom, 264);
}

TEST(ListBox, SetCellSizeChecksAndRecomputes) {
  Grid g(12, 500, 300);
  EXPECT_FALSE(g.list.SetCellSize(-1, 10));
  EXPECT_FALSE(g.list.SetCellSize(0, 10));  // grid cells need a width
  EXPECT_FALSE(g.list.SetCellSize(10, 0));
  g.list.ScrollToRow(2);  // first visible item 6
  ASSERT_TRUE(g.list.SetCellSize(100, 132));
  EXPECT_EQ(g.list.Columns(), 5);
  EXPECT_EQ(g.list.TopRow(), 1);  // (2 x 3 + 5 - 1) / 5
  ListBox single(0);
  EXPECT_TRUE(single.SetCellSize(0, 20));
  EXPECT_EQ(single.Columns(), 1);
}

TEST(ListBox, PaintDrawsVisibleCellsAndTheFocus) {
  Grid g(12, 500, 300);
  g.host.Focused = true;
  MemoryDevice device;
  ASSERT_TRUE(device.Create(500, 300));
  g.list.Paint(device, {0, 0, 500, 300});
  for (int32_t i = 0; i < 12; ++i) EXPECT_EQ(g.item(i).Draws, i < 9 ? 1 : 0) << i;  // rows 0, 1 and part of 2
  EXPECT_EQ(g.item(0).FocusDraws, 1);
  g.host.Focused = false;
  g.list.Paint(device, {140, 0, 200, 100});
  EXPECT_EQ(g.item(1).Draws, 2);
  EXPECT_EQ(g.item(0).Draws, 1);
  EXPECT_EQ(g.item(0).FocusDraws, 1);
}

}  // namespace

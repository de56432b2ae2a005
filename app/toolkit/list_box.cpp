#include "app/toolkit/list_box.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

namespace {

int32_t ClampToInt32(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

}  // namespace

ListBox::ListBox(uint32_t style)
    : grid_((style & StyleGrid) != 0),
      multiSelect_((style & StyleMultiSelect) != 0),
      keepOne_((style & StyleKeepOne) != 0) {}

ListBox::~ListBox() {
  for (int32_t i = count_ - 1; i >= 0; --i) delete items_[static_cast<size_t>(i)];
}

ListBoxItem* ListBox::Item(int32_t index) const {
  return index >= 0 && index < count_ ? items_[static_cast<size_t>(index)] : nullptr;
}

bool ListBox::Resize(int32_t newCapacity) {
  if (newCapacity == 0) {
    items_.reset();
    capacity_ = 0;
    return true;
  }
  std::unique_ptr<ListBoxItem*[]> grown(new (std::nothrow) ListBoxItem*[static_cast<size_t>(newCapacity)]);
  if (!grown) return false;
  if (count_ > 0) std::copy_n(items_.get(), count_, grown.get());
  items_ = std::move(grown);
  capacity_ = newCapacity;
  return true;
}

int32_t ListBox::RowCount() const { return count_ == 0 ? 0 : (count_ - 1) / columns_ + 1; }

int32_t ListBox::MaxTopRow() const {
  if (static_cast<int64_t>(count_) > static_cast<int64_t>(columns_) * visibleRows_) return RowCount() - visibleRows_;
  return 0;
}

mvRect ListBox::CellRect(int32_t index) const {
  mvRect r;
  const int64_t left = static_cast<int64_t>(index % columns_) * cellWidth_ - horizontalPos_;
  const int64_t top = (static_cast<int64_t>(index / columns_) - topRow_) * cellHeight_;
  r.Left = ClampToInt32(left);
  r.Right = cellWidth_ > 0 ? ClampToInt32(left + cellWidth_) : clientWidth_;
  r.Top = ClampToInt32(top);
  r.Bottom = ClampToInt32(top + cellHeight_);
  return r;
}

void ListBox::ComputeLayout() {
  columns_ = grid_ && cellWidth_ > 0 ? std::max(1, clientWidth_ / cellWidth_) : 1;
  visibleRows_ = std::max(1, clientHeight_ / cellHeight_);
}

void ListBox::HideScrollBars() {
  if (host_) host_->SetScrollBars(ScrollInfo{}, ScrollInfo{});
}

bool ListBox::UpdateScrollBars() {
  if (count_ == 0) {
    HideScrollBars();
    return false;
  }
  const int32_t oldTop = topRow_, oldHorizontal = horizontalPos_;
  topRow_ = std::clamp(topRow_, 0, MaxTopRow());
  ScrollInfo vertical{true, 0, RowCount() - 1, visibleRows_, topRow_};
  ScrollInfo horizontal;
  if (cellWidth_ > 0) {
    horizontalPos_ = std::clamp(horizontalPos_, 0, std::max(0, cellWidth_ - clientWidth_));
    horizontal = ScrollInfo{true, 0, cellWidth_ - 1, clientWidth_, horizontalPos_};
  } else {
    horizontalPos_ = 0;
  }
  if (host_) host_->SetScrollBars(vertical, horizontal);
  return oldTop != topRow_ || oldHorizontal != horizontalPos_;
}

// Moves what is on screen after the positions changed from (oldTop,
// oldHorizontal); a page or more is cheaper to repaint than to move.
void ListBox::ScrollBy(int32_t oldTop, int32_t oldHorizontal) {
  if (!host_) return;
  const int32_t rows = oldTop - topRow_;
  const int32_t dx = oldHorizontal - horizontalPos_;
  if ((rows != 0 && (rows >= visibleRows_ || -rows >= visibleRows_)) ||
      (dx != 0 && (dx >= clientWidth_ || -dx >= clientWidth_))) {
    host_->Invalidate(nullptr);
    return;
  }
  if (rows != 0 || dx != 0) host_->ScrollContents(dx, rows * cellHeight_);
}

void ListBox::Clear() {
  if (count_ == 0) return;
  for (int32_t i = count_ - 1; i >= 0; --i) {
    items_[static_cast<size_t>(i)]->List = nullptr;
    items_[static_cast<size_t>(i)]->Index = -1;
    delete items_[static_cast<size_t>(i)];
  }
  Resize(0);
  count_ = 0;
  topRow_ = horizontalPos_ = 0;
  selectedCount_ = 0;
  focus_ = -1;
  HideScrollBars();
  Invalidate(nullptr);
}

bool ListBox::InsertAt(int32_t index, ListBoxItem* item) {
  if (!item || item->List || index < 0 || index > count_) return false;
  if (count_ == capacity_) {
    if (capacity_ > INT32_MAX - kCapacityStep || !Resize(capacity_ + kCapacityStep)) return false;
  }
  ListBoxItem** items = items_.get();
  std::copy_backward(items + index, items + count_, items + count_ + 1);
  items[index] = item;
  ++count_;
  for (int32_t i = index; i < count_; ++i) items[i]->Index = i;
  item->List = this;
  item->Selected = false;
  if (focus_ == -1) focus_ = 0;
  UpdateScrollBars();
  if (index == count_ - 1) {
    const mvRect cell = CellRect(index);
    Invalidate(&cell);
  } else {
    Invalidate(nullptr);
  }
  return true;
}

ListBoxItem* ListBox::RemoveAt(int32_t index) {
  if (index < 0 || index >= count_) return nullptr;
  ListBoxItem** items = items_.get();
  ListBoxItem* item = items[index];
  if (item->Selected) --selectedCount_;
  std::copy(items + index + 1, items + count_, items + index);
  --count_;
  for (int32_t i = index; i < count_; ++i) items[i]->Index = i;
  item->List = nullptr;
  item->Index = -1;
  // The focus stays on the item it was on; a removed focus item hands it to
  // the first, and the index never points past the end.
  if (focus_ == index) focus_ = 0;
  else if (focus_ > index) --focus_;
  const int32_t needed = (count_ + kCapacityStep - 1) / kCapacityStep * kCapacityStep;
  if (needed < capacity_) Resize(needed);  // a failed shrink keeps the larger array
  if (count_ == 0) {
    topRow_ = horizontalPos_ = 0;
    focus_ = -1;
    selectedCount_ = 0;
    HideScrollBars();
    Invalidate(nullptr);
    return item;
  }
  const bool wasLast = index == count_;
  const bool clamped = UpdateScrollBars();
  if (wasLast && !clamped) {
    const mvRect cell = CellRect(index);
    Invalidate(&cell);
  } else {
    Invalidate(nullptr);
  }
  return item;
}

bool ListBox::SetCellSize(int32_t width, int32_t height) {
  if (width == cellWidth_ && height == cellHeight_) return true;
  // A cell needs a height: every row computation divides by it.
  if (width < 0 || (width == 0 && grid_) || height < 1) return false;
  cellWidth_ = width;
  cellHeight_ = height;
  const int32_t oldColumns = columns_;
  ComputeLayout();
  if (count_ > 0) {
    horizontalPos_ = 0;
    if (columns_ != oldColumns)
      topRow_ = ClampToInt32((static_cast<int64_t>(topRow_) * oldColumns + columns_ - 1) / columns_);
    UpdateScrollBars();
  }
  Invalidate(nullptr);
  return true;
}

void ListBox::OnSize(int32_t clientWidth, int32_t clientHeight) {
  clientWidth_ = std::max(0, clientWidth);
  clientHeight_ = std::max(0, clientHeight);
  const int32_t oldColumns = columns_, oldTop = topRow_, oldHorizontal = horizontalPos_;
  ComputeLayout();
  if (count_ == 0) return;
  // New columns move every item; the row that now holds the first visible
  // item becomes the top row, so what the user was looking at stays in view.
  if (columns_ != oldColumns) topRow_ = ClampToInt32(static_cast<int64_t>(oldTop) * oldColumns / columns_);
  const bool clamped = UpdateScrollBars();
  if (columns_ != oldColumns) {
    Invalidate(nullptr);
  } else if (clamped) {
    ScrollBy(oldTop, oldHorizontal);
  }
  if (cellWidth_ == 0) InvalidateItem(focus_);
}

int32_t ListBox::GetSelection() const {
  if (selectedCount_ != 1) return -1;
  for (int32_t i = 0; i < count_; ++i)
    if (items_[static_cast<size_t>(i)]->Selected) return i;
  return -1;
}

void ListBox::Select(int32_t index, bool selected) {
  ListBoxItem* item = Item(index);
  if (!item || item->Selected == selected) return;
  item->Selected = selected;
  selectedCount_ += selected ? 1 : -1;
  InvalidateItem(index);
}

void ListBox::SelectFirst() {
  if (count_ == 0 || items_[0]->Selected) return;
  if (!multiSelect_) DeselectAll();
  Select(0, true);
}

void ListBox::SelectOnly(int32_t index) {
  if (index < 0 || index >= count_) return;
  for (int32_t i = 0; i < count_ && selectedCount_ > (items_[static_cast<size_t>(index)]->Selected ? 1 : 0); ++i)
    if (i != index) Select(i, false);
  Select(index, true);
  const int32_t oldFocus = focus_;
  focus_ = index;
  InvalidateItem(oldFocus);
  EnsureVisible(index);
}

void ListBox::OnContextKey() {
  if (count_ == 0) return;
  int32_t index = focus_ >= 0 && focus_ < count_ ? focus_ : 0;
  if (selectedCount_ == 0) {
    SelectOnly(index);
    Notify(NotifyClick);
  } else if (!items_[static_cast<size_t>(index)]->Selected) {
    index = GetSelection();
    if (index < 0) return;  // several selected elsewhere: no single item to offer
  }
  EnsureVisible(index);
  const mvRect cell = CellRect(index);
  items_[static_cast<size_t>(index)]->OnContextMenu((cell.Right - cell.Left) / 2, (cell.Bottom - cell.Top) / 2);
}

void ListBox::DeselectAll() {
  for (int32_t i = 0; i < count_ && selectedCount_ > 0; ++i) Select(i, false);
}

void ListBox::InvalidateItem(int32_t index) {
  if (index < 0 || index >= count_) return;
  const mvRect cell = CellRect(index);
  Invalidate(&cell);
}

void ListBox::EnsureVisible(int32_t index) {
  if (index < 0 || index >= count_) return;
  const int32_t row = index / columns_;
  if (row < topRow_) ScrollToRow(row);
  else if (row >= topRow_ + visibleRows_) ScrollToRow(row - visibleRows_ + 1);
}

void ListBox::ScrollToRow(int32_t row) {
  row = std::clamp(row, 0, MaxTopRow());
  if (row == topRow_) return;
  const int32_t oldTop = topRow_;
  topRow_ = row;
  UpdateScrollBars();
  ScrollBy(oldTop, horizontalPos_);
}

void ListBox::SetHorizontalPosition(int32_t pos) {
  if (cellWidth_ <= 0 || count_ == 0) return;
  pos = std::clamp(pos, 0, std::max(0, cellWidth_ - clientWidth_));
  if (pos == horizontalPos_) return;
  const int32_t old = horizontalPos_;
  horizontalPos_ = pos;
  UpdateScrollBars();
  ScrollBy(topRow_, old);
}

int32_t ListBox::HitTest(int32_t x, int32_t y) const {
  if (x < 0 || y < 0) return -1;
  if (cellWidth_ > 0 && static_cast<int64_t>(x) >= static_cast<int64_t>(columns_) * cellWidth_) return -1;
  const int64_t row = y / cellHeight_ + static_cast<int64_t>(topRow_);
  const int64_t index = columns_ == 1 ? row : x / cellWidth_ + columns_ * row;
  return index >= 0 && index < count_ ? static_cast<int32_t>(index) : -1;
}

void ListBox::OnMouseDown(int32_t x, int32_t y, bool right, bool shift, bool ctrl) {
  if (host_) host_->TakeFocus();
  if (count_ == 0) return;
  const int32_t index = HitTest(x, y);
  if (index < 0) {
    if (!keepOne_) DeselectAll();
    Notify(NotifyClick);
    if (right) Notify(NotifyRightEmpty);
    return;
  }
  const int32_t cellX = cellWidth_ > 0 ? (x + horizontalPos_) % cellWidth_ : x;
  const int32_t cellY = y % cellHeight_;
  ListBoxItem* item = items_[static_cast<size_t>(index)];
  if (!right && !item->OnMouseDown(cellX, cellY)) return;

  if (shift && multiSelect_) {
    if (!ctrl) DeselectAll();
    const int32_t from = focus_ >= 0 && focus_ < count_ ? focus_ : index;
    for (int32_t i = std::min(from, index); i <= std::max(from, index); ++i) Select(i, true);
  } else if (ctrl) {
    if (!item->Selected && (multiSelect_ || selectedCount_ == 0)) Select(index, true);
    else if (item->Selected && (!keepOne_ || selectedCount_ > 1)) Select(index, false);
  } else {
    const bool onlySelected = item->Selected && selectedCount_ == 1;
    if (onlySelected && focus_ == index) {
      if (right) item->OnContextMenu(cellX, cellY);
      return;
    }
    if ((!right || !item->Selected) && !onlySelected) {
      DeselectAll();
      Select(index, true);
    }
  }

  const int32_t oldFocus = focus_;
  focus_ = index;
  if (oldFocus != index) InvalidateItem(oldFocus);
  InvalidateItem(index);
  Notify(NotifyClick);
  // The parent may have changed the list while handling the notification.
  if (right && index < count_) items_[static_cast<size_t>(index)]->OnContextMenu(cellX, cellY);
}

void ListBox::OnKeyDown(int32_t key, bool ctrl) {
  if (count_ == 0) return;
  if (focus_ < 0 || focus_ >= count_) focus_ = 0;
  switch (key) {
    case KeySpace: {
      ListBoxItem* item = items_[static_cast<size_t>(focus_)];
      if (ctrl && multiSelect_) {
        if (!item->Selected) Select(focus_, true);
        else if (!keepOne_ || selectedCount_ > 1) Select(focus_, false);
      } else {
        if (item->Selected && selectedCount_ == 1) return;
        DeselectAll();
        Select(focus_, true);
      }
      EnsureVisible(focus_);
      InvalidateItem(focus_);
      Notify(NotifyClick);
      return;
    }
    case KeyLeft:
    case KeyRight:
    case KeyUp:
    case KeyDown: {
      int64_t target = focus_;
      if (key == KeyLeft) target -= 1;
      if (key == KeyRight) target += 1;
      if (key == KeyUp) target -= columns_;
      if (key == KeyDown) target += columns_;
      if (target < 0 || target >= count_) return;
      const int32_t oldFocus = focus_;
      focus_ = static_cast<int32_t>(target);
      EnsureVisible(focus_);
      InvalidateItem(oldFocus);
      InvalidateItem(focus_);
      if (!multiSelect_) {
        DeselectAll();
        Select(focus_, true);
        Notify(NotifyClick);
      }
      return;
    }
    case KeyPageUp: OnVScroll(ScrollPageUp, 0); return;
    case KeyPageDown: OnVScroll(ScrollPageDown, 0); return;
    case KeyHome: OnVScroll(ScrollTop, 0); return;
    case KeyEnd: OnVScroll(ScrollBottom, 0); return;
    default: return;
  }
}

void ListBox::OnWheel(int32_t delta) {
  if (delta > 0) ScrollToRow(topRow_ - 1);
  else if (delta < 0) ScrollToRow(topRow_ + 1);
}

void ListBox::OnVScroll(int32_t request, int32_t trackPos) {
  switch (request) {
    case ScrollLineUp: ScrollToRow(topRow_ - 1); break;
    case ScrollLineDown: ScrollToRow(topRow_ + 1); break;
    case ScrollPageUp: ScrollToRow(topRow_ - visibleRows_); break;
    case ScrollPageDown: ScrollToRow(topRow_ + visibleRows_); break;
    case ScrollThumbTrack: ScrollToRow(trackPos); break;
    case ScrollTop: ScrollToRow(0); break;
    case ScrollBottom: ScrollToRow(MaxTopRow()); break;
    default: break;  // the final thumb position: tracking already moved there
  }
}

void ListBox::OnHScroll(int32_t request, int32_t trackPos) {
  switch (request) {
    case ScrollLineUp: SetHorizontalPosition(horizontalPos_ - 1); break;
    case ScrollLineDown: SetHorizontalPosition(horizontalPos_ + 1); break;
    case ScrollPageUp: SetHorizontalPosition(horizontalPos_ - clientWidth_); break;
    case ScrollPageDown: SetHorizontalPosition(horizontalPos_ + clientWidth_); break;
    case ScrollThumbTrack: SetHorizontalPosition(trackPos); break;
    default: break;
  }
}

void ListBox::OnFocusChanged() {
  if (count_ > 0) {
    InvalidateItem(focus_);
  } else {
    const mvRect cell = CellRect(0);
    Invalidate(&cell);
  }
}

void ListBox::Paint(Device& device, const mvRect& update) {
  const bool focused = host_ && host_->HasFocus();
  if (count_ == 0) {
    if (focused) device.DrawFocusRect(CellRect(0));
    return;
  }
  if (update.Bottom <= 0 || update.Right <= 0) return;
  const int64_t columnsRight = static_cast<int64_t>(columns_) * cellWidth_ - horizontalPos_;
  if (cellWidth_ > 0 && update.Left >= columnsRight) return;
  const int32_t firstRow = topRow_ + std::max(0, update.Top) / cellHeight_;
  const int32_t lastRow = static_cast<int32_t>(
      std::min<int64_t>(RowCount() - 1, topRow_ + static_cast<int64_t>(update.Bottom - 1) / cellHeight_));
  int32_t firstColumn = 0, lastColumn = 0;
  if (cellWidth_ > 0) {
    firstColumn = static_cast<int32_t>((static_cast<int64_t>(std::max(0, update.Left)) + horizontalPos_) / cellWidth_);
    lastColumn = static_cast<int32_t>(
        std::min<int64_t>(columns_ - 1, (static_cast<int64_t>(update.Right) - 1 + horizontalPos_) / cellWidth_));
  }
  for (int32_t row = firstRow; row <= lastRow; ++row) {
    for (int32_t column = firstColumn; column <= lastColumn; ++column) {
      const int64_t index = static_cast<int64_t>(row) * columns_ + column;
      if (index >= count_) break;
      const mvRect cell = CellRect(static_cast<int32_t>(index));
      ListBoxItem* item = items_[static_cast<size_t>(index)];
      item->Draw(device, cell);
      if (index == focus_ && focused) item->DrawFocus(device, cell);
    }
  }
}

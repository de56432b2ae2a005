#pragma once
#include <cstdint>
#include <memory>

#include "app/toolkit/device.h"
#include "app/toolkit/events.h"
#include "core/picture.h"

class ListBox;

// One entry of a list box. The list owns it from InsertAt until RemoveAt hands
// it back or the list is cleared or destroyed.
class ListBoxItem {
public:
  virtual ~ListBoxItem() = default;
  virtual void Draw(Device& device, const mvRect& cell) = 0;
  virtual void DrawFocus(Device& device, const mvRect& cell) { device.DrawFocusRect(cell); }
  // A left press at (x, y) relative to the cell; false refuses the click.
  virtual bool OnMouseDown(int32_t x, int32_t y) {
    (void)x;
    (void)y;
    return true;
  }
  // A right press at (x, y) relative to the cell, after the selection was updated.
  // It may open a modal menu whose command removes this very item, so the list
  // touches nothing of the item after the call.
  virtual void OnContextMenu(int32_t x, int32_t y) {
    (void)x;
    (void)y;
  }

  ListBox* List = nullptr;
  int32_t Index = -1;
  bool Selected = false;
};

// What the list needs from the window that shows it.
class ListBoxHost {
public:
  virtual ~ListBoxHost() = default;
  virtual void Invalidate(const mvRect* rect) = 0;  // null: everything
  virtual void ScrollContents(int32_t dx, int32_t dy) = 0;
  virtual void SetScrollBars(const ScrollInfo& vertical, const ScrollInfo& horizontal) = 0;
  virtual void Notify(int32_t code) = 0;
  virtual void TakeFocus() = 0;
  virtual bool HasFocus() const = 0;
};

// The owner-drawn grid of equal cells that shows a form's thumbnails, without
// any windowing: the host widget passes events in and carries out repaints,
// scrolls and notifications.
class ListBox {
public:
  enum : uint32_t { StyleGrid = 1, StyleMultiSelect = 2, StyleKeepOne = 4 };
  enum : int32_t { NotifyClick = 1, NotifyRightEmpty = 3 };
  static constexpr int32_t kCapacityStep = 32;

  explicit ListBox(uint32_t style = StyleGrid);
  ~ListBox();
  ListBox(const ListBox&) = delete;
  ListBox& operator=(const ListBox&) = delete;

  void SetHost(ListBoxHost* host) { host_ = host; }

  void Clear();
  // Takes ownership of item on success; on failure the caller keeps it.
  bool InsertAt(int32_t index, ListBoxItem* item);
  // Detaches and returns the item (the caller owns it), or null when out of range.
  ListBoxItem* RemoveAt(int32_t index);
  bool SetCellSize(int32_t width, int32_t height);
  int32_t GetSelection() const;
  void SelectFirst();
  // Makes index the one selected item and the focus, scrolled into view (no
  // notification: the caller acts on the change itself).
  void SelectOnly(int32_t index);
  void DeselectAll();
  void InvalidateItem(int32_t index);
  void EnsureVisible(int32_t index);
  void ScrollToRow(int32_t row);
  int32_t HitTest(int32_t x, int32_t y) const;

  // Events from the host window.
  void OnSize(int32_t clientWidth, int32_t clientHeight);
  void OnMouseDown(int32_t x, int32_t y, bool right, bool shift, bool ctrl);
  void OnKeyDown(int32_t key, bool ctrl);
  // The context-menu key (Menu, Shift+F10): the menu of the focus item, which
  // becomes the selection when nothing is selected, opened at its cell's centre.
  void OnContextKey();
  void OnWheel(int32_t delta);  // positive: turned away from the user
  void OnVScroll(int32_t request, int32_t trackPos);
  void OnHScroll(int32_t request, int32_t trackPos);
  // Gaining or losing the keyboard focus repaints its indication.
  void OnFocusChanged();
  void Paint(Device& device, const mvRect& update);

  int32_t Count() const { return count_; }
  ListBoxItem* Item(int32_t index) const;
  int32_t CellWidth() const { return cellWidth_; }
  int32_t CellHeight() const { return cellHeight_; }
  int32_t Columns() const { return columns_; }
  int32_t VisibleRows() const { return visibleRows_; }
  int32_t TopRow() const { return topRow_; }
  int32_t HorizontalPosition() const { return horizontalPos_; }
  int32_t Focus() const { return focus_; }
  int32_t SelectedCount() const { return selectedCount_; }
  int32_t Capacity() const { return capacity_; }
  int32_t ClientWidth() const { return clientWidth_; }
  int32_t ClientHeight() const { return clientHeight_; }
  bool Grid() const { return grid_; }
  bool MultiSelect() const { return multiSelect_; }
  bool KeepOne() const { return keepOne_; }

  int32_t RowCount() const;
  int32_t MaxTopRow() const;
  mvRect CellRect(int32_t index) const;

private:
  bool Resize(int32_t newCapacity);
  void Select(int32_t index, bool selected);
  void ComputeLayout();
  // Lays out both bars; true when the positions had to be clamped.
  bool UpdateScrollBars();
  void SetHorizontalPosition(int32_t pos);
  void ScrollBy(int32_t oldTop, int32_t oldHorizontal);
  void HideScrollBars();
  void Invalidate(const mvRect* rect) {
    if (host_) host_->Invalidate(rect);
  }
  void Notify(int32_t code) {
    if (host_) host_->Notify(code);
  }

  ListBoxHost* host_ = nullptr;
  int32_t count_ = 0;
  std::unique_ptr<ListBoxItem*[]> items_;
  int32_t capacity_ = 0;
  int32_t cellWidth_ = 32;
  int32_t cellHeight_ = 32;
  int32_t horizontalPos_ = 0;
  int32_t topRow_ = 0;
  int32_t columns_ = 1;
  int32_t visibleRows_ = 1;
  int32_t focus_ = -1;
  int32_t selectedCount_ = 0;
  bool grid_ = true;
  bool multiSelect_ = false;
  bool keepOne_ = false;
  int32_t clientWidth_ = 0;
  int32_t clientHeight_ = 0;
};

#pragma once
#include <string>
#include <vector>

#include "app/toolkit/list_box.h"
#include "app/toolkit/picture_view.h"

// Records what the list asks of its window, in order.
struct FakeListHost : ListBoxHost {
  void Invalidate(const mvRect* rect) override {
    if (rect) Rects.push_back(*rect);
    else ++AllRepaints;
  }
  void ScrollContents(int32_t dx, int32_t dy) override { Scrolls.push_back({dx, dy}); }
  void SetScrollBars(const ScrollInfo& vertical, const ScrollInfo& horizontal) override {
    Vertical = vertical;
    Horizontal = horizontal;
  }
  void Notify(int32_t code) override {
    Notifications.push_back(code);
    if (Log) Log->push_back("notify " + std::to_string(code));
  }
  void TakeFocus() override { Focused = true; }
  bool HasFocus() const override { return Focused; }
  void Reset() {
    Rects.clear();
    AllRepaints = 0;
    Scrolls.clear();
    Notifications.clear();
  }

  std::vector<mvRect> Rects;
  int AllRepaints = 0;
  std::vector<std::pair<int32_t, int32_t>> Scrolls;
  std::vector<int32_t> Notifications;
  ScrollInfo Vertical, Horizontal;
  bool Focused = false;
  std::vector<std::string>* Log = nullptr;
};

struct FakeItem : ListBoxItem {
  explicit FakeItem(std::vector<std::string>* log = nullptr, bool* destroyed = nullptr)
      : log_(log), destroyed_(destroyed) {}
  ~FakeItem() override {
    if (destroyed_) *destroyed_ = true;
  }
  void Draw(Device& device, const mvRect& cell) override {
    ++Draws;
    device.FillRect(cell, 0x102030);
  }
  void DrawFocus(Device&, const mvRect&) override { ++FocusDraws; }
  bool OnMouseDown(int32_t, int32_t) override { return AcceptClick; }
  void OnContextMenu(int32_t x, int32_t y) override {
    ++Menus;
    MenuX = x;
    MenuY = y;
    if (log_) log_->push_back("menu " + std::to_string(Index));
  }

  int Draws = 0, FocusDraws = 0, Menus = 0;
  int32_t MenuX = -1, MenuY = -1;
  bool AcceptClick = true;

private:
  std::vector<std::string>* log_;
  bool* destroyed_;
};

struct FakeViewHost : PictureViewHost {
  void Invalidate(const mvRect* rect) override {
    if (!rect) ++AllRepaints;
  }
  void ScrollContents(int32_t dx, int32_t dy) override { Scrolls.push_back({dx, dy}); }
  void Notify(int32_t code) override { Notifications.push_back(code); }
  void GetAvailableArea(int32_t& width, int32_t& height) const override {
    width = AreaWidth;
    height = AreaHeight;
  }
  int32_t VerticalBarWidth() const override { return BarWidth; }
  int32_t HorizontalBarHeight() const override { return BarHeight; }
  void SetScrollBars(const ScrollInfo& vertical, const ScrollInfo& horizontal) override {
    Vertical = vertical;
    Horizontal = horizontal;
  }

  int32_t AreaWidth = 200, AreaHeight = 200, BarWidth = 17, BarHeight = 15;
  int AllRepaints = 0;
  std::vector<std::pair<int32_t, int32_t>> Scrolls;
  std::vector<int32_t> Notifications;
  ScrollInfo Vertical, Horizontal;
};

#pragma once
#include <cstdint>
#include <memory>

#include "app/toolkit/device.h"
#include "app/toolkit/events.h"
#include "app/toolkit/picture_drawer.h"
#include "core/picture.h"

// Optional hooks a picture view's user may attach; the view owns it.
class PictureViewHandler {
public:
  virtual ~PictureViewHandler() = default;
  virtual void PictureAttached() {}
  virtual void LeftButtonDown(int32_t, int32_t) {}
  virtual void LeftButtonUp(int32_t, int32_t) {}
  virtual void LeftDoubleClick(int32_t, int32_t) {}
  virtual void MouseMove(int32_t, int32_t) {}
  virtual void RightButtonDown(int32_t, int32_t) {}
  virtual void RightButtonUp(int32_t, int32_t) {}
  virtual void RightDoubleClick(int32_t, int32_t) {}
  virtual void KeyDown(int32_t) {}
  virtual void KeyUp(int32_t) {}
  virtual void PaintOverlay(Device&, const mvRect&) {}
  // True when it set a cursor itself.
  virtual bool SetCursor() { return false; }
};

// What the view needs from the window that shows it.
class PictureViewHost {
public:
  virtual ~PictureViewHost() = default;
  virtual void Invalidate(const mvRect* rect) = 0;  // null: everything
  virtual void ScrollContents(int32_t dx, int32_t dy) = 0;
  virtual void Notify(int32_t code) = 0;
  // The window less its border, without scroll bars.
  virtual void GetAvailableArea(int32_t& width, int32_t& height) const = 0;
  virtual int32_t VerticalBarWidth() const = 0;
  virtual int32_t HorizontalBarHeight() const = 0;
  virtual void SetScrollBars(const ScrollInfo& vertical, const ScrollInfo& horizontal) = 0;
};

// A scrolling, zooming view of one picture (not owned), without any windowing:
// scroll positions are in picture pixels, the zoom in percent.
class PictureView {
public:
  enum : int32_t { NotifyZoom = 1, NotifyRightButton = 3, NotifyMouseMove = 4, NotifyNonClientMouseMove = 5 };
  static constexpr int32_t kMinZoom = 10;
  static constexpr int32_t kMaxZoom = 1000;
  static constexpr int32_t kWheelNotch = 120;

  void SetHost(PictureViewHost* host) { host_ = host; }
  void SetHandler(std::unique_ptr<PictureViewHandler> handler) { handler_ = std::move(handler); }
  PictureViewHandler* Handler() const { return handler_.get(); }

  void SetPicture(const mvPicture* picture);
  const mvPicture* Picture() const { return picture_; }
  void SetZoom(int32_t percent);
  int32_t Zoom() const { return zoom_; }
  int32_t ScrollX() const { return scrollX_; }
  int32_t ScrollY() const { return scrollY_; }
  int32_t ClientWidth() const { return clientWidth_; }
  int32_t ClientHeight() const { return clientHeight_; }
  bool LayoutInProgress() const { return layoutInProgress_; }
  const ScrollInfo& VerticalBar() const { return vertical_; }
  const ScrollInfo& HorizontalBar() const { return horizontal_; }

  // Picture pixels that fit the client area, rounded up.
  int32_t VisibleWidth() const;
  int32_t VisibleHeight() const;
  int32_t LineStep() const;

  // Lays out the scroll bars for the host's area; true when the positions were clamped.
  bool Layout();

  // Events from the host window.
  void OnSize();
  void OnHScroll(int32_t request, int32_t trackPos);
  void OnVScroll(int32_t request, int32_t trackPos);
  // delta as the wheel reports it: positive turned away from the user, 120 a notch.
  void OnWheel(int32_t delta, bool shift, bool ctrl);
  void OnKeyDown(int32_t key, int32_t rawKey);
  void OnKeyUp(int32_t rawKey);
  void OnMouseMove(int32_t x, int32_t y);
  void OnNonClientMouseMove();
  void OnLeftButtonDown(int32_t x, int32_t y);
  void OnLeftButtonUp(int32_t x, int32_t y);
  void OnLeftDoubleClick(int32_t x, int32_t y);
  void OnRightButtonDown(int32_t x, int32_t y);
  void OnRightButtonUp(int32_t x, int32_t y);
  void OnRightDoubleClick(int32_t x, int32_t y);
  void Paint(Device& device, const PictureDrawer& drawer, const mvRect& update);

  int32_t EnlargementMode = PictureDrawer::ModeNearest;
  int32_t ReductionMode = PictureDrawer::ModeAreaAverage;
  int32_t WheelStep = 32;
  int32_t ZoomStep = 10;
  uint32_t Background = MakeRGB(128, 128, 128);

private:
  void ScrollTo(int32_t x, int32_t y);
  void ScrollFrom(int32_t oldX, int32_t oldY);
  void Invalidate(const mvRect* rect) {
    if (host_) host_->Invalidate(rect);
  }
  void Notify(int32_t code) {
    if (host_) host_->Notify(code);
  }

  PictureViewHost* host_ = nullptr;
  const mvPicture* picture_ = nullptr;
  int32_t scrollX_ = 0;
  int32_t scrollY_ = 0;
  int32_t zoom_ = 100;
  std::unique_ptr<PictureViewHandler> handler_;
  bool layoutInProgress_ = false;
  int32_t clientWidth_ = 0;
  int32_t clientHeight_ = 0;
  ScrollInfo vertical_;
  ScrollInfo horizontal_;
};

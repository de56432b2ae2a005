#include "app/toolkit/picture_view.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace {

int32_t ClampToInt32(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

// Picture pixels covering size screen pixels at zoom percent, rounded up.
int32_t PictureSpan(int32_t size, int32_t zoom) {
  return ClampToInt32((static_cast<int64_t>(std::max(size, 0)) * 100 + zoom - 1) / zoom);
}

}  // namespace

int32_t PictureView::VisibleWidth() const { return PictureSpan(clientWidth_, zoom_); }
int32_t PictureView::VisibleHeight() const { return PictureSpan(clientHeight_, zoom_); }
int32_t PictureView::LineStep() const { return zoom_ >= 100 ? 1 : (zoom_ + 99) / zoom_; }

void PictureView::SetPicture(const mvPicture* picture) {
  picture_ = picture && !picture->IsEmpty() ? picture : nullptr;
  scrollX_ = scrollY_ = 0;
  if (handler_) handler_->PictureAttached();
  Layout();
  Invalidate(nullptr);
}

void PictureView::SetZoom(int32_t percent) {
  percent = std::clamp(percent, kMinZoom, kMaxZoom);
  if (percent == zoom_) return;
  zoom_ = percent;
  if (!picture_) return;
  Layout();
  Invalidate(nullptr);
  Notify(NotifyZoom);
}

bool PictureView::Layout() {
  int32_t width = 0, height = 0;
  if (host_) host_->GetAvailableArea(width, height);
  width = std::max(width, 0);
  height = std::max(height, 0);
  const int32_t oldX = scrollX_, oldY = scrollY_;
  layoutInProgress_ = true;
  vertical_ = ScrollInfo{};
  horizontal_ = ScrollInfo{};
  if (picture_) {
    const int32_t barWidth = host_ ? host_->VerticalBarWidth() : 0;
    const int32_t barHeight = host_ ? host_->HorizontalBarHeight() : 0;
    // The horizontal bar takes height, which may call for the vertical one,
    // whose width may in turn call for the horizontal one.
    bool horizontal = picture_->Width > PictureSpan(width, zoom_);
    if (horizontal) height = std::max(0, height - barHeight);
    const bool vertical = picture_->Height > PictureSpan(height, zoom_);
    if (vertical) {
      width = std::max(0, width - barWidth);
      if (!horizontal && picture_->Width > PictureSpan(width, zoom_)) {
        horizontal = true;
        height = std::max(0, height - barHeight);
      }
    }
    clientWidth_ = width;
    clientHeight_ = height;
    scrollX_ = std::clamp(scrollX_, 0, std::max(0, picture_->Width - VisibleWidth()));
    scrollY_ = std::clamp(scrollY_, 0, std::max(0, picture_->Height - VisibleHeight()));
    if (horizontal) horizontal_ = ScrollInfo{true, 0, picture_->Width - 1, VisibleWidth(), scrollX_};
    if (vertical) vertical_ = ScrollInfo{true, 0, picture_->Height - 1, VisibleHeight(), scrollY_};
  } else {
    clientWidth_ = width;
    clientHeight_ = height;
    scrollX_ = scrollY_ = 0;
  }
  if (host_) host_->SetScrollBars(vertical_, horizontal_);
  layoutInProgress_ = false;
  return oldX != scrollX_ || oldY != scrollY_;
}

void PictureView::OnSize() {
  // Showing or hiding a bar during the layout resizes the client area; the
  // layout has already accounted for that.
  if (layoutInProgress_) return;
  const int32_t oldX = scrollX_, oldY = scrollY_;
  if (Layout()) ScrollFrom(oldX, oldY);
}

void PictureView::ScrollTo(int32_t x, int32_t y) {
  if (!picture_) return;
  x = std::clamp(x, 0, std::max(0, picture_->Width - VisibleWidth()));
  y = std::clamp(y, 0, std::max(0, picture_->Height - VisibleHeight()));
  if (x == scrollX_ && y == scrollY_) return;
  const int32_t oldX = scrollX_, oldY = scrollY_;
  scrollX_ = x;
  scrollY_ = y;
  horizontal_.Pos = x;
  vertical_.Pos = y;
  if (host_) host_->SetScrollBars(vertical_, horizontal_);
  ScrollFrom(oldX, oldY);
}

// Moving the window contents is exact only when a picture pixel covers whole
// screen pixels; otherwise, or for a page or more, everything repaints.
void PictureView::ScrollFrom(int32_t oldX, int32_t oldY) {
  if (!host_) return;
  const int64_t dx = (static_cast<int64_t>(oldX) - scrollX_) * zoom_ / 100;
  const int64_t dy = (static_cast<int64_t>(oldY) - scrollY_) * zoom_ / 100;
  if (zoom_ % 100 == 0 && std::llabs(dx) < clientWidth_ && std::llabs(dy) < clientHeight_)
    host_->ScrollContents(static_cast<int32_t>(dx), static_cast<int32_t>(dy));
  else host_->Invalidate(nullptr);
}

void PictureView::OnHScroll(int32_t request, int32_t trackPos) {
  int64_t x = scrollX_;
  switch (request) {
    case ScrollLineUp: x -= LineStep(); break;
    case ScrollLineDown: x += LineStep(); break;
    case ScrollPageUp: x -= VisibleWidth(); break;
    case ScrollPageDown: x += VisibleWidth(); break;
    case ScrollThumbTrack: x = trackPos; break;
    default: return;
  }
  ScrollTo(ClampToInt32(x), scrollY_);
}

void PictureView::OnVScroll(int32_t request, int32_t trackPos) {
  int64_t y = scrollY_;
  switch (request) {
    case ScrollLineUp: y -= LineStep(); break;
    case ScrollLineDown: y += LineStep(); break;
    case ScrollPageUp: y -= VisibleHeight(); break;
    case ScrollPageDown: y += VisibleHeight(); break;
    case ScrollThumbTrack: y = trackPos; break;
    case ScrollTop: y = 0; break;
    case ScrollBottom: y = INT32_MAX; break;
    default: return;
  }
  ScrollTo(scrollX_, ClampToInt32(y));
}

void PictureView::OnWheel(int32_t delta, bool shift, bool ctrl) {
  if (delta == 0) return;
  // Fine-grained wheels report parts of a notch; each event still moves by one.
  int64_t notches = delta / kWheelNotch;
  if (notches == 0) notches = delta > 0 ? 1 : -1;
  if (shift && ctrl) {
    SetZoom(ClampToInt32(zoom_ - notches * ZoomStep));
    return;
  }
  const int64_t step = static_cast<int64_t>(WheelStep) * (zoom_ < 100 ? (zoom_ + 99) / zoom_ : 1);
  if (shift) ScrollTo(ClampToInt32(scrollX_ - notches * step), scrollY_);
  else ScrollTo(scrollX_, ClampToInt32(scrollY_ - notches * step));
}

void PictureView::OnKeyDown(int32_t key, int32_t rawKey) {
  switch (key) {
    case KeyLeft: OnHScroll(ScrollLineUp, 0); return;
    case KeyRight: OnHScroll(ScrollLineDown, 0); return;
    case KeyUp: OnVScroll(ScrollLineUp, 0); return;
    case KeyDown: OnVScroll(ScrollLineDown, 0); return;
    case KeyPageUp: OnVScroll(ScrollPageUp, 0); return;
    case KeyPageDown: OnVScroll(ScrollPageDown, 0); return;
    case KeyHome: OnVScroll(ScrollTop, 0); return;
    case KeyEnd: OnVScroll(ScrollBottom, 0); return;
    default:
      if (handler_) handler_->KeyDown(rawKey);
      return;
  }
}

void PictureView::OnKeyUp(int32_t rawKey) {
  if (handler_) handler_->KeyUp(rawKey);
}

void PictureView::OnMouseMove(int32_t x, int32_t y) {
  if (handler_) handler_->MouseMove(x, y);
  Notify(NotifyMouseMove);
}

void PictureView::OnNonClientMouseMove() { Notify(NotifyNonClientMouseMove); }

void PictureView::OnLeftButtonDown(int32_t x, int32_t y) {
  if (handler_) handler_->LeftButtonDown(x, y);
}
void PictureView::OnLeftButtonUp(int32_t x, int32_t y) {
  if (handler_) handler_->LeftButtonUp(x, y);
}
void PictureView::OnLeftDoubleClick(int32_t x, int32_t y) {
  if (handler_) handler_->LeftDoubleClick(x, y);
}
void PictureView::OnRightButtonDown(int32_t x, int32_t y) {
  if (handler_) handler_->RightButtonDown(x, y);
  Notify(NotifyRightButton);
}
void PictureView::OnRightButtonUp(int32_t x, int32_t y) {
  if (handler_) handler_->RightButtonUp(x, y);
}
void PictureView::OnRightDoubleClick(int32_t x, int32_t y) {
  if (handler_) handler_->RightDoubleClick(x, y);
}

void PictureView::Paint(Device& device, const PictureDrawer& drawer, const mvRect& update) {
  if (!picture_) {
    device.FillRect(update, Background);
    return;
  }
  const mvPicture& picture = *picture_;
  int32_t extentWidth, extentHeight;  // screen size of the picture from the scroll position on
  if (zoom_ == 100) {
    extentWidth = picture.Width - scrollX_;
    extentHeight = picture.Height - scrollY_;
    const int32_t left = std::max(update.Left, 0), top = std::max(update.Top, 0);
    const int32_t right = std::min(update.Right, extentWidth), bottom = std::min(update.Bottom, extentHeight);
    if (right > left && bottom > top)
      drawer.Draw(device, left, top, scrollX_ + left, scrollY_ + top, right - left, bottom - top, picture);
  } else {
    extentWidth = std::max(1, ClampToInt32(static_cast<int64_t>(picture.Width - scrollX_) * zoom_ / 100));
    extentHeight = std::max(1, ClampToInt32(static_cast<int64_t>(picture.Height - scrollY_) * zoom_ / 100));
    drawer.DrawScaled(device, update, picture, scrollX_, scrollY_, extentWidth, extentHeight,
                      zoom_ < 100 ? ReductionMode : EnlargementMode);
  }
  if (update.Right > extentWidth)
    device.FillRect({std::max(update.Left, extentWidth), update.Top, update.Right, update.Bottom}, Background);
  if (update.Bottom > extentHeight)
    device.FillRect(
        {update.Left, std::max(update.Top, extentHeight), std::min(update.Right, extentWidth), update.Bottom},
        Background);
  if (picture.HasWorkRect) {
    auto toScreenX = [&](int32_t v) { return ClampToInt32((static_cast<int64_t>(v) - scrollX_) * zoom_ / 100); };
    auto toScreenY = [&](int32_t v) { return ClampToInt32((static_cast<int64_t>(v) - scrollY_) * zoom_ / 100); };
    device.InvertFrame({toScreenX(picture.WorkRect.Left), toScreenY(picture.WorkRect.Top),
                        toScreenX(picture.WorkRect.Right), toScreenY(picture.WorkRect.Bottom)});
  }
  if (handler_) handler_->PaintOverlay(device, update);
}

#include "app/widgets/picture_view_widget.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>

#include "app/widgets/list_box_widget.h"
#include "app/widgets/qt_device.h"

namespace {

void ApplyTo(QScrollBar* bar, const ScrollInfo& info) {
  const int last = std::max(
      info.Min, static_cast<int>(std::min<int64_t>(INT32_MAX, static_cast<int64_t>(info.Max) - info.Page + 1)));
  bar->setRange(info.Min, last);
  bar->setPageStep(std::max(info.Page, 1));
  bar->setSingleStep(1);
  bar->setValue(info.Pos);
}

}  // namespace

PictureViewWidget::PictureViewWidget(QWidget* parent) : QAbstractScrollArea(parent) {
  setProperty("controlId", kControlId);
  setFocusPolicy(Qt::StrongFocus);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  viewport()->setMouseTracking(true);
  for (QScrollBar* bar : {horizontalScrollBar(), verticalScrollBar()}) {
    bar->setMouseTracking(true);
    bar->installEventFilter(this);
  }
  const QColor workspace = palette().color(QPalette::Dark);
  view_.Background = MakeRGB(static_cast<uint32_t>(workspace.red()), static_cast<uint32_t>(workspace.green()),
                             static_cast<uint32_t>(workspace.blue()));
  view_.SetHost(this);
  view_.Layout();
}

PictureViewWidget::~PictureViewWidget() { view_.SetHost(nullptr); }

void PictureViewWidget::Invalidate(const mvRect* rect) {
  if (rect) viewport()->update(ToQRect(*rect));
  else viewport()->update();
}

void PictureViewWidget::ScrollContents(int32_t dx, int32_t dy) { viewport()->scroll(dx, dy); }
void PictureViewWidget::Notify(int32_t code) { emit notification(code); }

void PictureViewWidget::GetAvailableArea(int32_t& width, int32_t& height) const {
  const QRect area = contentsRect();
  width = area.width();
  height = area.height();
}

int32_t PictureViewWidget::VerticalBarWidth() const {
  return style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
}

int32_t PictureViewWidget::HorizontalBarHeight() const {
  return style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
}

void PictureViewWidget::SetScrollBars(const ScrollInfo& vertical, const ScrollInfo& horizontal) {
  // Showing or hiding a bar resizes the viewport; the view's layout flag makes
  // it ignore those sizes, and the guard keeps bar values from echoing back.
  applying_ = true;
  ApplyTo(verticalScrollBar(), vertical);
  ApplyTo(horizontalScrollBar(), horizontal);
  setVerticalScrollBarPolicy(vertical.Visible ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  setHorizontalScrollBarPolicy(horizontal.Visible ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  applying_ = false;
}

void PictureViewWidget::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  QtDevice device(painter);
  view_.Paint(device, drawer_, ToRect(event->rect()));
}

void PictureViewWidget::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  if (!applying_) view_.OnSize();
}

void PictureViewWidget::mousePressEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (event->button() == Qt::LeftButton) {
    setFocus(Qt::MouseFocusReason);
    view_.OnLeftButtonDown(p.x(), p.y());
  } else if (event->button() == Qt::RightButton) {
    view_.OnRightButtonDown(p.x(), p.y());
  }
}

void PictureViewWidget::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (event->button() == Qt::LeftButton) view_.OnLeftButtonUp(p.x(), p.y());
  else if (event->button() == Qt::RightButton) view_.OnRightButtonUp(p.x(), p.y());
}

void PictureViewWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (event->button() == Qt::LeftButton) view_.OnLeftDoubleClick(p.x(), p.y());
  else if (event->button() == Qt::RightButton) view_.OnRightDoubleClick(p.x(), p.y());
}

void PictureViewWidget::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  view_.OnMouseMove(p.x(), p.y());
}

void PictureViewWidget::keyPressEvent(QKeyEvent* event) {
  const int32_t key = ToolkitKey(event->key());
  view_.OnKeyDown(key == KeySpace ? KeyOther : key, event->key());
  event->accept();
}

void PictureViewWidget::keyReleaseEvent(QKeyEvent* event) {
  view_.OnKeyUp(event->key());
  event->accept();
}

void PictureViewWidget::wheelEvent(QWheelEvent* event) {
  const QPoint delta = event->angleDelta();
  const Qt::KeyboardModifiers mods = event->modifiers();
  // Some platforms turn a Shift+wheel into a sideways wheel; either way it is one wheel.
  view_.OnWheel(delta.y() != 0 ? delta.y() : delta.x(), mods & Qt::ShiftModifier, mods & Qt::ControlModifier);
  event->accept();
}

void PictureViewWidget::scrollContentsBy(int dx, int dy) {
  if (applying_) return;
  if (dy != 0) view_.OnVScroll(ScrollThumbTrack, verticalScrollBar()->value());
  if (dx != 0) view_.OnHScroll(ScrollThumbTrack, horizontalScrollBar()->value());
}

bool PictureViewWidget::eventFilter(QObject* watched, QEvent* event) {
  if ((watched == horizontalScrollBar() || watched == verticalScrollBar()) &&
      (event->type() == QEvent::MouseMove || event->type() == QEvent::HoverMove))
    view_.OnNonClientMouseMove();
  return QAbstractScrollArea::eventFilter(watched, event);
}

bool PictureViewWidget::viewportEvent(QEvent* event) {
  // Cursors are the handler's to choose; the arrow otherwise.
  if (event->type() == QEvent::Enter || event->type() == QEvent::MouseMove) {
    PictureViewHandler* handler = view_.Handler();
    if (!handler || !handler->SetCursor()) viewport()->setCursor(Qt::ArrowCursor);
  }
  return QAbstractScrollArea::viewportEvent(event);
}

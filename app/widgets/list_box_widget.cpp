#include "app/widgets/list_box_widget.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include "app/widgets/qt_device.h"

int32_t ToolkitKey(int qtKey) {
  switch (qtKey) {
    case Qt::Key_Space: return KeySpace;
    case Qt::Key_Left: return KeyLeft;
    case Qt::Key_Right: return KeyRight;
    case Qt::Key_Up: return KeyUp;
    case Qt::Key_Down: return KeyDown;
    case Qt::Key_PageUp: return KeyPageUp;
    case Qt::Key_PageDown: return KeyPageDown;
    case Qt::Key_Home: return KeyHome;
    case Qt::Key_End: return KeyEnd;
    default: return KeyOther;
  }
}

namespace {

// Our bars describe range and page; a QScrollBar wants the last position.
void ApplyTo(QScrollBar* bar, const mvScrollInfo& info) {
  const int last = std::max(info.Min, static_cast<int>(std::min<int64_t>(
                                          INT32_MAX, static_cast<int64_t>(info.Max) - info.Page + 1)));
  bar->setRange(info.Min, last);
  bar->setPageStep(std::max(info.Page, 1));
  bar->setSingleStep(1);
  bar->setValue(info.Pos);
}

}  // namespace

mvListBoxWidget::mvListBoxWidget(QWidget* parent, uint32_t style) : QAbstractScrollArea(parent), list_(style) {
  setProperty("controlId", kControlId);
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  setFocusPolicy(Qt::StrongFocus);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list_.SetHost(this);
  list_.OnSize(viewport()->width(), viewport()->height());
}

mvListBoxWidget::~mvListBoxWidget() { list_.SetHost(nullptr); }

void mvListBoxWidget::Invalidate(const mvRect* rect) {
  if (rect)
    viewport()->update(ToQRect(*rect));
  else
    viewport()->update();
}

void mvListBoxWidget::ScrollContents(int32_t dx, int32_t dy) { viewport()->scroll(dx, dy); }

void mvListBoxWidget::SetScrollBars(const mvScrollInfo& vertical, const mvScrollInfo& horizontal) {
  vertical_ = vertical;
  horizontal_ = horizontal;
  pending_ = true;
  if (!applying_) ApplyScrollBars();
}

// Showing or hiding a bar resizes the client area, which changes the columns
// and so perhaps the bars again. The list re-lays itself for each new size;
// after two rounds a bar once shown stays shown, so this always settles.
void mvListBoxWidget::ApplyScrollBars() {
  applying_ = true;
  for (int pass = 0; pending_ && pass < 4; ++pass) {
    pending_ = false;
    bool showVertical = vertical_.Needed(), showHorizontal = horizontal_.Needed();
    if (pass >= 2) {
      showVertical = showVertical || verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn;
      showHorizontal = showHorizontal || horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOn;
    }
    ApplyTo(verticalScrollBar(), vertical_);
    ApplyTo(horizontalScrollBar(), horizontal_);
    setVerticalScrollBarPolicy(showVertical ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(showHorizontal ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    const QSize size = viewport()->size();
    if (size.width() != list_.ClientWidth() || size.height() != list_.ClientHeight())
      list_.OnSize(size.width(), size.height());
  }
  pending_ = false;
  applying_ = false;
}

void mvListBoxWidget::Notify(int32_t code) { emit notification(code); }
void mvListBoxWidget::TakeFocus() { setFocus(Qt::MouseFocusReason); }
bool mvListBoxWidget::HasFocus() const { return hasFocus(); }

void mvListBoxWidget::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  painter.fillRect(event->rect(), palette().color(QPalette::Base));
  mvQtDevice device(painter);
  list_.Paint(device, ToRect(event->rect()));
}

void mvListBoxWidget::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  if (!applying_) list_.OnSize(viewport()->width(), viewport()->height());
}

void mvListBoxWidget::mousePressEvent(QMouseEvent* event) {
  const bool right = event->button() == Qt::RightButton;
  if (!right && event->button() != Qt::LeftButton) return;
  const QPoint p = event->position().toPoint();
  const Qt::KeyboardModifiers mods = event->modifiers();
  list_.OnMouseDown(p.x(), p.y(), right, mods & Qt::ShiftModifier, mods & Qt::ControlModifier);
}

void mvListBoxWidget::mouseReleaseEvent(QMouseEvent* event) { event->accept(); }

// The second press of a double click is not another click.
void mvListBoxWidget::mouseDoubleClickEvent(QMouseEvent* event) { event->accept(); }

void mvListBoxWidget::keyPressEvent(QKeyEvent* event) {
  const int32_t key = ToolkitKey(event->key());
  if (key == KeyOther) {
    QAbstractScrollArea::keyPressEvent(event);
    return;
  }
  list_.OnKeyDown(key, event->modifiers() & Qt::ControlModifier);
  event->accept();
}

void mvListBoxWidget::wheelEvent(QWheelEvent* event) {
  const QPoint delta = event->angleDelta();
  list_.OnWheel(delta.y() != 0 ? delta.y() : delta.x());
  event->accept();
}

void mvListBoxWidget::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  list_.OnFocusChanged();
}

void mvListBoxWidget::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  list_.OnFocusChanged();
}

// The bars moved by the user: tracking already tells the new position.
void mvListBoxWidget::scrollContentsBy(int dx, int dy) {
  if (applying_) return;
  if (dy != 0) list_.OnVScroll(ScrollThumbTrack, verticalScrollBar()->value());
  if (dx != 0) list_.OnHScroll(ScrollThumbTrack, horizontalScrollBar()->value());
}

#include "app/widgets/list_box_widget.h"

#include <QContextMenuEvent>
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
void ApplyTo(QScrollBar* bar, const ScrollInfo& info) {
  const int last = std::max(
      info.Min, static_cast<int>(std::min<int64_t>(INT32_MAX, static_cast<int64_t>(info.Max) - info.Page + 1)));
  bar->setRange(info.Min, last);
  bar->setPageStep(std::max(info.Page, 1));
  bar->setSingleStep(1);
  bar->setValue(info.Pos);
}

}  // namespace

ListBoxWidget::ListBoxWidget(QWidget* parent, uint32_t style) : QAbstractScrollArea(parent), list_(style) {
  setProperty("controlId", kControlId);
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  setFocusPolicy(Qt::StrongFocus);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list_.SetHost(this);
  list_.OnSize(viewport()->width(), viewport()->height());
}

ListBoxWidget::~ListBoxWidget() { list_.SetHost(nullptr); }

void ListBoxWidget::Invalidate(const mvRect* rect) {
  if (rect) viewport()->update(ToQRect(*rect));
  else viewport()->update();
}

void ListBoxWidget::ScrollContents(int32_t dx, int32_t dy) { viewport()->scroll(dx, dy); }

void ListBoxWidget::SetScrollBars(const ScrollInfo& vertical, const ScrollInfo& horizontal) {
  vertical_ = vertical;
  horizontal_ = horizontal;
  pending_ = true;
  if (!applying_) ApplyScrollBars();
}

// Showing or hiding a bar resizes the client area, which changes the columns
// and so perhaps the bars again. The list re-lays itself for each new size;
// after two rounds a bar once shown stays shown, so this always settles.
void ListBoxWidget::ApplyScrollBars() {
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

void ListBoxWidget::Notify(int32_t code) { emit notification(code); }
void ListBoxWidget::TakeFocus() { setFocus(Qt::MouseFocusReason); }
bool ListBoxWidget::HasFocus() const { return hasFocus(); }

void ListBoxWidget::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  painter.fillRect(event->rect(), palette().color(QPalette::Base));
  QtDevice device(painter);
  list_.Paint(device, ToRect(event->rect()));
}

void ListBoxWidget::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  if (!applying_) list_.OnSize(viewport()->width(), viewport()->height());
}

void ListBoxWidget::mousePressEvent(QMouseEvent* event) {
  const bool right = event->button() == Qt::RightButton;
  if (!right && event->button() != Qt::LeftButton) return;
  const QPoint p = event->position().toPoint();
  const Qt::KeyboardModifiers mods = event->modifiers();
  list_.OnMouseDown(p.x(), p.y(), right, mods & Qt::ShiftModifier, mods & Qt::ControlModifier);
}

void ListBoxWidget::mouseReleaseEvent(QMouseEvent* event) { event->accept(); }

// The second press of a double click is not another click.
void ListBoxWidget::mouseDoubleClickEvent(QMouseEvent* event) { event->accept(); }

void ListBoxWidget::keyPressEvent(QKeyEvent* event) {
  // The context-menu keys: Menu, and Shift+F10 as desktops have it.
  const Qt::KeyboardModifiers mods = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
  if ((event->key() == Qt::Key_Menu && mods == Qt::NoModifier) ||
      (event->key() == Qt::Key_F10 && mods == Qt::ShiftModifier)) {
    event->accept();
    list_.OnContextKey();
    return;
  }
  const int32_t key = ToolkitKey(event->key());
  if (key == KeyOther) {
    QAbstractScrollArea::keyPressEvent(event);
    return;
  }
  list_.OnKeyDown(key, event->modifiers() & Qt::ControlModifier);
  event->accept();
}

void ListBoxWidget::contextMenuEvent(QContextMenuEvent* event) {
  // A right press has opened the menu already; the keyboard's request comes here
  // when no key press carried it.
  event->accept();
  if (event->reason() == QContextMenuEvent::Keyboard) list_.OnContextKey();
}

void ListBoxWidget::wheelEvent(QWheelEvent* event) {
  const QPoint delta = event->angleDelta();
  list_.OnWheel(delta.y() != 0 ? delta.y() : delta.x());
  event->accept();
}

void ListBoxWidget::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  list_.OnFocusChanged();
}

void ListBoxWidget::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  list_.OnFocusChanged();
}

// The bars moved by the user: tracking already tells the new position.
void ListBoxWidget::scrollContentsBy(int dx, int dy) {
  if (applying_) return;
  if (dy != 0) list_.OnVScroll(ScrollThumbTrack, verticalScrollBar()->value());
  if (dx != 0) list_.OnHScroll(ScrollThumbTrack, horizontalScrollBar()->value());
}

#include "app/forms/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void WindowPlacement::Apply(QWidget& window, const Placement& placement) {
  const Placement p = SanePlacement(placement);
  Normal = p;
  Normal.Maximized = false;
  window.move(p.Left, p.Top);
  window.resize(p.Width, p.Height);
}

void WindowPlacement::Track(const QWidget& window) {
  if (!window.isVisible() || window.windowState() != Qt::WindowNoState) return;
  Normal = Placement{window.x(), window.y(), window.width(), window.height(), false};
}

Placement WindowPlacement::Record(const QWidget& window) const {
  Placement p = Normal;
  p.Maximized = window.isMaximized();
  return p;
}

std::vector<WorkArea> ScreenWorkAreas() {
  std::vector<WorkArea> areas;
  QScreen* primary = QGuiApplication::primaryScreen();
  auto add = [&areas](QScreen* screen) {
    const QRect r = screen->availableGeometry();
    areas.push_back(WorkArea{r.left(), r.top(), r.width(), r.height()});
  };
  if (primary) add(primary);
  for (QScreen* screen : QGuiApplication::screens())
    if (screen != primary) add(screen);
  return areas;
}

FrameMargins WindowFrame(const QWidget& window) {
  const QRect frame = window.frameGeometry();
  const QRect client = window.geometry();
  return FrameMargins{client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
                      frame.bottom() - client.bottom()};
}

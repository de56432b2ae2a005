#pragma once
#include <vector>

#include "app/forms/form_logic.h"

class QWidget;

// A top-level window's normal placement (frame position, client size) as
// the user leaves it. It is followed from the window's move and resize events
// while the window is shown in its normal state, so a window closed maximized
// keeps the placement it had before, to the pixel: nothing is computed back
// from the maximized frame, whose title bar may differ from the normal one.
class WindowPlacement {
public:
  // Moves and sizes the window (a hidden one too) and remembers the placement.
  void Apply(QWidget& window, const Placement& placement);
  // From the window's move and resize events.
  void Track(const QWidget& window);
  // The normal placement with the window's maximized state.
  Placement Record(const QWidget& window) const;

  Placement Normal;
};

// The work areas of the screens there are, the primary first.
std::vector<WorkArea> ScreenWorkAreas();
// The frame the window manager puts around the window (none before it is shown).
FrameMargins WindowFrame(const QWidget& window);

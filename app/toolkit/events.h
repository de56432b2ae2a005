#pragma once
#include <cstdint>

// A scroll bar as the list and the view lay it out: range Min ... Max, Page
// units shown at once, position Pos. Hidden bars are not Visible.
struct ScrollInfo {
  bool Visible = false;
  int32_t Min = 0;
  int32_t Max = 0;
  int32_t Page = 0;
  int32_t Pos = 0;
  // Whether the bar shows: laid out and with more to scroll than one page.
  bool Needed() const { return Visible && static_cast<int64_t>(Max) - Min + 1 > Page; }
};

// Keys the list and the picture view understand.
enum : int32_t { KeyOther = 0, KeySpace, KeyLeft, KeyRight, KeyUp, KeyDown, KeyPageUp, KeyPageDown, KeyHome, KeyEnd };

// Vertical and horizontal scroll requests.
enum : int32_t {
  ScrollLineUp = 0,
  ScrollLineDown,
  ScrollPageUp,
  ScrollPageDown,
  ScrollThumbTrack,
  ScrollThumbPosition,
  ScrollTop,
  ScrollBottom
};

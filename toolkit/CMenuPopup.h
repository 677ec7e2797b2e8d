// The window side of an option menu: shows the entries (and submenus) in
// override-redirect windows on the frame's X connection, grabs pointer and
// keyboard, and runs a nested event loop until the user chooses or dismisses.
// Mouse: click an entry, or press, drag and release on it; hovering opens a
// submenu; a click elsewhere dismisses. Keys: arrows move (left/right also
// change columns and open/close submenus), Return/Enter/Space choose, Escape
// dismisses.
// The menus take the frame's scale factor: laid out in frame pixels, shown
// and drawn that many times as large.
// Threads: the frame's (GUI) thread.
#pragma once

#include "toolkit/CPoint.h"

namespace vgui {

class CFrame;
class COptionMenu;

class CMenuPopup {
 public:
  // Answers true with the chosen menu and entry, false when dismissed.
  static bool run(CFrame* frame, COptionMenu* menu, const CPoint& where, COptionMenu*& chosenMenu,
                  int& chosenIndex);

  // True while a pop-up is open (tests wait for it).
  static bool isOpen();
  // The X window of the outermost open menu, 0 when none is shown.
  static unsigned long openWindow();
};

}  // namespace vgui

// Small enumerations shared by views and controls.
#pragma once

namespace vgui {

enum CMouseEventResult {
  kMouseEventNotImplemented = 0,
  kMouseEventHandled,
  kMouseEventNotHandled,
  // Handled, but the view wants neither the following moves nor the release.
  kMouseDownEventHandledButDontNeedMovedOrUpEvents,
};

enum CHoriTxtAlign { kLeftText = 0, kCenterText, kRightText };

enum CDrawStyle { kDrawStroked = 0, kDrawFilled, kDrawFilledAndStroked };

// Knob modes of the editor base.
enum CKnobMode { kCircularMode = 0, kRelativCircularMode = 1, kLinearMode = 2 };

// Display and menu styles (bit set).
enum CViewStyle : long {
  kNoTextStyle = 1 << 0,
  kNoDrawStyle = 1 << 1,
  kNoFrame = 1 << 2,
  kShadowText = 1 << 3,
  kCheckStyle = 1 << 4,
  kMultipleCheckStyle = 1 << 5,
  kPopupStyle = 1 << 6,
};

// Key codes for non-character keys, in the VST 2.4 virtual-key numbering.
enum CVirtualKey {
  VKEY_BACK = 1,
  VKEY_TAB = 2,
  VKEY_RETURN = 4,
  VKEY_ESCAPE = 10,
  VKEY_SPACE = 11,
  VKEY_LEFT = 15,
  VKEY_UP = 16,
  VKEY_RIGHT = 17,
  VKEY_DOWN = 18,
  VKEY_ENTER = 19,
  VKEY_DELETE = 22,
};

struct CKeyCode {
  int character = 0;       // printable character, or 0
  unsigned char virt = 0;  // CVirtualKey, or 0
  unsigned char modifier = 0;
};

}  // namespace vgui

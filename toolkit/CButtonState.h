// Mouse buttons and modifier keys held during a mouse event.
#pragma once

namespace vgui {

enum CButton : long {
  kLButton = 1 << 1,
  kMButton = 1 << 2,
  kRButton = 1 << 3,
  kShift = 1 << 4,
  kControl = 1 << 5,
  kAlt = 1 << 6,
  kButton4 = 1 << 7,
  kButton5 = 1 << 8,
  kDoubleClick = 1 << 9,
};

class CButtonState {
 public:
  CButtonState(long state = 0) : state_(state) {}
  long getButtonState() const { return state_; }
  long getModifierState() const { return state_ & (kShift | kControl | kAlt); }
  bool isLeftButton() const { return state_ & kLButton; }
  bool isRightButton() const { return state_ & kRButton; }
  // True when exactly this button (modifiers aside) is down.
  bool onlyButton(long button) const {
    return (state_ & (kLButton | kMButton | kRButton | kButton4 | kButton5)) == button;
  }
  bool operator&(long mask) const { return (state_ & mask) != 0; }
  operator long() const { return state_; }

 private:
  long state_;
};

}  // namespace vgui

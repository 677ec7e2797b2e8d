// Receives a control's user changes. Threads: GUI thread.
#pragma once

namespace vgui {

class CControl;

class CControlListener {
 public:
  virtual ~CControlListener() = default;
  virtual void valueChanged(CControl* control) = 0;
  // Around a user gesture (a drag, a wheel turn); the same tag as the control.
  virtual void controlBeginEdit(CControl* /*control*/) {}
  virtual void controlEndEdit(CControl* /*control*/) {}
};

}  // namespace vgui

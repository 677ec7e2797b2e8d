// What a frame needs from the editor that owns it. Threads: GUI thread.
#pragma once

#include "toolkit/VguiTypes.h"

namespace vgui {

class EditorInterface {
 public:
  virtual ~EditorInterface() = default;
  virtual void beginEdit(long tag) = 0;
  virtual void endEdit(long tag) = 0;
  virtual long getKnobMode() const { return kLinearMode; }
  // A key no view used; answers true when the editor used it.
  virtual bool onUnusedKey(const CKeyCode& /*key*/) { return false; }
};

}  // namespace vgui

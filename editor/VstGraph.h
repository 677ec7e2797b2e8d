// The editor's record of one parameter index: its control, its display, how
// the display shows the value, and the MIDI-learn overlay lying over the
// control.
#pragma once

#include <atomic>

#include "toolkit/CControl.h"
#include "toolkit/COptionMenu.h"
#include "toolkit/CParamDisplay.h"

struct VstGraph {
  // A transparent control over a parameter control: left presses, moves,
  // releases and wheel turns go to the control below; a right click offers
  // MIDI learn for the control's parameter.
  // Threads: setMidiCC from any thread; the rest on the GUI thread.
  class CRightMenu : public vgui::CControl {
   public:
    CRightMenu(const vgui::CRect& size, vgui::CControlListener* listener, long tag,
               vgui::CControl* target);

    bool isTypeOf(const char* name) const override;
    vgui::CView* newCopy() const override;
    void draw(vgui::CDrawContext* context) override;
    vgui::CMouseEventResult onMouseDown(vgui::CPoint& where,
                                        const vgui::CButtonState& buttons) override;
    vgui::CMouseEventResult onMouseMoved(vgui::CPoint& where,
                                         const vgui::CButtonState& buttons) override;
    // The release goes to the control too: a knob ends its edit gesture on
    // it, and the host must see that end.
    vgui::CMouseEventResult onMouseUp(vgui::CPoint& where,
                                      const vgui::CButtonState& buttons) override;
    bool onWheel(const vgui::CPoint& where, const float& distance,
                 const vgui::CButtonState& buttons) override;

    // The target's tag (its parameter), -1 without a target.
    long getTag() const { return target_ ? target_->getTag() : -1; }
    void setMidiCC(int controller) { midiCC_.store(controller, std::memory_order_relaxed); }
    int getMidiCC() const { return midiCC_.load(std::memory_order_relaxed); }
    vgui::CControl* getTarget() const { return target_; }
    // The learn menu while it is open (tests look at it), else null.
    vgui::COptionMenu* getPopup() const { return popup_; }

   protected:
    ~CRightMenu() override = default;

   private:
    vgui::COptionMenu* popup_ = nullptr;
    vgui::CControl* target_;
    std::atomic<int> midiCC_{0};
  };

  CRightMenu* rightMenu = nullptr;
  vgui::CControl* control = nullptr;
  vgui::CParamDisplay* display = nullptr;
  bool shown = false;
  bool intDisplay = false;
  float displayScale = 1.0f;
  float displayOffset = 0.0f;
  int bitmapId = 0;
};

// A view with a tag and a value within [min, max], reporting user changes to
// its listener and edit gestures to the frame's editor.
// Threads: setValue/getValue/setDirty from any thread (the value is an atomic
// float, a change only marks the control for the next idle redraw); everything
// else on the GUI thread.
#pragma once

#include <atomic>

#include "toolkit/CView.h"

namespace vgui {

class CControlListener;

class CControl : public CView {
 public:
  CControl(const CRect& size, CControlListener* listener = nullptr, long tag = 0,
           CBitmap* background = nullptr);

  // Stores `value` held within [min, max]; a NaN is refused.
  virtual void setValue(float value);
  float getValue() const { return value_.load(std::memory_order_relaxed); }
  // Brings the stored value back within [min, max] after a range change.
  void bounceValue();

  // Range: GUI thread, before the control is shared with other threads.
  void setMin(float v) { min_ = v; }
  void setMax(float v) { max_ = v; }
  float getMin() const { return min_; }
  float getMax() const { return max_; }
  void setDefaultValue(float v) { default_ = v; }
  float getDefaultValue() const { return default_; }
  void setWheelInc(float v) { wheelInc_ = v; }
  float getWheelInc() const { return wheelInc_; }

  void setTag(long tag) { tag_ = tag; }
  long getTag() const { return tag_; }
  void setListener(CControlListener* l) { listener_ = l; }
  CControlListener* getListener() const { return listener_; }

  // A user gesture starts or ends: tells the listener and the frame's editor.
  virtual void beginEdit();
  virtual void endEdit();
  bool isEditing() const { return editing_; }

  // Value changed since the last draw, or marked dirty.
  bool isDirty() const override;
  void willDraw() override;

  // Turn by `distance` wheel steps of wheelInc, report the change.
  bool onWheel(const CPoint& where, const float& distance, const CButtonState& buttons) override;
  bool isTypeOf(const char* name) const override;

 protected:
  // Tells the listener that the user changed the value.
  void notifyListener();
  // Stores without range check, for subclasses with their own rules.
  void storeValue(float value) { value_.store(value, std::memory_order_relaxed); }

  CControlListener* listener_;
  long tag_;
  float min_ = 0.f;
  float max_ = 1.f;
  float default_ = 0.5f;
  float wheelInc_ = 0.1f;
  bool editing_ = false;

 private:
  std::atomic<float> value_{0.f};
  float drawnValue_ = -1e30f;
};

}  // namespace vgui

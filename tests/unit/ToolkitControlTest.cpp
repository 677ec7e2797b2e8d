// Controls without a display: ranges, thread-safe values, mouse logic.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "toolkit/CAnimKnob.h"
#include "toolkit/CAutoAnimation.h"
#include "toolkit/CControlListener.h"
#include "toolkit/CMovieBitmap.h"
#include "toolkit/COnOffButton.h"
#include "toolkit/CSplashScreen.h"
#include "toolkit/CRect.h"

using namespace vgui;

namespace {

struct Recorder : CControlListener {
  std::vector<float> values;
  std::vector<std::string> events;
  void valueChanged(CControl* c) override {
    values.push_back(c->getValue());
    events.push_back("change");
  }
  void controlBeginEdit(CControl*) override { events.push_back("begin"); }
  void controlEndEdit(CControl*) override { events.push_back("end"); }
};

// Views are reference counted; this drops the creator's reference.
template <class T>
struct Owned {
  T* p;
  explicit Owned(T* v) : p(v) {}
  ~Owned() { p->forget(); }
  T* operator->() const { return p; }
};

}  // namespace

TEST(ToolkitControlTest, ValueHeldWithinRangeAndNaNRefused) {
  Owned<CControl> c(new CControl(CRect(0, 0, 10, 10)));
  // {min, max, value set, value held}; the range is set before the value.
  const float cases[][4] = {{0, 1, 1.5f, 1},  {0, 1, -3, 0},   {0, 1, 0.25f, 0.25f},
                            {0, 1, NAN, 0.25f}, {0, 1, INFINITY, 1}, {-12, 12, 13, 12},
                            {-12, 12, -6, -6}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k[2]);
    c->setMin(k[0]);
    c->setMax(k[1]);
    c->setValue(k[2]);
    EXPECT_EQ(c->getValue(), k[3]);
  }
  c->setMin(0);
  c->bounceValue();
  EXPECT_EQ(c->getValue(), 0.f);
}

TEST(ToolkitControlTest, LinearKnobFollowsVerticalTravelFinerWithShift) {
  Recorder r;
  Owned<CKnob> k(new CKnob(CRect(0, 0, 40, 44), &r, 3));
  k->setValue(0.5f);
  CPoint start(20, 100);
  EXPECT_EQ(k->onMouseDown(start, CButtonState(kRButton)), kMouseEventNotHandled);
  EXPECT_TRUE(r.events.empty());
  ASSERT_EQ(k->onMouseDown(start, CButtonState(kLButton)), kMouseEventHandled);
  EXPECT_TRUE(k->isEditing());
  struct Move {
    CPoint to;
    long buttons;
    float value;
    const char* why;
  };
  const Move moves[] = {
      {CPoint(20, 80), kLButton, 0.6f, "20 pixels up, a tenth of the default 200"},
      {CPoint(90, 80), kLButton, 0.6f, "horizontal travel does nothing"},
      {CPoint(20, 80), kLButton | kShift, 0.6f, "pressing shift does not jump"},
      {CPoint(20, 60), kLButton | kShift, 0.61f, "with shift ten times finer"},
      {CPoint(20, 60), kLButton, 0.61f, "releasing shift does not jump either"},
      {CPoint(20, -500), kLButton, 1.f, "held at the top"},
      {CPoint(20, 400), kLButton, 0.f, "held at the bottom"},
  };
  for (const Move& m : moves) {
    CPoint to = m.to;
    k->onMouseMoved(to, CButtonState(m.buttons));
    EXPECT_NEAR(k->getValue(), m.value, 1e-5) << m.why;
  }
  CPoint end(20, 400);
  k->onMouseUp(end, CButtonState());
  EXPECT_FALSE(k->isEditing());
  ASSERT_GE(r.events.size(), 3u);
  EXPECT_EQ(r.events.front(), "begin");
  EXPECT_EQ(r.events.back(), "end");
  EXPECT_EQ(std::count(r.events.begin(), r.events.end(), "begin"), 1);
}

TEST(ToolkitControlTest, ButtonsStepOnLeftClicksOnly) {
  Recorder r;
  Owned<COnOffButton> b(new COnOffButton(CRect(0, 0, 22, 22), &r, 7, nullptr));
  CPoint p(3, 3);
  EXPECT_EQ(b->onMouseDown(p, CButtonState(kRButton)), kMouseEventNotHandled);
  b->onMouseDown(p, CButtonState(kLButton));
  EXPECT_TRUE(b->isOn());
  b->onMouseDown(p, CButtonState(kLButton));
  EXPECT_EQ(r.values, (std::vector<float>{1.f, 0.f}));

  r.values.clear();
  Owned<CAutoAnimation> a(new CAutoAnimation(CRect(0, 0, 99, 35), &r, 3, 3, 35, nullptr));
  EXPECT_EQ(a->onMouseDown(p, CButtonState(kRButton)), kMouseEventNotHandled);
  EXPECT_EQ(a->onMouseDown(p, CButtonState(kLButton | kRButton)), kMouseEventNotHandled);
  std::vector<long> frames;
  for (int i = 0; i < 4; ++i) {
    ASSERT_NE(a->onMouseDown(p, CButtonState(kLButton)), kMouseEventNotHandled);
    frames.push_back(a->currentFrame());
  }
  EXPECT_EQ(frames, (std::vector<long>{1, 2, 0, 1}));
  ASSERT_EQ(r.values.size(), 4u);
  EXPECT_NEAR(r.values[1], 2.f / 3, 1e-6);
  EXPECT_EQ(r.values[2], 0.f);
  a->previousPixmap();
  a->previousPixmap();
  EXPECT_EQ(a->currentFrame(), 2) << "stepping back wraps too";
  // Every N from 2 to 40 reaches each frame exactly once per cycle.
  for (long n = 2; n <= 40; ++n) {
    Owned<CAutoAnimation> m(new CAutoAnimation(CRect(0, 0, 9, 9), nullptr, 0, n, 9, nullptr));
    for (long k = 1; k <= n; ++k) {
      m->nextPixmap();
      ASSERT_EQ(m->currentFrame(), k % n) << "N=" << n;
    }
  }
}

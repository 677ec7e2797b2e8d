// Controls without a display: ranges, thread-safe values, mouse logic.
#include <gtest/gtest.h>

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

TEST(ToolkitRectTest, IntersectionUnionAndContainment) {
  CRect a(0, 0, 10, 10), b(5, 5, 20, 20);
  EXPECT_TRUE(a.rectOverlap(b));
  EXPECT_FALSE(a.rectOverlap(CRect(10, 0, 20, 10)));  // touching edges do not overlap
  CRect i = a;
  EXPECT_EQ(i.bound(b), CRect(5, 5, 10, 10));
  CRect u = a;
  EXPECT_EQ(u.unite(b), CRect(0, 0, 20, 20));
  CRect none = a;
  EXPECT_TRUE(none.bound(CRect(30, 30, 40, 40)).isEmpty());
  CRect e;
  EXPECT_EQ(e.unite(b), b);  // an empty rectangle adds nothing
  EXPECT_TRUE(a.pointInside(CPoint(0, 0)));
  EXPECT_FALSE(a.pointInside(CPoint(10, 5)));  // right edge is outside
  EXPECT_EQ(CRect(CPoint(3, 4), 5, 6), CRect(3, 4, 8, 10));
}

TEST(ToolkitControlTest, ValueHeldWithinRange) {
  Owned<CControl> c(new CControl(CRect(0, 0, 10, 10)));
  EXPECT_EQ(c->getMin(), 0.f);
  EXPECT_EQ(c->getMax(), 1.f);
  c->setValue(1.5f);
  EXPECT_EQ(c->getValue(), 1.f);
  c->setValue(-3.f);
  EXPECT_EQ(c->getValue(), 0.f);
  c->setValue(0.25f);
  c->setValue(std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(c->getValue(), 0.25f) << "NaN must be refused";
  c->setValue(std::numeric_limits<float>::infinity());
  EXPECT_EQ(c->getValue(), 1.f);
  // A display range set before its first value.
  c->setMin(-12);
  c->setMax(12);
  c->setValue(13);
  EXPECT_EQ(c->getValue(), 12.f);
  c->setValue(-6);
  EXPECT_EQ(c->getValue(), -6.f);
  c->setMin(0);
  c->bounceValue();
  EXPECT_EQ(c->getValue(), 0.f);
}

TEST(ToolkitControlTest, DirtyFollowsValueChangesFromAnyThread) {
  Owned<CControl> c(new CControl(CRect(0, 0, 10, 10)));
  EXPECT_TRUE(c->isDirty());  // never drawn
  c->willDraw();
  EXPECT_FALSE(c->isDirty());
  c->setValue(c->getValue());
  EXPECT_FALSE(c->isDirty()) << "an unchanged value needs no redraw";
  std::thread audio([&] {
    for (int i = 0; i <= 1000; ++i) c->setValue(i / 1000.f);
  });
  audio.join();
  EXPECT_TRUE(c->isDirty());
  EXPECT_EQ(c->getValue(), 1.f);
  c->willDraw();
  EXPECT_FALSE(c->isDirty());
  c->setDirty(true);
  EXPECT_TRUE(c->isDirty());
}

TEST(ToolkitControlTest, WheelStepsAreHeldAndReported) {
  Recorder r;
  Owned<CKnob> k(new CKnob(CRect(0, 0, 40, 40), &r, 7));
  k->setValue(0.95f);
  EXPECT_TRUE(k->onWheel(CPoint(5, 5), 1.f, CButtonState()));
  EXPECT_FLOAT_EQ(k->getValue(), 1.0f);
  ASSERT_EQ(r.events, (std::vector<std::string>{"begin", "change", "end"}));
  r.events.clear();
  k->onWheel(CPoint(5, 5), 1.f, CButtonState());
  EXPECT_TRUE(r.events.empty()) << "no report when the wheel cannot move the value";
  k->onWheel(CPoint(5, 5), -2.f, CButtonState());
  EXPECT_NEAR(k->getValue(), 0.8f, 1e-6);

  // An on/off button with increment 10 switches fully in one step.
  Owned<COnOffButton> b(new COnOffButton(CRect(0, 0, 22, 22), &r, 31, nullptr));
  b->setWheelInc(10);
  b->onWheel(CPoint(1, 1), 1.f, CButtonState());
  EXPECT_EQ(b->getValue(), 1.f);
  b->onWheel(CPoint(1, 1), -1.f, CButtonState());
  EXPECT_EQ(b->getValue(), 0.f);
}

TEST(ToolkitControlTest, LinearKnobFollowsVerticalTravel) {
  Recorder r;
  Owned<CKnob> k(new CKnob(CRect(0, 0, 40, 44), &r, 3));
  k->setValue(0.5f);
  CPoint p(20, 20);
  EXPECT_EQ(k->onMouseDown(p, CButtonState(kRButton)), kMouseEventNotHandled);
  EXPECT_TRUE(r.events.empty());
  ASSERT_EQ(k->onMouseDown(p, CButtonState(kLButton)), kMouseEventHandled);
  EXPECT_TRUE(k->isEditing());
  CPoint up(20, -30);  // 50 pixels up, a quarter of the default 200
  k->onMouseMoved(up, CButtonState(kLButton));
  EXPECT_NEAR(k->getValue(), 0.75f, 1e-5);
  CPoint sideways(90, -30);
  k->onMouseMoved(sideways, CButtonState(kLButton));
  EXPECT_NEAR(k->getValue(), 0.75f, 1e-5) << "horizontal travel does nothing";
  CPoint far(20, -500);
  k->onMouseMoved(far, CButtonState(kLButton));
  EXPECT_EQ(k->getValue(), 1.f);
  CPoint down(20, 120);  // 100 below the start: 0.5 - 0.5
  k->onMouseMoved(down, CButtonState(kLButton));
  EXPECT_NEAR(k->getValue(), 0.0f, 1e-5);
  k->onMouseUp(down, CButtonState());
  EXPECT_FALSE(k->isEditing());
  ASSERT_GE(r.events.size(), 3u);
  EXPECT_EQ(r.events.front(), "begin");
  EXPECT_EQ(r.events.back(), "end");
  EXPECT_EQ(std::count(r.events.begin(), r.events.end(), "begin"), 1);
}

TEST(ToolkitControlTest, ShiftDragIsFineAndDoesNotJump) {
  Owned<CKnob> k(new CKnob(CRect(0, 0, 40, 44), nullptr, 3));
  k->setValue(0.5f);
  CPoint p(20, 100);
  k->onMouseDown(p, CButtonState(kLButton));
  CPoint q(20, 80);
  k->onMouseMoved(q, CButtonState(kLButton));
  EXPECT_NEAR(k->getValue(), 0.6f, 1e-5);
  CPoint same(20, 80);
  k->onMouseMoved(same, CButtonState(kLButton | kShift));
  EXPECT_NEAR(k->getValue(), 0.6f, 1e-5);
  CPoint fine(20, 60);
  k->onMouseMoved(fine, CButtonState(kLButton | kShift));
  EXPECT_NEAR(k->getValue(), 0.61f, 1e-5);
}

TEST(ToolkitControlTest, ControlClickRestoresDefault) {
  Recorder r;
  Owned<CKnob> k(new CKnob(CRect(0, 0, 40, 44), &r, 3));
  k->setDefaultValue(0.3f);
  k->setValue(0.9f);
  CPoint p(1, 1);
  EXPECT_EQ(k->onMouseDown(p, CButtonState(kLButton | kControl)),
            kMouseDownEventHandledButDontNeedMovedOrUpEvents);
  EXPECT_FLOAT_EQ(k->getValue(), 0.3f);
  EXPECT_EQ(r.values, (std::vector<float>{0.3f}));
}

TEST(ToolkitControlTest, OnOffButtonTogglesOnLeftClickOnly) {
  Recorder r;
  Owned<COnOffButton> b(new COnOffButton(CRect(0, 0, 22, 22), &r, 7, nullptr));
  CPoint p(3, 3);
  EXPECT_EQ(b->onMouseDown(p, CButtonState(kRButton)), kMouseEventNotHandled);
  EXPECT_EQ(b->getValue(), 0.f);
  b->onMouseDown(p, CButtonState(kLButton));
  EXPECT_EQ(b->getValue(), 1.f);
  EXPECT_TRUE(b->isOn());
  b->onMouseDown(p, CButtonState(kLButton));
  EXPECT_EQ(b->getValue(), 0.f);
  EXPECT_EQ(r.values, (std::vector<float>{1.f, 0.f}));
}

TEST(ToolkitControlTest, MultiStateCyclesThroughItsFrames) {
  Recorder r;
  Owned<CAutoAnimation> a(new CAutoAnimation(CRect(0, 0, 99, 35), &r, 3, 3, 35, nullptr));
  CPoint p(5, 5);
  std::vector<long> frames;
  for (int i = 0; i < 4; ++i) {
    ASSERT_NE(a->onMouseDown(p, CButtonState(kLButton)), kMouseEventNotHandled);
    frames.push_back(a->currentFrame());
  }
  EXPECT_EQ(frames, (std::vector<long>{1, 2, 0, 1}));
  EXPECT_NEAR(r.values[0], 1.f / 3, 1e-6);
  EXPECT_NEAR(r.values[1], 2.f / 3, 1e-6);
  EXPECT_EQ(r.values[2], 0.f);
  EXPECT_EQ(a->onMouseDown(p, CButtonState(kRButton)), kMouseEventNotHandled);
  EXPECT_EQ(a->onMouseDown(p, CButtonState(kLButton | kRButton)), kMouseEventNotHandled);
  EXPECT_EQ(r.values.size(), 4u);
  a->previousPixmap();
  EXPECT_EQ(a->currentFrame(), 0);
  a->previousPixmap();
  EXPECT_EQ(a->currentFrame(), 2);
  // Every N from 2 to 40 reaches each frame exactly once per cycle.
  for (long n = 2; n <= 40; ++n) {
    Owned<CAutoAnimation> m(new CAutoAnimation(CRect(0, 0, 9, 9), nullptr, 0, n, 9, nullptr));
    for (long k = 1; k <= n; ++k) {
      m->nextPixmap();
      ASSERT_EQ(m->currentFrame(), k % n) << "N=" << n;
    }
  }
}

TEST(ToolkitControlTest, FilmStripFrameFollowsValue) {
  Owned<CAnimKnob> k(new CAnimKnob(CRect(0, 0, 40, 44), nullptr, 0, 31, 44, nullptr));
  k->setValue(0);
  EXPECT_EQ(k->currentFrame(), 0);
  k->setValue(1);
  EXPECT_EQ(k->currentFrame(), 30);
  k->setValue(0.5f);
  EXPECT_EQ(k->currentFrame(), 15);
  k->setMin(-5);
  k->setMax(5);
  k->setValue(5);
  EXPECT_EQ(k->currentFrame(), 30);
  Owned<CMovieBitmap> m(new CMovieBitmap(CRect(0, 0, 10, 10), nullptr, 0, 5, 10, nullptr));
  m->setValue(0.76f);
  EXPECT_EQ(m->currentFrame(), 3);
}

TEST(ToolkitControlTest, SplashScreenOutsideAFrameReportsNothing) {
  Recorder r;
  Owned<CSplashScreen> s(
      new CSplashScreen(CRect(0, 0, 100, 50), &r, 67, nullptr, CRect(0, 0, 100, 50)));
  CPoint p(10, 10);
  EXPECT_FALSE(s->hitTest(p, CButtonState(kRButton)));
  EXPECT_TRUE(s->hitTest(p, CButtonState(kLButton)));
  EXPECT_FALSE(s->hitTest(CPoint(150, 10), CButtonState(kLButton)));
  s->onMouseDown(p, CButtonState(kLButton));
  EXPECT_TRUE(r.values.empty());
}

TEST(ToolkitControlTest, ReferenceCountingDeletesOnLastForget) {
  long before = CBaseObject::liveObjects();
  auto* c = new CControl(CRect(0, 0, 1, 1));
  EXPECT_EQ(CBaseObject::liveObjects(), before + 1);
  c->remember();
  EXPECT_EQ(c->getNbReference(), 2);
  c->forget();
  EXPECT_EQ(CBaseObject::liveObjects(), before + 1);
  c->forget();
  EXPECT_EQ(CBaseObject::liveObjects(), before);
}

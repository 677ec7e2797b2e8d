// Controls and option menus without a display: ranges, thread-safe values,
// mouse logic, entry numbering, shared entries and the pop-up's geometry.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "toolkit/CAnimKnob.h"
#include "toolkit/CAutoAnimation.h"
#include "toolkit/CControlListener.h"
#include "toolkit/CMenuLayout.h"
#include "toolkit/COnOffButton.h"
#include "toolkit/COptionMenu.h"
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

using Menu = Owned<COptionMenu>;

Menu deviationMenu(CControlListener* l = nullptr) {
  Menu h(new COptionMenu(CRect(0, 0, 80, 20), l, 25, nullptr, nullptr, kCheckStyle));
  h->addEntry("Pitch Deviation", -1, CMenuItem::kTitle);
  h->addEntry("-");
  for (const char* t : {"None", "Low", "Medium", "High"}) h->addEntry(t);
  return h;
}

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
}

TEST(ToolkitMenuTest, EntriesAreNumberedWithSeparatorsAndTitles) {
  Menu m = deviationMenu();
  ASSERT_EQ(m->getNbEntries(), 6);
  EXPECT_TRUE(m->getEntry(1)->isSeparator());
  EXPECT_FALSE(m->getEntry(1)->isSelectable());
  EXPECT_TRUE(m->getEntry(0)->isSelectable()) << "a title entry can be chosen";
  EXPECT_STREQ(m->getEntry(3)->getTitle(), "Low");
  EXPECT_EQ(m->getEntry(6), nullptr);
  EXPECT_EQ(m->getEntry(-1), nullptr);

  m->setCurrent(3);
  EXPECT_EQ(m->getValue(), 3.f);
  EXPECT_EQ(m->getCurrentIndex(false), 2) << "Low is the third entry that is not a separator";
  EXPECT_TRUE(m->setCurrent(2, false));
  EXPECT_EQ(m->getCurrentIndex(), 3);
  m->setCurrent(1);
  EXPECT_EQ(m->getCurrentIndex(false), -1);
  EXPECT_EQ(m->indexCountingSeparators(1), 2);
  EXPECT_FALSE(m->setCurrent(6));
  EXPECT_EQ(m->getCurrentIndex(), 1);

  // Values from the plug-in are held within the entries.
  for (auto [value, index] : {std::pair{40.f, 5}, {-2.f, 0}, {3.9f, 3}}) {
    m->setValue(value);
    EXPECT_EQ(m->getCurrentIndex(), index) << value;
  }
}

TEST(ToolkitMenuTest, ChoiceSetsValueAndTellsTheListener) {
  Recorder r;
  Menu m = deviationMenu(&r);
  m->setCurrent(2);
  m->takeChoice(m.p, 0);  // the title entry
  EXPECT_EQ(m->getCurrentIndex(), 0);
  m->takeChoice(m.p, 1);  // a separator cannot be chosen
  EXPECT_EQ(m->getCurrentIndex(), 0);
  m->takeChoice(m.p, 5);
  EXPECT_EQ(r.values, (std::vector<float>{0.f, 5.f}));
  EXPECT_EQ(m->getLastResult(), 5);
  m->takeChoice(nullptr, 0);  // dismissed
  EXPECT_EQ(m->getLastResult(), -1);
  EXPECT_EQ(r.values.size(), 2u);
}

TEST(ToolkitMenuTest, SharedCopySeesTitlesOwnCopyDoesNot) {
  Menu presets(
      new COptionMenu(CRect(774, 357, 865, 378), nullptr, 63, nullptr, nullptr, kCheckStyle));
  for (int i = 0; i < 128; ++i) presets->addEntry("old");
  Menu selector(presets->newCopy(true));
  Menu separate(presets->newCopy(false));

  presets->getEntry(4)->setTitle("005 Bowed");
  EXPECT_STREQ(selector->getEntry(4)->getTitle(), "005 Bowed");
  EXPECT_STREQ(separate->getEntry(4)->getTitle(), "old");

  // Each keeps its own current entry.
  presets->setCurrent(4);
  selector->setCurrent(9);
  EXPECT_EQ(presets->getCurrentIndex(), 4);
  EXPECT_TRUE(selector->isCheckEntry(9));
  EXPECT_FALSE(selector->isCheckEntry(4));

  // Entries added through one are there in the other, and its range follows.
  presets->addEntry("extra");
  EXPECT_EQ(selector->getNbEntries(), 129);
  selector->setValue(128);
  EXPECT_EQ(selector->getCurrentIndex(), 128);
  EXPECT_EQ(separate->getNbEntries(), 128);
}

TEST(ToolkitMenuTest, EntriesPerColumnLayout) {
  std::vector<CMenuLayout::Item> items(84, CMenuLayout::Item{30, false, true});
  items[40].textWidth = 55;  // widest of the fourth column
  CMenuLayout layout(items, 12);
  EXPECT_EQ(layout.columns(), 7);
  double base = 30 + CMenuLayout::kLeftMargin + CMenuLayout::kRightMargin;
  EXPECT_EQ(layout.itemRect(0), CRect(0, 0, base, CMenuLayout::kItemHeight));
  EXPECT_EQ(layout.itemRect(12), CRect(base, 0, 2 * base, CMenuLayout::kItemHeight));
  EXPECT_EQ(layout.itemRect(45).getWidth(), base + 25);  // same column as 40
  EXPECT_EQ(layout.itemRect(83).bottom, 12 * CMenuLayout::kItemHeight);
  EXPECT_EQ(layout.bounds(), CRect(0, 0, 7 * base + 25, 12 * CMenuLayout::kItemHeight));
  CRect a3 = layout.itemRect(45);
  EXPECT_EQ(layout.indexAt(CPoint(a3.left + 3, a3.top + 3)), 45);
  EXPECT_EQ(layout.indexAt(CPoint(-1, 3)), -1);
  EXPECT_EQ(layout.indexAt(CPoint(3, 12 * CMenuLayout::kItemHeight + 1)), -1);
  EXPECT_EQ(layout.besideColumn(45, 1), 57);
  EXPECT_EQ(layout.besideColumn(45, -1), 33);
  EXPECT_EQ(layout.besideColumn(80, 1), 80) << "no column to the right of the last";
  EXPECT_EQ(layout.besideColumn(5, -1), 5);

  CMenuLayout single(items, -1);
  EXPECT_EQ(single.columns(), 1);
  EXPECT_EQ(single.itemRect(83).top, 83 * CMenuLayout::kItemHeight);
}

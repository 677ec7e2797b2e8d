// The editor's own controls and its bitmap cache, without a window.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "editor/EditorBitmapCache.h"
#include "editor/VstGraph.h"
#include "testsupport/MessageLog.h"
#include "toolkit/CControlListener.h"

using namespace vgui;

namespace {

struct Listener : CControlListener {
  std::vector<std::pair<long, float>> changes;
  void valueChanged(CControl* c) override { changes.emplace_back(c->getTag(), c->getValue()); }
};

// A control that records what reaches it.
class Target : public CControl {
 public:
  Target(long tag) : CControl(CRect(0, 0, 44, 44), nullptr, tag) {}
  CMouseEventResult onMouseDown(CPoint&, const CButtonState& b) override {
    downs.push_back(b.getButtonState());
    return kMouseEventHandled;
  }
  CMouseEventResult onMouseMoved(CPoint&, const CButtonState&) override {
    ++moves;
    return kMouseEventHandled;
  }
  CMouseEventResult onMouseUp(CPoint&, const CButtonState&) override {
    ++ups;
    return kMouseEventHandled;
  }
  std::vector<long> downs;
  int moves = 0;
  int ups = 0;
};

TEST(CRightMenu, LeftPressesMovesAndReleasesReachTheControlBelow) {
  Listener listener;
  auto* target = new Target(12);
  auto* overlay = new VstGraph::CRightMenu(CRect(0, 0, 44, 44), &listener, 69, target);
  CPoint p(10, 10);
  EXPECT_EQ(overlay->onMouseDown(p, CButtonState(kLButton)), kMouseEventHandled);
  EXPECT_EQ(overlay->onMouseMoved(p, CButtonState(kLButton)), kMouseEventHandled);
  EXPECT_EQ(overlay->onMouseUp(p, CButtonState(0)), kMouseEventHandled);
  ASSERT_EQ(target->downs.size(), 1u);
  EXPECT_EQ(target->downs[0], kLButton);
  EXPECT_EQ(target->moves, 1);
  EXPECT_EQ(target->ups, 1);
  // A move with only the right button belongs to the learn menu.
  EXPECT_EQ(overlay->onMouseMoved(p, CButtonState(kRButton)), kMouseEventNotHandled);
  EXPECT_EQ(target->moves, 1);
  // A press with both buttons is no learn click: it goes below.
  overlay->onMouseDown(p, CButtonState(kLButton | kRButton));
  EXPECT_EQ(target->downs.size(), 2u);
  EXPECT_TRUE(listener.changes.empty());
  EXPECT_EQ(overlay->getTag(), 12);
  EXPECT_EQ(static_cast<CControl*>(overlay)->getTag(), 69) << "the listener sees 69";
  EXPECT_TRUE(overlay->isTypeOf("CRightMenu") && overlay->isTypeOf("CControl"));
  overlay->forget();
  target->forget();
}

TEST(EditorBitmapCache, SharesBitmapsByNumberAndReportsAFullCache) {
  testfiles::MessageLog capture;
  long before = CBaseObject::liveObjects();
  {
    EditorBitmapCache cache;
    EXPECT_EQ(cache.get(0), nullptr);
    EXPECT_EQ(cache.used(), 0);
    CBitmap* knob = cache.get(172);
    ASSERT_NE(knob, nullptr);
    EXPECT_EQ(cache.get(178)->getResourceId(), 178);
    EXPECT_EQ(cache.get(172), knob);
    EXPECT_EQ(cache.used(), 2);
    for (long id = 300; cache.used() < EditorBitmapCache::kSlots; ++id) cache.get(id);
    EXPECT_TRUE(capture.shown.empty());
    EXPECT_EQ(cache.get(999), knob) << "a full cache answers the first slot";
    ASSERT_EQ(capture.shown.size(), 1u);
    EXPECT_EQ(capture.lines()[0], "Error!|Bitmap Alocation Error!|0");
    EXPECT_EQ(cache.idAt(0), 172);
    EXPECT_EQ(cache.idAt(1), 178);
    cache.clear();
    EXPECT_EQ(cache.used(), 0);
    EXPECT_EQ(cache.idAt(0), -1);
    EXPECT_EQ(CBaseObject::liveObjects(), before) << "cleared bitmaps are released";
    cache.get(172);
  }
  EXPECT_EQ(CBaseObject::liveObjects(), before) << "and so are the cache's own at its end";
}

}  // namespace

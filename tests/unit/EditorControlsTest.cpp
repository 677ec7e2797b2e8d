// The editor's own controls, its bitmap cache and its menu texts, without a window.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "editor/EditorBitmapCache.h"
#include "editor/EditorTexts.h"
#include "editor/VstGraph.h"
#include "testsupport/MessageLog.h"
#include "toolkit/CControlListener.h"

using namespace vgui;

namespace {

struct Listener : CControlListener {
  int changes = 0;
  void valueChanged(CControl*) override { ++changes; }
};

// A control that records the mouse events that reach it, with their buttons.
class Target : public CControl {
 public:
  Target(long tag) : CControl(CRect(0, 0, 44, 44), nullptr, tag) {}
  CMouseEventResult onMouseDown(CPoint&, const CButtonState& b) override { return note("down", b); }
  CMouseEventResult onMouseMoved(CPoint&, const CButtonState& b) override {
    return note("move", b);
  }
  CMouseEventResult onMouseUp(CPoint&, const CButtonState& b) override { return note("up", b); }
  CMouseEventResult note(const char* what, const CButtonState& b) {
    seen.emplace_back(what, b.getButtonState());
    return kMouseEventHandled;
  }
  std::vector<std::pair<std::string, long>> seen;
};

// What an entry writer puts into a buffer of 64.
template <class Write, class... Args>
std::string text(Write write, Args... args) {
  char out[64];
  write(args..., out, sizeof(out));
  return out;
}

TEST(EditorTexts, ProgramSoundSetAndSplitEntries) {
  const auto program = EditorTexts::programEntry;
  const auto soundSet = EditorTexts::soundSetEntry;
  const auto split = EditorTexts::splitNoteEntry;
  const std::pair<std::string, const char*> cases[] = {
      // Three-digit numbers from one and names of at most 24 characters.
      {text(program, 0, "Init"), "001 Init"},
      {text(program, 127, ""), "128 "},
      {text(program, 9, "ABCDEFGHIJKLMNOPQRSTUVWXYZ"), "010 ABCDEFGHIJKLMNOPQRSTUVWX"},
      // Folder names without their code, at most 22 characters.
      {text(soundSet, "07-Bright Strings"), "Bright Strings"},
      {text(soundSet, "12 Gut"), "Gut"},
      {text(soundSet, "99-An Extremely Long Folder Name Indeed"), "An Extremely Long Fold"},
      {text(soundSet, "07-"), ""},
      {text(soundSet, nullptr), ""},
      // Split notes from C0 to B6, twelve to an octave.
      {text(split, 0), "C0"},
      {text(split, 1), "C#0"},
      {text(split, 12), "C1"},
      {text(split, 83), "B6"},
      {text(split, 84), ""},
      {text(split, -1), ""},
  };
  for (const auto& [got, want] : cases) EXPECT_EQ(got, want);
  char tiny[6];
  EditorTexts::programEntry(99, "Long name", tiny, sizeof(tiny));
  EXPECT_STREQ(tiny, "100 L") << "the buffer size is respected";
}

// Left presses, moves and releases pass through to the control below (the
// editor's knob drags check that); these are the cases that must not.
TEST(CRightMenu, RightMovesStayAndChordsGoBelow) {
  Listener listener;
  auto* target = new Target(12);
  auto* overlay = new VstGraph::CRightMenu(CRect(0, 0, 44, 44), &listener, 69, target);
  CPoint p(10, 10);
  // A move with only the right button belongs to the learn menu; a press with
  // both buttons is no learn click: it goes below.
  EXPECT_EQ(overlay->onMouseMoved(p, CButtonState(kRButton)), kMouseEventNotHandled);
  EXPECT_EQ(overlay->onMouseDown(p, CButtonState(kLButton | kRButton)), kMouseEventHandled);
  using Seen = std::vector<std::pair<std::string, long>>;
  EXPECT_EQ(target->seen, (Seen{{"down", kLButton | kRButton}}));
  EXPECT_EQ(listener.changes, 0);
  overlay->forget();
  target->forget();
}

TEST(EditorBitmapCache, AFullCacheIsReportedAndEveryBitmapReleasedAtItsEnd) {
  testfiles::MessageLog capture;
  long before = CBaseObject::liveObjects();
  {
    EditorBitmapCache cache;
    EXPECT_EQ(cache.get(0), nullptr);
    CBitmap* knob = cache.get(172);
    ASSERT_NE(knob, nullptr);
    for (long id = 300; cache.used() < EditorBitmapCache::kSlots; ++id) cache.get(id);
    EXPECT_TRUE(capture.shown.empty());
    EXPECT_EQ(cache.get(999), knob) << "a full cache answers the first slot";
    ASSERT_EQ(capture.shown.size(), 1u);
    EXPECT_EQ(capture.lines()[0], "Error!|Bitmap Alocation Error!|0");
  }
  EXPECT_EQ(CBaseObject::liveObjects(), before);
}

}  // namespace

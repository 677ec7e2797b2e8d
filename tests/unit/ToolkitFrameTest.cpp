// A frame without a window: view bookkeeping, edit routing to the editor,
// focus, and drawing into its back buffer.
#include <gtest/gtest.h>

#include <cairo.h>

#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "toolkit/CDrawContext.h"
#include "toolkit/CFrame.h"
#include "toolkit/CKnob.h"
#include "toolkit/EditorInterface.h"

using namespace vgui;

namespace {

struct FakeEditor : EditorInterface {
  std::vector<std::string> calls;
  long mode = kLinearMode;
  void beginEdit(long tag) override { calls.push_back("begin " + std::to_string(tag)); }
  void endEdit(long tag) override { calls.push_back("end " + std::to_string(tag)); }
  long getKnobMode() const override { return mode; }
};

// A view that fills itself with one colour and counts its drawings.
class Swatch : public CControl {
 public:
  Swatch(const CRect& r, uint32_t rgb) : CControl(r), rgb_(rgb) {}
  void draw(CDrawContext* dc) override {
    ++draws;
    dc->setFillColor(MakeCColor(rgb_ >> 16, (rgb_ >> 8) & 0xff, rgb_ & 0xff));
    dc->fillRect(size_);
  }
  int draws = 0;

 private:
  uint32_t rgb_;
};

uint32_t pixelOf(CFrame* f, int x, int y) {
  cairo_surface_t* s = f->copyBackBuffer();
  cairo_surface_flush(s);
  uint32_t p = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s) +
                                           y * cairo_image_surface_get_stride(s))[x] & 0xffffff;
  cairo_surface_destroy(s);
  return p;
}

}  // namespace

TEST(ToolkitFrameTest, ViewsAreKeptInOrderAndReleasedWithTheFrame) {
  long before = CBaseObject::liveObjects();
  FakeEditor editor;
  auto* frame = new CFrame(CRect(0, 0, 100, 50), nullptr, &editor);
  EXPECT_FALSE(frame->isOpen());
  auto* a = new Swatch(CRect(0, 0, 10, 10), 0xff0000);
  auto* b = new Swatch(CRect(5, 5, 20, 20), 0x00ff00);
  EXPECT_TRUE(frame->addView(a));
  EXPECT_TRUE(frame->addView(b));
  EXPECT_FALSE(frame->addView(a)) << "a view lies in a frame once";
  EXPECT_EQ(frame->getNbViews(), 2);
  EXPECT_EQ(frame->getView(1), b);
  EXPECT_EQ(frame->getView(2), nullptr);
  EXPECT_EQ(a->getFrame(), frame);

  EXPECT_TRUE(frame->removeView(a, false));
  EXPECT_FALSE(a->isAttached());
  EXPECT_EQ(frame->getNbViews(), 1);
  EXPECT_FALSE(frame->removeView(a, false));
  EXPECT_EQ(a->getNbReference(), 1) << "kept by its creator";
  frame->addView(a);  // back on top
  EXPECT_EQ(frame->getView(1), a);
  frame->forget();
  EXPECT_EQ(CBaseObject::liveObjects(), before) << "the frame released every view";
}

TEST(ToolkitFrameTest, CircularModeFollowsTheAngle) {
  FakeEditor editor;
  editor.mode = kCircularMode;
  auto* frame = new CFrame(CRect(0, 0, 100, 100), nullptr, &editor);
  auto* knob = new CKnob(CRect(0, 0, 40, 40), nullptr, 1);
  frame->addView(knob);
  CPoint left(0, 40);  // lower left, the start of the sweep
  knob->onMouseDown(left, CButtonState(kLButton));
  EXPECT_NEAR(knob->getValue(), 0.f, 1e-5);
  const std::tuple<CPoint, float, const char*> moves[] = {
      {CPoint(20, 0), 0.5f, "top"},
      {CPoint(40, 20), 5.f / 6, "right: 225 of the 270 degrees"},
      {CPoint(21, 40), 1.f, "dead zone, nearer the end"},
      {CPoint(19, 40), 0.f, "dead zone, nearer the start"}};
  for (auto [where, value, why] : moves) {
    knob->onMouseMoved(where, CButtonState(kLButton));
    EXPECT_NEAR(knob->getValue(), value, 1e-5) << why;
  }
  knob->onMouseUp(left, CButtonState());
  frame->forget();
}

TEST(ToolkitFrameTest, OnlyDirtyViewsAreRedrawnInOrder) {
  auto* frame = new CFrame(CRect(0, 0, 60, 40), nullptr, nullptr);
  auto* under = new Swatch(CRect(0, 0, 30, 30), 0xff0000);
  auto* over = new Swatch(CRect(20, 10, 50, 40), 0x0000ff);
  auto* apart = new Swatch(CRect(52, 0, 60, 8), 0x00ff00);
  frame->addView(under);
  frame->addView(over);
  frame->addView(apart);
  frame->idle();
  EXPECT_EQ(pixelOf(frame, 5, 5), 0xff0000u);
  EXPECT_EQ(pixelOf(frame, 25, 15), 0x0000ffu) << "the later view lies on top";
  EXPECT_EQ(pixelOf(frame, 55, 30), 0u) << "frame without background is black";
  int u = under->draws, o = over->draws, a = apart->draws;
  frame->idle();
  EXPECT_EQ(under->draws, u) << "nothing dirty, nothing drawn";
  under->setValue(0.7f);  // as from the audio thread
  frame->idle();
  EXPECT_EQ(under->draws, u + 1);
  EXPECT_EQ(over->draws, o + 1) << "overlapping views are drawn again on top";
  EXPECT_EQ(apart->draws, a);
  EXPECT_EQ(pixelOf(frame, 25, 15), 0x0000ffu);
  over->setVisible(false);
  frame->idle();
  EXPECT_EQ(pixelOf(frame, 25, 15), 0xff0000u);
  int hiddenDraws = over->draws, underDraws = under->draws;
  over->setValue(0.2f);
  frame->idle();
  frame->idle();
  EXPECT_EQ(over->draws, hiddenDraws) << "a hidden view is not drawn";
  EXPECT_EQ(under->draws, underDraws + 1) << "its place is repainted once, not at every idle";
  // A rectangle invalidated from another thread repaints the whole frame.
  int apartDraws = apart->draws;
  std::thread([&] { frame->invalidRect(CRect(0, 0, 1, 1)); }).join();
  frame->idle();
  EXPECT_EQ(apart->draws, apartDraws + 1);
  frame->removeView(under);
  frame->idle();
  EXPECT_EQ(pixelOf(frame, 5, 5), 0u) << "a removed view's place is repainted";
  frame->forget();
}

TEST(ToolkitFrameTest, FocusFollowsTakeAndLoose) {
  auto* frame = new CFrame(CRect(0, 0, 60, 40), nullptr, nullptr);
  auto* a = new Swatch(CRect(0, 0, 10, 10), 0);
  auto* b = new Swatch(CRect(10, 0, 20, 10), 0);
  frame->addView(a);
  frame->addView(b);
  a->takeFocus();
  EXPECT_EQ(frame->getFocusView(), a);
  b->looseFocus();
  EXPECT_EQ(frame->getFocusView(), a) << "only the focused view can give focus up";
  a->looseFocus();
  EXPECT_EQ(frame->getFocusView(), nullptr);
  b->takeFocus();
  frame->removeView(b);
  EXPECT_EQ(frame->getFocusView(), nullptr);
  frame->forget();
}

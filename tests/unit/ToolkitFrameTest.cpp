// A frame without a window: redrawing dirty views into its back buffer.
#include <gtest/gtest.h>

#include <cairo.h>

#include <string>
#include <thread>
#include <vector>

#include "toolkit/CDrawContext.h"
#include "toolkit/CControl.h"
#include "toolkit/CFrame.h"

using namespace vgui;

namespace {

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

// A frame without a window, redrawing dirty views into its back buffer, and
// the numbered skin bitmaps views draw with, in their shared cache.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>

#include "toolkit/CBitmap.h"
#include "toolkit/CControl.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/CFrame.h"
#include "toolkit/ResourceBitmaps.h"

#include "testsupport/XTestDisplay.h"

using namespace vgui;
namespace fs = std::filesystem;

namespace {

const auto* const kCairoStaticData = ::testing::AddGlobalTestEnvironment(new CairoStaticData);

// Writes a film strip of `frames` frames, each `h` high.
void writeStrip(const fs::path& path, int w, int h, int frames) {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h * frames);
  ASSERT_EQ(cairo_surface_write_to_png(s, path.c_str()), CAIRO_STATUS_SUCCESS);
  cairo_surface_destroy(s);
}

class ToolkitBitmapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("vgui-bitmaps-" + std::to_string(getpid()));
    fs::create_directories(dir_);
    ResourceBitmaps::setFolder(dir_.string());
  }
  void TearDown() override {
    ResourceBitmaps::setFolder("");
    fs::remove_all(dir_);
  }
  fs::path dir_;
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
  uint32_t p = surfacePixel(s, x, y);
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

TEST_F(ToolkitBitmapTest, SameNumberIsDecodedOnceAndFreedWithItsLastUser) {
  EXPECT_EQ(ResourceBitmaps::pathFor(7), (dir_ / "bmp00007.png").string());
  ResourceBitmaps::setFolder("/x/Resources/");
  EXPECT_EQ(ResourceBitmaps::pathFor(172), "/x/Resources/bmp00172.png");
  ResourceBitmaps::setFolder(dir_.string());
  writeStrip(dir_ / "bmp00172.png", 40, 44, 5);
  writeStrip(dir_ / "bmp00178.png", 22, 22, 2);
  int before = ResourceBitmaps::cachedCount();
  auto* a = new CBitmap(172);
  auto* b = new CBitmap(172);
  auto* c = new CBitmap(178);
  ASSERT_TRUE(a->isLoaded());
  EXPECT_EQ(a->getWidth(), 40);
  EXPECT_EQ(a->getHeight(), 220);
  EXPECT_EQ(a->getSurface(), b->getSurface());
  EXPECT_NE(a->getSurface(), c->getSurface());
  EXPECT_EQ(ResourceBitmaps::usersOf(172), 2);
  EXPECT_EQ(ResourceBitmaps::cachedCount(), before + 2);
  a->remember();  // a view holding it
  a->forget();
  a->forget();
  EXPECT_EQ(ResourceBitmaps::usersOf(172), 1);
  b->forget();
  EXPECT_EQ(ResourceBitmaps::usersOf(172), 0);
  EXPECT_EQ(ResourceBitmaps::cachedCount(), before + 1);
  c->forget();
  EXPECT_EQ(ResourceBitmaps::cachedCount(), before);
  // Reloading after the last user reads the file again.
  fs::remove(dir_ / "bmp00172.png");
  auto* d = new CBitmap(172);
  EXPECT_FALSE(d->isLoaded());
  d->forget();
}

// Numbered skin bitmaps and their shared cache.
#include <gtest/gtest.h>

#include <cairo.h>
#include <dlfcn.h>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "toolkit/CBitmap.h"
#include "toolkit/ResourceBitmaps.h"

using namespace vgui;
namespace fs = std::filesystem;

namespace {

// cairo keeps font faces for the life of the process; hand them back at the
// end so leak checkers see only real leaks. Tests only: a plug-in must never
// reset cairo, the host uses it too.
class CairoStaticData : public ::testing::Environment {
 public:
  void TearDown() override {
    cairo_debug_reset_static_data();
    // fontconfig comes with cairo; looked up so the tests need not link it.
    if (auto fini = reinterpret_cast<void (*)()>(dlsym(RTLD_DEFAULT, "FcFini"))) fini();
  }
};
const auto* const kCairoStaticData = ::testing::AddGlobalTestEnvironment(new CairoStaticData);

// Writes a strip of `frames` frames, each `h` high, frame k filled with red = k.
void writeStrip(const fs::path& path, int w, int h, int frames) {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h * frames);
  cairo_t* cr = cairo_create(s);
  for (int k = 0; k < frames; ++k) {
    cairo_set_source_rgb(cr, k / 255.0, 0.5, 1.0);
    cairo_rectangle(cr, 0, k * h, w, h);
    cairo_fill(cr);
  }
  cairo_destroy(cr);
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

}  // namespace

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

// Numbered skin bitmaps, their shared cache, drawing into an image, and the
// text of numeric displays.
#include <gtest/gtest.h>

#include <cairo.h>
#include <dlfcn.h>
#include <clocale>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "toolkit/CAnimKnob.h"
#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/COnOffButton.h"
#include "toolkit/CParamDisplay.h"
#include "toolkit/CTextLabel.h"
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

uint32_t pixel(cairo_surface_t* s, int x, int y) {
  cairo_surface_flush(s);
  auto* row = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s) +
                                          y * cairo_image_surface_get_stride(s));
  return row[x] & 0xffffff;
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

TEST_F(ToolkitBitmapTest, MissingOrBrokenFilesGiveEmptyBitmaps) {
  {
    FILE* f = std::fopen((dir_ / "bmp00151.png").c_str(), "wb");
    std::fputs("not a png", f);
    std::fclose(f);
  }
  int before = ResourceBitmaps::cachedCount();
  for (long id : {151L, 999L, 0L}) {
    auto* b = new CBitmap(id);
    EXPECT_FALSE(b->isLoaded()) << id;
    EXPECT_EQ(b->getWidth() + b->getHeight(), 0);
    cairo_surface_t* target = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 4, 4);
    CDrawContext dc(target);
    b->draw(&dc, CRect(0, 0, 4, 4));  // draws nothing, does not crash
    cairo_surface_destroy(target);
    b->forget();
  }
  EXPECT_EQ(ResourceBitmaps::cachedCount(), before);
  auto* none = new CBitmap(0, 5);
  EXPECT_FALSE(none->isLoaded()) << "a bitmap of no width";
  none->forget();
}

TEST_F(ToolkitBitmapTest, FilmStripControlsDrawTheirFrame) {
  writeStrip(dir_ / "bmp00172.png", 40, 44, 31);
  writeStrip(dir_ / "bmp00178.png", 22, 22, 2);
  auto* strip = new CBitmap(172);
  auto* onOff = new CBitmap(178);
  cairo_surface_t* target = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 200, 100);
  auto* knob = new CAnimKnob(CRect(10, 20, 50, 64), nullptr, 1,
                             static_cast<long>(strip->getHeight()) / 44, 44, strip);
  auto* button = new COnOffButton(CRect(100, 10, 122, 32), nullptr, 7, onOff);
  strip->forget();  // the controls keep them
  onOff->forget();
  EXPECT_EQ(knob->getNumSubPixmaps(), 31);
  for (float v : {0.f, 0.5f, 1.f}) {
    knob->setValue(v);
    CDrawContext dc(target);
    knob->draw(&dc);
    uint32_t p = pixel(target, 30, 40);
    EXPECT_EQ(p >> 16, static_cast<uint32_t>(knob->currentFrame())) << v;
    EXPECT_EQ(pixel(target, 9, 40), 0u) << "nothing drawn outside the view";
  }
  {
    CDrawContext dc(target);
    button->draw(&dc);
    EXPECT_EQ(pixel(target, 110, 20) >> 16, 0u);
    button->setValue(1);
    button->draw(&dc);
    EXPECT_EQ(pixel(target, 110, 20) >> 16, 1u);
  }
  knob->forget();
  button->forget();
  EXPECT_EQ(ResourceBitmaps::usersOf(172), 0);
  cairo_surface_destroy(target);
}

namespace {

bool bendText(float v, char* text, void* user) {
  *static_cast<int*>(user) += 1;
  std::snprintf(text, 256, "%d", static_cast<int>(v * 11 + 1));
  return true;
}

bool refuseText(float, char*, void*) { return false; }

}  // namespace

TEST(ToolkitDisplayTest, TextComesFromTheProcedureOrTheDefaultFormat) {
  auto* d = new CParamDisplay(CRect(0, 0, 40, 19));
  char text[256];
  for (auto [value, want] : {std::pair{0.5f, "0.50"}, {-6.f, "-6.00"}, {12.f, "12.00"}}) {
    d->valueToText(value, text);
    EXPECT_STREQ(text, want);
  }
  int calls = 0;
  d->setValueToStringProc(bendText, &calls);
  d->valueToText(1.f, text);
  EXPECT_STREQ(text, "12");
  EXPECT_EQ(calls, 1);
  d->setValueToStringProc(refuseText);
  d->valueToText(0.25f, text);
  EXPECT_STREQ(text, "0.25") << "a procedure that writes nothing falls back to the default";
  d->forget();
}

TEST(ToolkitDisplayTest, DefaultFormatIgnoresTheLocale) {
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = old ? old : "C";
  bool comma = false;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "C.UTF-8"}) {
    if (std::setlocale(LC_NUMERIC, name) && std::strcmp(localeconv()->decimal_point, ",") == 0) {
      comma = true;
      break;
    }
  }
  char text[256];
  CParamDisplay::defaultText(0.75f, text);
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_STREQ(text, "0.75");
  if (!comma) GTEST_SKIP() << "no locale with a decimal comma installed";
}

TEST(ToolkitDisplayTest, LabelKeepsOneLine) {
  auto* l = new CTextLabel(CRect(0, 0, 100, 20), "2.0.0 Mac AU\nsecond line");
  EXPECT_STREQ(l->getText(), "2.0.0 Mac AU");
  l->setText(nullptr);
  EXPECT_STREQ(l->getText(), "");
  l->forget();
}

TEST(ToolkitDisplayTest, TextIsDrawnInTheFontColour) {
  cairo_surface_t* target = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 60, 20);
  auto* d = new CParamDisplay(CRect(0, 0, 60, 20));
  d->setBackColor(kBlackCColor);
  d->setFontColor(MakeCColor(0, 255, 0));
  d->setFont(kNormalFontBig);
  d->setValue(0.88f);
  {
    CDrawContext dc(target);
    d->draw(&dc);
  }
  int green = 0, other = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 60; ++x) {
      uint32_t p = pixel(target, x, y);
      if (p == 0) continue;
      if ((p & 0xff00ff) == 0 && (p & 0xff00)) ++green; else ++other;
    }
  EXPECT_GT(green, 20) << "the text shows";
  EXPECT_EQ(other, 0) << "black back, green text, no other colour";
  d->forget();
  cairo_surface_destroy(target);
}

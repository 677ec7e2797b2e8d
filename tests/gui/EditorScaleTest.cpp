// The editor on dense screens: one factor per window, from the host, the
// user's zoom, the X resources or GDK_SCALE; the window, the mouse, the knob
// travel and the menus scale with it, and the skin is drawn, not stretched.
#include "tests/gui/EditorWindowFixture.h"

#include <array>
#include <cmath>
#include <cstring>

#include "editor/EditorTexts.h"
#include "tools/mkskin/SkinPainter.h"

using namespace editor_gui;
using vgui::CPoint;
using vgui::CRect;

namespace {

constexpr int kPanelW = 927, kPanelH = 524;
constexpr vst::VstInt32 kScaleRequest = vst::fourCC('P', 'r', 'e', 'S');

int scaled(int v, double s) { return static_cast<int>(std::lround(v * s)); }

// Rows of the box that hold dark text pixels: the height of the ink.
int inkRows(cairo_surface_t* s, int left, int top, int right, int bottom) {
  int rows = 0;
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x) {
      uint32_t p = surfacePixel(s, x, y);
      if (((p >> 16) & 0xff) < 90 && ((p >> 8) & 0xff) < 90 && (p & 0xff) < 90) {
        ++rows;
        break;
      }
    }
  return rows;
}

int channelSpread(uint32_t a, uint32_t b) {
  int worst = 0;
  for (int shift : {0, 8, 16})
    worst = std::max(worst, std::abs(static_cast<int>((a >> shift) & 0xff) -
                                     static_cast<int>((b >> shift) & 0xff)));
  return worst;
}

void save(cairo_surface_t* s, const std::string& name) {
  fs::create_directories(VGUI_SHOT_DIR);
  cairo_surface_write_to_png(s, (std::string(VGUI_SHOT_DIR) + "/" + name).c_str());
}

class EditorScaleTest : public EditorWindowTest {
 protected:
  // A host window large enough for the editor at `s`.
  void fitHostWindow(double s) {
    XResizeWindow(host_, parent_, static_cast<unsigned>(scaled(kPanelW, s) + 10),
                  static_cast<unsigned>(scaled(kPanelH, s) + 10));
    XSync(host_, False);
  }

  void setResources(const char* text) {
    Window root = DefaultRootWindow(host_);
    if (text)
      XChangeProperty(host_, root, XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(text),
                      static_cast<int>(std::strlen(text)));
    else
      XDeleteProperty(host_, root, XA_RESOURCE_MANAGER);
    XSync(host_, False);
  }
};

TEST_F(EditorScaleTest, WindowMouseKnobTravelAndMenusFollowTheHostsFactor) {
  struct Menu {
    Geometry at;
    int ink = 0;
  };
  Menu atOne;
  for (double s : {1.0, 1.5, 2.0}) {
    SCOPED_TRACE("factor " + std::to_string(s));
    EXPECT_EQ(plugin_->vendorSpecific(kScaleRequest, 0, nullptr, static_cast<float>(s)), 1);
    auto rect = plugin_->editorRect();
    ASSERT_TRUE(rect);
    EXPECT_EQ(rect->right - rect->left, scaled(kPanelW, s));
    EXPECT_EQ(rect->bottom - rect->top, scaled(kPanelH, s));
    fitHostWindow(s);
    ASSERT_TRUE(openEditor());
    Geometry window = geometryOf(host_, frame()->getWindow());
    EXPECT_EQ(window.width, scaled(kPanelW, s));
    EXPECT_EQ(window.height, scaled(kPanelH, s));

    // 60 frame pixels up turn a knob by 60 / 200 of its range at any factor.
    const int knob = 6;
    plugin_->setParameter(knob, 0.2f);
    pumpFor(20);
    plugin_->recorder().clear();
    CRect r = placeOf(knob);
    CPoint start = toScreen((r.left + r.right) / 2, (r.top + r.bottom) / 2, s);
    for (int step = 0; step <= 10; ++step) {
      XTestFakeMotionEvent(host_, -1, static_cast<int>(start.x),
                           static_cast<int>(start.y) - scaled(6 * step, s), 0);
      if (step == 0) XTestFakeButtonEvent(host_, 1, True, 0);
      XFlush(host_);
      pumpFor(step == 0 ? 30 : 10);
    }
    XTestFakeButtonEvent(host_, 1, False, 0);
    XFlush(host_);
    pumpFor(40);
    const float value = plugin_->getParameter(knob);
    EXPECT_NEAR(value, 0.5f, 0.011f);
    EXPECT_FLOAT_EQ(editor_->entry(knob).control->getValue(), value);
    auto edits = plugin_->recorder().edits();
    ASSERT_EQ(edits.size(), 2u) << "the release reaches the knob under its overlay";
    EXPECT_TRUE(edits[0].begin && !edits[1].begin);
    EXPECT_EQ(edits[0].index, knob);
    EXPECT_EQ(edits[1].index, knob);
    auto automations = plugin_->recorder().automations();
    ASSERT_FALSE(automations.empty());
    for (const auto& a : automations) EXPECT_EQ(a.index, knob);
    EXPECT_FLOAT_EQ(automations.back().value, value);

    // The main menu drops from the bottom left of its place, as large as the window.
    Menu seen;
    CRect place = editor_->getMainMenu()->getViewSize();
    popUp(CRect(scaled(place.left, s), scaled(place.top, s), scaled(place.right, s),
                scaled(place.bottom, s)),
          [&](Display* d) {
            Window w = vgui::CMenuPopup::openWindow();
            seen.at = geometryOf(d, w);
            cairo_surface_t* shot = grabWindow(d, w, 0, 0, seen.at.width, seen.at.height);
            // The first entry's text, clear of the check mark column.
            seen.ink = inkRows(shot, scaled(20, s), 0, seen.at.width, scaled(18, s));
            cairo_surface_destroy(shot);
            pressKey(d, XK_Escape);
          });
    CPoint corner = toScreen(place.left, place.bottom, s);
    EXPECT_NEAR(seen.at.x, corner.x, 1);
    EXPECT_NEAR(seen.at.y, corner.y, 1);
    if (s == 1.0) {
      atOne = seen;
      ASSERT_GT(atOne.ink, 5);
    } else {
      EXPECT_NEAR(seen.at.height, atOne.at.height * s, 2 * s);
      EXPECT_NEAR(seen.at.width, atOne.at.width * s, 4 * s);
      EXPECT_GE(seen.ink, atOne.ink * s * 0.8) << "the entries' text is drawn larger";
      EXPECT_LE(seen.ink, atOne.ink * s * 1.25);
    }
    plugin_->closeEditor();
  }
}

TEST_F(EditorScaleTest, FactorComesFromTheHostThenTheZoomThenXftDpiThenGdkScale) {
  struct Case {
    const char* resources;
    const char* gdkScale;
    int storedZoom;  // percent, 0 for none
    float host;      // 0 for no request
    double expected;
  };
  const Case cases[] = {
      {nullptr, nullptr, 0, 0, 1.0},
      {"Xft.dpi:\t144\n", nullptr, 0, 0, 1.5},
      {"Xft.antialias:\t1\nXft.dpi:\t120\n", "3", 0, 0, 1.25},
      {nullptr, "2", 0, 0, 2.0},
      {"Xft.dpi:\t480\n", nullptr, 0, 0, 3.0},
      {"Xft.dpi:\t72\n", nullptr, 0, 0, 1.0},
      {"Xft.dpi:\t144\n", "2", 125, 0, 1.25},
      {"Xft.dpi:\t144\n", nullptr, 125, 2.0f, 2.0},
      {nullptr, nullptr, 0, 1.75f, 1.75},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.resources ? c.resources : "no resources") + " GDK_SCALE " +
                 (c.gdkScale ? c.gdkScale : "unset") + " zoom " +
                 std::to_string(c.storedZoom) + " host " + std::to_string(c.host));
    setResources(c.resources);
    if (c.gdkScale)
      setenv("GDK_SCALE", c.gdkScale, 1);
    else
      unsetenv("GDK_SCALE");
    Preferences prefs(Preferences::defaultFilePath());
    prefs.load();
    if (c.storedZoom)
      prefs.setInt(Preferences::kEditorZoomKey, c.storedZoom + 1);
    else
      prefs.remove(Preferences::kEditorZoomKey);
    ASSERT_TRUE(prefs.save());
    plugin_.reset();
    load();  // a new instance: nothing chosen yet
    if (c.host > 0) plugin_->vendorSpecific(kScaleRequest, 0, nullptr, c.host);
    auto rect = plugin_->editorRect();
    ASSERT_TRUE(rect);
    EXPECT_EQ(rect->right, scaled(kPanelW, c.expected));
    EXPECT_EQ(rect->bottom, scaled(kPanelH, c.expected));
  }
  setResources(nullptr);
  unsetenv("GDK_SCALE");
}

TEST_F(EditorScaleTest, ZoomFromTheMainMenuResizesAsksTheHostAndIsRememberedForNewWindows) {
  ASSERT_TRUE(openEditor());
  ASSERT_EQ(editor_->getMainMenu()->getNbEntries(), 8);
  EXPECT_STREQ(editor_->getMainMenu()->getEntry(6)->getTitle(), "Presets");
  EXPECT_STREQ(editor_->getMainMenu()->getEntry(7)->getTitle(), "Zoom");
  fitHostWindow(2.0);
  // Up from the first entry wraps to Zoom; its submenu starts at 100 %.
  popUp(editor_->getMainMenu()->getViewSize(),
        keys({XK_Up, XK_Right, XK_Down, XK_Down, XK_Down, XK_Return}));
  pumpFor(40);
  EXPECT_DOUBLE_EQ(editor_->getScaleFactor(), 2.0);
  Geometry window = geometryOf(host_, frame()->getWindow());
  EXPECT_EQ(window.width, 1854);
  EXPECT_EQ(window.height, 1048);
  auto sizes = plugin_->recorder().windowSizes();
  ASSERT_FALSE(sizes.empty()) << "the host is asked to resize";
  EXPECT_EQ(sizes.back().width, 1854);
  EXPECT_EQ(sizes.back().height, 1048);
  EXPECT_TRUE(plugin_->recorder().automations().empty()) << "zoom is no parameter";
  EXPECT_TRUE(editor_->getZoomMenu()->getEntry(3)->isChecked());
  EXPECT_FALSE(editor_->getZoomMenu()->getEntry(0)->isChecked());

  plugin_->closeEditor();
  plugin_.reset();
  load();
  auto rect = plugin_->editorRect();
  ASSERT_TRUE(rect);
  EXPECT_EQ(rect->right, 1854) << "a new window opens at the zoom chosen last";
}

TEST_F(EditorScaleTest, TheSkinIsDrawnAtTheWindowsSizeNotStretched) {
  ASSERT_TRUE(openEditor());
  cairo_surface_t* one = frame()->copyBackBuffer();
  save(one, "editor-1x.png");
  plugin_->closeEditor();
  // Where no view lies, the window shows the panel drawn at 1.5x pixel for
  // pixel: the footer line and the header.
  const double s = 1.5;
  plugin_->vendorSpecific(kScaleRequest, 0, nullptr, static_cast<float>(s));
  ASSERT_TRUE(openEditor());
  cairo_surface_t* shot = frame()->copyBackBuffer();
  save(shot, "editor-1.5x.png");
  cairo_surface_t* panel = SkinPainter::paint(139, s);
  for (auto [l, t, r, b] : {std::array{30, 488, 897, 510}, {260, 8, 700, 55}})
    EXPECT_EQ(
        differingPixels(shot, panel, scaled(l, s), scaled(t, s), scaled(r, s), scaled(b, s)), 0);
  cairo_surface_destroy(panel);
  cairo_surface_destroy(shot);
  plugin_->closeEditor();

  plugin_->vendorSpecific(kScaleRequest, 0, nullptr, 2.0f);
  fitHostWindow(2.0);
  ASSERT_TRUE(openEditor());
  cairo_surface_t* two = grabWindow(host_, frame()->getWindow(), 0, 0, 1854, 1048);
  ASSERT_NE(two, nullptr);
  save(two, "editor-2x.png");
  // Against the 1x picture scaled up by doubling its pixels: in text and at
  // the knobs' edges the 2x window has detail the doubled pixels cannot have,
  // since every 2 x 2 block of those is one colour.
  struct Box {
    const char* what;
    int left, top, right, bottom;  // frame pixels
  } boxes[] = {{"title", 300, 14, 520, 54}, {"knob", 805, 248, 849, 292},
               {"labels", 230, 95, 480, 110}, {"mode button", 72, 114, 171, 149}};
  for (const Box& b : boxes) {
    SCOPED_TRACE(b.what);
    int differing = 0, pixels = 0, detailedBlocks = 0, edgeBlocks = 0;
    for (int y = b.top; y < b.bottom; ++y)
      for (int x = b.left; x < b.right; ++x) {
        uint32_t doubled = surfacePixel(one, x, y);
        // An edge of the 1x picture: its right or lower neighbour differs.
        bool edge = channelSpread(doubled, surfacePixel(one, x + 1, y)) > 48 ||
                    channelSpread(doubled, surfacePixel(one, x, y + 1)) > 48;
        uint32_t block[4] = {surfacePixel(two, 2 * x, 2 * y), surfacePixel(two, 2 * x + 1, 2 * y),
                             surfacePixel(two, 2 * x, 2 * y + 1),
                             surfacePixel(two, 2 * x + 1, 2 * y + 1)};
        if (!edge) continue;
        int spread = 0;
        for (uint32_t p : block) {
          ++pixels;
          if (channelSpread(p, doubled) > 48) ++differing;
          spread = std::max(spread, channelSpread(p, block[0]));
        }
        ++edgeBlocks;
        if (spread > 48) ++detailedBlocks;
      }
    std::printf("%s: %d of %d pixels at edges differ from doubled 1x; %d of %d edge blocks hold detail\n",
                b.what, differing, pixels, detailedBlocks, edgeBlocks);
    ASSERT_GT(edgeBlocks, 20);
    EXPECT_GT(differing, pixels / 8);
    EXPECT_GT(detailedBlocks, edgeBlocks / 4);
  }
  cairo_surface_destroy(two);
  cairo_surface_destroy(one);
}

}  // namespace

// The instrument's editor on a real X server, hosted through the plug-in
// interface inside a window of the host library and driven with XTest events:
// layout, mouse, menus, dialogs, the window's lifetime, and its scale factor.
// gtest first: Xlib defines macros (None, Bool) that clash with its names.
#include <gtest/gtest.h>

#include "tests/testsupport/XTestDisplay.h"
#include <X11/Xatom.h>
#include <X11/keysym.h>
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "editor/CVornAnimatedButton.h"
#include "editor/Editor.h"
#include "editor/EditorMessageBox.h"
#include "editor/EditorTexts.h"
#include "host/HostedPlugin.h"
#include "host/MidiEventList.h"
#include "host/PluginModule.h"
#include "plugin/VstSynth.h"
#include "support/Preferences.h"
#include "toolkit/CAnimKnob.h"
#include "toolkit/CBaseObject.h"
#include "toolkit/CFrame.h"
#include "toolkit/CMenuPopup.h"
#include "toolkit/COnOffButton.h"
#include "toolkit/ResourceBitmaps.h"
#include "tools/mkskin/SkinPainter.h"

namespace fs = std::filesystem;
using vgui::CPoint;
using vgui::CRect;

namespace {

const auto* const kCairoStaticData = ::testing::AddGlobalTestEnvironment(new CairoStaticData);

constexpr int kPanelW = 927, kPanelH = 524;
constexpr vst::VstInt32 kScaleRequest = vst::fourCC('P', 'r', 'e', 'S');

int scaled(double v, double s) { return static_cast<int>(std::lround(v * s)); }

// One data folder for the whole process: the engine caches its folders.
void prepareDataFolders() {
  static fs::path root;
  if (!root.empty()) return;
  root = fs::temp_directory_path() / ("vellamor-editor-gui-" + std::to_string(getpid()));
  fs::path sounds = root / "data/Audio/Sounds/Banks/Quillmark/Vellamor";
  for (const char* folder : {"03-Warm Gut", "07-Bright Strings", "Scale"})
    fs::create_directories(sounds / folder);
  std::ofstream(sounds / "Scale/12-Equal Temperament.txt") << "0\n";
  std::ofstream(sounds / "Scale/Raised Fifth.txt") << "0\n0\n0\n0\n0\n0\n0\n30\n0\n0\n0\n0\n";
  setenv("HOME", root.c_str(), 1);
  setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
  setenv("XDG_DATA_DIRS", (root / "none").c_str(), 1);
  vgui::ResourceBitmaps::setFolder(VELLAMOR_SKIN_DIR);
  VstSynth::setEditorFactory(&Editor::create);
}

vst::AEffect* inProcessEntry(vst::audioMasterCallback audioMaster) {
  vst::AudioEffect* effect = createEffectInstance(audioMaster);
  return effect ? effect->getAeffect() : nullptr;
}

bool dialogOpen() { return EditorMessageBox::openWindow() != 0; }

// Where window `w` lies on the screen, and its size.
struct Geometry {
  int x = 0, y = 0, width = 0, height = 0;
  bool holds(const CPoint& p) const {
    return p.x >= x && p.x < x + width && p.y >= y && p.y < y + height;
  }
};
Geometry geometryOf(Display* d, Window w) {
  XWindowAttributes a;
  XGetWindowAttributes(d, w, &a);
  Window child;
  Geometry g{0, 0, a.width, a.height};
  XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &g.x, &g.y, &child);
  return g;
}

// A user who answers every dialog that comes up with Escape, noting where
// each stood (and, given `said`, its title and text), until none has come
// for a second.
std::function<void(Display*)> answerEveryDialog(std::vector<CPoint>& seen,
                                                std::vector<std::string>* said = nullptr) {
  return [&seen, said](Display* d) {
    for (Window last = 0;;) {
      Window w = 0;
      for (int i = 0; i < 100 && ((w = EditorMessageBox::openWindow()) == 0 || w == last); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (w == 0 || w == last) return;
      if (said) said->push_back(EditorMessageBox::openMessage());
      Geometry g = geometryOf(d, w);
      seen.push_back(CPoint(g.x + g.width / 2, g.y + g.height / 2));
      last = w;
      pressKey(d, XK_Escape);
    }
  };
}

int openFiles() {
  int n = 0;
  DIR* d = opendir("/proc/self/fd");
  while (readdir(d)) ++n;
  closedir(d);
  return n;
}

long residentKiB() {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return 0;
}

auto keys(std::vector<KeySym> list) {
  return [list](Display* d) {
    for (KeySym k : list) pressKey(d, k);
  };
}

class EditorWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = openTestDisplay();
    if (!host_) GTEST_SKIP() << "no X display";
    int ev, err, major, minor;
    ASSERT_TRUE(XTestQueryExtension(host_, &ev, &err, &major, &minor));
    prepareDataFolders();
    // Windows open at 1x unless a test says otherwise.
    Preferences prefs(Preferences::defaultFilePath());
    prefs.load();
    if (prefs.remove(Preferences::kEditorZoomKey)) prefs.save();
    setResources(nullptr);
    unsetenv("GDK_SCALE");
    parent_ = mapHostWindow(host_, 20, 20, 960, 560);
    load();
  }

  void TearDown() override {
    if (!host_) return;
    plugin_.reset();
    XDestroyWindow(host_, parent_);
    XCloseDisplay(host_);
    waitForTestDisplay();
  }

  void load() {
    std::string error;
    plugin_ = host::HostedPlugin::load(host::PluginModule::fromEntry(&inProcessEntry, "in-process"),
                                       error);
    ASSERT_TRUE(plugin_) << error;
    synth_ = dynamic_cast<VstSynth*>(static_cast<vst::AudioEffect*>(plugin_->effect()->object));
    ASSERT_NE(synth_, nullptr);
    editor_ = dynamic_cast<Editor*>(synth_->getEditor());
    ASSERT_NE(editor_, nullptr);
  }

  bool openEditor() {
    if (!plugin_->openEditor(static_cast<std::uintptr_t>(parent_))) return false;
    pumpFor(40);
    return true;
  }

  void pump(const std::function<bool()>& until, int ms = 3000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
      plugin_->editorIdle();
      if (until && until()) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
    } while (std::chrono::steady_clock::now() < end);
  }
  void pumpFor(int ms) { pump(nullptr, ms); }

  vgui::CFrame* frame() const { return editor_->getFrame(); }
  CRect placeOf(int index) const { return editor_->entry(index).control->getViewSize(); }

  // Screen point of frame point (x, y) in a window at factor `s`.
  CPoint toScreen(double x, double y, double s = 1.0) {
    int sx, sy;
    Window child;
    XTranslateCoordinates(host_, frame()->getWindow(), DefaultRootWindow(host_), scaled(x, s),
                          scaled(y, s), &sx, &sy, &child);
    return CPoint(sx, sy);
  }

  // Opens the view at frame place `r` (at factor `s`) with a click and lets
  // `script` act on what pops up.
  void popUp(const CRect& r, std::function<void(Display*)> script, unsigned button = 1,
             double s = 1.0) {
    UserThread user(&vgui::CMenuPopup::isOpen, script);
    CPoint p = toScreen((r.left + r.right) / 2, (r.top + r.bottom) / 2, s);
    clickAt(host_, static_cast<int>(p.x), static_cast<int>(p.y), button);
    pump([&] { return user.finished.load() && !vgui::CMenuPopup::isOpen(); }, 8000);
    EXPECT_TRUE(user.started.load()) << "no pop-up opened";
    pumpFor(30);
  }

  void sendController(int controller, int value) {
    host::MidiEventList events;
    events.controller(0, 0, controller, value);
    plugin_->render(64, 64, events);
  }

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

  Display* host_ = nullptr;
  Window parent_ = 0;
  std::unique_ptr<host::HostedPlugin> plugin_;
  VstSynth* synth_ = nullptr;
  Editor* editor_ = nullptr;
};
using EditorScaleTest = EditorWindowTest;

// The panel as drawn on the skin: every view in the order it enters the
// frame, with its tag and place. Knobs are as wide as their film strip and
// one 44-pixel frame high; menus are given by their corners.
enum Kind { Knob, OnOff, ThreeState, Readout, Menu };
struct Placed {
  Kind kind;
  int tag, x, y, w = 0, h = 0;  // menus: left, top, right, bottom
};
const Placed kPanel[] = {
    {Readout, 58, 761, 164, 43, 19}, {Readout, 59, 250, 164, 34, 19}, {Knob, 0, 244, 111},
    {Knob, 1, 332, 111}, {Knob, 2, 420, 111}, {OnOff, 31, 343, 162, 22, 22}, {Knob, 28, 541, 111},
    {Readout, 28, 547, 164, 31, 19}, {Knob, 29, 629, 111}, {Knob, 5, 717, 111}, {Knob, 4, 805, 111},
    {Knob, 6, 77, 386}, {Knob, 10, 541, 248}, {Knob, 11, 629, 248}, {Knob, 12, 717, 248},
    {Knob, 13, 805, 248}, {OnOff, 7, 182, 336, 22, 22}, {Knob, 8, 166, 386}, {Knob, 9, 254, 386},
    {Knob, 14, 420, 248}, {Readout, 14, 398, 301, 22, 19}, {Knob, 15, 332, 248},
    {Readout, 15, 376, 301, 22, 19}, {Readout, 27, 223, 301, 43, 19}, {OnOff, 18, 350, 336, 22, 22},
    {Knob, 19, 375, 386}, {Knob, 20, 463, 386}, {OnOff, 32, 387, 435, 22, 22},
    {OnOff, 21, 558, 336, 22, 22}, {Knob, 22, 584, 386}, {Knob, 23, 672, 386},
    {ThreeState, 3, 72, 114, 99, 35}, {ThreeState, 16, 72, 231, 99, 35},
    {Menu, 71, 776, 416, 864, 439}, {Menu, 25, 784, 201, 870, 223}, {Menu, 26, 518, 201, 604, 223},
    {Menu, 60, 784, 63, 870, 85}, {Menu, 27, 518, 63, 604, 85}, {Menu, 17, 100, 301, 142, 320},
    {Menu, 72, 36, 29, 204, 45}, {Menu, 68, 774, 357, 865, 378},
};

std::string describe(const CRect& r) {
  return std::to_string(static_cast<int>(r.left)) + "," + std::to_string(static_cast<int>(r.top)) +
         "-" + std::to_string(static_cast<int>(r.right)) + "," +
         std::to_string(static_cast<int>(r.bottom));
}

TEST_F(EditorWindowTest, EveryViewLiesWhereThePanelPutsItAndKnobsAreDrawnOverTheSkin) {
  ASSERT_TRUE(openEditor());
  cairo_surface_t* strip =
      cairo_image_surface_create_from_png((std::string(VELLAMOR_SKIN_DIR) + "/bmp00172.png").c_str());
  ASSERT_EQ(cairo_surface_status(strip), CAIRO_STATUS_SUCCESS);
  const int knobWidth = cairo_image_surface_get_width(strip);
  cairo_surface_destroy(strip);

  std::vector<std::pair<int, CRect>> knobs;
  int next = 0;
  auto view = [&]() -> vgui::CView* {
    return next < frame()->getNbViews() ? frame()->getView(next++) : nullptr;
  };
  for (const Placed& p : kPanel) {
    CRect want = p.kind == Menu   ? CRect(p.x, p.y, p.w, p.h)
                 : p.kind == Knob ? CRect(p.x, p.y, p.x + knobWidth, p.y + 44)
                                  : CRect(p.x, p.y, p.x + p.w, p.y + p.h);
    SCOPED_TRACE("tag " + std::to_string(p.tag) + " at " + describe(want));
    vgui::CControl* v = dynamic_cast<vgui::CControl*>(view());
    ASSERT_NE(v, nullptr) << "the frame holds fewer views than the panel, or not this control";
    EXPECT_EQ(v->getTag(), p.tag);
    EXPECT_EQ(describe(v->getViewSize()), describe(want));
    switch (p.kind) {
      case Knob: EXPECT_NE(dynamic_cast<vgui::CAnimKnob*>(v), nullptr); break;
      case OnOff: EXPECT_NE(dynamic_cast<vgui::COnOffButton*>(v), nullptr); break;
      case ThreeState: EXPECT_NE(dynamic_cast<CVornAnimatedButton*>(v), nullptr); break;
      case Readout:
        EXPECT_EQ(v, editor_->entry(p.tag).display);
        EXPECT_EQ(dynamic_cast<vgui::COptionMenu*>(v), nullptr);
        break;
      case Menu: EXPECT_NE(dynamic_cast<vgui::COptionMenu*>(v), nullptr); break;
    }
    if (p.kind == Readout || p.kind == Menu) continue;
    EXPECT_EQ(v, editor_->entry(p.tag).control);
    if (p.kind == Knob) knobs.emplace_back(p.tag, want);
    // Each control lies under its learn overlay, which covers it exactly.
    vgui::CControl* overlay = dynamic_cast<vgui::CControl*>(view());
    ASSERT_NE(overlay, nullptr);
    EXPECT_EQ(overlay, editor_->entry(p.tag).rightMenu);
    EXPECT_EQ(overlay->getTag(), 69);
    EXPECT_EQ(describe(overlay->getViewSize()), describe(want));
  }
  EXPECT_EQ(frame()->getNbViews(), next) << "views beyond the panel";
  EXPECT_EQ(editor_->bitmapCache().used(), 4);
  EXPECT_FALSE(frame()->isChild(editor_->getAboutPage()));

  cairo_surface_t* shot = frame()->copyBackBuffer();
  cairo_surface_t* window = grabWindow(host_, frame()->getWindow(), 0, 0, 927, 524);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(differingPixels(shot, window, 0, 0, 927, 524), 0)
      << "the window shows exactly what the frame drew";
  cairo_surface_destroy(window);
  cairo_surface_t* skin =
      cairo_image_surface_create_from_png((std::string(VELLAMOR_SKIN_DIR) + "/bmp00139.png").c_str());
  ASSERT_EQ(cairo_surface_status(skin), CAIRO_STATUS_SUCCESS);
  for (const auto& [tag, r] : knobs) {
    EXPECT_GT(differingPixels(shot, skin, static_cast<int>(r.left), static_cast<int>(r.top),
                              static_cast<int>(r.right), static_cast<int>(r.bottom)),
              200)
        << "knob " << tag << " is not drawn";
  }
  cairo_surface_destroy(skin);
  cairo_surface_destroy(shot);
}

TEST_F(EditorWindowTest, OpeningZoomingClosingAndDestroyingWhileOpenLeakNothing) {
  // Zoomed while open: the skin is drawn again at the new size.
  auto cycle = [&](int i) {
    ASSERT_TRUE(plugin_->openEditor(static_cast<std::uintptr_t>(parent_)));
    plugin_->setParameter(i % 30, static_cast<float>(i % 10) / 10.0f);
    plugin_->editorIdle();
    editor_->zoomTo(EditorTexts::zoomPercent(i % EditorTexts::kZoomSteps));
    plugin_->editorIdle();
    plugin_->closeEditor();
  };
  // Every zoom step once first: cairo and fontconfig keep caches per size.
  for (int i = 0; i < EditorTexts::kZoomSteps; ++i) cycle(i);
  long objects = vgui::CBaseObject::liveObjects();
  int bitmaps = vgui::ResourceBitmaps::cachedCount();
  int files = openFiles();
  long rss = residentKiB();
  for (int i = 0; i < 100; ++i) cycle(i);
  EXPECT_EQ(vgui::CBaseObject::liveObjects(), objects);
  EXPECT_EQ(vgui::ResourceBitmaps::cachedCount(), bitmaps);
  EXPECT_EQ(openFiles(), files) << "every X connection is closed";
  long grown = residentKiB() - rss;
#ifndef __SANITIZE_ADDRESS__  // its quarantine keeps freed memory resident
  // A window's skin at 3x is megabytes: leaking one per cycle would grow by
  // hundreds; what the allocator keeps of freed pictures stays well below.
  EXPECT_LT(grown, 8192);
#endif

  // The plug-in goes with its editor open.
  ASSERT_TRUE(openEditor());
  plugin_.reset();
  EXPECT_LE(vgui::CBaseObject::liveObjects(), objects - 3) << "the editor's bitmaps went with it";
  load();
}

TEST_F(EditorWindowTest, SoundSetAndScaleMenusListTheDataFolders) {
  ASSERT_TRUE(openEditor());
  vgui::COptionMenu* sets = editor_->getSoundSetMenu();
  ASSERT_EQ(sets->getNbEntries(), 2);
  EXPECT_STREQ(sets->getEntry(0)->getTitle(), "Warm Gut");
  EXPECT_STREQ(sets->getEntry(1)->getTitle(), "Bright Strings");

  vgui::COptionMenu* scales = editor_->getScaleMenu();
  ASSERT_EQ(scales->getNbEntries(), 2);
  int equal = std::string(scales->getEntry(0)->getTitle()) == "12-Equal Temperament" ? 0 : 1;
  EXPECT_EQ(scales->getCurrentIndex(), equal);
  popUp(CRect(784, 63, 870, 85), keys({KeySym(equal == 0 ? XK_Down : XK_Up), XK_Return}));
  EXPECT_EQ(scales->getCurrentIndex(), 1 - equal);
  EXPECT_NEAR(synth_->tuning().snapshot().semitones[7], 0.30f, 1e-4f) << "the raised fifth is loaded";
  // The same command index from the host's side loads nothing (no file work
  // on a host or audio thread) and switches no program.
  editor_->getPresetsMenu()->setValue(3.0f);  // what an own choice would switch to
  std::thread([&] {
    plugin_->setParameter(60, static_cast<float>(equal));
    plugin_->setParameter(63, 3.0f);
  }).join();
  EXPECT_NEAR(synth_->tuning().snapshot().semitones[7], 0.30f, 1e-4f);
  EXPECT_EQ(plugin_->program(), 0);
  plugin_->setProgram(1);
  pumpFor(20);
  EXPECT_EQ(scales->getCurrentIndex(), equal) << "program 1 brings the equal temperament back";
}

TEST_F(EditorWindowTest, RightClickLearnsAControllerAndForgetsIt) {
  ASSERT_TRUE(openEditor());
  const int index = 12;
  plugin_->setParameter(index, 0.25f);  // no controller value gives 0.25
  CRect knob = placeOf(index);
  popUp(knob, keys({XK_Return}), 3);
  EXPECT_EQ(synth_->getMidiCC(index), 0) << "nothing is learned before a controller arrives";
  EXPECT_FLOAT_EQ(plugin_->getParameter(index), 0.25f);
  // The message that is learned drives the parameter already: data2 / 127.
  sendController(21, 100);
  EXPECT_EQ(synth_->getMidiCC(index), 21);
  EXPECT_FLOAT_EQ(plugin_->getParameter(index), 100.0f / 127.0f);
  EXPECT_EQ(editor_->entry(index).rightMenu->getMidiCC(), 21);
  sendController(22, 5);  // learning is over: another controller leaves it
  EXPECT_EQ(synth_->getMidiCC(index), 21);
  EXPECT_FLOAT_EQ(plugin_->getParameter(index), 100.0f / 127.0f);
  sendController(21, 37);
  EXPECT_FLOAT_EQ(plugin_->getParameter(index), 37.0f / 127.0f);
  pumpFor(20);
  EXPECT_FLOAT_EQ(editor_->entry(index).control->getValue(), 37.0f / 127.0f);

  popUp(knob, keys({XK_Down, XK_Return}), 3);
  EXPECT_EQ(synth_->getMidiCC(index), 0);
  EXPECT_EQ(editor_->entry(index).rightMenu->getMidiCC(), 0);
  sendController(21, 90);
  EXPECT_FLOAT_EQ(plugin_->getParameter(index), 37.0f / 127.0f) << "a forgotten controller";

  // Learned while the editor is closed: shown once it opens again.
  plugin_->setParameter(22, 0.5f);
  popUp(placeOf(22), keys({XK_Return}), 3);
  plugin_->closeEditor();
  sendController(33, 5);
  EXPECT_FLOAT_EQ(plugin_->getParameter(22), 5.0f / 127.0f);
  ASSERT_TRUE(openEditor());
  EXPECT_EQ(editor_->entry(22).rightMenu->getMidiCC(), 33);
}

TEST_F(EditorWindowTest, EachInstanceAsksOverItsOwnWindowAndNoOther) {
  // A second instance whose window, lower right, opens last.
  std::string error;
  auto second = host::HostedPlugin::load(
      host::PluginModule::fromEntry(&inProcessEntry, "in-process"), error);
  ASSERT_TRUE(second) << error;
  auto* secondSynth =
      dynamic_cast<VstSynth*>(static_cast<vst::AudioEffect*>(second->effect()->object));
  Window secondParent = mapHostWindow(host_, 340, 480, 960, 560);
  ASSERT_TRUE(openEditor());
  ASSERT_TRUE(second->openEditor(static_cast<std::uintptr_t>(secondParent)));
  second->editorIdle();
  Geometry first = geometryOf(host_, frame()->getWindow());
  Geometry other =
      geometryOf(host_, dynamic_cast<Editor*>(secondSynth->getEditor())->getFrame()->getWindow());
  auto over = [](const Geometry& g, const std::vector<CPoint>& seen) {
    return !seen.empty() &&
           std::all_of(seen.begin(), seen.end(), [&](const CPoint& p) { return g.holds(p); });
  };

  std::vector<CPoint> seen;
  {
    UserThread user(dialogOpen, answerEveryDialog(seen));
    plugin_->setParameter(68, 4.0f);  // MidiForget asks first
  }
  EXPECT_TRUE(over(first, seen)) << "the first instance's question shows over its window";
  seen.clear();
  {
    UserThread user(dialogOpen, answerEveryDialog(seen));
    second->setParameter(68, 4.0f);
  }
  EXPECT_TRUE(over(other, seen));

  // With its window closed the first instance asks nobody: the question is
  // answered No and nothing shows over the other window.
  plugin_->closeEditor();
  plugin_->setParameter(69, 11.0f);
  sendController(7, 64);
  ASSERT_EQ(synth_->getMidiCC(11), 7);
  seen.clear();
  std::atomic<bool> returned{false};
  {
    UserThread user([&] { return dialogOpen() || returned.load(); }, answerEveryDialog(seen));
    plugin_->setParameter(68, 4.0f);
    returned = true;
  }
  EXPECT_TRUE(seen.empty()) << "a dialog came up over another instance's window";
  EXPECT_EQ(synth_->getMidiCC(11), 7) << "answered No";

  second->closeEditor();
  second.reset();
  XDestroyWindow(host_, secondParent);
}

TEST_F(EditorWindowTest, AQuestionShownWhenTheHostTakesItsWindowAwayIsAnsweredNo) {
  ASSERT_TRUE(openEditor());
  plugin_->setParameter(69, 11.0f);
  sendController(7, 64);
  ASSERT_EQ(synth_->getMidiCC(11), 7);
  std::atomic<bool> endedByItself{false};
  Window gone = parent_;
  {
    UserThread user(dialogOpen, [&](Display* d) {
      XDestroyWindow(d, gone);
      XFlush(d);
      for (int i = 0; i < 100 && dialogOpen(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      endedByItself = !dialogOpen();
      if (!endedByItself) pressKey(d, XK_Escape);
    });
    plugin_->setParameter(68, 4.0f);
    EXPECT_TRUE(user.started.load());
  }
  EXPECT_TRUE(endedByItself.load()) << "the dialog outlived the window it belongs to";
  EXPECT_EQ(synth_->getMidiCC(11), 7) << "answered No";
  plugin_->setParameter(13, 0.1f);
  pumpFor(30);
  plugin_->closeEditor();
  EXPECT_EQ(frame(), nullptr);
  parent_ = mapHostWindow(host_, 20, 20, 960, 560);
  ASSERT_TRUE(openEditor());
  EXPECT_TRUE(frame()->isOpen());
}

// Sets whose files are missing (the test's set folders are empty), chosen by
// the host on its GUI thread and by a MIDI program change that the worker
// loads: neither call waits for a dialog, and "Selected file is missing"
// comes up once per load, over this instance's window, at the next idle.
TEST_F(EditorWindowTest, AMissingSoundIsSaidOverItsOwnWindowWithoutHoldingUpTheCall) {
  for (int program : {1, 0}) {  // both name "07-Bright Strings"
    plugin_->setProgram(program);
    plugin_->setParameter(24, 6.0f);  // folder numbers less one
  }
  ASSERT_TRUE(openEditor());
  const Geometry own = geometryOf(host_, frame()->getWindow());
  for (bool fromMidi : {false, true}) {
    SCOPED_TRACE(fromMidi ? "program change loaded by the worker" : "host's set choice");
    std::vector<std::string> said;
    std::vector<CPoint> seen;
    std::atomic<bool> returned{false}, waitedFor{false};
    {
      UserThread user(dialogOpen, [&, answer = answerEveryDialog(seen, &said)](Display* d) {
        waitedFor = !returned.load();
        answer(d);
      });
      if (fromMidi) {
        host::MidiEventList events;
        events.programChange(0, 0, 1);
        plugin_->render(64, 64, events);
      } else {
        plugin_->setParameter(71, 0.0f);  // "03-Warm Gut"
      }
      returned = true;
      pump([&] { return user.finished.load(); }, 6000);
    }
    EXPECT_FALSE(waitedFor.load()) << "the call waited for the dialog";
    ASSERT_EQ(said.size(), 1u);
    EXPECT_NE(said[0].find("Selected file is missing"), std::string::npos) << said[0];
    EXPECT_NE(said[0].find("Warning!"), std::string::npos) << said[0];
    EXPECT_TRUE(own.holds(seen[0]));
  }
  EXPECT_EQ(editor_->getSoundSetMenu()->getCurrentIndex(), 1) << "the worker loaded set 07";
}

// Rows of the box that hold dark text pixels (no channel above 89): the
// height of the ink.
int inkRows(cairo_surface_t* s, int left, int top, int right, int bottom) {
  int rows = 0;
  for (int y = top; y < bottom; ++y) {
    bool dark = false;
    for (int x = left; x < right && !dark; ++x) {
      uint32_t p = surfacePixel(s, x, y);
      dark = std::max({p >> 16, (p >> 8) & 0xff, p & 0xff}) < 90;
    }
    rows += dark;
  }
  return rows;
}

TEST_F(EditorScaleTest, WindowMouseKnobTravelMenusAndSkinFollowTheHostsFactor) {
  Geometry menuAtOne;
  int inkAtOne = 0;
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

    if (s == 1.5) {
      // Where no view lies, the window shows the panel drawn at 1.5x pixel
      // for pixel, not a picture scaled up from 1x: the footer line and the header.
      cairo_surface_t* shot = frame()->copyBackBuffer();
      cairo_surface_t* panel = SkinPainter::paint(139, s);
      for (auto [l, t, r, b] : {std::array{30, 488, 897, 510}, {260, 8, 700, 55}})
        EXPECT_EQ(differingPixels(shot, panel, scaled(l, s), scaled(t, s), scaled(r, s),
                                  scaled(b, s)),
                  0);
      cairo_surface_destroy(panel);
      cairo_surface_destroy(shot);
    }

    // 60 frame pixels up turn a knob by 60 / 200 of its range at any factor.
    const int knob = 6;
    plugin_->setParameter(knob, 0.2f);
    pumpFor(20);
    plugin_->recorder().clear();
    CRect r = placeOf(knob);
    CPoint start = toScreen((r.left + r.right) / 2, (r.top + r.bottom) / 2, s);
    dragUp(host_, static_cast<int>(start.x), static_cast<int>(start.y), scaled(60, s),
           [&](int ms) { pumpFor(ms); });
    const float value = plugin_->getParameter(knob);
    EXPECT_NEAR(value, 0.5f, 0.011f);
    EXPECT_FLOAT_EQ(editor_->entry(knob).control->getValue(), value);
    auto edits = plugin_->recorder().edits();
    ASSERT_EQ(edits.size(), 2u) << "the release reaches the knob under its overlay";
    EXPECT_TRUE(edits[0].begin && !edits[1].begin && edits[0].index == knob &&
                edits[1].index == knob);
    auto automations = plugin_->recorder().automations();
    ASSERT_FALSE(automations.empty());
    for (const auto& a : automations) EXPECT_EQ(a.index, knob);
    EXPECT_FLOAT_EQ(automations.back().value, value);

    // The main menu drops from the bottom left of its place, as large as the window.
    Geometry menu;
    int ink = 0;
    CRect place = editor_->getMainMenu()->getViewSize();
    popUp(place, [&](Display* d) {
      Window w = vgui::CMenuPopup::openWindow();
      menu = geometryOf(d, w);
      cairo_surface_t* shot = grabWindow(d, w, 0, 0, menu.width, menu.height);
      // The first entry's text, clear of the check mark column.
      ink = inkRows(shot, scaled(20, s), 0, menu.width, scaled(18, s));
      cairo_surface_destroy(shot);
      pressKey(d, XK_Escape);
    }, 1, s);
    CPoint corner = toScreen(place.left, place.bottom, s);
    EXPECT_NEAR(menu.x, corner.x, 1);
    EXPECT_NEAR(menu.y, corner.y, 1);
    if (s == 1.0) {
      menuAtOne = menu;
      inkAtOne = ink;
      ASSERT_GT(inkAtOne, 5);
    } else {
      EXPECT_NEAR(menu.height, menuAtOne.height * s, 2 * s);
      EXPECT_NEAR(menu.width, menuAtOne.width * s, 4 * s);
      EXPECT_GE(ink, inkAtOne * s * 0.8) << "the entries' text is drawn larger";
      EXPECT_LE(ink, inkAtOne * s * 1.25);
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
      {"Xft.antialias:\t1\nXft.dpi:\t120\n", "3", 0, 0, 1.25},
      {nullptr, "2", 0, 0, 2.0},
      {"Xft.dpi:\t480\n", nullptr, 0, 0, 3.0},
      {"Xft.dpi:\t72\n", nullptr, 0, 0, 1.0},
      {"Xft.dpi:\t144\n", "2", 125, 0, 1.25},
      {"Xft.dpi:\t144\n", nullptr, 125, 2.0f, 2.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("case " + std::to_string(&c - cases));
    setResources(c.resources);
    c.gdkScale ? setenv("GDK_SCALE", c.gdkScale, 1) : unsetenv("GDK_SCALE");
    Preferences prefs(Preferences::defaultFilePath());
    prefs.load();
    c.storedZoom ? prefs.setInt(Preferences::kEditorZoomKey, c.storedZoom + 1)
                 : (void)prefs.remove(Preferences::kEditorZoomKey);
    ASSERT_TRUE(prefs.save());
    plugin_.reset();
    load();  // a new instance: nothing chosen yet
    if (c.host > 0) plugin_->vendorSpecific(kScaleRequest, 0, nullptr, c.host);
    auto rect = plugin_->editorRect();
    ASSERT_TRUE(rect);
    EXPECT_EQ(rect->right, scaled(kPanelW, c.expected));
    EXPECT_EQ(rect->bottom, scaled(kPanelH, c.expected));
  }
}

TEST_F(EditorScaleTest, ZoomFromTheMainMenuResizesAsksTheHostAndIsRememberedForNewWindows) {
  ASSERT_TRUE(openEditor());
  ASSERT_EQ(editor_->getMainMenu()->getNbEntries(), 8);
  ASSERT_STREQ(editor_->getMainMenu()->getEntry(7)->getTitle(), "Zoom");
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

}  // namespace

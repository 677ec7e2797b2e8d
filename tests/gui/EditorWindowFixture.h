// The instrument's editor on a real X server, for the display tests: hosted
// through the plug-in interface inside a window of the host library, driven
// with XTest events, checked against the plug-in's state.
// gtest first: Xlib defines macros (None, Bool) that clash with its names.
#pragma once

#include <gtest/gtest.h>

#include "tests/testsupport/XTestDisplay.h"
#include <X11/Xatom.h>
#include <X11/keysym.h>
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "editor/CVornAnimatedButton.h"
#include "editor/Editor.h"
#include "editor/EditorMessageBox.h"
#include "host/HostedPlugin.h"
#include "host/MidiEventList.h"
#include "host/PluginModule.h"
#include "plugin/VstSynth.h"
#include "support/MessageBox.h"
#include "support/Preferences.h"
#include "toolkit/CAnimKnob.h"
#include "toolkit/CBaseObject.h"
#include "toolkit/CFrame.h"
#include "toolkit/CMenuPopup.h"
#include "toolkit/COnOffButton.h"
#include "toolkit/ResourceBitmaps.h"

namespace fs = std::filesystem;
using vgui::CPoint;
using vgui::CRect;

namespace editor_gui {

// One data folder for the whole process: the engine caches its folders.
inline void prepareDataFolders() {
  static fs::path root;
  if (!root.empty()) return;
  root = fs::temp_directory_path() / ("vellamor-editor-gui-" + std::to_string(getpid()));
  fs::path sounds = root / "data/Audio/Sounds/Banks/Quillmark/Vellamor";
  fs::create_directories(sounds / "03-Warm Gut");
  fs::create_directories(sounds / "07-Bright Strings");
  fs::create_directories(sounds / "Scale");
  std::ofstream(sounds / "Scale/12-Equal Temperament.txt") << "0\n";
  std::ofstream(sounds / "Scale/Raised Fifth.txt") << "0\n0\n0\n0\n0\n0\n0\n30\n0\n0\n0\n0\n";
  setenv("HOME", root.c_str(), 1);
  setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
  setenv("XDG_DATA_DIRS", (root / "none").c_str(), 1);
  vgui::ResourceBitmaps::setFolder(VELLAMOR_SKIN_DIR);
  VstSynth::setEditorFactory(&Editor::create);
}

inline vst::AEffect* inProcessEntry(vst::audioMasterCallback audioMaster) {
  vst::AudioEffect* effect = createEffectInstance(audioMaster);
  return effect ? effect->getAeffect() : nullptr;
}

inline bool popupOpen() { return vgui::CMenuPopup::isOpen(); }
inline bool dialogOpen() { return EditorMessageBox::openWindow() != 0; }

// Where window `w` lies on the screen, and its size.
struct Geometry {
  int x = 0, y = 0, width = 0, height = 0;
};
inline Geometry geometryOf(Display* d, Window w) {
  XWindowAttributes a;
  XGetWindowAttributes(d, w, &a);
  Window child;
  Geometry g{0, 0, a.width, a.height};
  XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &g.x, &g.y, &child);
  return g;
}

// Where a frame lies on the screen.
inline CRect onScreen(vgui::CFrame* f) {
  CPoint origin = f->localToScreen(CPoint(0, 0));
  CRect r = f->getViewSize();
  r.offset(origin.x, origin.y);
  return r;
}

// A user who answers every dialog that comes up with Escape, noting where
// each stood, until none has come for a second.
inline std::function<void(Display*)> answerEveryDialog(std::vector<CPoint>& seen) {
  return [&seen](Display* d) {
    Window last = 0;
    for (;;) {
      Window w = 0;
      for (int i = 0; i < 100 && ((w = EditorMessageBox::openWindow()) == 0 || w == last); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (w == 0 || w == last) return;
      Geometry g = geometryOf(d, w);
      seen.push_back(CPoint(g.x + g.width / 2, g.y + g.height / 2));
      last = w;
      pressKey(d, XK_Escape);
    }
  };
}

inline int openFiles() {
  int n = 0;
  DIR* d = opendir("/proc/self/fd");
  while (readdir(d)) ++n;
  closedir(d);
  return n;
}

inline long residentKiB() {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return 0;
}

inline auto keys(std::vector<KeySym> list) {
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
    XDeleteProperty(host_, DefaultRootWindow(host_), XA_RESOURCE_MANAGER);
    XSync(host_, False);
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

  bool pump(const std::function<bool()>& until, int ms = 3000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
      plugin_->editorIdle();
      if (until && until()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
    } while (std::chrono::steady_clock::now() < end);
    return false;
  }
  void pumpFor(int ms) { pump(nullptr, ms); }

  vgui::CFrame* frame() const { return editor_->getFrame(); }
  CRect placeOf(int index) const { return editor_->entry(index).control->getViewSize(); }

  // Screen point of frame point (x, y) in a window at factor `s`.
  CPoint toScreen(double x, double y, double s = 1.0) {
    int sx, sy;
    Window child;
    XTranslateCoordinates(host_, frame()->getWindow(), DefaultRootWindow(host_),
                          static_cast<int>(std::lround(x * s)), static_cast<int>(std::lround(y * s)),
                          &sx, &sy, &child);
    return CPoint(sx, sy);
  }
  CPoint centre(const CRect& r) { return toScreen((r.left + r.right) / 2, (r.top + r.bottom) / 2); }

  // Presses on a place from the test's thread; the editor sees it at the next idle.
  void press(const CRect& r, unsigned button = 1) {
    CPoint p = centre(r);
    clickAt(host_, static_cast<int>(p.x), static_cast<int>(p.y), button);
  }

  // Opens the view at `r` with a click and lets `script` act on what pops up.
  void popUp(const CRect& r, std::function<void(Display*)> script, unsigned button = 1) {
    UserThread user(popupOpen, script);
    press(r, button);
    pump([&] { return user.finished.load() && !popupOpen(); }, 8000);
    EXPECT_TRUE(user.started.load()) << "no pop-up opened";
    pumpFor(30);
  }

  void sendController(int controller, int value) {
    host::MidiEventList events;
    events.controller(0, 0, controller, value);
    plugin_->render(64, 64, events);
  }

  Display* host_ = nullptr;
  Window parent_ = 0;
  std::unique_ptr<host::HostedPlugin> plugin_;
  VstSynth* synth_ = nullptr;
  Editor* editor_ = nullptr;
};

}  // namespace editor_gui

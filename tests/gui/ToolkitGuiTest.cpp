// The toolkit on a real X server (Xvfb under ctest): a frame inside a plain
// window standing in for the host's, driven with XTest events.
// gtest first: Xlib defines macros (None, Bool) that clash with its names.
#include <gtest/gtest.h>

#include "tests/testsupport/XTestDisplay.h"
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <cairo.h>
#include <dlfcn.h>
#include <dirent.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "toolkit/AEffGUIEditor.h"
#include "toolkit/CAnimKnob.h"
#include "toolkit/CBitmap.h"
#include "toolkit/CControlListener.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/CFrame.h"
#include "toolkit/CMenuPopup.h"
#include "toolkit/COnOffButton.h"
#include "toolkit/COptionMenu.h"
#include "toolkit/CParamDisplay.h"
#include "toolkit/CSplashScreen.h"
#include "toolkit/CTextEdit.h"
#include "toolkit/CTextLabel.h"
#include "toolkit/ResourceBitmaps.h"
#include "vst/AudioEffectX.h"

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

}  // namespace

namespace {

constexpr int kWidth = 420;
constexpr int kHeight = 200;
constexpr int kKnobFrames = 61;
const CRect kKnobRect(40, 60, 84, 104);
const CRect kButtonRect(140, 70, 162, 92);
const CRect kDisplayRect(30, 112, 94, 131);
const CRect kMenuRect(220, 70, 340, 90);

fs::path shotDir() {
  fs::path d = fs::path(VGUI_SHOT_DIR);
  fs::create_directories(d);
  return d;
}

// Skin pictures made here: a panel, a knob strip and an on/off button.
void writeSkin(const fs::path& dir) {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
  cairo_t* cr = cairo_create(s);
  cairo_set_source_rgb(cr, 0.16, 0.18, 0.22);
  cairo_paint(cr);
  cairo_set_source_rgb(cr, 0.85, 0.8, 0.6);
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
  cairo_set_font_size(cr, 11);
  cairo_move_to(cr, 44, 52);
  cairo_show_text(cr, "LEVEL");
  cairo_move_to(cr, 132, 62);
  cairo_show_text(cr, "POWER");
  cairo_move_to(cr, 220, 62);
  cairo_show_text(cr, "MODE");
  cairo_destroy(cr);
  cairo_surface_write_to_png(s, (dir / "bmp00139.png").c_str());
  cairo_surface_destroy(s);

  s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 44, 44 * kKnobFrames);
  cr = cairo_create(s);
  for (int k = 0; k < kKnobFrames; ++k) {
    double cx = 22, cy = 22 + 44 * k;
    cairo_arc(cr, cx, cy, 18, 0, 2 * M_PI);
    cairo_set_source_rgb(cr, 0.3, 0.3, 0.32);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 0.05, 0.05, 0.05);
    cairo_set_line_width(cr, 2);
    cairo_stroke(cr);
    double a = M_PI * 0.75 + 1.5 * M_PI * k / (kKnobFrames - 1);
    cairo_move_to(cr, cx, cy);
    cairo_line_to(cr, cx + 15 * std::cos(a), cy + 15 * std::sin(a));
    cairo_set_source_rgb(cr, 1, 0.6, 0.1);
    cairo_set_line_width(cr, 3);
    cairo_stroke(cr);
  }
  cairo_destroy(cr);
  cairo_surface_write_to_png(s, (dir / "bmp00172.png").c_str());
  cairo_surface_destroy(s);

  s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 22, 44);
  cr = cairo_create(s);
  cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
  cairo_rectangle(cr, 0, 0, 22, 22);
  cairo_fill(cr);
  cairo_set_source_rgb(cr, 0.95, 0.15, 0.1);
  cairo_rectangle(cr, 0, 22, 22, 22);
  cairo_fill(cr);
  cairo_destroy(cr);
  cairo_surface_write_to_png(s, (dir / "bmp00178.png").c_str());
  cairo_surface_destroy(s);
}

// Host side: records what the plug-in reports.
std::vector<std::pair<int, int>>* gHostCalls = nullptr;

vst::VstIntPtr hostCallback(vst::AEffect*, vst::VstInt32 opcode, vst::VstInt32 index,
                            vst::VstIntPtr, void*, float) {
  if (gHostCalls && (opcode == vst::audioMasterBeginEdit || opcode == vst::audioMasterEndEdit))
    gHostCalls->emplace_back(opcode, index);
  if (opcode == vst::audioMasterVersion) return 2400;
  return 0;
}

class TestEffect : public vst::AudioEffectX {
 public:
  TestEffect() : AudioEffectX(hostCallback, 1, 4) {}
  void processReplacing(float**, float**, vst::VstInt32) override {}
};

struct Recorder : CControlListener {
  std::vector<std::string> events;
  std::vector<std::pair<long, float>> changes;
  void valueChanged(CControl* c) override {
    events.push_back("change");
    changes.emplace_back(c->getTag(), c->getValue());
  }
  void controlBeginEdit(CControl*) override { events.push_back("begin"); }
  void controlEndEdit(CControl*) override { events.push_back("end"); }
};

// A small editor as the instrument's will be: frame, background, controls.
class TestEditor : public AEffGUIEditor {
 public:
  explicit TestEditor(vst::AudioEffect* fx) : AEffGUIEditor(fx) {
    background = new CBitmap(139);
    rect.right = static_cast<vst::VstInt16>(background->getWidth());
    rect.bottom = static_cast<vst::VstInt16>(background->getHeight());
    setKnobMode(kLinearMode);
  }
  ~TestEditor() override { background->forget(); }

  bool open(void* window) override {
    AEffGUIEditor::open(window);
    frame = new CFrame(CRect(0, 0, rect.right, rect.bottom), window, this);
    if (!frame->isOpen()) {
      frame->forget();
      frame = nullptr;
      return false;
    }
    frame->setBackground(background);
    auto* strip = new CBitmap(172);
    knob = new CAnimKnob(kKnobRect, &listener, 2, static_cast<long>(strip->getHeight() / 44), 44,
                         strip);
    knob->setTransparency(true);
    knob->setValue(0.5f);
    frame->addView(knob);
    strip->forget();
    auto* onOff = new CBitmap(178);
    button = new COnOffButton(kButtonRect, &listener, 7, onOff);
    button->setWheelInc(10);
    frame->addView(button);
    onOff->forget();
    display = new CParamDisplay(kDisplayRect, background);
    display->setBackOffset(kDisplayRect.getTopLeft());
    display->setTransparency(true);
    display->setFont(kNormalFontSmall);
    display->setFontColor(MakeCColor(255, 230, 140));
    frame->addView(display);
    menu = new COptionMenu(kMenuRect, &listener, 17, nullptr, nullptr, kCheckStyle | kPopupStyle);
    menu->setFont(kNormalFontSmall);
    menu->setBackColor(MakeCColor(32, 32, 16));
    menu->setFontColor(MakeCColor(240, 240, 200));
    menu->setFrameColor(kBlackCColor);
    const char* names[] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    for (int o = 0; o < 7; ++o)
      for (const char* n : names) menu->addEntry((n + std::to_string(o)).c_str());
    menu->setNbItemsPerColumn(12);
    frame->addView(menu);
    auto* label = new CTextLabel(CRect(220, 110, 400, 130), "one line of text");
    label->setTransparency(true);
    label->setFontColor(kWhiteCColor);
    label->setHoriAlign(kLeftText);
    frame->addView(label);
    return true;
  }

  void close() override {
    if (frame) frame->forget();
    frame = nullptr;
    knob = nullptr;
    button = nullptr;
    display = nullptr;
    menu = nullptr;
    AEffGUIEditor::close();
  }

  CBitmap* background;
  Recorder listener;
  CAnimKnob* knob = nullptr;
  COnOffButton* button = nullptr;
  CParamDisplay* display = nullptr;
  COptionMenu* menu = nullptr;
};

class ToolkitGuiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = openTestDisplay();
    if (!host_) GTEST_SKIP() << "no X display";
    int ev, err, major, minor;
    ASSERT_TRUE(XTestQueryExtension(host_, &ev, &err, &major, &minor));
    resources_ = fs::temp_directory_path() / ("vgui-gui-" + std::to_string(getpid()));
    fs::create_directories(resources_);
    writeSkin(resources_);
    ResourceBitmaps::setFolder(resources_.string());
    int screen = DefaultScreen(host_);
    parent_ = XCreateSimpleWindow(host_, RootWindow(host_, screen), 30, 30, kWidth + 40,
                                  kHeight + 40, 0, BlackPixel(host_, screen),
                                  WhitePixel(host_, screen));
    XSelectInput(host_, parent_, StructureNotifyMask);
    XMapWindow(host_, parent_);
    XEvent e;
    do XNextEvent(host_, &e);
    while (e.type != MapNotify);
    hostCalls_.clear();
    gHostCalls = &hostCalls_;
    effect_ = std::make_unique<TestEffect>();
    editor_ = new TestEditor(effect_.get());  // the effect owns it
  }

  void TearDown() override {
    if (!host_) return;
    editor_->close();
    effect_.reset();
    gHostCalls = nullptr;
    XDestroyWindow(host_, parent_);
    XCloseDisplay(host_);
    ResourceBitmaps::setFolder("");
    fs::remove_all(resources_);
  }

  void* parentHandle() const { return reinterpret_cast<void*>(static_cast<uintptr_t>(parent_)); }

  // Runs the editor's idle like a host would, until `until` holds or time runs out.
  bool pump(const std::function<bool()>& until, int ms = 1000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
      editor_->idle();
      if (until && until()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    } while (std::chrono::steady_clock::now() < end);
    return false;
  }
  void pumpFor(int ms) { pump(nullptr, ms); }

  // Frame point -> root point, through the host's own connection.
  CPoint toRoot(const CPoint& p) {
    int x, y;
    Window child;
    XTranslateCoordinates(host_, editor_->getFrame()->getWindow(), DefaultRootWindow(host_),
                          static_cast<int>(p.x), static_cast<int>(p.y), &x, &y, &child);
    return CPoint(x, y);
  }

  void moveTo(const CPoint& framePoint) {
    CPoint r = toRoot(framePoint);
    XTestFakeMotionEvent(host_, -1, static_cast<int>(r.x), static_cast<int>(r.y), 0);
    XFlush(host_);
  }
  void button(unsigned b, bool down) {
    XTestFakeButtonEvent(host_, b, down ? True : False, 0);
    XFlush(host_);
  }
  void click(unsigned b) {
    button(b, true);
    button(b, false);
  }

  // What the server shows in the frame's window.
  cairo_surface_t* screenshot(Window w, int width, int height) {
    XImage* img = XGetImage(host_, w, 0, 0, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (!img) return nullptr;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    unsigned char* data = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        reinterpret_cast<uint32_t*>(data + y * stride)[x] =
            static_cast<uint32_t>(XGetPixel(img, x, y)) & 0xffffff;
    cairo_surface_mark_dirty(s);
    XDestroyImage(img);
    return s;
  }

  static uint32_t pixel(cairo_surface_t* s, int x, int y) {
    cairo_surface_flush(s);
    return reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s) +
                                       y * cairo_image_surface_get_stride(s))[x] & 0xffffff;
  }

  // Number of pixels that differ inside `r`.
  static int differences(cairo_surface_t* a, cairo_surface_t* b, const CRect& r) {
    int n = 0;
    for (int y = static_cast<int>(r.top); y < static_cast<int>(r.bottom); ++y)
      for (int x = static_cast<int>(r.left); x < static_cast<int>(r.right); ++x)
        if (pixel(a, x, y) != pixel(b, x, y)) ++n;
    return n;
  }

  cairo_surface_t* frameShot() {
    return screenshot(editor_->getFrame()->getWindow(), kWidth, kHeight);
  }

  Display* host_ = nullptr;
  Window parent_ = 0;
  fs::path resources_;
  std::vector<std::pair<int, int>> hostCalls_;
  std::unique_ptr<TestEffect> effect_;
  TestEditor* editor_ = nullptr;
};

// Number of open file descriptors of this process.
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

}  // namespace

TEST_F(ToolkitGuiTest, FrameIsAChildOfTheHostWindowAndShowsItsViews) {
  vst::ERect* r = nullptr;
  ASSERT_TRUE(editor_->getRect(&r));
  EXPECT_EQ(r->right, kWidth);
  EXPECT_EQ(r->bottom, kHeight);
  ASSERT_TRUE(editor_->open(parentHandle()));
  CFrame* frame = editor_->getFrame();
  Window root, parent, *children = nullptr;
  unsigned n = 0;
  XQueryTree(host_, frame->getWindow(), &root, &parent, &children, &n);
  if (children) XFree(children);
  EXPECT_EQ(parent, parent_);
  EXPECT_EQ(frame->getNbViews(), 5);

  editor_->button->setValue(1);
  editor_->display->setValue(0.42f);
  editor_->menu->setCurrent(45);
  pumpFor(150);
  cairo_surface_t* shot = frameShot();
  ASSERT_NE(shot, nullptr);
  cairo_surface_write_to_png(shot, (shotDir() / "frame.png").c_str());
  cairo_surface_t* back = frame->copyBackBuffer();
  EXPECT_EQ(differences(shot, back, CRect(0, 0, kWidth, kHeight)), 0)
      << "the window shows exactly what the frame drew";
  // Panel colour where no view lies, and the lit button, as in the skin files.
  cairo_surface_t* panel = cairo_image_surface_create_from_png((resources_ / "bmp00139.png").c_str());
  cairo_surface_t* onOff = cairo_image_surface_create_from_png((resources_ / "bmp00178.png").c_str());
  EXPECT_EQ(pixel(shot, 5, 190), pixel(panel, 5, 190));
  EXPECT_EQ(pixel(shot, 150, 80), pixel(onOff, 10, 32)) << "the lower, lit picture";
  EXPECT_NE(pixel(onOff, 10, 32), pixel(onOff, 10, 10));
  cairo_surface_destroy(panel);
  cairo_surface_destroy(onOff);
  // The display and the menu show text: more than two colours inside them.
  for (CRect area : {kDisplayRect, kMenuRect}) {
    std::vector<uint32_t> colours;
    for (int y = static_cast<int>(area.top); y < area.bottom; ++y)
      for (int x = static_cast<int>(area.left); x < area.right; ++x)
        if (std::find(colours.begin(), colours.end(), pixel(shot, x, y)) == colours.end())
          colours.push_back(pixel(shot, x, y));
    EXPECT_GT(colours.size(), 4u);
  }
  cairo_surface_destroy(back);
  cairo_surface_destroy(shot);
}

TEST_F(ToolkitGuiTest, DraggingTheKnobWithRealEventsReportsEditsToHost) {
  ASSERT_TRUE(editor_->open(parentHandle()));
  pumpFor(50);
  cairo_surface_t* before = frameShot();
  CAnimKnob* knob = editor_->knob;
  CPoint centre(62, 82);
  moveTo(centre);
  button(1, true);
  ASSERT_TRUE(pump([&] { return knob->isEditing(); }));
  for (int step = 1; step <= 10; ++step) {
    moveTo(CPoint(centre.x + step, centre.y - 5 * step));  // 50 pixels up, a little right
    pump([&] { return std::fabs(knob->getValue() - (0.5f + step * 0.025f)) < 1e-4f; }, 300);
  }
  button(1, false);
  ASSERT_TRUE(pump([&] { return !knob->isEditing(); }));
  EXPECT_NEAR(knob->getValue(), 0.75f, 1e-4f);

  auto& ev = editor_->listener.events;
  ASSERT_GE(ev.size(), 3u);
  EXPECT_EQ(ev.front(), "begin");
  EXPECT_EQ(ev.back(), "end");
  EXPECT_EQ(std::count(ev.begin(), ev.end(), "begin"), 1);
  EXPECT_NEAR(editor_->listener.changes.back().second, 0.75f, 1e-4f);
  EXPECT_EQ(editor_->listener.changes.back().first, 2);
  ASSERT_EQ(hostCalls_.size(), 2u);
  EXPECT_EQ(hostCalls_[0], std::make_pair(static_cast<int>(vst::audioMasterBeginEdit), 2));
  EXPECT_EQ(hostCalls_[1], std::make_pair(static_cast<int>(vst::audioMasterEndEdit), 2));

  // The wheel over the knob: one step up is the default increment.
  moveTo(centre);
  click(4);
  ASSERT_TRUE(pump([&] { return knob->getValue() > 0.8f; }));
  EXPECT_NEAR(knob->getValue(), 0.85f, 1e-4f);
  EXPECT_EQ(hostCalls_.size(), 4u);

  pumpFor(50);
  cairo_surface_t* after = frameShot();
  cairo_surface_write_to_png(after, (shotDir() / "knob-turned.png").c_str());
  EXPECT_GT(differences(before, after, kKnobRect), 20) << "the knob shows its new frame";
  EXPECT_EQ(differences(before, after, CRect(100, 0, kWidth, 60)), 0) << "nothing else moved";
  cairo_surface_destroy(before);
  cairo_surface_destroy(after);
}

TEST_F(ToolkitGuiTest, ClickingTheButtonTogglesItAndRightClickDoesNot) {
  ASSERT_TRUE(editor_->open(parentHandle()));
  pumpFor(30);
  COnOffButton* b = editor_->button;
  moveTo(CPoint(150, 80));
  click(3);
  pumpFor(80);
  EXPECT_EQ(b->getValue(), 0.f);
  click(1);
  ASSERT_TRUE(pump([&] { return b->getValue() == 1.f; }));
  click(5);  // wheel down, increment 10
  ASSERT_TRUE(pump([&] { return b->getValue() == 0.f; }));
}

TEST_F(ToolkitGuiTest, ValuesSetFromAnotherThreadAreDrawnAtIdle) {
  ASSERT_TRUE(editor_->open(parentHandle()));
  pumpFor(30);
  std::atomic<bool> stop{false};
  std::thread audio([&] {
    unsigned i = 0;
    while (!stop.load()) {
      editor_->knob->setValue(static_cast<float>(i % 101) / 100.f);
      editor_->display->setValue(static_cast<float>(i % 7) / 7.f);
      if (i % 64 == 0) editor_->getFrame()->invalidRect(kMenuRect);
      ++i;
    }
    editor_->knob->setValue(0.f);
    editor_->display->setValue(1.f);
  });
  pumpFor(300);
  stop.store(true);
  audio.join();
  pumpFor(60);
  cairo_surface_t* shot = frameShot();
  cairo_surface_t* back = editor_->getFrame()->copyBackBuffer();
  EXPECT_EQ(differences(shot, back, CRect(0, 0, kWidth, kHeight)), 0);
  // The final values are what shows: compare with a fresh frame drawn at them.
  editor_->close();
  ASSERT_TRUE(editor_->open(parentHandle()));
  editor_->knob->setValue(0.f);
  editor_->display->setValue(1.f);
  pumpFor(60);
  cairo_surface_t* fresh = frameShot();
  EXPECT_EQ(differences(shot, fresh, kKnobRect), 0);
  EXPECT_EQ(differences(shot, fresh, kDisplayRect), 0);
  cairo_surface_destroy(shot);
  cairo_surface_destroy(back);
  cairo_surface_destroy(fresh);
}

namespace {

// Drives an open pop-up from a connection of its own, as a user would.
class PopupDriver {
 public:
  explicit PopupDriver(std::function<void(Display*)> script)
      : thread_([this, script] {
          Display* d = XOpenDisplay(nullptr);
          for (int i = 0; i < 300 && !CMenuPopup::isOpen(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
          opened = CMenuPopup::isOpen();
          std::this_thread::sleep_for(std::chrono::milliseconds(100));
          if (opened) script(d);
          XCloseDisplay(d);
        }) {}
  ~PopupDriver() { thread_.join(); }
  std::atomic<bool> opened{false};

  static void key(Display* d, KeySym sym) {
    KeyCode code = XKeysymToKeycode(d, sym);
    XTestFakeKeyEvent(d, code, True, 0);
    XTestFakeKeyEvent(d, code, False, 0);
    XFlush(d);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }

 private:
  std::thread thread_;
};

}  // namespace

TEST_F(ToolkitGuiTest, MenuChosenWithTheKeyboardAcrossColumns) {
  ASSERT_TRUE(editor_->open(parentHandle()));
  pumpFor(30);
  COptionMenu* menu = editor_->menu;
  {
    PopupDriver driver([&](Display* d) {
      // From C0 three columns right and nine down: A3.
      for (int i = 0; i < 3; ++i) PopupDriver::key(d, XK_Right);
      for (int i = 0; i < 9; ++i) PopupDriver::key(d, XK_Down);
      PopupDriver::key(d, XK_Return);
    });
    moveTo(CPoint(kMenuRect.left + 10, kMenuRect.top + 5));
    click(1);
    pump([&] { return !editor_->listener.changes.empty(); }, 5000);
  }
  ASSERT_EQ(editor_->listener.changes.size(), 1u);
  EXPECT_EQ(editor_->listener.changes[0], std::make_pair(17L, 45.f));
  EXPECT_STREQ(menu->getCurrent()->getTitle(), "A3");
  EXPECT_TRUE(menu->isCheckEntry(45));
  EXPECT_TRUE(hostCalls_.empty()) << "a menu choice is no parameter gesture";
}

TEST_F(ToolkitGuiTest, MenuChosenWithTheMouseAndDismissedWithEscape) {
  ASSERT_TRUE(editor_->open(parentHandle()));
  pumpFor(30);
  COptionMenu* menu = editor_->menu;
  CPoint entry2 = toRoot(CPoint(kMenuRect.left + 12, kMenuRect.bottom + 2.5 * 18));
  {
    PopupDriver driver([&](Display* d) {
      XTestFakeMotionEvent(d, -1, static_cast<int>(entry2.x), static_cast<int>(entry2.y), 0);
      XTestFakeButtonEvent(d, 1, True, 0);
      XTestFakeButtonEvent(d, 1, False, 0);
      XFlush(d);
    });
    moveTo(CPoint(kMenuRect.left + 10, kMenuRect.top + 5));
    click(1);
    pump([&] { return !editor_->listener.changes.empty(); }, 5000);
    EXPECT_TRUE(driver.opened.load());
  }
  ASSERT_EQ(editor_->listener.changes.size(), 1u);
  EXPECT_EQ(menu->getCurrentIndex(), 2);

  {
    PopupDriver driver([](Display* d) {
      PopupDriver::key(d, XK_Down);
      PopupDriver::key(d, XK_Escape);
    });
    moveTo(CPoint(kMenuRect.left + 10, kMenuRect.top + 5));
    click(1);
    pump([&] { return driver.opened.load() && !CMenuPopup::isOpen(); }, 5000);
  }
  pumpFor(50);
  EXPECT_EQ(editor_->listener.changes.size(), 1u) << "a dismissed menu sends nothing";
  EXPECT_EQ(menu->getCurrentIndex(), 2);
}

TEST_F(ToolkitGuiTest, SubmenuEntryReachesTheSubmenusListener) {
  ASSERT_TRUE(editor_->open(parentHandle()));
  Recorder mainListener, subListener;
  auto* main = new COptionMenu(CRect(10, 150, 100, 170), &mainListener, 68);
  auto* sub = new COptionMenu(CRect(10, 150, 100, 170), &subListener, 63, nullptr, nullptr,
                              kCheckStyle);
  for (const char* t : {"001 First", "002 Second", "003 Third"}) sub->addEntry(t);
  main->addEntry("About");
  main->addEntry("-");
  main->addEntry(sub, "Presets");
  sub->forget();
  editor_->getFrame()->addView(main);
  pumpFor(30);
  {
    PopupDriver driver([](Display* d) {
      PopupDriver::key(d, XK_Down);   // over the separator to Presets
      PopupDriver::key(d, XK_Right);  // open it, first entry
      PopupDriver::key(d, XK_Down);
      PopupDriver::key(d, XK_Return);
    });
    moveTo(CPoint(20, 155));
    click(1);
    pump([&] { return !subListener.changes.empty(); }, 5000);
  }
  ASSERT_EQ(subListener.changes.size(), 1u);
  EXPECT_EQ(subListener.changes[0], std::make_pair(63L, 1.f));
  EXPECT_TRUE(mainListener.changes.empty());
  EXPECT_EQ(sub->getCurrentIndex(), 1);
}

namespace {

// A page that takes itself out of the frame on a click, as an About page does.
class SelfRemovingPage : public CSplashScreen {
 public:
  SelfRemovingPage(const CRect& r, CControlListener* l)
      : CSplashScreen(r, l, 67, nullptr, r) {}
  CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override {
    CFrame* f = getFrame();
    if (f) f->removeView(this, false);
    return CSplashScreen::onMouseDown(where, buttons);
  }
  void draw(CDrawContext* context) override {
    context->setFillColor(kWhiteCColor);
    context->fillRect(size_);
  }
};

}  // namespace

TEST_F(ToolkitGuiTest, PageRemovingItselfOnClickRevealsThePanel) {
  ASSERT_TRUE(editor_->open(parentHandle()));
  pumpFor(30);
  cairo_surface_t* panel = frameShot();
  auto* page = new SelfRemovingPage(CRect(0, 0, kWidth, kHeight), &editor_->listener);
  editor_->getFrame()->addView(page);
  pumpFor(50);
  cairo_surface_t* shown = frameShot();
  EXPECT_EQ(pixel(shown, 150, 80), 0xffffffu);
  moveTo(CPoint(150, 80));
  click(1);
  ASSERT_TRUE(pump([&] { return !editor_->getFrame()->isChild(page); }));
  pumpFor(50);
  cairo_surface_t* after = frameShot();
  EXPECT_EQ(differences(panel, after, CRect(0, 0, kWidth, kHeight)), 0);
  EXPECT_EQ(editor_->button->getValue(), 0.f) << "the click did not reach the button below";
  EXPECT_TRUE(editor_->listener.changes.empty()) << "outside the frame the page reports nothing";
  EXPECT_EQ(page->getNbReference(), 1);
  page->forget();
  cairo_surface_destroy(panel);
  cairo_surface_destroy(shown);
  cairo_surface_destroy(after);
}

TEST_F(ToolkitGuiTest, TextEditTakesTypedKeys) {
  ASSERT_TRUE(editor_->open(parentHandle()));
  auto* edit = new CTextEdit(CRect(220, 140, 400, 160), &editor_->listener, 90, "ab");
  editor_->getFrame()->addView(edit);
  pumpFor(30);
  moveTo(CPoint(300, 150));
  click(1);
  ASSERT_TRUE(pump([&] { return editor_->getFrame()->getFocusView() == edit; }));
  for (KeySym k : {XK_BackSpace, XK_x, XK_y, XK_Return}) {
    KeyCode code = XKeysymToKeycode(host_, k);
    XTestFakeKeyEvent(host_, code, True, 0);
    XTestFakeKeyEvent(host_, code, False, 0);
  }
  XFlush(host_);
  ASSERT_TRUE(pump([&] { return !editor_->listener.changes.empty(); }));
  EXPECT_STREQ(edit->getText(), "axy");
  EXPECT_EQ(editor_->getFrame()->getFocusView(), nullptr);
}

TEST_F(ToolkitGuiTest, ModalLoopRunsUntilDoneOrTimeout) {
  ASSERT_TRUE(editor_->open(parentHandle()));
  int turns = 0;
  EXPECT_TRUE(editor_->getFrame()->runModalLoop([&] { return ++turns == 5; }));
  EXPECT_EQ(turns, 5);
  // Values set meanwhile are drawn by the loop itself.
  editor_->button->setValue(1);
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(editor_->getFrame()->runModalLoop([] { return false; }, 100));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
  EXPECT_FALSE(editor_->button->isDirty());
}

TEST_F(ToolkitGuiTest, FrameSurvivesTheHostDestroyingItsWindowFirst) {
  ASSERT_TRUE(editor_->open(parentHandle()));
  pumpFor(30);
  XDestroyWindow(host_, parent_);
  XSync(host_, False);
  parent_ = XCreateSimpleWindow(host_, DefaultRootWindow(host_), 0, 0, 10, 10, 0, 0, 0);
  editor_->knob->setValue(0.1f);
  pumpFor(50);  // drawing into the vanished window must not end the process
  editor_->close();
  SUCCEED();
}

TEST_F(ToolkitGuiTest, InvalidParentGivesNoFrame) {
  EXPECT_FALSE(editor_->open(reinterpret_cast<void*>(static_cast<uintptr_t>(0x3ffffff0))));
  EXPECT_EQ(editor_->getFrame(), nullptr);
  EXPECT_FALSE(editor_->open(nullptr));
}

TEST_F(ToolkitGuiTest, OpeningAndClosingHundredTimesLeaksNothing) {
  auto cycle = [&] {
    ASSERT_TRUE(editor_->open(parentHandle()));
    editor_->knob->setValue(0.3f);
    editor_->idle();
    editor_->idle();
    editor_->close();
  };
  for (int i = 0; i < 10; ++i) cycle();  // fills caches that live for the process
  long objects = CBaseObject::liveObjects();
  int files = openFiles();
  int bitmaps = ResourceBitmaps::cachedCount();
  long rss = residentKiB();
  for (int i = 0; i < 100; ++i) cycle();
  EXPECT_EQ(CBaseObject::liveObjects(), objects);
  EXPECT_EQ(openFiles(), files) << "every X connection is closed";
  EXPECT_EQ(ResourceBitmaps::cachedCount(), bitmaps);
  long grown = residentKiB() - rss;
  std::printf("resident memory growth over 100 open/close cycles: %ld KiB\n", grown);
#ifndef __SANITIZE_ADDRESS__  // its quarantine keeps freed memory resident
  EXPECT_LT(grown, 2048);
#endif
}

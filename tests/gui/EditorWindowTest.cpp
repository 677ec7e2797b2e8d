// The instrument's editor on a real X server: layout, mouse, menus, dialogs
// and the window's lifetime.
#include "tests/gui/EditorWindowFixture.h"

#include <dlfcn.h>

#include "editor/EditorTexts.h"

using namespace editor_gui;
using vgui::CPoint;
using vgui::CRect;

namespace {

// cairo and fontconfig keep font caches for the life of the process; hand
// them back at the end so a leak checker sees only the editor's own leaks.
class CairoStaticData : public ::testing::Environment {
 public:
  void TearDown() override {
    cairo_debug_reset_static_data();
    if (auto fini = reinterpret_cast<void (*)()>(dlsym(RTLD_DEFAULT, "FcFini"))) fini();
  }
};
const auto* const kCairoStaticData = ::testing::AddGlobalTestEnvironment(new CairoStaticData);

// The panel as drawn on the skin: every view in the order it enters the
// frame, with its tag and place. Knobs are as wide as their film strip and
// one 44-pixel frame high; menus are given by their corners.
enum class Kind { Knob, OnOff, ThreeState, Display, Menu };
struct Placed {
  Kind kind;
  int tag;
  int x, y, w, h;  // menus: left, top, right, bottom
};
const Placed kPanel[] = {
    {Kind::Display, 58, 761, 164, 43, 19}, {Kind::Display, 59, 250, 164, 34, 19},
    {Kind::Knob, 0, 244, 111, 0, 0},       {Kind::Knob, 1, 332, 111, 0, 0},
    {Kind::Knob, 2, 420, 111, 0, 0},       {Kind::OnOff, 31, 343, 162, 22, 22},
    {Kind::Knob, 28, 541, 111, 0, 0},      {Kind::Display, 28, 547, 164, 31, 19},
    {Kind::Knob, 29, 629, 111, 0, 0},      {Kind::Knob, 5, 717, 111, 0, 0},
    {Kind::Knob, 4, 805, 111, 0, 0},       {Kind::Knob, 6, 77, 386, 0, 0},
    {Kind::Knob, 10, 541, 248, 0, 0},      {Kind::Knob, 11, 629, 248, 0, 0},
    {Kind::Knob, 12, 717, 248, 0, 0},      {Kind::Knob, 13, 805, 248, 0, 0},
    {Kind::OnOff, 7, 182, 336, 22, 22},    {Kind::Knob, 8, 166, 386, 0, 0},
    {Kind::Knob, 9, 254, 386, 0, 0},       {Kind::Knob, 14, 420, 248, 0, 0},
    {Kind::Display, 14, 398, 301, 22, 19}, {Kind::Knob, 15, 332, 248, 0, 0},
    {Kind::Display, 15, 376, 301, 22, 19}, {Kind::Display, 27, 223, 301, 43, 19},
    {Kind::OnOff, 18, 350, 336, 22, 22},   {Kind::Knob, 19, 375, 386, 0, 0},
    {Kind::Knob, 20, 463, 386, 0, 0},      {Kind::OnOff, 32, 387, 435, 22, 22},
    {Kind::OnOff, 21, 558, 336, 22, 22},   {Kind::Knob, 22, 584, 386, 0, 0},
    {Kind::Knob, 23, 672, 386, 0, 0},      {Kind::ThreeState, 3, 72, 114, 99, 35},
    {Kind::ThreeState, 16, 72, 231, 99, 35},
    {Kind::Menu, 71, 776, 416, 864, 439},  {Kind::Menu, 25, 784, 201, 870, 223},
    {Kind::Menu, 26, 518, 201, 604, 223},  {Kind::Menu, 60, 784, 63, 870, 85},
    {Kind::Menu, 27, 518, 63, 604, 85},    {Kind::Menu, 17, 100, 301, 142, 320},
    {Kind::Menu, 72, 36, 29, 204, 45},     {Kind::Menu, 68, 774, 357, 865, 378},
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
    CRect want = p.kind == Kind::Menu ? CRect(p.x, p.y, p.w, p.h)
                 : p.kind == Kind::Knob ? CRect(p.x, p.y, p.x + knobWidth, p.y + 44)
                                        : CRect(p.x, p.y, p.x + p.w, p.y + p.h);
    SCOPED_TRACE("tag " + std::to_string(p.tag) + " at " + describe(want));
    vgui::CView* v = view();
    ASSERT_NE(v, nullptr) << "the frame holds fewer views than the panel";
    auto* control = dynamic_cast<vgui::CControl*>(v);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->getTag(), p.tag);
    EXPECT_EQ(describe(v->getViewSize()), describe(want));
    switch (p.kind) {
      case Kind::Knob: EXPECT_NE(dynamic_cast<vgui::CAnimKnob*>(v), nullptr); break;
      case Kind::OnOff: EXPECT_NE(dynamic_cast<vgui::COnOffButton*>(v), nullptr); break;
      case Kind::ThreeState: EXPECT_NE(dynamic_cast<CVornAnimatedButton*>(v), nullptr); break;
      case Kind::Display:
        EXPECT_EQ(v, editor_->entry(p.tag).display);
        EXPECT_EQ(dynamic_cast<vgui::COptionMenu*>(v), nullptr);
        break;
      case Kind::Menu: EXPECT_NE(dynamic_cast<vgui::COptionMenu*>(v), nullptr); break;
    }
    if (p.kind == Kind::Display || p.kind == Kind::Menu) continue;
    EXPECT_EQ(v, editor_->entry(p.tag).control);
    if (p.kind == Kind::Knob) knobs.emplace_back(p.tag, want);
    // Each control lies under its learn overlay, which covers it exactly.
    vgui::CView* overlay = view();
    ASSERT_NE(overlay, nullptr);
    EXPECT_EQ(overlay, editor_->entry(p.tag).rightMenu);
    ASSERT_NE(dynamic_cast<vgui::CControl*>(overlay), nullptr);
    EXPECT_EQ(dynamic_cast<vgui::CControl*>(overlay)->getTag(), 69);
    EXPECT_EQ(describe(overlay->getViewSize()), describe(want));
  }
  EXPECT_EQ(frame()->getNbViews(), next) << "views beyond the panel";
  EXPECT_EQ(knobs.size(), 20u);
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
  // Every zoom step once first: cairo and fontconfig keep caches per size.
  for (int i = 0; i < EditorTexts::kZoomSteps; ++i) {
    ASSERT_TRUE(plugin_->openEditor(static_cast<std::uintptr_t>(parent_)));
    plugin_->editorIdle();
    editor_->zoomTo(EditorTexts::zoomPercent(i));
    plugin_->editorIdle();
    plugin_->closeEditor();
  }
  long objects = vgui::CBaseObject::liveObjects();
  int bitmaps = vgui::ResourceBitmaps::cachedCount();
  int files = openFiles();
  long rss = residentKiB();
  for (int i = 0; i < 100; ++i) {
    ASSERT_TRUE(plugin_->openEditor(static_cast<std::uintptr_t>(parent_)));
    plugin_->setParameter(i % 30, static_cast<float>(i % 10) / 10.0f);
    plugin_->editorIdle();
    // Zoomed while open: the skin is drawn again at the new size.
    editor_->zoomTo(EditorTexts::zoomPercent(i % EditorTexts::kZoomSteps));
    plugin_->editorIdle();
    plugin_->closeEditor();
  }
  EXPECT_EQ(vgui::CBaseObject::liveObjects(), objects);
  EXPECT_EQ(vgui::ResourceBitmaps::cachedCount(), bitmaps);
  EXPECT_EQ(openFiles(), files) << "every X connection is closed";
  long grown = residentKiB() - rss;
  std::printf("resident memory growth over 100 open/zoom/close cycles: %ld KiB\n", grown);
#ifndef __SANITIZE_ADDRESS__  // its quarantine keeps freed memory resident
  // A window's skin at 3x is megabytes: leaking one per cycle would grow by
  // hundreds; what the allocator keeps of freed pictures stays well below.
  EXPECT_LT(grown, 8192);
#endif

  // Updates from another thread while the window goes and comes back, then
  // the plug-in goes with its editor open.
  ASSERT_TRUE(openEditor());
  std::atomic<bool> stop{false};
  std::thread updater([&] {
    for (int i = 0; !stop; ++i) synth_->setParameter(i % 57, static_cast<float>(i % 7) / 7.0f);
  });
  pumpFor(50);
  plugin_->closeEditor();
  ASSERT_TRUE(openEditor());
  stop = true;
  updater.join();
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
  editor_->updateSoundSet(1);
  EXPECT_EQ(sets->getCurrentIndex(), 1);

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
  VstGraph::CRightMenu* overlay = editor_->entry(index).rightMenu;
  EXPECT_EQ(overlay->getMidiCC(), 21);
  sendController(22, 5);  // learning is over: another controller leaves it
  EXPECT_EQ(synth_->getMidiCC(index), 21);
  EXPECT_FLOAT_EQ(plugin_->getParameter(index), 100.0f / 127.0f);
  sendController(21, 37);
  EXPECT_FLOAT_EQ(plugin_->getParameter(index), 37.0f / 127.0f);
  pumpFor(20);
  EXPECT_FLOAT_EQ(editor_->entry(index).control->getValue(), 37.0f / 127.0f);

  popUp(knob, keys({XK_Down, XK_Return}), 3);
  EXPECT_EQ(synth_->getMidiCC(index), 0);
  EXPECT_EQ(overlay->getMidiCC(), 0);
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
  CRect first = onScreen(frame());
  CRect other = onScreen(dynamic_cast<Editor*>(secondSynth->getEditor())->getFrame());
  auto over = [](const CRect& r, const std::vector<CPoint>& seen) {
    return !seen.empty() && std::all_of(seen.begin(), seen.end(),
                                        [&](const CPoint& p) { return r.pointInside(p); });
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

}  // namespace

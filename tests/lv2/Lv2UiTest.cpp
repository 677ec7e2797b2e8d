// The LV2 UI in a window of our own, embedded as a UI host embeds it: the
// editor opens in the parent at its size, a knob drag reaches the host as
// control writes between two touch gestures, and a control change from the
// host moves the knob; the host's display factor sizes it.
// gtest and the LV2 headers first: Xlib defines macros (None, Bool) that
// clash with their names.
#include <gtest/gtest.h>
#include <lv2/data-access/data-access.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>

#include "tests/lv2/Lv2TestHost.h"
#include "tests/plugin/SoundSetFixture.h"

#include "tests/testsupport/XTestDisplay.h"
#include <dlfcn.h>

#include <chrono>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr std::uint32_t kVolumePort = 3 + 13;
// Where the panel puts the Volume knob, and the editor's size, at scale 1.
constexpr int kVolumeX = 805 + 20, kVolumeY = 248 + 22;
constexpr int kEditorWidth = 927, kEditorHeight = 524;

struct UiHost {
  std::vector<std::pair<std::uint32_t, float>> writes;
  std::vector<std::pair<std::uint32_t, bool>> touches;
  int width = 0, height = 0;

  static void write(LV2UI_Controller c, std::uint32_t port, std::uint32_t size, std::uint32_t protocol,
                    const void* buffer) {
    if (protocol == 0 && size == sizeof(float))
      static_cast<UiHost*>(c)->writes.emplace_back(port, *static_cast<const float*>(buffer));
  }
  static void touch(LV2UI_Feature_Handle h, std::uint32_t port, bool grabbed) {
    static_cast<UiHost*>(h)->touches.emplace_back(port, grabbed);
  }
  static int resize(LV2UI_Feature_Handle h, int width, int height) {
    auto* self = static_cast<UiHost*>(h);
    self->width = width, self->height = height;
    return 0;
  }
};

class Lv2UiTest : public SoundSetFixture {
 protected:
  void SetUp() override {
    SoundSetFixture::SetUp();
    writeSoundSet(1, "Gut", TestSoundSet{});
    display_ = openTestDisplay();
    ASSERT_NE(display_, nullptr) << "the UI tests need an X server (run under xvfb-run)";
    parent_ = mapHostWindow(display_, 0, 0, 1000, 600);

    // The UI module the description names, as a UI host finds it.
    LilvUIs* uis = lilv_plugin_get_uis(Lv2TestHost::plugin());
    ASSERT_EQ(lilv_uis_size(uis), 1u);
    const LilvUI* ui = lilv_uis_get(uis, lilv_uis_begin(uis));
    char* path = lilv_file_uri_parse(lilv_node_as_uri(lilv_ui_get_binary_uri(ui)), nullptr);
    uiModule_ = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    lilv_free(path);
    lilv_uis_free(uis);
    ASSERT_NE(uiModule_, nullptr) << dlerror();
    auto entry = reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(uiModule_, "lv2ui_descriptor"));
    ASSERT_NE(entry, nullptr);
    ui_ = entry(0);
    ASSERT_NE(ui_, nullptr);
  }
  void TearDown() override {
    if (display_) XDestroyWindow(display_, parent_), XCloseDisplay(display_);
    if (uiModule_) dlclose(uiModule_);
    SoundSetFixture::TearDown();
  }

  // scale > 0: the host says its display factor.
  LV2UI_Handle open(Lv2TestHost& lv2, LV2UI_Widget* widget, float scale = 0.0f) {
    dataAccess_.data_access = lv2.descriptor()->extension_data;
    instance_ = {LV2_INSTANCE_ACCESS_URI, lv2.handle()};
    const LV2_Feature parent{LV2_UI__parent, reinterpret_cast<void*>(parent_)};
    const LV2_Options_Option options[] = {
        {LV2_OPTIONS_INSTANCE, 0, lv2.map(LV2_UI__scaleFactor), sizeof scale, lv2.map(LV2_ATOM__Float), &scale},
        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    const LV2_Feature mapFeature{LV2_URID__map, lv2.uridMap()},
        optionsFeature{LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(options)};
    const LV2_Feature* features[] = {&instance_,       &dataFeature_, &parent,
                                     &touchFeature_,  &resizeFeature_, &mapFeature,
                                     scale > 0.0f ? &optionsFeature : nullptr, nullptr};
    return ui_->instantiate(ui_, "https://quillmark.net/plugins/vellamor-zul", "", &UiHost::write, &host_,
                            widget, features);
  }
  void idleFor(LV2UI_Handle handle, int ms) {
    auto idle = static_cast<const LV2UI_Idle_Interface*>(ui_->extension_data(LV2_UI__idleInterface));
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
      idle->idle(handle);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (std::chrono::steady_clock::now() < end);
  }

  Display* display_ = nullptr;
  Window parent_ = 0;
  void* uiModule_ = nullptr;
  const LV2UI_Descriptor* ui_ = nullptr;
  UiHost host_;
  LV2_Extension_Data_Feature dataAccess_{};
  LV2_Feature instance_{}, dataFeature_{LV2_DATA_ACCESS_URI, &dataAccess_};
  LV2UI_Touch touch_{&host_, &UiHost::touch};
  LV2UI_Resize resize_{&host_, &UiHost::resize};
  LV2_Feature touchFeature_{LV2_UI__touch, &touch_}, resizeFeature_{LV2_UI__resize, &resize_};
};

TEST_F(Lv2UiTest, KnobDragsReachTheHostHostChangesMoveTheKnobAndItsFactorSizesTheEditor) {
  Lv2TestHost lv2(44100.0);
  ASSERT_TRUE(lv2.ok());
  lv2.setControl(13, 0.2f);
  lv2.render(256);

  LV2UI_Widget widget = nullptr;
  LV2UI_Handle handle = open(lv2, &widget);
  ASSERT_NE(handle, nullptr);
  const Window editor = static_cast<Window>(reinterpret_cast<std::uintptr_t>(widget));
  ASSERT_NE(editor, 0u);
  EXPECT_EQ(host_.width, kEditorWidth);
  EXPECT_EQ(host_.height, kEditorHeight);
  Window root, parentOfEditor, *children = nullptr;
  unsigned count = 0;
  XQueryTree(display_, editor, &root, &parentOfEditor, &children, &count);
  if (children) XFree(children);
  EXPECT_EQ(parentOfEditor, parent_);
  idleFor(handle, 300);

  // A drag up the Volume knob.
  dragUp(display_, kVolumeX, kVolumeY, 60, [&](int ms) { idleFor(handle, ms); });

  ASSERT_EQ(host_.touches.size(), 2u);
  EXPECT_EQ(host_.touches[0], std::make_pair(kVolumePort, true));
  EXPECT_EQ(host_.touches[1], std::make_pair(kVolumePort, false));
  ASSERT_FALSE(host_.writes.empty());
  for (const auto& [port, value] : host_.writes) EXPECT_EQ(port, kVolumePort);
  EXPECT_GT(host_.writes.back().second, 0.4f) << "60 pixels up turn the knob by more than a fifth";

  // The host sets it back low, as automation would: the knob is drawn anew.
  auto knobArea = [&] { return grabWindow(display_, editor, kVolumeX - 20, kVolumeY - 22, 44, 44); };
  cairo_surface_t* before = knobArea();
  const float low = 0.0f;
  const std::size_t written = host_.writes.size();
  ui_->port_event(handle, kVolumePort, sizeof low, 0, &low);
  idleFor(handle, 100);
  cairo_surface_t* after = knobArea();
  EXPECT_GT(differingPixels(before, after, 0, 0, 44, 44), 40);
  cairo_surface_destroy(before);
  cairo_surface_destroy(after);
  EXPECT_EQ(host_.writes.size(), written) << "the host's own change is not echoed back to it";

  ui_->cleanup(handle);

  // Opened again where the host says its display factor.
  handle = open(lv2, &widget, 1.5f);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(host_.width, 1391);  // 927 x 1.5, rounded
  EXPECT_EQ(host_.height, 786);
  XWindowAttributes shown;
  XGetWindowAttributes(display_, static_cast<Window>(reinterpret_cast<std::uintptr_t>(widget)), &shown);
  EXPECT_EQ(shown.width, 1391);
  EXPECT_EQ(shown.height, 786);
  ui_->cleanup(handle);
}

}  // namespace

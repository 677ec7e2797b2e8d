// The LV2 UI module's one exported symbol. It links no engine, editor or X
// code: the editor runs in the DSP module (see Lv2EditorAccess).
#include <lv2/ui/ui.h>

#include <cstring>

#include "lv2/Lv2Ui.h"

namespace {

Lv2Ui* self(LV2UI_Handle handle) { return static_cast<Lv2Ui*>(handle); }

LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char*, const char*, LV2UI_Write_Function write,
                         LV2UI_Controller controller, LV2UI_Widget* widget, const LV2_Feature* const* features) {
  return Lv2Ui::create(write, controller, widget, features);
}
void cleanup(LV2UI_Handle h) { delete self(h); }
void portEvent(LV2UI_Handle h, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
  self(h)->portEvent(port, size, format, buffer);
}
int idle(LV2UI_Handle h) { return self(h)->idle(); }
const LV2UI_Idle_Interface kIdle = {idle};

const void* extensionData(const char* uri) {
  return std::strcmp(uri, LV2_UI__idleInterface) == 0 ? &kIdle : nullptr;
}

const LV2UI_Descriptor kDescriptor = {Lv2Ui::kUri, instantiate, cleanup, portEvent, extensionData};

}  // namespace

extern "C" __attribute__((visibility("default"))) const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
  return index == 0 ? &kDescriptor : nullptr;
}

#include "lv2/Lv2Ui.h"

#include <lv2/data-access/data-access.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "lv2/Lv2Ports.h"

Lv2Ui* Lv2Ui::create(LV2UI_Write_Function write, LV2UI_Controller controller, LV2UI_Widget* widget,
                     const LV2_Feature* const* features) {
  LV2_Handle instance = nullptr;
  const LV2_Extension_Data_Feature* data = nullptr;
  void* parent = nullptr;
  const LV2UI_Touch* touch = nullptr;
  const LV2UI_Resize* resize = nullptr;
  const LV2_URID_Map* map = nullptr;
  const LV2_Options_Option* options = nullptr;
  for (int i = 0; features && features[i]; ++i) {
    const char* uri = features[i]->URI;
    void* d = features[i]->data;
    if (!std::strcmp(uri, LV2_INSTANCE_ACCESS_URI)) instance = d;
    else if (!std::strcmp(uri, LV2_DATA_ACCESS_URI)) data = static_cast<const LV2_Extension_Data_Feature*>(d);
    else if (!std::strcmp(uri, LV2_UI__parent)) parent = d;
    else if (!std::strcmp(uri, LV2_UI__touch)) touch = static_cast<const LV2UI_Touch*>(d);
    else if (!std::strcmp(uri, LV2_UI__resize)) resize = static_cast<const LV2UI_Resize*>(d);
    else if (!std::strcmp(uri, LV2_URID__map)) map = static_cast<const LV2_URID_Map*>(d);
    else if (!std::strcmp(uri, LV2_OPTIONS__options)) options = static_cast<const LV2_Options_Option*>(d);
  }
  // The host's display factor, when it says; otherwise the editor asks the
  // X server and the user's choice.
  float scale = 0.0f;
  if (map && options) {
    const LV2_URID key = map->map(map->handle, LV2_UI__scaleFactor);
    const LV2_URID floatType = map->map(map->handle, LV2_ATOM__Float);
    for (; options->key; ++options)
      if (options->key == key && options->type == floatType && options->size == sizeof(float) && options->value)
        std::memcpy(&scale, options->value, sizeof scale);
  }
  const auto* access = data && data->data_access
                           ? static_cast<const Lv2EditorAccess*>(data->data_access(VELLAMOR_LV2_EDITOR_ACCESS))
                           : nullptr;
  if (!instance || !access || !parent || !write) {
    std::fprintf(stderr, "Vellamor-ZUL: the editor needs the host's instance-access, data-access and "
                         "ui:parent; it stays closed\n");
    return nullptr;
  }
  Lv2Ui* self = new (std::nothrow) Lv2Ui;
  if (!self) return nullptr;
  self->instance_ = instance;
  self->access_ = access;
  self->write_ = write;
  self->controller_ = controller;
  self->touch_ = touch;
  self->resize_ = resize;
  self->listener_ = {self, &Lv2Ui::changed, &Lv2Ui::gesture, &Lv2Ui::resized};
  self->window_ = access->open(instance, reinterpret_cast<std::uintptr_t>(parent), &self->listener_, scale);
  if (!self->window_) {
    std::fprintf(stderr, "Vellamor-ZUL: the editor could not open in the host's window\n");
    delete self;
    return nullptr;
  }
  int width = 0, height = 0;
  access->size(instance, &width, &height);
  if (resize && resize->ui_resize && width > 0 && height > 0) resize->ui_resize(resize->handle, width, height);
  *widget = reinterpret_cast<LV2UI_Widget>(static_cast<std::uintptr_t>(self->window_));
  return self;
}

Lv2Ui::~Lv2Ui() {
  if (window_) access_->close(instance_);
}

void Lv2Ui::portEvent(std::uint32_t port, std::uint32_t size, std::uint32_t format, const void* buffer) {
  if (format != 0 || size != sizeof(float) || !buffer) return;
  if (port < Lv2Ports::kFirstControl || port >= Lv2Ports::kFreewheel) return;
  float value;
  std::memcpy(&value, buffer, sizeof value);
  if (std::isfinite(value)) access_->show(instance_, static_cast<int>(port - Lv2Ports::kFirstControl), value);
}

int Lv2Ui::idle() {
  access_->idle(instance_);
  return 0;
}

void Lv2Ui::changed(void* context, int parameter, float value) {
  auto* self = static_cast<Lv2Ui*>(context);
  self->write_(self->controller_, Lv2Ports::kFirstControl + static_cast<std::uint32_t>(parameter),
               sizeof value, 0, &value);
}

void Lv2Ui::gesture(void* context, int parameter, bool begin) {
  auto* self = static_cast<Lv2Ui*>(context);
  if (self->touch_ && self->touch_->touch)
    self->touch_->touch(self->touch_->handle, Lv2Ports::kFirstControl + static_cast<std::uint32_t>(parameter),
                        begin);
}

void Lv2Ui::resized(void* context, int width, int height) {
  auto* self = static_cast<Lv2Ui*>(context);
  if (self->resize_ && self->resize_->ui_resize) self->resize_->ui_resize(self->resize_->handle, width, height);
}

// The LV2 UI: shows the editor of the DSP instance the host gives through
// instance-access inside the host's window, and passes the editor's edits to
// the host as control-port writes bracketed by touch gestures. The editor
// itself lives in the DSP module (see Lv2EditorAccess).
//
// Threads: every call on the host's UI thread.
#pragma once

#include <lv2/ui/ui.h>

#include <cstdint>

#include "lv2/Lv2EditorAccess.h"

class Lv2Ui {
 public:
  static constexpr const char* kUri = "https://quillmark.net/plugins/vellamor-zul#ui";

  // Null, with a message on standard error, when a required feature is
  // missing or the editor cannot open.
  static Lv2Ui* create(LV2UI_Write_Function write, LV2UI_Controller controller, LV2UI_Widget* widget,
                       const LV2_Feature* const* features);
  ~Lv2Ui();
  Lv2Ui(const Lv2Ui&) = delete;
  Lv2Ui& operator=(const Lv2Ui&) = delete;

  void portEvent(std::uint32_t port, std::uint32_t size, std::uint32_t format, const void* buffer);
  int idle();

 private:
  Lv2Ui() = default;
  static void changed(void* self, int parameter, float value);
  static void gesture(void* self, int parameter, bool begin);
  static void resized(void* self, int width, int height);

  LV2_Handle instance_ = nullptr;
  const Lv2EditorAccess* access_ = nullptr;
  LV2UI_Write_Function write_ = nullptr;
  LV2UI_Controller controller_ = nullptr;
  const LV2UI_Touch* touch_ = nullptr;
  const LV2UI_Resize* resize_ = nullptr;
  Lv2EditorListener listener_{};
  unsigned long window_ = 0;
};

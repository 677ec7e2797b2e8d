// A small LV2 host on lilv: finds the plug-in through LV2_PATH, maps URIDs,
// logs the plug-in's messages, and renders blocks with MIDI and, when asked,
// a time:Position at the start of every block.
#pragma once

#include <lilv/lilv.h>
#include <lv2/atom/forge.h>
#include <lv2/log/log.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <map>
#include <string>
#include <vector>

#include "host/HostedPlugin.h"

class Lv2TestHost {
 public:
  static LilvWorld* world();
  static const LilvPlugin* plugin();  // null when not found

  Lv2TestHost(double sampleRate, int blockSize = 256);
  ~Lv2TestHost();
  bool ok() const { return instance_ != nullptr; }

  void setControl(int parameter, float value) { controls_[parameter] = value; }
  void setFreewheel(bool on) { freewheel_ = on ? 1.0f : 0.0f; }
  // Each block then starts with a time:Position: rolling or stopped.
  void setTransport(bool rolling) { transport_ = true, rolling_ = rolling; }

  // Schedule delta frames are absolute positions, as with the VST host.
  host::RenderedAudio render(int frames, const host::MidiEventList& schedule);
  host::RenderedAudio render(int frames) { return render(frames, host::MidiEventList()); }

  LilvState* save();
  void restore(const LilvState* state);
  LV2_Handle handle() const { return lilv_instance_get_handle(instance_); }
  const void* extensionData(const char* uri) const { return lilv_instance_get_extension_data(instance_, uri); }
  LV2_URID map(const char* uri);

  std::vector<std::string> messages;  // from the plug-in's log

 private:
  static LV2_URID mapUri(LV2_URID_Map_Handle handle, const char* uri);
  static const char* unmapUri(LV2_URID_Unmap_Handle handle, LV2_URID urid);
  static int printLog(LV2_Log_Handle handle, LV2_URID type, const char* fmt, ...);
  static int vprintLog(LV2_Log_Handle handle, LV2_URID type, const char* fmt, va_list ap);
  static void setValue(const char* symbol, void* data, const void* value, uint32_t size, uint32_t type);

  std::map<std::string, LV2_URID> ids_;
  std::vector<std::string> names_;
  LV2_URID_Map map_{this, mapUri};
  LV2_URID_Unmap unmap_{this, unmapUri};
  LV2_Log_Log log_{this, printLog, vprintLog};
  int blockSize_;
  double sampleRate_;
  int32_t blockLength_;
  LV2_Options_Option options_[3] = {};
  LV2_Feature mapFeature_{}, unmapFeature_{}, logFeature_{}, optionsFeature_{};
  const LV2_Feature* features_[5] = {};
  LilvInstance* instance_ = nullptr;

  float controls_[33] = {};
  float freewheel_ = 0.0f;
  bool transport_ = false, rolling_ = false;
  double frame_ = 0.0;
  std::vector<float> left_, right_;
  std::vector<uint8_t> atoms_;
  LV2_Atom_Forge forge_{};
};

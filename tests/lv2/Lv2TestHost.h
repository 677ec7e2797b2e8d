// A small LV2 host on lilv: maps URIDs, keeps the plug-in's log, renders
// blocks with MIDI and, when asked, a time:Position at every block start.
#pragma once

#include <lilv/lilv.h>
#include <lv2/atom/forge.h>
#include <lv2/log/log.h>
#include <lv2/options/options.h>
#include <lv2/worker/worker.h>

#include <map>
#include <string>
#include <vector>

#include "host/HostedPlugin.h"

class Lv2TestHost {
 public:
  static LilvWorld* world();
  static const LilvPlugin* plugin();  // null when not found

  // With a worker, work is done at once, inside run, as hosts do when they
  // render offline.
  Lv2TestHost(double sampleRate, int blockSize = 256, bool worker = false);
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
  void restore(LilvState* state);  // and frees it
  LV2_URID map(const char* uri);
  LV2_URID_Map* uridMap() { return &map_; }
  LV2_Handle handle() const { return lilv_instance_get_handle(instance_); }
  const LV2_Descriptor* descriptor() const { return lilv_instance_get_descriptor(instance_); }
  const void* extensionData(const char* uri) const { return lilv_instance_get_extension_data(instance_, uri); }
  int scheduledWork() const { return scheduled_; }

  std::vector<std::string> messages;  // from the plug-in's log

 private:
  static LV2_URID mapUri(LV2_URID_Map_Handle handle, const char* uri);
  static LV2_Worker_Status scheduleWork(LV2_Worker_Schedule_Handle handle, uint32_t size, const void* data);
  float* control(const char* symbol);  // the control port of that symbol, or null

  std::map<std::string, LV2_URID> ids_;
  LV2_URID next_ = 1;
  LV2_URID_Map map_{this, mapUri};
  LV2_Log_Log log_;
  int32_t blockSize_;  // also the maximum block length the options give
  LV2_Options_Option options_[2] = {};
  LV2_Feature mapFeature_{LV2_URID__map, &map_}, logFeature_{LV2_LOG__log, &log_},
      optionsFeature_{LV2_OPTIONS__options, options_};
  LV2_Worker_Schedule schedule_{this, scheduleWork};
  LV2_Feature workerFeature_{LV2_WORKER__schedule, &schedule_};
  const LV2_Feature* features_[5] = {&mapFeature_, &logFeature_, &optionsFeature_, nullptr, nullptr};
  const LV2_Worker_Interface* worker_ = nullptr;
  int scheduled_ = 0;
  LilvInstance* instance_ = nullptr;

  float controls_[33] = {};
  float freewheel_ = 0.0f;
  bool transport_ = false, rolling_ = false;
  double frame_ = 0.0;
  std::vector<float> left_, right_;
  std::vector<uint8_t> atoms_;
  LV2_Atom_Forge forge_{};
};

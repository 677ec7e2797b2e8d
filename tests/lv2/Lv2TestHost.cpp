#include "tests/lv2/Lv2TestHost.h"

#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/midi/midi.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

LilvWorld* Lv2TestHost::world() {
  static LilvWorld* w = [] {
    // The built bundle first, then the system's vocabularies.
    setenv("LV2_PATH", VELLAMOR_LV2_PATH ":/usr/lib/lv2:/usr/local/lib/lv2", 1);
    LilvWorld* created = lilv_world_new();
    lilv_world_load_all(created);
    return created;
  }();
  return w;
}

const LilvPlugin* Lv2TestHost::plugin() {
  LilvNode* uri = lilv_new_uri(world(), "https://quillmark.net/plugins/vellamor-zul");
  const LilvPlugin* p = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world()), uri);
  lilv_node_free(uri);
  return p;
}

LV2_URID Lv2TestHost::mapUri(LV2_URID_Map_Handle handle, const char* uri) {
  auto* self = static_cast<Lv2TestHost*>(handle);
  auto [it, added] = self->ids_.emplace(uri, self->next_);
  self->next_ += added;
  return it->second;
}

LV2_URID Lv2TestHost::map(const char* uri) { return mapUri(this, uri); }

namespace {
int vprintLog(LV2_Log_Handle handle, LV2_URID, const char* fmt, va_list ap) {
  char text[1024];
  const int n = std::vsnprintf(text, sizeof text, fmt, ap);
  static_cast<std::vector<std::string>*>(handle)->push_back(text);
  return n;
}
int printLog(LV2_Log_Handle handle, LV2_URID type, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  const int n = vprintLog(handle, type, fmt, ap);
  return va_end(ap), n;
}
}  // namespace

LV2_Worker_Status Lv2TestHost::scheduleWork(LV2_Worker_Schedule_Handle handle, uint32_t size, const void* data) {
  auto* self = static_cast<Lv2TestHost*>(handle);
  ++self->scheduled_;
  if (!self->worker_) return LV2_WORKER_ERR_UNKNOWN;
  auto respond = [](LV2_Worker_Respond_Handle, uint32_t, const void*) { return LV2_WORKER_SUCCESS; };
  return self->worker_->work(self->handle(), respond, self, size, data);
}

Lv2TestHost::Lv2TestHost(double sampleRate, int blockSize, bool worker)
    : log_{&messages, printLog, vprintLog}, blockSize_(blockSize), left_(blockSize), right_(blockSize), atoms_(1 << 16) {
  const LilvPlugin* p = plugin();
  if (!p) return;
  options_[0] = {LV2_OPTIONS_INSTANCE, 0, map(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t),
                 map(LV2_ATOM__Int), &blockSize_};
  if (worker) features_[3] = &workerFeature_;
  if (!(instance_ = lilv_plugin_instantiate(p, sampleRate, features_))) return;
  if (worker) worker_ = static_cast<const LV2_Worker_Interface*>(extensionData(LV2_WORKER__interface));
  lv2_atom_forge_init(&forge_, &map_);
  // Port defaults from the description, as a host starts them.
  for (int i = 0; i < 33; ++i) {
    LilvNode *def = nullptr;
    lilv_port_get_range(p, lilv_plugin_get_port_by_index(p, 3 + i), &def, nullptr, nullptr);
    controls_[i] = def ? lilv_node_as_float(def) : 0.0f;
    lilv_node_free(def);
    lilv_instance_connect_port(instance_, 3 + i, &controls_[i]);
  }
  lilv_instance_connect_port(instance_, 0, atoms_.data());
  lilv_instance_connect_port(instance_, 1, left_.data());
  lilv_instance_connect_port(instance_, 2, right_.data());
  lilv_instance_connect_port(instance_, 36, &freewheel_);
  lilv_instance_activate(instance_);
}

Lv2TestHost::~Lv2TestHost() {
  if (instance_) lilv_instance_deactivate(instance_), lilv_instance_free(instance_);
}

host::RenderedAudio Lv2TestHost::render(int frames, const host::MidiEventList& schedule) {
  host::RenderedAudio out;
  const LV2_URID midiType = map(LV2_MIDI__MidiEvent);
  for (int start = 0; start < frames; start += blockSize_) {
    const int n = std::min(blockSize_, frames - start);
    lv2_atom_forge_set_buffer(&forge_, atoms_.data(), atoms_.size());
    LV2_Atom_Forge_Frame sequence;
    lv2_atom_forge_sequence_head(&forge_, &sequence, 0);
    if (transport_) {
      LV2_Atom_Forge_Frame object;
      lv2_atom_forge_frame_time(&forge_, 0);
      lv2_atom_forge_object(&forge_, &object, 0, map(LV2_TIME__Position));
      lv2_atom_forge_key(&forge_, map(LV2_TIME__frame));
      lv2_atom_forge_long(&forge_, static_cast<int64_t>(frame_));
      lv2_atom_forge_key(&forge_, map(LV2_TIME__speed));
      lv2_atom_forge_float(&forge_, rolling_ ? 1.0f : 0.0f);
      lv2_atom_forge_key(&forge_, map(LV2_TIME__beatsPerMinute));
      lv2_atom_forge_float(&forge_, 120.0f);
      lv2_atom_forge_pop(&forge_, &object);
    }
    for (size_t i = 0; i < schedule.size(); ++i) {
      const auto& e = reinterpret_cast<const vst::VstMidiEvent&>(schedule.at(i));
      if (e.deltaFrames < start || e.deltaFrames >= start + n) continue;
      lv2_atom_forge_frame_time(&forge_, e.deltaFrames - start);
      lv2_atom_forge_atom(&forge_, 3, midiType);
      lv2_atom_forge_write(&forge_, e.midiData, 3);
    }
    lv2_atom_forge_pop(&forge_, &sequence);
    lilv_instance_run(instance_, n);
    if (rolling_) frame_ += n;
    out.left.insert(out.left.end(), left_.begin(), left_.begin() + n);
    out.right.insert(out.right.end(), right_.begin(), right_.begin() + n);
  }
  return out;
}

float* Lv2TestHost::control(const char* symbol) {
  for (int i = 0; i < 33; ++i) {
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin(), 3 + i);
    if (!std::strcmp(lilv_node_as_string(lilv_port_get_symbol(plugin(), port)), symbol)) return &controls_[i];
  }
  return nullptr;
}

LilvState* Lv2TestHost::save() {
  auto value = [](const char* symbol, void* data, uint32_t* size, uint32_t* type) -> const void* {
    auto* self = static_cast<Lv2TestHost*>(data);
    *size = sizeof(float), *type = self->map(LV2_ATOM__Float);
    return self->control(symbol);
  };
  return lilv_state_new_from_instance(plugin(), instance_, &map_, nullptr, nullptr, nullptr, nullptr, value, this,
                                      LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, features_);
}

void Lv2TestHost::restore(LilvState* state) {
  auto setValue = [](const char* symbol, void* data, const void* value, uint32_t size, uint32_t) {
    float* control = static_cast<Lv2TestHost*>(data)->control(symbol);
    if (control && size == sizeof(float)) std::memcpy(control, value, sizeof(float));
  };
  lilv_state_restore(state, instance_, setValue, this, 0, features_);
  lilv_state_free(state);
}

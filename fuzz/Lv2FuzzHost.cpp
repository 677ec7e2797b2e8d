#include "fuzz/Lv2FuzzHost.h"

#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/midi/midi.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fuzz/FuzzHost.h"
#include "lv2/Lv2Ports.h"

namespace {

// Type and key URIDs no map call ever hands out.
constexpr LV2_URID kNeverMapped = 0xFFFFF1;

int quietPrintf(LV2_Log_Handle, LV2_URID, const char*, ...) { return 0; }
int quietVprintf(LV2_Log_Handle, LV2_URID, const char*, va_list) { return 0; }

}  // namespace

Lv2FuzzHost& Lv2FuzzHost::instance() {
  static Lv2FuzzHost host;
  return host;
}

Lv2FuzzHost::Lv2FuzzHost() : left_(kFrames), right_(kFrames) {
  // The engine's bank with two sound sets in use; made first, as it also
  // sets up the workspace every engine object must find.
  VstSynth& engine = FuzzHost::instance().synth();
  void* data = nullptr;
  const vst::VstInt32 size = engine.getChunk(&data, false);
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  baselineBank_.assign(bytes, bytes + size);

  log_ = {this, quietPrintf, quietVprintf};
  const LV2_Feature mapFeature{LV2_URID__map, &map_};
  const LV2_Feature logFeature{LV2_LOG__log, &log_};
  const LV2_Feature* features[] = {&mapFeature, &logFeature, nullptr};
  plugin_.reset(Lv2Plugin::create(kSampleRate, features));
  if (!plugin_) {
    std::fprintf(stderr, "the LV2 instance could not be made\n");
    std::abort();
  }
  // The control ports stay unconnected: the state alone decides the sound.
  plugin_->connect(Lv2Ports::kEvents, events_);
  plugin_->connect(Lv2Ports::kLeft, left_.data());
  plugin_->connect(Lv2Ports::kRight, right_.data());
  plugin_->connect(Lv2Ports::kFreewheel, &freewheel_);
  plugin_->activate();
}

LV2_URID Lv2FuzzHost::mapUri(LV2_URID_Map_Handle handle, const char* uri) {
  return static_cast<Lv2FuzzHost*>(handle)->map(uri);
}

LV2_URID Lv2FuzzHost::map(const char* uri) {
  auto [it, added] = ids_.emplace(uri, static_cast<LV2_URID>(ids_.size() + 1));
  return it->second;
}

LV2_URID Lv2FuzzHost::keyUrid(const Property& p) {
  switch (p.key) {
    case kBank: return map(Lv2Plugin::kBankKey);
    case kPreset: return map(Lv2Plugin::kPresetKey);
    case kProgram: return map(Lv2Plugin::kProgramKey);
    case kUnknown: break;
  }
  switch (p.unknownKey & 3) {
    case 0: return map("https://quillmark.net/plugins/vellamor-zul#banks");
    case 1: return map(Lv2Plugin::kUri);
    case 2: return map(LV2_ATOM__Int);
    default: return kNeverMapped;
  }
}

LV2_URID Lv2FuzzHost::typeUrid(Type type) {
  switch (type) {
    case kChunk: return map(LV2_ATOM__Chunk);
    case kInt: return map(LV2_ATOM__Int);
    case kLong: return map(LV2_ATOM__Long);
    case kFloat: return map(LV2_ATOM__Float);
    case kString: return map(LV2_ATOM__String);
    case kNone: return 0;
    case kUnmapped: return kNeverMapped;
    case kVector: return map(LV2_ATOM__Vector);
  }
  return 0;
}

Lv2FuzzHost::Input Lv2FuzzHost::decode(const std::uint8_t* data, std::size_t size) {
  Input input;
  if (size == 0) return input;
  input.note = data[0] & 0x7F;
  std::size_t at = 1;
  while (at < size && input.properties.size() < 16) {
    const std::uint8_t what = data[at++];
    std::size_t length = 0;
    for (int k = 0; k < 3 && at < size; ++k) length |= std::size_t{data[at++]} << (8 * k);
    if (length > size - at) length = size - at;
    Property p;
    p.key = static_cast<Key>(what & 3);
    p.type = static_cast<Type>((what >> 2) & 7);
    p.misaligned = (what & 0x20) != 0;
    p.unknownKey = static_cast<std::uint8_t>(what >> 6);
    p.value.assign(data + at, data + at + length);
    at += length;
    input.properties.push_back(std::move(p));
  }
  return input;
}

std::vector<std::uint8_t> Lv2FuzzHost::encode(const Input& input) {
  std::vector<std::uint8_t> out{static_cast<std::uint8_t>(input.note & 0x7F)};
  for (const Property& p : input.properties) {
    out.push_back(static_cast<std::uint8_t>(p.key | (p.type << 2) | (p.misaligned ? 0x20 : 0) |
                                            ((p.unknownKey & 3) << 6)));
    for (int k = 0; k < 3; ++k) out.push_back(static_cast<std::uint8_t>(p.value.size() >> (8 * k)));
    out.insert(out.end(), p.value.begin(), p.value.end());
  }
  return out;
}

const void* Lv2FuzzHost::retrieve(LV2_State_Handle handle, std::uint32_t key, std::size_t* size,
                                  std::uint32_t* type, std::uint32_t* flags) {
  auto& served = static_cast<Lv2FuzzHost*>(handle)->served_;
  auto it = served.find(key);
  if (it == served.end()) return nullptr;
  *size = it->second.size;
  *type = it->second.type;
  *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
  return it->second.bytes.get() + (it->second.misaligned ? 1 : 0);
}

LV2_State_Status Lv2FuzzHost::restore(const std::vector<Property>& properties) {
  served_.clear();
  for (const Property& p : properties) {
    Served s;
    s.size = p.value.size();
    s.misaligned = p.misaligned;
    s.type = typeUrid(p.type);
    s.bytes.reset(new std::uint8_t[s.size + (s.misaligned ? 1 : 0)]);
    if (s.size) std::memcpy(s.bytes.get() + (s.misaligned ? 1 : 0), p.value.data(), s.size);
    served_[keyUrid(p)] = std::move(s);
  }
  const LV2_State_Status status = plugin_->restore(retrieve, this);
  served_.clear();
  return status;
}

LV2_State_Status Lv2FuzzHost::store(LV2_State_Handle handle, std::uint32_t key, const void* value,
                                    std::size_t size, std::uint32_t type, std::uint32_t) {
  auto* self = static_cast<Lv2FuzzHost*>(handle);
  Property p;
  if (key == self->map(Lv2Plugin::kBankKey)) p.key = kBank;
  else if (key == self->map(Lv2Plugin::kPresetKey)) p.key = kPreset;
  else if (key == self->map(Lv2Plugin::kProgramKey)) p.key = kProgram;
  else return LV2_STATE_SUCCESS;
  p.type = type == self->map(LV2_ATOM__Chunk) ? kChunk
           : type == self->map(LV2_ATOM__Int) ? kInt
                                              : kUnmapped;
  const auto* bytes = static_cast<const std::uint8_t*>(value);
  p.value.assign(bytes, bytes + size);
  self->stored_.push_back(std::move(p));
  return LV2_STATE_SUCCESS;
}

std::vector<Lv2FuzzHost::Property> Lv2FuzzHost::save() {
  stored_.clear();
  if (plugin_->save(store, this) != LV2_STATE_SUCCESS) stored_.clear();
  return std::move(stored_);
}

void Lv2FuzzHost::reset() {
  Property bank{kBank, kChunk, false, 0, baselineBank_};
  Property program{kProgram, kInt, false, 0, std::vector<std::uint8_t>(4, 0)};
  restore({bank, program});
  const std::uint8_t allOff[3] = {0xB0, 123, 0};
  run(allOff);
}

void Lv2FuzzHost::run(const std::uint8_t* midi) {
  auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(events_);
  sequence->atom.type = map(LV2_ATOM__Sequence);
  sequence->atom.size = sizeof(LV2_Atom_Sequence_Body);
  sequence->body = {0, 0};
  if (midi) {
    auto* event = reinterpret_cast<LV2_Atom_Event*>(sequence + 1);
    event->time.frames = 3;
    event->body.type = map(LV2_MIDI__MidiEvent);
    event->body.size = 3;
    std::memcpy(event + 1, midi, 3);
    sequence->atom.size += sizeof(LV2_Atom_Event) + lv2_atom_pad_size(3);
  }
  plugin_->run(kFrames);
  for (std::uint32_t i = 0; i < kFrames; ++i) {
    if (std::isfinite(left_[i]) && std::isfinite(right_[i])) continue;
    std::fprintf(stderr, "non-finite sample %u of %u\n", i, kFrames);
    std::abort();
  }
}

void Lv2FuzzHost::playPhrase(int note) {
  std::uint8_t midi[3] = {0x90, static_cast<std::uint8_t>(note & 0x7F), 100};
  run(midi);
  midi[0] = 0x80;
  run(midi);
}

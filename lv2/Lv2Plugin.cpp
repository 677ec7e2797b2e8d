#include "lv2/Lv2Plugin.h"

#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/time/time.h>

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

#include "plugin/VstSynth.h"

using namespace vst;

namespace {

// The engine calls its host while it is being built, before the adapter can
// tell its effect record apart: builds are one at a time and the adapter
// being built answers those calls.
std::mutex g_buildMutex;
std::atomic<Lv2Plugin*> g_building{nullptr};

constexpr std::size_t kHeaderBytes = offsetof(VstEvents, events);

}  // namespace

Lv2Plugin* Lv2Plugin::create(double sampleRate, const LV2_Feature* const* features) {
  LV2_URID_Map* map = nullptr;
  LV2_Log_Log* log = nullptr;
  const LV2_Worker_Schedule* schedule = nullptr;
  for (int i = 0; features && features[i]; ++i) {
    if (!std::strcmp(features[i]->URI, LV2_URID__map)) map = static_cast<LV2_URID_Map*>(features[i]->data);
    if (!std::strcmp(features[i]->URI, LV2_LOG__log)) log = static_cast<LV2_Log_Log*>(features[i]->data);
    if (!std::strcmp(features[i]->URI, LV2_WORKER__schedule))
      schedule = static_cast<const LV2_Worker_Schedule*>(features[i]->data);
  }
  if (!map) {
    std::fprintf(stderr, "Vellamor-ZUL: the host offers no urid:map; not instantiated\n");
    return nullptr;
  }
  if (!(std::isfinite(sampleRate) && sampleRate >= VstSynth::kMinSampleRate &&
        sampleRate <= VstSynth::kMaxSampleRate)) {
    std::fprintf(stderr, "Vellamor-ZUL: sample rate %g is not supported\n", sampleRate);
    return nullptr;
  }

  std::unique_ptr<Lv2Plugin> self(new (std::nothrow) Lv2Plugin);
  if (!self) return nullptr;
  lv2_log_logger_init(&self->logger_, map, log);
  auto id = [map](const char* uri) { return map->map(map->handle, uri); };
  Uris& u = self->uris_;
  u.atomBlank = id(LV2_ATOM__Blank);
  u.atomObject = id(LV2_ATOM__Object);
  u.atomChunk = id(LV2_ATOM__Chunk);
  u.atomInt = id(LV2_ATOM__Int);
  u.atomLong = id(LV2_ATOM__Long);
  u.atomFloat = id(LV2_ATOM__Float);
  u.atomDouble = id(LV2_ATOM__Double);
  u.midiEvent = id(LV2_MIDI__MidiEvent);
  u.timePosition = id(LV2_TIME__Position);
  u.timeFrame = id(LV2_TIME__frame);
  u.timeSpeed = id(LV2_TIME__speed);
  u.timeBpm = id(LV2_TIME__beatsPerMinute);
  u.timeBar = id(LV2_TIME__bar);
  u.timeBarBeat = id(LV2_TIME__barBeat);
  u.timeBeatsPerBar = id(LV2_TIME__beatsPerBar);
  u.timeBeatUnit = id(LV2_TIME__beatUnit);
  u.bufMax = id(LV2_BUF_SIZE__maxBlockLength);
  u.bufNominal = id(LV2_BUF_SIZE__nominalBlockLength);
  u.bank = id(kBankKey);
  u.program = id(kProgramKey);
  u.preset = id(kPresetKey);

  self->sampleRate_ = sampleRate;
  self->readOptions(features);
  self->time_.sampleRate = sampleRate;
  self->time_.tempo = 120.0;
  self->time_.timeSigNumerator = 4;
  self->time_.timeSigDenominator = 4;

  self->eventList_.reset(new (std::nothrow) std::uint8_t[kHeaderBytes + kMaxEvents * sizeof(VstEvent*)]);
  if (!self->eventList_) return nullptr;
  auto** slots = reinterpret_cast<VstEvent**>(self->eventList_.get() + kHeaderBytes);
  for (int i = 0; i < kMaxEvents; ++i) slots[i] = reinterpret_cast<VstEvent*>(&self->midi_[i]);

  {
    std::lock_guard<std::mutex> lock(g_buildMutex);
    g_building = self.get();
    self->synth_.reset(new (std::nothrow) VstSynth(&Lv2Plugin::hostCallback));
    if (self->synth_) self->synth_->getAeffect()->user = self.get();
    g_building = nullptr;
  }
  if (!self->synth_) return nullptr;
  self->synth_->setSampleRate(static_cast<float>(sampleRate));
  self->synth_->setBlockSize(self->blockSize_);
  if (schedule && schedule->schedule_work) {
    self->schedule_ = schedule;
    self->synth_->setLoadNotify(&Lv2Plugin::loadRequested, self.get());
  }
  return self.release();
}

Lv2Plugin::~Lv2Plugin() = default;

// Audio thread, inside run: the host's worker is told; a request made on any
// other thread is left to the engine's own loader.
void Lv2Plugin::loadRequested(void* context) {
  auto* self = static_cast<Lv2Plugin*>(context);
  if (self->runThread_.load(std::memory_order_relaxed) != std::this_thread::get_id()) return;
  const std::uint8_t message = 1;
  self->schedule_->schedule_work(self->schedule_->handle, sizeof message, &message);
}

LV2_Worker_Status Lv2Plugin::work() {
  synth_->serveLoads();
  return LV2_WORKER_SUCCESS;
}

void Lv2Plugin::readOptions(const LV2_Feature* const* features) {
  const LV2_Options_Option* options = nullptr;
  for (int i = 0; features && features[i]; ++i)
    if (!std::strcmp(features[i]->URI, LV2_OPTIONS__options))
      options = static_cast<const LV2_Options_Option*>(features[i]->data);
  int maximum = 0, nominal = 0;
  for (; options && options->key; ++options) {
    if (options->type != uris_.atomInt || options->size != sizeof(std::int32_t) || !options->value) continue;
    const std::int32_t v = *static_cast<const std::int32_t*>(options->value);
    if (v <= 0) continue;
    if (options->key == uris_.bufMax) maximum = v;
    if (options->key == uris_.bufNominal) nominal = v;
  }
  if (nominal > 0) blockSize_ = nominal;
  else if (maximum > 0) blockSize_ = maximum;
}

VstIntPtr Lv2Plugin::hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void*,
                                  float opt) {
  Lv2Plugin* self = effect ? static_cast<Lv2Plugin*>(effect->user) : nullptr;
  if (!self) self = g_building.load();
  return self ? self->answer(opcode, index, value, opt) : 0;
}

VstIntPtr Lv2Plugin::answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, float opt) {
  // The thread first: listener_ belongs to the UI thread and is read there only.
  const bool fromEditor = uiThread_.load(std::memory_order_relaxed) == std::this_thread::get_id() && listener_;
  const bool port = index >= 0 && index < Lv2Ports::kControls;
  switch (opcode) {
    case audioMasterAutomate:
      if (fromEditor && port && std::isfinite(opt)) listener_->changed(listener_->ui, index, opt);
      return 0;
    case audioMasterBeginEdit:
    case audioMasterEndEdit:
      if (fromEditor && port) listener_->gesture(listener_->ui, index, opcode == audioMasterBeginEdit);
      return fromEditor ? 1 : 0;
    case audioMasterSizeWindow:
      if (fromEditor && listener_->resized && index > 0 && value > 0)
        listener_->resized(listener_->ui, index, static_cast<int>(value));
      return fromEditor ? 1 : 0;
    case audioMasterVersion:
      return 2400;
    case audioMasterGetSampleRate:
      return static_cast<VstIntPtr>(sampleRate_);
    case audioMasterGetBlockSize:
      return blockSize_;
    case audioMasterGetTime:
      // Without a transport from the host the engine sees a stopped one.
      return haveTime_ ? reinterpret_cast<VstIntPtr>(&time_) : 0;
    case audioMasterGetCurrentProcessLevel:
      return offline_.load(std::memory_order_relaxed) ? kVstProcessLevelOffline : kVstProcessLevelRealtime;
    default:
      return 0;
  }
}

void Lv2Plugin::connect(std::uint32_t port, void* data) {
  if (port == Lv2Ports::kEvents) events_ = static_cast<const LV2_Atom_Sequence*>(data);
  else if (port == Lv2Ports::kLeft) outputs_[0] = static_cast<float*>(data);
  else if (port == Lv2Ports::kRight) outputs_[1] = static_cast<float*>(data);
  else if (port == Lv2Ports::kFreewheel) freewheel_ = static_cast<const float*>(data);
  else if (port >= Lv2Ports::kFirstControl && port < Lv2Ports::kFreewheel)
    controls_[port - Lv2Ports::kFirstControl] = static_cast<const float*>(data);
}

void Lv2Plugin::activate() {
  synth_->setSampleRate(static_cast<float>(sampleRate_));
  synth_->setBlockSize(blockSize_);
  synth_->resume();
}

void Lv2Plugin::deactivate() { synth_->suspend(); }

void Lv2Plugin::readControls() {
  for (int i = 0; i < Lv2Ports::kControls; ++i) {
    if (!controls_[i]) continue;
    const float v = *controls_[i];
    if (!std::isfinite(v)) continue;
    if (adoptPorts_) {
      applied_[i] = v;
    } else if (applyAll_ || v != applied_[i]) {
      applied_[i] = v;
      if (i == kSoundSetParameter && std::trunc(v) != std::trunc(synth_->getParameter(i))) reapplyProgram_ = true;
      synth_->setParameter(i, v);
    }
  }
  applyAll_ = adoptPorts_ = false;
  offline_.store(freewheel_ && *freewheel_ > 0.5f, std::memory_order_relaxed);
}

void Lv2Plugin::addMidi(const std::uint8_t* bytes, std::uint32_t size, std::int64_t offset,
                        std::uint32_t frames) {
  // Channel messages only; the engine reads nothing else.
  if (size < 1 || size > 3 || bytes[0] < 0x80 || bytes[0] >= 0xF0) return;
  auto* list = reinterpret_cast<VstEvents*>(eventList_.get());
  if (list->numEvents >= kMaxEvents) return;
  VstMidiEvent& e = midi_[list->numEvents++];
  std::memset(&e, 0, sizeof e);
  e.type = kVstMidiType;
  e.byteSize = sizeof(VstMidiEvent);
  const std::int64_t last = frames > 0 ? frames - 1 : 0;
  e.deltaFrames = static_cast<VstInt32>(offset < 0 ? 0 : (offset > last ? last : offset));
  for (std::uint32_t k = 0; k < size; ++k) e.midiData[k] = static_cast<char>(bytes[k]);
}

void Lv2Plugin::readPosition(const LV2_Atom_Object* position, std::int64_t offset) {
  const LV2_Atom *frame = nullptr, *speed = nullptr, *bpm = nullptr, *bar = nullptr, *barBeat = nullptr,
                 *beatsPerBar = nullptr, *beatUnit = nullptr;
  lv2_atom_object_get(position, uris_.timeFrame, &frame, uris_.timeSpeed, &speed, uris_.timeBpm, &bpm,
                      uris_.timeBar, &bar, uris_.timeBarBeat, &barBeat, uris_.timeBeatsPerBar, &beatsPerBar,
                      uris_.timeBeatUnit, &beatUnit, 0);
  // Numbers come as any atom number type; others are ignored.
  auto number = [this](const LV2_Atom* a, double& out) {
    if (!a) return false;
    double v;
    if (a->type == uris_.atomLong && a->size >= sizeof(std::int64_t)) v = double(reinterpret_cast<const LV2_Atom_Long*>(a)->body);
    else if (a->type == uris_.atomInt && a->size >= sizeof(std::int32_t)) v = reinterpret_cast<const LV2_Atom_Int*>(a)->body;
    else if (a->type == uris_.atomFloat && a->size >= sizeof(float)) v = reinterpret_cast<const LV2_Atom_Float*>(a)->body;
    else if (a->type == uris_.atomDouble && a->size >= sizeof(double)) v = reinterpret_cast<const LV2_Atom_Double*>(a)->body;
    else return false;
    if (!std::isfinite(v)) return false;
    out = v;
    return true;
  };
  number(speed, speed_);
  double v = 0.0;
  if (number(bpm, v) && v > 0.0) time_.tempo = v;
  if (number(beatsPerBar, v) && v > 0.0) beatsPerBar_ = v;
  if (number(beatUnit, v) && v > 0.0) beatUnit_ = v;
  number(bar, bar_);
  number(barBeat, barBeat_);
  if (number(frame, v)) time_.samplePos = v;
  // Back to the start of the block, where the engine reads the transport.
  const double back = speed_ * static_cast<double>(offset);
  time_.samplePos -= back;
  barBeat_ -= back / sampleRate_ * time_.tempo / 60.0;
  haveTime_ = true;
}

void Lv2Plugin::readEvents(std::uint32_t frames) {
  reinterpret_cast<VstEvents*>(eventList_.get())->numEvents = 0;
  if (reapplyProgram_) {
    // The engine only stores a new sound-set number; choosing the current
    // program again makes it load that set, on its own background loader
    // (no file is read on this thread), before the host's events of the block.
    reapplyProgram_ = false;
    const std::uint8_t change[2] = {0xC0, static_cast<std::uint8_t>(synth_->getProgram() & 0x7F)};
    addMidi(change, sizeof change, 0, frames);
  }
  if (!events_) return;
  LV2_ATOM_SEQUENCE_FOREACH(events_, ev) {
    const std::int64_t offset = ev->time.frames;
    if (ev->body.type == uris_.midiEvent) {
      addMidi(reinterpret_cast<const std::uint8_t*>(LV2_ATOM_BODY_CONST(&ev->body)), ev->body.size, offset,
              frames);
    } else if ((ev->body.type == uris_.atomObject || ev->body.type == uris_.atomBlank) &&
               ev->body.size >= sizeof(LV2_Atom_Object_Body)) {
      const auto* object = reinterpret_cast<const LV2_Atom_Object*>(&ev->body);
      if (object->body.otype == uris_.timePosition) readPosition(object, offset);
    }
  }
}

void Lv2Plugin::run(std::uint32_t frames) {
  if (!outputs_[0] || !outputs_[1]) return;
  runThread_.store(std::this_thread::get_id(), std::memory_order_relaxed);
  readControls();
  const bool wasPlaying = (time_.flags & kVstTransportPlaying) != 0;
  readEvents(frames);
  if (haveTime_) {
    const double quarters = 4.0 / beatUnit_;
    time_.ppqPos = (bar_ * beatsPerBar_ + barBeat_) * quarters;
    time_.barStartPos = bar_ * beatsPerBar_ * quarters;
    time_.timeSigNumerator = static_cast<VstInt32>(beatsPerBar_);
    time_.timeSigDenominator = static_cast<VstInt32>(beatUnit_);
    const bool playing = speed_ != 0.0;
    time_.flags = kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstTimeSigValid |
                  (playing ? kVstTransportPlaying : 0) | (playing != wasPlaying ? kVstTransportChanged : 0);
  }
  auto* list = reinterpret_cast<VstEvents*>(eventList_.get());
  if (list->numEvents > 0) synth_->processEvents(list);
  if (frames == 0) return;
  synth_->processReplacing(nullptr, outputs_, static_cast<VstInt32>(frames));
  if (haveTime_ && speed_ != 0.0) {
    const double advance = speed_ * frames;
    time_.samplePos += advance;
    barBeat_ += advance / sampleRate_ * time_.tempo / 60.0;
    while (barBeat_ >= beatsPerBar_) barBeat_ -= beatsPerBar_, bar_ += 1.0;
    while (barBeat_ < 0.0 && bar_ > 0.0) barBeat_ += beatsPerBar_, bar_ -= 1.0;
  }
}

LV2_State_Status Lv2Plugin::save(LV2_State_Store_Function store, LV2_State_Handle handle) {
  void* data = nullptr;
  const VstInt32 size = synth_->getChunk(&data, false);
  if (!data || size <= 0) return LV2_STATE_ERR_UNKNOWN;
  const std::uint32_t flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
  LV2_State_Status status = store(handle, uris_.bank, data, static_cast<std::size_t>(size), uris_.atomChunk, flags);
  if (status != LV2_STATE_SUCCESS) return status;
  const std::int32_t program = synth_->getProgram();
  return store(handle, uris_.program, &program, sizeof program, uris_.atomInt, flags);
}

LV2_State_Status Lv2Plugin::restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle) {
  const std::size_t bankBytes = sizeof(VstParameters);
  const std::size_t programBytes = sizeof(VstProgram);
  bool bad = false, restored = false;
  std::size_t size = 0;
  std::uint32_t type = 0, flags = 0;

  if (const void* bank = retrieve(handle, uris_.bank, &size, &type, &flags)) {
    if (type == uris_.atomChunk && size == bankBytes)
      restored = synth_->setChunk(const_cast<void*>(bank), static_cast<VstInt32>(size), false);
    bad |= !restored;
  }
  if (const void* record = retrieve(handle, uris_.preset, &size, &type, &flags)) {
    if (type == uris_.atomChunk && size == programBytes)
      restored = synth_->setChunk(const_cast<void*>(record), static_cast<VstInt32>(size), true);
    else
      bad = true;
  }
  if (const void* program = retrieve(handle, uris_.program, &size, &type, &flags)) {
    std::int32_t p = -1;
    if (type == uris_.atomInt && size == sizeof p) std::memcpy(&p, program, sizeof p);
    if (p >= 0 && p < kNumPrograms) synth_->setProgram(p), restored = true;
    else bad = true;
  }
  if (bad)
    lv2_log_error(&logger_, "Vellamor-ZUL: the saved state has parts of the wrong type or size; "
                            "those parts were left out\n");
  // The restored engine holds what the host's ports will be set to; when
  // nothing was restored the ports still have to reach it.
  if (restored) adoptPorts_ = true, applyAll_ = false;
  return LV2_STATE_SUCCESS;
}

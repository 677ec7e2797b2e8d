#include "host/HostedPlugin.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

using namespace vst;

namespace host {

namespace {
// The instance whose plug-in is inside its entry on this thread. The plug-in
// cannot name itself yet (the host has no AEffect pointer), so callbacks
// without a known effect go here.
thread_local HostedPlugin* tLoading = nullptr;

constexpr const char* kHostVendor = "Vellamor-ZUL developers";
constexpr const char* kHostProduct = "vellamor-host";
constexpr double kDefaultSampleRate = 44100.0;
constexpr int kDefaultBlockSize = 512;

// Plug-ins write names into host buffers with no size given. Ours are large;
// writing past kStringRoom is counted as an overrun.
constexpr std::size_t kStringRoom = 256;
constexpr std::size_t kStringGuard = 256;
constexpr unsigned char kGuardByte = 0x5A;

// Chunks larger than this are taken for garbage sizes.
constexpr VstIntPtr kMaxChunkBytes = VstIntPtr{1} << 30;

const char* const kHostCapabilities[] = {"sendVstEvents",    "sendVstMidiEvent", "sendVstTimeInfo",
                                         "receiveVstEvents", "sizeWindow",       "supplyIdle"};

VstIntPtr hostCanDo(const void* ptr) {
  if (!ptr) return 0;
  const char* text = static_cast<const char*>(ptr);
  for (const char* capability : kHostCapabilities)
    if (std::strncmp(text, capability, 64) == 0) return 1;
  return 0;
}

VstIntPtr copyHostString(void* ptr, const char* text) {
  if (!ptr) return 0;
  std::snprintf(static_cast<char*>(ptr), kVstMaxVendorStrLen, "%s", text);
  return 1;
}

std::string hex32(VstInt32 value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08x", static_cast<unsigned>(value));
  return text;
}
}  // namespace

HostedPlugin::HostedPlugin(std::shared_ptr<PluginModule> module, const HostSettings& settings)
    : module_(std::move(module)),
      timeline_(settings.sampleRate, settings.tempo),
      sampleRate_(timeline_.sampleRate()),
      blockSize_(settings.blockSize > 0 ? settings.blockSize : kDefaultBlockSize),
      offline_(settings.offline) {}

std::unique_ptr<HostedPlugin> HostedPlugin::load(const std::string& path, std::string& error,
                                                 const HostSettings& settings) {
  auto module = PluginModule::open(path, error);
  if (!module) return nullptr;
  return load(std::move(module), error, settings);
}

std::unique_ptr<HostedPlugin> HostedPlugin::load(std::shared_ptr<PluginModule> module,
                                                 std::string& error,
                                                 const HostSettings& settings) {
  error.clear();
  if (!module || !module->entry()) {
    error = "no plug-in module to load from";
    return nullptr;
  }
  std::unique_ptr<HostedPlugin> plugin(new HostedPlugin(module, settings));
  const std::string& name = module->path();

  HostedPlugin* outer = tLoading;  // a plug-in may host another from its entry
  tLoading = plugin.get();
  AEffect* effect = module->entry()(&HostedPlugin::hostCallback);
  tLoading = outer;

  if (!effect) {
    error = "plug-in entry of '" + name + "' returned no effect";
    return nullptr;
  }
  // A record we cannot trust is not touched again: no effClose either.
  if (effect->magic != kEffectMagic) {
    error = "plug-in '" + name + "' returned an effect with bad magic " + hex32(effect->magic) +
            " (expected " + hex32(kEffectMagic) + ")";
    return nullptr;
  }
  if (!effect->dispatcher) {
    error = "plug-in '" + name + "' returned an effect without a dispatcher";
    return nullptr;
  }
  effect->resvd1 = reinterpret_cast<VstIntPtr>(plugin.get());
  plugin->effect_ = effect;

  // The order a DAW uses before the first resume.
  plugin->dispatch(effOpen);
  plugin->dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(plugin->sampleRate_));
  plugin->dispatch(effSetBlockSize, 0, plugin->blockSize_);
  return plugin;
}

HostedPlugin::~HostedPlugin() {
  if (!effect_) return;
  if (resumed_) suspend();
  // Callbacks during close still reach us through resvd1.
  effect_->dispatcher(effect_, effClose, 0, 0, nullptr, 0.0f);
  effect_ = nullptr;
}

VstIntPtr HostedPlugin::hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                     VstIntPtr value, void* ptr, float opt) {
  HostedPlugin* self = nullptr;
  if (effect && effect->resvd1)
    self = reinterpret_cast<HostedPlugin*>(effect->resvd1);
  else
    self = tLoading;
  if (!self) return answerWithoutInstance(opcode, ptr);
  return self->answer(opcode, index, value, ptr, opt);
}

VstIntPtr HostedPlugin::answerWithoutInstance(VstInt32 opcode, void* ptr) {
  switch (opcode) {
    case audioMasterVersion:
      return kVstVersion;
    case audioMasterGetSampleRate:
      return static_cast<VstIntPtr>(kDefaultSampleRate);
    case audioMasterGetBlockSize:
      return kDefaultBlockSize;
    case audioMasterCanDo:
      return hostCanDo(ptr);
    case audioMasterGetVendorString:
      return copyHostString(ptr, kHostVendor);
    case audioMasterGetProductString:
      return copyHostString(ptr, kHostProduct);
    default:
      return 0;
  }
}

VstIntPtr HostedPlugin::answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                               float opt) {
  recorder_.countCall(opcode);
  switch (opcode) {
    case audioMasterVersion:
      return kVstVersion;
    case audioMasterGetSampleRate:
      return static_cast<VstIntPtr>(sampleRate_.load());
    case audioMasterGetBlockSize:
      return blockSize_.load();
    case audioMasterWantMidi:
      midiRequested_ = true;
      return 1;
    case audioMasterGetTime: {
      if (!timeInfoAvailable_) return 0;
      bool onRenderThread = renderThread_.load() == std::this_thread::get_id();
      VstTimeInfo& info = onRenderThread ? renderTime_ : otherTime_;
      info = timeline_.snapshot();
      return reinterpret_cast<VstIntPtr>(&info);
    }
    case audioMasterGetCurrentProcessLevel:
      return offline_ ? kVstProcessLevelOffline : kVstProcessLevelRealtime;
    case audioMasterAutomate:
      recorder_.recordAutomation(index, opt);
      return 0;
    case audioMasterBeginEdit:
      recorder_.recordEdit(index, true);
      return 1;
    case audioMasterEndEdit:
      recorder_.recordEdit(index, false);
      return 1;
    case audioMasterUpdateDisplay:
      recorder_.recordDisplayUpdate();
      return 1;
    case audioMasterSizeWindow:
      // We claim "sizeWindow", so the request is granted (and recorded).
      recorder_.recordWindowSize(index, static_cast<int>(value));
      return 1;
    case audioMasterProcessEvents:
      // We claim "receiveVstEvents": take them, count them.
      if (!ptr) return 0;
      recorder_.recordEventsFromPlugin(static_cast<VstEvents*>(ptr)->numEvents);
      return 1;
    case audioMasterCanDo:
      return hostCanDo(ptr);
    case audioMasterGetVendorString:
      return copyHostString(ptr, kHostVendor);
    case audioMasterGetProductString:
      return copyHostString(ptr, kHostProduct);
    default:
      return 0;
  }
}

VstIntPtr HostedPlugin::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                 float opt) {
  // effClose frees the effect; only the destructor may send it.
  if (!effect_ || opcode == effClose) return 0;
  return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

std::string HostedPlugin::queryString(VstInt32 opcode, VstInt32 index, VstIntPtr value) {
  char buffer[kStringRoom + kStringGuard];
  std::memset(buffer, 0, kStringRoom);
  std::memset(buffer + kStringRoom, kGuardByte, kStringGuard);
  dispatch(opcode, index, value, buffer);
  for (std::size_t i = kStringRoom; i < sizeof(buffer); ++i) {
    if (static_cast<unsigned char>(buffer[i]) != kGuardByte) {
      ++stringOverruns_;
      break;
    }
  }
  return std::string(buffer, strnlen(buffer, kStringRoom));
}

std::string HostedPlugin::effectName() { return queryString(effGetEffectName); }
std::string HostedPlugin::vendorString() { return queryString(effGetVendorString); }
std::string HostedPlugin::productString() { return queryString(effGetProductString); }
VstIntPtr HostedPlugin::vendorVersion() { return dispatch(effGetVendorVersion); }
VstIntPtr HostedPlugin::vstVersion() { return dispatch(effGetVstVersion); }
VstIntPtr HostedPlugin::plugCategory() { return dispatch(effGetPlugCategory); }
VstIntPtr HostedPlugin::numMidiInputChannels() { return dispatch(effGetNumMidiInputChannels); }
VstIntPtr HostedPlugin::numMidiOutputChannels() { return dispatch(effGetNumMidiOutputChannels); }

VstIntPtr HostedPlugin::canDo(const std::string& capability) {
  std::vector<char> text(capability.begin(), capability.end());
  text.push_back('\0');
  return dispatch(effCanDo, 0, 0, text.data());
}

std::optional<VstPinProperties> HostedPlugin::pinProperties(VstInt32 opcode, int index) {
  VstPinProperties properties;
  std::memset(&properties, 0, sizeof(properties));
  if (!dispatch(opcode, index, 0, &properties)) return std::nullopt;
  properties.label[sizeof(properties.label) - 1] = '\0';
  properties.shortLabel[sizeof(properties.shortLabel) - 1] = '\0';
  return properties;
}

std::optional<VstPinProperties> HostedPlugin::outputProperties(int index) {
  return pinProperties(effGetOutputProperties, index);
}

std::optional<VstPinProperties> HostedPlugin::inputProperties(int index) {
  return pinProperties(effGetInputProperties, index);
}

VstIntPtr HostedPlugin::vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  return dispatch(effVendorSpecific, index, value, ptr, opt);
}

float HostedPlugin::getParameter(int index) {
  return effect_->getParameter ? effect_->getParameter(effect_, index) : 0.0f;
}

void HostedPlugin::setParameter(int index, float value) {
  if (effect_->setParameter) effect_->setParameter(effect_, index, value);
}

std::string HostedPlugin::parameterName(int index) { return queryString(effGetParamName, index); }
std::string HostedPlugin::parameterLabel(int index) {
  return queryString(effGetParamLabel, index);
}
std::string HostedPlugin::parameterDisplay(int index) {
  return queryString(effGetParamDisplay, index);
}

bool HostedPlugin::canBeAutomated(int index) { return dispatch(effCanBeAutomated, index) != 0; }

bool HostedPlugin::string2parameter(int index, const std::string& text) {
  char buffer[kStringRoom] = {};
  std::snprintf(buffer, sizeof(buffer), "%s", text.c_str());
  return dispatch(effString2Parameter, index, 0, buffer) != 0;
}

void HostedPlugin::setProgram(int program) { dispatch(effSetProgram, 0, program); }
int HostedPlugin::program() { return static_cast<int>(dispatch(effGetProgram)); }
std::string HostedPlugin::programName() { return queryString(effGetProgramName); }

void HostedPlugin::setProgramName(const std::string& name) {
  // A private copy in a roomy buffer: the plug-in may copy more than it needs.
  char buffer[kStringRoom] = {};
  std::snprintf(buffer, sizeof(buffer), "%s", name.c_str());
  dispatch(effSetProgramName, 0, 0, buffer);
}

std::string HostedPlugin::programNameIndexed(int program, int category) {
  return queryString(effGetProgramNameIndexed, program, category);
}

VstIntPtr HostedPlugin::beginSetProgram() { return dispatch(effBeginSetProgram); }
VstIntPtr HostedPlugin::endSetProgram() { return dispatch(effEndSetProgram); }

std::vector<std::uint8_t> HostedPlugin::getChunk(bool preset) {
  void* data = nullptr;
  VstIntPtr size = dispatch(effGetChunk, preset ? 1 : 0, 0, &data);
  if (!data || size <= 0 || size > kMaxChunkBytes) return {};
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  return std::vector<std::uint8_t>(bytes, bytes + size);
}

VstIntPtr HostedPlugin::setChunk(const void* data, std::size_t size, bool preset) {
  // The plug-in gets a buffer of ours, like from a host's project file.
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  chunkCopy_.assign(bytes, bytes + (data ? size : 0));
  return dispatch(effSetChunk, preset ? 1 : 0, static_cast<VstIntPtr>(chunkCopy_.size()),
                  chunkCopy_.empty() ? nullptr : chunkCopy_.data());
}

VstIntPtr HostedPlugin::setChunk(const std::vector<std::uint8_t>& data, bool preset) {
  return setChunk(data.data(), data.size(), preset);
}

bool HostedPlugin::setSampleRate(double rate) {
  if (!std::isfinite(rate) || rate <= 0.0) return false;
  sampleRate_ = rate;
  timeline_.setSampleRate(rate);
  dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
  return true;
}

bool HostedPlugin::setBlockSize(int frames) {
  if (frames <= 0) return false;
  blockSize_ = frames;
  dispatch(effSetBlockSize, 0, frames);
  return true;
}

void HostedPlugin::resume() {
  dispatch(effMainsChanged, 0, 1);
  resumed_ = true;
}

void HostedPlugin::suspend() {
  dispatch(effMainsChanged, 0, 0);
  resumed_ = false;
}

VstIntPtr HostedPlugin::startProcess() { return dispatch(effStartProcess); }
VstIntPtr HostedPlugin::stopProcess() { return dispatch(effStopProcess); }

std::optional<ERect> HostedPlugin::editorRect() {
  ERect* rect = nullptr;
  dispatch(effEditGetRect, 0, 0, &rect);
  if (!rect) return std::nullopt;
  return *rect;
}

bool HostedPlugin::openEditor(std::uintptr_t windowId) {
  return dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(windowId)) != 0;
}

void HostedPlugin::closeEditor() { dispatch(effEditClose); }
void HostedPlugin::editorIdle() { dispatch(effEditIdle); }

VstIntPtr HostedPlugin::sendEvents(MidiEventList& events) {
  return dispatch(effProcessEvents, 0, 0, events.vstEvents());
}

void HostedPlugin::ensureScratch(int frames) {
  // Spare buffers for declared inputs and for outputs beyond two; at least two
  // zeroed inputs so a plug-in that reads them anyway reads silence.
  std::size_t inputs = static_cast<std::size_t>(std::max(effect_->numInputs, 2));
  std::size_t outputs = static_cast<std::size_t>(std::max(effect_->numOutputs, 2));
  std::size_t length = static_cast<std::size_t>(frames);
  if (inputScratch_.size() < inputs * length) inputScratch_.resize(inputs * length);
  std::fill(inputScratch_.begin(), inputScratch_.begin() + inputs * length, 0.0f);
  if (outputScratch_.size() < outputs * length) outputScratch_.resize(outputs * length);
  inputPointers_.resize(inputs);
  outputPointers_.resize(outputs);
  for (std::size_t i = 0; i < inputs; ++i) inputPointers_[i] = inputScratch_.data() + i * length;
  for (std::size_t i = 0; i < outputs; ++i)
    outputPointers_[i] = outputScratch_.data() + i * length;
}

bool HostedPlugin::processBlock(float* left, float* right, int frames) {
  if (!effect_->processReplacing || frames <= 0) return false;
  ensureScratch(frames);
  outputPointers_[0] = left;
  outputPointers_[1] = right;
  for (float*& channel : outputPointers_)
    std::fill(channel, channel + frames, prefill_);
  renderThread_ = std::this_thread::get_id();
  effect_->processReplacing(effect_, inputPointers_.data(), outputPointers_.data(), frames);
  renderThread_ = std::thread::id{};
  timeline_.advance(frames);
  return true;
}

RenderedAudio HostedPlugin::render(int frames, int blockSize) {
  schedule_.clear();
  return render(frames, blockSize, schedule_);
}

RenderedAudio HostedPlugin::render(int frames, int blockSize, const MidiEventList& schedule) {
  RenderedAudio out;
  if (&schedule != &schedule_) schedule_ = schedule;
  if (frames <= 0 || blockSize <= 0) {
    out.droppedEvents = static_cast<int>(schedule_.size());
    return out;
  }
  if (blockSize > blockSize_) setBlockSize(blockSize);
  out.left.assign(static_cast<std::size_t>(frames), 0.0f);
  out.right.assign(static_cast<std::size_t>(frames), 0.0f);

  VstEvents* sorted = schedule_.vstEvents();
  int count = sorted->numEvents;
  VstEvent** pending = sorted->events;
  int next = 0;
  while (next < count && pending[next]->deltaFrames < 0) {
    ++out.droppedEvents;
    ++next;
  }
  for (int start = 0; start < frames; start += blockSize) {
    int length = std::min(blockSize, frames - start);
    blockEvents_.clear();
    while (next < count && pending[next]->deltaFrames < start + length) {
      blockEvents_.append(*pending[next], pending[next]->deltaFrames - start);
      ++next;
    }
    if (!blockEvents_.empty() || sendEmptyLists_) sendEvents(blockEvents_);
    if (!processBlock(out.left.data() + start, out.right.data() + start, length)) break;
  }
  out.droppedEvents += count - next;
  return out;
}

}  // namespace host

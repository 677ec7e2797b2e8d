// VstSynth: programs and their names, banks and host chunks, stored
// defaults (preferences) and scale files.
//
// Threads: the host's main and GUI threads; setProgram also from the audio
// thread (MIDI program change), which hands file work to the worker.
#include "plugin/VstSynth.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "plugin/AudioThreadScope.h"
#include "plugin/SynthUtil.h"
#include "plugin/BankFile.h"
#include "support/BundleResources.h"
#include "support/MessageBox.h"
#include "support/Preferences.h"
#include "support/VornMain.h"

using namespace vst;
using namespace synth_util;

// Programs -------------------------------------------------------------------

void VstSynth::setProgram(VstInt32 program) {
  if (program < 0 || program >= kNumPrograms) return;
  // A switch already under way on this thread (the editor answering one):
  // nothing more to do.
  if (AudioThreadScope::isCallingThread(programThread_)) return;
  if (inSetProgram.exchange(true)) {
    // Under way on another thread. The audio thread never waits: its switch
    // (a MIDI program change) is made at the start of the next block. A
    // control thread waits for the audio thread's switch, which is short.
    if (AudioThreadScope::isCallingThread(audioThread_)) {
      pendingProgram_.store(program, std::memory_order_release);
      return;
    }
    while (inSetProgram.exchange(true)) std::this_thread::yield();
  }
  programThread_.store(std::this_thread::get_id(), std::memory_order_relaxed);
  std::atomic_ref<VstInt32>(curProgram).store(program, std::memory_order_relaxed);
  for (int i = 0; i < kNumParams; ++i) {
    const VstParams& p = params_.params[i];
    float x = p.perProgram ? loadValue(params_.programs[program].values[i].value)
                           : loadValue(p.value);
    setParameter(i, x);
  }
  ExtraSetProgram();
  if (synthEditor_) synthEditor_->setPreset();
  programThread_.store(std::thread::id{}, std::memory_order_relaxed);
  inSetProgram = false;
  if (updateDisplay()) updateDisplay();
}

void VstSynth::ExtraSetProgram() {
  loadNewVORNsnd(trunc32(DmVal(24)));
  if (AudioThreadScope::isCallingThread(audioThread_))
    worker_->requestScale();
  else
    applyScale();
  if (synthEditor_) synthEditor_->updateScale();
}

void VstSynth::applyScale() {
  char name[sizeof(VstProgram::scaleName) + 1];
  {
    std::lock_guard<std::mutex> lock(namesMutex_);
    copyField(name, params_.programs[currentProgram()].scaleName,
              sizeof(VstProgram::scaleName), sizeof(VstProgram::scaleName) - 1);
  }
  tuning_->setTable(name);
}

// Names: host's threads only, under the lock that chunk snapshots take.
void VstSynth::setProgramName(char* name) {
  std::lock_guard<std::mutex> lock(namesMutex_);
  VstProgram& program = params_.programs[currentProgram()];
  std::memset(program.name, 0, sizeof(program.name));
  // Longer names are cut so that the field stays terminated.
  copyField(program.name, name, sizeof(program.name) - 1, sizeof(program.name) - 1);
}

void VstSynth::getProgramName(char* name) {
  std::lock_guard<std::mutex> lock(namesMutex_);
  const VstProgram& program = params_.programs[currentProgram()];
  copyField(name, program.name, sizeof(program.name), sizeof(program.name) - 1);
}

bool VstSynth::getProgramNameIndexed(VstInt32, VstInt32 index, char* text) {
  if (index < 0 || index >= kNumPrograms) return false;
  std::lock_guard<std::mutex> lock(namesMutex_);
  const VstProgram& program = params_.programs[index];
  copyField(text, program.name, sizeof(program.name), sizeof(program.name) - 1);
  return true;
}

void VstSynth::getProgramNameN(char* text, int index) const {
  if (index < 0 || index >= kNumPrograms) {
    text[0] = 0;
    return;
  }
  std::memcpy(text, params_.programs[index].name, sizeof(params_.programs[index].name));
  text[sizeof(params_.programs[index].name) - 1] = 0;
}

bool VstSynth::copyProgram(VstInt32) { return false; }

// Banks, chunks and preferences ------------------------------------------------

namespace {
constexpr std::size_t kParamsBytes = sizeof(VstParams) * kNumParams;
constexpr std::size_t kProgramBytes = sizeof(VstProgram);
constexpr std::size_t kBlockBytes = sizeof(VstParameters);
constexpr std::size_t kFactoryBankBytes = kProgramBytes * kNumPrograms;

float readFloat(const std::uint8_t* p) {
  float v;
  std::memcpy(&v, p, sizeof(v));
  return v;
}
std::int32_t readInt(const std::uint8_t* p) {
  std::int32_t v;
  std::memcpy(&v, p, sizeof(v));
  return v;
}
}  // namespace

void VstSynth::snapshotBlock(std::uint8_t* out) const {
  for (int i = 0; i < kNumParams; ++i) {
    // Field by field: value and controller may be stored meanwhile.
    const VstParams& src = params_.params[i];
    VstParams p;
    p.perProgram = src.perProgram;
    p.unclamped = src.unclamped;
    p.storedDefault = src.storedDefault;
    p.padding = src.padding;
    p.value = loadValue(src.value);
    p.midiCC = loadCC(src.midiCC);
    std::memcpy(p.name, src.name, sizeof(p.name));
    std::memcpy(out + i * sizeof(VstParams), &p, sizeof(p));
  }
  std::uint8_t* programs = out + kParamsBytes;
  // Names are written under this lock (the worker stores scale names).
  std::lock_guard<std::mutex> lock(namesMutex_);
  for (int k = 0; k < kNumPrograms; ++k) {
    const VstProgram& src = params_.programs[k];
    std::uint8_t* dst = programs + k * kProgramBytes;
    std::memcpy(dst, src.name, sizeof(src.name));
    std::memcpy(dst + offsetof(VstProgram, scaleName), src.scaleName, sizeof(src.scaleName));
    for (int i = 0; i < kNumParams; ++i) {
      float v = loadValue(src.values[i].value);
      std::memcpy(dst + offsetof(VstProgram, values) + i * sizeof(float), &v, sizeof(v));
    }
  }
}

// Files and host chunks are untrusted. The parameter table (flags and names)
// is the code's own and is never taken from them: a record marking Volume as
// unclamped would otherwise let a huge value through to the output. Values
// that are not finite become defaults, clamped parameters are clamped here
// already (the audio thread may read a value before it is applied), and
// controller numbers are kept to 0..127.
float VstSynth::restoredValue(int index, float v) const {
  if (!std::isfinite(v)) return defaults_[index];
  if (!params_.params[index].unclamped) v = v > 1.0f ? 1.0f : (v < 0.0f ? 0.0f : v);
  return v;
}

void VstSynth::restoreParameters(const std::uint8_t* bytes) {
  for (int i = 0; i < kNumParams; ++i) {
    const std::uint8_t* r = bytes + i * sizeof(VstParams);
    VstParams& p = params_.params[i];
    storeValue(p.value, restoredValue(i, readFloat(r + offsetof(VstParams, value))));
    std::int32_t cc = readInt(r + offsetof(VstParams, midiCC));
    storeCC(p.midiCC, (cc >= 0 && cc <= 127) ? cc : 0);
  }
}

void VstSynth::restoreProgram(int index, const std::uint8_t* bytes) {
  VstProgram& p = params_.programs[index];
  {
    // The worker reads scale names (applyScale); names are whole or old.
    std::lock_guard<std::mutex> lock(namesMutex_);
    std::memcpy(p.name, bytes, sizeof(p.name));
    p.name[sizeof(p.name) - 1] = 0;
    std::memcpy(p.scaleName, bytes + offsetof(VstProgram, scaleName), sizeof(p.scaleName));
    p.scaleName[sizeof(p.scaleName) - 1] = 0;
  }
  for (int i = 0; i < kNumParams; ++i) {
    float v = readFloat(bytes + offsetof(VstProgram, values) + i * sizeof(float));
    storeValue(p.values[i].value, restoredValue(i, v));
  }
}

VstInt32 VstSynth::getChunk(void** data, bool isPreset) {
  if (isPreset) {
    chunk_.resize(kProgramBytes);
    std::vector<std::uint8_t> block(kBlockBytes);
    snapshotBlock(block.data());
    std::memcpy(chunk_.data(), block.data() + kParamsBytes + currentProgram() * kProgramBytes,
                kProgramBytes);
  } else {
    chunk_.resize(kBlockBytes);
    snapshotBlock(chunk_.data());
  }
  *data = chunk_.data();
  return static_cast<VstInt32>(chunk_.size());
}

VstInt32 VstSynth::setChunk(void* data, VstInt32 byteSize, bool) {
  if (!data) return 0;
  if (byteSize == static_cast<VstInt32>(kProgramBytes)) {
    restoreProgram(currentProgram(), static_cast<const std::uint8_t*>(data));
    setProgram(currentProgram());
    return 1;
  }
  // A restored project must sound as it was saved: apply what was loaded.
  if (!setChunkSynth(data, byteSize)) return 0;
  setProgram(currentProgram());
  return 1;
}

bool VstSynth::setChunkSynth(const void* data, int size) {
  if (!data || size != static_cast<int>(kBlockBytes)) {
    MessageBoxFor(this, "Can't load bank, wrong file size!", "Error!", 0);
    return false;
  }
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  restoreParameters(bytes);
  for (int k = 0; k < kNumPrograms; ++k)
    restoreProgram(k, bytes + kParamsBytes + k * kProgramBytes);
  return true;
}

void VstSynth::loadBank(int bank, bool tryUserDefault, bool ask) {
  std::vector<std::uint8_t> bytes;
  if (tryUserDefault &&
      (!ask || MessageBoxFor(this, "Reload from User-Default bank? (No = Loads Factory Bank)",
                             "Warning!", 1))) {
    char path[4024];
    if (!VornMain::buildNameInUserDataPath("Default.bnk", path, sizeof(path))) {
      MessageBoxFor(this, "Default bank path is too long.", "Error!", 0);
    } else {
      BankFile::Read r = BankFile::readExact(path, kBlockBytes, bytes);
      if (r == BankFile::Read::kSizeUnknown) {
        MessageBoxFor(this, "Can't load user default bank file", "error!", 0);
      } else if (r == BankFile::Read::kOk) {
        restoreParameters(bytes.data());
        for (int k = 0; k < kNumPrograms; ++k)
          restoreProgram(k, bytes.data() + kParamsBytes + k * kProgramBytes);
        return;
      }
    }
  }
  char name[32];
  std::snprintf(name, sizeof(name), "/res%05d.bnk", bank);
  std::string path = BundleResources::path() + name;
  BankFile::Read r = BankFile::readExact(path, kFactoryBankBytes, bytes);
  if (r == BankFile::Read::kSizeUnknown) {
    MessageBoxFor(this, "Can't load file", "error!", 0);
  } else if (r == BankFile::Read::kOk) {
    for (int k = 0; k < kNumPrograms; ++k) restoreProgram(k, bytes.data() + k * kProgramBytes);
  }
}

bool VstSynth::saveDefaultBank() {
  char path[4024];
  if (!VornMain::buildNameInUserDataPath("Default.bnk", path, sizeof(path))) return false;
  std::vector<std::uint8_t> block(kBlockBytes);
  snapshotBlock(block.data());
  return BankFile::writeAtomically(path, block.data(), block.size());
}

namespace {
// Stored defaults are kept as 10000 times the value, plus 1 so that 0 means
// "not stored".
constexpr double kStoredScale = 10000.0;

// The value behind a stored number. Thirds (the play and drone modes) are
// held to four decimals only: 2/3 as 6667 (cut, older files) or 6668
// (rounded). Within that much a mode value is the third it was.
float storedValue(int index, int stored) {
  const double v = (static_cast<double>(stored) - 1.0) / kStoredScale;
  if (index == 3 || index == 16) {
    const double thirds = std::round(3.0 * v);
    if (std::fabs(3.0 * v - thirds) <= 3.0 / kStoredScale)
      return static_cast<float>(thirds) / 3.0f;
  }
  return static_cast<float>(v);
}
}  // namespace

void VstSynth::readRegisteryDefaults() {
  // One read of the preference file for all 114 look-ups.
  Preferences prefs(Preferences::defaultFilePath());
  prefs.load();
  for (int i = 0; i < kNumParams; ++i) {
    char name[sizeof(VstParams::name)];
    copyField(name, params_.params[i].name, sizeof(name), sizeof(name) - 1);
    if (params_.params[i].storedDefault) {
      int s = prefs.getInt(name).value_or(0);
      if (s != 0) setParameter(i, storedValue(i, s));
    }
    int s = prefs.getInt(std::string("MidiCC-") + name).value_or(0);
    if (s != 0 && s - 1 >= 0 && s - 1 <= 127) storeCC(params_.params[i].midiCC, s - 1);
  }
}

bool VstSynth::saveControllerPresets() {
  Preferences prefs(Preferences::defaultFilePath());
  prefs.load();
  for (int i = 0; i < kNumParams; ++i) {
    char name[sizeof(VstParams::name)];
    copyField(name, params_.params[i].name, sizeof(name), sizeof(name) - 1);
    if (params_.params[i].storedDefault) {
      // Rounded, not cut: whole numbers and thirds come back as they were.
      double scaled = std::round(kStoredScale * DmVal(i));
      if (!std::isfinite(scaled)) scaled = 0.0;
      if (scaled > 2.0e9) scaled = 2.0e9;
      if (scaled < -2.0e9) scaled = -2.0e9;
      prefs.setInt(name, static_cast<int>(scaled) + 1);
    }
    prefs.setInt(std::string("MidiCC-") + name, getMidiCC(i) + 1);
  }
  return prefs.save();
}

void VstSynth::loadNewScale(long k) {
  if (AudioThreadScope::isCallingThread(audioThread_)) {
    // The names are guarded by a lock the audio thread never takes: the
    // worker stores the name and loads the table.
    pendingScale_.store(k, std::memory_order_release);
    worker_->requestScale();
    return;
  }
  storeScaleName(k);
  applyScale();
}

// Control thread or worker.
void VstSynth::storeScaleName(long k) {
  const char* name = tuning_->getTableName(k);
  VstProgram& program = params_.programs[currentProgram()];
  std::lock_guard<std::mutex> lock(namesMutex_);
  std::memset(program.scaleName, 0, sizeof(program.scaleName));
  copyField(program.scaleName, name, sizeof(program.scaleName), sizeof(program.scaleName) - 1);
}

long VstSynth::CurrentScale() const {
  // The names' lock is never taken on the audio thread (an editor asks from
  // there after a MIDI program change): unknown there, and the worker tells
  // the editor once it has loaded the program's scale.
  if (AudioThreadScope::isCallingThread(audioThread_)) return -1;
  char current[sizeof(VstProgram::scaleName)];
  {
    // The worker may be storing a name meanwhile.
    std::lock_guard<std::mutex> lock(namesMutex_);
    std::memcpy(current, params_.programs[currentProgram()].scaleName, sizeof(current));
  }
  for (long k = 0; k < tuning_->getSize(); ++k)
    if (std::strncmp(tuning_->getTableName(k), current, sizeof(VstProgram::scaleName)) == 0)
      return k;
  return 0;
}

void VstSynth::updatePresets() {
  if (!synthEditor_) return;
  for (int i = 0; i < kNumPrograms; ++i) {
    char name[sizeof(VstProgram::name)];
    copyField(name, params_.programs[i].name, sizeof(name), sizeof(name) - 1);
    char text[40];
    std::snprintf(text, sizeof(text), "%03d %s", i + 1, name);
    synthEditor_->setPresetEntry(i, text);
  }
  synthEditor_->setPreset();
}

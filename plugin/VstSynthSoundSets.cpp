// VstSynth: the sound-set list, loading sets off the audio thread, and the
// hand-over of voices from the old set to the new one.
//
// Threads: loads on control threads or the worker, under loadMutex_; the
// hand-over (adoptPendingSounds and below) on the audio thread at block
// boundaries.
#include "plugin/VstSynth.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "plugin/AudioThreadScope.h"
#include "plugin/SynthUtil.h"
#include "support/MessageBox.h"
#include "support/VornMain.h"

using namespace vst;
using namespace synth_util;

// Sound sets -----------------------------------------------------------------

void VstSynth::buildSoundSetList() { soundSets_.build(VornMain::soundDataPath()); }

void VstSynth::loadNewVORNsnd(long code) {
  if (AudioThreadScope::isCallingThread(audioThread_)) {
    // No file I/O here: the worker loads it and the next blocks adopt it.
    if (code != currentSoundSet_.load(std::memory_order_acquire))
      worker_->requestSoundSet(static_cast<int>(code));
    return;
  }
  // Inside a host's or the editor's call: a missing file is said over this
  // instance's window at the editor's next idle, not in the middle of it.
  MessageBoxOwner messages(this, true);
  std::lock_guard<std::mutex> lock(loadMutex_);
  loadSoundSet(code);
}

void VstSynth::loadNewVORNsndpath(int kind, const char* path) {
  if (kind < 1 || kind > 3 || !path) return;
  MessageBoxOwner messages(this, true);
  std::lock_guard<std::mutex> lock(loadMutex_);
  // A fresh copy of the current set with one sound replaced; its loads raise
  // its own flag, which the instance takes over with the set.
  auto fresh = std::make_unique<SoundSetSounds>();
  long code = currentSoundSet_.load();
  int row = soundSets_.find(code);
  const char* kinds[3] = {"MainS", "Symp", "Drone"};
  VORNsnd* targets[3] = {&fresh->main, &fresh->symp, &fresh->drone};
  for (int k = 0; k < 3; ++k) {
    if (k == kind - 1) {
      targets[k]->loadVORNsnd(path);
    } else if (row >= 0) {
      std::string other = std::string(VornMain::soundDataPath()) +
                          soundSets_.entries()[row].name + "/" + kinds[k] + ".VORNsnd";
      targets[k]->loadVORNsnd(other.c_str());
    }
  }
  delete pendingSounds_.exchange(fresh.release(), std::memory_order_acq_rel);
}

// Control thread or worker, under loadMutex_.
void VstSynth::loadSoundSet(long code) {
  retireSounds();
  if (code == currentSoundSet_.load(std::memory_order_acquire)) return;
  int row = soundSets_.find(code);
  if (row < 0) return;
  // The set that plays keeps its flag until this one takes over.
  auto fresh = std::make_unique<SoundSetSounds>();
  const char* folder = soundSets_.entries()[row].name;
  char path[VornMain::kPathSize + 300];
  std::snprintf(path, sizeof(path), "%s%s/%s.VORNsnd", VornMain::soundDataPath(), folder, "MainS");
  fresh->main.loadVORNsnd(path);
  std::snprintf(path, sizeof(path), "%s%s/%s.VORNsnd", VornMain::soundDataPath(), folder, "Symp");
  fresh->symp.loadVORNsnd(path);
  std::snprintf(path, sizeof(path), "%s%s/%s.VORNsnd", VornMain::soundDataPath(), folder, "Drone");
  fresh->drone.loadVORNsnd(path);
  currentSoundSet_.store(code, std::memory_order_release);
  currentSoundSetRow_.store(row, std::memory_order_release);
  // A set that was never adopted is simply replaced.
  delete pendingSounds_.exchange(fresh.release(), std::memory_order_acq_rel);
  if (synthEditor_) synthEditor_->updateSoundSet(row);
}

void VstSynth::retireSounds() { delete retiredSounds_.exchange(nullptr, std::memory_order_acq_rel); }

void VstSynth::runWorkerJob(int soundSet, bool scale) {
  MessageBoxOwner messages(this, true);
  if (soundSet != EngineWorker::kNone) {
    // Asked for by the audio thread for the current program's set; a control
    // thread may have switched programs and loaded another set since. What
    // the program names now wins over what it named then.
    std::lock_guard<std::mutex> lock(loadMutex_);
    loadSoundSet(trunc32(DmVal(24)));
  }
  if (scale) {
    long k = pendingScale_.exchange(-1, std::memory_order_acq_rel);
    if (k >= 0) storeScaleName(k);
    applyScale();
    if (synthEditor_) synthEditor_->updateScale();
  }
  if (retiredSounds_.load(std::memory_order_acquire)) {
    std::lock_guard<std::mutex> lock(loadMutex_);
    retireSounds();
  }
}

// Audio thread, at a block boundary: play from a freshly loaded set. Voices
// that sound fade out on the old set, which stays alive until they have;
// every other voice, and every voice struck from now on, plays the new set.
void VstSynth::adoptPendingSounds() {
  finishVoiceSwitches();
  if (!pendingSounds_.load(std::memory_order_acquire)) return;
  // The old set goes back to be freed off this thread; with the slot still
  // taken, or an earlier set still fading, adopt a few milliseconds later.
  if (retiredSounds_.load(std::memory_order_acquire) || fadingSounds_) return;
  SoundSetSounds* fresh = pendingSounds_.exchange(nullptr, std::memory_order_acq_rel);
  if (!fresh) return;
  // Voices of a silenced set are not heard: nothing to fade.
  const bool wasSilent = soundStatus_.noWave();
  // The set's silence flag first: the oscillators restart under it.
  soundStatus_.takeOver(fresh->status);
  SoundSetSounds* old = activeSounds_.release();
  activeSounds_.reset(fresh);
  bool fading = false;
  for (int k = 0; k < kVoices; ++k) {
    ADSR& env = voiceEnvelope(k);
    // A sleeping renderer ticks no envelope, and without a wave the drone's
    // envelope stands still: nothing to hear, nothing to wait for.
    const bool still = idle || wasSilent || (k == 1 && soundStatus_.noWave());
    if (env.getState() == ADSR::kIdle || still) {
      if (still) env.Reset();
      voiceWave(k).setSound(voiceSound(k));
      switchPending_[k] = false;
    } else {
      env.fadeOut();
      switchPending_[k] = true;
      fading = true;
    }
  }
  pitchEnv->Reset();
  mainNotes->reset();
  sympNotes->reset();
  droneNotes->reset();
  if (fading)
    fadingSounds_ = old;
  else
    retiredSounds_.store(old, std::memory_order_release);
}

// Voices whose fade has ended move to the new set; once none reads the old
// one, it is handed back to be freed.
void VstSynth::finishVoiceSwitches() {
  if (!fadingSounds_) return;
  bool reading = false;
  for (int k = 0; k < kVoices; ++k) {
    if (!switchPending_[k]) continue;
    if (voiceEnvelope(k).getState() == ADSR::kIdle || idle) {
      voiceWave(k).setSound(voiceSound(k));
      switchPending_[k] = false;
    } else {
      reading = true;
    }
  }
  if (reading || retiredSounds_.load(std::memory_order_acquire)) return;
  retiredSounds_.store(fadingSounds_, std::memory_order_release);
  fadingSounds_ = nullptr;
}

// A voice struck while it still fades out on the old set takes the new one.
void VstSynth::takeNewSound(int k) {
  if (!switchPending_[k]) return;
  voiceWave(k).setSound(voiceSound(k));
  switchPending_[k] = false;
}

ADSR& VstSynth::voiceEnvelope(int k) {
  return k == 0 ? *mainEnv : (k == 1 ? *droneEnv : *sympEnvs[k - 2]);
}
Wavetable& VstSynth::voiceWave(int k) {
  return k == 0 ? *mainWave : (k == 1 ? *droneWave : *sympWaves[k - 2]);
}
VORNsnd* VstSynth::voiceSound(int k) {
  return k == 0 ? &activeSounds_->main : (k == 1 ? &activeSounds_->drone : &activeSounds_->symp);
}

void VstSynth::silenceVoices() {
  mainEnv->keyOff();
  droneEnv->Reset();
  pitchEnv->Reset();
  for (auto& env : sympEnvs) env->keyOff();
  mainNotes->reset();
  sympNotes->reset();
  droneNotes->reset();
}

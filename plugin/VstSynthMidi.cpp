// VstSynth: MIDI intake (notes, controllers, MIDI learn, pitch bend) and
// voice start with its random deviations and tone band.
//
// Threads: the audio thread only; processEvents queues, EventsTick plays at
// the event's sample.
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
#include "support/VornMain.h"

using namespace vst;
using namespace synth_util;

// MIDI -----------------------------------------------------------------------

VstInt32 VstSynth::processEvents(VstEvents* list) {
  if (inInit) return 1;
  AudioThreadScope audio(audioThread_);
  events.take(list);
  return 1;
}

void VstSynth::EventsTick(int sampleCounter) {
  while (const MidiEventQueue::Event* e = events.nextDue(sampleCounter)) {
    eventHandled_ = true;
    EventsTickSynth(*e);
  }
}

void VstSynth::EventsTickSynth(const MidiEventQueue::Event& e) {
  int status = e.status & 0xF0;
  int data1 = e.data1 & 0x7F;
  int data2 = e.data2 & 0x7F;
  idle = false;
  switch (status) {
    case 0x80:
      noteOff(data1, data2);
      break;
    case 0x90:
      if (data2 == 0)
        noteOff(data1, data2);
      else
        setNote(data1, data2, true);
      break;
    case 0xA0:
      aftertouch(data2 / 127.0f);
      break;
    case 0xB0:
      learnController(data1, data2);
      break;
    case 0xC0:
      setProgram(data1);
      break;
    case 0xD0:
      aftertouch(data1 / 127.0f);
      break;
    case 0xE0:
      pitchBend(data1, data2);
      break;
    default:
      break;
  }
  if (DmVal(31) < 0.5f) aftertouchDepth = 0.0f;
}

void VstSynth::noteOff(int note, int velocity) {
  if (mainNotes->CheckNoteStillOn(note)) setNote(note, velocity, false);
  float droneType = DmVal(16);
  if (trunc32(3.0f * droneType + 0.5f) >= 2 && note < trunc32(DmVal(17)) + 24) droneEnv->keyOff();
}

void VstSynth::aftertouch(float pressure) {
  aftertouchDepth = (pressure > 0.0f && DmVal(31) > 0.5f) ? pressure * 0.5f : 0.0f;
}

void VstSynth::pitchBend(int data1, int data2) {
  // Both data bytes, centred on 8192, so a centred wheel bends by exactly 0.
  int value = (data2 << 7) | data1;
  float bend = static_cast<float>(value - 8192) / 8192.0f;
  int range = trunc32(DmVal(28) * 12.0f);
  mainWave->setPitchBend(bend, range + 1);
  mainWave->setRate();
}

void VstSynth::learnController(int controller, int data2) {
  int target = learnTarget.exchange(-1);
  if (target >= 0 && target < kNumParams) {
    storeCC(params_.params[target].midiCC, controller);
    if (synthEditor_) synthEditor_->readMidiCC();
  }
  if (controller != 0) {
    for (int i = 0; i < kNumParams; ++i) {
      if (loadCC(params_.params[i].midiCC) != controller) continue;
      float value = (i == 3 || i == 16) ? static_cast<float>(trunc32(2.0f * data2 / 127.0f)) / 3.0f
                                        : data2 / 127.0f;
      setParameter(i, value);
    }
  }
  if (controller == 123) allNotesOff();
}

void VstSynth::allNotesOff() {
  droneEnv->keyOff();
  silenceVoices();
  // The renderer sleeps until the next message; whatever that message is,
  // nothing stopped here may ring on: released voices and effect tails end.
  mainEnv->Reset();
  for (auto& env : sympEnvs) env->Reset();
  flanger->clear();
  reverb->mute();
  idle = true;
}

// Voice start ----------------------------------------------------------------

namespace {
// Random spread of a deviation menu: 3 low, 4 medium, 5 high, anything else none.
float menuAmount(float menuValue, float low, float medium, float high) {
  if (menuValue == 3.0f) return low;
  if (menuValue == 4.0f) return medium;
  if (menuValue == 5.0f) return high;
  return 0.0f;
}
}  // namespace

float VstSynth::Deviation() {
  return random_.unit() * menuAmount(DmVal(25), 0.005f, 0.012f, 0.032f);
}

void VstSynth::ToneDeviation() {
  setToneFilters(1.0f + random_.unit() * menuAmount(DmVal(26), 0.18f, 0.32f, 0.62f));
}

// The four stages of the tone band around ToneFreq, spread by ToneBand; k
// shifts the whole band (1 for the plain setting).
void VstSynth::setToneFilters(float k) {
  float f = DmVal(8), b = DmVal(9);
  toneFilterA->setFreq(0.894f * b + (1.0f - f) * k);
  toneFilterB->setFreq(0.4f * b + (1.0f - f) * k);
  toneFilterC->setFreq(-0.4f * b + (1.0f - f) * k);
  toneFilterD->setFreq(-0.894f * b + (1.0f - f) * k);
}

void VstSynth::setNote(int note, int velocity, bool on) {
  int t = modeOf(DmVal(16));
  int m = modeOf(DmVal(3));
  if (t > 2) t = 2;
  if (m > 2) m = 2;
  int split = trunc32(DmVal(17)) + 24;

  idle = false;
  reverb->setNotIdle();
  flanger->setNotIdle();
  if (t == 1) {
    takeNewSound(1);
    droneEnv->keyOn(127, 60);
  }
  bool playsMain = t != 2 || note >= split;
  bool playsDrone = t != 2 || note < split;

  if (on) {
    if (playsMain && mainNotes->noNotes()) {
      mainWave->resetGlider();
      if (mainEnv->getState() == ADSR::kIdle) mainEnv->setFirstAttack(10000);
    }
    if (playsDrone && droneEnv->getState() == ADSR::kIdle) droneEnv->setFirstAttack(10000);
    bool mainIdle = mainEnv->getState() == ADSR::kIdle;
    bool droneIdle = droneEnv->getState() == ADSR::kIdle;
    if (DmVal(7) > 0.0f && DmVal(26) > 0.0f) ToneDeviation();
    if (mainNotes->noNotes()) alternateCounter = -1;
    int mainSlot = -1;
    if (playsMain) mainSlot = mainNotes->NoteOn(note, velocity, mainEnvPtr);
    int sympSlot = sympNotes->NoteOn(note, velocity, sympEnvPtrs);
    if (playsDrone) droneNotes->NoteOn(note, velocity, droneEnvPtr);
    if (playsMain) {
      mainWave->setFine4(Deviation());
      mainWave->setFine3(tuning_->Tick(note));
    }
    if (m == 1) {
      alternateCounter += 1;
      if (alternateCounter > 1) {
        alternateCounter = 0;
        mainSlot = 0;
      }
      if (alternateCounter == 0) mainSlot = 0;
    }
    if (playsMain) {
      if (m == 2 || mainSlot != -1) {
        mainEnv->keyOn(velocity, note);
        pitchEnv->keyOn(velocity, 60);
        pitchModCounter = 0;
        takeNewSound(0);
        mainWave->setNote(note, velocity, true, mainIdle);
      } else {
        mainWave->setNote(note, velocity, false, mainIdle);
      }
      if (sympSlot >= 0 && sympSlot < kSympSlots) {
        takeNewSound(2 + sympSlot);
        Wavetable& wave = *sympWaves[sympSlot];
        wave.setFine4(Deviation());
        wave.setFine3(tuning_->Tick(note));
        bool sympIdle = sympEnvs[sympSlot]->getState() == ADSR::kIdle;
        wave.setNote((note % 12) + 36, velocity, true, sympIdle);
        sympEnvs[sympSlot]->keyOn(velocity, 60);
      }
    }
    if (t != 1 || droneEnv->getState() == ADSR::kIdle) takeNewSound(1);
    if (t == 0) {
      droneEnv->keyOn(velocity, 60);
      droneWave->setFine4(Deviation());
      droneWave->setFine3(tuning_->Tick(36));
      droneWave->setNote(36, velocity, true, droneIdle);
    } else if (t == 1) {
      droneWave->setNote(36, velocity, false, droneIdle);
    } else if (note < split) {
      droneEnv->keyOn(velocity, 60);
      droneWave->setFine4(Deviation());
      droneWave->setFine3(tuning_->Tick(note));
      droneWave->setNote(note - 12, velocity, true, droneIdle);
    }
    float r = DmVal(6);
    droneEnv->setReleaseTime(r * r + 0.06f);
    return;
  }

  int mainResult = playsMain ? mainNotes->NoteOff(note) : -1;
  int sympResult = sympNotes->NoteOff(note);
  int droneResult = playsDrone ? droneNotes->NoteOff(note) : -1;
  if (mainResult == 0) mainEnv->keyOff();
  if (sympResult >= 0 && sympResult < kSympSlots) sympEnvs[sympResult]->keyOff();
  if (droneResult == 0 && t != 1) droneEnv->keyOff();
  if (!playsMain) return;
  if (mainResult == 0) pitchEnv->keyOff();
  mainWave->setFine4(Deviation());
  mainWave->setFine3(tuning_->Tick(mainNotes->LastNote()));
  bool restart = m == 2 && mainWave->getLastNote() != mainNotes->LastNote();
  mainWave->setNote(mainNotes->LastNote(), mainNotes->LastVelocity(), restart, false);
}

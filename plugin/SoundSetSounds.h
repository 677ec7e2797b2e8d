// The three sounds of one sound set, loaded together off the audio thread and
// handed to it as one object.
#pragma once

#include "sound/VORNsnd.h"

class SoundSetSounds {
 public:
  // Loads into these sounds raise the set's own silence flag.
  SoundSetSounds() : main(&status), symp(&status), drone(&status) {}
  // Loads raise `shared` instead.
  explicit SoundSetSounds(SoundStatus* shared) : main(shared), symp(shared), drone(shared) {}
  SoundStatus status;  // before the sounds, which point at it
  VORNsnd main;
  VORNsnd symp;
  VORNsnd drone;
};

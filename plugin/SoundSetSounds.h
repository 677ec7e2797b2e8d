// The three sounds of one sound set, loaded together off the audio thread and
// handed to it as one object.
#pragma once

#include "sound/VORNsnd.h"

class SoundSetSounds {
 public:
  explicit SoundSetSounds(SoundStatus* status) : main(status), symp(status), drone(status) {}
  VORNsnd main;
  VORNsnd symp;
  VORNsnd drone;
};

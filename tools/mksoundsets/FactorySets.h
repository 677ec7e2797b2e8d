// The factory sound sets: for each, the tone of the main string (a soft and a
// loud layer), the sympathetic strings and the drone, and how the waves are
// laid over keys and velocities.
//
// Threads: offline tool only.
#pragma once

#include <string>
#include <vector>

#include "StringModel.h"
#include "sound/VORNsndWriter.h"

struct SetDesign {
  std::string folder;  // "NN-Name"
  StringTone mainSoft, mainLoud;
  StringTone symp;
  StringTone drone;
};

class FactorySets {
 public:
  // Main string: a root every kMainStep semitones from kMainLow to kMainHigh.
  static constexpr int kMainLow = 36, kMainHigh = 124, kMainStep = 4;
  static constexpr int kSoftTop = 84;  // velocities 0..84 soft, 85..127 loud
  // Sympathetic strings sound in 36..47: a root every two semitones.
  static constexpr int kSympLow = 36, kSympHigh = 47;
  // The drone: moved by up to kDroneRaise semitones; below a split it plays
  // keys up to kDroneTop (the highest split, an octave down), with a root
  // every kDroneStep semitones from 43.
  static constexpr int kDroneRaise = 6, kDroneTop = 94, kDroneStep = 6;

  static std::vector<SetDesign> designs();
  // Waves of one kind for a set: "MainS", "Symp" or "Drone".
  static std::vector<VORNsndWriter::Wave> waves(const SetDesign& set, const std::string& kind);
};

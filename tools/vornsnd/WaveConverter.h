// Turns one audio file that libsndfile reads (any rate, any channel count)
// into one wave of a sound file: mono, at the instrument's rate, with a pitch
// shift baked in and its loop moved onto whole output samples.
#pragma once

#include <cstdint>
#include <string>

#include "sound/VORNsndWriter.h"

class WaveConverter {
 public:
  static constexpr int kRate = 44100;  // the rate a wave plays at its root key

  struct Request {
    std::string audio;
    int channel = 0;      // 1-based; 0 mixes every channel down
    int64_t offset = 0;   // first frame used
    int64_t end = -1;     // last frame used; negative: the file's last
    bool looped = false;
    // Inclusive frames of the file; negative: the file's own loop, else its
    // first or last frame.
    int64_t loopFirst = -1, loopLast = -1;
    double cents = 0.0;   // raises the pitch by this much
  };

  struct FileFacts {
    int rootKey = -1;  // stored in the file; -1 when there is none
    bool hasLoop = false;
  };

  // Fills wave's samples and loop (keys, velocities and root are the
  // caller's); returns "" or a message naming the file.
  static std::string convert(const Request& request, VORNsndWriter::Wave& wave);
  // What the file says about itself, without reading its samples; "" or a message.
  static std::string inspect(const std::string& audio, FileFacts& facts);
};

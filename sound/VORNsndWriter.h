// Writes sound files in the layout VORNsnd reads. Used by the vornsnd tool
// and by tests that need real files.
//
// Threads: control thread or offline tools only (file I/O).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class VORNsndWriter {
 public:
  struct Wave {
    std::vector<float> samples;
    int32_t lowVelocity = 0;
    int32_t highVelocity = 127;
    int32_t lowKey = 0;
    int32_t highKey = 127;
    int32_t loopStart = -1;  // negative: no loop
    int32_t loopEnd = 0;     // 0: no loop
    int32_t rootKey = 60;
  };

  // header: free text stored in the 200-byte header (cut to 199 bytes).
  // picture: null, or 20 x 129 RGB triplets in display order (row 0 first,
  // column 0 first); it is stored right to left as the format wants.
  // Returns false with a message in *error when the waves cannot be stored
  // or the file cannot be written; then any file already at path stays as it
  // was and nothing else is left behind.
  static bool write(const std::string& path, const std::string& header,
                    const std::vector<Wave>& waves, const unsigned char* picture,
                    std::string* error);

  // The checks the reader applies to a wave, as a message ("" when fine).
  static std::string checkWave(const Wave& wave);
};

// A stereo WAV file written through libsndfile, block by block. Samples go
// in as floats; integer formats are clipped, not wrapped, at full scale.
#pragma once

#include <cstddef>
#include <string>

#include "tools/vellamor-render/RenderOptions.h"

struct sf_private_tag;

class WavWriter {
 public:
  WavWriter() = default;
  ~WavWriter();
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;

  bool open(const std::string& path, int sampleRate, int channels,
            RenderOptions::SampleFormat format, std::string& error);
  // Interleaved frames.
  bool write(const float* samples, std::size_t frames, std::string& error);
  // Finishes the header; false if the file could not be completed.
  bool close(std::string& error);
  // Closes and deletes a file that was not finished.
  void discard();

 private:
  sf_private_tag* file_ = nullptr;
  std::string path_;
};

// A stereo WAV file written through libsndfile, block by block. Samples go
// in as floats; integer formats are clipped, not wrapped, at full scale. It
// counts the samples at or beyond full scale, so that clipping is not silent.
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

  // Samples written at or beyond full scale (|x| >= 1): clipped in the
  // integer formats, kept as they are in float. And the largest |x|.
  long long overFullScale() const { return overFullScale_; }
  float peak() const { return peak_; }
  bool clips() const { return format_ != RenderOptions::SampleFormat::float32; }

 private:
  sf_private_tag* file_ = nullptr;
  std::string path_;
  RenderOptions::SampleFormat format_ = RenderOptions::SampleFormat::pcm24;
  int channels_ = 0;
  long long overFullScale_ = 0;
  float peak_ = 0.0f;
};

#include "tools/vellamor-render/WavWriter.h"

#include <sndfile.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>

namespace {

// Only a regular file is ours to delete; an output like /dev/null is not.
void removeIfRegular(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) std::remove(path.c_str());
}

}  // namespace

WavWriter::~WavWriter() { discard(); }

bool WavWriter::open(const std::string& path, int sampleRate, int channels,
                     RenderOptions::SampleFormat format, std::string& error) {
  discard();
  SF_INFO info{};
  info.samplerate = sampleRate;
  info.channels = channels;
  info.format = SF_FORMAT_WAV;
  switch (format) {
    case RenderOptions::SampleFormat::pcm16:
      info.format |= SF_FORMAT_PCM_16;
      break;
    case RenderOptions::SampleFormat::pcm24:
      info.format |= SF_FORMAT_PCM_24;
      break;
    case RenderOptions::SampleFormat::float32:
      info.format |= SF_FORMAT_FLOAT;
      break;
  }
  file_ = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file_) {
    error = "cannot write " + path + ": " + sf_strerror(nullptr);
    return false;
  }
  path_ = path;
  format_ = format;
  channels_ = channels;
  overFullScale_ = 0;
  peak_ = 0.0f;
  sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  return true;
}

bool WavWriter::write(const float* samples, std::size_t frames, std::string& error) {
  if (!file_) {
    error = "no output file is open";
    return false;
  }
  for (std::size_t i = 0; i < frames * static_cast<std::size_t>(channels_); ++i) {
    const float magnitude = std::fabs(samples[i]);
    if (magnitude >= 1.0f) ++overFullScale_;
    if (magnitude > peak_) peak_ = magnitude;
  }
  sf_count_t wanted = static_cast<sf_count_t>(frames);
  if (sf_writef_float(file_, samples, wanted) != wanted) {
    error = "cannot write " + path_ + ": " + sf_strerror(file_);
    return false;
  }
  return true;
}

bool WavWriter::close(std::string& error) {
  if (!file_) return true;
  sf_write_sync(file_);
  int result = sf_close(file_);
  file_ = nullptr;
  if (result != 0) {
    error = "cannot finish " + path_ + ": " + sf_error_number(result);
    removeIfRegular(path_);
    return false;
  }
  return true;
}

void WavWriter::discard() {
  if (!file_) return;
  sf_close(file_);
  file_ = nullptr;
  removeIfRegular(path_);
}

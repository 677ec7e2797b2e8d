#include "WaveConverter.h"

#include <sndfile.h>
#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace {

// Frames read past a loop's end so the resampler's filter sees real signal
// there, not the edge of the data.
constexpr int64_t kResampleContext = 256;
constexpr int64_t kMaxSamplesRead = int64_t(1) << 28;
constexpr int64_t kMaxFade = 256;

using SndFile = std::unique_ptr<SNDFILE, int (*)(SNDFILE*)>;

SndFile open(const std::string& path, SF_INFO& info, std::string& problem) {
  info = SF_INFO{};
  SndFile file(sf_open(path.c_str(), SFM_READ, &info), sf_close);
  if (!file)
    problem = path + ": cannot read audio (" + sf_strerror(nullptr) + ")";
  else if (info.frames < 1 || info.channels < 1 || info.samplerate < 1)
    problem = path + ": holds no samples";
  return file;
}

// The file's first sustain loop as inclusive frames.
bool fileLoop(SNDFILE* file, int64_t& first, int64_t& last, int* rootKey) {
  SF_INSTRUMENT instrument{};
  if (sf_command(file, SFC_GET_INSTRUMENT, &instrument, sizeof instrument) != SF_TRUE) return false;
  const int note = instrument.basenote;  // a plain char: 0..127 when it is a note
  if (rootKey && note >= 0) *rootKey = note;
  if (instrument.loop_count < 1 || instrument.loops[0].end <= instrument.loops[0].start)
    return false;
  first = instrument.loops[0].start;
  last = static_cast<int64_t>(instrument.loops[0].end) - 1;  // libsndfile gives one past the end
  return true;
}

}  // namespace

std::string WaveConverter::inspect(const std::string& audio, FileFacts& facts) {
  SF_INFO info;
  std::string problem;
  SndFile file = open(audio, info, problem);
  if (!problem.empty()) return problem;
  int64_t first = 0, last = 0;
  facts = FileFacts{};
  facts.hasLoop = fileLoop(file.get(), first, last, &facts.rootKey);
  return "";
}

std::string WaveConverter::convert(const Request& q, VORNsndWriter::Wave& wave) {
  SF_INFO info;
  std::string problem;
  SndFile file = open(q.audio, info, problem);
  if (!problem.empty()) return problem;
  const std::string& name = q.audio;
  const int64_t frames = info.frames;
  if (q.channel > info.channels)
    return name + ": has " + std::to_string(info.channels) + " channel(s), channel " +
           std::to_string(q.channel) + " was asked for";
  if (frames > kMaxSamplesRead / info.channels) return name + ": too long for one wave";

  const int64_t first = q.offset;
  if (first >= frames)
    return name + ": offset " + std::to_string(first) + " lies beyond its " +
           std::to_string(frames) + " frames";
  const int64_t last = q.end >= 0 ? std::min(q.end, frames - 1) : frames - 1;
  if (last < first) return name + ": its end lies before its offset";

  int64_t loopFirst = q.loopFirst, loopLast = q.loopLast, readLast = last;
  if (q.looped) {
    int64_t storedFirst = 0, storedLast = 0;
    const bool stored = fileLoop(file.get(), storedFirst, storedLast, nullptr);
    if (loopFirst < 0) loopFirst = stored ? storedFirst : first;
    if (loopLast < 0) loopLast = stored ? storedLast : frames - 1;
    if (loopFirst < first)
      return name + ": loop starts at frame " + std::to_string(loopFirst) +
             ", before the first frame used (" + std::to_string(first) + ")";
    if (loopLast >= frames)
      return name + ": loop ends at frame " + std::to_string(loopLast) + ", beyond its " +
             std::to_string(frames) + " frames";
    if (loopLast <= loopFirst) return name + ": loop must end after it starts";
    readLast = std::min(frames - 1, std::max(last, loopLast + kResampleContext));
  }

  // Frames first..readLast, mixed down or one channel taken.
  const int64_t count = readLast - first + 1;
  std::vector<float> mono(static_cast<size_t>(count));
  if (sf_seek(file.get(), first, SEEK_SET) < 0) return name + ": cannot seek to the offset";
  const int channels = info.channels;
  std::vector<float> block(static_cast<size_t>(4096 * channels));
  for (int64_t done = 0; done < count;) {
    const sf_count_t want = std::min<int64_t>(4096, count - done);
    const sf_count_t got = sf_readf_float(file.get(), block.data(), want);
    if (got != want) return name + ": read error (" + sf_strerror(file.get()) + ")";
    for (sf_count_t f = 0; f < got; ++f) {
      const float* frame = block.data() + f * channels;
      float v = 0.0f;
      if (q.channel > 0) {
        v = frame[q.channel - 1];
      } else {
        for (int c = 0; c < channels; ++c) v += frame[c];
        v /= static_cast<float>(channels);
      }
      if (!std::isfinite(v)) return name + ": holds a sample that is not a finite number";
      mono[static_cast<size_t>(done + f)] = v;
    }
    done += got;
  }

  // A pitch raised by the shift is the same recording read at a higher rate.
  const double inRate = info.samplerate * std::exp2(q.cents / 1200.0);
  const bool unchanged = info.samplerate == kRate && q.cents == 0.0;
  const double ratio = kRate / inRate;
  std::vector<float>& out = wave.samples;
  if (unchanged) {
    out = std::move(mono);
  } else {
    const double expected = std::round(static_cast<double>(count) * ratio);
    if (expected < 1.0) return name + ": too short to convert";
    if (expected > static_cast<double>(kMaxSamplesRead)) return name + ": too long for one wave";
    out.assign(static_cast<size_t>(expected), 0.0f);
    size_t made = 0;
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, 0);
    soxr_error_t failed = soxr_oneshot(inRate, kRate, 1, mono.data(), mono.size(), nullptr,
                                       out.data(), out.size(), &made, nullptr, &quality, nullptr);
    if (failed) return name + ": cannot resample (" + failed + ")";
    out.resize(made);
  }

  wave.loopStart = -1;
  wave.loopEnd = 0;
  if (q.looped) {
    // The loop's length in output samples is rarely whole. The loop keeps the
    // exact resampling ratio (so the pitch stays exact) and is rounded to
    // whole samples; the seam is then off by at most half a sample, which
    // would click on every pass, so the last samples of the loop are
    // crossfaded into the ones that lead up to its start: the wave arrives
    // at the loop end on the very samples that precede the loop start.
    const int64_t a = loopFirst - first, length = loopLast - loopFirst + 1;
    const double exact = unchanged ? static_cast<double>(length) : static_cast<double>(length) * ratio;
    const int64_t start = unchanged ? a : std::llround(static_cast<double>(a) * ratio);
    const int64_t n = std::llround(exact);
    if (n < 2) return name + ": loop shorter than 2 samples after conversion";
    const int64_t end = start + n;  // the sample after the loop's last
    const bool extend = static_cast<int64_t>(out.size()) <= end;
    // Nothing behind the loop is ever played.
    if (!unchanged || extend) out.resize(static_cast<size_t>(end + 1));
    if (std::fabs(exact - static_cast<double>(n)) > 1e-9) {
      const int64_t fade = std::min({start, n / 2, kMaxFade});
      for (int64_t j = 0; j < fade; ++j) {
        const double w = 0.5 - 0.5 * std::cos(M_PI * static_cast<double>(j + 1) / fade);
        float& s = out[static_cast<size_t>(end - fade + j)];
        s = static_cast<float>((1.0 - w) * s + w * out[static_cast<size_t>(start - fade + j)]);
      }
    }
    // Read by the interpolation between the loop's last sample and its first.
    if (!unchanged || extend) out[static_cast<size_t>(end)] = out[static_cast<size_t>(start)];
    wave.loopStart = static_cast<int32_t>(start + 1);
    wave.loopEnd = static_cast<int32_t>(end);
  }
  problem = VORNsndWriter::checkWave(wave);
  return problem.empty() ? "" : name + ": " + problem;
}

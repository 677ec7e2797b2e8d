// Instruments and recordings made here (SFZ text, audio written with
// libsndfile at several rates, channel counts and sample formats) go through
// the vornsnd tool and are played by the plug-in. Expected pitches follow
// from the tones written and the SFZ tune and transpose; loop seams are
// judged on the wave data as the instrument loads it.
#if defined(VORNSND_TOOL_PATH)

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "sound/VORNsnd.h"
#include "tests/plugin/SoundSetFixture.h"
#include "testsupport/MessageLog.h"
#include "testsupport/TestFiles.h"

namespace fs = std::filesystem;
using namespace testfiles;

namespace {

double cents(double measured, double expected) { return 1200.0 * std::log2(measured / expected); }

// Sines of `period` frames (the right channel of `rightPeriod` when given),
// with a loop of whole cycles stored in the file when `fileLoop` is set.
void writeTone(const fs::path& path, int rate, int channels, int format, int period, int frames,
               bool fileLoop = false, int rightPeriod = 0) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = SF_FORMAT_WAV | format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
  if (fileLoop) {
    SF_INSTRUMENT instrument{};
    instrument.loop_count = 1;
    instrument.loops[0].mode = SF_LOOP_FORWARD;
    instrument.loops[0].start = 10 * period;
    instrument.loops[0].end = 40 * period;  // one past the last frame
    sf_command(file, SFC_SET_INSTRUMENT, &instrument, sizeof instrument);
  }
  std::vector<float> samples;
  for (int i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c)
      samples.push_back(static_cast<float>(0.5 * std::sin(2.0 * M_PI * i / (c && rightPeriod ? rightPeriod : period))));
  EXPECT_EQ(sf_writef_float(file, samples.data(), frames), frames);
  sf_close(file);
}

CommandResult vornsnd(const std::string& arguments) {
  return runCommand("'" VORNSND_TOOL_PATH "' " + arguments);
}

// The sample step where the loop wraps against the largest one inside it,
// as the instrument plays the wave: from sample loop end - 1 back to loop
// start - 1.
void expectSeamlessLoops(const std::string& file) {
  MessageLog quiet;
  auto sound = std::make_unique<VORNsnd>();
  ASSERT_EQ(sound->loadVORNsnd(file.c_str()), 0) << file;
  for (int64_t w = 0; w < sound->waveCount(); ++w) {
    const Wavetable_Wave& wave = sound->wave(w);
    if (wave.loopStart > wave.length) continue;  // loopless: looped in its silent tail
    float inside = 0.0f;
    for (int64_t i = wave.loopStart - 1; i + 1 < wave.loopEnd; ++i)
      inside = std::max(inside, std::fabs(wave.data[i + 1] - wave.data[i]));
    const float seam = std::fabs(wave.data[wave.loopStart - 1] - wave.data[wave.loopEnd - 1]);
    EXPECT_LE(seam, inside) << file << " wave " << w;
  }
}

class SoundImport : public SoundSetFixture {
 protected:
  void SetUp() override {
    SoundSetFixture::SetUp();
    ASSERT_TRUE(tmp_.ok());
    fs::create_directories(dir_ / "samples");
    writeTone(dir_ / "samples/s48.wav", 48000, 2, SF_FORMAT_PCM_24, 109, 48000);
    writeTone(dir_ / "samples/loud.wav", 48000, 1, SF_FORMAT_PCM_24, 97, 48000);
    writeTone(dir_ / "samples/f96.wav", 96000, 1, SF_FORMAT_FLOAT, 300, 96000);
    writeTone(dir_ / "samples/low 22.wav", 22050, 1, SF_FORMAT_PCM_16, 50, 22050, true);
    writeFile(dir_ / "loud.sfz", std::string("<region> sample=loud.wav key=48 loop_start=970 "
                                             "loop_end=3879\n"));
    writeFile(dir_ / "main.sfz", std::string(R"(// layers and zones
<control> default_path=samples\
#define $SOFT 63
#define $LOUD 64
<global> loop_mode=loop_continuous ampeg_release=0.5
<group> lovel=1 hivel=$SOFT
<region> sample=s48.wav key=c3 loop_start=1090 loop_end=4359
<region> sample=f96.wav lokey=c#3 hikey=b3 pitch_keycenter=g3 tune=30 loop_start=3000 loop_end=11999
<region> sample=low 22.wav lokey=72 hikey=83 pitch_keycenter=c5 transpose=-12 tune=-15
<group> lovel=$LOUD hivel=127 /* the loud layer */
#include "loud.sfz"
)"));
  }

  // The pitch of `key` at `velocity` played at `rate` from the set loaded.
  double played(double rate, int key, int velocity) {
    auto plugin = loadDry(rate);
    if (!plugin) return 0.0;
    host::MidiEventList schedule;
    schedule.noteOn(0, 0, key, velocity);
    const int frames = static_cast<int>(rate * 0.3);
    host::RenderedAudio out = render(*plugin, frames, schedule);
    return rate / measure::period(out.left, frames / 6, frames);
  }

  TempDir tmp_{"sound-import"};
  fs::path dir_ = tmp_.path();
};

TEST_F(SoundImport, SfzRegionsPlayAtTheirKeyCentresAndLayersAndLoopsHold) {
  const std::string out = soundFolder() + "01-Sfz/MainS.VORNsnd";
  fs::create_directories(soundFolder() + "01-Sfz");
  CommandResult made = vornsnd("sfz '" + (dir_ / "main.sfz").string() + "' '" + out + "'");
  ASSERT_EQ(made.status, 0) << made.output;
  EXPECT_NE(made.output.find("ampeg_release (1)"), std::string::npos) << made.output;
  for (const char* other : {"Symp", "Drone"})
    fs::copy_file(out, soundFolder() + "01-Sfz/" + other + ".VORNsnd");
  expectSeamlessLoops(out);

  struct Case {
    int key, velocity;
    double hz;
  } cases[] = {
      {48, 30, 48000.0 / 109},                                   // 48 kHz stereo, 24 bit
      {48, 100, 48000.0 / 97},                                   // the loud layer
      {55, 40, 96000.0 / 300 * std::exp2(30 / 1200.0)},          // 96 kHz float, tune
      {72, 10, 22050.0 / 50 * std::exp2((-1200 - 15) / 1200.0)},  // file's loop, transpose
  };
  for (double rate : {44100.0, 48000.0, 96000.0})
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << rate << " Hz, key " << c.key << " velocity " << c.velocity);
      EXPECT_NEAR(cents(played(rate, c.key, c.velocity), c.hz), 0.0, 1.0);
    }

  // Held ten times as long as its data (about 4000 samples), the note keeps sounding.
  auto plugin = loadDry();
  ASSERT_TRUE(plugin);
  host::RenderedAudio held = render(*plugin, 44100, notes({{0, 48}}));
  EXPECT_GT(measure::rms(held.left, 39000, 44100), 0.8 * measure::rms(held.left, 1000, 3500));
}

TEST_F(SoundImport, SetFromAudioManifestAndSfzAppearsAndPlays) {
  // Left and right differ: channel 2 is the right one.
  writeTone(dir_ / "two.wav", 96000, 2, SF_FORMAT_FLOAT, 200, 96000, false, 300);
  writeFile(dir_ / "symp.txt", std::string("samples/f96.wav root=36\n"));
  const std::string args = "set 07-Mine --main '" + (dir_ / "two.wav").string() +
                           ",root=60,loop=2401-12000,channel=2' --symp '" +
                           (dir_ / "symp.txt").string() + "' --drone '" + (dir_ / "main.sfz").string() + "'";
  CommandResult made = vornsnd(args);
  ASSERT_EQ(made.status, 0) << made.output;
  CommandResult again = vornsnd(args);
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.output.find("--force"), std::string::npos) << again.output;
  CommandResult forced = vornsnd(args + " --force");
  EXPECT_EQ(forced.status, 0) << forced.output;
  for (const fs::directory_entry& e : fs::directory_iterator(soundFolder()))
    EXPECT_EQ(e.path().filename(), "07-Mine");  // no half-made folders beside it
  expectSeamlessLoops(soundFolder() + "07-Mine/MainS.VORNsnd");

  // The only set, so row 0: the right channel's pitch shows it was found and loaded.
  auto plugin = loadDry();
  ASSERT_TRUE(plugin);
  plugin->setParameter(kSoundSetRow, 0.0f);
  host::RenderedAudio out = render(*plugin, 13230, notes({{0, 60}}));
  EXPECT_NEAR(cents(44100.0 / measure::period(out.left, 2000, 13230), 96000.0 / 300), 0.0, 1.0);
}

TEST_F(SoundImport, BadInstrumentsNameFileAndLineAndWriteNothing) {
  struct Case {
    const char* text;
    const char* where;   // in the output after "bad.sfz:"
    const char* detail;  // and this in the same run
    int status;
  } cases[] = {
      {"<region> sample=samples/s48.wav\n<region> sample=samples/s48.wav lokey=100 hikey=g#9\n",
       "2: ", "hikey=g#9: note lies outside 0..127", 1},
      {"<group> lokey=c4\n\n<region> sample=samples/none.wav\n", "3: ", "none.wav: cannot read", 1},
      {"<region> sample=samples/s48.wav lokey=x9\n", "1: ", "expected a MIDI note", 1},
      {"<region> sample=samples/s48.wav offset=48000\n", "1: ", "offset 48000 lies beyond", 1},
      {"<region\n", "1: ", "header without its closing '>'", 1},
      {"#include \"bad.sfz\"\n", "1: ", "includes nest", 1},
      {"<region> sample=samples/s48.wav cutoff=500\n<region> sample=samples/loud.wav cutoff=300 "
       "lokey=60\n", "2: ", "keys 60-127, velocities 1-127 overlap the region at ", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    writeFile(dir_ / "bad.sfz", std::string(c.text));
    writeFile(dir_ / "out/old.VORNsnd", std::string("kept"));
    CommandResult run =
        vornsnd("sfz '" + (dir_ / "bad.sfz").string() + "' '" + (dir_ / "out/old.VORNsnd").string() + "'");
    EXPECT_EQ(run.status, c.status) << run.output;
    EXPECT_NE(run.output.find("bad.sfz:" + std::string(c.where)), std::string::npos) << run.output;
    EXPECT_NE(run.output.find(c.detail), std::string::npos) << run.output;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "out"), fs::directory_iterator()), 1);
    if (c.status != 0) {
      EXPECT_EQ(readFile(dir_ / "out/old.VORNsnd"), "kept");
    }
  }
}

}  // namespace

#endif

// The built module must not allocate, free, lock, wait or touch files in
// processEvents/processReplacing: from the first block, on every audio thread,
// at any rate, while another thread switches programs, chunks, sets and scales.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "plugin/VstSynth.h"
#include "tests/audiothread/AudioThreadGuard.h"
#include "tests/plugin/SoundSetFixture.h"

namespace {

using host::HostedPlugin;
using vst::AEffect;
using vst::VstInt32;
using vst::VstIntPtr;

// The module, and its own entry points that the wrappers below replace.
std::shared_ptr<host::PluginModule> g_module;
vst::audioMasterCallback g_hostCallback = nullptr;
vst::AEffectDispatcherProc g_dispatcher = nullptr;
vst::AEffectProcessProc g_process = nullptr;

VstIntPtr guardedCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                          void* ptr, float opt) {
  AudioThreadGuard::Pause hostCode;
  return g_hostCallback(effect, opcode, index, value, ptr, opt);
}

AEffect* guardedEntry(vst::audioMasterCallback host) {
  g_hostCallback = host;
  return g_module->entry()(&guardedCallback);
}

VstIntPtr guardedDispatcher(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                            void* ptr, float opt) {
  if (opcode != vst::effProcessEvents) return g_dispatcher(effect, opcode, index, value, ptr, opt);
  AudioThreadGuard::Scope audioCall;
  return g_dispatcher(effect, opcode, index, value, ptr, opt);
}

void guardedProcess(AEffect* effect, float** inputs, float** outputs, VstInt32 frames) {
  AudioThreadGuard::Scope audioCall;
  g_process(effect, inputs, outputs, frames);
}

constexpr int kPrograms = 8;
const char* const kScales[] = {"Bent", "Wide", ""};
constexpr int kBlockSizes[] = {1, 3, 7, 13, 31, 64, 97, 128, 191, 256, 333, 512};

// The rate to start at; more than one: switched among between suspend and resume.
using Rates = std::vector<double>;

class AudioThreadGuardTest : public SoundSetFixture, public testing::WithParamInterface<Rates> {
 protected:
  void SetUp() override {
    SoundSetFixture::SetUp();
    ASSERT_TRUE(AudioThreadGuard::active()) << "replacements not in use (a sanitizer build?)";
    writeSoundSet(1, "Low", TestSoundSet{});
    writeSoundSet(2, "High", {{50, 60}, {80, 36}, {120, 36}});
    writeSoundSet(3, "Quiet", {kSilence, {60, 36, 0.1f}, kSilence});
    writeScale("Bent", {0, 30, -20, 10, 0, -40, 25, 0, 5, -5, 15, 0});
    writeScale("Wide", {0, 90, 210, 290, 410, 480, 610, 690, 810, 890, 1010, 1090});
  }

  // Programs differing in all a switch hands over (sound set, scale, effects,
  // play and drone modes), kept as chunks along with the bank.
  void preparePrograms(HostedPlugin& plugin) {
    programChunks_.clear();
    for (int p = 0; p < kPrograms; ++p) {
      plugin.setProgram(p);
      const std::pair<int, float> values[] = {
          {kMonoType, (p % 3) / 3.0f}, {kDroneType, p == 5 ? 1.0f / 3.0f : (p % 2) * 2.0f / 3.0f},
          {kToneSwitch, p % 2 * 1.0f}, {kDrone, 0.6f}, {kFlangerOn, p % 4 < 2 ? 1.0f : 0.0f},
          {kReverberOn, p % 3 ? 1.0f : 0.0f}, {kSoundSet, 1.0f + p % 3},
          {kPitchDeviation, p % 3 * 1.0f}, {kToneDeviation, (p + 1) % 3 * 1.0f},
          {kMicroTuningRoot, p * 1.0f}, {kGlide, 0.1f * (p % 2)}, {32, p % 2 * 1.0f}};
      for (auto [index, value] : values) plugin.setParameter(index, value);
      std::vector<std::uint8_t> chunk = plugin.getChunk(true);
      ASSERT_EQ(chunk.size(), sizeof(VstProgram));
      std::strncpy(reinterpret_cast<char*>(chunk.data() + offsetof(VstProgram, scaleName)),
                   kScales[p % 3], sizeof(VstProgram::scaleName));
      plugin.setChunk(chunk, true);
      programChunks_.push_back(chunk);
    }
    bank_ = plugin.getChunk(false);
    plugin.setProgram(0);
  }

  // Audio threads, one after another as hosts change theirs, play dense MIDI
  // in small and odd blocks while this thread works the controls and, given
  // rates, changes rate and block size between suspend and resume.
  void play(HostedPlugin& plugin, int controlSteps, const std::vector<double>& rates) {
    std::atomic<bool> stop{false};
    std::atomic<long> blocks{0}, sounding{0}, nonFinite{0}, threads{0};
    std::mutex processing;  // the host never processes while suspended

    auto audioThread = [&](unsigned seed, int length) {
      std::mt19937 rng(seed);
      auto r = [&](unsigned n) { return static_cast<int>(rng() % n); };
      std::vector<float> left(512), right(512);
      host::MidiEventList list(64);
      for (int b = 0; b < length && !stop; ++b) {
        const int frames = kBlockSizes[r(std::size(kBlockSizes))];
        list.clear();
        for (int i = 0, n = 1 + r(6); i < n; ++i) {
          const int at = r(static_cast<unsigned>(frames)), key = 36 + r(60);
          switch (r(8)) {
            case 0: list.programChange(at, 0, r(kPrograms)); break;
            case 1: list.controller(at, 0, r(2) ? 1 : 20 + r(3), r(128)); break;
            case 2: list.pitchBend(at, 0, r(16384)); break;
            case 3: list.polyPressure(at, 0, key, r(128)); break;
            case 4: case 5: list.noteOff(at, 0, key); break;
            default: list.noteOn(at, 0, key, 1 + r(127));
          }
        }
        std::lock_guard<std::mutex> lock(processing);
        plugin.sendEvents(list);
        plugin.processBlock(left.data(), right.data(), frames);
        bool any = false;
        for (int i = 0; i < frames; ++i) {
          nonFinite += !std::isfinite(left[i]) || !std::isfinite(right[i]);
          any = any || left[i] != 0.0f;
        }
        sounding += any;
        ++blocks;
      }
    };
    std::thread host([&] {
      for (unsigned seed = 1; !stop; ++seed) {
        std::thread(audioThread, seed, 150).join();
        ++threads;
      }
    });

    std::mt19937 rng(7);
    auto r = [&](unsigned n) { return static_cast<int>(rng() % n); };
    const int learnTargets[] = {13, 18, 19, 20, 21, 22, 6, 1, 3, 16};
    for (int step = 0; step < controlSteps; ++step) {
      switch (r(rates.empty() ? 8 : 9)) {
        case 0: plugin.setProgram(r(kPrograms)); break;
        case 1: plugin.setChunk(bank_, false); break;
        case 2: plugin.setChunk(programChunks_[static_cast<size_t>(r(kPrograms))], true); break;
        case 3: plugin.setParameter(kSoundSetRow, static_cast<float>(r(3))); break;
        case 4: plugin.setParameter(60, static_cast<float>(r(3))); break;  // scale command
        case 5: plugin.setParameter(kLearn, static_cast<float>(learnTargets[r(10)])); break;
        case 6: case 7: {
          const int index = r(57);
          if (index != kSoundSet) plugin.setParameter(index, r(100) / 99.0f);
          break;
        }
        case 8: {
          std::lock_guard<std::mutex> lock(processing);
          plugin.suspend();
          plugin.setSampleRate(rates[static_cast<size_t>(r(static_cast<unsigned>(rates.size())))]);
          plugin.setBlockSize(kBlockSizes[r(std::size(kBlockSizes))]);
          plugin.resume();
          break;
        }
      }
      std::this_thread::sleep_for(std::chrono::microseconds(300 + r(1500)));
    }
    // A second audio thread's first calls count too.
    while (threads < 2) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    stop = true;
    host.join();

    // The traffic really reached the engine.
    EXPECT_GE(blocks, 300);
    EXPECT_GT(sounding, blocks / 4);
    EXPECT_EQ(nonFinite, 0);
    EXPECT_EQ(AudioThreadGuard::count(), 0)
        << "inside processEvents/processReplacing on the audio thread:\n"
        << AudioThreadGuard::report();
  }

  std::vector<std::vector<std::uint8_t>> programChunks_;
  std::vector<std::uint8_t> bank_;
};

TEST(AudioThreadGuard, CountsOnlyInsideAScope) {
  ASSERT_TRUE(AudioThreadGuard::active());
  std::mutex m;
  AudioThreadGuard::reset();
  {
    AudioThreadGuard::Scope scope;
    std::string text(200, 'x');  // through the C++ library's operator new
    { std::lock_guard<std::mutex> lock(m); }
    if (FILE* f = std::fopen("/dev/null", "r")) std::fclose(f);
  }
  const std::string report = AudioThreadGuard::report();
  for (const char* kind : {"malloc", "pthread_mutex_lock, 1 time", "fopen, 1 time",
                           "CountsOnlyInsideAScope"})
    EXPECT_NE(report.find(kind), std::string::npos) << kind << " in\n" << report;
}

TEST_P(AudioThreadGuardTest, NothingOnTheAudioThread) {
  std::string error;
  if (!g_module) g_module = host::PluginModule::open(VELLAMOR_PLUGIN_PATH, error);
  ASSERT_TRUE(g_module) << error;
  auto plugin = HostedPlugin::load(host::PluginModule::fromEntry(&guardedEntry, g_module->path()),
                                   error, host::HostSettings{GetParam()[0], 512, 120.0});
  ASSERT_TRUE(plugin) << error;
  AEffect* effect = plugin->effect();
  g_dispatcher = effect->dispatcher;
  g_process = effect->processReplacing;
  effect->dispatcher = &guardedDispatcher;
  effect->processReplacing = &guardedProcess;
  preparePrograms(*plugin);
  plugin->resume();
  AudioThreadGuard::reset();
  play(*plugin, 600, GetParam().size() > 1 ? GetParam() : Rates{});
}

INSTANTIATE_TEST_SUITE_P(Rates, AudioThreadGuardTest,
                         testing::Values(Rates{44100}, Rates{48000}, Rates{44100, 48000, 88200, 96000, 22050}),
                         [](const auto& info) {
                           return info.param.size() > 1 ? "RateChanges" : "At" + std::to_string(int(info.param[0]));
                         });

}  // namespace

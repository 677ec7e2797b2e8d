// The built module, hosted as a DAW hosts it, must not allocate, free, lock,
// wait or touch files inside processEvents and processReplacing: from the
// first block on, on every audio thread the host uses, at any sample rate,
// while the host's other thread switches programs, restores chunks and
// changes sound sets and scales. Everything the module calls passes through
// the replacements of AudioThreadGuard; the host's own code that the module
// calls back into is left out.
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

// The real module, and what its AEffect record held before the guard's
// wrappers took the places of the audio calls.
std::shared_ptr<host::PluginModule> g_module;
vst::audioMasterCallback g_hostCallback = nullptr;
vst::AEffectDispatcherProc g_dispatcher = nullptr;
vst::AEffectProcessProc g_process = nullptr;

VstIntPtr guardedCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                          void* ptr, float opt) {
  // The host's answer is the host's business.
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
const char* const kScales[] = {"Bent", "Plain", "Wide", ""};
constexpr int kBlockSizes[] = {1, 3, 7, 13, 31, 64, 97, 128, 191, 256, 333, 512};

class AudioThreadGuardTest : public SoundSetFixture {
 protected:
  void SetUp() override {
    SoundSetFixture::SetUp();
    ASSERT_TRUE(AudioThreadGuard::active())
        << "the guard's replacements are not in use (a sanitizer build?)";
    writeSoundSet(1, "Low", TestSoundSet{});
    writeSoundSet(2, "High", {{50, 60}, {80, 36}, {120, 36}});
    writeSoundSet(3, "Quiet", {kSilence, {60, 36, 0.1f}, kSilence});
    writeScale("Bent", {0, 30, -20, 10, 0, -40, 25, 0, 5, -5, 15, 0});
    writeScale("Plain", std::vector<double>(12, 0.0));
    writeScale("Wide", {0, 90, 210, 290, 410, 480, 610, 690, 810, 890, 1010, 1090});
  }

  std::unique_ptr<HostedPlugin> loadGuarded(double rate, int blockSize) {
    std::string error;
    if (!g_module) g_module = host::PluginModule::open(VELLAMOR_PLUGIN_PATH, error);
    EXPECT_TRUE(g_module) << error;
    if (!g_module) return nullptr;
    auto plugin =
        HostedPlugin::load(host::PluginModule::fromEntry(&guardedEntry, g_module->path()), error,
                           host::HostSettings{rate, blockSize, 120.0});
    EXPECT_TRUE(plugin) << error;
    if (!plugin) return nullptr;
    AEffect* effect = plugin->effect();
    g_dispatcher = effect->dispatcher;
    g_process = effect->processReplacing;
    effect->dispatcher = &guardedDispatcher;
    effect->processReplacing = &guardedProcess;
    return plugin;
  }

  // Programs that differ in everything a switch has to hand over: sound set,
  // scale, effects, play and drone modes. The bank and each program are kept
  // as chunks to restore later.
  void preparePrograms(HostedPlugin& plugin) {
    static const std::vector<std::uint8_t> defaults = [] {
      VstSynth table(nullptr);
      void* data = nullptr;
      VstInt32 size = table.getChunk(&data, true);
      auto* bytes = static_cast<std::uint8_t*>(data);
      return std::vector<std::uint8_t>(bytes, bytes + size);
    }();
    programChunks_.clear();
    for (int p = 0; p < kPrograms; ++p) {
      plugin.setProgram(p);
      plugin.setChunk(defaults, true);
      const std::pair<int, float> values[] = {
          {0, 0.2f + 0.1f * p},    {1, 0.3f},  {kMonoType, (p % 3) / 3.0f},
          {kDroneType, p == 5 ? 1.0f / 3.0f : (p % 2) * 2.0f / 3.0f},
          {kToneSwitch, static_cast<float>(p % 2)}, {kDrone, 0.6f}, {kSympathetic, 0.7f},
          {kVolume, 0.8f},         {kFlangerOn, p % 4 < 2 ? 1.0f : 0.0f}, {19, 0.6f},
          {20, p / 7.0f},          {kReverberOn, p % 3 ? 1.0f : 0.0f}, {kReverberMix, 0.4f},
          {kSoundSet, static_cast<float>(1 + p % 3)}, {kPitchDeviation, static_cast<float>(p % 3)},
          {kToneDeviation, static_cast<float>((p + 1) % 3)}, {kMicroTuningRoot, static_cast<float>(p)},
          {kGlide, 0.1f * (p % 2)}, {31, (p % 2) ? 1.0f : 0.0f}, {32, (p % 2) ? 1.0f : 0.0f}};
      for (auto [index, value] : values) plugin.setParameter(index, value);
      std::vector<std::uint8_t> chunk = plugin.getChunk(true);
      ASSERT_EQ(chunk.size(), sizeof(VstProgram));
      std::memset(chunk.data() + offsetof(VstProgram, scaleName), 0, sizeof(VstProgram::scaleName));
      std::strcpy(reinterpret_cast<char*>(chunk.data() + offsetof(VstProgram, scaleName)),
                  kScales[p % 4]);
      plugin.setChunk(chunk, true);
      programChunks_.push_back(chunk);
    }
    bank_ = plugin.getChunk(false);
    plugin.setProgram(0);
  }

  struct Played {
    long blocks = 0;
    long threads = 0;
    long soundingBlocks = 0;
    long nonFinite = 0;
    long controlSteps = 0;
  };

  // The host: audio threads, one after the other (hosts change theirs), play
  // dense MIDI in small and odd blocks while this thread works the controls.
  // With rates given, the control thread also changes the sample rate and
  // block size between suspend and resume.
  Played play(HostedPlugin& plugin, int controlSteps, const std::vector<double>& rates = {}) {
    Played played;
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
          const int at = r(static_cast<unsigned>(frames));
          switch (r(16)) {
            case 0: list.programChange(at, 0, r(kPrograms)); break;
            case 1: list.controller(at, 0, 20 + r(3), r(128)); break;
            case 2: list.controller(at, 0, 1, r(128)); break;
            case 3: list.pitchBend(at, 0, r(16384)); break;
            case 4: list.channelPressure(at, 0, r(128)); break;
            case 5: list.polyPressure(at, 0, 36 + r(60), r(128)); break;
            case 6: case 7: case 8: list.noteOff(at, 0, 36 + r(60)); break;
            default: list.noteOn(at, 0, 36 + r(60), 1 + r(127));
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
        std::thread audio(audioThread, seed, 150);
        audio.join();
        ++threads;
      }
    });

    std::mt19937 rng(7);
    auto r = [&](unsigned n) { return static_cast<int>(rng() % n); };
    const int learnTargets[] = {13, 18, 19, 20, 21, 22, 6, 1, 3, 16};
    for (int step = 0; step < controlSteps; ++step) {
      switch (r(rates.empty() ? 10 : 11)) {
        case 0: plugin.setProgram(r(kPrograms)); break;
        case 1: plugin.setChunk(bank_, false); break;
        case 2: plugin.setChunk(programChunks_[static_cast<size_t>(r(kPrograms))], true); break;
        case 3: (void)plugin.getChunk(r(2) == 0); break;
        case 4:
          plugin.setParameter(kSoundSet, static_cast<float>(1 + r(3)));
          plugin.setProgram(plugin.program());
          break;
        case 5: plugin.setParameter(kSoundSetRow, static_cast<float>(r(3))); break;
        case 6: plugin.setParameter(60, static_cast<float>(r(3))); break;  // scale command
        case 7: plugin.setParameter(kLearn, static_cast<float>(learnTargets[r(10)])); break;
        case 8: case 9: {
          const int index = r(57);
          if (index != kSoundSet) plugin.setParameter(index, r(100) / 99.0f);
          break;
        }
        case 10: {
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
    // At least two audio threads, so a second one's first calls count too.
    while (threads < 2) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    stop = true;
    host.join();

    played.blocks = blocks;
    played.threads = threads;
    played.soundingBlocks = sounding;
    played.nonFinite = nonFinite;
    played.controlSteps = controlSteps;
    return played;
  }

  void expectCleanRun(const Played& played) {
    // The traffic really reached the engine.
    EXPECT_GE(played.threads, 2);
    EXPECT_GE(played.blocks, 300);
    EXPECT_GT(played.soundingBlocks, played.blocks / 4);
    EXPECT_EQ(played.nonFinite, 0);
    EXPECT_EQ(AudioThreadGuard::count(), 0)
        << "inside processEvents/processReplacing on the audio thread:\n"
        << AudioThreadGuard::report();
  }

  std::vector<std::vector<std::uint8_t>> programChunks_;
  std::vector<std::uint8_t> bank_;
};

TEST_F(AudioThreadGuardTest, TheGuardCountsOnlyInsideAScopeOnItsOwnThread) {
  std::mutex m;
  AudioThreadGuard::reset();
  {
    AudioThreadGuard::Scope scope;
    std::string text(200, 'x');  // through the C++ library's operator new
    { std::lock_guard<std::mutex> lock(m); }
    if (FILE* f = std::fopen("/dev/null", "r")) std::fclose(f);
  }
  EXPECT_GE(AudioThreadGuard::count("malloc"), 1);
  EXPECT_GE(AudioThreadGuard::count("free"), 1);
  EXPECT_EQ(AudioThreadGuard::count("pthread_mutex_lock"), 1);
  EXPECT_EQ(AudioThreadGuard::count("fopen"), 1);
  EXPECT_EQ(AudioThreadGuard::count("fclose"), 1);
  // The stack names the caller.
  const std::string report = AudioThreadGuard::report();
  EXPECT_NE(report.find("TheGuardCountsOnlyInsideAScopeOnItsOwnThread"), std::string::npos)
      << report;

  // Not counted: paused host code, another thread, and after the scope.
  AudioThreadGuard::reset();
  std::atomic<int> step{0};
  std::thread other([&] {
    while (step != 1) {}
    std::string elsewhere(400, 'z');
    step = 2;
  });
  {
    AudioThreadGuard::Scope scope;
    {
      AudioThreadGuard::Pause hostCode;
      std::string paused(300, 'y');
    }
    step = 1;
    while (step != 2) {}
  }
  other.join();
  std::string after(500, 'w');
  EXPECT_EQ(AudioThreadGuard::count(), 0) << AudioThreadGuard::report();
}

TEST_F(AudioThreadGuardTest, NothingOnTheAudioThreadAt44100) {
  auto plugin = loadGuarded(44100.0, 512);
  ASSERT_TRUE(plugin);
  preparePrograms(*plugin);
  plugin->resume();
  AudioThreadGuard::reset();
  expectCleanRun(play(*plugin, 600));
}

TEST_F(AudioThreadGuardTest, NothingOnTheAudioThreadAt48000) {
  auto plugin = loadGuarded(48000.0, 512);
  ASSERT_TRUE(plugin);
  preparePrograms(*plugin);
  plugin->resume();
  AudioThreadGuard::reset();
  expectCleanRun(play(*plugin, 600));
}

TEST_F(AudioThreadGuardTest, NothingOnTheAudioThreadWhenTheRateChangesBetweenSuspendAndResume) {
  auto plugin = loadGuarded(44100.0, 512);
  ASSERT_TRUE(plugin);
  preparePrograms(*plugin);
  plugin->resume();
  AudioThreadGuard::reset();
  expectCleanRun(play(*plugin, 600, {44100.0, 48000.0, 88200.0, 96000.0, 22050.0}));
}

}  // namespace

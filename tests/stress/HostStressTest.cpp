// A host misbehaving in every legal way at once: one thread renders blocks
// of random length with random MIDI (and automates parameters, as hosts do
// from the audio thread), one thread automates parameters with any value,
// and the host's main thread switches programs, restores chunks, switches
// sound sets and scales, changes the sample rate and block size between
// suspend and resume, and (as its GUI thread) opens, idles and closes the
// editor in a window of its own on the X server named by DISPLAY, when one
// answers. Runs for VELLAMOR_STRESS_SECONDS (default 60) and then checks that
// every rendered sample was finite and the instance still plays.
// Run it in sanitizer builds: a race, a use after free or a leak fails it.
// gtest first: Xlib defines macros (None, Bool) that clash with its names.
#include <gtest/gtest.h>

#include "tests/testsupport/XTestDisplay.h"
#include <X11/Xlib.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "tests/plugin/SoundSetFixture.h"

namespace {

using Clock = std::chrono::steady_clock;

double stressSeconds() {
  const char* text = std::getenv("VELLAMOR_STRESS_SECONDS");
  double seconds = text ? std::atof(text) : 60.0;
  return seconds > 0.0 ? seconds : 60.0;
}

// The host's window that the editor opens in; empty (with a note on why)
// when no X server answers.
class HostWindow {
 public:
  HostWindow() {
    if (!std::getenv("DISPLAY")) {
      std::printf("stress: DISPLAY is not set, the editor is left out\n");
      return;
    }
    display_ = openTestDisplay();
    if (!display_) {
      std::printf("stress: no X server answers on %s, the editor is left out\n",
                  std::getenv("DISPLAY"));
      return;
    }
    int screen = DefaultScreen(display_);
    window_ = XCreateSimpleWindow(display_, RootWindow(display_, screen), 0, 0, 960, 560, 0,
                                  BlackPixel(display_, screen), WhitePixel(display_, screen));
    XSelectInput(display_, window_, StructureNotifyMask);
    XMapWindow(display_, window_);
    XEvent e;
    do XNextEvent(display_, &e);
    while (e.type != MapNotify);
  }
  ~HostWindow() {
    if (!display_) return;
    XDestroyWindow(display_, window_);
    XCloseDisplay(display_);
  }
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  explicit operator bool() const { return display_ != nullptr; }
  std::uintptr_t id() const { return static_cast<std::uintptr_t>(window_); }
  // The host's own event queue, read as its event loop would.
  void drain() {
    while (XPending(display_) > 0) {
      XEvent e;
      XNextEvent(display_, &e);
    }
  }

 private:
  Display* display_ = nullptr;
  Window window_ = 0;
};

float anyValue(std::mt19937& rng) {
  static const float special[] = {NAN,   INFINITY, -INFINITY, 1e30f, -1e30f,
                                  3e38f, -1.0f,    2.0f,      1e-42f};
  if (rng() % 8 == 0) return special[rng() % std::size(special)];
  return std::uniform_real_distribution<float>(-0.1f, 1.1f)(rng);
}

class HostStress : public SoundSetFixture {
 protected:
  void SetUp() override {
    SoundSetFixture::SetUp();
    writeSoundSet(1, "Low", TestSoundSet{});
    writeSoundSet(2, "High", {TestTone::cosine(50, 60), TestTone::cosine(80, 36),
                              TestTone::cosine(120, 36)});
    writeSoundSet(3, "Quiet", {TestTone::silence(), TestTone::cosine(60, 36, 0.1f),
                               TestTone::silence()});
    writeScale("Bent", {0, 30, -20, 10, 0, -40, 25, 0, 5, -5, 15, 0});
    writeScale("Plain", std::vector<double>(12, 0.0));
  }

  std::atomic<bool> stop_{false};
  std::atomic<long> blocks_{0};
  std::atomic<long> nonFinite_{0};
  std::atomic<long> controlOps_{0};
  std::atomic<long> automation_{0};
  // The host's own rule: no processing while the engine is suspended for a
  // rate or block-size change.
  std::mutex processing_;
};

TEST_F(HostStress, EveryLegalOrderKeepsTheOutputFiniteAndTheInstanceWorking) {
  auto plugin = loadPlugin(44100.0, 512);
  ASSERT_TRUE(plugin);
  plugin->setProgram(0);

  // States to restore: the fresh one, both chunk kinds, and some with
  // values a bad file could hold.
  std::vector<std::vector<std::uint8_t>> banks, programs;
  banks.push_back(plugin->getChunk(false));
  programs.push_back(plugin->getChunk(true));
  for (int k = 0; k < 3; ++k) {
    std::vector<std::uint8_t> bad = banks[0];
    std::mt19937 rng(k);
    for (int i = 0; i < 200; ++i) bad[rng() % bad.size()] = static_cast<std::uint8_t>(rng());
    banks.push_back(bad);
    std::vector<std::uint8_t> badProgram = programs[0];
    for (int i = 0; i < 40; ++i)
      badProgram[rng() % badProgram.size()] = static_cast<std::uint8_t>(rng());
    programs.push_back(badProgram);
  }
  ASSERT_EQ(banks[0].size(), 39428u);
  ASSERT_EQ(programs[0].size(), 292u);

  // Before the clock starts: finding no X server takes a while.
  HostWindow window;
  const auto deadline =
      Clock::now() + std::chrono::milliseconds(static_cast<long>(stressSeconds() * 1000));

  std::thread audio([&] {
    std::mt19937 rng(1);
    std::vector<float> left(4096), right(4096);
    host::MidiEventList list(256);
    while (!stop_) {
      int frames = static_cast<int>(rng() % 1100);
      if (rng() % 50 == 0) frames = 4096;
      list.clear();
      int n = static_cast<int>(rng() % 6);
      for (int i = 0; i < n; ++i) {
        int at = frames > 0 ? static_cast<int>(rng() % frames) : 0;
        switch (rng() % 10) {
          case 0:
            list.programChange(at, 0, static_cast<int>(rng() % 12));
            break;
          case 1:
            list.controller(at, 0, static_cast<int>(rng() % 128), static_cast<int>(rng() % 128));
            break;
          case 2:
            list.pitchBend(at, 0, static_cast<int>(rng() % 16384));
            break;
          case 3:
            list.channelPressure(at, 0, static_cast<int>(rng() % 128));
            break;
          case 4:
            list.addMidi(at, static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()),
                         static_cast<std::uint8_t>(rng()));
            break;
          case 5:
          case 6:
            list.noteOff(at, 0, 30 + static_cast<int>(rng() % 70));
            break;
          default:
            list.noteOn(at, 0, 30 + static_cast<int>(rng() % 70),
                        1 + static_cast<int>(rng() % 127));
        }
      }
      if (rng() % 20 == 0) plugin->setParameter(static_cast<int>(rng() % 57), anyValue(rng));
      std::lock_guard<std::mutex> lock(processing_);
      plugin->sendEvents(list);
      for (int i = 0; i < frames; ++i) left[i] = right[i] = NAN;
      plugin->processBlock(left.data(), right.data(), frames);
      for (int i = 0; i < frames; ++i)
        if (!std::isfinite(left[i]) || !std::isfinite(right[i])) ++nonFinite_;
      ++blocks_;
    }
  });

  std::thread automation([&] {
    std::mt19937 rng(2);
    while (!stop_) {
      int index = static_cast<int>(rng() % 57);
      plugin->setParameter(index, anyValue(rng));
      float read = plugin->getParameter(index);
      if (!std::isfinite(read)) ++nonFinite_;
      ++automation_;
      std::this_thread::sleep_for(std::chrono::microseconds(rng() % 300));
    }
  });

  // The host's main thread, which is also its GUI thread.
  bool editorOpen = false;
  long editorOpens = 0, editorIdles = 0, editorRefusals = 0;
  auto nextIdle = Clock::now();
  std::mt19937 rng(3);
  const double rates[] = {22050.0, 44100.0, 48000.0, 88200.0, 96000.0, 192000.0};
  while (Clock::now() < deadline) {
    switch (rng() % 14) {
      case 0:
      case 1:
        plugin->setProgram(static_cast<int>(rng() % 128));
        break;
      case 2:
        plugin->setChunk(banks[rng() % banks.size()], false);
        break;
      case 3:
        plugin->setChunk(programs[rng() % programs.size()], true);
        break;
      case 4: {
        auto saved = plugin->getChunk(rng() % 2 == 0);
        if (saved.empty()) ++nonFinite_;
        break;
      }
      case 5:
        plugin->setParameter(SoundSetFixture::kSoundSetRow, static_cast<float>(rng() % 4));
        break;
      case 6:
        plugin->setParameter(SoundSetFixture::kSoundSet, static_cast<float>(rng() % 5));
        break;
      case 7: {
        std::lock_guard<std::mutex> lock(processing_);
        plugin->suspend();
        plugin->setSampleRate(rates[rng() % std::size(rates)]);
        plugin->setBlockSize(1 + static_cast<int>(rng() % 4096));
        plugin->resume();
        break;
      }
      case 8:
        plugin->setProgramName("stress " + std::to_string(rng() % 100));
        (void)plugin->programName();
        break;
      case 9:
        (void)plugin->parameterDisplay(static_cast<int>(rng() % 57));
        (void)plugin->programNameIndexed(static_cast<int>(rng() % 128));
        break;
      case 10:
        if (!window) break;
        if (editorOpen) {
          plugin->closeEditor();
          editorOpen = false;
        } else {
          // As hosts do: the size first, then the window.
          if (!plugin->editorRect()) ++editorRefusals;
          editorOpen = plugin->openEditor(window.id());
          if (editorOpen) ++editorOpens;
          else ++editorRefusals;
        }
        break;
      case 11:
        if (!editorOpen) break;
        plugin->editorIdle();
        ++editorIdles;
        break;
      default:
        plugin->setParameter(static_cast<int>(rng() % 57), anyValue(rng));
    }
    ++controlOps_;
    // The host's idle timer, about 50 times a second.
    if (editorOpen && Clock::now() >= nextIdle) {
      plugin->editorIdle();
      window.drain();
      ++editorIdles;
      nextIdle = Clock::now() + std::chrono::milliseconds(20);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(rng() % 2000));
  }
  // Closed while the other threads still run, as when a user closes the
  // window during playback.
  if (editorOpen) plugin->closeEditor();
  stop_ = true;
  audio.join();
  automation.join();

  EXPECT_EQ(nonFinite_.load(), 0);
  EXPECT_GT(blocks_.load(), 100);
  EXPECT_GT(controlOps_.load(), 100);
  EXPECT_GT(automation_.load(), 100);
  EXPECT_EQ(editorRefusals, 0);
  if (window) {
    EXPECT_GT(editorOpens, 0);
    EXPECT_GT(editorIdles, 0);
  }

  // Afterwards a known state plays a note at the expected level again. One
  // block first takes in what the last blocks left for later (a deferred
  // program change, a sound-set request for the worker).
  render(*plugin, 256);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  plugin->suspend();
  plugin->setSampleRate(44100.0);
  plugin->setBlockSize(256);
  plugin->resume();
  plugin->setChunk(banks[0], false);
  plugin->setParameter(SoundSetFixture::kSoundSet, 1.0f);
  plugin->setProgram(0);
  dryMainOnly(*plugin);
  host::MidiEventList schedule;
  schedule.noteOn(4410, 0, 60, 100);
  // Let the last sound-set load land before the note.
  render(*plugin, 4410);
  auto sound = render(*plugin, 22050, schedule);
  EXPECT_TRUE(measure::allFinite(sound.left));
  EXPECT_GT(measure::rms(sound.left, 8820, 22050), 0.05);
  // The editor's text drawing fills cairo's and fontconfig's process-wide
  // caches, which live until exit by design: empty them once the instance is
  // gone, so that the leak check sees what is left of ours alone.
  plugin.reset();
  cairo_debug_reset_static_data();
  FcFini();
  std::printf("stress: %ld blocks, %ld control operations, %ld automation writes, "
              "%ld editor openings, %ld editor idles\n",
              blocks_.load(), controlOps_.load(), automation_.load(), editorOpens, editorIdles);
}

}  // namespace

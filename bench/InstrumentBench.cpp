// The whole instrument through its plug-in interface, loaded from the built
// module the way a host loads it, playing the factory content of the build
// tree. Counters:
//   ns_per_frame  CPU time per output frame (shown in seconds, e.g. 3.1n)
//   x_realtime    seconds of audio rendered per second
// BM_DensePassage/B/R plays blocks of B frames at R Hz.
//   per_note      one note-on plus its note-off, including a 1-frame block
//                 (subtract BM_OneFrameDense for the events alone)
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdlib>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/HostedPlugin.h"
#include "host/MidiEventList.h"

namespace {

namespace fs = std::filesystem;

constexpr double kRate = 44100.0;
constexpr int kBeats = 8;
constexpr int kNotes = 14;
constexpr int kFirstNote = 48;  // 48..61: every pitch class, so all twelve strings ring

// A private data folder whose system part is the build's content, so the
// plug-in neither reads nor writes the user's own folders.
class DataFolders {
 public:
  DataFolders() {
    char name[] = "/tmp/vellamor-bench-XXXXXX";
    if (!mkdtemp(name)) return;
    root_ = name;
    std::error_code ec;
    fs::create_directories(root_ + "/system", ec);
    fs::create_directories(root_ + "/home/data", ec);
    fs::create_directories(root_ + "/home/config", ec);
    fs::create_symlink(VELLAMOR_CONTENT_DIR, root_ + "/system/Audio", ec);
    setenv("XDG_DATA_HOME", (root_ + "/home/data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root_ + "/home/config").c_str(), 1);
    setenv("XDG_DATA_DIRS", (root_ + "/system").c_str(), 1);
  }
  ~DataFolders() {
    std::error_code ec;
    if (!root_.empty()) fs::remove_all(root_, ec);
  }

 private:
  std::string root_;
};

// VELLAMOR_BENCH_PLUGIN names another build of the module, to compare two
// builds side by side under the same machine load.
const char* pluginPath() {
  const char* other = std::getenv("VELLAMOR_BENCH_PLUGIN");
  return other && *other ? other : VELLAMOR_PLUGIN_PATH;
}

// About half a second in whole blocks of 512 (so of 32 and 64 as well).
int beatFrames(double rate) { return static_cast<int>(rate * 0.5 / 512.0 + 0.5) * 512; }

std::unique_ptr<host::HostedPlugin> load(benchmark::State& state, int blockSize,
                                         double rate = kRate) {
  std::string error;
  auto plugin = host::HostedPlugin::load(pluginPath(), error,
                                         host::HostSettings{rate, blockSize, 120.0});
  if (!plugin) {
    state.SkipWithError(error.c_str());
    return plugin;
  }
  plugin->resume();
  plugin->startProcess();
  return plugin;
}

// Every voice and both effects: legato main string whose level the
// sympathetic strings follow, drone with every note, tone band, flanger and
// reverb, on the first factory sound set.
void denseSettings(host::HostedPlugin& p) {
  p.setParameter(71, 0.0f);  // sound set of the first menu row
  p.setParameter(3, 0.0f);   // MonoType 0
  p.setParameter(16, 0.0f);  // DroneType 0
  p.setParameter(7, 1.0f);   // tone band on
  p.setParameter(11, 1.0f);  // Drone
  p.setParameter(12, 1.0f);  // Sympathetic
  p.setParameter(13, 1.0f);  // Volume
  p.setParameter(18, 1.0f);  // flanger on
  p.setParameter(19, 0.4f);
  p.setParameter(21, 1.0f);  // reverb on
  p.setParameter(22, 0.4f);
}

// One MIDI list per block over kBeats beats: the notes struck on every beat
// and released just before the next.
std::vector<host::MidiEventList> densePassage(int blockSize, int beat) {
  const int frames = beat * kBeats;
  std::vector<host::MidiEventList> blocks(static_cast<size_t>(frames / blockSize));
  auto at = [&](int frame) -> host::MidiEventList& {
    return blocks[static_cast<size_t>(frame / blockSize)];
  };
  for (int b = 0; b < kBeats; ++b) {
    const int on = b * beat;
    const int off = on + beat - 100;
    for (int k = 0; k < kNotes; ++k) at(on).noteOn(on % blockSize, 0, kFirstNote + k, 100);
    for (int k = 0; k < kNotes; ++k) at(off).noteOff(off % blockSize, 0, kFirstNote + k);
  }
  return blocks;
}

void frameCounters(benchmark::State& state, double framesPerIteration, double rate = kRate) {
  const double frames = framesPerIteration * static_cast<double>(state.iterations());
  state.counters["ns_per_frame"] =
      benchmark::Counter(frames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["x_realtime"] = benchmark::Counter(frames / rate, benchmark::Counter::kIsRate);
}

void BM_DensePassage(benchmark::State& state) {
  const int blockSize = static_cast<int>(state.range(0));
  const double rate = static_cast<double>(state.range(1));
  auto plugin = load(state, blockSize, rate);
  if (!plugin) return;
  denseSettings(*plugin);
  const int beat = beatFrames(rate);
  std::vector<host::MidiEventList> blocks = densePassage(blockSize, beat);
  std::vector<float> left(static_cast<size_t>(blockSize)), right(left.size());
  size_t next = 0;
  auto play = [&] {
    host::MidiEventList& events = blocks[next];
    if (!events.empty()) plugin->sendEvents(events);
    plugin->processBlock(left.data(), right.data(), blockSize);
    if (++next == blocks.size()) next = 0;
  };
  for (int i = 0; i < beat / blockSize; ++i) play();  // every voice sounding
  for (auto _ : state) {
    play();
    benchmark::DoNotOptimize(left.data());
    benchmark::ClobberMemory();
  }
  if (left[0] == 0.0f && left[blockSize - 1] == 0.0f) state.SkipWithError("passage is silent");
  frameCounters(state, blockSize, rate);
}
BENCHMARK(BM_DensePassage)
    ->ArgNames({"block", "rate"})
    ->Args({32, 44100})
    ->Args({64, 44100})
    ->Args({512, 44100})
    ->Args({512, 96000})
    ->MinTime(2.0);

void BM_Idle(benchmark::State& state) {
  const int blockSize = static_cast<int>(state.range(0));
  auto plugin = load(state, blockSize);
  if (!plugin) return;
  std::vector<float> left(static_cast<size_t>(blockSize)), right(left.size());
  for (auto _ : state) {
    plugin->processBlock(left.data(), right.data(), blockSize);
    benchmark::DoNotOptimize(left.data());
  }
  frameCounters(state, blockSize);
}
BENCHMARK(BM_Idle)->Arg(64)->Arg(512);

// Dense state with every note held, for the cost of single events.
std::unique_ptr<host::HostedPlugin> denseHeld(benchmark::State& state) {
  auto plugin = load(state, 64);
  if (!plugin) return plugin;
  denseSettings(*plugin);
  host::MidiEventList chord;
  for (int k = 0; k < kNotes; ++k) chord.noteOn(0, 0, kFirstNote + k, 100);
  plugin->sendEvents(chord);
  std::vector<float> left(64), right(64);
  for (int i = 0; i < 200; ++i) plugin->processBlock(left.data(), right.data(), 64);
  return plugin;
}

void BM_OneFrameDense(benchmark::State& state) {
  auto plugin = denseHeld(state);
  if (!plugin) return;
  float left = 0.0f, right = 0.0f;
  for (auto _ : state) {
    plugin->processBlock(&left, &right, 1);
    benchmark::DoNotOptimize(left);
  }
}
BENCHMARK(BM_OneFrameDense);

void BM_NoteOnOff(benchmark::State& state) {
  auto plugin = denseHeld(state);
  if (!plugin) return;
  // Release one held note and strike it again, going round the chord.
  std::vector<host::MidiEventList> lists(kNotes);
  for (int k = 0; k < kNotes; ++k) {
    lists[static_cast<size_t>(k)].noteOff(0, 0, kFirstNote + k);
    lists[static_cast<size_t>(k)].noteOn(0, 0, kFirstNote + k, 60 + 4 * k);
    lists[static_cast<size_t>(k)].vstEvents();  // sorted once, not in the loop
  }
  float left = 0.0f, right = 0.0f;
  size_t k = 0;
  for (auto _ : state) {
    plugin->sendEvents(lists[k]);
    plugin->processBlock(&left, &right, 1);
    benchmark::DoNotOptimize(left);
    if (++k == lists.size()) k = 0;
  }
  state.counters["per_note"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                  benchmark::Counter::kIsRate |
                                                      benchmark::Counter::kInvert);
}
BENCHMARK(BM_NoteOnOff);

// Control thread: the editor's sound-set menu loads the set's three files;
// the next block adopts them on the audio thread by a pointer swap.
void BM_SoundSetSwitch(benchmark::State& state) {
  auto plugin = load(state, 64);
  if (!plugin) return;
  std::vector<float> left(64), right(64);
  int row = 0;
  for (auto _ : state) {
    row = row == 0 ? 1 : 0;
    plugin->setParameter(71, static_cast<float>(row));
    plugin->processBlock(left.data(), right.data(), 64);
  }
  if (plugin->getParameter(24) != static_cast<float>(row))
    state.SkipWithError("the sound set did not change");
}
BENCHMARK(BM_SoundSetSwitch)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  DataFolders folders;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

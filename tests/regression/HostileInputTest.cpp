// Faults found by fuzzing, each replayed from its saved input (under
// inputs/<reader>/) or rebuilt in the smallest form that showed it, plus the
// output guard: no parameter value a host can send makes the output
// non-finite.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "perform/MicroTuning.h"
#include "perform/MidiEventQueue.h"
#include "plugin/VstSynth.h"
#include "sound/VORNsndWriter.h"
#include "support/MessageBox.h"
#include "support/VornMain.h"

namespace fs = std::filesystem;
using namespace vst;

namespace {

// Everything this binary writes or reads lives in one temporary folder.
class DataRoot {
 public:
  DataRoot() {
    char name[] = "/tmp/vellamor-regression-XXXXXX";
    if (mkdtemp(name)) root = name;
    setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
  }
  ~DataRoot() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  std::string root;
};
DataRoot g_root;

class Quiet : public MessageBoxHandler {
 public:
  bool show(const char*, const char*, int) override { return false; }
};

std::vector<std::uint8_t> readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<fs::path> savedInputs(const char* reader) {
  std::vector<fs::path> files;
  fs::path folder = fs::path(VELLAMOR_REGRESSION_INPUTS) / reader;
  if (fs::is_directory(folder))
    for (const auto& entry : fs::directory_iterator(folder)) files.push_back(entry.path());
  return files;
}

VstIntPtr quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

// Scale files ----------------------------------------------------------------

class ScaleFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = g_root.root + "/scales/";
    fs::create_directories(folder_);
  }
  float offsetAfterLoading(const std::string& text, long note) {
    std::ofstream(folder_ + "Case.txt", std::ios::binary) << text;
    MicroTuning tuning(folder_.substr(0, folder_.size() - 1).c_str());
    tuning.setTable("Case");
    return tuning.Tick(note);
  }
  std::string folder_;
};

TEST_F(ScaleFiles, SavedInputsGiveFiniteOffsetsWithinAnOctave) {
  auto inputs = savedInputs("scale");
  ASSERT_FALSE(inputs.empty());
  for (const fs::path& input : inputs) {
    auto bytes = readFile(input);
    std::string text(bytes.begin(), bytes.end());
    for (long note = 0; note < 12; ++note) {
      float v = offsetAfterLoading(text, note);
      EXPECT_TRUE(std::isfinite(v) && std::fabs(v) <= 12.0f) << input << " note " << note;
    }
  }
}

TEST_F(ScaleFiles, OffsetsBeyondAnOctaveAreCutToItAndSmallerOnesKept) {
  EXPECT_FLOAT_EQ(offsetAfterLoading("20000\n", 0), 12.0f);
  EXPECT_FLOAT_EQ(offsetAfterLoading("-5000\n", 0), -12.0f);
  // Values whose float would be infinite.
  EXPECT_FLOAT_EQ(offsetAfterLoading("1e300\n", 0), 12.0f);
  EXPECT_FLOAT_EQ(offsetAfterLoading("0\n-1e300\n", 1), -12.0f);
  EXPECT_FLOAT_EQ(offsetAfterLoading("0\n150\n-1199.5\n", 1), 1.5f);
  EXPECT_FLOAT_EQ(offsetAfterLoading("0\n150\n-1199.5\n", 2), -11.995f);
}

// The engine -----------------------------------------------------------------

class Engine : public ::testing::Test {
 protected:
  void SetUp() override {
    installMessageBoxHandler(&quiet_);
    VornMain::setDataPaths("Vellamor");
    fs::path set = fs::path(VornMain::soundDataPath()) / "01-Sine";
    fs::create_directories(set);
    VORNsndWriter::Wave wave;
    for (int i = 0; i < 8000; ++i)
      wave.samples.push_back(0.5f * std::sin(6.2831853f * static_cast<float>(i % 80) / 80.0f));
    wave.loopStart = 800;
    wave.loopEnd = 800 + 80 * 80 - 1;
    for (const char* file : {"MainS", "Symp", "Drone"}) {
      std::string error;
      ASSERT_TRUE(VORNsndWriter::write((set / (std::string(file) + ".VORNsnd")).string(), "t",
                                       {wave}, nullptr, &error));
    }
  }
  void TearDown() override { removeMessageBoxHandler(&quiet_); }

  // A note held for the whole render; returns the left channel.
  static std::vector<float> play(VstSynth& synth, int frames, int note = 60) {
    std::vector<float> left(frames), right(frames);
    float* outs[2] = {left.data(), right.data()};
    VstMidiEvent on{kVstMidiType, sizeof(VstMidiEvent), 0, 0, 0, 0,
                    {char(0x90), char(note), 100, 0}, 0, 0, 0, 0};
    VstEvents list{1, 0, {reinterpret_cast<VstEvent*>(&on), nullptr}};
    synth.processEvents(&list);
    synth.processReplacing(nullptr, outs, frames);
    for (int i = 0; i < frames; ++i)
      if (!std::isfinite(right[i])) left[i] = right[i];
    return left;
  }
  static bool finite(const std::vector<float>& x) {
    for (float v : x)
      if (!std::isfinite(v)) return false;
    return true;
  }
  static float peak(const std::vector<float>& x) {
    float p = 0.0f;
    for (float v : x) p = std::fmax(p, std::fabs(v));
    return p;
  }

  Quiet quiet_;
};

TEST_F(Engine, BankChunkCannotUnclampAParameterOrStoreHugeValues) {
  VstSynth synth(quietHost);
  synth.resume();
  void* data = nullptr;
  VstInt32 size = synth.getChunk(&data, false);
  std::vector<std::uint8_t> bank(static_cast<std::uint8_t*>(data),
                                 static_cast<std::uint8_t*>(data) + size);
  // Every record claims to be unclamped, every value is enormous: Volume
  // and the mix levels included.
  const float huge = 4e27f;
  for (int i = 0; i < kNumParams; ++i) {
    bank[i * sizeof(VstParams) + offsetof(VstParams, unclamped)] = 1;
    std::memcpy(&bank[i * sizeof(VstParams) + offsetof(VstParams, value)], &huge, 4);
  }
  for (int k = 0; k < kNumPrograms; ++k)
    for (int i = 0; i < kNumParams; ++i)
      if (i != 24)  // the sound-set code stays playable
        std::memcpy(&bank[sizeof(VstParams) * kNumParams + k * sizeof(VstProgram) +
                          offsetof(VstProgram, values) + i * 4],
                    &huge, 4);
  ASSERT_EQ(synth.setChunk(bank.data(), size, false), 1);
  EXPECT_FALSE(synth.parameterBlock().params[13].unclamped);
  EXPECT_EQ(synth.getParameter(13), 1.0f);
  // Programs not yet selected hold clamped values too.
  EXPECT_EQ(synth.parameterBlock().programs[77].values[12].value, 1.0f);
  // Unclamped parameters keep what they were given.
  EXPECT_EQ(synth.parameterBlock().programs[77].values[17].value, huge);
  EXPECT_TRUE(finite(play(synth, 4096)));
}

TEST_F(Engine, SavedChunkInputsRestoreToAPlayableState) {
  auto inputs = savedInputs("chunk");
  ASSERT_FALSE(inputs.empty());
  for (const fs::path& input : inputs) {
    auto bytes = readFile(input);
    // Each saved input is a whole block with two choice bytes behind it.
    bytes.resize(sizeof(VstParameters));
    VstSynth synth(quietHost);
    synth.resume();
    synth.setChunk(bytes.data(), static_cast<VstInt32>(bytes.size()), false);
    for (int program : {0, 5, 64, 127}) {
      synth.setProgram(program);
      EXPECT_TRUE(finite(play(synth, 2048))) << input << " program " << program;
    }
  }
}

TEST_F(Engine, SampleRatesOutsideTheHardwareRangeAreRefused) {
  VstSynth synth(quietHost);
  synth.resume();
  for (float rate : {9.18898e31f, 7999.0f, 768001.0f, 1.0f, -48000.0f, NAN, INFINITY}) {
    synth.setSampleRate(rate);
    EXPECT_EQ(synth.getSampleRate(), 44100.0f) << rate;
  }
  for (float rate : {8000.0f, 768000.0f, 48000.0f}) {
    synth.setSampleRate(rate);
    EXPECT_EQ(synth.getSampleRate(), rate);
    EXPECT_TRUE(finite(play(synth, 1024)));
  }
}

TEST_F(Engine, NoParameterValueFromAHostMakesTheOutputNonFinite) {
  VstSynth synth(quietHost);
  synth.resume();
  synth.setParameter(24, 0.0f);  // folder "01-Sine"
  synth.setProgram(0);
  EXPECT_GT(peak(play(synth, 4096)), 0.01f);  // the set plays at all
  void* data = nullptr;
  VstInt32 size = synth.getChunk(&data, true);
  const std::vector<std::uint8_t> program(static_cast<std::uint8_t*>(data),
                                          static_cast<std::uint8_t*>(data) + size);
  const float hostile[] = {NAN, INFINITY, -INFINITY, 1e30f, -1e30f, 3.4e38f, -3.4e38f, 1e-42f};
  for (int index = 0; index < kNumParams; ++index) {
    for (float value : hostile) {
      synth.setParameter(index, value);
      ASSERT_TRUE(finite(play(synth, 512, 40 + index))) << "parameter " << index << " = " << value;
      EXPECT_TRUE(std::isfinite(synth.getParameter(index)));
    }
    synth.setChunk(const_cast<std::uint8_t*>(program.data()), size, true);
  }
  // The instrument still plays afterwards.
  synth.setChunk(const_cast<std::uint8_t*>(program.data()), size, true);
  EXPECT_GT(peak(play(synth, 8192)), 0.01f);
}

// MIDI event lists -----------------------------------------------------------

TEST(EventLists, EntriesBeyondTheDeclaredArrayAreReadWithoutOverrun) {
  // A host's list is one record with as many pointers as numEvents says.
  struct {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[6];
  } list{};
  VstMidiEvent events[6]{};
  for (int i = 0; i < 6; ++i) {
    events[i].type = kVstMidiType;
    events[i].byteSize = sizeof(VstMidiEvent);
    events[i].deltaFrames = i;
    events[i].midiData[0] = char(0x90);
    events[i].midiData[1] = char(60 + i);
    list.events[i] = reinterpret_cast<VstEvent*>(&events[i]);
  }
  list.events[4] = nullptr;
  events[5].type = kVstSysExType;
  list.numEvents = 6;
  static MidiEventQueue queue;
  queue.take(reinterpret_cast<VstEvents*>(&list));
  ASSERT_EQ(queue.size(), 4);
  for (int i = 0; i < 4; ++i) {
    const MidiEventQueue::Event* e = queue.nextDue(1000);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->data1, 60 + i);
  }
  list.numEvents = -7;
  queue.take(reinterpret_cast<VstEvents*>(&list));
  EXPECT_EQ(queue.size(), 0);
  queue.take(nullptr);
  EXPECT_EQ(queue.size(), 0);
}

TEST(EventLists, SavedEventInputsAreThere) {
  // They are replayed through the engine by the fuzz_events test of the
  // clang build; here only their presence is guarded.
  EXPECT_GE(savedInputs("events").size(), 2u);
}

}  // namespace

// Dispatcher ---------------------------------------------------------------

namespace {

TEST(Dispatcher, EveryOpcodeSurvivesNullPointersAndWildNumbers) {
  Quiet quiet;
  installMessageBoxHandler(&quiet);
  {
    VstSynth synth(quietHost);
    const VstInt32 indices[] = {0, -1, 56, 57, 1 << 30};
    const VstIntPtr values[] = {0, -1, 1, 0x7fffffff, static_cast<VstIntPtr>(1) << 40};
    for (VstInt32 opcode = 0; opcode < 80; ++opcode) {
      if (opcode == effEditOpen || opcode == effEditClose) continue;  // no editor here
      for (VstInt32 index : indices)
        for (VstIntPtr value : values) synth.dispatcher(opcode, index, value, nullptr, NAN);
    }
    synth.dispatcher(effMainsChanged, 0, 1, nullptr, 0.0f);
    std::vector<float> left(512, NAN), right(512, NAN);
    float* outs[2] = {left.data(), right.data()};
    synth.processReplacing(nullptr, outs, 512);
    for (int i = 0; i < 512; ++i) ASSERT_TRUE(std::isfinite(left[i]) && std::isfinite(right[i]));
    EXPECT_EQ(synth.getSampleRate(), 44100.0f);  // NaN rate refused
  }
  removeMessageBoxHandler(&quiet);
}

}  // namespace

// Programs, banks, chunks and stored preferences of the plug-in object,
// driven in-process so that the factory bank folder can be the test's own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "plugin/VstSynth.h"
#include "sound/VORNsndWriter.h"
#include "support/BundleResources.h"
#include "support/Preferences.h"
#include "support/VornMain.h"
#include "testsupport/MessageLog.h"
#include "testsupport/TestFiles.h"

namespace fs = std::filesystem;
using namespace vst;

namespace {

std::vector<std::uint8_t> chunkOf(VstSynth& synth, bool preset) {
  void* data = nullptr;
  const VstInt32 size = synth.getChunk(&data, preset);
  return {static_cast<std::uint8_t*>(data), static_cast<std::uint8_t*>(data) + size};
}

std::vector<std::uint8_t> factoryBank(const char* firstName, float volume) {
  std::vector<std::uint8_t> bytes(sizeof(VstProgram) * kNumPrograms);
  for (int k = 0; k < kNumPrograms; ++k) {
    VstProgram p;
    std::snprintf(p.name, sizeof(p.name), "%s %d", k == 0 ? firstName : "Bank", k);
    for (int i = 0; i < kNumParams; ++i) p.values[i].value = 0.25f;
    p.values[13].value = volume;
    p.values[3].value = 1.0f / 3.0f;
    p.values[24].value = 0.0f;
    std::memcpy(bytes.data() + k * sizeof(VstProgram), &p, sizeof(p));
  }
  return bytes;
}

using testfiles::writeFile;

// A sound set that loads, so that a missing file is what silences it.
void writeSoundSet(const std::string& soundFolder) {
  fs::path set = fs::path(soundFolder) / "01-Test";
  fs::create_directories(set);
  VORNsndWriter::Wave wave;
  wave.samples.assign(400, 0.25f);
  for (const char* name : {"MainS", "Symp", "Drone"}) {
    std::string error;
    ASSERT_TRUE(VORNsndWriter::write((set / (std::string(name) + ".VORNsnd")).string(), "test",
                                     {wave}, nullptr, &error))
        << error;
  }
}

class SynthPrograms : public ::testing::Test {
 protected:
  void SetUp() override {
    BundleResources::overridePath(resources_.str());
    soundFolder_ = getSoundsDirectory("Vellamor");
    writeSoundSet(soundFolder_);
    VornMain::setDataPaths("Vellamor");
    presets_ = VornMain::presetBankPath();
  }
  void TearDown() override {
    fs::remove(fs::path(presets_) / "Default.bnk");
    fs::remove(Preferences::defaultFilePath());
    fs::remove_all(scaleFolder());
    fs::remove_all(fs::path(soundFolder_) / "01-Test");
  }
  fs::path scaleFolder() const { return fs::path(soundFolder_) / "Scale"; }
  fs::path factoryPath() const { return resources_ / "res00165.bnk"; }
  fs::path defaultBankPath() const { return fs::path(presets_) / "Default.bnk"; }

  testfiles::TempDir resources_{"vellamor-res"};
  std::string soundFolder_;
  std::string presets_;
  testfiles::MessageLog answers_{false};
};

TEST_F(SynthPrograms, FactoryBankUnlessADefaultBankOfTheRightSizeAndTheReloadQuestionCanRefuseIt) {
  writeFile(factoryPath(), factoryBank("Factory", 0.7f));
  char name[32];
  for (size_t size : {sizeof(VstParameters) - 1, sizeof(VstParameters) + 1}) {
    writeFile(defaultBankPath(), std::vector<std::uint8_t>(size, 0));
    VstSynth synth(nullptr);
    synth.getProgramNameIndexed(0, 0, name);
    EXPECT_STREQ(name, "Factory 0") << size;
    synth.getProgramNameIndexed(0, 127, name);
    EXPECT_STREQ(name, "Bank 127");
    // The parameter records keep the built-in table; the first program is applied at once.
    EXPECT_STREQ(synth.parameterBlock().params[13].name, "Volume          ");
    EXPECT_FLOAT_EQ(synth.getParameter(13), 0.7f);
  }
  EXPECT_TRUE(answers_.shown.empty());
  {
    VstSynth author(nullptr);
    char renamed[] = "Saved by user";
    author.setProgramName(renamed);
    author.setParameter(30, 2.0f);
    ASSERT_TRUE(author.saveDefaultBank());
  }
  EXPECT_EQ(fs::file_size(defaultBankPath()), sizeof(VstParameters));

  VstSynth synth(nullptr);
  synth.getProgramName(name);
  EXPECT_STREQ(name, "Saved by user");
  EXPECT_FLOAT_EQ(synth.volumeFactor(), 0.52f);  // the bank also carries VolumeType

  answers_.answer = false;  // "No" loads the factory bank
  synth.loadBank(165, true, true);
  ASSERT_EQ(answers_.shown.size(), 1u);
  EXPECT_EQ(answers_.shown[0].text, "Reload from User-Default bank? (No = Loads Factory Bank)");
  synth.getProgramNameIndexed(0, 0, name);
  EXPECT_STREQ(name, "Factory 0");
}

// Constructs on a thread of its own, so that a construction blocked in a file
// fails the test instead of hanging it; such a block is then released by
// opening the FIFOs for writing. nullptr when it took longer than `limit`.
std::unique_ptr<VstSynth> constructWithin(std::chrono::milliseconds limit,
                                          const std::vector<fs::path>& fifos) {
  std::unique_ptr<VstSynth> synth;
  std::atomic<bool> done{false};
  std::thread maker([&] {
    synth = std::make_unique<VstSynth>(nullptr);
    done = true;
  });
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const bool inTime = done;
  while (!done) {
    for (const fs::path& fifo : fifos) {
      int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
      if (fd >= 0) ::close(fd);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  maker.join();
  if (!inTime) synth.reset();
  return synth;
}

TEST_F(SynthPrograms, FifosInPlaceOfFilesNeitherBlockConstructionNorCountAsFiles) {
  writeFile(factoryPath(), factoryBank("Factory", 0.7f));
  ASSERT_EQ(::mkfifo(defaultBankPath().c_str(), 0600), 0);
  {
    std::unique_ptr<VstSynth> synth = constructWithin(std::chrono::seconds(5), {defaultBankPath()});
    ASSERT_TRUE(synth) << "construction blocked on a FIFO named Default.bnk";
    char name[32];
    synth->getProgramNameIndexed(0, 0, name);
    EXPECT_STREQ(name, "Factory 0");
    ASSERT_EQ(answers_.shown.size(), 1u);
    EXPECT_EQ(answers_.shown[0].text, "Can't load user default bank file");
  }
  // The factory bank, the preferences, the program's scale and a sound file
  // as FIFOs: construction still ends, and none of them is taken for a file.
  const fs::path scale = scaleFolder() / "12-Equal Temperament.txt";
  const std::vector<fs::path> fifos = {defaultBankPath(), factoryPath(), Preferences::defaultFilePath(),
                                       scale, fs::path(soundFolder_) / "01-Test" / "MainS.VORNsnd"};
  for (size_t i = 1; i < fifos.size(); ++i) {
    fs::remove(fifos[i]);
    fs::create_directories(fifos[i].parent_path());
    ASSERT_EQ(::mkfifo(fifos[i].c_str(), 0600), 0) << fifos[i];
  }
  answers_.shown.clear();
  std::unique_ptr<VstSynth> synth = constructWithin(std::chrono::seconds(5), fifos);
  ASSERT_TRUE(synth) << "construction blocked on a FIFO";
  std::vector<float> left(64), right(64);
  float* outs[2] = {left.data(), right.data()};
  synth->processReplacing(nullptr, outs, 64);  // the loaded set takes over
  char name[32];
  synth->getProgramNameIndexed(0, 0, name);
  EXPECT_STREQ(name, "Init");
  EXPECT_TRUE(synth->soundSilenced());  // the main sound counts as missing
  fs::remove(scale);
}

TEST_F(SynthPrograms, ScaleNamesInChunksAreWholeWhileAnotherThreadSwitchesScales) {
  // Names of different lengths: a torn copy shows as neither.
  const std::string names[2] = {"Short", "A Considerably Longer Tuning Name"};
  fs::create_directories(scaleFolder());
  for (const std::string& n : names) std::ofstream(scaleFolder() / (n + ".txt")) << "0\n";
  VstSynth synth(nullptr);
  ASSERT_EQ(synth.tuning().getSize(), 2);
  long tables[2];
  for (long k = 0; k < 2; ++k) tables[synth.tuning().getTableName(k) == names[0] ? 0 : 1] = k;
  synth.loadNewScale(tables[0]);
  // Listed, but no longer there to be read: a switch is then little more
  // than storing the name, and the race is easier to meet.
  fs::remove_all(scaleFolder());

  std::atomic<bool> stop{false};
  std::thread switcher([&] {
    for (int i = 0; !stop; ++i) synth.loadNewScale(tables[i & 1]);
  });
  // The editor's question meanwhile, from a thread of its own: any name
  // gives an index, so a race here shows under ThreadSanitizer only.
  std::thread asker([&] {
    while (!stop) synth.CurrentScale();
  });
  int torn = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(700);
  while (std::chrono::steady_clock::now() < end && torn == 0) {
    for (bool preset : {true, false}) {
      std::vector<std::uint8_t> chunk = chunkOf(synth, preset);
      const char* at = reinterpret_cast<const char*>(chunk.data()) + offsetof(VstProgram, scaleName) +
                       (preset ? 0 : sizeof(VstParams) * kNumParams);
      std::string scale(at, strnlen(at, sizeof(VstProgram::scaleName)));
      if (scale != names[0] && scale != names[1]) ++torn;
    }
  }
  stop = true;
  switcher.join();
  asker.join();
  EXPECT_EQ(torn, 0);
}

TEST_F(SynthPrograms, StoredDefaultsComeBackExactlyAsSavedAndOldThirdsStillReadAsTheirModes) {
  {
    // What the writer stored for the play and drone modes 1/3 and 2/3 so far.
    Preferences prefs(Preferences::defaultFilePath());
    prefs.setInt("MonoType        ", 3334);
    prefs.setInt("DroneType       ", 6667);
    ASSERT_TRUE(prefs.save());
  }
  {
    VstSynth synth(nullptr);
    EXPECT_EQ(synth.getParameter(3), 1.0f / 3.0f);
    EXPECT_EQ(synth.getParameter(16), 2.0f / 3.0f);
  }
  // Every stored default at each value the editor offers: the modes, the
  // deviation menus (0..5), the root (0..11), split notes over the whole
  // menu (0..83) and the output gain (0..2).
  for (int round = 0; round < 12; ++round) {
    auto f = [](int v) { return static_cast<float>(v); };
    const std::vector<std::pair<int, float>> saved = {
        {3, f(round % 3) / 3.0f}, {16, f((round + 1) % 3) / 3.0f}, {17, f(round == 11 ? 83 : round * 7)},
        {25, f(round % 6)},       {26, f((round + 3) % 6)},        {27, f(round)},
        {30, f(round % 3)}};
    {
      VstSynth author(nullptr);
      for (auto [index, value] : saved) author.setParameter(index, value);
      ASSERT_TRUE(author.saveControllerPresets());
    }
    VstSynth synth(nullptr);
    for (auto [index, value] : saved)
      EXPECT_EQ(synth.getParameter(index), value) << "parameter " << index << ", round " << round;
  }
}

class SynthParameters : public ::testing::Test {
 protected:
  VstSynth synth{nullptr};
};

TEST_F(SynthParameters, NormalisedValuesAreClampedPlainNumbersAreNotAndBadValuesStoreNothing) {
  synth.setParameter(13, 1.7f);
  synth.setParameter(24, 12.0f);
  synth.setParameter(27, -3.0f);
  EXPECT_EQ(synth.getParameter(13), 1.0f);
  EXPECT_EQ(synth.getParameter(24), 12.0f);
  EXPECT_EQ(synth.getParameter(27), -3.0f);
  char text[64] = {};
  synth.getParameterDisplay(24, text);
  EXPECT_STREQ(text, "12.000");

  const VstParameters before = synth.parameterBlock();
  for (auto [index, value] : {std::pair{13, NAN}, {24, INFINITY}, {24, -INFINITY}, {57, 0.3f},
                              {-1, 0.3f}, {1000, 0.3f}})
    synth.setParameter(index, value);
  EXPECT_EQ(0, std::memcmp(&before, &synth.parameterBlock(), sizeof(VstParameters)));
  EXPECT_EQ(synth.getParameter(57), 0.0f);
  EXPECT_EQ(synth.getParameter(-1), 0.0f);
}

TEST_F(SynthParameters, ModeValuesAreNormalisedOnTheNextCall) {
  // The default MonoType 1.0 becomes 1/3 at the first call of any index.
  synth.setParameter(13, 0.5f);
  EXPECT_FLOAT_EQ(synth.getParameter(3), 0.33333334f);
  synth.setParameter(3, 2.0f);
  EXPECT_EQ(synth.getParameter(3), 2.0f);  // stored unchanged by its own call
  synth.setParameter(16, 2.0f);
  synth.setParameter(13, 0.5f);
  EXPECT_NEAR(synth.getParameter(3), 2.0f / 3.0f, 1e-6);
  EXPECT_NEAR(synth.getParameter(16), 2.0f / 3.0f, 1e-6);
  EXPECT_EQ(static_cast<int>(3.0f * synth.getParameter(3)), 2);  // still read as mode 2
}

}  // namespace

// The generated scales and factory bank, and make install into a temporary
// home: a fresh plug-in instance must find the content where it looks.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "host/HostedPlugin.h"
#include "perform/MicroTuning.h"
#include "plugin/VstParameters.h"
#include "plugin/VstSynth.h"
#include "support/VornMain.h"
#include "testsupport/TestFiles.h"

namespace fs = std::filesystem;

namespace {

using testfiles::buildDir;
fs::path soundsDir() { return buildDir() / "content/Sounds/Banks/Quillmark/Vellamor"; }
fs::path bankPath() { return buildDir() / "Vellamor-ZUL/Resources/res00165.bnk"; }

double cents(double ratio) { return 1200.0 * std::log2(ratio); }
const double kPythComma = cents(531441.0 / 524288.0);
const double kSyntComma = cents(81.0 / 80.0);
const double kFifth = cents(1.5);

// Offsets of a generated scale in cents, read by the engine's own reader.
std::vector<double> scaleCents(const std::string& name) {
  MicroTuning tuning((soundsDir() / "Scale").c_str());
  tuning.setTable(name.c_str());
  std::vector<double> out;
  for (int k = 0; k < 12; ++k) out.push_back(100.0 * tuning.Tick(60 + k));
  return out;
}
// Absolute pitch of degree k in cents above the root.
double at(const std::vector<double>& offsets, int k) { return offsets[k % 12] + 100.0 * k; }

std::vector<VstProgram> readBank() {
  std::ifstream in(bankPath(), std::ios::binary);
  std::vector<char> d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<VstProgram> programs(kNumPrograms);
  if (d.size() == sizeof(VstProgram) * kNumPrograms) std::memcpy(programs.data(), d.data(), d.size());
  return programs;
}

}  // namespace

TEST(ContentScalesTest, HistoricalTuningsHaveTheirDefiningIntervals) {
  for (double c : scaleCents("12-Equal Temperament")) EXPECT_EQ(c, 0.0);
  auto py = scaleCents("Pythagorean");
  EXPECT_NEAR(at(py, 7), kFifth, 0.01);
  EXPECT_NEAR(at(py, 4), cents(81.0 / 64), 0.01);
  auto j5 = scaleCents("Just Intonation 5-limit");
  EXPECT_NEAR(at(j5, 4), cents(5.0 / 4), 0.01);
  EXPECT_NEAR(at(j5, 9), cents(5.0 / 3), 0.01);
  auto j7 = scaleCents("Just Intonation 7-limit");
  EXPECT_NEAR(at(j7, 10), cents(7.0 / 4), 0.01);
  auto mt = scaleCents("Meantone quarter-comma");
  EXPECT_NEAR(at(mt, 4), cents(5.0 / 4), 0.01);            // pure major thirds
  EXPECT_NEAR(at(mt, 7), kFifth - kSyntComma / 4, 0.01);    // fifths a quarter comma narrow
  EXPECT_NEAR(at(mt, 8) - at(mt, 4), cents(5.0 / 4), 0.01);
  auto w3 = scaleCents("Werckmeister III");
  EXPECT_NEAR(at(w3, 7), kFifth - kPythComma / 4, 0.01);
  EXPECT_NEAR(at(w3, 11) - at(w3, 4), kFifth, 0.01);        // E-B pure
  auto yo = scaleCents("Young 1799");
  EXPECT_NEAR(at(yo, 7), kFifth - kPythComma / 6, 0.01);
  EXPECT_NEAR(at(yo, 13) - at(yo, 6), kFifth, 0.01);             // F#-C# pure
}

TEST(ContentBankTest, FactoryBankHolds128ProgramsWhoseSetsAndScalesExist) {
  ASSERT_EQ(fs::file_size(bankPath()), 37376u);
  std::vector<VstProgram> bank = readBank();
  VstSynth synth(nullptr);
  const VstParameters& table = synth.parameterBlock();
  std::set<std::string> names;
  std::set<int> sets;
  int named = 0;
  for (int p = 0; p < kNumPrograms; ++p) {
    const VstProgram& prog = bank[p];
    SCOPED_TRACE("program " + std::to_string(p + 1));
    ASSERT_TRUE(strnlen(prog.name, 24) < 24 && strnlen(prog.scaleName, 40) < 40);
    std::string name = prog.name;
    if (name != "Init") {
      ++named;
      EXPECT_EQ(p + 1, named) << "named programs come first";
      EXPECT_TRUE(names.insert(name).second) << "duplicate name " << name;
    }
    EXPECT_TRUE(fs::is_regular_file(soundsDir() / "Scale" / (std::string(prog.scaleName) + ".txt")))
        << prog.scaleName;
    float code = prog.values[24].value;
    ASSERT_TRUE(code == std::floor(code) && code >= 0 && code <= 98);
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%02d-", static_cast<int>(code) + 1);
    bool found = false;
    for (const auto& e : fs::directory_iterator(soundsDir()))
      found = found || e.path().filename().string().rfind(prefix, 0) == 0;
    EXPECT_TRUE(found) << "no folder for sound-set code " << code;
    for (int i = 0; i < kNumParams; ++i) {
      float v = prog.values[i].value;
      ASSERT_TRUE(std::isfinite(v));
      if (!table.params[i].unclamped) {
        EXPECT_TRUE(v >= 0 && v <= 1) << "parameter " << i << " = " << v;
      }
    }
    if (name == "Init") {
      for (int i = 0; i < kNumParams; ++i) EXPECT_EQ(prog.values[i].value, table.params[i].value) << i;
      continue;
    }
    sets.insert(static_cast<int>(code));
  }
  EXPECT_GE(named, 16);
  EXPECT_EQ(sets.size(), 3u);
}

TEST(ContentInstallTest, FreshInstanceFindsTheInstalledContent) {
  testfiles::TempDir tmp("vellamor_install");
  ASSERT_TRUE(tmp.ok());
  const fs::path home = tmp.path(), vst = home / ".vst";
  testfiles::ScopedEnv h("HOME", home.string()), d("XDG_DATA_HOME", (home / "data").string()),
      s("XDG_DATA_DIRS", (home / "nowhere").string());
  const fs::path source = VELLAMOR_SOURCE_DIR;
  ASSERT_EQ(testfiles::runCommand("'" + (source / "scripts/install.sh").string() + "' install '" +
                                  buildDir().string() + "' '" + vst.string() + "'")
                .status,
            0);

  // Where the plug-in looks for its sounds, computed by the engine itself.
  const fs::path sounds = findSoundsDirectory("Vellamor");
  EXPECT_EQ(sounds, home / "data/Audio/Sounds/Banks/Quillmark/Vellamor/");
  // The sets, scales and bank there are the built ones checked above, file for file.
  int files = 0;
  for (const auto& e : fs::recursive_directory_iterator(soundsDir())) {
    if (!e.is_regular_file()) continue;
    ++files;
    const std::string installed = testfiles::readFile(sounds / fs::relative(e.path(), soundsDir()));
    EXPECT_TRUE(installed == testfiles::readFile(e.path())) << e.path();
  }
  EXPECT_GE(files, 3 * 3 + 9);
  ASSERT_EQ(testfiles::readFile(vst / "Vellamor-ZUL/Resources/res00165.bnk"), testfiles::readFile(bankPath()));

  // A fresh instance of the installed module comes up with the factory
  // bank's programs, and a played note is heard.
  std::string error;
  auto plugin = host::HostedPlugin::load((vst / "Vellamor-ZUL/Vellamor-ZUL.so").string(), error);
  ASSERT_NE(plugin, nullptr) << error;
  EXPECT_EQ(plugin->programNameIndexed(0), std::string(readBank()[0].name));
  EXPECT_NE(plugin->programNameIndexed(0), "Init");
  plugin->resume();
  host::MidiEventList notes;
  notes.noteOn(0, 0, 60, 100);
  notes.noteOff(22050, 0, 60);
  host::RenderedAudio audio = plugin->render(44100, 512, notes);
  double energy = 0.0;
  for (float v : audio.left) energy += v * v;
  EXPECT_GT(energy / static_cast<double>(audio.frames()), 1e-4);
}

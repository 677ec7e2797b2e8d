// The generated scales and factory bank, and mkbank's handling of its source.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "perform/MicroTuning.h"
#include "plugin/VstParameters.h"
#include "plugin/VstSynth.h"
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

using ToolResult = testfiles::CommandResult;

}  // namespace

TEST(ContentScalesTest, HistoricalTuningsHaveTheirDefiningIntervals) {
  for (double c : scaleCents("12-Equal Temperament")) EXPECT_EQ(c, 0.0);
  auto py = scaleCents("Pythagorean");
  EXPECT_NEAR(at(py, 7), kFifth, 0.01);
  EXPECT_NEAR(at(py, 4), cents(81.0 / 64), 0.01);
  auto j5 = scaleCents("Just Intonation 5-limit");
  EXPECT_NEAR(at(j5, 4), cents(5.0 / 4), 0.01);
  EXPECT_NEAR(at(j5, 3), cents(6.0 / 5), 0.01);
  EXPECT_NEAR(at(j5, 9), cents(5.0 / 3), 0.01);
  auto j7 = scaleCents("Just Intonation 7-limit");
  EXPECT_NEAR(at(j7, 10), cents(7.0 / 4), 0.01);
  EXPECT_NEAR(at(j7, 6), cents(7.0 / 5), 0.01);
  auto mt = scaleCents("Meantone quarter-comma");
  EXPECT_NEAR(at(mt, 4), cents(5.0 / 4), 0.01);            // pure major thirds
  EXPECT_NEAR(at(mt, 7), kFifth - kSyntComma / 4, 0.01);    // fifths a quarter comma narrow
  EXPECT_NEAR(at(mt, 8) - at(mt, 4), cents(5.0 / 4), 0.01);
  auto w3 = scaleCents("Werckmeister III");
  EXPECT_NEAR(at(w3, 7), kFifth - kPythComma / 4, 0.01);
  EXPECT_NEAR(at(w3, 11) - at(w3, 4), kFifth, 0.01);        // E-B pure
  auto k3 = scaleCents("Kirnberger III");
  EXPECT_NEAR(at(k3, 4), cents(5.0 / 4), 0.01);             // C-E pure
  EXPECT_NEAR(at(k3, 18) - at(k3, 11), kFifth, 0.01);       // B-F# pure
  auto va = scaleCents("Vallotti");
  EXPECT_NEAR(1200 - at(va, 5), kFifth - kPythComma / 6, 0.01);  // F-C tempered
  EXPECT_NEAR(at(va, 18) - at(va, 11), kFifth, 0.01);            // B-F# pure
  auto yo = scaleCents("Young 1799");
  EXPECT_NEAR(at(yo, 7), kFifth - kPythComma / 6, 0.01);
  EXPECT_NEAR(at(yo, 13) - at(yo, 6), kFifth, 0.01);             // F#-C# pure
}

TEST(ContentScalesTest, ScaleFolderIsListedWithinTheNameLimit) {
  MicroTuning tuning((soundsDir() / "Scale").c_str());
  EXPECT_GE(tuning.getSize(), 9);
  bool equal = false;
  for (long i = 0; i < tuning.getSize(); ++i) {
    std::string name = tuning.getTableName(i);
    equal = equal || name == "12-Equal Temperament";
    EXPECT_LE(name.size() + 4, 40u) << name;
    for (double c : scaleCents(name)) EXPECT_LT(std::fabs(c), 50.0) << name;
  }
  EXPECT_TRUE(equal);
}

TEST(ContentBankTest, FactoryBankHolds128ProgramsWhoseSetsAndScalesExist) {
  ASSERT_EQ(fs::file_size(bankPath()), 37376u);
  std::vector<VstProgram> bank = readBank();
  VstSynth synth(nullptr);
  const VstParameters& table = synth.parameterBlock();
  std::set<std::string> names, scales;
  std::set<int> sets, monoModes, droneModes;
  bool flanger = false, reverb = false;
  int named = 0;
  for (int p = 0; p < kNumPrograms; ++p) {
    const VstProgram& prog = bank[p];
    SCOPED_TRACE("program " + std::to_string(p + 1));
    ASSERT_LT(strnlen(prog.name, 24), 24u);
    ASSERT_LT(strnlen(prog.scaleName, 40), 40u);
    std::string name = prog.name;
    if (name != "Init") {
      ++named;
      EXPECT_EQ(p + 1, named) << "named programs come first";
      EXPECT_TRUE(names.insert(name).second) << "duplicate name " << name;
    }
    EXPECT_TRUE(fs::is_regular_file(soundsDir() / "Scale" / (std::string(prog.scaleName) + ".txt")))
        << prog.scaleName;
    float code = prog.values[24].value;
    ASSERT_EQ(code, std::floor(code));
    ASSERT_TRUE(code >= 0 && code <= 98);
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
    scales.insert(prog.scaleName);
    sets.insert(static_cast<int>(code));
    int mono = static_cast<int>(3 * prog.values[3].value), drone = static_cast<int>(3 * prog.values[16].value);
    monoModes.insert(mono);
    droneModes.insert(drone);
    if (drone == 2) {
      int split = 24 + static_cast<int>(prog.values[17].value);
      EXPECT_GE(split, 36);
      EXPECT_LE(split, 72);
    }
    flanger = flanger || (prog.values[18].value > 0 && prog.values[19].value > 0);
    reverb = reverb || (prog.values[21].value > 0 && prog.values[22].value > 0);
  }
  EXPECT_GE(named, 16);
  EXPECT_GE(scales.size(), 5u);
  EXPECT_EQ(sets.size(), 3u);
  EXPECT_EQ(monoModes, (std::set<int>{0, 1, 2}));
  EXPECT_EQ(droneModes, (std::set<int>{0, 1, 2}));
  EXPECT_TRUE(flanger);
  EXPECT_TRUE(reverb);
}

class ContentMkbankTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(tmp.ok()); }
  ToolResult make(const std::string& source, bool content) {
    std::ofstream(dir / "bank.txt") << source;
    std::string cmd = "'" + (buildDir() / "tools/mkbank/mkbank").string() + "' '" + (dir / "bank.txt").string() +
                      "' '" + (dir / "out.bnk").string() + "'";
    if (content) cmd += " --content '" + soundsDir().string() + "'";
    return testfiles::runCommand(cmd);
  }
  testfiles::TempDir tmp{"mkbank"};
  fs::path dir = tmp.path();
};

TEST_F(ContentMkbankTest, WritesValuesAtTheirPlaceAndDefaultsElsewhere) {
  ToolResult r = make("# test\nprogram 3 \"Three\"\n  scale = Pythagorean\n  monotype = 1/3\n"
               "  Tone Deviation = 4\n  MicroTuningRoot = F#\n  SoundSet = 02-Bright Steel\n"
               "  Volume = 0.25   # quieter\n",
               true);
  ASSERT_EQ(r.status, 0) << r.output;
  ASSERT_EQ(fs::file_size(dir / "out.bnk"), 37376u);
  std::vector<VstProgram> bank(kNumPrograms);
  std::ifstream(dir / "out.bnk", std::ios::binary).read(reinterpret_cast<char*>(bank.data()), 37376);
  const VstProgram& p = bank[2];
  EXPECT_STREQ(p.name, "Three");
  EXPECT_STREQ(p.scaleName, "Pythagorean");
  EXPECT_EQ(p.values[3].value, 1.0f / 3.0f);
  EXPECT_EQ(p.values[26].value, 4.0f);
  EXPECT_EQ(p.values[27].value, 6.0f);
  EXPECT_EQ(p.values[24].value, 1.0f);
  EXPECT_EQ(p.values[13].value, 0.25f);
  VstSynth synth(nullptr);
  EXPECT_EQ(p.values[6].value, synth.parameterBlock().params[6].value);
  EXPECT_STREQ(bank[0].name, "Init");
  EXPECT_STREQ(bank[0].scaleName, "12-Equal Temperament");
}

TEST_F(ContentMkbankTest, SourceErrorsFailWithFileAndLine) {
  struct Case {
    const char* source;
    const char* where;
    const char* words;
  };
  const Case cases[] = {
      {"program 1 \"A\"\n  Loudness = 1\n", ":2:", "unknown parameter"},
      {"program 1 \"A\"\n\n  Volume = 1.5\n", ":3:", "0 to 1"},
      {"program 1 \"A\"\n  MonoType = 0.5\n", ":2:", "1/3"},
      {"program 1 \"A\"\nprogram 1 \"B\"\n", ":2:", "already defined"},
      {"program 129 \"A\"\n", ":1:", "1 to 128"},
      {"program 1 \"A name far too long for it\"\n", ":1:", "23 characters"},
      {"Volume = 1\n", ":1:", "before the first program"},
      {"program 1 \"A\"\n  VolumeType = 1\n", ":2:", "whole plug-in"},
      {"program 1 \"A\"\n  Volume = loud\n", ":2:", "0 to 1"},
      {"program 1 \"A\"\n  Volume = nan\n", ":2:", "0 to 1"},
  };
  for (const Case& c : cases) {
    ToolResult r = make(c.source, false);
    EXPECT_NE(r.status, 0) << c.source;
    EXPECT_NE(r.output.find("bank.txt" + std::string(c.where)), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(c.words), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(dir / "out.bnk")) << c.source;
  }
  ToolResult missing = make("program 1 \"A\"\n  SoundSet = 42-Nowhere\n  scale = Nonesuch\n", true);
  EXPECT_NE(missing.status, 0);
  EXPECT_NE(missing.output.find("bank.txt:2:"), std::string::npos) << missing.output;
  EXPECT_NE(missing.output.find("bank.txt:3:"), std::string::npos) << missing.output;
}

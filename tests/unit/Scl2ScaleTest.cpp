// scl2scale, run as users run it: Scala files in, scale files the engine reads.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include "perform/MicroTuning.h"
#include "testsupport/TestFiles.h"

namespace fs = std::filesystem;

namespace {


double cents(double ratio) { return 1200.0 * std::log2(ratio); }

class Scl2ScaleTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(tmp.ok()); }
  testfiles::TempDir tmp{"scl2scale"};

  void write(const std::string& name, const std::string& text) { std::ofstream(dir / name, std::ios::binary) << text; }
  // Runs the tool; output holds what it printed.
  int convert(const std::string& scl, const std::string& out, const std::string& kbm = "") {
    std::string cmd = "'" + (testfiles::buildDir() / "tools/scl2scale/scl2scale").string() + "' '" + (dir / scl).string() + "'";
    if (!kbm.empty()) cmd += " --kbm '" + (dir / kbm).string() + "'";
    testfiles::CommandResult r = testfiles::runCommand(cmd + " '" + (dir / out).string() + "'");
    output = r.output;
    return r.status;
  }
  // The offsets in cents as the instrument reads the file.
  std::vector<double> offsets(const std::string& name) {
    MicroTuning tuning(dir.c_str());
    tuning.setTable(name.c_str());
    std::vector<double> out;
    for (int k = 0; k < 12; ++k) out.push_back(100.0 * tuning.Tick(48 + k));
    return out;
  }
  fs::path dir = tmp.path();
  std::string output;
};

const char* kPythagorean =
    "! pyth.scl\n!\nPythagorean\n 12\n!\n 256/243\n 9/8\n 32/27\n 81/64 major third\n 4/3\n"
    " 729/512\n 3/2\n 128/81\n 27/16\n 16/9\n 243/128\n 2/1\n";

}  // namespace

TEST_F(Scl2ScaleTest, RatiosAndCentsBecomeOffsetsFromEqualTemperament) {
  write("pyth.scl", kPythagorean);
  ASSERT_EQ(convert("pyth.scl", "Pyth.txt"), 0) << output;
  auto o = offsets("Pyth");
  EXPECT_NEAR(o[0], 0.0, 1e-3);
  EXPECT_NEAR(o[7], cents(1.5) - 700, 1e-3);
  EXPECT_NEAR(o[4], cents(81.0 / 64) - 400, 1e-3);

  // Cents with a sign, CRLF line ends, an empty description, integer ratio.
  write("mixed.scl", "!c\r\n\r\n12\r\n+100.0\r\n203.5\r\n300.\r\n400.0\r\n500.0\r\n600.0\r\n"
                     "690.0 a flat fifth\r\n800.0\r\n900.0\r\n1000.0\r\n1100.0\r\n2\r\n");
  ASSERT_EQ(convert("mixed.scl", "Mixed.txt"), 0) << output;
  auto m = offsets("Mixed");
  EXPECT_NEAR(m[2], 3.5, 1e-3);
  EXPECT_NEAR(m[7], -10.0, 1e-3);
}

TEST_F(Scl2ScaleTest, RefusesScalesThatDoNotFitTwelveKeysPerOctave) {
  std::string stretched = "bohlen\n12\n";
  for (int k = 1; k <= 12; ++k) stretched += std::to_string(1300.0 * k / 12) + "\n";
  const std::pair<std::string, const char*> cases[] = {
      {"seven\n7\n200.0\n400.0\n500.0\n700.0\n900.0\n1100.0\n2/1\n", "7 notes per period; a scale file of this instrument needs exactly 12"},
      {stretched, "period is 1300"}};
  for (const auto& [scl, says] : cases) {
    write("bad.scl", scl);
    EXPECT_EQ(convert("bad.scl", "Bad.txt"), 1);
    EXPECT_NE(output.find(says), std::string::npos) << output;
    EXPECT_FALSE(fs::exists(dir / "Bad.txt"));
  }
}

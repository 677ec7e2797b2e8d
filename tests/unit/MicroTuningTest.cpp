#include <gtest/gtest.h>

#include <clocale>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "perform/MicroTuning.h"
#include "testsupport/TestFiles.h"

namespace {

class ScaleTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(tmp.ok()); }
  void file(const std::string& name, const std::string& content) {
    testfiles::writeFile(tmp / name, content);
  }
  static std::vector<float> offsets(const MicroTuning& t) {
    std::vector<float> v;
    for (long n = 0; n < 12; ++n) v.push_back(t.Tick(n + t.getRoot()));
    return v;
  }
  testfiles::TempDir tmp{"scale_test"};
  std::string dir = tmp.str();
};

TEST_F(ScaleTest, SeparatorsAndOddValues) {
  file("Dos.txt", "10\r\n20\r\n\r\n30\r\n");
  file("Tabs.txt", "10\t20\x01" "30");  // no line end after the last value
  file("Space.txt", "0 100\n  50\n-25.5\nabc\n1e999\nnan\n7");
  file("Long.txt", "12.5" + std::string(5000, '7') + "\n300\n");  // a value far past 1023 characters
  std::string many;
  for (int i = 1; i <= 20; ++i) many += std::to_string(i * 100) + "\n";
  file("Many.txt", many);
  MicroTuning t(dir.c_str());
  EXPECT_EQ(t.getSize(), 5);

  const std::pair<const char*, std::vector<float>> cases[] = {
      {"Dos", {0.1f, 0.2f, 0.3f, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"Tabs", {0.1f, 0.2f, 0.3f, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      // "0 100" is one value, leading blanks are skipped; not a number, out
      // of range and not finite read as 0.
      {"Space", {0, 0.5f, -0.255f, 0, 0, 0, 0.07f, 0, 0, 0, 0, 0}},
      {"Many", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
      {"Missing", std::vector<float>(12, 0.0f)}};  // equal temperament, no message
  for (const auto& [name, want] : cases) {
    t.setTable(name);
    EXPECT_EQ(offsets(t), want) << name;
  }
  t.setTable("Long");
  EXPECT_NEAR(t.Tick(0), 0.125f, 0.005f);
  EXPECT_EQ(t.Tick(1), 3.0f);
}

TEST_F(ScaleTest, NumbersIgnoreTheProcessLocale) {
  file("Dot.txt", "12.5\n");
  MicroTuning t(dir.c_str());
  const std::string old = std::setlocale(LC_NUMERIC, nullptr);
  bool switched = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
  if (!switched) {
    // Build a comma-decimal locale of our own when the system has none.
    const std::string cmd = "localedef -i de_DE -f UTF-8 " + dir + "/de_DE.UTF-8 >/dev/null 2>&1";
    if (std::system(cmd.c_str()) == 0) {
      setenv("LOCPATH", dir.c_str(), 1);
      switched = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
      unsetenv("LOCPATH");
    }
  }
  if (switched) {
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", 1.5);
    EXPECT_STREQ(text, "1,5");  // the locale really is in force
  }
  t.setTable("Dot");
  std::setlocale(LC_NUMERIC, old.c_str());
  EXPECT_FLOAT_EQ(t.Tick(0), 0.125f);
  if (!switched) GTEST_SKIP() << "no comma-decimal locale available";
}

// Readers see one whole table, old or new, while another thread switches.
TEST_F(ScaleTest, NoteOnNeverSeesAMixtureOfTables) {
  std::string ones, twos;
  for (int i = 0; i < 12; ++i) {
    ones += "100\n";
    twos += "200\n";
  }
  file("One.txt", ones);
  file("Two.txt", twos);
  MicroTuning t(dir.c_str());
  t.setTable("One");
  std::atomic<bool> stop{false};
  std::atomic<int> mixed{0};
  std::atomic<long> reads{0};
  std::thread audio([&] {
    while (!stop.load()) {
      const MicroTuning::Offsets o = t.snapshot();
      for (float v : o.semitones)
        if (v != o.semitones[0] || (v != 1.0f && v != 2.0f)) ++mixed;
      ++reads;
    }
  });
  for (int i = 0; i < 400; ++i) t.setTable(i % 2 ? "One" : "Two");
  while (reads.load() < 1000) std::this_thread::yield();
  stop = true;
  audio.join();
  EXPECT_EQ(mixed.load(), 0);
}

}  // namespace

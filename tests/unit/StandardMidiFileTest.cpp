#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/StandardMidiFile.h"
#include "testsupport/TestFiles.h"

using host::StandardMidiFile;
using namespace testfiles;

namespace {

struct Parsed {
  StandardMidiFile file;
  bool ok = false;
  std::string error;
};

Parsed parse(const Bytes& data) {
  Parsed p;
  p.ok = p.file.parse(data.data(), data.size(), p.error);
  return p;
}

}  // namespace

TEST(StandardMidiFile, Format1TempoTrackAppliesToEveryTrackAndTracksMerge) {
  Parsed p =
      parse(cat({midiHeader(1, 3, 100), track({tempo(0, 1000000), tempo(200, 500000), endOfTrack()}),
                 track({ev(100, {0x90, 60, 80}), ev(200, {0x80, 60, 0}), endOfTrack()}),
                 track({ev(50, {0x91, 40, 80}), ev(150, {0x91, 41, 80}), ev(100, {0x81, 40, 0}),
                        endOfTrack(500)})}));
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.file.trackCount(), 3);
  const auto& events = p.file.events();
  ASSERT_EQ(events.size(), 5u);
  // Ticks 50, 100, 200 (track 3), 300 (track 2), 300 (track 3): equal ticks
  // in track order; 60 bpm up to tick 200 (2 s), then 120 bpm.
  const int notes[] = {40, 60, 41, 60, 40}, tracks[] = {2, 1, 2, 1, 2};
  const double seconds[] = {0.5, 1.0, 2.0, 2.5, 2.5};
  for (std::size_t i = 0; i < events.size(); ++i) {
    EXPECT_EQ(p.file.bytes(events[i])[1], notes[i]) << i;
    EXPECT_EQ(events[i].track, tracks[i]) << i;
    EXPECT_DOUBLE_EQ(events[i].seconds, seconds[i]) << i;
  }
  EXPECT_DOUBLE_EQ(p.file.endSeconds(), 2.0 + 0.5 * 600 / 100);
}

TEST(StandardMidiFile, RefusesDamagedAndUnsupportedFilesWithReasons) {
  Bytes good = track({ev(0, {0x90, 60, 1}), endOfTrack()});
  struct Case {
    const char* what;
    Bytes data;
    const char* mentions;
  } cases[] = {
      {"empty", {}, "MThd"},
      {"short header", cat({chunk("MThd", {0, 0, 0, 1}), good}), "header"},
      {"format 2", cat({midiHeader(2, 1, 96), good}), "format 2"},
      {"format 0 with two tracks", cat({midiHeader(0, 2, 96), good, good}), "2 tracks"},
      {"no tracks", midiHeader(1, 0, 96), "no tracks"},
      {"division 0", cat({midiHeader(0, 1, 0), good}), "division"},
      {"bad SMPTE rate", cat({midiHeader(0, 1, 0xe928), good}), "SMPTE"},
      {"missing track", cat({midiHeader(1, 2, 96), good}), "1 of 2"},
      {"chunk beyond file", cat({midiHeader(0, 1, 96), be(0x4d54726b, 4), be(100, 4), {0, 0x90, 1}}),
       "more than the file holds"},
      {"message cut off", cat({midiHeader(0, 1, 96), chunk("MTrk", {0x00, 0x90, 60})}),
       "inside a channel message"},
      {"data byte first", cat({midiHeader(0, 1, 96), chunk("MTrk", {0x00, 60, 1})}),
       "without a status"},
      {"status inside message", cat({midiHeader(0, 1, 96), chunk("MTrk", {0x00, 0x90, 60, 0x80, 1})}),
       "cut short"},
      {"system common byte", cat({midiHeader(0, 1, 96), chunk("MTrk", {0x00, 0xf2, 1, 2})}), "system"},
      {"meta past track", cat({midiHeader(0, 1, 96), chunk("MTrk", {0x00, 0xff, 0x01, 0x09, 'a'})}),
       "meta event"},
      {"sysex past track", cat({midiHeader(0, 1, 96), chunk("MTrk", {0x00, 0xf0, 0x7f, 0x01})}),
       "SysEx"},
  };
  for (const Case& c : cases) {
    Parsed p = parse(c.data);
    EXPECT_FALSE(p.ok) << c.what;
    EXPECT_NE(p.error.find(c.mentions), std::string::npos) << c.what << ": " << p.error;
    EXPECT_TRUE(p.file.events().empty()) << c.what;
  }
  // The second track is where the damage is, and the message says so.
  Parsed p = parse(cat({midiHeader(1, 2, 96), good, chunk("MTrk", {0x00, 0x90})}));
  EXPECT_NE(p.error.find("track 2"), std::string::npos) << p.error;
}


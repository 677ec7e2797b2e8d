#include <gtest/gtest.h>


#include "host/HostTimeline.h"

using namespace vst;
using host::HostTimeline;

TEST(HostTimeline, MusicalPositionFollowsTempoRateAndSignature) {
  HostTimeline timeline(48000.0, 90.0);
  timeline.advance(1000);  // stopped: no movement
  EXPECT_EQ(timeline.position(), 0.0);
  timeline.setPlaying(true);
  timeline.advance(48000);
  VstTimeInfo info = timeline.snapshot();
  EXPECT_DOUBLE_EQ(info.ppqPos, 1.5);
  EXPECT_DOUBLE_EQ(info.tempo, 90.0);
  const VstInt32 valid = kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstTimeSigValid;
  EXPECT_EQ(info.flags & valid, valid);

  ASSERT_TRUE(timeline.setTimeSignature(3, 4));
  ASSERT_TRUE(timeline.setPosition(48000.0 * 3));  // ppq 4.5, inside the second 3/4 bar
  info = timeline.snapshot();
  EXPECT_DOUBLE_EQ(info.barStartPos, 3.0);
  EXPECT_EQ(info.timeSigNumerator, 3);
  ASSERT_TRUE(timeline.setTimeSignature(6, 8));  // a bar of three quarters too
  ASSERT_TRUE(timeline.setPosition(48000.0 / 1.5 * 7));  // ppq 7
  EXPECT_DOUBLE_EQ(timeline.snapshot().barStartPos, 6.0);
}

#include <gtest/gtest.h>

#include "fx/comb.h"

TEST(Comb, DelaysFiltersAndFeedsBack) {
  float line[4] = {};
  comb c;
  c.setbuffer(line, 4);
  c.setfeedback(0.5f);
  c.setdamp(0.25f);
  EXPECT_FLOAT_EQ(c.getdamp(), 0.25f);
  EXPECT_FLOAT_EQ(c.getfeedback(), 0.5f);
  // Impulse: out after 4 samples, then the filtered, fed-back echo.
  EXPECT_EQ(c.process(1.0f), 0.0f);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(c.process(0.0f), 0.0f);
  EXPECT_FLOAT_EQ(c.process(0.0f), 1.0f);  // filter state becomes 0.75
  for (int i = 0; i < 3; ++i) c.process(0.0f);  // state decays by 0.25 each step
  // Second pass: the line holds the fed-back 0.75 * 0.5.
  EXPECT_FLOAT_EQ(c.process(0.0f), 0.375f);
}

TEST(Comb, FlushesSubnormalsAndMutes) {
  float line[2] = {1e-39f, 0.3f};
  comb c;
  c.setbuffer(line, 2);
  c.setfeedback(1.0f);
  c.setdamp(0.0f);
  EXPECT_EQ(c.process(0.0f), 0.0f);  // subnormal read as 0
  EXPECT_FLOAT_EQ(c.process(0.0f), 0.3f);
  c.mute();
  EXPECT_EQ(line[0], 0.0f);
  EXPECT_EQ(line[1], 0.0f);
}

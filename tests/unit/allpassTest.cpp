#include <gtest/gtest.h>

#include "fx/allpass.h"

TEST(Allpass, ImpulseResponseOfTheSchroederSection) {
  float line[3] = {};
  allpass a;
  a.setbuffer(line, 3);
  a.setfeedback(0.5f);
  EXPECT_FLOAT_EQ(a.getfeedback(), 0.5f);
  // Output b - x: -1 at once, then g^(k-1) every 3 samples.
  const float expected[] = {-1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.5f, 0.0f, 0.0f, 0.25f};
  for (int i = 0; i < 10; ++i) EXPECT_FLOAT_EQ(a.process(i == 0 ? 1.0f : 0.0f), expected[i]) << i;
  a.mute();
  for (float v : line) EXPECT_EQ(v, 0.0f);
}

TEST(Allpass, FlushesSubnormalLineValues) {
  float line[1] = {-1e-40f};
  allpass a;
  a.setbuffer(line, 1);
  a.setfeedback(0.5f);
  EXPECT_EQ(a.process(0.0f), 0.0f);
  EXPECT_EQ(line[0], 0.0f);
}

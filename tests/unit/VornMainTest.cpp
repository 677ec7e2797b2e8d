#include <gtest/gtest.h>

#include <cmath>

#include "support/VornMain.h"

TEST(VornMainSampleRate, RefusesNonPositiveAndNonFiniteRates) {
  VornMain::setSampleRate(48000.0f);
  VornMain::setSampleRate(0.0f);
  VornMain::setSampleRate(-1.0f);
  VornMain::setSampleRate(NAN);
  VornMain::setSampleRate(INFINITY);
  EXPECT_EQ(VornMain::sampleRate(), 48000.0f);
  VornMain anotherObject;  // every construction resets the shared rate
  EXPECT_EQ(VornMain::sampleRate(), 44100.0f);
}

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "plugin/DisplayProcedures.h"
#include "plugin/VstSynth.h"

using namespace vst;

namespace {

class SynthParameters : public ::testing::Test {
 protected:
  VstSynth synth{nullptr};
  std::string display(int index) {
    char text[64] = {};
    synth.getParameterDisplay(index, text);
    return text;
  }
};

TEST_F(SynthParameters, NormalisedValuesAreClampedAndPlainNumbersAreNot) {
  synth.setParameter(13, 1.7f);
  EXPECT_EQ(synth.getParameter(13), 1.0f);
  synth.setParameter(24, 12.0f);
  EXPECT_EQ(synth.getParameter(24), 12.0f);
  EXPECT_EQ(display(24), "12.000");
  synth.setParameter(27, -3.0f);
  EXPECT_EQ(synth.getParameter(27), -3.0f);
}

TEST_F(SynthParameters, NonFiniteValuesAndBadIndicesStoreNothing) {
  synth.setParameter(13, 0.25f);  // let the mode normalisation happen first
  VstParameters before = synth.parameterBlock();
  synth.setParameter(13, NAN);
  synth.setParameter(24, INFINITY);
  synth.setParameter(24, -INFINITY);
  synth.setParameter(57, 0.3f);
  synth.setParameter(-1, 0.3f);
  synth.setParameter(1000, 0.3f);
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
  float mono = synth.getParameter(3);
  EXPECT_NEAR(mono, 2.0f / 3.0f, 1e-6);
  EXPECT_NEAR(synth.getParameter(16), 2.0f / 3.0f, 1e-6);
  EXPECT_EQ(static_cast<int>(3.0f * mono), 2);  // still read as mode 2
}

}  // namespace

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "plugin/DisplayProcedures.h"
#include "plugin/VstSynth.h"

using namespace vst;

namespace {

VstIntPtr quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

class SynthParameters : public ::testing::Test {
 protected:
  VstSynth synth{quietHost};
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

TEST_F(SynthParameters, ProgramNamesAreBoundedAndTerminated) {
  char longName[] = "A very long program name that does not fit";
  synth.setProgramName(longName);
  char out[64];
  std::memset(out, 'x', sizeof(out));
  synth.getProgramName(out);
  EXPECT_EQ(std::string(out), std::string(longName).substr(0, 23));
  EXPECT_FALSE(synth.getProgramNameIndexed(0, 128, out) || synth.getProgramNameIndexed(0, -1, out));
  EXPECT_EQ(synth.parameterBlock().programs[0].name[23], 0);
}

TEST(DisplayProcedures, TextsFollowTheValue) {
  using Show = bool (*)(float, char*, void*);
  const struct {
    Show show;
    float value;
    const char* want;
  } cases[] = {{Root, 11.0f, "B"}, {Root, 12.0f, "B"},  // outside C..B the text stays
               {Root, -0.5f, "C"},   // truncation toward zero
               {DroneRoot, 1.0f, "F#"}, {DroneRoot, 5.0f / 11.0f + 0.01f, "C"}, {Fine, 0.0f, "-100"},
               {Fine, 0.2525f, "-49"}, {Bend, 1.0f, "12"}, {ParDisplayIntShow, NAN, "0"},
               {ParDisplayIntShow, 1e30f, "2147483520"}};  // must not overflow the conversion
  char text[16] = "old";
  for (const auto& c : cases) {
    c.show(c.value, text, nullptr);
    EXPECT_STREQ(text, c.want) << c.value;
  }
}

}  // namespace

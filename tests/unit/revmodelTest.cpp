#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "fx/revmodel.h"

TEST(RevmodelSetup, LineLengthsAt44100AndParameterScaling) {
  auto r = std::make_unique<revmodel>();
  // Eight combs, then four allpasses; the right channel's lines are 23 longer.
  const int lengths[] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1616, 556, 441, 341, 225};
  for (int i = 0; i < 12; ++i)
    for (int c = 0; c < 2; ++c)
      EXPECT_EQ(i < 8 ? r->combLength(c, i) : r->allpassLength(c, i - 8), lengths[i] + 23 * c) << i << c;
  EXPECT_FLOAT_EQ(r->getInputGain(), 0.015f);
  r->setroomsize(0.5f);
  EXPECT_FLOAT_EQ(r->getCombFeedback(), 0.84f);
  r->setmode(0.49f);
  EXPECT_EQ(r->getmode(), 0.0f);
  r->setroomsize(NAN);
  EXPECT_NEAR(r->getroomsize(), 0.5f, 1e-6f);
}

// The first echo comes from the shortest comb: 1116 frames at 44.1 kHz
// (25.3 ms), the right one 23 frames later; the same time at other rates, and
// the damping keeps its cut-off in hertz.
TEST(RevmodelProcess, FirstEchoAndDampingKeepTheirTimeAndCutOffAtEveryRate) {
  for (float rate : {44100.0f, 48000.0f, 96000.0f, 192000.0f}) {
    auto r = std::make_unique<revmodel>();
    r->setdamp(0.5f);
    r->updateSamplerate(true, rate);
    const int shortest = static_cast<int>(rate * (1116.0f / 44100.0f));
    int firstLeft = -1, firstRight = -1;
    for (int n = 0; n < 2 * shortest; ++n) {
      float in[2] = {n == 0 ? 1.0f : 0.0f, 0.0f};
      const float* out = r->processmix(in, 1, 1);
      if (firstLeft < 0 && out[0] != 0.0f) firstLeft = n;
      if (firstRight < 0 && out[1] != 0.0f) firstRight = n;
    }
    EXPECT_NEAR(firstLeft, shortest, 1) << rate;
    EXPECT_EQ(firstRight, firstLeft + 23) << rate;
    // A one-pole of pole p has its corner at -ln(p) * rate / 2 pi.
    EXPECT_NEAR(-std::log(r->getCombDamp()) * rate, -std::log(0.2) * 44100.0, 1.0) << rate;
  }
}

// Stretches of any length (shorter and longer than the shortest line, odd
// sizes that leave a scalar tail) give processmix's frames bit for bit, tiny
// values flushed alike, the idle count included, through a freeze and a mute.
// It opens dry-less and loud, before the first echo: a loud input under a
// silent output.
TEST(RevmodelProcess, ProcessBlockMatchesProcessMixFrameByFrame) {
  auto a = std::make_unique<revmodel>();
  auto b = std::make_unique<revmodel>();
  for (revmodel* r : {a.get(), b.get()}) {
    r->setwet(0.4f);
    r->setdry(0.0f);
    r->setdamp(0.7f);
    r->setwidth(0.3f);
  }
  constexpr int kFrames = 30000;
  std::vector<float> inL(kFrames), inR(kFrames), outL(kFrames), outR(kFrames);
  for (int n = 0; n < kFrames; ++n) {
    // Loud, then ordinary, then subnormal, then quiet.
    const float level = n < 400 ? 20.0f : (n < 12000 ? 1.0f : (n < 20000 ? 1e-39f : 0.0f));
    inL[n] = level * std::sin(0.01f * static_cast<float>(n));
    inR[n] = level * std::cos(0.013f * static_cast<float>(n * n % 1013));
  }
  const int sizes[] = {1, 3, 128, 129, 200, 57, 1000, 4};
  int n = 0;
  for (int k = 0; n < kFrames; ++k) {
    const int m = std::min(sizes[k % 8], kFrames - n);
    for (revmodel* r : {a.get(), b.get()}) {
      if (k == 5) r->setdry(0.6f);
      if (k == 40) r->setmode(1.0f);  // freeze
      if (k == 60) r->setmode(0.0f), r->mute();
    }
    b->processBlock(inL.data() + n, inR.data() + n, outL.data() + n, outR.data() + n, m);
    for (int t = n; t < n + m; ++t) {
      float frame[2] = {inL[t], inR[t]};
      const float* o = a->processmix(frame, 1, 1);
      ASSERT_EQ(o[0], outL[t]) << t;
      ASSERT_EQ(o[1], outR[t]) << t;
    }
    ASSERT_EQ(a->Idle(), b->Idle()) << n;
    ASSERT_EQ(a->framesBeforeIdle(), b->framesBeforeIdle()) << n;
    n += m;
  }
}


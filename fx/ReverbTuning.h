// Fixed figures of the reverb network.
#pragma once

namespace reverbtuning {

constexpr int kCombs = 8;
constexpr int kAllpasses = 4;
constexpr int kLines = 2 * (kCombs + kAllpasses);
constexpr float kMaxLineRate = 192000.0f;
constexpr int kLineSize = 7100;  // the longest line at kMaxLineRate
constexpr int kStereoSpread = 23;  // right lines are this much longer

constexpr float kFixedGain = 0.015f;
constexpr float kScaleWet = 3.0f;
constexpr float kScaleDamp = 0.4f;
constexpr float kScaleRoom = 0.28f;
constexpr float kOffsetRoom = 0.7f;
constexpr float kAllpassFeedback = 0.5f;

constexpr float kInitialRoom = 0.84f;
constexpr float kInitialDamp = 0.2f;
constexpr float kInitialWet = 1.0f;
constexpr float kInitialDry = 0.0f;
constexpr float kInitialWidth = 1.0f;
constexpr float kInitialMode = 0.0f;
constexpr float kFreezeMode = 0.5f;

// Line length = rate * factor, truncated.
constexpr float kCombFactors[kCombs] = {0.025306122f, 0.026938776f, 0.028956916f, 0.030748298f,
                                        0.0322449f,   0.033809524f, 0.035306122f, 0.036666665f};
constexpr float kAllpassFactors[kAllpasses] = {0.0126077095f, 0.01f, 0.0077324263f, 0.0051020407f};

}  // namespace reverbtuning

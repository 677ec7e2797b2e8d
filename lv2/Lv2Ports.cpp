#include "lv2/Lv2Ports.h"

namespace {

using Kind = Lv2Ports::Kind;
using Point = Lv2Ports::ScalePoint;

// The engine reads the modes as trunc(3 v).
const Point kPlayModes[] = {{0.0f, "legato"}, {1.0f / 3.0f, "alternate"}, {2.0f / 3.0f, "strike"}, {0, nullptr}};
const Point kDroneModes[] = {{0.0f, "with every note"}, {1.0f / 3.0f, "with the host transport"},
                             {2.0f / 3.0f, "below the split key"}, {0, nullptr}};
// The deviation menus hold 2 for none, 3..5 for the amounts.
const Point kDeviations[] = {{2.0f, "none"}, {3.0f, "low"}, {4.0f, "medium"}, {5.0f, "high"}, {0, nullptr}};
const Point kNotes[] = {{0, "C"}, {1, "C#"}, {2, "D"}, {3, "D#"}, {4, "E"}, {5, "F"}, {6, "F#"},
                        {7, "G"}, {8, "G#"}, {9, "A"}, {10, "A#"}, {11, "B"}, {0, nullptr}};
// The split key is the value plus 24: C1 .. B7.
const Point kSplitKeys[] = {{0, "C1"}, {12, "C2"}, {24, "C3"}, {36, "C4"}, {48, "C5"}, {60, "C6"},
                            {72, "C7"}, {0, nullptr}};
const Point kVolumeTypes[] = {{0, "loud"}, {1, "normal"}, {2, "soft"}, {0, nullptr}};
const Point kSoundSets[] = {{0, "01"}, {1, "02"}, {2, "03"}, {0, nullptr}};

constexpr Lv2Ports::Control kTable[Lv2Ports::kControls] = {
    {"pitch_env_offset", Kind::kContinuous, 0, 1, nullptr},
    {"pitch_env_time", Kind::kContinuous, 0, 1, nullptr},
    {"pitch_env_velocity", Kind::kContinuous, 0, 1, nullptr},
    {"mono_type", Kind::kContinuous, 0, 1, kPlayModes},
    {"fine_tune", Kind::kContinuous, 0, 1, nullptr},
    {"pitch_tune", Kind::kContinuous, 0, 1, nullptr},
    {"release", Kind::kContinuous, 0, 1, nullptr},
    {"tone_switch", Kind::kToggle, 0, 1, nullptr},
    {"tone_freq", Kind::kContinuous, 0, 1, nullptr},
    {"tone_band", Kind::kContinuous, 0, 1, nullptr},
    {"velocity", Kind::kContinuous, 0, 1, nullptr},
    {"drone", Kind::kContinuous, 0, 1, nullptr},
    {"sympathetic", Kind::kContinuous, 0, 1, nullptr},
    {"volume", Kind::kContinuous, 0, 1, nullptr},
    {"drone_fine", Kind::kContinuous, 0, 1, nullptr},
    {"drone_tone", Kind::kContinuous, 0, 1, nullptr},
    {"drone_type", Kind::kContinuous, 0, 1, kDroneModes},
    {"drone_split_note", Kind::kInteger, 0, 83, kSplitKeys},
    {"flanger_on", Kind::kToggle, 0, 1, nullptr},
    {"flanger_mix", Kind::kContinuous, 0, 1, nullptr},
    {"flanger_depth", Kind::kContinuous, 0, 1, nullptr},
    {"reverber_on", Kind::kToggle, 0, 1, nullptr},
    {"reverber_mix", Kind::kContinuous, 0, 1, nullptr},
    {"reverber_space", Kind::kContinuous, 0, 1, nullptr},
    {"sound_set", Kind::kInteger, 0, 98, kSoundSets},
    {"pitch_deviation", Kind::kEnumeration, 2, 5, kDeviations},
    {"tone_deviation", Kind::kEnumeration, 2, 5, kDeviations},
    {"micro_tuning_root", Kind::kEnumeration, 0, 11, kNotes},
    {"pitch_bend", Kind::kContinuous, 0, 1, nullptr},
    {"glide", Kind::kContinuous, 0, 1, nullptr},
    {"volume_type", Kind::kEnumeration, 0, 2, kVolumeTypes},
    {"vib_fx", Kind::kToggle, 0, 1, nullptr},
    {"combi_fx", Kind::kToggle, 0, 1, nullptr},
};

}  // namespace

const Lv2Ports::Control& Lv2Ports::control(int parameter) { return kTable[parameter]; }

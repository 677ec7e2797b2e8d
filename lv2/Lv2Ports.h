// The port layout of the LV2 plug-in: one atom input for MIDI and the
// transport, two audio outputs, one control input per used parameter
// (parameter i at port kFirstControl + i) and the host's freewheel switch.
// Symbols are written here once and never derived at run time: sessions and
// presets refer to ports by symbol, so they must not move when a parameter's
// display name is edited. Names and defaults come from the engine's table.
#pragma once

#include <cstdint>

class Lv2Ports {
 public:
  static constexpr std::uint32_t kEvents = 0;
  static constexpr std::uint32_t kLeft = 1;
  static constexpr std::uint32_t kRight = 2;
  static constexpr std::uint32_t kFirstControl = 3;
  static constexpr int kControls = 33;  // parameters 0..32
  static constexpr std::uint32_t kFreewheel = kFirstControl + kControls;
  static constexpr std::uint32_t kPortCount = kFreewheel + 1;

  enum class Kind { kContinuous, kToggle, kInteger, kEnumeration };
  struct ScalePoint {
    float value;
    const char* label;
  };
  struct Control {
    const char* symbol;
    Kind kind;
    float minimum, maximum;
    const ScalePoint* points;  // null-terminated by label, or null
  };

  // Parameter index 0..kControls-1.
  static const Control& control(int parameter);
};

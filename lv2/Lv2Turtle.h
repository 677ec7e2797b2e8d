// Writes the bundle's Turtle files from the engine's parameter table and the
// factory bank's program records, so that port names, defaults and presets
// cannot drift from what the engine does.
#pragma once

#include <string>
#include <vector>

#include "plugin/VstParameters.h"

class Lv2Turtle {
 public:
  struct Preset {
    int program;  // 0..127
    VstProgram record;
  };

  explicit Lv2Turtle(const VstParams (&table)[kNumParams]);

  std::string manifest(const std::string& binary, const std::string& uiBinary,
                       const std::vector<Preset>& presets) const;
  std::string plugin() const;
  std::string presets(const std::vector<Preset>& presets) const;
  static std::string presetUri(const Preset& preset);
  // Programs of a factory bank (128 records) that carry a name of their own.
  static std::vector<Preset> namedPrograms(const std::vector<unsigned char>& bank);

 private:
  std::string name(int parameter) const;
  VstParams table_[kNumParams];
};

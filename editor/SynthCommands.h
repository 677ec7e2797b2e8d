// The few plug-in operations the editor's menus call, reached through one
// place: bank and preference commands and the scale table. Calls that the
// plug-in core does not offer (yet) fall back to what it does offer.
// Threads: the host's GUI thread.
#pragma once

#include <cstring>

#include "plugin/VstSynth.h"

namespace synth_commands {

template <class Synth>
bool saveDefaultBank(Synth& s) {
  if constexpr (requires { s.saveDefaultBank(); })
    return s.saveDefaultBank();
  else
    return false;
}

// Loads the factory bank or, if the user agrees, the user default bank, and
// applies the current program of what was loaded.
template <class Synth>
bool loadFactoryBank(Synth& s) {
  if constexpr (requires { s.loadBank(165, true, true); }) {
    s.loadBank(165, true, true);
    if constexpr (requires { s.updatePresets(); }) s.updatePresets();
    s.setProgram(s.getProgram());
    return true;
  } else {
    return false;
  }
}

template <class Synth>
bool saveControllerPresets(Synth& s) {
  if constexpr (requires { s.saveControllerPresets(); })
    return s.saveControllerPresets();
  else
    return false;
}

// Index of the current program's scale in the tuning table, -1 if none.
template <class Synth>
long currentScale(Synth& s) {
  if constexpr (requires { s.CurrentScale(); }) {
    return s.CurrentScale();
  } else {
    const auto& program = s.parameterBlock().programs[s.getProgram()];
    char name[sizeof(program.scaleName) + 1] = {};
    std::memcpy(name, program.scaleName, sizeof(program.scaleName));
    for (long i = 0; i < s.tuning().getSize(); ++i)
      if (std::strcmp(s.tuning().getTableName(i), name) == 0) return i;
    return -1;
  }
}

template <class Synth>
void loadNewScale(Synth& s, long index) {
  if constexpr (requires { s.loadNewScale(index); }) {
    s.loadNewScale(index);
  } else {
    if (index >= 0 && index < s.tuning().getSize())
      s.tuning().setTable(s.tuning().getTableName(index));
  }
}

}  // namespace synth_commands
